#include "engine/copythread.h"

#include <thread>

#include "engine/copyrun.h"
#include "engine/dirlist.h"
#include "engine/walks.h"
#include "platform/clock.h"

namespace mv {

void UpdateJobSpeed(TTFileThreadControl& job) {
  const DateTime end = job.tFinished >= job.tStarted ? job.tFinished : Now();
  const double seconds = (end - job.tStarted) * kSecondsPerDay;
  job.Speed = (seconds > 0 && job.tStarted > 0)
                  ? static_cast<double>(job.BytesDone) / seconds / 1024.0 * 8.0
                  : 0.0;
}

TCopyThread::TCopyThread(TTFileThreadControl& job, CopyThreadContext context)
    : Actions(&job.Actions), Job(&job), context_(std::move(context)) {
  Options = job.FirstOptions() & context_.OptionsEnabled;
  JobType = job.FirstJobType();
  if (job.Filter) Filter.Assign(job.Filter.get());
  ResumePath = job.ResumePath;
  ResumeFile = job.ResumeFile;
  ResumeFilePos = job.ResumeFilePos;
  ResumeMode = ResumePath.empty() ? kResumeNone : kResumeSeeking;
  if (context_.MakeRemote) {
    if (!job.RemoteSource.empty()) SourceRemote = context_.MakeRemote(job.RemoteSource);
    if (!job.RemoteTarget.empty()) TargetRemote = context_.MakeRemote(job.RemoteTarget);
  }
  WalkSourceRemote = SourceRemote.get();
  WalkTargetRemote = TargetRemote.get();
}

TCopyThread::~TCopyThread() = default;

void TCopyThread::Synchronize(const std::function<void()>& fn) {
  if (context_.Sync)
    context_.Sync->Synchronize(fn);
  else
    fn();
}

void TCopyThread::Sleep(int ms) {
  if (context_.Sleep) return context_.Sleep(ms);
  // Wake early when told to stop; a pause does not cut the wait short.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!TerminateRequested() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

void TCopyThread::DisplayTick() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  if (now - lastTick_ < std::chrono::milliseconds(context_.DisplayTickMs)) return;
  DisplayRefresh();
}

void TCopyThread::DisplayRefresh() {
  lastTick_ = std::chrono::steady_clock::now().time_since_epoch();
  Synchronize([this] {
    Job->cTotal = cTotal;
    Job->cSkipped = cSkipped;
    Job->cError = cError;
    Job->cSuccess = cSuccess;
    Job->cDeleted = cDeleted;
    Job->ErrorCode = LastResult;
    Job->BytesDone = CompletedBytes + (CurrentFileSize - RemainingBytes);
    UpdateJobSpeed(*Job);
    TakeRateSample();
    TakeDisplaySnapshot();
    if (TTErrorMsgList* log = context_.ProgramLog) {
      log->MoveJobMessages(Messages, Job->JobID);
      log->WriteLog();
      log->WriteJobLog(Job->JobID);
    }
    if (context_.OnDisplayRefresh) context_.OnDisplayRefresh(*this);
  });
}

void TCopyThread::TakeDisplaySnapshot() {
  JobDisplaySnapshot& d = display_;
  d.Taken = true;
  d.cTotal = cTotal;
  d.cSkipped = cSkipped;
  d.cError = cError;
  d.cSuccess = cSuccess;
  d.cDeleted = cDeleted;
  d.LastResult = LastResult;
  d.CurSource = CurSourceDir + CurEntryName;
  d.CurTarget = CurTargetDir + CurTargetEntryName;
  d.StatusText = StatusText;
  d.ActionIndex = CurrentActionIndex;
  d.JobType = JobType;
  d.CurrentFileSize = CurrentFileSize > 0 ? CurrentFileSize : 0;
  d.CurrentFileDone = d.CurrentFileSize > 0 ? CurrentFileSize - RemainingBytes : 0;
  d.BytesDone = CompletedBytes + (CurrentFileSize - RemainingBytes);
  d.FileProgress = d.CurrentFileSize > 0
                       ? static_cast<int32_t>((100 * d.CurrentFileDone + d.CurrentFileSize / 2) /
                                              d.CurrentFileSize)
                       : 0;
}

void TCopyThread::TakeRateSample() {
  // Windows of at least 30 seconds, so the rate shown does not jump with
  // every buffer; both samples start at 0, so the first closes at once.
  const DateTime now = Now();
  TransferSample& open = Job->RateSample;
  if (BytesSinceRateSample <= 0 || (now - open.Start) * kSecondsPerDay <= 30) return;
  open.Bytes = BytesSinceRateSample;
  open.Latest = now;
  BytesSinceRateSample = 0;
  Job->PrevRateSample = open;
  open = TransferSample{.Bytes = 0, .Start = now, .Latest = 0};
}

void TCopyThread::ReportLine(const std::string& text, uint32_t mailClass) {
  Messages.AddMsg(Tag, LVL_INFO, 0, text);
  MailLine(text, mailClass);
  if (context_.OnReportLine) context_.OnReportLine(text);
}

void TCopyThread::MailLine(const std::string& text, uint32_t mailClass) {
  if (Job->Mail) Job->Mail->AddLine(text, mailClass);
}

TTDirList TCopyThread::ListSourceDir(const std::string& dir, const std::string& mask,
                                     const TTDirFilter& filter,
                                     const std::function<void(TTDirList&)>& prepare) {
  TTDirList list;
  list.SetRemote(WalkSourceRemote);
  list.Filter.Assign(&filter);
  list.Mask = mask;
  if (prepare) prepare(list);
  list.Read(dir);
  ReportListingProblem(*this, list);
  return list;
}

int32_t TCopyThread::Log(int32_t level, int32_t code, const std::string& text, int32_t osError) {
  return osError != 0 ? Messages.AddMsgOS(Tag, level, code, osError, text)
                      : Messages.AddMsg(Tag, level, code, text);
}

}  // namespace mv
