#include "app/mvmain.h"

#include <cstdlib>
#include <ctime>

#include "macros/macros.h"

namespace mv {

uint16_t ConfiguredRemotePort() {
  if (const char* p = std::getenv("MIRAVA_REMOTE_PORT"); p && std::atoi(p) > 0 && std::atoi(p) < 65536)
    return static_cast<uint16_t>(std::atoi(p));
  return kRemotePort;
}

std::unique_ptr<DirListRemote> MakeRemoteClient(const std::string& host) {
  return std::make_unique<TMVIPCLient>(host, ConfiguredRemotePort());
}

CopyThreadContext MakeThreadContext(Synchronizer& sync, FolderLockTable* locks,
                                    TTErrorMsgList& programLog, const ProgramSettings& settings,
                                    const std::string& logDir) {
  CopyThreadContext c;
  c.Sync = &sync;
  c.Locks = locks;
  c.ProgramLog = &programLog;
  c.LogDir = logDir;
  c.OptionsEnabled = settings.OptionsEnabled;
  c.SyncFiles = settings.SyncFiles;
  c.MakeRemote = MakeRemoteClient;
  return c;
}

MiravaCore::MiravaCore()
    : headlessPrompt_(std::make_unique<HeadlessPrompt>(
          [this](const std::string& line) { AddLogLine(line); })),
      prompt_(headlessPrompt_.get()) {
  jobs_.SetObservers(&observers_);
}

MiravaCore::~MiravaCore() { Shutdown(); }

void MiravaCore::AddLogLine(const std::string& line) {
  if (logPage_) logPage_(line);
  observers_.Notify([&line](CoreObserver& o) { o.LogLineAdded(line); });
}

bool MiravaCore::ApplySettings(const ProgramSettings& settings) {
  settings_ = settings;
  if (queue_) queue_->SetSettings(settings_);
  bool saved = SaveSettings(dirs_.SettingsFile, settings_);
  if (mailer_ && mailer_->DefaultMail)
    saved = mailer_->DefaultMail->Save(dirs_.SettingsFile) == 0 && saved;
  return saved;
}

StatusValues MiravaCore::Status() const {
  StatusValues v;
  v.MailCount = mailer_ ? static_cast<int32_t>(mailer_->Count()) : 0;
  v.RunningThreads = RunningJobThreads.load();
  v.MaxThreads = MaxJobThreads;
  v.FolderLocks = static_cast<int32_t>(locks_.Entries.size());
  v.QueueDisabled = (modeFlags_ & MODE_QUEUE_DISABLED) != 0;
  v.Controlled = queue_ && queue_->Controlled();
  return v;
}

void MiravaCore::DisplayTimerTick() {
  observers_.Notify([](CoreObserver& o) { o.StatusChanged(); });
}

void MiravaCore::SetQueueDisabled(bool disabled) {
  if (disabled)
    modeFlags_ |= MODE_QUEUE_DISABLED;
  else
    modeFlags_ &= ~MODE_QUEUE_DISABLED;
  observers_.Notify([](CoreObserver& o) { o.StatusChanged(); });
}

void MiravaCore::Startup(StartOptions options) {
  logPage_ = std::move(options.LogPage);
  if (options.UserPrompt) prompt_ = options.UserPrompt;
  netWare_ = options.NetWare ? std::move(options.NetWare) : MakeUnavailableNetWareClient();

  // The NetWare client and its code-page table.
  netWareAvailable_ = netWare_->Initialize() == 0;
  if (netWareAvailable_ && netWare_->LoadConversionTable(850, codePageTable_) != 0)
    codePageTable_ = 0;
  // Random numbers differ from run to run.
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  // A fresh start: no close pending, no mode, the automatic speed unit.
  closeRequested_ = 0;
  modeFlags_ = 0;
  settings_.dspSpeedUnit = 0;

  // The data folders.
  dirs_ = DeriveDataDirs(ChooseBaseDir(options.Base, options.ProgramDir));
  // The command words.
  const CommandWords words = ParseCommandWords(options.Words, dirs_.JobDir);
  modeFlags_ = words.ModeFlags;
  pendingRunJob_ = words.PendingRunJob;
  // Missing data folders are made; one that cannot be written is named.
  for (const std::string& dir : CreateDataDirs(dirs_))
    AddLogLine("Cannot write to data directory " + dir);

  // The program log; diagnostics of the macro resolver go there, unseen.
  programLog_ = std::make_unique<TTErrorMsgList>(dirs_.LogDir, "MIRAVA.LOG");
  programLog_->SetDisplaySink([this](const std::string& line) { AddLogLine(line); });
  ProcessMacroResolver().SetDiagnosticSink([log = programLog_.get()](const std::string& text) {
    log->AddMsg(TAG_GENERAL, LVL_LOG_ONLY, 0, text);
  });

  // The mail queue around the SMTP client, its settings, the program
  // settings, the mail thread.
  smtp_ = std::make_unique<TSmtpClient>();
  mailer_ = std::make_unique<TMVMailer>(smtp_.get());
  mailer_->ProgramText = kProgramVersionText;
  mailer_->LogLine = [log = programLog_.get()](const std::string& line) {
    log->AddMsg(TAG_GENERAL, LVL_WARNING, 0, line);
  };
  mailer_->LoadSettings(dirs_.SettingsFile);
  settings_ = LoadSettings(dirs_.SettingsFile);
  mailThread_ = std::make_unique<TMVMailThread>(*mailer_, sync_);

  RunQueueEnv env;
  env.Dirs = dirs_;
  env.MaxJobThreads = MaxJobThreads;
  env.RunningJobThreads = &RunningJobThreads;
  env.ProgramLog = programLog_.get();
  env.Mailer = mailer_.get();
  env.MailCount = [this] { return static_cast<int32_t>(mailer_->Count()); };
  env.Defaults.SpeedUnit = settings_.dspSpeedUnit;
  env.LogLine = [this](const std::string& line) { AddLogLine(line); };
  env.UserPrompt = prompt_;
  env.ThreadContext = MakeThreadContext(sync_, &locks_, *programLog_, settings_, dirs_.LogDir);
  env.ThreadContext.OnDisplayRefresh = [this](TCopyThread& thread) {
    const TTFileThreadControl& job = *thread.Job;
    jobs_.NotifyChanged(&job);
    observers_.Notify([&job](CoreObserver& o) { o.JobDisplayRefresh(job); });
  };
  env.ThreadContext.NetWare = netWare_.get();
  env.ThreadContext.NetWareAvailable = netWareAvailable_;
  env.ThreadContext.NetWareCodePage = codePageTable_;
  queue_ = std::make_unique<RunQueue>(jobs_, std::move(env));

  // The remote directory server, when asked for.
  if (options.RemoteServer) {
    remoteServer_ = std::make_unique<TMVIPServer>();
    const uint16_t port = ConfiguredRemotePort();
    // The server logs from its connection threads; the Server page or the
    // Log page (a window's models) live on the main thread.
    if (!remoteServer_->Start(*options.RemoteServer, port,
                              [this, page = options.ServerPage](const std::string& line) {
                                sync_.Synchronize([this, &page, &line] {
                                  if (page)
                                    page(line);
                                  else
                                    AddLogLine(line);
                                });
                              }))
      AddLogLine("Remote server could not listen on " +
                 (options.RemoteServer->empty() ? std::string("127.0.0.1") : *options.RemoteServer) +
                 ":" + std::to_string(port));
  }

  // QLOAD: the queue files into the job list.
  if (modeFlags_ & MODE_QLOAD) queue_->LoadQueue();

  // The start-up mail.
  mailer_->SendText("Program initialized", kMailProgramEvent);

  // Timers: the run queue only in a normal instance.
  jobTimerArmed_ = (modeFlags_ & MODE_CONTROL) == 0;

  // The role lock; a second instance of the same role closes at its first AppTimer tick.
  const char* lockName = (modeFlags_ & MODE_CONTROL) ? kClientLockName : kServerLockName;
  // Without its lock it must not run what the holder runs, nor write the
  // holder's queue files: it only shows its lines until it closes.
  if (!roleLock_.Acquire(dirs_.ControlDir, lockName)) {
    closeRequested_ = 1;
    jobTimerArmed_ = false;
    queue_->ForbidRuns();
  }

  // Whether NetWare folders can be reached, on the Log page.
  AddLogLine(netWareAvailable_ ? "NetWare interface available"
                               : "NetWare interface not available");
  started_ = true;
}

bool MiravaCore::AppTimerTick() { return closeRequested_ != 0; }

bool MiravaCore::JobTimerTick() {
  if (!jobTimerArmed_ || !queue_) return false;
  return queue_->Pass(modeFlags_, pendingRunJob_);
}

void MiravaCore::Shutdown() {
  if (!started_ || shutDown_) return;
  shutDown_ = true;
  jobTimerArmed_ = false;
  // Stop the jobs and give them a bounded time to record where they
  // stopped; one that does not end in time is left running as the process ends.
  if (queue_) {
    queue_->StopAllJobs();
    sync_.RunUntil([this] { return queue_->Running() == 0; },
                   std::chrono::milliseconds(kShutdownWaitMs));
    queue_->ReapFinished();
  }
  // The shutdown mail, and a bounded chance for the mail thread to send it.
  if (mailer_) mailer_->SendText("Program shutdown", kMailProgramEvent);
  if (mailThread_) {
    mailThread_->Terminate();
    sync_.RunUntil([this] { return mailThread_->Finished(); },
                   std::chrono::milliseconds(kMailShutdownWaitMs));
  }
  // From here on no worker can reach the main thread any more, so a
  // connection that logs while the server stops cannot wait for it.
  sync_.Shutdown();
  if (remoteServer_) remoteServer_->Stop();
  mailThread_.reset();
  if (queue_ && queue_->Running() > 0) {
    queue_->AbandonRunning();
    for (int32_t i = jobs_.Count() - 1; i >= 0; --i)
      if (jobs_.JobAt(i)->Thread) (void)jobs_.RemoveAt(i).release();
  }
  // Flush and free the program log.
  ProcessMacroResolver().SetDiagnosticSink({});
  if (programLog_) programLog_->Close();
  programLog_.reset();
  // Release the role lock; a second instance holds no lock and so deletes nothing.
  roleLock_.Release();
  // The NetWare code-page table.
  if (codePageTable_ != 0) netWare_->FreeConversionTable(codePageTable_);
  codePageTable_ = 0;
}

}  // namespace mv
