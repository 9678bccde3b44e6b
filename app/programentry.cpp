#include "app/programentry.h"

#include <unistd.h>

#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <utility>
#include <vector>

#include "app/checkjob.h"
#include "app/commandline.h"
#include "app/copyhold.h"
#include "app/datadirs.h"
#include "app/runjob.h"
#include "platform/paths.h"

namespace mv {

namespace {

std::string ProgramDir(const char* argv0) {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) return ExtractFilePath(std::string(buf, static_cast<std::size_t>(n)));
  return ExtractFilePath(argv0 ? argv0 : "");
}

void PrintUsage(std::FILE* out) {
  std::fputs(
      "usage: mirava [OPTION]... [CLOSE] [CONTROL] [QLOAD] [RUNJOB=name]\n"
      "       mirava --run-job FILE [--quiet] [--base DIR]\n"
      "       mirava --check-job FILE [--base DIR]\n"
      "Copies, mirrors, analyses and cleans directory trees as scheduled jobs.\n"
      "\n"
      "  (no option)        open the main window (needs DISPLAY or WAYLAND_DISPLAY)\n"
      "  --headless         run without a window; Log page lines go to standard output\n"
      "  --base DIR         keep all data below DIR\n"
      "  --remote-server[=ADDRESS]  serve directory listings on port 52001\n"
      "                     (default: loopback only)\n"
      "  --check-job FILE   describe a job file without writing anything; exit 0 when valid\n"
      "  --run-job FILE     run a job file now; exit 0 ok, 1 errors, 2 failed or stopped,\n"
      "                     3 the file could not be loaded\n"
      "  -q, --quiet        with --run-job: print only the results lines\n"
      "  -h, --help         show this help and exit\n"
      "  -V, --version      show the version and exit\n"
      "\n"
      "Command words: CLOSE close when idle, CONTROL controller instance,\n"
      "QLOAD load the queued jobs, RUNJOB=name run MVJ/NAME.MVJ.\n"
      "Full documentation: man mirava\n",
      out);
}

bool Set(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

}  // namespace

bool DisplayAvailable() {
  return Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM");
}

std::variant<int, FrontEndStart> StartProgram(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  std::vector<std::string> args(argv + 1, argv + argc);
  ProgramArguments parsed = ParseProgramArguments(args);
  if (!parsed.Error.empty()) {
    std::fprintf(stderr, "mirava: %s\n", parsed.Error.c_str());
    PrintUsage(stderr);
    return 2;
  }
  if (parsed.Help) {
    PrintUsage(stdout);
    return 0;
  }
  if (parsed.Version) {
    std::printf("%s\n", kProgramVersionText);
    return 0;
  }
  InstallCopyHoldFromEnvironment();
  const std::string programDir = ProgramDir(argv[0]);
  if (parsed.CheckJob) {
    const DataDirs dirs = DeriveDataDirs(ChooseBaseDir(parsed.Base, programDir));
    return CheckJobFile(*parsed.CheckJob, dirs, std::cout, &std::cerr);
  }
  if (parsed.RunJob) {
    const DataDirs dirs = DeriveDataDirs(ChooseBaseDir(parsed.Base, programDir));
    return RunJobFileNow(*parsed.RunJob, dirs, std::cout, RunJobOutputForStdout(parsed.Quiet), &std::cerr);
  }
  if (!parsed.Headless && !DisplayAvailable()) {
    std::fputs("mirava: no display (DISPLAY and WAYLAND_DISPLAY are not set); "
               "use --headless to run without a window\n",
               stderr);
    return 2;
  }

  FrontEndStart start;
  start.Headless = parsed.Headless;
  start.Options.Base = parsed.Base;
  start.Options.ProgramDir = programDir;
  start.Options.Words = parsed.Words;
  start.Options.RemoteServer = parsed.RemoteServer;
  return start;
}

}  // namespace mv
