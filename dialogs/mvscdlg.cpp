#include "dialogs/mvscdlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <optional>

#include "app/front/coreloop.h"
#include "app/mvmain.h"
#include "app/prompt.h"
#include "dialogs/mvjobsel.h"
#include "platform/clock.h"

namespace mv {
namespace {

const QDate kDayZero(1899, 12, 30);

QCheckBox* CheckBox(const QString& caption, const char* objectName) {
  auto* box = new QCheckBox(caption);
  box->setObjectName(objectName);
  box->setAccessibleName(QString(caption).remove('&'));
  return box;
}

QSpinBox* Counter(int max, int step, const char* objectName) {
  auto* box = new QSpinBox;
  box->setObjectName(objectName);
  box->setRange(0, max);
  box->setSingleStep(step);
  // Typed digits count once the entry is finished, so "15" is not first taken as "1".
  box->setKeyboardTracking(false);
  return box;
}

QPushButton* Button(const QString& caption, const char* objectName) {
  auto* button = new QPushButton(caption);
  button->setObjectName(objectName);
  button->setAccessibleName(QString(caption).remove('&'));
  button->setAutoDefault(false);
  return button;
}

}  // namespace

QDate DateOfDays(int64_t days) { return kDayZero.addDays(days); }
int64_t DaysOfDate(const QDate& date) { return kDayZero.daysTo(date); }
QTime TimeOfFraction(double fraction) {
  const int ms = static_cast<int>(std::llround(fraction * 86400000.0));
  return QTime::fromMSecsSinceStartOfDay(std::clamp(ms, 0, 86399999));
}
double FractionOfTime(const QTime& time) { return time.msecsSinceStartOfDay() / 86400000.0; }

TMVScheduleForm::TMVScheduleForm(Prompt& prompt, QWidget* parent)
    : QDialog(parent), prompt_(prompt), jobsel_(new Tmvjobselform(this)) {
  Build();
}

TMVScheduleForm::TMVScheduleForm(MiravaCore& core, CoreLoop& loop, QWidget* parent)
    : TMVScheduleForm(core.UserPrompt(), parent) {
  loop_ = &loop;
  SetJobList(&core.Jobs());
  queueLoaded_ = [&core] { return core.Queue() != nullptr && core.Queue()->QueueLoaded(); };
}

TMVScheduleForm::~TMVScheduleForm() = default;

void TMVScheduleForm::SetJobList(const JobList* jobs) { jobsel_->SetJobList(jobs); }

void TMVScheduleForm::Build() {
  setObjectName("MVScheduleForm");
  setWindowTitle("Job Schedule");

  // Next execution.
  date_ = new QDateEdit;
  date_->setObjectName("DTPDate");
  date_->setCalendarPopup(true);
  date_->setDisplayFormat("dd.MM.yyyy");
  date_->setMinimumDate(QDate(100, 1, 1));
  date_->setAccessibleName("Next Execution:");
  date_->setAccessibleDescription("date");
  time_ = new QTimeEdit;
  time_->setObjectName("DTPTime");
  time_->setDisplayFormat("HH:mm:ss");
  time_->setAccessibleName("Next Execution:");
  time_->setAccessibleDescription("time");
  auto* nextLabel = new QLabel("&Next Execution:");
  nextLabel->setBuddy(date_);
  auto* nextRow = new QHBoxLayout;
  nextRow->addWidget(nextLabel);
  nextRow->addWidget(date_);
  nextRow->addWidget(time_);
  nextRow->addStretch();

  queued_ = CheckBox("&queued Job", "CBQueued");
  hold_ = CheckBox("&HOLD", "CBHold");
  remoteHold_ = CheckBox("Remote Hold", "CBRemoteHold");
  remoteHold_->setEnabled(false);
  auto* marks = new QHBoxLayout;
  marks->addWidget(queued_);
  marks->addWidget(hold_);
  marks->addWidget(remoteHold_);
  marks->addStretch();

  // Repeat options.
  repeat_ = new QGroupBox("Repeat options");
  repeat_->setObjectName("GBRepeat");
  minutes_ = Counter(kScheduleMinutesMax, kScheduleMinutesStep, "UDMinutes");
  hours_ = Counter(kScheduleHoursMax, 1, "UDHours");
  days_ = Counter(kScheduleDaysMax, 1, "UDDays");
  auto* repeatLayout = new QHBoxLayout(repeat_);
  const struct {
    const char* caption;
    QSpinBox* box;
  } counters[] = {{"M&inutes:", minutes_}, {"H&ours:", hours_}, {"&Days:", days_}};
  for (const auto& c : counters) {
    auto* label = new QLabel(c.caption);
    label->setBuddy(c.box);
    c.box->setAccessibleName(QString(c.caption).remove('&'));
    repeatLayout->addWidget(label);
    repeatLayout->addWidget(c.box);
  }
  repeatLayout->addStretch();
  // The dialog keeps its size while "Run once" hides the group.
  QSizePolicy keep = repeat_->sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  repeat_->setSizePolicy(keep);

  auto* daysBox = new QGroupBox("Week days");
  daysBox->setObjectName("GBWeekdays");
  auto* daysLayout = new QHBoxLayout(daysBox);
  const char* dayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday",
                            "Thursday", "Friday", "Saturday"};
  for (int d = 0; d < 7; ++d) {
    weekdays_[d] = CheckBox(dayNames[d], "CBWeekday");
    daysLayout->addWidget(weekdays_[d]);
  }

