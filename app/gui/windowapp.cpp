#include "app/gui/windowapp.h"

#include <QApplication>

#include "app/front/coreloop.h"
#include "app/front/quitsignals.h"
#include "app/gui/qtprompt.h"
#include "app/gui/tform1.h"
#include "app/logpage.h"
#include "dialogs/mvsplash.h"
#include "icons/icons.h"

namespace mv {
int RunWindow(int argc, char** argv, StartOptions options) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(kProgramTitle);
  QApplication::setWindowIcon(MiravaIcon("mirava"));
  QApplication::setQuitOnLastWindowClosed(false);

  TSplashForm splash;
  splash.ShowSplash();

  QtPrompt prompt;
  MiravaCore core;
  CoreLoop loop(core);
  // Observes the start-up, so the window shows its first lines too.
  LogPage logLines;
  core.AddObserver(&logLines);

  TForm1* window = nullptr;
  bool closed = false;
  auto quit = [&] {
    if (closed) return;
    if (window) {
      window->RequestClose();
      return;
    }
    closed = true;
    loop.Stop();
    core.Shutdown();
    QApplication::quit();
  };
  // Before start-up, so that a signal that comes once the role lock is
  // taken already ends in the normal shutdown.
  QuitSignals quitSignals(quit);

  options.UserPrompt = &prompt;
  // The server's lines come through the loop, so only once the window is there.
  options.ServerPage = [&window](const std::string& line) {
    if (window) window->AddServerLine(QString::fromStdString(line));
  };
  core.Startup(std::move(options));

  {
    TForm1 form(core, loop, prompt, &logLines);
    window = &form;
    form.SetSplash(&splash);
    prompt.SetParent(&form);
    QObject::connect(&form, &TForm1::Closed, &app, &QApplication::quit, Qt::QueuedConnection);
    form.show();
    splash.raise();
    loop.Start();
    QApplication::exec();
    prompt.SetParent(nullptr);
    form.Shutdown();
    window = nullptr;
  }
  closed = true;
  core.RemoveObserver(&logLines);
  return 0;
}

}  // namespace mv
