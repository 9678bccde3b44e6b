#include "app/front/headless.h"

#include "app/front/coreloop.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
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
  CoreLoop loop(core);
  core.Startup(std::move(options));

  bool closing = false;
  auto close = [&] {
    if (closing) return;
    closing = true;
    loop.Stop();
    core.Shutdown();
    QCoreApplication::quit();
  };
  loop.SetOnClose(close);
  loop.Start();

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
