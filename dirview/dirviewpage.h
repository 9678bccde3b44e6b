#pragma once
// The Directory View page: the source pane on the left, the target pane on
// the right, the job's name and the SUBMIT button. What the page decides
// lives in the widget-free JobEditor; the page shows it and forwards input.

#include <QWidget>

namespace mv {

class MiravaCore;
class Prompt;

class DirViewPage : public QWidget {
  Q_OBJECT
 public:
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

 private:
  MiravaCore& core_;
  Prompt& prompt_;
};

}  // namespace mv
