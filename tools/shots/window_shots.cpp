// The main window on every page, with a few sample jobs of which one runs,
// its menus, and the questions of the Joblist page.
//
// The running job: a worker made for it but never started, its counters set
// and their display snapshot taken as a real display refresh does; the job
// refers to it as its thread, so the list and the "Job Status" panel show a
// run in progress. It is detached again before anything could start it.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTimer>
#include <atomic>
#include <cmath>
#include <thread>
#include <filesystem>
#include <fstream>

#include "app/dirpane.h"
#include "app/front/coreloop.h"
#include "app/gui/joblisttab.h"
#include "app/gui/qtprompt.h"
#include "app/gui/tform1.h"
#include "app/logpage.h"
#include "app/mvmain.h"
#include "dirview/dirviewpage.h"
#include "engine/copythread.h"
#include "remote/mvtcp.h"
#include "platform/clock.h"
#include "tools/shots/shots.h"

namespace {

void WriteFile(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string JobText(const std::string& name, int type, const std::string& src, const std::string& dst,
                    const std::string& schedule, const std::string& filter = "") {
  return "[job]\r\ndescription=" + name + "\r\njobtype=" + std::to_string(type) +
         "\r\noptions=259\r\n[schedule]\r\n" + schedule + "[filter]\r\n" + filter +
         "[actions]\r\ncount=1\r\nsourcepath=" + src + "\r\ntargetpath=" + dst +
         "\r\nsource0=*.*\r\ntarget0=*.*\r\n";
}

// A port nobody listens on now, for the picture's remote server.
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  ::close(fd);
  return port;
}

// A real client lists a folder through the server and leaves again, so the
// Server page shows what the server writes. The server's lines reach the
// window through the main loop, which runs here while the client waits.
void VisitServer(const std::string& folder, mv::TForm1& form) {
  std::atomic<bool> done{false};
  std::thread client([&] {
    auto remote = std::make_unique<mv::TMVIPCLient>("127.0.0.1", mv::ConfiguredRemotePort());
    remote->Connect();
    std::vector<mv::FindData> entries;
    remote->ReadRemote(folder, "*.*", 0, entries);
    remote.reset();
    done = true;
  });
  for (int i = 0; i < 400 && !(done && form.ServerMemo()->toPlainText().contains("disconnected")); ++i) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  client.join();
}

// Shows the next modal box, saves it and answers No.
void SaveNextBox(mv::shots::ShotSink& shots, const QString& name) {
  QTimer::singleShot(0, [&shots, name] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shots.Save(name, *box);
      box->reject();
    }
  });
}

}  // namespace

