#include "app/headless.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace mv {
namespace {

// Self-pipe: the signal handler only writes a byte; the event loop does the rest.
int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

void InstallSignalHandlers() {
  if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
}

}  // namespace

int RunHeadless(int argc, char** argv, StartOptions options) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(kProgramTitle);
  InstallSignalHandlers();

  options.LogPage = [](const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  };
  MiravaCore core;
  // Workers' synchronised calls run on this loop.
  core.Sync().SetNotify([&app, &core] {
    QMetaObject::invokeMethod(&app, [&core] { core.Sync().RunPending(); }, Qt::QueuedConnection);
  });
  core.Startup(std::move(options));

  bool closing = false;
  auto close = [&] {
    if (closing) return;
    closing = true;
    core.Shutdown();
    QCoreApplication::quit();
  };

  QTimer jobTimer;
  // End-to-end tests shorten the run-queue interval; users never need to.
  int jobTimerMs = kJobTimerMs;
  if (const char* ms = std::getenv("MIRAVA_JOB_TIMER_MS"); ms && std::atoi(ms) > 0)
    jobTimerMs = std::atoi(ms);
  jobTimer.setInterval(jobTimerMs);
  QObject::connect(&jobTimer, &QTimer::timeout, [&] {
    jobTimer.stop();  // a pass never overlaps the next one
    if (core.JobTimerTick()) return close();
    jobTimer.start();
  });
  if (core.JobTimerArmed()) jobTimer.start();

  QTimer appTimer;
  appTimer.setInterval(kAppTimerFirstMs);
  QObject::connect(&appTimer, &QTimer::timeout, [&] {
    appTimer.stop();
    if (core.AppTimerTick()) return close();
    appTimer.setInterval(kAppTimerMs);
    appTimer.start();
  });
  appTimer.start();

  std::unique_ptr<QSocketNotifier> signalNotifier;
  if (g_signalPipe[0] >= 0) {
    signalNotifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, [&] {
      char buf[16];
      while (::read(g_signalPipe[0], buf, sizeof buf) > 0) {
      }
      close();
    });
  }

  const int rc = QCoreApplication::exec();
  close();
  return rc;
}

}  // namespace mv
