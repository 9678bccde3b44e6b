#pragma once
// "<type> JOB Options" (Job > Options): job type, options word, filters and
// recipients of the job being built in the directory view. What it decides
// lives in joboptstate.h; this only binds the controls.

#include <QDialog>
#include <array>
#include <memory>
#include <vector>

#include "dialogs/joboptstate.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QToolButton;

namespace mv {

class Prompt;

class TMVJobOptions : public QDialog {
  Q_OBJECT
 public:
  // prompt shows why a recipient address is refused.
  explicit TMVJobOptions(Prompt& prompt, QWidget* parent = nullptr);
  ~TMVJobOptions() override;

  // Shows the view's values modally; OK stores them. Name-list edits reach
  // the view's filter at once, also when the dialog is cancelled.
  bool Execute(const JobOptionsView& view);
  // Fills the controls from the view without showing (also for Execute).
  void Open(const JobOptionsView& view);

  JobOptionsState& State() { return *state_; }
  // Shows what the state now holds (after it was changed directly).
  void Refresh() { Show(); }
  // The help context of what is shown: 42 on "Copy", 40 otherwise.
  int HelpContext() const;
  QTabWidget* Pages() const { return pages_; }

 private:
  QWidget* BuildGeneral();
  QWidget* BuildCopy();
  QWidget* BuildAnalyze();
  QWidget* BuildFilterName();
  QWidget* BuildFilterOther();
  QWidget* BuildMail();
  QCheckBox* Box(const QString& caption, const QString& objectName);
  QSpinBox* Number(const QString& objectName, const QString& caption, NumberRange range);
  // Controls into the state, the rules, the state back into the controls.
  void Changed();
  void Show();
  void AddRecipient();

  Prompt& prompt_;
  std::unique_ptr<JobOptionsState> state_;
  bool showing_ = false;
  QTabWidget* pages_;
  std::array<QWidget*, kJobOptionsPageCount> pageWidgets_{};
  std::array<QRadioButton*, 4> jobTypes_{};
  std::array<QRadioButton*, 3> conflicts_{};
  std::array<QRadioButton*, 3> directions_{};
  QGroupBox* directionGroup_ = nullptr;
  std::vector<std::pair<uint32_t, QCheckBox*>> flagBoxes_;
  QSpinBox* reportMax_ = nullptr;
  QSpinBox* reportMin_ = nullptr;
  QCheckBox* reportPathOn_ = nullptr;
  QSpinBox* reportPath_ = nullptr;
  std::array<QToolButton*, 4> listButtons_{};
  std::array<QLabel*, 4> listLabels_{};
  QListWidget* names_ = nullptr;
  QLineEdit* nameEntry_ = nullptr;
  QPushButton* nameAdd_ = nullptr;
  QPushButton* nameRemove_ = nullptr;
  QSpinBox* fileAge_ = nullptr;
  QSpinBox* includeDirLevel_ = nullptr;
  QCheckBox* processSubdirs_ = nullptr;
  QSpinBox* maxSubdirLevel_ = nullptr;
  std::array<QCheckBox*, 6> required_{};
  std::array<QCheckBox*, 6> allowed_{};
  QListWidget* recipients_ = nullptr;
  QLineEdit* recipientEntry_ = nullptr;
  QPushButton* recipientAdd_ = nullptr;
  QPushButton* recipientRemove_ = nullptr;
  std::array<QCheckBox*, 4> mailBoxes_{};
  QCheckBox* reserved_ = nullptr;
};

}  // namespace mv
