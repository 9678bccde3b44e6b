// The main window offscreen on a real program core: menus and captions, the
// Queue menu, the Joblist buttons and their questions, the status bar, the
// Log page, the splash, and the shutdown on close.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <memory>
#include <thread>

#include "app/front/coreloop.h"
#include "app/gui/joblisttab.h"
#include "app/gui/logtab.h"
#include "app/gui/mainstatusbar.h"
#include "app/gui/tform1.h"
#include "app/gui/valuelabel.h"
#include "app/logpage.h"
#include "app/mvmain.h"
#include "app/rolelock.h"
#include "remote/mvtcp.h"
#include "dialogs/mvopt.h"
#include "dialogs/mvscdlg.h"
#include "dialogs/mvsplash.h"
#include "tests/dialogs/modal.h"
#include "tests/support/tempdir.h"

using mv::JoblistTab;
using mv::test::TempDir;

namespace {

// A started core with its window, as the program makes them.
struct Window {
  explicit Window(std::vector<std::string> words = {}, const std::function<void(TempDir&)>& files = {}) {
    if (files) files(dir);
    core.AddObserver(&log);
    mv::StartOptions o;
    o.Base = dir / "base";
    o.Words = std::move(words);
    o.UserPrompt = &prompt;
    core.Startup(std::move(o));
    form = std::make_unique<mv::TForm1>(core, loop, prompt, &log);
    form->show();
    loop.AppTimerTick();  // the window is enabled by the first AppTimer tick
  }
  ~Window() {
    form.reset();
    core.RemoveObserver(&log);
  }
  QAction* Item(const char* name) const { return form->MenuItem(name); }
  QPushButton* Button(JoblistTab::Button b) const { return form->Joblist().ButtonAt(b); }
  // A COPY job of src/ into dst/ in the list, selected.
  mv::TTFileThreadControl* AddJob(const std::string& name, const std::string& schedule = "") {
    const std::string file = dir.Write(
        name + ".MVJ", "[job]\r\ndescription=" + name + "\r\njobtype=0\r\noptions=259\r\n[schedule]\r\n" +
                           schedule + "[actions]\r\ncount=1\r\nsourcepath=" + dir.path() +
                           "src/\r\ntargetpath=" + dir.path() + "dst/\r\nsource0=*.*\r\ntarget0=*.*\r\n");
    if (!core.Queue()->LoadJobToList(file, false)) return nullptr;
    return core.Jobs().JobAt(core.Jobs().Count() - 1);
  }

  TempDir dir;
  mv::ScriptedPrompt prompt;
  mv::MiravaCore core;
  mv::CoreLoop loop{core};
  mv::LogPage log;
  std::unique_ptr<mv::TForm1> form;
};

uint16_t FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  uint16_t port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  ::close(fd);
  return port;
}

QStringList Captions(const QMenu* menu) {
  QStringList out;
  for (QAction* a : menu->actions())
    out << (a->isSeparator() ? "-" : a->text() + (a->shortcut().isEmpty() ? "" : " " + a->shortcut().toString()));
  return out;
}

}  // namespace

