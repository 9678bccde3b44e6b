#include "app/jobrun.h"

#include "jobs/jobfile.h"

namespace mv {

LoadedJobFile LoadJobRecord(const std::string& path, const JobRecordEnv& env) {
  LoadedJobFile loaded;
  loaded.Job = std::make_unique<TTFileThreadControl>("from file...", env.ProgramLog, env.QueueDir,
                                                     env.ControlDir, env.Mailer, env.Defaults);
  loaded.Result = loaded.Job->Load(path);
  return loaded;
}

void UseFileJobId(TTFileThreadControl& job, const std::string& path) {
  if (!job.Schedule->Queued) job.JobID = JobIdForFile(path);
}

bool StartJobRun(TCopyThread& thread, std::function<void()> ended) {
  return thread.Thread().Start([&thread, ended = std::move(ended)](Worker&) {
    thread.Execute();
    // A loop that has already stopped runs nothing, and the shutdown leaves
    // the run as it is.
    thread.Synchronize(ended);
  });
}

void ReportRun(TCopyThread& thread, const ReportEnvironment& env) {
  try {
    ReportJobResults(thread, env);
  } catch (...) {
    // The run is over all the same; its outcome is read from the thread.
  }
}

}  // namespace mv
