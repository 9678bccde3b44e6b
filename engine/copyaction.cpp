// One COPY action: the mirror clean-up before it, the walk in each direction
// the action names, and a second walk when the folder to resume in is gone.

#include <string>

#include "engine/copyrun.h"
#include "engine/copythread.h"
#include "engine/walks.h"
#include "jobs/errmsg.h"
#include "jobs/jobrecord.h"
#include "jobs/jobtypes.h"
#include "platform/paths.h"

namespace mv {

void RunCopyAction(TCopyThread& thread, const TTFileAction& action) {
  TTFileThreadControl& job = *thread.Job;
  const int64_t window = job.Schedule ? job.Schedule->TrackingWindow() : 0;
  if (job.SecondsSinceTracked >= 0 && job.SecondsSinceTracked < window) {
    thread.LastResult = 0;
    return;
  }

  // Every copy still waiting for its flush is flushed and named (or removed)
  // when the action ends, however it ends.
  CopyRunScope run(thread);
  const std::string sourcePath = IncludeTrailingDelim(action.SourcePath);
  const std::string targetPath = IncludeTrailingDelim(action.TargetPath);
  // Masks as the action has them: an empty one selects nothing.
  const std::string& sourceMask = action.Source;
  const std::string& targetMask = action.Target;
  const int32_t levels = thread.Filter.SubdirDepth();
  const uint32_t direction = thread.Options & OPT_DIR_MASK;
  if (direction != OPT_DIR_TO_TARGET && direction != OPT_DIR_TO_SOURCE && direction != OPT_DIR_BOTH) return;

  if (direction == OPT_DIR_TO_TARGET) {
    if ((thread.Options & OPT_MIRROR) != 0)
      thread.LastResult = CleanDir(thread, targetPath, sourcePath, sourceMask, 0);
    if (thread.ResumeMode == kResumeSeeking) thread.Log(LVL_INFO, 0, "Trying to resume...");
  }

  struct Counts {
    int64_t signature;
    int32_t total, skipped, error, success;
  };
  const Counts before{thread.SourceSignatureSum, thread.cTotal, thread.cSkipped, thread.cError, thread.cSuccess};
  auto walk = [&] {
    if (direction != OPT_DIR_TO_SOURCE) {
      thread.WalkSourceRemote = thread.SourceRemote.get();
      thread.WalkTargetRemote = thread.TargetRemote.get();
      thread.LastResult = CopyWalk(thread, sourcePath, targetPath, thread.SourceSignatureSum, levels, 0, sourceMask);
    }
    if (direction != OPT_DIR_TO_TARGET) {
      int64_t scratch = 0;
      thread.WalkSourceRemote = thread.TargetRemote.get();
      thread.WalkTargetRemote = thread.SourceRemote.get();
      thread.LastResult = CopyWalk(thread, targetPath, sourcePath, scratch, levels, 0, targetMask);
    }
    thread.WalkSourceRemote = thread.SourceRemote.get();
    thread.WalkTargetRemote = thread.TargetRemote.get();
  };
  walk();
  // The folder the interrupted run stopped in is gone: the walk above only
  // skipped. Copy everything now rather than report an empty run as done.
  if (thread.ResumeMode == kResumeSeeking && (thread.LastResult & RC_ABORT) == 0 && !thread.TerminateRequested()) {
    thread.Log(LVL_INFO, 0, "Resume folder not found: " + thread.ResumePath);
    thread.ResumeMode = kResumeNone;
    thread.SourceSignatureSum = before.signature;
    thread.cTotal = before.total, thread.cSkipped = before.skipped;
    thread.cError = before.error, thread.cSuccess = before.success;
    walk();
  }
}

}  // namespace mv