class TForm1Test : public QObject {
  Q_OBJECT
 private slots:
  void MenusPagesAndCaptions() {
    Window w;
    QCOMPARE(w.form->windowTitle(), QString("Mirava 1.109.047"));
    QCOMPARE(w.form->StatusLine()->text(), QString("(Status)"));
    QStringList menus, items;
    for (QAction* m : w.form->menuBar()->actions()) {
      menus << m->text();
      items << Captions(m->menu()).join(", ");
    }
    QCOMPARE(menus, (QStringList{"&File", "&Job", "&Queue", "Macro", "&Help"}));
    QCOMPARE(items, (QStringList{"Options Ctrl+Alt+O, Run Server F9, -, Shutdown Alt+F4",
                                 "&New, Open, Load to Joblist, -, Save As, -, Options Ctrl+O, Apply Template",
                                 "Load, -, Disable F12", "Source, -, Connect, Disconnect",
                                 "On Topic F1, -, Info"}));
    QCOMPARE(Captions(w.form->menuBar()->findChild<QMenu*>("MNMacroSource")), QStringList{"Edit"});
    QVERIFY(!w.Item("MNRunServer")->isEnabled());
    // F10 leads into the menus, as on every desktop.
    w.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
    QTest::keyClick(w.form.get(), Qt::Key_F10);
    QTRY_COMPARE(w.form->menuBar()->activeAction(), w.form->menuBar()->actions().first());
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    QVERIFY(!w.Item("MNJobNew")->isEnabled());
    QTabWidget* pages = w.form->Pages();
    QStringList tabs;
    for (int i = 0; i < pages->count(); ++i) tabs << pages->tabText(i);
    QCOMPARE(tabs, (QStringList{"Directory View", "Joblist", "Server", "Log"}));
    QVERIFY(!pages->isTabVisible(mv::TForm1::ServerPageIndex));
    QCOMPARE(pages->property("helpContext").toInt(), 101);
    pages->setCurrentIndex(mv::TForm1::JoblistPageIndex);
    QCOMPARE(pages->property("helpContext").toInt(), 201);
    pages->setCurrentIndex(mv::TForm1::LogPageIndex);
    QCOMPARE(pages->property("helpContext").toInt(), 0);

    // Every button and label a screen reader meets is named as the user sees it.
    for (QPushButton* b : w.form->findChildren<QPushButton*>())
      if (!b->text().isEmpty()) QCOMPARE(b->accessibleName(), b->text().remove('&'));
    for (int r = 0; r < JoblistTab::ParameterCount; ++r) {
      const auto row = static_cast<JoblistTab::Parameter>(r);
      QCOMPARE(w.form->Joblist().ParameterLabel(row)->accessibleName(),
               QString(JoblistTab::ParameterCaption(row)));
    }
    // Without a selection the panels are hidden and every job button is off.
    QVERIFY(w.form->Joblist().ParametersPanel()->isHidden());
    for (int b = 0; b < JoblistTab::ButtonCount; ++b)
      QVERIFY(!w.Button(static_cast<JoblistTab::Button>(b))->isEnabled());
  }

  void SplashUntilTheFirstAppTimerTick() {
    TempDir dir;
    mv::ScriptedPrompt prompt;
    mv::MiravaCore core;
    mv::CoreLoop loop(core);
    mv::StartOptions o;
    o.Base = dir / "base";
    o.UserPrompt = &prompt;
    core.Startup(std::move(o));
    mv::TSplashForm splash;
    splash.ShowSplash();
    mv::TForm1 form(core, loop, prompt);
    form.SetSplash(&splash);
    form.show();
    QCOMPARE(std::pair(form.isEnabled(), splash.isVisible()), std::pair(false, true));
    loop.AppTimerTick();
    QCOMPARE(std::pair(form.isEnabled(), splash.isVisible()), std::pair(true, false));
  }

  void ACloseWhileADialogIsOpenCancelsItFirst() {
    Window w;
    bool wasModal = false;
    mv::test::WhenShown<mv::TSplashForm>([&](mv::TSplashForm& info) {
      wasModal = info.ShownModally();
      w.form->RequestClose();  // SIGTERM, CLOSE or a failed role lock
    });
    w.Item("MNHelpInfo")->trigger();
    QVERIFY(wasModal);
    QTRY_VERIFY(w.core.ShutDown());
    QVERIFY(!w.form->isVisible());
  }

  void FileOptionsAppliesAndLogsTheMask() {
    Window w;
    mv::test::WhenShown<mv::TMVOptions>([](mv::TMVOptions& form) {
      form.findChild<QCheckBox*>("CBResumePath")->setChecked(false);
      form.findChild<QCheckBox*>("CBResumeFile")->setChecked(false);
      form.accept();
    });
    w.Item("MNOptions")->trigger();
    QCOMPARE(w.core.Settings().OptionsEnabled, 0xFFCFFFFFu);
    QTableView* log = w.form->Log().View();
    QCOMPARE(log->model()->index(log->model()->rowCount() - 1, 3).data().toString(), QString("FFCFFFFF"));
  }

