#include "app/runjob.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <optional>

#include "app/datadirs.h"
#include "app/jobrun.h"
#include "app/mvmain.h"
#include "app/progressline.h"
#include "app/settings.h"
#include "engine/copythread.h"
#include "engine/resultsreport.h"
#include "jobs/errmsg.h"
#include "jobs/jobfile.h"
#include "jobs/jobrecord.h"
#include "jobs/jobtext.h"
#include "mail/mailer.h"
#include "mail/mailthread.h"
#include "mail/smtpclient.h"
#include "netware/nwclient.h"
#include "platform/synchronize.h"

namespace mv {
namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

void OnStopSignal(int) { g_stopRequested = 1; }

int ExitCodeOf(const RunOutcome& outcome) {
  switch (VerdictOf(outcome)) {
    case RunVerdict::Ok: return kRunJobOk;
    case RunVerdict::Errors: return kRunJobErrors;
    case RunVerdict::Failed: break;
  }
  return kRunJobFailed;
}

}  // namespace

RunJobOutput RunJobOutputForStdout(bool quiet) {
  RunJobOutput output;
  output.Quiet = quiet;
  output.Terminal = ::isatty(STDOUT_FILENO) == 1;
  if (output.Terminal) {
    output.TerminalFd = STDOUT_FILENO;
    output.Columns = TerminalColumns(STDOUT_FILENO);
  }
  if (const char* ms = std::getenv("MIRAVA_PROGRESS_MS"); ms && *ms)
    output.ProgressMs = std::max(0, std::atoi(ms));
  return output;
}

int RunJobFileNow(const std::string& file, const DataDirs& dirs, std::ostream& out,
                  const RunJobOutput& output, std::ostream* errors) {
  CreateDataDirs(dirs);
  const ProgramSettings settings = LoadSettings(dirs.SettingsFile);
  TTErrorMsgList programLog(dirs.LogDir, "MIRAVA.LOG");
  // The results go to the job's recipients as after a scheduled run.
  TSmtpClient smtp;
  TMVMailer mailer(&smtp);
  mailer.ProgramText = kProgramVersionText;
  mailer.LogLine = [&programLog](const std::string& line) { programLog.AddMsg(TAG_GENERAL, LVL_WARNING, 0, line); };
  mailer.LoadSettings(dirs.SettingsFile);
  LoadedJobFile loaded = LoadJobRecord(
      file, {.ProgramLog = &programLog,
             .QueueDir = dirs.QueueDir,
             .ControlDir = dirs.ControlDir,
             .Mailer = &mailer,
             .Defaults = {.SpeedUnit = settings.dspSpeedUnit, .DrawId = false}});
  TTFileThreadControl& job = *loaded.Job;
  if (!loaded.Usable()) {
    out << "Load failed: " << file << "\n" << std::flush;
    if (errors)
      *errors << JobFileProblemMessage(file, FindJobFileProblem(file, loaded.Result, job)) << "\n";
    return kRunJobLoadFailed;
  }
  UseFileJobId(job, file);

  LoopSynchronizer sync;
  TMVMailThread mailThread(mailer, sync);
  auto netWare = MakeUnavailableNetWareClient();
  // The run is the only job of this process (it starts no follow-ups), so no
  // other job can want one of its folders: no lock table.
  CopyThreadContext context = MakeThreadContext(sync, nullptr, programLog, settings, dirs.LogDir);
  context.NetWare = netWare.get();
  // Lines before the results report are the parameter lines.
  bool reporting = false;
  std::optional<TerminalProgress> progress;
  if (output.Terminal && !output.Quiet) {
    progress.emplace(out, output.Columns, std::chrono::milliseconds(output.ProgressMs));
    if (output.ProgressMs == 0) context.DisplayTickMs = 0;
    context.OnDisplayRefresh = [&](TCopyThread& t) {
      if (reporting) return;  // the results are the last word
      if (output.TerminalFd >= 0) progress->SetColumns(TerminalColumns(output.TerminalFd));
      const JobDisplaySnapshot& d = t.Display();
      const int32_t done = d.cSuccess + d.cSkipped + d.cError + d.cDeleted;
      progress->Show({.FilesDone = std::min(done, d.cTotal),
                      .FilesKnown = d.cTotal,
                      .Bytes = d.BytesDone,
                      .Rate = SpeedText(*t.Job),
                      .CurrentFile = d.CurSource},
                     std::chrono::steady_clock::now());
    };
  }
  context.OnReportLine = [&](const std::string& line) {
    if (output.Quiet && !reporting) return;
    if (progress) progress->Clear();
    out << line << "\n" << std::flush;
  };

  g_stopRequested = 0;
  struct sigaction sa {}, oldInt {}, oldTerm {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  ::sigaction(SIGINT, &sa, &oldInt);
  ::sigaction(SIGTERM, &sa, &oldTerm);

  TCopyThread thread(job, context);
  job.Thread = &thread;
  bool reported = false;
  const bool started = StartJobRun(thread, [&] {
    if (progress) progress->Clear();
    reporting = true;
    ReportRun(thread, ReportEnvironment{});
    reported = true;
  });
  if (started)
    sync.RunUntil(
        [&] {
          if (g_stopRequested) thread.Thread().RequestTerminate();
          return reported;
        },
        std::chrono::hours(24 * 365));
  thread.Thread().Join();
  // The results mail, with the same bound as at a program shutdown.
  mailThread.Terminate();
  sync.RunUntil([&] { return mailThread.Finished(); }, std::chrono::milliseconds(kMailShutdownWaitMs));
  sync.Shutdown();
  programLog.Close();

  ::sigaction(SIGINT, &oldInt, nullptr);
  ::sigaction(SIGTERM, &oldTerm, nullptr);
  if (!started) {
    out << "No thread for the run\n" << std::flush;
    return kRunJobFailed;
  }
  return ExitCodeOf(OutcomeOf(thread));
}

}  // namespace mv
