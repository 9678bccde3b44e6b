#pragma once
// The Directory View page: the source pane on the left, the target pane on
// the right, the job's name and the SUBMIT button. What the page decides
// lives in the widget-free JobEditor; the page shows it and forwards input.

#include <QWidget>
#include <functional>
#include <memory>

#include "app/jobeditor.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace mv {

class MiravaCore;
class Prompt;
class TTDirListView;
class TMVTemplateForm;

class DirViewPage : public QWidget {
  Q_OBJECT
 public:
  // Restores the editor from BaseDir + "MIRAVA.MVJ"; the destructor saves it.
  DirViewPage(MiravaCore& core, Prompt& prompt, QWidget* parent = nullptr);
  ~DirViewPage() override;

  // Job menu.
  void JobNew();
  void JobOpen();
  void JobLoadToJoblist();
  void JobSaveAs();
  void JobOptions();
  void JobApplyTemplate();
  // Macro menu.
  void MacroSourceEdit();
  void MacroConnect();
  void MacroDisconnect();
  // Joblist page buttons "EDIT Job" and "Edit a copy of this Job".
  void EditJob(int index);
  void EditCopyOfJob(int index);

  // Enable states, captions and the banner after any change.
  void UpdateControls();
  // The editor's state into BaseDir + "MIRAVA.MVJ" (also done on destruction).
  void SaveEditorState();

  // The schedule dialog used by SUBMIT (the program's own when not set).
  void SetScheduleEditor(std::function<bool(TTSchedule&)> edit);

  JobEditor& Editor() { return *editor_; }
  TTDirListView& LeftView() { return *leftView_; }
  TTDirListView& RightView() { return *rightView_; }
  const EditorControls& Controls() const { return controls_; }
  QPushButton* SubmitButton() const { return submit_; }
  QLabel* Banner() const { return banner_; }
  TMVTemplateForm& TemplateForm();

 signals:
  // After SUBMIT the Joblist page shows the new job; after "EDIT Job" the
  // Directory View page shows it. Also switched directly in a tab widget.
  void ShowJoblistPage();
  void ShowDirViewPage();
  // The menus' enable states may have changed (Controls()).
  void ControlsChanged();

 private:
  class Dialogs;
  struct PaneButtons {
    QToolButton* Browse = nullptr;
    QToolButton* EnterName = nullptr;
    QToolButton* Refresh = nullptr;
    QToolButton* UnselectAll = nullptr;
    QToolButton* Hide = nullptr;
  };
  QWidget* BuildPane(int number, QLabel*& label, TTDirListView*& view, PaneButtons& buttons);
  void Submit();
  void ShowPage(const QString& title);
  void ApplyBanner();
  // The page is shown (a page of its own when it has no parent).
  bool OnOwnPage() const;

  MiravaCore& core_;
  Prompt& prompt_;
  std::unique_ptr<Dialogs> dialogs_;
  QLabel* banner_ = nullptr;
  QLabel* leftLabel_ = nullptr;
  QLabel* rightLabel_ = nullptr;
  TTDirListView* leftView_ = nullptr;
  TTDirListView* rightView_ = nullptr;
  PaneButtons leftButtons_, rightButtons_;
  QToolButton* showDeleted_ = nullptr;
  QLabel* jobType_ = nullptr;
  QLineEdit* description_ = nullptr;
  QCheckBox* runNow_ = nullptr;
  QPushButton* submit_ = nullptr;
  TMVTemplateForm* templateForm_ = nullptr;
  std::unique_ptr<JobEditor> editor_;
  EditorControls controls_;
  bool updating_ = false;
  bool saved_ = false;
};

}  // namespace mv
