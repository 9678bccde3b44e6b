// Runs one COPY action from the command line, the way a job run would, on
// this thread and without a main window: the timing subject of bench/copy.
//
//   copy_driver SOURCE TARGET [older|all|skip]
//
// Prints "total skipped error success bytes" and exits 0 when nothing failed.

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "engine/copythread.h"
#include "engine/walks.h"
#include "jobs/errmsg.h"
#include "jobs/jobrecord.h"
#include "jobs/jobtypes.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s SOURCE TARGET [older|all|skip] [nosync]\n", argv[0]);
    return 2;
  }
  uint32_t conflict = mv::OPT_OVERWRITE_OLDER;
  if (argc > 3 && std::strcmp(argv[3], "all") == 0) conflict = mv::OPT_OVERWRITE_ALL;
  if (argc > 3 && std::strcmp(argv[3], "skip") == 0) conflict = mv::OPT_SKIP_EXISTING;

  mv::TTFileThreadControl job("bench", nullptr, "", "", nullptr, mv::JobDefaults{.DrawId = false});
  job.AddAction(std::make_unique<mv::TTFileAction>(argv[1], "*.*", argv[2], "*.*",
                                                   mv::OPT_DIR_TO_TARGET | conflict, mv::JOB_COPY));
  mv::CopyThreadContext context;
  // "nosync" as fourth argument: the files are not flushed one by one.
  context.SyncFiles = !(argc > 4 && std::strcmp(argv[4], "nosync") == 0);
  mv::TCopyThread thread(job, context);
  mv::RunCopyAction(thread, *job.Actions.front());

  std::printf("%d %d %d %d %lld\n", thread.cTotal, thread.cSkipped, thread.cError, thread.cSuccess,
              static_cast<long long>(thread.CompletedBytes));
  if (thread.cError != 0) {
    for (const mv::TTErrorMsg& m : thread.Messages.Snapshot())
      if (m.Level >= mv::LVL_WARNING) std::fprintf(stderr, "%s\n", mv::FormatMsg(m, false).c_str());
  }
  return thread.cError == 0 && !mv::IsFailure(thread.LastResult) ? 0 : 1;
}
