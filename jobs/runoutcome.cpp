#include "jobs/runoutcome.h"

#include "jobs/errmsg.h"

namespace mv {

RunOutcome ClassifyRun(const RunCounters& c) {
  RunOutcome o;
  o.Aborted = (c.LastResult & RC_ABORT) != 0;
  o.Errors = c.Error > 0;
  const bool somethingDone = c.Success > 0 || c.Deleted > 0;
  o.NoWork = c.Skipped == c.Total && c.Deleted == 0 && c.Error == 0 && !o.Aborted;
  o.AllFailed = (o.Errors || o.Aborted) && !somethingDone;
  o.Critical = somethingDone && o.Aborted && c.LastResult != MC_TERMINATED;
  return o;
}

RunVerdict VerdictOf(const RunOutcome& o) {
  if (o.Aborted || o.AllFailed) return RunVerdict::Failed;
  return o.Errors ? RunVerdict::Errors : RunVerdict::Ok;
}

}  // namespace mv
