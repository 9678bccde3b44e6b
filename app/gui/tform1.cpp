#include "app/gui/tform1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTabWidget>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include "app/front/coreloop.h"
#include "app/gui/joblistactions.h"
#include "app/gui/joblistmodel.h"
#include "app/gui/joblisttab.h"
#include "app/gui/logmodel.h"
#include "app/gui/logtab.h"
#include "app/gui/mainstatusbar.h"
#include "app/jobstatustext.h"
#include "app/logpage.h"
#include "app/mvmain.h"
#include "app/sourceedit.h"
#include "dialogs/mvhelp.h"
#include "dialogs/mvopt.h"
#include "dialogs/mvscdlg.h"
#include "dialogs/mvsplash.h"
#include "dirview/dirviewpage.h"
#include "icons/icons.h"
#include "jobs/jobfile.h"

namespace mv {
namespace {

// The Server page keeps this many of the remote server's latest lines.
constexpr int kServerPageLines = 10000;

QString Q(const std::string& s) { return QString::fromStdString(s); }

static_assert(JoblistTab::ButtonCount == JoblistActions::kButtonCount);

}  // namespace

TForm1::TForm1(MiravaCore& core, CoreLoop& loop, Prompt& prompt, LogPage* log, QWidget* parent)
    : QMainWindow(parent),
      core_(core),
      loop_(loop),
      prompt_(prompt),
      state_(std::make_unique<JoblistActions>(core)) {
  setObjectName("Form1");
  setWindowTitle(kProgramVersionText);
  setAccessibleName(kProgramVersionText);
  setWindowIcon(MiravaIcon("mirava"));
  setProperty("helpContext", kHelpMainWindow);
  resize(920, 620);
  if (!log) {
    ownLog_ = std::make_unique<LogPage>();
    core_.AddObserver(ownLog_.get());
    log = ownLog_.get();
  }
  logPage_ = log;

  statusLine_ = new QLabel("(Status)");
  statusLine_->setObjectName("LBStatus");
  statusLine_->setAccessibleName("Status");
  statusLine_->setStyleSheet("color: grey");

  pages_ = new QTabWidget;
  pages_->setObjectName("PCMain");
  dirView_ = new DirViewPage(core_, prompt_);
  dirView_->setObjectName("TSDirView");
  joblist_ = new JoblistTab;
  joblist_->setObjectName("TSJoblist");
  server_ = new QPlainTextEdit;
  server_->setObjectName("TSServer");
  server_->setAccessibleName("Server");
  server_->setReadOnly(true);
  server_->setMaximumBlockCount(kServerPageLines);
  log_ = new LogTab;
  log_->setObjectName("TSLog");
  pages_->addTab(dirView_, "Directory View");
  pages_->addTab(joblist_, "Joblist");
  pages_->addTab(server_, "Server");
  pages_->addTab(log_, "Log");
  pages_->setTabVisible(ServerPageIndex, false);
  pages_->setTabEnabled(ServerPageIndex, false);

  auto* central = new QWidget;
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(4, 2, 4, 0);
  layout->addWidget(statusLine_);
  layout->addWidget(pages_, 1);
  setCentralWidget(central);
  statusBar_ = new MainStatusBar;
  setStatusBar(statusBar_);

  jobModel_ = new JobListModel(core_, this);
  joblist_->SetModel(jobModel_);
  logModel_ = new LogModel(*logPage_, this);
  log_->SetModel(logModel_);
  connect(logModel_, &LogModel::LastRowToSelect, log_, &LogTab::SelectLast);
  connect(logModel_, &LogModel::LinesChanged, this, &TForm1::ShowLogStatus);

  BuildMenus();
  dirView_->SetScheduleEditor([this](TTSchedule& s) { return ScheduleForm().EditSchedule(s); });
  connect(dirView_, &DirViewPage::ShowJoblistPage, this,
          [this] { pages_->setCurrentIndex(JoblistPageIndex); });
  connect(dirView_, &DirViewPage::ShowDirViewPage, this,
          [this] { pages_->setCurrentIndex(DirViewPageIndex); });
  connect(dirView_, &DirViewPage::ControlsChanged, this, &TForm1::ApplyControls);
  connect(pages_, &QTabWidget::currentChanged, this, &TForm1::PageChanged);
  connect(joblist_, &JoblistTab::RowSelected, this, [this](int row) {
    core_.Jobs().Select(row);
    ShowSelectedJob();
  });
  connect(joblist_, &JoblistTab::SortRequested, this, [this](int column) { state_->SortBy(column); });
  connect(joblist_, &JoblistTab::ButtonClicked, this, &TForm1::JoblistButton);
  connect(joblist_, &JoblistTab::ParameterShown, this,
          [this](const QString&, const QString& value) { prompt_.Info(kPromptTitle, value.toStdString()); });

  // "WAIT... (Loading FILE)" while a job file is read, cleared afterwards.
  SetJobFileWaitIndicator([this, main = QThread::currentThread()](const std::string& text) {
    if (QThread::currentThread() != main) return;
    statusLine_->setText(text.empty() ? QString() : "WAIT... (" + Q(text) + ")");
    statusLine_->repaint();
  });
  core_.AddObserver(this);
  loop_.SetOnAppTimer([this] { AppTimer(); });
  loop_.SetOnClose([this] { RequestClose(); });

  if (core_.RemoteServerRunning()) ShowServerPage();
  PageChanged(pages_->currentIndex());
  joblist_->SelectRow(core_.Jobs().Selected());
  ShowSelectedJob();
  StatusChanged();
  if (logPage_->Count() > 0) ShowLogStatus();
  // The first AppTimer tick enables the window.
  setEnabled(false);
}

TForm1::~TForm1() {
  SetJobFileWaitIndicator({});
  Shutdown();
  // The model listens to the page, which may be a member that goes first.
  log_->SetModel(nullptr);
  delete logModel_;
  core_.RemoveObserver(this);
  if (ownLog_) core_.RemoveObserver(ownLog_.get());
  loop_.SetOnAppTimer({});
  loop_.SetOnClose({});
}

QAction* TForm1::AddItem(QMenu* menu, const char* objectName, const QString& caption,
                         const QKeySequence& shortcut) {
  QAction* a = menu->addAction(caption);
  a->setObjectName(objectName);
  if (!shortcut.isEmpty()) {
    a->setShortcut(shortcut);
    a->setShortcutContext(Qt::WindowShortcut);
  }
  return a;
}

void TForm1::BuildMenus() {
  QMenuBar* bar = menuBar();
  QMenu* file = bar->addMenu("&File");
  file->setObjectName("MNFile");
  connect(AddItem(file, "MNOptions", "Options", QKeySequence("Ctrl+Alt+O")), &QAction::triggered,
          this, &TForm1::FileOptions);
  QAction* runServer = AddItem(file, "MNRunServer", "Run Server", QKeySequence(Qt::Key_F9));
  runServer->setEnabled(false);
  file->addSeparator();
  connect(AddItem(file, "MNShutdown", "Shutdown", QKeySequence("Alt+F4")), &QAction::triggered,
          this, &QWidget::close);

  QMenu* job = bar->addMenu("&Job");
  job->setObjectName("MNJob");
  AddItem(job, "MNJobNew", "&New")->setEnabled(false);
  connect(AddItem(job, "MNJobOpen", "Open"), &QAction::triggered, dirView_, &DirViewPage::JobOpen);
  connect(AddItem(job, "MNJobLoadToJoblist", "Load to Joblist"), &QAction::triggered, this, [this] {
    dirView_->JobLoadToJoblist();
    UpdateControls();
  });
  job->addSeparator();
  connect(AddItem(job, "MNJobSaveAs", "Save As"), &QAction::triggered, dirView_,
          &DirViewPage::JobSaveAs);
  job->addSeparator();
  connect(AddItem(job, "MNJobOptions", "Options", QKeySequence("Ctrl+O")), &QAction::triggered,
          dirView_, &DirViewPage::JobOptions);
  connect(AddItem(job, "MNJobApplyTemplate", "Apply Template"), &QAction::triggered, dirView_,
          &DirViewPage::JobApplyTemplate);

  QMenu* queue = bar->addMenu("&Queue");
  queue->setObjectName("MNQueue");
  connect(AddItem(queue, "MNQueueLoad", "Load"), &QAction::triggered, this, &TForm1::QueueLoad);
  queue->addSeparator();
  connect(AddItem(queue, "MNQueueDisable", "Disable", QKeySequence(Qt::Key_F12)),
          &QAction::triggered, this, &TForm1::QueueDisable);

  QMenu* macro = bar->addMenu("Macro");
  macro->setObjectName("MNMacro");
  QMenu* source = macro->addMenu("Source");
  source->setObjectName("MNMacroSource");
  source->menuAction()->setObjectName("MNMacroSourceItem");
  connect(AddItem(source, "MNMacroEdit", "Edit"), &QAction::triggered, dirView_,
          &DirViewPage::MacroSourceEdit);
  macro->addSeparator();
  connect(AddItem(macro, "MNMacroConnect", "Connect"), &QAction::triggered, dirView_,
          &DirViewPage::MacroConnect);
  connect(AddItem(macro, "MNMacroDisconnect", "Disconnect"), &QAction::triggered, dirView_,
          &DirViewPage::MacroDisconnect);

  QMenu* help = bar->addMenu("&Help");
  help->setObjectName("MNHelp");
  connect(AddItem(help, "MNHelpOnTopic", "On Topic", QKeySequence(Qt::Key_F1)), &QAction::triggered,
          this, &TForm1::HelpOnTopic);
  help->addSeparator();
  connect(AddItem(help, "MNHelpInfo", "Info"), &QAction::triggered, this, &TForm1::HelpInfo);

  // F10 opens the menu bar, as on every desktop; the arrows lead on from there.
  auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
  connect(f10, &QShortcut::activated, this, [this, file] {
    menuBar()->setFocus(Qt::ShortcutFocusReason);
    menuBar()->setActiveAction(file->menuAction());
  });
}

QAction* TForm1::MenuItem(const char* objectName) const {
  return menuBar()->findChild<QAction*>(objectName);
}

void TForm1::SetSplash(TSplashForm* splash) { splash_ = splash; }

TSplashForm& TForm1::Splash() {
  if (!splash_) {
    ownSplash_ = std::make_unique<TSplashForm>();
    splash_ = ownSplash_.get();
  }
  return *splash_;
}

TMVScheduleForm& TForm1::ScheduleForm() {
  if (!scheduleForm_) scheduleForm_ = new TMVScheduleForm(core_, loop_, this);
  return *scheduleForm_;
}

TMVOptions& TForm1::OptionsForm() {
  if (!optionsForm_) optionsForm_ = new TMVOptions(this);
  return *optionsForm_;
}

void TForm1::AppTimer() {
  if (splash_) splash_->HideSplash();
  if (!isEnabled()) setEnabled(true);
}

void TForm1::RequestClose() {
  if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
    // The dialog's own exec() must return before the window goes: cancel
    // it and try again once its loop has ended.
    if (auto* dialog = qobject_cast<QDialog*>(modal))
      dialog->reject();
    else
      modal->close();
    QTimer::singleShot(0, this, &TForm1::RequestClose);
    return;
  }
  close();
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
    event->ignore();
    RequestClose();
    return;
  }
  Shutdown();
  if (splash_) splash_->hide();
  event->accept();
  emit Closed();
}

