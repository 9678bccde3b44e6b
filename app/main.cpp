// Program entry: headless runs, job checks, and (later) the main window.

#include <unistd.h>

#include <climits>
#include <clocale>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "app/checkjob.h"
#include "app/commandline.h"
#include "app/datadirs.h"
#include "app/front/headless.h"
#include "app/runjob.h"
#include "platform/paths.h"

namespace {

std::string ProgramDir(const char* argv0) {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) return mv::ExtractFilePath(std::string(buf, static_cast<std::size_t>(n)));
  return mv::ExtractFilePath(argv0 ? argv0 : "");
}

void PrintUsage(std::FILE* out) {
  std::fputs(
      "usage: mirava [--headless] [--base DIR] [CLOSE] [CONTROL] [QLOAD] [RUNJOB=name]\n"
      "  --headless      run without a window; Log page lines go to standard output\n"
      "  --base DIR      keep all data below DIR\n"
      "  --remote-server[=ADDRESS]  serve directory listings on port 52001 (default: loopback)\n"
      "  --check-job FILE  describe a job file without writing anything; exit 0 when valid\n"
      "  --run-job FILE    run a job file now; exit 0 ok, 1 errors, 2 failed or stopped,\n"
      "                    3 the file could not be loaded\n",
      out);
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  std::vector<std::string> args(argv + 1, argv + argc);
  mv::ProgramArguments parsed = mv::ParseProgramArguments(args);
  if (!parsed.Error.empty()) {
    std::fprintf(stderr, "mirava: %s\n", parsed.Error.c_str());
    PrintUsage(stderr);
    return 2;
  }
  if (parsed.Help) {
    PrintUsage(stdout);
    return 0;
  }
  if (parsed.CheckJob) {
    const mv::DataDirs dirs = mv::DeriveDataDirs(mv::ChooseBaseDir(parsed.Base, ProgramDir(argv[0])));
    return mv::CheckJobFile(*parsed.CheckJob, dirs, std::cout);
  }
  if (parsed.RunJob) {
    const mv::DataDirs dirs = mv::DeriveDataDirs(mv::ChooseBaseDir(parsed.Base, ProgramDir(argv[0])));
    return mv::RunJobFileNow(*parsed.RunJob, dirs, std::cout);
  }
  if (!parsed.Headless)
    std::fputs("mirava: the main window is not available in this build; running headless\n",
               stderr);

  mv::StartOptions options;
  options.Base = parsed.Base;
  options.ProgramDir = ProgramDir(argv[0]);
  options.Words = parsed.Words;
  options.RemoteServer = parsed.RemoteServer;
  return mv::RunHeadless(argc, argv, std::move(options));
}
