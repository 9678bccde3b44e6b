#pragma once
// The main window: the status line, the pages "Directory View", "Joblist",
// "Server" and "Log", the menus and the status bar. It attaches to a started
// core and only shows and edits it; the core keeps running its timers on the
// shared loop exactly as headless.

#include <QMainWindow>
#include <QPointer>
#include <memory>

#include "app/coreobserver.h"

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QTabWidget;

namespace mv {

class CoreLoop;
class DirViewPage;
class JoblistTab;
class JobListModel;
class JoblistActions;
class LogModel;
class LogPage;
class LogTab;
class MainStatusBar;
class MiravaCore;
class Prompt;
class TMVOptions;
class TMVScheduleForm;
class TSplashForm;
class TTFileThreadControl;

class TForm1 : public QMainWindow, public CoreObserver {
  Q_OBJECT
 public:
  // The page indices of the page control.
  enum Page { DirViewPageIndex, JoblistPageIndex, ServerPageIndex, LogPageIndex };

  // core has run its start-up; loop drives its timers. The window is created
  // disabled; the first AppTimer tick enables it and hides the splash.
  // log holds the Log page's lines; give one that observed the core's
  // start-up to show its lines too (null: the window keeps its own, from now on).
  TForm1(MiravaCore& core, CoreLoop& loop, Prompt& prompt, LogPage* log = nullptr,
         QWidget* parent = nullptr);
  ~TForm1() override;

  // The start-up splash to hide at the first AppTimer tick and to show as
  // "Info" (not owned; the window makes its own when none is given).
  void SetSplash(TSplashForm* splash);
  TSplashForm& Splash();

  // Closes the window through the shutdown sequence (signals, CLOSE, a
  // failed role lock). An open dialog is cancelled first.
  void RequestClose();
  // The shutdown sequence: editor state saved, core shut down (jobs stopped,
  // log flushed, role lock released). Safe to call twice.
  void Shutdown();
  bool IsShutDown() const { return shutDown_; }

  // A line for the Server page (main thread).
  void AddServerLine(const QString& line);

  // Enable states and captions of the menus and the Joblist buttons.
  void UpdateControls();
  // The selected job's panels (hidden without a selection).
  void ShowSelectedJob();
  // The job's row and, when it is the selected one, its "Job Status" panel.
  void RefreshJobDisplay(TTFileThreadControl& job);

  QTabWidget* Pages() const { return pages_; }
  DirViewPage& DirView() const { return *dirView_; }
  JoblistTab& Joblist() const { return *joblist_; }
  LogTab& Log() const { return *log_; }
  QPlainTextEdit* ServerMemo() const { return server_; }
  QLabel* StatusLine() const { return statusLine_; }
  MainStatusBar& StatusBarPanel() const { return *statusBar_; }
  // A menu item by its object name ("MNQueueDisable").
  QAction* MenuItem(const char* objectName) const;
  JoblistActions& JoblistCommands() const { return *state_; }
  JobListModel& JobModel() const { return *jobModel_; }
  LogPage& LogLines() const { return *logPage_; }
  TMVScheduleForm& ScheduleForm();
  TMVOptions& OptionsForm();

  // CoreObserver.
  void JobAdded(int index) override;
  void JobRemoved(int index) override;
  void JobChanged(int index) override;
  void ListSorted() override;
  void SelectionChanged(int index) override;
  void JobDisplayRefresh(const TTFileThreadControl& job) override;
  void StatusChanged() override;

 signals:
  // The window accepted its close: the core has shut down.
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  QAction* AddItem(QMenu* menu, const char* objectName, const QString& caption,
                   const QKeySequence& shortcut = {});
  void PageChanged(int index);
  void ApplyControls();
  void FillStatus(TTFileThreadControl& job);
  void ShowServerPage();
  void ShowLogStatus();
  void JoblistButton(int button);
  void FileOptions();
  void QueueLoad();
  void QueueDisable();
  void HelpOnTopic();
  void HelpInfo();
  void AppTimer();

  MiravaCore& core_;
  CoreLoop& loop_;
  Prompt& prompt_;
  std::unique_ptr<JoblistActions> state_;
  std::unique_ptr<LogPage> ownLog_;
  LogPage* logPage_;
  JobListModel* jobModel_;
  LogModel* logModel_;
  QLabel* statusLine_;
  QTabWidget* pages_;
  DirViewPage* dirView_;
  JoblistTab* joblist_;
  QPlainTextEdit* server_;
  LogTab* log_;
  MainStatusBar* statusBar_;
  QPointer<TSplashForm> splash_;
  std::unique_ptr<TSplashForm> ownSplash_;
  TMVScheduleForm* scheduleForm_ = nullptr;
  TMVOptions* optionsForm_ = nullptr;
  bool shutDown_ = false;
  bool updating_ = false;
};

}  // namespace mv
