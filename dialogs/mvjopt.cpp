#include "dialogs/mvjopt.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/prompt.h"
#include "dialogs/mvhelp.h"

namespace mv {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString Plain(QString caption) { return caption.remove('&'); }

template <typename W>
W* Named(W* w, const QString& objectName, const QString& caption) {
  w->setObjectName(objectName);
  w->setAccessibleName(Plain(caption));
  return w;
}

QGroupBox* Group(const QString& caption, const QString& objectName) {
  return Named(new QGroupBox(caption), objectName, caption);
}

// Sets a value without the control reporting it back.
template <typename W, typename F>
void Quiet(W* w, F set) {
  const QSignalBlocker block(w);
  set(w);
}

}  // namespace

TMVJobOptions::TMVJobOptions(Prompt& prompt, QWidget* parent) : QDialog(parent), prompt_(prompt) {
  setObjectName("MVJobOptions");
  pages_ = Named(new QTabWidget, "PCJobOptions", "Job Options");
  pageWidgets_ = {BuildGeneral(), BuildCopy(), BuildAnalyze(), BuildFilterName(), BuildFilterOther(),
                  BuildMail()};
  for (int i = 0; i < kJobOptionsPageCount; ++i) {
    pageWidgets_[i]->setObjectName(QString("TS%1").arg(i));
    pages_->addTab(pageWidgets_[i], kJobOptionsPageCaptions[i]);
  }
  setProperty("helpContext", kHelpJobOptions);
  connect(pages_, &QTabWidget::currentChanged, this, [this] { pages_->setProperty("helpContext", HelpContext()); });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help);
  Named(buttons->button(QDialogButtonBox::Ok), "BTNOK", "OK");
  Named(buttons->button(QDialogButtonBox::Cancel), "BTNCancel", "Cancel");
  Named(buttons->button(QDialogButtonBox::Help), "BTNHelp", "Help");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(buttons, &QDialogButtonBox::helpRequested, this, [this] { ShowHelpContext(HelpContext()); });
  connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this,
          [this] { ShowHelpContext(HelpContext()); });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages_);
  layout->addWidget(buttons);
}

TMVJobOptions::~TMVJobOptions() = default;

QCheckBox* TMVJobOptions::Box(const QString& caption, const QString& objectName) {
  auto* box = Named(new QCheckBox(caption), objectName, caption);
  connect(box, &QCheckBox::toggled, this, &TMVJobOptions::Changed);
  return box;
}

QSpinBox* TMVJobOptions::Number(const QString& objectName, const QString& caption, NumberRange range) {
  auto* spin = Named(new QSpinBox, objectName, caption);
  spin->setRange(range.Min, range.Max);
  connect(spin, &QSpinBox::valueChanged, this, &TMVJobOptions::Changed);
  return spin;
}

QWidget* TMVJobOptions::BuildGeneral() {
  auto* page = new QWidget;
  auto* types = Group("Job Type", "RGJobType");
  auto* typeLayout = new QVBoxLayout(types);
  const char* typeCaptions[] = {"&Copy", "&Analyze", "&NetWare Purge", "&Delete"};
  for (int i = 0; i < 4; ++i) {
    jobTypes_[i] = Named(new QRadioButton(typeCaptions[i]), QString("RBJobType%1").arg(i), typeCaptions[i]);
    connect(jobTypes_[i], &QRadioButton::toggled, this, &TMVJobOptions::Changed);
    typeLayout->addWidget(jobTypes_[i]);
  }
  auto* flow = Group("Flow Control", "GBFlowControl");
  auto* flowLayout = new QVBoxLayout(flow);
  for (const OptionBox& b : kFlowControlBoxes) {
    flagBoxes_.push_back({b.Bit, Box(b.Caption, QString("CBOption%1").arg(b.Bit, 0, 16))});
    flowLayout->addWidget(flagBoxes_.back().second);
  }
  auto* special = Group("Special", "GBSpecial");
  auto* specialLayout = new QVBoxLayout(special);
  for (const OptionBox& b : kSpecialBoxes) {
    flagBoxes_.push_back({b.Bit, Box(b.Caption, QString("CBOption%1").arg(b.Bit, 0, 16))});
    specialLayout->addWidget(flagBoxes_.back().second);
  }
  auto* right = new QVBoxLayout;
  right->addWidget(flow);
  right->addWidget(special);
  right->addStretch();
  auto* layout = new QHBoxLayout(page);
  layout->addWidget(types, 0, Qt::AlignTop);
  layout->addLayout(right, 1);
  return page;
}

