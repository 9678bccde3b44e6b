#include "app/front/headless.h"

#include "app/front/coreloop.h"
#include "app/front/quitsignals.h"

#include <QCoreApplication>
#include <cstdio>

namespace mv {

int RunHeadless(int argc, char** argv, StartOptions options) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(kProgramTitle);

  options.LogPage = [](const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  };
  MiravaCore core;
  CoreLoop loop(core);

  bool closing = false;
  auto close = [&] {
    if (closing) return;
    closing = true;
    loop.Stop();
    core.Shutdown();
    QCoreApplication::quit();
  };
  // Before start-up: a signal that comes once the role lock is taken must
  // already find its way to the normal shutdown.
  QuitSignals quitSignals(close);
  core.Startup(std::move(options));
  loop.SetOnClose(close);
  loop.Start();

  const int rc = QCoreApplication::exec();
  close();
  return rc;
}

}  // namespace mv
