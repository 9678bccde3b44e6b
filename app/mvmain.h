#pragma once
// The application core: process-wide state of one program instance, its
// start-up and shutdown order. It runs headless as it is; a window attaches
// to it and only shows and edits it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/commandline.h"
#include "app/coreobserver.h"
#include "app/datadirs.h"
#include "app/joblist.h"
#include "app/prompt.h"
#include "app/runqueue.h"
#include "app/rolelock.h"
#include "app/settings.h"
#include "jobs/errmsg.h"
#include "engine/folderlock.h"
#include "mail/mailer.h"
#include "mail/mailthread.h"
#include "mail/smtpclient.h"
#include "netware/nwclient.h"
#include "netware/nwops.h"
#include "platform/synchronize.h"
#include "remote/mvtcp.h"

namespace mv {

inline constexpr const char* kProgramTitle = "Mirava";
inline constexpr const char* kProgramVersionText = "Mirava 1.109.047";

// How long shutdown waits for stopped jobs to record their resume state.
inline constexpr int kShutdownWaitMs = 30000;
// How long shutdown gives the mail thread for the last mail.
inline constexpr int kMailShutdownWaitMs = 15000;

// Timer intervals of the main loop, in milliseconds.
inline constexpr int kJobTimerMs = 5000;
inline constexpr int kDisplayTimerMs = 2000;
inline constexpr int kAppTimerFirstMs = 5000;
inline constexpr int kAppTimerMs = 30000;

struct StartOptions {
  std::optional<std::string> Base;   // explicit BaseDir
  std::string ProgramDir;            // directory of the program file
  std::vector<std::string> Words;    // command words
  // Receives the lines the window's Log page shows (headless: standard output).
  std::function<void(const std::string&)> LogPage;
  // Serve directory listings to other instances on this address ("" = loopback).
  std::optional<std::string> RemoteServer;
  // Receives the remote server's lines instead of the Log page (the window's
  // Server page); called on the main thread.
  std::function<void(const std::string&)> ServerPage;
  // The NetWare client; the unavailable one when empty.
  std::unique_ptr<NetWareClient> NetWare;
  // Who answers questions and error boxes (not owned; it must outlive the
  // core). Null: the headless answers, with the questions on the Log page.
  Prompt* UserPrompt = nullptr;
};

// The values of the status bar.
struct StatusValues {
  int32_t MailCount = 0;       // "Mailing queue:"
  int32_t RunningThreads = 0;  // "Threads:" gauge
  int32_t MaxThreads = 8;      // its maximum
  int32_t FolderLocks = 0;     // "Folder locks:"
  bool QueueDisabled = false;  // the thread label turns red
  bool Controlled = false;     // "CONTROL detected"
};

// The remote listing port: 52001, or MIRAVA_REMOTE_PORT where tests run
// several instances side by side.
uint16_t ConfiguredRemotePort();

// Clients for the remote sides of job runs.
std::unique_ptr<DirListRemote> MakeRemoteClient(const std::string& host);

// What every worker of this program gets: the main thread's synchroniser, the
// folder locks (null: no other job runs beside), the program log, the settings and remote clients.
CopyThreadContext MakeThreadContext(Synchronizer& sync, FolderLockTable* locks,
                                    TTErrorMsgList& programLog, const ProgramSettings& settings,
                                    const std::string& logDir);

class MiravaCore {
 public:
  MiravaCore();
  ~MiravaCore();
  MiravaCore(const MiravaCore&) = delete;
  MiravaCore& operator=(const MiravaCore&) = delete;

  // The start-up sequence. Never fails: what cannot be set up is reported on
  // the Log page and the instance goes on (or closes at its first AppTimer tick).
  void Startup(StartOptions options);
  // The shutdown sequence; safe to call twice.
  void Shutdown();

  // AppTimer tick: true when the instance must close now.
  bool AppTimerTick();
  // JobTimer tick (the run-queue pass): true when the instance must close now.
  bool JobTimerTick();
  // DisplayTimer tick: tells the observers the status-bar values may have changed.
  void DisplayTimerTick();

  // A line of the Log page: to the LogPage sink and the observers.
  void AddLogLine(const std::string& line);

  // Observers are not owned; remove one before it dies.
  void AddObserver(CoreObserver* observer) { observers_.Add(observer); }
  void RemoveObserver(CoreObserver* observer) { observers_.Remove(observer); }
  const ObserverList& Observers() const { return observers_; }
  // The prompt given at start-up, or the headless one.
  Prompt& UserPrompt() { return *prompt_; }
  StatusValues Status() const;
  // File > Options OK: the settings reach the jobs created and the runs
  // started from now on, and are written to the settings file with the mail
  // settings. False when the file could not be written.
  bool ApplySettings(const ProgramSettings& settings);
  // Queue > Disable / Enable.
  void SetQueueDisabled(bool disabled);

  const DataDirs& Dirs() const { return dirs_; }
  uint16_t ModeFlags() const { return modeFlags_; }
  const std::string& PendingRunJob() const { return pendingRunJob_; }
  bool CloseRequested() const { return closeRequested_ != 0; }
  bool JobTimerArmed() const { return jobTimerArmed_; }
  bool NetWareAvailable() const { return netWareAvailable_; }
  // Whether the remote directory server listens.
  bool RemoteServerRunning() const { return remoteServer_ && remoteServer_->Running(); }
  // The client with its state, for NetWare views outside the runs.
  NetWareAccess NetWare() const { return {netWare_.get(), netWareAvailable_, codePageTable_}; }
  const RoleLock& Lock() const { return roleLock_; }
  const ProgramSettings& Settings() const { return settings_; }
  JobList& Jobs() { return jobs_; }
  TMVMailer* Mailer() { return mailer_.get(); }
  RunQueue* Queue() { return queue_.get(); }
  // Synchronised calls of the workers; the main loop runs them.
  LoopSynchronizer& Sync() { return sync_; }
  // The program log (LogDir + "MIRAVA.LOG"); null before start-up and after shutdown.
  TTErrorMsgList* ProgramLog() { return programLog_.get(); }
  bool ShutDown() const { return shutDown_; }

  // Process-wide values.
  const int32_t MaxJobThreads = 8;
  std::atomic<int32_t> RunningJobThreads{0};

 private:
  DataDirs dirs_;
  ProgramSettings settings_;
  uint16_t modeFlags_ = 0;
  std::string pendingRunJob_;
  uint16_t closeRequested_ = 0;
  RoleLock roleLock_;
  bool netWareAvailable_ = false;
  uint32_t codePageTable_ = 0;
  bool jobTimerArmed_ = false;
  bool started_ = false;
  bool shutDown_ = false;
  std::unique_ptr<NetWareClient> netWare_;
  std::unique_ptr<TTErrorMsgList> programLog_;
  LoopSynchronizer sync_;
  FolderLockTable locks_;
  JobList jobs_;
  std::unique_ptr<RunQueue> queue_;
  std::unique_ptr<TSmtpClient> smtp_;
  std::unique_ptr<TMVMailer> mailer_;
  std::unique_ptr<TMVMailThread> mailThread_;
  std::unique_ptr<TMVIPServer> remoteServer_;
  std::function<void(const std::string&)> logPage_;
  ObserverList observers_;
  std::unique_ptr<HeadlessPrompt> headlessPrompt_;
  Prompt* prompt_ = nullptr;
};

}  // namespace mv
