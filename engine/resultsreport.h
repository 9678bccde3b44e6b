#pragma once
// The close of a run on the main thread: results lines into the job log and
// the job's mail, the mail handed to the queue, follow-up jobs triggered, the
// schedule and the queue file brought up to date.

#include <functional>
#include <string>

#include "jobs/runoutcome.h"

namespace mv {

class TCopyThread;
class TTFileThreadControl;

struct ReportEnvironment {
  // First job of the list with exactly this description, or null.
  std::function<TTFileThreadControl*(const std::string&)> FindJobByName;
  // Lines for the main window's Log page.
  std::function<void(const std::string&)> LogLine;
  // Refresh of the job's line and status (may be empty).
  std::function<void(TTFileThreadControl&)> DisplayUpdate;
};

// How the run of the thread went; the report's lines, --run-job's exit code
// and the window read it alike.
RunOutcome OutcomeOf(const TCopyThread& thread);

// Runs once per run, after the worker has finished.
void ReportJobResults(TCopyThread& thread, const ReportEnvironment& env);

// Sets "run now" on each job named in names ("|"-separated) when enabled.
void TriggerFollowUps(bool enabled, const std::string& names, const ReportEnvironment& env);

}  // namespace mv
