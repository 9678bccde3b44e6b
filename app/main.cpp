// Program entry. Help, job checks and single job runs are handled here; the
// window and the headless core loop run in the Qt program beside this one,
// which takes over this process, so a job run from a script or a timer
// starts without loading a window library.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <variant>

#include "app/programentry.h"

int main(int argc, char** argv) {
  auto start = mv::StartProgram(argc, argv);
  if (const int* exitCode = std::get_if<int>(&start)) return *exitCode;
  const std::string frontEnd = std::get<mv::FrontEndStart>(start).Options.ProgramDir + mv::kFrontEndProgram;
  ::execv(frontEnd.c_str(), argv);
  std::fprintf(stderr, "mirava: cannot start %s: %s\n", frontEnd.c_str(), std::strerror(errno));
  return 2;
}
