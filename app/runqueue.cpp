#include "app/runqueue.h"

#include <algorithm>

#include "app/commandline.h"
#include "app/jobrun.h"
#include "app/rolelock.h"
#include "jobs/jobfile.h"
#include "platform/clock.h"
#include "platform/findfile.h"

namespace mv {

struct RunQueue::Run {
  std::unique_ptr<TCopyThread> Thread;
  std::atomic<int32_t>* Counter = nullptr;
  ~Run() {
    Thread.reset();  // joins the worker, which has left its body by now
    if (Counter) --*Counter;
  }
};

RunQueue::RunQueue(JobList& list, RunQueueEnv env) : list_(list), env_(std::move(env)) {}

RunQueue::~RunQueue() = default;

std::unique_ptr<TTFileThreadControl> RunQueue::LoadJobFile(const std::string& path) {
  LoadedJobFile loaded = LoadJobRecord(path, {.ProgramLog = env_.ProgramLog,
                                              .QueueDir = env_.Dirs.QueueDir,
                                              .ControlDir = env_.Dirs.ControlDir,
                                              .Mailer = env_.Mailer,
                                              .Defaults = env_.Defaults});
  if (!loaded.Usable()) return nullptr;
  return std::move(loaded.Job);
}

bool RunQueue::RunJobFile(const std::string& path) {
  if (env_.LogLine) env_.LogLine("Loading job " + path);
  auto job = LoadJobFile(path);
  if (!job) {
    if (env_.LogLine) env_.LogLine("Load failed: " + path);
    return false;
  }
  UseFileJobId(*job, path);
  job->Schedule->SetHold(true);
  job->Schedule->RunRequest = SCHED_RUN_NOW | SCHED_REMOVE_WHEN_IDLE;
  list_.AddJob(std::move(job));
  if (env_.LogLine) env_.LogLine("Added to joblist");
  return true;
}

bool RunQueue::LoadJobToList(const std::string& path, bool hold) {
  auto job = LoadJobFile(path);
  if (!job) return false;
  if (list_.FindJobById(job->JobID) || list_.FindJobByName(job->Description)) {
    if (env_.UserPrompt)
      env_.UserPrompt->Error(kPromptTitle, "JobID (" + job->IdText() + ") or\rJobname (" +
                                               job->Description + ")\ralready in use");
    return false;
  }
  if (hold) job->Schedule->SetHold(true);
  list_.AddJob(std::move(job));
  return true;
}

void RunQueue::LoadQueue() {
  if (queueLoaded_) return;
  FindHandle h;
  FindData fd;
  for (uint32_t rc = FindFirst(env_.Dirs.QueueDir + "*.MVQ", kAttrAny & ~kAttrDirectory, fd, h);
       rc == 0; rc = FindNext(h, fd)) {
    if (fd.Attr & kAttrDirectory) continue;
    LoadJobToList(env_.Dirs.QueueDir + fd.Name, false);
  }
  queueLoaded_ = true;
}

bool RunQueue::StartJob(TTFileThreadControl& job) {
  if (job.Thread || runsForbidden_) return false;
  auto run = std::make_unique<Run>();
  run->Thread = std::make_unique<TCopyThread>(job, env_.ThreadContext);
  run->Counter = env_.RunningJobThreads;
  if (run->Counter) ++*run->Counter;
  Run* raw = run.get();
  job.Thread = raw->Thread.get();
  running_.push_back(std::move(run));
  list_.NotifyChanged(&job);
  const bool started = StartJobRun(*raw->Thread, [this, raw] { OnRunEnded(raw); });
  if (!started) {
    // No thread to be had: the job stays idle and is tried again later.
    job.Thread = nullptr;
    running_.pop_back();
    list_.NotifyChanged(&job);
  }
  return started;
}

void RunQueue::OnRunEnded(Run* run) {
  ReportEnvironment env;
  env.FindJobByName = [this](const std::string& name) { return list_.FindJobByName(name); };
  env.LogLine = env_.LogLine;
  TTFileThreadControl* job = run->Thread->Job;
  ReportRun(*run->Thread, env);
  job->Thread = nullptr;
  list_.NotifyChanged(job);
  auto it = std::find_if(running_.begin(), running_.end(),
                         [run](const std::unique_ptr<Run>& r) { return r.get() == run; });
  if (it != running_.end()) {
    ended_.push_back(std::move(*it));
    running_.erase(it);
  }
}

void RunQueue::ReapFinished() {
  // A reported worker has at most its last instructions left to run.
  std::erase_if(ended_, [](const std::unique_ptr<Run>& r) {
    return r->Thread->Thread().WaitFinished(std::chrono::milliseconds(1000));
  });
}

void RunQueue::AbandonRunning() {
  for (auto& run : running_) {
    // Still inside a job: the process ends around it rather than waiting.
    (void)run.release();
  }
  running_.clear();
}

void RunQueue::StopJobThread(TTFileThreadControl& job, bool terminate) {
  if (!job.Thread) return;
  if (terminate)
    job.Schedule->SetHold(true);
  else
    job.Schedule->Flags |= SCHED_REMOTE_HOLD;
  job.Thread->Thread().RequestTerminate();
  job.Thread->Thread().Resume();
  list_.NotifyChanged(&job);
}

void RunQueue::SetSettings(const ProgramSettings& settings) {
  env_.Defaults.SpeedUnit = settings.dspSpeedUnit;
  env_.ThreadContext.OptionsEnabled = settings.OptionsEnabled;
  env_.ThreadContext.SyncFiles = settings.SyncFiles;
}

void RunQueue::StopAllJobs() {
  for (int32_t i = 0; i < list_.Count(); ++i) StopJobThread(*list_.JobAt(i), false);
}

bool RunQueue::DeleteJobAt(int32_t index) {
  TTFileThreadControl* job = list_.JobAt(index);
  if (!job || job->Thread) return false;
  job->RemoveQueueFile();
  list_.RemoveAt(index);
  list_.Select(index < list_.Count() ? index : list_.Count() - 1);
  return true;
}

bool RunQueue::Pass(uint16_t& modeFlags, std::string& pendingRunJob) {
  ReapFinished();
  if (runsForbidden_) return false;
  const bool controlled = RoleLockHeld(env_.Dirs.ControlDir, kClientLockName);
  controlled_ = controlled;
  if (!pendingRunJob.empty()) {
    const std::string path = std::move(pendingRunJob);
    pendingRunJob.clear();
    if (!RunJobFile(path)) modeFlags &= ~MODE_CLOSE_WHEN_IDLE;
  }
  const bool disabled = (modeFlags & MODE_QUEUE_DISABLED) != 0;
  const auto slotFree = [&] {
    return !env_.RunningJobThreads || *env_.RunningJobThreads < env_.MaxJobThreads;
  };
  const int32_t count = list_.Count();
  for (int32_t i = 0; i < count && !disabled; ++i) {
    TTFileThreadControl& job = *list_.JobAt(i);
    TTSchedule& s = *job.Schedule;
    if (!job.Thread && s.HasSchedule() && Now() >= s.DueTime() && !s.IsHeld() && slotFree()) {
      // Under a controller the run would be stopped in this very pass: hold
      // it for the controller instead of starting a run only to abort it.
      if (controlled)
        s.Flags |= SCHED_REMOTE_HOLD;
      else
        StartJob(job);
    } else if (!job.Thread && (s.RunRequest & SCHED_RUN_NOW) && slotFree()) {
      s.RunRequest &= ~SCHED_RUN_NOW;
      StartJob(job);
    }
    if (controlled && job.Thread)
      StopJobThread(job, false);
    else if (!controlled)
      s.Flags &= ~SCHED_REMOTE_HOLD;
  }
  // A one-shot job still waiting for its start stays until it has run.
  for (int32_t i = 0; i < list_.Count();) {
    const TTFileThreadControl& job = *list_.JobAt(i);
    const int32_t request = job.Schedule->RunRequest;
    if (!job.Thread && (request & SCHED_REMOVE_WHEN_IDLE) && !(request & SCHED_RUN_NOW))
      list_.RemoveAt(i);
    else
      ++i;
  }
  if (list_.SortColumn() == 1) list_.Sort();
  const int32_t mails = env_.MailCount ? env_.MailCount() : 0;
  return (modeFlags & MODE_CLOSE_WHEN_IDLE) && list_.Empty() && mails == 0;
}

}  // namespace mv
