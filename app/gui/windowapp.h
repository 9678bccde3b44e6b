#pragma once
// The program with its main window: the core's timers on the Qt event loop of
// a QApplication, questions in Qt dialogs, and SIGINT and SIGTERM through
// the window's normal close.

#include "app/mvmain.h"

namespace mv {


// Runs the instance with its window until it closes; the process exit code.
int RunWindow(int argc, char** argv, StartOptions options);

}  // namespace mv
