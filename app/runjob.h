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

// Loads and runs the job, writing the program log, the job log and the
// attachment log as a scheduled run does; the parameter and results lines go
// to out. SIGINT and SIGTERM stop the run in order (it can resume later).
int RunJobFileNow(const std::string& file, const DataDirs& dirs, std::ostream& out);

}  // namespace mv
