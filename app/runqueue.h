#pragma once
// The run queue: every five seconds it starts the jobs that are due (up to
// MaxJobThreads at once), obeys run requests, yields to a controller instance,
// removes finished one-shot jobs and closes an idle CLOSE instance. It also
// loads jobs into the list (RUNJOB=, queue files) and stops them.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/datadirs.h"
#include "app/joblist.h"
#include "app/prompt.h"
#include "app/settings.h"
#include "engine/copythread.h"
#include "engine/resultsreport.h"

namespace mv {

struct RunQueueEnv {
  DataDirs Dirs;
  int32_t MaxJobThreads = 8;
  std::atomic<int32_t>* RunningJobThreads = nullptr;
  TTErrorMsgList* ProgramLog = nullptr;
  TMVMailer* Mailer = nullptr;
  JobDefaults Defaults;
  // Mails still queued (CLOSE waits for them).
  std::function<int32_t()> MailCount;
  // Lines of the main window's Log page.
  std::function<void(const std::string&)> LogLine;
  // Error boxes and questions (null: none are shown).
  Prompt* UserPrompt = nullptr;
  // What every new worker gets (synchroniser, folder locks, NetWare, options mask).
  CopyThreadContext ThreadContext;
};

class RunQueue {
 public:
  RunQueue(JobList& list, RunQueueEnv env);
  ~RunQueue();
  RunQueue(const RunQueue&) = delete;
  RunQueue& operator=(const RunQueue&) = delete;

  // One pass. modeFlags and pendingRunJob are the instance's (a RUNJOB= that
  // fails clears CLOSE); returns true
  // when an instance started with CLOSE is idle and must close now.
  bool Pass(uint16_t& modeFlags, std::string& pendingRunJob);

  // A job record loaded from a file, or null when the file is unusable.
  std::unique_ptr<TTFileThreadControl> LoadJobFile(const std::string& path);
  // RUNJOB=: loads, holds, marks "run now and remove when idle", appends.
  // False when the file cannot be loaded (the caller then stays open).
  bool RunJobFile(const std::string& path);
  // Loads a job into the list unless its ID or name is taken. False when not added.
  bool LoadJobToList(const std::string& path, bool hold);
  // Every queue file, once per program run; files in name order.
  void LoadQueue();
  bool QueueLoaded() const { return queueLoaded_; }
  // Whether the last pass found a controller instance ("CONTROL detected").
  bool Controlled() const { return controlled_; }

  // Tells a job's worker to stop; terminate also holds the job, otherwise it
  // is held for the controller. Does not wait.
  void StopJobThread(TTFileThreadControl& job, bool terminate);
  void StopAllJobs();
  // New settings for the jobs created and the runs started from now on.
  void SetSettings(const ProgramSettings& settings);
  // Removes an idle job with its queue file; false for a running job.
  bool DeleteJobAt(int32_t index);
  // Starts the job's worker now (no slot check). False when it already runs.
  bool StartJob(TTFileThreadControl& job);

  // From now on no pass runs and no job starts (an instance without its role lock).
  void ForbidRuns() { runsForbidden_ = true; }
  bool RunsForbidden() const { return runsForbidden_; }

  // Frees the workers whose runs have been reported.
  void ReapFinished();
  // Workers not yet reported.
  int32_t Running() const { return static_cast<int32_t>(running_.size()); }
  // At shutdown: forget workers that did not end in time, without waiting.
  void AbandonRunning();

 private:
  struct Run;
  void OnRunEnded(Run* run);

  JobList& list_;
  RunQueueEnv env_;
  bool queueLoaded_ = false;
  bool controlled_ = false;
  bool runsForbidden_ = false;
  std::vector<std::unique_ptr<Run>> running_;
  std::vector<std::unique_ptr<Run>> ended_;
};

}  // namespace mv