void TForm1::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  loop_.Stop();
  dirView_->SaveEditorState();
  core_.Shutdown();
}

void TForm1::PageChanged(int index) {
  pages_->setProperty("helpContext", index == DirViewPageIndex  ? kHelpDirectoryView
                                     : index == JoblistPageIndex ? kHelpJoblist
                                                                 : 0);
  UpdateControls();
}

void TForm1::UpdateControls() {
  if (updating_) return;
  dirView_->UpdateControls();  // emits ControlsChanged
  ApplyControls();
}

void TForm1::ApplyControls() {
  if (updating_) return;
  updating_ = true;
  const EditorControls& c = dirView_->Controls();
  auto enable = [this](const char* name, bool on) {
    if (QAction* a = MenuItem(name)) a->setEnabled(on);
  };
  enable("MNJobNew", false);
  enable("MNJobSaveAs", c.SaveAs);
  enable("MNJobOptions", c.Options);
  enable("MNJobApplyTemplate", c.ApplyTemplate);
  enable("MNQueueLoad", state_->QueueLoadEnabled());
  enable("MNMacroEdit", c.MacroEdit);
  MenuItem("MNMacroEdit")->setText(SourceEditCaption(dirView_->Editor().SourceEditMode()));
  enable("MNMacroConnect", c.MacroConnect);
  enable("MNMacroDisconnect", c.MacroDisconnect);
  MenuItem("MNQueueDisable")->setText(state_->QueueToggleCaption());

  auto b = state_->Buttons();
  b[JoblistTab::EditJob] = b[JoblistTab::EditJob] && c.JoblistEdit;
  b[JoblistTab::EditCopy] = b[JoblistTab::EditCopy] && c.JoblistEdit;
  for (int i = 0; i < JoblistTab::ButtonCount; ++i)
    joblist_->EnableButton(static_cast<JoblistTab::Button>(i), b[i]);
  updating_ = false;
}

