#include "app/joblistpage.h"

#include "app/mvmain.h"
#include "engine/copythread.h"
#include "jobs/jobfile.h"

namespace mv {

const char* JobButtonCaption(JobButton button) {
  switch (button) {
    case JobButton::Delete: return "DELETE Job";
    case JobButton::Edit: return "EDIT Job";
    case JobButton::Reschedule: return "Reschedule Job";
    case JobButton::EditCopy: return "Edit a copy of this Job";
    case JobButton::RunNow: return "Run NOW";
    case JobButton::Start: return "Start";
    case JobButton::Pause: return "Pause";
    case JobButton::Terminate: return "Stop";
  }
  return "";
}

namespace {

bool Suspended(const TTFileThreadControl& job) { return job.Thread && job.Thread->Thread().Paused(); }

}  // namespace

JoblistButtons ButtonsFor(const TTFileThreadControl* job) {
  JoblistButtons b;
  if (!job) return b;
  const bool thread = job->Thread != nullptr;
  const bool suspended = Suspended(*job);
  const bool scheduled = job->Schedule && job->Schedule->HasSchedule();
  const auto set = [&b](JobButton button, bool on) {
    b.Enabled[static_cast<std::size_t>(button)] = on;
  };
  set(JobButton::Start, suspended || (!thread && !scheduled));
  set(JobButton::Pause, thread && !suspended);
  set(JobButton::Terminate, thread);
  for (JobButton e : {JobButton::Delete, JobButton::Edit, JobButton::EditCopy})
    set(e, !thread || suspended);
  set(JobButton::Reschedule, !thread);
  set(JobButton::RunNow, !thread);
  return b;
}

const char* QueueToggleCaption(bool queueDisabled) { return queueDisabled ? "Enable" : "Disable"; }

TTFileThreadControl* JoblistPageState::SelectedJob() const {
  return core_.Jobs().JobAt(core_.Jobs().Selected());
}

bool JoblistPageState::QueueDisabled() const {
  return (core_.ModeFlags() & MODE_QUEUE_DISABLED) != 0;
}

bool JoblistPageState::QueueLoadEnabled() const {
  return core_.Queue() && !core_.Queue()->QueueLoaded();
}

bool JoblistPageState::RunNow() {
  TTFileThreadControl* job = SelectedJob();
  if (!job || !core_.UserPrompt().YesNo(kPromptTitle, kRunNowQuestion)) return false;
  // A modal box lets the timers run: the job may have left the list meanwhile.
  if (core_.Jobs().IndexOfJob(job) < 0) return false;
  // Exactly "run now": a pending remove-when-idle mark goes with it.
  job->Schedule->RunRequest = SCHED_RUN_NOW;
  RefreshJobDisplay(*job);
  return true;
}

bool JoblistPageState::DeleteJob() {
  TTFileThreadControl* job = SelectedJob();
  if (!job || !core_.Queue() || !core_.UserPrompt().YesNo(kPromptTitle, kDeleteQuestion))
    return false;
  // Looked up again: the job may have left the list or started meanwhile.
  return core_.Queue()->DeleteJobAt(core_.Jobs().IndexOfJob(job));
}

bool JoblistPageState::StartJob() {
  TTFileThreadControl* job = SelectedJob();
  if (!job || !core_.Queue()) return false;
  if (!job->Thread) return core_.Queue()->StartJob(*job);
  if (!Suspended(*job)) return false;
  job->Thread->Thread().Resume();
  RefreshJobDisplay(*job);
  return true;
}

bool JoblistPageState::PauseJob() {
  TTFileThreadControl* job = SelectedJob();
  if (!job || !job->Thread || Suspended(*job)) return false;
  job->Thread->Thread().Pause();
  RefreshJobDisplay(*job);
  return true;
}

bool JoblistPageState::StopJob() {
  TTFileThreadControl* job = SelectedJob();
  if (!job || !job->Thread || !core_.Queue()) return false;
  core_.Queue()->StopJobThread(*job, true);
  return true;
}

bool JoblistPageState::Reschedule(const std::function<bool(TTSchedule&)>& edit) {
  TTFileThreadControl* job = SelectedJob();
  if (!job || job->Thread || !edit || !edit(*job->Schedule)) return false;
  // The dialog is modal: the job may have left the list meanwhile.
  if (core_.Jobs().IndexOfJob(job) < 0) return false;
  RefreshJobDisplay(*job);
  SaveToQueue(*job);
  return true;
}

void JoblistPageState::LoadQueue() {
  if (core_.Queue()) core_.Queue()->LoadQueue();
}

void JoblistPageState::ToggleQueue() { core_.SetQueueDisabled(!QueueDisabled()); }

void JoblistPageState::RefreshJobDisplay(TTFileThreadControl& job) {
  // A running job's figures come with its worker's own refreshes.
  if (!job.Thread) UpdateJobSpeed(job);
  core_.Jobs().NotifyChanged(&job);
}

void JoblistPageState::SortBy(int column) {
  core_.Jobs().SetSortColumn(column == 1 ? 1 : 0);
  core_.Jobs().Sort();
}

}  // namespace mv
