#pragma once
// The life of one run of a job, shared by the run queue and `--run-job`: the
// job file loaded into a record, the worker started, and on the main thread
// the results report once the walk has ended.

#include <functional>
#include <memory>
#include <string>

#include "engine/copythread.h"
#include "engine/resultsreport.h"
#include "jobs/jobrecord.h"

namespace mv {

// What a job record loaded from a file is given.
struct JobRecordEnv {
  TTErrorMsgList* ProgramLog = nullptr;
  std::string QueueDir;
  std::string ControlDir;
  TMVMailer* Mailer = nullptr;
  JobDefaults Defaults;
};

struct LoadedJobFile {
  std::unique_ptr<TTFileThreadControl> Job;  // also set when the file is unusable
  int Result = 0;                            // what TTFileThreadControl::Load returned
  bool Usable() const { return Result == 0 && !Job->Actions.empty(); }
};

LoadedJobFile LoadJobRecord(const std::string& path, const JobRecordEnv& env);

// A job run straight from its file (not from the queue) takes an ID made
// from the path: every run of the same file then finds its own partial copies.
void UseFileJobId(TTFileThreadControl& job, const std::string& path);

// Starts the worker: the run, then `ended` on the main thread (through the
// worker's synchroniser). False when no thread could be had; `ended` then never runs.
bool StartJobRun(TCopyThread& thread, std::function<void()> ended);

// The results report; one that fails halfway still lets the run end.
void ReportRun(TCopyThread& thread, const ReportEnvironment& env);

}  // namespace mv
