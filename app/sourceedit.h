#pragma once
// Macro > Source: the left pane connected to a named source definition of
// SOURCES.MVS (shared by several jobs), edited, saved back, and disconnected;
// the idle queued jobs that share a changed definition brought up to date.
// No widget: the chooser and the questions come through interfaces.

#include <cstdint>
#include <string>
#include <vector>

namespace mv {

class JobEditor;
class MiravaCore;
class Prompt;

// The editor state file Connect reloads the view through, in BaseDir.
inline constexpr const char* kSourceConnectFile = "MIRAVAX.MVJ";
inline constexpr size_t kMaxSourceNameLength = 255;

// The "Select" dialog over the definition names.
class SourceChooser {
 public:
  virtual ~SourceChooser() = default;
  // True on "Apply" with an entry selected: chosen is that entry, created
  // whether "New" added it in this dialog.
  virtual bool Choose(const std::vector<std::string>& names, std::string& chosen, bool& created) = 0;
};

// What "New" makes of a name: "" when it may be added, else the error box's text
// ("Invalid characters", "Duplicate entry").
std::string NewSourceNameError(const std::string& name, const std::vector<std::string>& names);

// Section names of a definitions file, in file order.
std::vector<std::string> SourceDefinitionNames(const std::string& file);

// The Macro menu's "Edit" item reads "Quit Edit" while editing.
const char* SourceEditCaption(bool sourceEditMode);

class SourceEditor {
 public:
  SourceEditor(MiravaCore& core, Prompt& prompt, JobEditor& editor, SourceChooser& chooser);

  // Menu items; each does nothing while its menu item would be disabled.
  void Connect();
  void Edit();
  void Disconnect();

  // The view's source side and filter into its definition.
  void SaveViewSourceDefinition(bool resetTracking);
  // Idle queued jobs whose definition is exactly name; unless countOnly,
  // each is loaded again from its queue file and saved back.
  int32_t RefreshJobsUsingSource(const std::string& name, bool countOnly);

 private:
  MiravaCore& core_;
  Prompt& prompt_;
  JobEditor& editor_;
  SourceChooser& chooser_;
};

}  // namespace mv