QWidget* TMVJobOptions::BuildCopy() {
  auto* page = new QWidget;
  auto* conflict = Group("If destination file exists", "RGConflict");
  auto* conflictLayout = new QVBoxLayout(conflict);
  for (int i = 0; i < 3; ++i) {
    conflicts_[i] = Named(new QRadioButton(kConflictCaptions[i]), QString("RBConflict%1").arg(i), kConflictCaptions[i]);
    connect(conflicts_[i], &QRadioButton::toggled, this, &TMVJobOptions::Changed);
    conflictLayout->addWidget(conflicts_[i]);
  }
  directionGroup_ = Group("Direction", "RGDirection");
  auto* directionLayout = new QHBoxLayout(directionGroup_);
  for (int i = 0; i < 3; ++i) {
    directions_[i] = Named(new QRadioButton(kDirectionCaptions[i]), QString("RBDirection%1").arg(i), kDirectionCaptions[i]);
    connect(directions_[i], &QRadioButton::toggled, this, &TMVJobOptions::Changed);
    directionLayout->addWidget(directions_[i]);
  }
  auto* actions = Group("Action Options", "GBActionOptions");
  auto* actionLayout = new QVBoxLayout(actions);
  for (const OptionBox& b : kActionBoxes) {
    flagBoxes_.push_back({b.Bit, Box(b.Caption, QString("CBOption%1").arg(b.Bit, 0, 16))});
    actionLayout->addWidget(flagBoxes_.back().second);
  }
  auto* left = new QVBoxLayout;
  left->addWidget(conflict);
  left->addWidget(directionGroup_);
  left->addStretch();
  auto* layout = new QHBoxLayout(page);
  layout->addLayout(left, 1);
  layout->addWidget(actions, 1, Qt::AlignTop);
  return page;
}

QWidget* TMVJobOptions::BuildAnalyze() {
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);
  reportMax_ = Number("UDReportMaxLevel", "Report max directory level", kReportMaxLevelRange);
  reportMin_ = Number("UDReportMinLevel", "Report min directory level", kReportMinLevelRange);
  reportPathOn_ = Box("Report &path length >", "CBReportPathLength");
  reportPath_ = Number("UDReportPathLength", "Report path length >", kReportPathLengthRange);
  auto* maxLabel = new QLabel("Report &max directory level");
  maxLabel->setBuddy(reportMax_);
  auto* minLabel = new QLabel("Report m&in directory level");
  minLabel->setBuddy(reportMin_);
  grid->addWidget(maxLabel, 0, 0);
  grid->addWidget(reportMax_, 0, 1);
  grid->addWidget(minLabel, 1, 0);
  grid->addWidget(reportMin_, 1, 1);
  grid->addWidget(reportPathOn_, 2, 0);
  grid->addWidget(reportPath_, 2, 1);
  grid->setRowStretch(3, 1);
  grid->setColumnStretch(2, 1);
  return page;
}

