#pragma once
// How a run went, read from its counters and its last result. The results
// report's lines, the exit code of a run from the command line and the
// window's status all read it from here, so they never disagree.

#include <cstdint>

namespace mv {

struct RunCounters {
  int32_t Total = 0;
  int32_t Success = 0;
  int32_t Error = 0;
  int32_t Skipped = 0;
  int32_t Deleted = 0;
  int32_t LastResult = 0;
};

// The three tests are independent: more than one can hold.
struct RunOutcome {
  bool Aborted = false;    // the last result carries the abort flag
  bool NoWork = false;     // "There was no work to do"
  bool AllFailed = false;  // "All actions failed"
  bool Critical = false;   // "Critical error(s) occured"; a stop by the user is not
  bool Errors = false;     // at least one entry failed
};

RunOutcome ClassifyRun(const RunCounters& c);

enum class RunVerdict { Ok, Errors, Failed };

// Failed when the run aborted or nothing but errors came of it; Errors when
// some entries failed; Ok otherwise (also when there was nothing to do).
RunVerdict VerdictOf(const RunOutcome& o);

}  // namespace mv
