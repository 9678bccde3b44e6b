#pragma once
// `mirava --run-job FILE`: runs one job file at once in the foreground, for
// cron, systemd timers, scripts and benchmarks.

#include <ostream>
#include <string>

namespace mv {

struct DataDirs;

// Exit codes.
inline constexpr int kRunJobOk = 0;          // finished without errors (also nothing to do)
inline constexpr int kRunJobErrors = 1;      // finished with errors
inline constexpr int kRunJobFailed = 2;      // failed or terminated
inline constexpr int kRunJobLoadFailed = 3;  // the file could not be loaded

// Shortest time between two redraws of the progress line by default.
inline constexpr int kProgressIntervalMs = 250;

// How the run talks to whoever started it.
struct RunJobOutput {
  bool Quiet = false;     // only the results lines, no parameter lines
  bool Terminal = false;  // out is a terminal: one progress line while it runs
  int Columns = 80;       // width of that terminal
  int TerminalFd = -1;    // when set, its width is read again at every redraw (resizes)
  // Shortest time between two redraws of the progress line; 0 redraws at
  // every entry of the walk (tests).
  int ProgressMs = kProgressIntervalMs;
};

// For a run whose out is standard output: a terminal or not, its width, and
// $MIRAVA_PROGRESS_MS.
RunJobOutput RunJobOutputForStdout(bool quiet);

// Loads and runs the job, writing the program log, the job log and the
// attachment log as a scheduled run does; the parameter and results lines go
// to out. SIGINT and SIGTERM stop the run in order (it can resume later).
// A file that cannot be run is named on errors with the line of the problem.
int RunJobFileNow(const std::string& file, const DataDirs& dirs, std::ostream& out,
                  const RunJobOutput& output = {}, std::ostream* errors = nullptr);

}  // namespace mv