  void QueueDisableTogglesCaptionAndRedThreadsLabel() {
    Window w;
    QAction* toggle = w.Item("MNQueueDisable");
    toggle->trigger();
    QCOMPARE(toggle->text(), QString("Enable"));
    QVERIFY(w.core.ModeFlags() & mv::MODE_QUEUE_DISABLED);
    QVERIFY(w.form->StatusBarPanel().ThreadsLabelRed());
    toggle->trigger();
    QCOMPARE(toggle->text(), QString("Disable"));
    QVERIFY(!w.form->StatusBarPanel().ThreadsLabelRed());
  }

  void QueueLoadsOnlyOnce() {
    Window w({}, [](TempDir& d) {
      d.Write("base/MVQ/00000101.MVQ",
              "[job]\r\ndescription=queued\r\njobtype=0\r\n[schedule]\r\njobID=257\r\n"
              "[actions]\r\ncount=1\r\nsourcepath=" + d.path() + "\r\ntargetpath=" + d.path() +
                  "t/\r\nsource0=*.*\r\ntarget0=*.*\r\n");
    });
    QAction* load = w.Item("MNQueueLoad");
    QVERIFY(load->isEnabled());
    QCOMPARE(w.form->StatusLine()->text(), QString("(Status)"));
    load->trigger();
    QCOMPARE(w.form->StatusLine()->text(), QString());  // "WAIT... (Loading ...)" came and went
    QCOMPARE(w.core.Jobs().Count(), 1);
    QCOMPARE(w.form->Pages()->currentIndex(), int(mv::TForm1::JoblistPageIndex));
    QVERIFY(!load->isEnabled());
    load->trigger();
    QCOMPARE(w.core.Jobs().Count(), 1);
    QVERIFY(w.prompt.Complete());
  }

  void RunNowSetsTheRunRequestAndTheParametersShowTheirWholeText() {
    Window w;
    w.form->Pages()->setCurrentIndex(mv::TForm1::JoblistPageIndex);
    mv::TTFileThreadControl* job = w.AddJob("nightly", "hold=1\r\n");
    QVERIFY(job);
    QVERIFY(!w.form->Joblist().ParametersPanel()->isHidden());
    QCOMPARE(w.form->Joblist().View()->currentIndex().row(), 0);
    QCOMPARE(w.form->Joblist().StatusLabel(JoblistTab::Status)->text(),
             QString("Job thread is not running"));
    QCOMPARE(w.form->Joblist().View()->model()->index(0, 1).data().toString(), QString("no schedule"));
    QVERIFY(w.Button(JoblistTab::RunNow)->isEnabled());
    QVERIFY(!w.Button(JoblistTab::Pause)->isEnabled());

    job->Schedule->RunRequest = 2;  // a pending remove-when-idle goes
    w.prompt.ExpectYesNo("RUN this job NOW?", false).ExpectYesNo("RUN this job NOW?", true);
    w.Button(JoblistTab::RunNow)->click();
    QCOMPARE(job->Schedule->RunRequest, 2u);
    w.Button(JoblistTab::RunNow)->click();
    QCOMPARE(job->Schedule->RunRequest, 1u);

    mv::ValueLabel* source = w.form->Joblist().ParameterLabel(JoblistTab::SourceDirectory);
    w.prompt.ExpectInfo(source->Value().toStdString());
    QVERIFY(source->Value().contains("src/"));
    QTest::mouseClick(source, Qt::LeftButton);
    QVERIFY(!source->Red());
    QVERIFY(w.prompt.Complete());
  }

