#include "app/jobstatustext.h"

#include <cstdio>

#include "engine/copythread.h"
#include "jobs/jobtext.h"

namespace mv {

std::string JobTimeColumnText(const TTFileThreadControl& job) {
  if (!job.Schedule || !job.Schedule->HasSchedule()) return kNoScheduleText;
  return NextRunText(job);
}

std::vector<JobParameterRow> JobParameterRows(const TTFileThreadControl& job) {
  const auto panel = ShowJobParameters(job);
  if (!panel) return {};
  return {{"Source Directory:", panel->Source},     {"Target Directory:", panel->Target},
          {"Action:", panel->Action},               {"Options:", panel->Options},
          {"Include Files:", panel->IncludeFiles},  {"Exclude Files:", panel->ExcludeFiles},
          {"Include Directories:", panel->IncludeDirs},
          {"Exclude Directories:", panel->ExcludeDirs},
          {"Source Macro:", panel->SourceDefinition}, {"Notify:", panel->MailRecipients}};
}

std::string ErrorCodeText(int32_t code) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04X", static_cast<uint32_t>(code));
  return buf;
}

JobStatusTexts MakeJobStatusTexts(const TTFileThreadControl& job) {
  JobStatusTexts t;
  TCopyThread* thread = job.Thread;
  if (thread) {
    const JobDisplaySnapshot& d = thread->Display();
    t.Source = d.CurSource;
    t.Target = d.CurTarget;
    t.Progress = d.FileProgress;
  } else {
    t.Source = job.CurSourceText;
    t.Target = job.CurTargetText;
  }
  t.Total = GroupedDecimal(job.cTotal);
  t.Success = GroupedDecimal(job.cSuccess);
  t.Skipped = GroupedDecimal(job.cSkipped);
  t.Errors = GroupedDecimal(job.cError);
  t.Deleted = GroupedDecimal(job.cDeleted);
  t.StartTime = StartTimeText(job);
  t.EndTime = EndTimeText(job);
  t.LastErrorCode = ErrorCodeText(job.ErrorCode);
  t.Status = StatusText(job, thread && thread->Thread().Paused());
  t.Speed = SpeedText(job);
  t.KBDone = GroupedDecimal(job.BytesDone > 0 ? job.BytesDone / 1024 : 0);
  t.AverageRate = AverageRateText(job);
  const DateTime last = job.Schedule ? job.Schedule->LastRunComplete : 0;
  t.LastCompleteRun = last > 0 ? DateTimeText(last) : "--------";
  return t;
}

}  // namespace mv
