#include <gtest/gtest.h>

#include <tuple>

#include "jobs/errmsg.h"
#include "jobs/runoutcome.h"

namespace mv {
namespace {

TEST(RunOutcomeTest, ClassifiesRunsAndGivesOneVerdict) {
  const int32_t netAbort = MC_READ_SOURCE_CONN_ABORT;
  struct Case {
    const char* name;
    RunCounters counters;
    bool noWork, allFailed, critical;
    RunVerdict verdict;
  } cases[] = {
      {"unchanged tree", {.Total = 5, .Skipped = 5}, true, false, false, RunVerdict::Ok},
      {"empty run", {}, true, false, false, RunVerdict::Ok},
      {"copied", {.Total = 2, .Success = 2}, false, false, false, RunVerdict::Ok},
      {"3 errors, nothing copied", {.Total = 3, .Error = 3}, false, true, false, RunVerdict::Failed},
      {"some errors", {.Total = 3, .Success = 1, .Error = 2}, false, false, false, RunVerdict::Errors},
      {"stopped by the user after copying", {.Total = 9, .Success = 4, .LastResult = MC_TERMINATED}, false, false,
       false, RunVerdict::Failed},
      {"network abort after copying", {.Total = 9, .Success = 4, .LastResult = netAbort}, false, false, true,
       RunVerdict::Failed},
      {"abort before anything", {.Total = 9, .LastResult = netAbort}, false, true, false, RunVerdict::Failed},
      {"deleted only", {.Total = 2, .Skipped = 2, .Deleted = 1}, false, false, false, RunVerdict::Ok},
  };
  for (const Case& c : cases) {
    const RunOutcome o = ClassifyRun(c.counters);
    EXPECT_EQ(std::make_tuple(o.NoWork, o.AllFailed, o.Critical, VerdictOf(o)),
              std::make_tuple(c.noWork, c.allFailed, c.critical, c.verdict)) << c.name;
  }
}

}  // namespace
}  // namespace mv