QWidget* TMVJobOptions::BuildFilterName() {
  auto* page = new QWidget;
  auto* buttons = new QGridLayout;
  for (int i = 0; i < 4; ++i) {
    const QString caption = kNameListCaptions[i];
    const QString which = i < 2 ? "files" : "directories";
    listButtons_[i] = Named(new QToolButton, QString("SBNameList%1").arg(i), caption + " (" + which + ")");
    listButtons_[i]->setCheckable(true);
    listButtons_[i]->setToolTip(caption + " (" + which + ")");
    listLabels_[i] = Named(new QLabel(caption), QString("LBNameList%1").arg(i), caption);
    listLabels_[i]->setBuddy(listButtons_[i]);
    buttons->addWidget(listButtons_[i], i, 0);
    buttons->addWidget(listLabels_[i], i, 1);
    connect(listButtons_[i], &QToolButton::clicked, this, [this, i] {
      state_->PressNameList(static_cast<NameList>(i));
      Show();
    });
  }
  names_ = Named(new QListWidget, "LBNames", "Names");
  nameEntry_ = Named(new QLineEdit, "EDName", "Name");
  nameAdd_ = Named(new QPushButton("&Add"), "BTNAddName", "Add");
  nameRemove_ = Named(new QPushButton("&Remove"), "BTNRemoveName", "Remove");
  auto* clear = Named(new QPushButton("C&lear All Filters"), "BTNClearFilters", "Clear All Filters");
  connect(names_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (showing_) return;
    state_->SelectedName = row;
    Show();
  });
  connect(nameEntry_, &QLineEdit::textEdited, this, &TMVJobOptions::Changed);
  connect(nameEntry_, &QLineEdit::returnPressed, nameAdd_, &QPushButton::click);
  connect(nameAdd_, &QPushButton::clicked, this, [this] {
    state_->NameEntry = nameEntry_->text().toStdString();
    state_->AddName();
    Show();
  });
  connect(nameRemove_, &QPushButton::clicked, this, [this] {
    state_->RemoveName();
    Show();
  });
  connect(clear, &QPushButton::clicked, this, [this] {
    state_->ClearAllFilters();
    Show();
  });
  nameAdd_->setAutoDefault(false);
  auto* edits = new QHBoxLayout;
  edits->addWidget(nameEntry_, 1);
  edits->addWidget(nameAdd_);
  edits->addWidget(nameRemove_);
  auto* listColumn = new QVBoxLayout;
  listColumn->addWidget(names_, 1);
  listColumn->addLayout(edits);
  listColumn->addWidget(clear, 0, Qt::AlignLeft);
  auto* top = new QHBoxLayout;
  top->addLayout(buttons);
  top->addLayout(listColumn, 1);

  fileAge_ = Number("UDFileAge", "Files older than ... days:", kFileAgeRange);
  includeDirLevel_ = Number("UDIncludeDirLevel", "Dirs Include Filter max. depth:", kIncludeDirLevelRange);
  processSubdirs_ = Box("Process &Subdirs", "CBProcessSubdirs");
  maxSubdirLevel_ = Number("UDMaxSubdirLevel", "Maximum Subdirectory level:", kMaxSubdirLevelRange);
  auto* numbers = new QGridLayout;
  auto* ageLabel = new QLabel("Files &older than ... days:");
  ageLabel->setBuddy(fileAge_);
  auto* depthLabel = new QLabel("Dirs Include Filter max. &depth:");
  depthLabel->setBuddy(includeDirLevel_);
  auto* maxLabel = new QLabel("Maximum Subdirectory &level:");
  maxLabel->setBuddy(maxSubdirLevel_);
  numbers->addWidget(ageLabel, 0, 0);
  numbers->addWidget(fileAge_, 0, 1);
  numbers->addWidget(depthLabel, 1, 0);
  numbers->addWidget(includeDirLevel_, 1, 1);
  numbers->addWidget(new QLabel("(Analyze/Purge only)"), 1, 2);
  numbers->addWidget(processSubdirs_, 2, 0);
  numbers->addWidget(maxLabel, 3, 0);
  numbers->addWidget(maxSubdirLevel_, 3, 1);
  numbers->setColumnStretch(3, 1);

  auto* layout = new QVBoxLayout(page);
  layout->addLayout(top, 1);
  layout->addLayout(numbers);
  return page;
}

QWidget* TMVJobOptions::BuildFilterOther() {
  auto* page = new QWidget;
  auto* layout = new QHBoxLayout(page);
  for (int g = 0; g < 2; ++g) {
    auto* group = Group(g == 0 ? "File Attributes Required" : "File Attributes Allowed",
                        g == 0 ? "GBAttrRequired" : "GBAttrAllowed");
    auto* col = new QVBoxLayout(group);
    auto& boxes = g == 0 ? required_ : allowed_;
    for (int i = 0; i < 6; ++i) {
      boxes[i] = Box(kAttributeCaptions[i], QString(g == 0 ? "CBRequired%1" : "CBAllowed%1").arg(i));
      col->addWidget(boxes[i]);
    }
    col->addStretch();
    layout->addWidget(group);
  }
  // Volume labels and directories are never required; every entry may be a directory.
  required_[3]->setEnabled(false);
  required_[4]->setEnabled(false);
  allowed_[4]->setEnabled(false);
  return page;
}

