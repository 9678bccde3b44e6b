// The main window offscreen on a real program core: its menus, buttons and
// dialogs reach the core, and close shuts it down.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAction>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <memory>
#include <thread>

#include "app/front/coreloop.h"
#include "app/gui/joblisttab.h"
#include "app/gui/tform1.h"
#include "app/logpage.h"
#include "app/mvmain.h"
#include "app/rolelock.h"
#include "remote/mvtcp.h"
#include "dialogs/mvscdlg.h"
#include "dialogs/mvsplash.h"
#include "tests/dialogs/modal.h"
#include "tests/support/tempdir.h"

using mv::JoblistTab;
using mv::test::TempDir;

namespace {

// A started core with its window, as the program makes them.
struct Window {
  Window() {
    core.AddObserver(&log);
    mv::StartOptions o;
    o.Base = dir / "base";
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
  mv::TTFileThreadControl* AddJob(const std::string& name) {
    const std::string file = dir.Write(
        name + ".MVJ", "[job]\r\ndescription=" + name + "\r\njobtype=0\r\noptions=259\r\n"
                           "[actions]\r\ncount=1\r\nsourcepath=" + dir.path() +
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

}  // namespace

class TForm1Test : public QObject {
  Q_OBJECT
 private slots:
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