  randomDelay_ = CheckBox("Allow Random De&lay", "CBRandomDelay");
  runOnce_ = CheckBox("&Run once", "CBRunOnce");
  auto* extra = new QHBoxLayout;
  extra->addWidget(randomDelay_);
  extra->addWidget(runOnce_);
  extra->addStretch();

  // Chaining.
  auto* chainBox = new QGroupBox("Chain: Start job(s) after:");
  chainBox->setObjectName("GBChain");
  auto* chainLayout = new QGridLayout(chainBox);
  const char* chainCaptions[] = {"&success (completed)", "success (completed,&work done)"};
  const char* chainNames[] = {"Success", "SuccessW"};
  for (int i = 0; i < 2; ++i) {
    ChainRow& row = chains_[i];
    const QString caption = QString(chainCaptions[i]).remove('&');
    row.enabled = CheckBox(chainCaptions[i], "CBChain");
    row.enabled->setObjectName(QString("CBChain") + chainNames[i]);
    row.list = new QComboBox;
    row.list->setObjectName(QString("LBChain") + chainNames[i]);
    row.list->setAccessibleName(caption);
    row.list->setMinimumContentsLength(18);
    row.add = Button("Add...", "BTNAdd");
    row.add->setObjectName(QString("BTNAdd") + chainNames[i]);
    row.add->setAccessibleDescription(caption);
    row.add->setToolTip("Add a job to start after " + caption);
    row.remove = Button("Delete", "BTNDelete");
    row.remove->setObjectName(QString("BTNDelete") + chainNames[i]);
    row.remove->setAccessibleDescription(caption);
    row.remove->setToolTip("Delete the shown job from this list");
    chainLayout->addWidget(row.enabled, i, 0);
    chainLayout->addWidget(row.list, i, 1);
    chainLayout->addWidget(row.add, i, 2);
    chainLayout->addWidget(row.remove, i, 3);
    chainLayout->setColumnStretch(1, 1);
    const ChainKind kind = i == 0 ? ChainKind::Success : ChainKind::SuccessWorkDone;
    connect(row.enabled, &QCheckBox::toggled, this,
            [this, kind](bool on) { state_.Chain(kind).Enabled = on; });
    connect(row.list, &QComboBox::currentIndexChanged, this, [this, kind](int index) {
      state_.Chain(kind).Selected = index;
      UpdateControls();
    });
    connect(row.add, &QPushButton::clicked, this, [this, kind] { AddToChain(kind); });
    connect(row.remove, &QPushButton::clicked, this, [this, kind] { DeleteFromChain(kind); });
  }

  // Buttons.
  reset_ = Button("R&eset", "BTNReset");
  auto* buttons = new QDialogButtonBox;
  ok_ = buttons->addButton(QDialogButtonBox::Ok);
  ok_->setObjectName("BTNOK");
  ok_->setAccessibleName("OK");
  cancel_ = buttons->addButton(QDialogButtonBox::Cancel);
  cancel_->setObjectName("BTNCancel");
  cancel_->setAccessibleName("Cancel");
  ok_->setDefault(true);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addWidget(reset_);
  buttonRow->addStretch();
  buttonRow->addWidget(buttons);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(nextRow);
  layout->addLayout(marks);
  layout->addWidget(repeat_);
  layout->addWidget(daysBox);
  layout->addLayout(extra);
  layout->addWidget(chainBox);
  layout->addLayout(buttonRow);

  // Tab order follows the layout from top to bottom.
  QList<QWidget*> order{date_, time_, queued_, hold_, minutes_, hours_, days_};
  for (QCheckBox* d : weekdays_) order << d;
  order << randomDelay_ << runOnce_;
  for (const ChainRow& row : chains_) order << row.enabled << row.list << row.add << row.remove;
  order << reset_ << ok_ << cancel_;
  for (int i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);