  void DeleteRefusesAJobWithAThreadAndRemovesAnIdleOne() {
    Window w;
    for (int i = 0; i < 50; ++i) w.dir.Write("src/f" + std::to_string(i) + ".txt", "x");
    mv::TTFileThreadControl* job = w.AddJob("busy");
    // The worker waits for the main thread at its first display refresh, and
    // its run ends only in the results report there: until the loop runs,
    // the job keeps its thread.
    w.Button(JoblistTab::Start)->click();
    QVERIFY(job->Thread);
    QVERIFY(!w.Button(JoblistTab::DeleteJob)->isEnabled());
    QVERIFY(w.Button(JoblistTab::Pause)->isEnabled());
    QVERIFY(w.Button(JoblistTab::Terminate)->isEnabled());
    QCOMPARE(w.form->Joblist().StatusLabel(JoblistTab::Status)->text(), QString("Job thread is running"));
    w.Button(JoblistTab::Pause)->click();
    QVERIFY(w.Button(JoblistTab::DeleteJob)->isEnabled());  // paused
    QVERIFY(w.Button(JoblistTab::Start)->isEnabled());
    w.prompt.ExpectYesNo("DELETE this job?", true);
    w.Button(JoblistTab::DeleteJob)->click();
    QCOMPARE(w.core.Jobs().Count(), 1);

    w.Button(JoblistTab::Terminate)->click();
    QTRY_VERIFY_WITH_TIMEOUT(!job->Thread, 20000);
    QTRY_VERIFY(w.Button(JoblistTab::DeleteJob)->isEnabled());
    w.prompt.ExpectYesNo("DELETE this job?", true);
    w.Button(JoblistTab::DeleteJob)->click();
    QCOMPARE(w.core.Jobs().Count(), 0);
    QVERIFY(w.form->Joblist().ParametersPanel()->isHidden());
    QVERIFY(w.prompt.Complete());
  }

  void RescheduleHoldsTheRunQueueWhileTheDialogIsOpen() {
    Window w;
    mv::TTFileThreadControl* job = w.AddJob("weekly");
    bool busyWhileOpen = false;
    mv::test::WhenShown<mv::TMVScheduleForm>([&](mv::TMVScheduleForm& form) {
      busyWhileOpen = w.loop.Busy() == 1;
      form.findChild<QSpinBox*>("UDHours")->setValue(3);
      form.accept();
    });
    w.Button(JoblistTab::RescheduleJob)->click();
    QVERIFY(busyWhileOpen);
    QCOMPARE(w.loop.Busy(), 0);
    QCOMPARE(job->Schedule->Hours, 3);
    QVERIFY(w.form->Joblist().View()->model()->index(0, 1).data().toString() != "no schedule");
  }

  void SortByTimeShowsTheLaterRunFirst() {
    Window w;
    w.form->Pages()->setCurrentIndex(mv::TForm1::JoblistPageIndex);
    w.AddJob("a early", "hours=1\r\nnextrun=46000\r\n");
    w.AddJob("b later", "hours=1\r\nnextrun=47000\r\n");
    QTableView* view = w.form->Joblist().View();
    QCOMPARE(view->model()->index(0, 0).data().toString(), QString("a early"));
    QTest::mouseClick(view->horizontalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(view->horizontalHeader()->sectionViewportPosition(1) + 5, 5));
    QCOMPARE(w.core.Jobs().SortColumn(), 1);
    QCOMPARE(view->model()->index(0, 0).data().toString(), QString("b later"));
    QCOMPARE(view->currentIndex().row(), w.core.Jobs().Selected());
    const int time = view->fontMetrics().horizontalAdvance("00.00.00 00:00:00");
    QCOMPARE(view->columnWidth(1), time);
    QCOMPARE(view->columnWidth(0), view->viewport()->width() - time - 4);
  }

