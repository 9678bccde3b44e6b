#pragma once
// The job editor behind the Directory View page: how the two panes, the
// description and the view's job type, options, filter, mail settings and
// schedule become a job record and back; the submit step into the job list;
// moving or copying a listed job into the editor; job files and templates;
// and what the page's controls show. No widget: the page binds to it.

#include <cstdint>
#include <memory>
#include <string>

#include "filter/dirfilter.h"
#include "jobs/jobrecord.h"
#include "jobs/schedule.h"

namespace mv {

class DirPane;
class MiravaCore;
class Prompt;
class TMVMail;
class JobEditor;

// The editor's state between program runs, in BaseDir.
inline constexpr const char* kEditorStateFile = "MIRAVA.MVJ";
inline constexpr const char* kInitialDescription = "<enter description>";
inline constexpr const char* kDeleteWarning =
    "This job will DELETE files - are you sure?\r\r"
    "(Note: DELETE-jobs will not run without an include file filter specified)";
inline constexpr const char* kJobFileFilter = "Mirava Jobs|*.MVJ";
inline constexpr int kHelpContextOpen = 301;
inline constexpr int kHelpContextLoadToJoblist = 302;

// The dialogs the editor opens: Qt dialogs in the window, scripted in tests.
class EditorDialogs {
 public:
  virtual ~EditorDialogs() = default;
  // The schedule dialog on the record; false on Cancel.
  virtual bool EditSchedule(TTSchedule& schedule) = 0;
  // A job file to open (filter kJobFileFilter) starting in folder.
  virtual bool OpenJobFile(const std::string& folder, int helpContext, std::string& path) = 0;
  // A job file to save to (default extension "MVJ").
  virtual bool SaveJobFile(const std::string& folder, std::string& path) = 0;
  // The template chooser over folder; path of the chosen template.
  virtual bool ChooseTemplate(const std::string& folder, std::string& path) = 0;
  // The job options dialog on the editor's values; false on Cancel.
  virtual bool JobOptions(JobEditor& editor) = 0;
  // The folder browser titled "Select Directory".
  virtual bool BrowseFolder(const std::string& start, std::string& path) = 0;
};

enum class BannerColour { ButtonFace, Yellow, Aqua };

struct PaneControls {
  bool Browse = false, EnterName = false, UnselectAll = false, View = false;
  bool Hide = false, Refresh = false;
};

// What UpdateControls decided.
struct EditorControls {
  std::string JobTypeCaption;
  bool MacroEdit = false, MacroConnect = false, MacroDisconnect = false;
  PaneControls Left, Right;
  bool Submit = false;
  bool SaveAs = false, Options = false, ApplyTemplate = false, QueueLoad = false;
  bool New = false;  // "&New" is always disabled
  // "EDIT Job" and "Edit a copy of this Job": the Joblist page's rule for the
  // selected job, and no pane reading (the panes would still show the old folder).
  bool JoblistEdit = false;
  int ViewMode = 1;
  std::string BannerText;
  BannerColour Banner = BannerColour::ButtonFace;
  bool BannerChanged = false;  // repaint only then
};

enum class SubmitOutcome {
  Cancelled,  // a question or the schedule dialog said no, or a pane is reading
  NoJob,      // nothing to submit (no action)
  JobActive,  // the listed job it would replace is running: nothing changed
  Submitted,
};

class JobEditor {
 public:
  JobEditor(MiravaCore& core, Prompt& prompt, EditorDialogs& dialogs, DirPane& left,
            DirPane& right);
  ~JobEditor();
  JobEditor(const JobEditor&) = delete;
  JobEditor& operator=(const JobEditor&) = delete;

  // A new job record from the panes, or null when it would have no action.
  std::unique_ptr<TTFileThreadControl> ViewToJob(const std::string& description);
  // Shows the job in the editor; the record stays with the caller.
  void JobToView(const TTFileThreadControl& job);
  // Hands the job to the job list, replacing the listed job with its ID.
  // False (nothing changed, "Job is active") when that job is running.
  bool SubmitJob(std::unique_ptr<TTFileThreadControl> job, bool runNow);
  // The "SUBMIT" button.
  SubmitOutcome Submit();
  EditorControls UpdateControls();

  void SaveViewAs(const std::string& path);
  // False when the file gives no job (the editor is unchanged).
  bool LoadViewFrom(const std::string& path);
  // At start and at shutdown: BaseDir + "MIRAVA.MVJ".
  void RestoreState();
  void SaveState();

  // "EDIT Job" / "Edit a copy of this Job" on a listed job. True when the
  // job is now in the editor (the window shows the Directory View page).
  bool EditJob(int32_t index);
  bool EditCopyOfJob(int32_t index);

  // Job menu.
  void JobOpen();
  void JobLoadToJoblist();
  void JobSaveAs(bool onDirViewPage);
  void JobOptions();
  void JobApplyTemplate();

  // Directory buttons of a pane.
  void Browse(DirPane& pane);
  void EnterDirectoryName(DirPane& pane);
  void Refresh(DirPane& pane);
  void UnselectAll(DirPane& pane);
  void HideView(DirPane& pane);

  int ViewMode() const;
  // A pane is reading its folder (the window goes on meanwhile): until it
  // ends the panes still show the folder before, so nothing submits, saves
  // into or loads into the editor.
  bool Reading() const;

  const std::string& Description() const { return description_; }
  void SetDescription(const std::string& text) { description_ = text; }
  bool RunNow() const { return runNow_; }
  void SetRunNow(bool on) { runNow_ = on; }
  void SetOnDirViewPage(bool on) { onDirViewPage_ = on; }
  bool SourceEditMode() const { return sourceEditMode_; }
  // Set while the left pane edits a source definition (Macro > Source > Edit).
  void SetSourceEditMode(bool on) { sourceEditMode_ = on; }

  // The view's job values, edited by the job options dialog.
  int32_t ViewJobType = JOB_COPY;
  int32_t ViewConflictChoice = 0;  // 0, 1, 2 stand for conflict codes 3, 2, 1
  uint32_t ViewDirection = OPT_DIR_TO_TARGET;
  uint32_t ViewFlags = 0;
  TTDirFilter ViewFilter;
  std::unique_ptr<TMVMail> ViewMail;
  TTSchedule ViewSchedule;

  DirPane& Left() { return left_; }
  DirPane& Right() { return right_; }

 private:
  std::unique_ptr<TTFileThreadControl> MakeJob(const std::string& description, bool drawId);
  std::unique_ptr<TTFileThreadControl> BuildJob(const std::string& description, bool drawId);

  MiravaCore& core_;
  Prompt& prompt_;
  EditorDialogs& dialogs_;
  DirPane& left_;
  DirPane& right_;
  std::string description_ = kInitialDescription;
  bool runNow_ = false;
  bool onDirViewPage_ = true;
  bool sourceEditMode_ = false;
  int lastViewMode_ = 0;
};

// Conflict codes of the view's conflict choice and back.
uint32_t ConflictCodeOfChoice(int32_t choice);
int32_t ConflictChoiceOfCode(uint32_t code);

}  // namespace mv