MV_SHOTS(window) {
  const std::string root = QDir(shots.ScratchDir()).filePath("window").toStdString() + "/";
  const std::string base = root + "base/";
  const std::string home = root + "home/";
  for (const char* f : {"Documents/report.txt", "Documents/Budget 2026.ods", "Documents/notes.md",
                        "Photos/2026/beach.jpg", "Photos/2026/harbour.jpg"})
    WriteFile(home + f, std::string(2000, 'x'));
  std::filesystem::create_directories(root + "nas/photos");
  const double today = std::floor(mv::Now());
  auto at = [&](double days) { return std::to_string(today + days); };
  // The listed jobs never run here, so their folders need not exist.
  const std::string user = "/home/anna/", nas = "/srv/nas/";
  WriteFile(base + "MVQ/00000101.MVQ",
            JobText("Nightly documents", 0, user + "Documents/", nas + "documents/",
                    "jobID=257\r\nhours=24\r\nnextrun=" + at(1 + 22.0 / 24) + "\r\n",
                    "includefilenames=*.txt|*.md|*.ods\r\n"));
  WriteFile(base + "MVQ/00000102.MVQ",
            JobText("Photos to NAS", 0, user + "Photos/", nas + "photos/",
                    "jobID=258\r\nhours=6\r\nnextrun=" + at(0.5) + "\r\n"));
  WriteFile(base + "MVQ/00000103.MVQ",
            JobText("Weekly mirror", 0, user, nas + "mirror/",
                    "jobID=259\r\ndays=7\r\nhold=1\r\nnextrun=" + at(4 + 3.0 / 24) + "\r\n"));
  WriteFile(base + "MVQ/00000104.MVQ", JobText("Analyse shares", 1, nas, "", "jobID=260\r\n"));
  WriteFile(base + "MVQ/00000105.MVQ",
            JobText("Old logs cleanup", 3, user + "logs/", "", "jobID=261\r\nhold=1\r\n",
                    "includefilenames=*.log\r\n"));

  const int port = FreePort();
  qputenv("MIRAVA_REMOTE_PORT", QByteArray::number(port));
  mv::ScriptedPrompt prompt;
  mv::MiravaCore core;
  mv::CoreLoop loop(core);
  mv::LogPage log;
  core.AddObserver(&log);
  mv::StartOptions options;
  options.Base = base;
  options.Words = {"QLOAD"};
  options.UserPrompt = &prompt;
  options.RemoteServer = "";
  mv::TForm1* shown = nullptr;
  options.ServerPage = [&shown](const std::string& line) {
    if (shown) shown->AddServerLine(QString::fromStdString(line));
  };
  core.Startup(std::move(options));
  {
    mv::TForm1 form(core, loop, prompt, &log);
    shown = &form;
    loop.AppTimerTick();

    // "Photos to NAS" is running.
    mv::TTFileThreadControl* running = core.Jobs().FindJobByName("Photos to NAS");
    mv::CopyThreadContext context;
    mv::TCopyThread worker(*running, context);
    worker.cTotal = 1843;
    worker.cSuccess = 1790;
    worker.cSkipped = 52;
    worker.cError = 1;
    worker.CurSourceDir = user + "Photos/2026/";
    worker.CurTargetDir = nas + "photos/2026/";
    worker.CurEntryName = worker.CurTargetEntryName = "harbour.jpg";
    worker.CompletedBytes = 734003200;
    worker.CurrentFileSize = 8388608;
    worker.RemainingBytes = 3145728;
    worker.TakeDisplaySnapshot();
    running->Thread = &worker;
    running->tStarted = mv::Now() - 2.0 / 24 / 60;
    running->tFinished = running->tStarted - 1;
    running->BytesDone = worker.Display().BytesDone;
    running->Speed = 48000;
    running->ErrorCode = 0x0502;
    running->cTotal = worker.cTotal;
    running->cSuccess = worker.cSuccess;
    running->cSkipped = worker.cSkipped;
    running->cError = worker.cError;
    core.RunningJobThreads = 1;
    core.Jobs().NotifyChanged(running);
    for (const char* line :
         {"@00000102;07.12.2026 14:58:02;0000;JOB START (Photos to NAS)",
          "@00000102;07.12.2026 14:58:02;0000;COPY JOB 00000102 (Photos to NAS) source: Photos/",
          "@00000102;07.12.2026 14:59:40;0502;Access denied: Photos/2026/private/",
          "@00000101;07.12.2026 02:00:00;0000;JOB FINISHED (Nightly documents)",
          "Added to joblist"})
      core.AddLogLine(line);
    core.DisplayTimerTick();

    form.Pages()->setCurrentIndex(mv::TForm1::JoblistPageIndex);
    core.Jobs().Select(core.Jobs().IndexOfJob(running));
    shots.Save("window-joblist", form);

    // An idle job selected: its last run, and the buttons of a job at rest.
    core.Jobs().Select(core.Jobs().IndexOfJob(core.Jobs().FindJobByName("Weekly mirror")));
    shots.Save("window-joblist-idle", form);

    form.MenuItem("MNQueueDisable")->trigger();
    core.DisplayTimerTick();
    shots.Save("window-queue-disabled", form);
    QMenu* queue = form.menuBar()->findChild<QMenu*>("MNQueue");
    shots.Save("menu-queue-disabled", *queue);
    queue->hide();
    form.MenuItem("MNQueueDisable")->trigger();

    for (const char* name : {"MNFile", "MNJob", "MNMacro", "MNHelp"}) {
      QMenu* menu = form.menuBar()->findChild<QMenu*>(name);
      shots.Save(QString("menu-") + QString(name).mid(2).toLower(), *menu);
      menu->hide();
    }

    form.Pages()->setCurrentIndex(mv::TForm1::DirViewPageIndex);
    mv::JobEditor& editor = form.DirView().Editor();
    editor.Left().SetDirectory(home + "Documents");
    editor.Right().SetDirectory(root + "nas");
    editor.Left().SetSelected(editor.Left().IndexOfExactName("report.txt"), true);
    editor.SetDescription("Reports to the NAS");
    form.UpdateControls();
    shots.Save("window-dirview", form);
    VisitServer(home, form);
    form.Pages()->setCurrentIndex(mv::TForm1::ServerPageIndex);
    shots.Save("window-server", form);
    form.Pages()->setCurrentIndex(mv::TForm1::LogPageIndex);
    shots.Save("window-log", form);

    // The questions of the Joblist page, as the window asks them.
    mv::QtPrompt boxes(&form);
    SaveNextBox(shots, "question-run-now");
    boxes.YesNo(mv::kPromptTitle, "RUN this job NOW?");
    SaveNextBox(shots, "question-delete");
    boxes.YesNo(mv::kPromptTitle, "DELETE this job?");
    SaveNextBox(shots, "parameter-value");
    boxes.Info(mv::kPromptTitle, user + "Photos/ [ *.* ]");

    running->Thread = nullptr;
    core.RunningJobThreads = 0;
    shown = nullptr;
  }
  core.Shutdown();
  core.RemoveObserver(&log);
  qunsetenv("MIRAVA_REMOTE_PORT");
}
