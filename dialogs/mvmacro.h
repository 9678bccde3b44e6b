#pragma once
// "Select": the source definition chooser of Macro > Source > Connect.

#include <QDialog>
#include <set>
#include <string>
#include <vector>

#include "app/sourceedit.h"

class QListWidget;
class QPushButton;

namespace mv {

class Prompt;

class TMVMacroForm : public QDialog, public SourceChooser {
  Q_OBJECT
 public:
  // prompt asks for the name of a new entry and shows why it is refused.
  explicit TMVMacroForm(Prompt& prompt, QWidget* parent = nullptr);

  // Fills the list; nothing selected, no new entry yet.
  void Prepare(const std::vector<std::string>& names);
  bool Choose(const std::vector<std::string>& names, std::string& chosen, bool& created) override;

  // "New": asks for a name and appends it when it is allowed.
  void NewEntry();
  // The selected entry ("" when none).
  std::string Selected() const;
  // 1 once "New" added an entry in this showing.
  int NewEntryMark() const { return property("tag").toInt(); }
  // Whether the entry was added by "New" in this showing.
  bool IsNewEntry(const std::string& name) const { return added_.count(name) != 0; }

  QListWidget* List() const { return list_; }
  QPushButton* ApplyButton() const { return apply_; }

 private:
  void UpdateButtons();

  Prompt& prompt_;
  QListWidget* list_;
  QPushButton* apply_;
  QPushButton* delete_;
  QPushButton* new_;
  std::set<std::string> added_;
};

}  // namespace mv