QWidget* TMVJobOptions::BuildMail() {
  auto* page = new QWidget;
  recipients_ = Named(new QListWidget, "LBRecipients", "Recipients");
  recipients_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  recipientEntry_ = Named(new QLineEdit, "EDRecipient", "Mail address");
  recipientEntry_->setPlaceholderText("Name <user@example.org>");
  recipientAdd_ = Named(new QPushButton("&Add"), "BTNAddRecipient", "Add");
  recipientRemove_ = Named(new QPushButton("&Remove"), "BTNRemoveRecipient", "Remove");
  recipientAdd_->setAutoDefault(false);
  connect(recipientEntry_, &QLineEdit::returnPressed, recipientAdd_, &QPushButton::click);
  connect(recipientAdd_, &QPushButton::clicked, this, &TMVJobOptions::AddRecipient);
  connect(recipientRemove_, &QPushButton::clicked, this, [this] {
    state_->RemoveRecipients();
    Show();
  });
  connect(recipients_, &QListWidget::itemSelectionChanged, this, [this] {
    if (showing_) return;
    for (int i = 0; i < recipients_->count(); ++i) state_->Recipients[i].Selected = recipients_->item(i)->isSelected();
    state_->ShowFlagsOf(recipients_->currentRow());
    Show();
  });
  auto* notify = Group("Mail Notification", "GBMailNotification");
  auto* notifyLayout = new QVBoxLayout(notify);
  for (int i = 0; i < 4; ++i) {
    mailBoxes_[i] = Named(new QCheckBox(kMailBoxes[i].Caption), QString("CBMail%1").arg(i), kMailBoxes[i].Caption);
    const uint32_t bit = kMailBoxes[i].Bit;
    connect(mailBoxes_[i], &QCheckBox::toggled, this, [this, bit](bool on) {
      state_->SetMailBox(bit, on);
      Show();
    });
    notifyLayout->addWidget(mailBoxes_[i]);
    if (i == 2) {
      reserved_ = Named(new QCheckBox("reserved"), "CBMailReserved", "reserved");
      reserved_->setEnabled(false);
      notifyLayout->addWidget(reserved_);
    }
  }
  notifyLayout->addStretch();
  auto* edits = new QHBoxLayout;
  edits->addWidget(recipientEntry_, 1);
  edits->addWidget(recipientAdd_);
  edits->addWidget(recipientRemove_);
  auto* listColumn = new QVBoxLayout;
  listColumn->addWidget(recipients_, 1);
  listColumn->addLayout(edits);
  auto* layout = new QHBoxLayout(page);
  layout->addLayout(listColumn, 1);
  layout->addWidget(notify);
  return page;
}

void TMVJobOptions::Open(const JobOptionsView& view) {
  state_ = std::make_unique<JobOptionsState>(view);
  nameEntry_->clear();
  recipientEntry_->clear();
  pages_->setCurrentIndex(0);
  Show();
}

bool TMVJobOptions::Execute(const JobOptionsView& view) {
  Open(view);
  if (exec() != QDialog::Accepted) return false;
  Changed();
  state_->Apply();
  return true;
}

int TMVJobOptions::HelpContext() const {
  return JobOptionsState::HelpContextOf(static_cast<JobOptionsPage>(pages_->indexOf(pages_->currentWidget())));
}

void TMVJobOptions::Changed() {
  if (showing_ || !state_) return;
  JobOptionsState& s = *state_;
  for (int i = 0; i < 4; ++i)
    if (jobTypes_[i]->isChecked()) s.JobType = i;
  for (int i = 0; i < 3; ++i) {
    if (conflicts_[i]->isChecked()) s.Conflict = i;
    if (directions_[i]->isChecked()) s.Direction = i;
  }
  for (auto& [bit, box] : flagBoxes_) s.SetFlag(bit, box->isChecked());
  s.ReportMaxLevel = reportMax_->value();
  s.ReportMinLevel = reportMin_->value();
  s.ReportPathEnabled = reportPathOn_->isChecked();
  s.ReportPathLength = reportPath_->value();
  s.NameEntry = nameEntry_->text().toStdString();
  s.FileAgeMinDays = fileAge_->value();
  s.IncludeDirLevel = includeDirLevel_->value();
  s.ProcessSubdirs = processSubdirs_->isChecked();
  s.MaxSubdirLevel = maxSubdirLevel_->value();
  s.AttributesRequired = s.AttributesAllowed = 0;
  for (int i = 0; i < 6; ++i) {
    if (required_[i]->isChecked()) s.AttributesRequired |= 1 << i;
    if (allowed_[i]->isChecked()) s.AttributesAllowed |= 1 << i;
  }
  Show();
}

