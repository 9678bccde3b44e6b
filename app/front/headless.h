#pragma once
// The headless main loop: the core's timers on a QCoreApplication event loop,
// Log page lines on standard output, SIGINT and SIGTERM through the normal
// shutdown sequence.

#include "app/mvmain.h"

namespace mv {

// Runs the instance until it closes; returns the process exit code.
int RunHeadless(int argc, char** argv, StartOptions options);

}  // namespace mv