void TForm1::ShowSelectedJob() {
  TTFileThreadControl* job = state_->SelectedJob();
  joblist_->ShowPanels(job != nullptr);
  if (job) {
    for (const JobParameterRow& row : JobParameterRows(*job)) {
      for (int r = 0; r < JoblistTab::ParameterCount; ++r)
        if (std::string(JoblistTab::ParameterCaption(static_cast<JoblistTab::Parameter>(r))) ==
            row.Label)
          joblist_->SetParameter(static_cast<JoblistTab::Parameter>(r), Q(row.Value));
    }
    RefreshJobDisplay(*job);
  }
  UpdateControls();
}

void TForm1::RefreshJobDisplay(TTFileThreadControl& job) {
  // Speed and figures into the job; the list row and the panel follow
  // through JobChanged.
  state_->RefreshJobDisplay(job);
}

void TForm1::FillStatus(TTFileThreadControl& job) {
  const JobStatusTexts t = MakeJobStatusTexts(job);
  // The labels shorten the paths to their width; the job keeps the whole
  // ones, shown again once its run has ended.
  job.CurSourceText = t.Source;
  job.CurTargetText = t.Target;
  joblist_->SetStatus(JoblistTab::Source, Q(t.Source));
  joblist_->SetStatus(JoblistTab::Target, Q(t.Target));
  const std::pair<JoblistTab::StatusField, const std::string*> fields[] = {
      {JoblistTab::Total, &t.Total},         {JoblistTab::Success, &t.Success},
      {JoblistTab::Skipped, &t.Skipped},     {JoblistTab::Errors, &t.Errors},
      {JoblistTab::Deleted, &t.Deleted},     {JoblistTab::StartTime, &t.StartTime},
      {JoblistTab::EndTime, &t.EndTime},     {JoblistTab::LastErrorCode, &t.LastErrorCode},
      {JoblistTab::Status, &t.Status},       {JoblistTab::Speed, &t.Speed},
      {JoblistTab::KBDone, &t.KBDone},       {JoblistTab::AverageRate, &t.AverageRate},
      {JoblistTab::LastCompleteRun, &t.LastCompleteRun}};
  for (const auto& [field, text] : fields) joblist_->SetStatus(field, Q(*text));
  joblist_->SetProgress(t.Progress);
}