void TMVJobOptions::Show() {
  if (!state_) return;
  showing_ = true;
  JobOptionsState& s = *state_;
  const JobOptionsControls c = s.Recompute();
  setWindowTitle(Q(c.Caption));
  for (int i = 0; i < 4; ++i) Quiet(jobTypes_[i], [&](auto* w) { w->setChecked(s.JobType == i); });
  for (int i = 0; i < 3; ++i) {
    Quiet(conflicts_[i], [&](auto* w) { w->setChecked(s.Conflict == i); });
    Quiet(directions_[i], [&](auto* w) { w->setChecked(s.Direction == i); });
  }
  for (auto& [bit, box] : flagBoxes_) {
    Quiet(box, [&](auto* w) { w->setChecked(s.Flag(bit)); });
    if (bit == OPT_MIRROR) box->setEnabled(c.Mirror);
    if (bit == OPT_RESUME_FOLDER) box->setEnabled(c.ResumeFolder);
    if (bit == OPT_RESUME_FILE) box->setEnabled(c.ResumeFile);
  }
  directionGroup_->setEnabled(c.DirectionGroup);
  Quiet(reportMax_, [&](auto* w) { w->setValue(s.ReportMaxLevel); });
  Quiet(reportMin_, [&](auto* w) { w->setValue(s.ReportMinLevel); });
  Quiet(reportPathOn_, [&](auto* w) { w->setChecked(s.ReportPathEnabled); });
  Quiet(reportPath_, [&](auto* w) { w->setValue(s.ReportPathLength); });

  for (int i = 0; i < 4; ++i) {
    Quiet(listButtons_[i], [&](auto* w) { w->setChecked(static_cast<int>(s.Pressed()) == i); });
    listButtons_[i]->setIcon(style()->standardIcon(c.NameListFilled[i] ? QStyle::SP_FileDialogContentsView
                                                                         : QStyle::SP_FileIcon));
    QFont f = listLabels_[i]->font();
    f.setUnderline(c.NameLabelUnderlined[i]);
    listLabels_[i]->setFont(f);
  }
  QStringList names;
  for (const std::string& n : s.Names) names << Q(n);
  QStringList shown;
  for (int i = 0; i < names_->count(); ++i) shown << names_->item(i)->text();
  if (shown != names) {
    names_->clear();
    names_->addItems(names);
  }
  names_->setCurrentRow(s.SelectedName);
  if (nameEntry_->text() != Q(s.NameEntry)) nameEntry_->setText(Q(s.NameEntry));
  nameAdd_->setEnabled(c.NameAdd);
  nameRemove_->setEnabled(c.NameRemove);
  Quiet(fileAge_, [&](auto* w) { w->setValue(s.FileAgeMinDays); });
  Quiet(includeDirLevel_, [&](auto* w) { w->setValue(s.IncludeDirLevel); });
  includeDirLevel_->setEnabled(c.IncludeDirLevel);
  Quiet(processSubdirs_, [&](auto* w) { w->setChecked(s.ProcessSubdirs); });
  Quiet(maxSubdirLevel_, [&](auto* w) { w->setValue(s.MaxSubdirLevel); });
  maxSubdirLevel_->setEnabled(c.MaxSubdirLevel);
  for (int i = 0; i < 6; ++i) {
    Quiet(required_[i], [&](auto* w) { w->setChecked(s.AttributesRequired & (1 << i)); });
    Quiet(allowed_[i], [&](auto* w) { w->setChecked(s.AttributesAllowed & (1 << i)); });
  }

  if (recipients_->count() != static_cast<int>(s.Recipients.size())) {
    recipients_->clear();
    for (const auto& r : s.Recipients) recipients_->addItem(Q(r.Address));
  }
  for (int i = 0; i < recipients_->count(); ++i) {
    recipients_->item(i)->setText(Q(s.Recipients[i].Address));
    recipients_->item(i)->setSelected(s.Recipients[i].Selected);
  }
  for (int i = 0; i < 4; ++i) {
    Quiet(mailBoxes_[i], [&](auto* w) { w->setChecked(s.MailBoxes & kMailBoxes[i].Bit); });
    mailBoxes_[i]->setEnabled(c.MailBoxes);
  }
  recipientRemove_->setEnabled(c.MailBoxes);

  for (int i = 0; i < kJobOptionsPageCount; ++i) pages_->setTabVisible(i, c.PageVisible[i]);
  pages_->setProperty("helpContext", HelpContext());
  showing_ = false;
}

void TMVJobOptions::AddRecipient() {
  state_->RecipientEntry = recipientEntry_->text().toStdString();
  const std::string problem = state_->AddRecipient();
  if (!problem.empty()) prompt_.Error(kPromptTitle, problem);
  recipientEntry_->setText(Q(state_->RecipientEntry));
  Show();
}

}  // namespace mv
