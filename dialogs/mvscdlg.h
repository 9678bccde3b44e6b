#pragma once
// "Job Schedule": edits one schedule record. What it decides lives in
// ScheduleDialogState; this only binds the controls to it.

#include <QDate>
#include <QDialog>
#include <QTime>
#include <array>
#include <functional>

#include "dialogs/scheduledialogstate.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QPushButton;
class QSpinBox;
class QTimeEdit;

namespace mv {

class CoreLoop;
class JobList;
class MiravaCore;
class Prompt;
class Tmvjobselform;

class TMVScheduleForm : public QDialog {
  Q_OBJECT
 public:
  // The questions ("RESET all entries to default?", "Delete item?") go to prompt.
  explicit TMVScheduleForm(Prompt& prompt, QWidget* parent = nullptr);
  // Wired to a running program: its prompt, job list, queue state and busy counter.
  TMVScheduleForm(MiravaCore& core, CoreLoop& loop, QWidget* parent = nullptr);
  ~TMVScheduleForm() override;

  // The run queue's busy counter, raised while the dialog is open (null: none).
  void SetCoreLoop(CoreLoop* loop) { loop_ = loop; }
  // The jobs "Select Jobs" offers (not owned).
  void SetJobList(const JobList* jobs);
  // Whether the queue folder has been loaded in this program run.
  void SetQueueLoaded(std::function<bool()> queueLoaded) { queueLoaded_ = std::move(queueLoaded); }

  // Shows the dialog modally on record. True when the user chose OK and the
  // record was updated; false on Cancel, with the record unchanged (except a
  // NextRun of 0, which becomes the time the dialog opened).
  bool EditSchedule(TTSchedule& record);

  const ScheduleDialogState& State() const { return state_; }
  Tmvjobselform& JobSelection() { return *jobsel_; }

 private:
  void Build();
  void Show();  // controls := state, then enable states
  void UpdateControls();
  void ShowChain(ChainKind kind);
  void CounterChanged(QSpinBox* box, bool (ScheduleDialogState::*set)(int),
                      int (ScheduleDialogState::*get)() const);
  void Reset();
  void AddToChain(ChainKind kind);
  void DeleteFromChain(ChainKind kind);

  struct ChainRow {
    QCheckBox* enabled = nullptr;
    QComboBox* list = nullptr;
    QPushButton* add = nullptr;
    QPushButton* remove = nullptr;
  };

  Prompt& prompt_;
  CoreLoop* loop_ = nullptr;
  std::function<bool()> queueLoaded_;
  ScheduleDialogState state_;
  Tmvjobselform* jobsel_;

  QDateEdit* date_;
  QTimeEdit* time_;
  QCheckBox* queued_;
  QCheckBox* hold_;
  QCheckBox* remoteHold_;
  QGroupBox* repeat_;
  QSpinBox* minutes_;
  QSpinBox* hours_;
  QSpinBox* days_;
  std::array<QCheckBox*, 7> weekdays_{};
  QCheckBox* randomDelay_;
  QCheckBox* runOnce_;
  std::array<ChainRow, 2> chains_;
  QPushButton* reset_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

// DateTime whole days <-> calendar date, and a fraction of a day <-> time of day.
QDate DateOfDays(int64_t days);
int64_t DaysOfDate(const QDate& date);
QTime TimeOfFraction(double fraction);
double FractionOfTime(const QTime& time);

}  // namespace mv