  void StatusBarAndLogPage() {
    Window w;
    w.core.DisplayTimerTick();
    mv::MainStatusBar& bar = w.form->StatusBarPanel();
    QCOMPARE((QStringList{bar.MailLabel()->text(), bar.LocksLabel()->text(),
                          bar.ControlLabel()->text()}),
             (QStringList{QString("Mailing queue: %1").arg(w.core.Status().MailCount),
                          "Folder locks: 0", ""}));
    QCOMPARE(std::pair(bar.ThreadsGauge()->maximum(), bar.ThreadsGauge()->value()),
             std::pair(8, 0));
    // A controller instance appears: the next pass sees it, the next tick shows it.
    mv::RoleLock controller;
    QVERIFY(controller.Acquire(w.core.Dirs().ControlDir, mv::kClientLockName));
    w.loop.JobTimerTick();
    w.core.DisplayTimerTick();
    QCOMPARE(bar.ControlLabel()->text(), QString("CONTROL detected"));

    // The start-up lines are there, then every new one.
    QTableView* log = w.form->Log().View();
    const int before = log->model()->rowCount();
    QVERIFY(before >= 1);
    QCOMPARE(log->model()->index(before - 1, 3).data().toString(),
             QString("NetWare interface not available"));
    w.core.AddLogLine("@0000002A;01.02.2026 10:00:00;0000;first");
    w.core.AddLogLine("@0000002A;01.02.2026 10:00:01;0000;second");
    w.core.AddLogLine("a plain line");
    QCOMPARE(log->model()->rowCount(), before + 3);
    auto cell = [&](int row, int col) { return log->model()->index(before + row, col).data().toString(); };
    QCOMPARE((QStringList{cell(0, 0), cell(1, 0), cell(2, 0), cell(2, 1), cell(2, 3)}),
             (QStringList{"0000002A", "", "0", "(time)", "a plain line"}));
    const QFontMetrics fm = log->fontMetrics();
    QCOMPARE(log->columnWidth(0), fm.horizontalAdvance("AAAAAAAA") + 8);
    QCOMPARE(log->columnWidth(1), fm.horizontalAdvance("00.00.0000 00:00:00") + 16);
    QCOMPARE(log->columnWidth(2), fm.horizontalAdvance("Error") + 16);
    QVERIFY(w.form->Log().StatusLabel()->text().startsWith(
        QString(" Log Lines: %1 Log Chars: ").arg(before + 3)));
  }

  void RemoteServerLinesOnTheServerPageAndCloseShutsTheCoreDown() {
    // A port free now, for the listing server of this instance.
    const uint16_t port = FreePort();
    QVERIFY(port > 0);
    qputenv("MIRAVA_REMOTE_PORT", QByteArray::number(port));
    TempDir dir;
    mv::ScriptedPrompt prompt;
    mv::MiravaCore core;
    mv::CoreLoop loop(core);
    mv::TForm1* window = nullptr;
    mv::StartOptions o;
    o.Base = dir / "base";
    o.UserPrompt = &prompt;
    o.RemoteServer = "";
    o.ServerPage = [&](const std::string& line) { window->AddServerLine(QString::fromStdString(line)); };
    core.Startup(std::move(o));
    qunsetenv("MIRAVA_REMOTE_PORT");
    mv::TForm1 form(core, loop, prompt);
    window = &form;
    QVERIFY(form.Pages()->isTabVisible(mv::TForm1::ServerPageIndex));
    QCOMPARE(form.MenuItem("MNRunServer")->text(), QString("Stop Server"));

    // A client of another thread: the server's lines reach the page through the main loop.
    std::thread client([port] {
      mv::TMVIPCLient remote("127.0.0.1", port);
      remote.Connect();
    });
    QTRY_VERIFY(form.ServerMemo()->toPlainText().contains("establish connection..."));
    client.join();
    QVERIFY(form.ServerMemo()->toPlainText().indexOf("establish connection...") > 0);

    const std::string ctrl = core.Dirs().ControlDir;
    QVERIFY(mv::RoleLockHeld(ctrl, mv::kServerLockName));
    QVERIFY(form.close());
    QVERIFY(core.ShutDown());
    QVERIFY(!mv::RoleLockHeld(ctrl, mv::kServerLockName));
    QVERIFY(QFile::exists(QString::fromStdString(core.Dirs().BaseDir) + "MIRAVA.MVJ"));
  }
};

QTEST_MAIN(TForm1Test)
#include "tform1_test.moc"
