#include "dirview/dirviewpage.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/dirpane.h"
#include "app/mvmain.h"
#include "app/prompt.h"
#include "app/sourceedit.h"
#include "dialogs/mvjopt.h"
#include "dialogs/mvmacro.h"
#include "dialogs/mvtempl.h"
#include "dirview/ttdirlistview.h"
#ifdef MIRAVA_HAVE_SCHEDULE_DIALOG
#include "dialogs/mvscdlg.h"
#endif

namespace mv {

// The editor's dialogs as Qt dialogs.
class DirViewPage::Dialogs : public EditorDialogs {
 public:
  explicit Dialogs(DirViewPage& page) : page_(page) {}

  bool EditSchedule(TTSchedule& schedule) override {
    if (scheduleEditor_) return scheduleEditor_(schedule);
#ifdef MIRAVA_HAVE_SCHEDULE_DIALOG
    TMVScheduleForm form(page_.prompt_, &page_);
    form.SetJobList(&page_.core_.Jobs());
    form.SetQueueLoaded([core = &page_.core_] { return core->Queue() && core->Queue()->QueueLoaded(); });
    return form.EditSchedule(schedule);
#else
    // Without the schedule dialog a submitted job is queued as it stands.
    schedule.Queued = true;
    return true;
#endif
  }
  bool OpenJobFile(const std::string& folder, int helpContext, std::string& path) override {
    // Names keep their case here: a job file copied as "backup.mvj" is still one.
    QFileDialog dialog(&page_, QStringLiteral("Open"), QString::fromStdString(folder),
                       QStringLiteral("Mirava Jobs (*.MVJ *.mvj)"));
    dialog.setProperty("helpContext", helpContext);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = dialog.selectedFiles().front().toStdString();
    return true;
  }
  bool SaveJobFile(const std::string& folder, std::string& path) override {
    QFileDialog dialog(&page_, QStringLiteral("Save As"), QString::fromStdString(folder),
                       QStringLiteral("Mirava Jobs (*.MVJ *.mvj)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("MVJ"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = dialog.selectedFiles().front().toStdString();
    return true;
  }
  bool ChooseTemplate(const std::string& folder, std::string& path) override {
    return page_.TemplateForm().Choose(folder, path);
  }
  bool JobOptions(JobEditor& editor) override {
    if (!jobOptions_) jobOptions_ = new TMVJobOptions(page_.prompt_, &page_);
    return jobOptions_->Execute(JobOptionsViewOf(editor, page_.core_.Settings().OptionsEnabled));
  }
  SourceEditor Sources() {
    if (!macroForm_) macroForm_ = new TMVMacroForm(page_.prompt_, &page_);
    return SourceEditor(page_.core_, page_.prompt_, *page_.editor_, *macroForm_);
  }
  bool BrowseFolder(const std::string& start, std::string& path) override {
    const QString dir = QFileDialog::getExistingDirectory(&page_, QStringLiteral("Select Directory"),
                                                          QString::fromStdString(start));
    if (dir.isEmpty()) return false;
    path = dir.toStdString();
    return true;
  }

  std::function<bool(TTSchedule&)> scheduleEditor_;

 private:
  DirViewPage& page_;
  TMVJobOptions* jobOptions_ = nullptr;  // children of the page, made on first use
  TMVMacroForm* macroForm_ = nullptr;
};

namespace {

QToolButton* PaneButton(QWidget* parent, QStyle::StandardPixmap icon, const QString& hint) {
  auto* b = new QToolButton(parent);
  b->setIcon(parent->style()->standardIcon(icon));
  b->setToolTip(hint);
  b->setAccessibleName(hint);
  b->setAutoRaise(true);
  return b;
}

}  // namespace

DirViewPage::DirViewPage(MiravaCore& core, Prompt& prompt, QWidget* parent)
    : QWidget(parent), core_(core), prompt_(prompt), dialogs_(std::make_unique<Dialogs>(*this)) {
  banner_ = new QLabel(this);
  banner_->setObjectName("LBViewMode");
  banner_->setAutoFillBackground(true);
  banner_->setMargin(3);
  QFont bold = banner_->font();
  bold.setBold(true);
  banner_->setFont(bold);

  auto* panes = new QHBoxLayout;
  panes->addWidget(BuildPane(0, leftLabel_, leftView_, leftButtons_), 1);
  panes->addWidget(BuildPane(1, rightLabel_, rightView_, rightButtons_), 1);

  jobType_ = new QLabel(this);
  jobType_->setObjectName("LBJobType");
  jobType_->setFont(bold);
  auto* descriptionLabel = new QLabel("&Description:", this);
  description_ = new QLineEdit(this);
  description_->setObjectName("EDDescription");
  description_->setAccessibleName("Description:");
  descriptionLabel->setBuddy(description_);
  runNow_ = new QCheckBox("Run now", this);
  runNow_->setObjectName("CBRunNow");
  submit_ = new QPushButton("SUBMIT", this);
  submit_->setObjectName("BTNSubmit");
  submit_->setAccessibleName("SUBMIT");
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(jobType_);
  bottom->addSpacing(12);
  bottom->addWidget(descriptionLabel);
  bottom->addWidget(description_, 1);
  bottom->addWidget(runNow_);
  bottom->addWidget(submit_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(banner_);
  layout->addLayout(panes, 1);
  layout->addLayout(bottom);

  leftView_->Pane().SetNetWare(PaneDeletedFiles(core_.NetWare()));
  editor_ = std::make_unique<JobEditor>(core_, prompt_, *dialogs_, leftView_->Pane(), rightView_->Pane());

  connect(description_, &QLineEdit::textEdited, this, [this](const QString& text) {
    editor_->SetDescription(text.toStdString());
    UpdateControls();
  });
  connect(runNow_, &QCheckBox::toggled, this, [this](bool on) { editor_->SetRunNow(on); });
  connect(submit_, &QPushButton::clicked, this, &DirViewPage::Submit);
  // Enter in the name submits, as the button would.
  connect(description_, &QLineEdit::returnPressed, this, [this] {
    if (submit_->isEnabled()) Submit();
  });

  editor_->RestoreState();
  UpdateControls();
}

DirViewPage::~DirViewPage() {
  // The window saves at shutdown while the core still runs; saving again
  // here would come after the core has shut down.
  if (!saved_) SaveEditorState();
  // The editor refers to the panes of the views; it goes first.
  editor_.reset();
}

QWidget* DirViewPage::BuildPane(int number, QLabel*& label, TTDirListView*& view, PaneButtons& buttons) {
  auto* pane = new QWidget(this);
  label = new QLabel(pane);
  label->setObjectName(number == 0 ? "LBLeftPath" : "LBRightPath");
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  view = new TTDirListView(number, prompt_, label, pane);
  label->setAccessibleName(number == 0 ? "Source directory" : "Target directory");
  buttons.Browse = PaneButton(pane, QStyle::SP_DirOpenIcon, "Browse Directory");
  buttons.EnterName = PaneButton(pane, QStyle::SP_FileDialogDetailedView, "Enter Directory Name");
  buttons.Refresh = PaneButton(pane, QStyle::SP_BrowserReload, "Refresh");
  buttons.UnselectAll = PaneButton(pane, QStyle::SP_DialogResetButton, "Unselect all");
  buttons.Hide = PaneButton(pane, QStyle::SP_DialogCloseButton, "Hide View");
  auto* row = new QHBoxLayout;
  row->setContentsMargins(0, 0, 0, 0);
  for (QToolButton* b : {buttons.Browse, buttons.EnterName, buttons.Refresh, buttons.UnselectAll, buttons.Hide})
    row->addWidget(b);
  if (number == 0) {
    showDeleted_ = new QToolButton(pane);
    showDeleted_->setText("Deleted");
    showDeleted_->setToolTip("Show deleted files");
    showDeleted_->setAccessibleName("Deleted");
    showDeleted_->setAccessibleDescription("Show deleted files");
    showDeleted_->setCheckable(true);
    row->addWidget(showDeleted_);
    connect(showDeleted_, &QToolButton::toggled, this, [this](bool on) {
      leftView_->Pane().SetShowDeleted(on);
      UpdateControls();
    });
  }
  row->addStretch();
  auto* col = new QVBoxLayout(pane);
  col->setContentsMargins(0, 0, 0, 0);
  col->addWidget(label);
  col->addLayout(row);
  col->addWidget(view, 1);
  col->addStretch(0);

  TTDirListView* v = view;
  connect(buttons.Browse, &QToolButton::clicked, this, [this, v] { editor_->Browse(v->Pane()); UpdateControls(); });
  connect(buttons.EnterName, &QToolButton::clicked, this, [this, v] { editor_->EnterDirectoryName(v->Pane()); UpdateControls(); });
  connect(buttons.Refresh, &QToolButton::clicked, this, [this, v] { editor_->Refresh(v->Pane()); UpdateControls(); });
  connect(buttons.UnselectAll, &QToolButton::clicked, this, [this, v] { editor_->UnselectAll(v->Pane()); UpdateControls(); });
  connect(buttons.Hide, &QToolButton::clicked, this, [this, v] { editor_->HideView(v->Pane()); UpdateControls(); });
  connect(view, &TTDirListView::Changed, this, [this] { UpdateControls(); });
  return pane;
}

TMVTemplateForm& DirViewPage::TemplateForm() {
  if (!templateForm_) templateForm_ = new TMVTemplateForm(this);
  return *templateForm_;
}

void DirViewPage::SetScheduleEditor(std::function<bool(TTSchedule&)> edit) {
  dialogs_->scheduleEditor_ = std::move(edit);
}

void DirViewPage::SaveEditorState() {
  if (!editor_) return;
  editor_->SaveState();
  saved_ = true;
}

void DirViewPage::UpdateControls() {
  if (!editor_ || updating_) return;
  updating_ = true;
  editor_->SetOnDirViewPage(OnOwnPage());
  controls_ = editor_->UpdateControls();
  jobType_->setText(QString::fromStdString(controls_.JobTypeCaption));
  const QString description = QString::fromStdString(editor_->Description());
  if (description_->text() != description) description_->setText(description);
  runNow_->setChecked(editor_->RunNow());
  submit_->setEnabled(controls_.Submit);
  auto apply = [](const PaneButtons& b, const PaneControls& c) {
    b.Browse->setEnabled(c.Browse);
    b.EnterName->setEnabled(c.EnterName);
    b.UnselectAll->setEnabled(c.UnselectAll);
    b.Hide->setEnabled(c.Hide);
    b.Refresh->setEnabled(c.Refresh);
  };
  apply(leftButtons_, controls_.Left);
  apply(rightButtons_, controls_.Right);
  leftView_->setEnabled(controls_.Left.View && !leftView_->Pane().Busy());
  if (showDeleted_) showDeleted_->setEnabled(leftView_->Pane().HasDirectory());
  leftView_->RefreshLabel();
  rightView_->RefreshLabel();
  if (controls_.BannerChanged || banner_->text().isEmpty()) ApplyBanner();
  updating_ = false;
  emit ControlsChanged();
}

bool DirViewPage::OnOwnPage() const { return isVisible() || !parentWidget(); }

void DirViewPage::ApplyBanner() {
  banner_->setText(QString::fromStdString(controls_.BannerText));
  QPalette p = banner_->palette();
  switch (controls_.Banner) {
    case BannerColour::Yellow: p.setColor(QPalette::Window, Qt::yellow); break;
    case BannerColour::Aqua: p.setColor(QPalette::Window, Qt::cyan); break;
    default: p.setColor(QPalette::Window, palette().color(QPalette::Button));
  }
  banner_->setPalette(p);
}

void DirViewPage::ShowPage(const QString& title) {
  for (QWidget* w = parentWidget(); w; w = w->parentWidget())
    if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
      for (int i = 0; i < tabs->count(); ++i)
        if (tabs->tabText(i).remove('&') == title) tabs->setCurrentIndex(i);
      return;
    }
}

void DirViewPage::Submit() {
  editor_->SetDescription(description_->text().toStdString());
  editor_->SetRunNow(runNow_->isChecked());
  const SubmitOutcome outcome = editor_->Submit();
  if (outcome == SubmitOutcome::Submitted || outcome == SubmitOutcome::NoJob) {
    ShowPage(QStringLiteral("Joblist"));
    emit ShowJoblistPage();
  }
  UpdateControls();
}

void DirViewPage::JobNew() {}  // "&New" stays disabled
void DirViewPage::JobOpen() { editor_->JobOpen(); UpdateControls(); }
void DirViewPage::JobLoadToJoblist() { editor_->JobLoadToJoblist(); UpdateControls(); }
// The window's one Save As: the editor here, the selected job on the Joblist page.
void DirViewPage::JobSaveAs() { editor_->JobSaveAs(OnOwnPage()); }
void DirViewPage::JobOptions() { editor_->JobOptions(); UpdateControls(); }
void DirViewPage::JobApplyTemplate() { editor_->JobApplyTemplate(); UpdateControls(); }
void DirViewPage::MacroSourceEdit() { dialogs_->Sources().Edit(); UpdateControls(); }
void DirViewPage::MacroConnect() { dialogs_->Sources().Connect(); UpdateControls(); }
void DirViewPage::MacroDisconnect() { dialogs_->Sources().Disconnect(); UpdateControls(); }

void DirViewPage::EditJob(int index) {
  if (editor_->EditJob(index)) {
    ShowPage(QStringLiteral("Directory View"));
    emit ShowDirViewPage();
  }
  UpdateControls();
}

void DirViewPage::EditCopyOfJob(int index) {
  if (editor_->EditCopyOfJob(index)) {
    ShowPage(QStringLiteral("Directory View"));
    emit ShowDirViewPage();
  }
  UpdateControls();
}

}  // namespace mv
