#include "engine/resultsreport.h"

#include "engine/copythread.h"
#include "jobs/jobfile.h"
#include "jobs/jobtext.h"
#include "platform/clock.h"
#include "platform/barlist.h"
#include "platform/paths.h"

namespace mv {
namespace {

const std::string kUnderline(41, '_');

}  // namespace

void TriggerFollowUps(bool enabled, const std::string& names, const ReportEnvironment& env) {
  if (!enabled || names.empty() || !env.FindJobByName) return;
  for (std::string_view item : SplitBarList(names)) {
    // Leading blanks are not part of a name ("A| B"); a gap names no job.
    const std::size_t first = item.find_first_not_of(' ');
    const std::string name(first == std::string_view::npos ? std::string_view() : item.substr(first));
    if (TTFileThreadControl* job = env.FindJobByName(name)) {
      if (env.LogLine) env.LogLine("trigger execution of " + job->Description);
      job->Schedule->RunRequest |= SCHED_RUN_NOW;
    }
  }
}

RunOutcome OutcomeOf(const TCopyThread& t) {
  return ClassifyRun({.Total = t.cTotal,
                      .Success = t.cSuccess,
                      .Error = t.cError,
                      .Skipped = t.cSkipped,
                      .Deleted = t.cDeleted,
                      .LastResult = t.LastResult});
}

void ReportJobResults(TCopyThread& t, const ReportEnvironment& env) {
  TTFileThreadControl& job = *t.Job;
  TMVMail* mail = job.Mail.get();
  const int32_t total = t.cTotal, ok = t.cSuccess, err = t.cError, skip = t.cSkipped,
                del = t.cDeleted;
  const RunOutcome outcome = OutcomeOf(t);
  const bool aborted = outcome.Aborted;
  const std::string caption = job.JobCaption();

  job.CurSourceText.clear();
  job.CurTargetText.clear();
  t.MailLine(kUnderline, kMailGeneral);
  t.MailLine(caption + "JOB RESULTS :", kMailGeneral);
  t.Log(LVL_INFO, 0, kUnderline);
  t.Log(LVL_INFO, 0, "JOB RESULTS (" + job.Description + ")");
  std::string subject = caption;

  t.ReportLine("Total files : " + GroupedDecimal(total), kMailGeneral);
  if (job.SecondsSinceTracked >= 0) {
    t.ReportLine(" ( age of source scan: " + GroupedDecimal(job.SecondsSinceTracked) + " seconds,",
                 kMailGeneral);
    t.ReportLine("   maximum age       : " + GroupedDecimal(job.Schedule->TrackingWindow()) +
                     " seconds )",
                 kMailGeneral);
  }
  if (ok > 0) t.ReportLine("successful  : " + GroupedDecimal(ok), kMailSomethingDone);
  if (err > 0) {
    t.ReportLine("errors      : " + GroupedDecimal(err), kMailSomethingDone);
    subject += " (" + GroupedDecimal(err) + " errors)";
  }
  if (skip > 0) t.ReportLine("skipped     : " + GroupedDecimal(skip), kMailGeneral);

  if (outcome.NoWork) {
    t.ReportLine("There was no work to do", kMailNoWork);
    subject += " (nothing to do)";
  }
  if (outcome.AllFailed) {
    t.ReportLine("All actions failed", kMailFailures);
    subject += " (FAILED)";
  }
  if (outcome.Critical) {
    t.ReportLine("Critical error(s) occured", kMailFailures);
    subject += " (FAILED)";
  }
  if (del > 0) t.ReportLine("deleted     : " + GroupedDecimal(del), kMailSomethingDone);
  if (t.CompletedBytes > 0) {
    t.ReportLine("size        : " + GroupedDecimal(t.CompletedBytes / 1024) + " KB",
                 kMailSomethingDone);
    job.BytesDone = t.CompletedBytes;
    UpdateJobSpeed(job);
    t.ReportLine("Speed       : " + SpeedText(job), kMailSomethingDone);
  }

  if (aborted) {
    t.Log(LVL_JOB, EV_TERMINATED, job.Description);
    t.MailLine(caption + " TERMINATED", kMailTerminated);
    subject += " TERMINATED";
  } else {
    t.Log(LVL_JOB, EV_FINISHED, job.Description);
    t.MailLine(caption + " FINISHED", kMailFinished);
    subject += " FINISHED";
    if (err == 0) {
      TriggerFollowUps(job.Schedule->RunAfterSuccessEnabled, job.Schedule->RunAfterSuccess, env);
      if (ok > 0 || del > 0)
        TriggerFollowUps(job.Schedule->RunAfterSuccessWEnabled, job.Schedule->RunAfterSuccessW,
                         env);
    }
  }
  t.ReportLine(std::string(35, '='), kMailGeneral);

  if (mail) {
    mail->Subject = subject;
    const std::string logDir = t.Context().ProgramLog ? t.Context().ProgramLog->Dir()
                                                      : IncludeTrailingDelim(t.Context().LogDir);
    if (!logDir.empty()) {
      const std::string id = JobLogFolderName(job.JobID);
      const std::string attachment = logDir + id + PathDelim + "ATT" + id + ".LOG";
      mail->Message.Attachments.push_back(attachment);
      if (env.LogLine) env.LogLine("Attachment " + attachment);
    } else if (env.LogLine) {
      env.LogLine("ATT failed");
    }
    mail->Send();
  }

  t.CurEntryName.clear();
  t.CurTargetEntryName.clear();
  t.CurSourceDir.clear();
  t.CurTargetDir.clear();
  t.DisplayRefresh();
  t.Log(LVL_JOB, EV_FINISHED, std::to_string(job.Schedule->Flags));

  const DateTime now = Now();
  job.SourceSignature = 0;
  job.Schedule->LastRun = now;
  if (!aborted && err == 0) {
    job.Schedule->LastRunComplete = now;
    if (t.ResumeMode != kResumeMidTree) job.SourceSignature = t.SourceSignatureSum;
  }
  job.Schedule->ComputeNextRun();
  job.tFinished = now;

  SaveToQueue(job);
  SaveTracking(job);
  if (env.DisplayUpdate) env.DisplayUpdate(job);
  job.Thread = nullptr;
  t.DisplayRefresh();
  if (TTErrorMsgList* log = t.Context().ProgramLog) log->FinishJob(job.JobID);
  if (env.DisplayUpdate) env.DisplayUpdate(job);
}

}  // namespace mv