void TForm1::JoblistButton(int button) {
  const int index = core_.Jobs().Selected();
  if (button == JoblistTab::EditJob)
    dirView_->EditJob(index);
  else if (button == JoblistTab::EditCopy)
    dirView_->EditCopyOfJob(index);
  else
    state_->Run(button, [this](TTSchedule& s) { return ScheduleForm().EditSchedule(s); });
  ShowSelectedJob();
}

void TForm1::FileOptions() {
  if (EditProgramOptions(core_, OptionsForm())) UpdateControls();
}

void TForm1::QueueLoad() {
  state_->LoadQueue();
  pages_->setCurrentIndex(JoblistPageIndex);
  ShowSelectedJob();
}

void TForm1::QueueDisable() {
  state_->ToggleQueue();
  UpdateControls();
}

void TForm1::HelpOnTopic() {
  if (!ShowHelpContext(kHelpContents)) core_.AddLogLine("The help page could not be opened in a browser");
}

void TForm1::HelpInfo() { Splash().ShowInfo(); }

void TForm1::ShowServerPage() {
  pages_->setTabVisible(ServerPageIndex, true);
  pages_->setTabEnabled(ServerPageIndex, true);
  if (QAction* a = MenuItem("MNRunServer")) a->setText("Stop Server");
}

void TForm1::AddServerLine(const QString& line) { server_->appendPlainText(line); }

void TForm1::JobAdded(int) { UpdateControls(); }

void TForm1::JobRemoved(int) {
  ShowSelectedJob();
}

void TForm1::JobChanged(int index) {
  if (index != core_.Jobs().Selected()) return;
  if (TTFileThreadControl* job = core_.Jobs().JobAt(index)) FillStatus(*job);
  ApplyControls();
}

void TForm1::ListSorted() { joblist_->SelectRow(core_.Jobs().Selected()); }

void TForm1::SelectionChanged(int index) {
  joblist_->SelectRow(index);
  ShowSelectedJob();
}

void TForm1::JobDisplayRefresh(const TTFileThreadControl&) {}

void TForm1::ShowLogStatus() {
  const size_t items = core_.ProgramLog() ? core_.ProgramLog()->Count() : 0;
  log_->SetStatusText(Q(logPage_->StatusText(items)));
}

void TForm1::StatusChanged() {
  statusBar_->Show(core_.Status());
  ApplyControls();
}

}  // namespace mv