  // Bindings.
  connect(date_, &QDateEdit::dateChanged, this,
          [this](const QDate& d) { state_.SetDate(DaysOfDate(d)); });
  connect(time_, &QTimeEdit::timeChanged, this,
          [this](const QTime& t) { state_.SetTime(FractionOfTime(t)); });
  connect(queued_, &QCheckBox::toggled, this, [this](bool on) {
    state_.SetQueued(on);
    UpdateControls();
  });
  connect(hold_, &QCheckBox::toggled, this, [this](bool on) { state_.SetHold(on); });
  connect(randomDelay_, &QCheckBox::toggled, this, [this](bool on) { state_.SetRandomDelay(on); });
  connect(runOnce_, &QCheckBox::toggled, this, [this](bool on) {
    state_.SetRunOnce(on);
    UpdateControls();
  });
  for (int d = 0; d < 7; ++d)
    connect(weekdays_[d], &QCheckBox::toggled, this, [this, d](bool on) { state_.SetWeekday(d, on); });
  connect(minutes_, &QSpinBox::valueChanged, this, [this] {
    CounterChanged(minutes_, &ScheduleDialogState::SetMinutes, &ScheduleDialogState::Minutes);
  });
  connect(hours_, &QSpinBox::valueChanged, this, [this] {
    CounterChanged(hours_, &ScheduleDialogState::SetHours, &ScheduleDialogState::Hours);
  });
  connect(days_, &QSpinBox::valueChanged, this, [this] {
    CounterChanged(days_, &ScheduleDialogState::SetDays, &ScheduleDialogState::Days);
  });
  connect(reset_, &QPushButton::clicked, this, &TMVScheduleForm::Reset);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void TMVScheduleForm::CounterChanged(QSpinBox* box, bool (ScheduleDialogState::*set)(int),
                                     int (ScheduleDialogState::*get)() const) {
  (state_.*set)(box->value());
  // A refused or rounded value shows what the state kept.
  if (box->value() != (state_.*get)()) {
    const QSignalBlocker quiet(box);
    box->setValue((state_.*get)());
  }
  UpdateControls();
}

void TMVScheduleForm::ShowChain(ChainKind kind) {
  const ChainList& chain = state_.Chain(kind);
  ChainRow& row = chains_[kind == ChainKind::Success ? 0 : 1];
  const QSignalBlocker quietBox(row.enabled);
  const QSignalBlocker quietList(row.list);
  row.enabled->setChecked(chain.Enabled);
  row.list->clear();
  for (const std::string& name : chain.Names) row.list->addItem(QString::fromStdString(name));
  row.list->setCurrentIndex(chain.Selected);
}

void TMVScheduleForm::Show() {
  {
    const QSignalBlocker b1(date_), b2(time_), b3(queued_), b4(hold_), b5(remoteHold_),
        b6(minutes_), b7(hours_), b8(days_), b9(randomDelay_), b10(runOnce_);
    date_->setDate(DateOfDays(state_.Date()));
    time_->setTime(TimeOfFraction(state_.Time()));
    queued_->setChecked(state_.Queued());
    hold_->setChecked(state_.Hold());
    remoteHold_->setChecked(state_.RemoteHold());
    minutes_->setValue(state_.Minutes());
    hours_->setValue(state_.Hours());
    days_->setValue(state_.Days());
    randomDelay_->setChecked(state_.RandomDelay());
    runOnce_->setChecked(state_.RunOnce());
    for (int d = 0; d < 7; ++d) {
      const QSignalBlocker quiet(weekdays_[d]);
      weekdays_[d]->setChecked(state_.Weekday(d));
    }
  }
  ShowChain(ChainKind::Success);
  ShowChain(ChainKind::SuccessWorkDone);
  UpdateControls();
}

void TMVScheduleForm::UpdateControls() {
  date_->setEnabled(state_.DateTimeEnabled());
  time_->setEnabled(state_.DateTimeEnabled());
  queued_->setEnabled(state_.QueuedEnabled());
  repeat_->setEnabled(state_.RepeatOptionsEnabled());
  repeat_->setVisible(state_.RepeatOptionsEnabled());
  runOnce_->setEnabled(state_.RunOnceEnabled());
  chains_[0].remove->setEnabled(state_.ChainDeleteEnabled(ChainKind::Success));
  chains_[1].remove->setEnabled(state_.ChainDeleteEnabled(ChainKind::SuccessWorkDone));
}

bool TMVScheduleForm::EditSchedule(TTSchedule& record) {
  // No run-queue pass may run while a schedule is being edited.
  std::optional<CoreLoop::BusyScope> busy;
  if (loop_ != nullptr) busy.emplace(*loop_);
  state_.Load(record, queueLoaded_ && queueLoaded_(), Now());
  Show();
  date_->setFocus();
  if (exec() != QDialog::Accepted) return false;
  state_.Store(record);
  return true;
}

void TMVScheduleForm::Reset() {
  if (!prompt_.YesNo(kPromptTitle, "RESET all entries to default?")) return;
  state_.Reset(Now());
  Show();
}

void TMVScheduleForm::AddToChain(ChainKind kind) {
  const std::string name = jobsel_->Execute(state_.Chain(kind).Names);
  if (state_.Chain(kind).Add(name)) ShowChain(kind);
  UpdateControls();
}

void TMVScheduleForm::DeleteFromChain(ChainKind kind) {
  if (!state_.ChainDeleteEnabled(kind)) return;
  if (!prompt_.YesNo(kPromptTitle, "Delete item?")) return;
  state_.Chain(kind).DeleteSelected();
  ShowChain(kind);
  UpdateControls();
}

}  // namespace mv
