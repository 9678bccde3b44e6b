#pragma once
// The worker of one job run: its counters, result, resume state and the
// current names the display shows. The walks of the copy engine take it as
// their context; they change only its own fields and reach everything else
// through the synchroniser.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "filter/dirfilter.h"
#include "engine/targettree.h"
#include "jobs/errmsg.h"
#include "jobs/jobrecord.h"
#include "platform/datetime.h"
#include "platform/filehandle.h"
#include "platform/finddata.h"
#include "platform/synchronize.h"
#include "platform/worker.h"

namespace mv {

class NetWareClient;
class FolderLockTable;
class DirListRemote;
class TTDirList;
class CopyOps;
struct CopyRun;

// Size of the copy buffer for plain reads and writes.
inline constexpr int32_t kCopyBufferSize = 32768;
// Largest piece of a file copied at once: the unit of termination tests and
// resume positions (a stop takes effect within one piece).
inline constexpr int64_t kCopyChunkSize = int64_t(4) << 20;
// Shortest time between two display refreshes between files.
inline constexpr int kDisplayTickMs = 100;

// What a run needs from the program around it.
struct CopyThreadContext {
  // Runs a call on the main thread and waits for it; null runs it directly
  // (tests and tools without a main loop).
  Synchronizer* Sync = nullptr;
  // The folder-lock table of the main thread; null: no other job can run.
  FolderLockTable* Locks = nullptr;
  // The NetWare client; null: NetWare is not available.
  NetWareClient* NetWare = nullptr;
  bool NetWareAvailable = false;
  // Code-page table the client loaded at start-up.
  uint32_t NetWareCodePage = 0;
  // Each copied file reaches the disk before it gets its name, so a power
  // loss never leaves an empty file with the source's time under it. Off:
  // the file system's own ordering decides (faster, as cp and rsync do).
  bool SyncFiles = true;
  // New small files of a folder are copied on two threads (the walk's and
  // a helper of the run's); off: all on the walk's (tests comparing both).
  bool CopyFilesAhead = true;
  // The calls that order writes, flushes and renames; null: the real ones.
  CopyOps* FileOps = nullptr;
  // Bounds of a batch of copies flushed together: files (each held open
  // until then, so also bounded by the descriptor limit) and bytes. The
  // flush costs about the same for one file as for a batch.
  size_t BatchFiles = 2048;
  int64_t BatchBytes = int64_t(64) << 20;
  // Program-wide mask ANDed with the job's options.
  uint32_t OptionsEnabled = 0xFFFFFFFF;
  // Log folder of the program (analysis files, attachment logs).
  std::string LogDir;
  // The program log list: display refreshes move the run's messages there and
  // write them to the program and job logs. Null: they stay in Messages.
  TTErrorMsgList* ProgramLog = nullptr;
  // Waits ms milliseconds unless the run is told to stop first (a seam for
  // tests; the default sleeps on the worker's stop signal).
  std::function<void(int ms)> Sleep;
  // Makes the client of a remote instance for a job's remotesource or
  // remotetarget; empty: every side is listed locally.
  std::function<std::unique_ptr<DirListRemote>(const std::string& host)> MakeRemote;
  // Receives every parameter and results line as the run reports it (may be empty).
  std::function<void(const std::string&)> OnReportLine;
  // Called on the main thread for a display refresh of the job (may be empty).
  std::function<void(class TCopyThread&)> OnDisplayRefresh;
  // Shortest time between two refreshes between files; 0 refreshes at every
  // entry (tests that act on a given entry).
  int DisplayTickMs = kDisplayTickMs;
};

// A running job's figures as the display shows them, copied from the worker's
// fields inside the synchronised display refresh (main thread, worker
// waiting). The window reads this, never the worker's own fields, which
// change under it while the worker runs.
struct JobDisplaySnapshot {
  bool Taken = false;  // false until the first refresh of the run
  int32_t cTotal = 0, cSkipped = 0, cError = 0, cSuccess = 0, cDeleted = 0;
  int32_t LastResult = 0;
  std::string CurSource;  // current source dir + entry name
  std::string CurTarget;  // current target dir + entry name
  std::string StatusText;
  int32_t ActionIndex = -1;
  int32_t JobType = 0;
  int64_t BytesDone = 0;        // finished files plus the current one so far
  int64_t CurrentFileSize = 0;  // 0 between files
  int64_t CurrentFileDone = 0;
  int32_t FileProgress = 0;  // 0..100 of the current file
};

// Where a run stands on its way back to the folder an interrupted run stopped in.
inline constexpr int32_t kResumeNone = 0;       // the walk starts at the top
inline constexpr int32_t kResumeSeeking = 1;    // folders beside the resume path are passed over
inline constexpr int32_t kResumeMidTree = 2;    // found: the run began in the middle of the tree
// Decided once per action: the file system of a side, and whether both sides
// share a NetWare server.
inline constexpr int32_t kUndecided = -1;
inline constexpr int32_t kNotSameServer = 0;
inline constexpr int32_t kSameServer = 1;
inline constexpr int32_t kFsOther = 0;
inline constexpr int32_t kFsNetWare = 1;

// Threads and shared fields of a run.
//
// Worker thread (inside Execute and the walks) alone writes: Options, JobType,
// RemainingBytes, CurrentFileSize, SourceSignatureSum, BytesSinceRateSample,
// CopyBuffer, Tomorrow, SourceHandle, WorkHandle, the Cur... names,
// CurrentActionIndex, the five counters, LastResult, HeldFolder, WantedFolder,
// Messages (AddMsg), Filter, CompletedBytes, LastDisplayTime, CurrentFolder,
// the Resume... fields, StatusText, ResumeMode, the file-system states, the
// remote clients and Tag. The main thread reads them only inside a
// synchronised call (the worker is then blocked in Synchronize) or after
// the worker has finished (the results report, which is itself such a call).
//
// Main thread alone writes, inside synchronised calls: the job record's
// fields (counters, ErrorCode, BytesDone, Speed, rate samples, Terminated,
// Resume..., tStarted, Mail), Display() and the moves of Messages into the
// program log. The worker reads the job record only before its first
// synchronised call (constructor: options, filter, resume state, actions,
// remote names) or inside such calls.
//
// Any thread: the terminate request and pause state (Thread()), both atomic.
// The main thread may read Display() at any time; it changes only on the
// main thread.
class TCopyThread {
 public:
  // Takes the first action's options ANDed with context.OptionsEnabled, a copy
  // of the filter, and the job's resume state.
  TCopyThread(TTFileThreadControl& job, CopyThreadContext context);
  ~TCopyThread();
  TCopyThread(const TCopyThread&) = delete;
  TCopyThread& operator=(const TCopyThread&) = delete;

  // Between entries and buffers: waits while paused; true when the run must stop.
  bool CheckTerminate() { return worker_.CheckPoint(); }
  // Without waiting.
  bool TerminateRequested() const { return worker_.TerminateRequested(); }
  Worker& Thread() { return worker_; }

  // The run: every action in order (defined with the walks). Called on the
  // worker; the results report follows on the main thread. Never throws: a
  // run ended by an exception is logged and ends as aborted (MC_ABORTED).
  void Execute();

  // Runs fn on the main thread and waits for it.
  void Synchronize(const std::function<void()>& fn);
  // Waits unless told to stop first.
  void Sleep(int ms);
  void SetStatus(int32_t code) { LastResult = code; }
  // Display refresh through the main thread: counters and result into the job.
  void DisplayRefresh();
  // Main thread, inside a synchronised call: copies the figures the display
  // shows into Display().
  void TakeDisplaySnapshot();
  // The figures of the last display refresh (main thread).
  const JobDisplaySnapshot& Display() const { return display_; }
  // The same, unless the last one is less than kDisplayTickMs ago: the walks
  // call it per entry.
  void DisplayTick();

  // On the main thread: closes the job's transfer-rate window when data has
  // moved and it is older than 30 seconds.
  void TakeRateSample();

  // A results or parameter line: a level-2 entry in the run's messages and a
  // body line of the job's mail with its mail class.
  void ReportLine(const std::string& text, uint32_t mailClass);
  // Only the mail body line.
  void MailLine(const std::string& text, uint32_t mailClass);

  // Lists dir on the walk's source side with a copy of filter and mask; the
  // caller may adjust the listing first through prepare.
  TTDirList ListSourceDir(const std::string& dir, const std::string& mask, const TTDirFilter& filter,
                          const std::function<void(TTDirList&)>& prepare = {});

  // Adds a message of this run (the walks' log entries).
  int32_t Log(int32_t level, int32_t code, const std::string& text, int32_t osError = 0);

  const CopyThreadContext& Context() const { return context_; }

  uint32_t Options = 0;
  int32_t JobType = 0;
  int64_t RemainingBytes = 0;
  int64_t CurrentFileSize = 0;
  int64_t SourceSignatureSum = 0;
  int64_t BytesSinceRateSample = 0;
  int32_t BufferSize = kCopyBufferSize;
  int64_t ChunkSize = kCopyChunkSize;
  std::vector<char> CopyBuffer;
  uint32_t Tomorrow = 0;
  FileHandle SourceHandle;
  FileHandle WorkHandle;
  std::string CurEntryName, CurTargetEntryName, CurSourceDir, CurTargetDir;
  const std::vector<std::unique_ptr<TTFileAction>>* Actions = nullptr;
  int32_t CurrentActionIndex = -1;
  TTFileThreadControl* Job = nullptr;
  int32_t cTotal = 0, cSkipped = 0, cError = 0, cDeleted = 0, cSuccess = 0;
  int32_t LastResult = 0;
  std::string HeldFolder, WantedFolder;
  TTErrorMsgList Messages;
  TTDirFilter Filter;
  int64_t CompletedBytes = 0;
  DateTime LastDisplayTime = 0;
  std::string CurrentFolder;
  std::string ResumePath;
  FindData ResumeFile;
  int64_t ResumeFilePos = 0;
  std::string StatusText;
  int32_t ResumeMode = kResumeNone;
  int32_t SameServerState = kUndecided;  // or kSameServer, kNotSameServer
  int32_t SourceFileSystem = kUndecided, TargetFileSystem = kUndecided;  // kFsOther, kFsNetWare
  int32_t LastNetWareStatus = 0;
  // Clients of the job's remote source and target instances (null: local).
  std::unique_ptr<DirListRemote> SourceRemote, TargetRemote;
  // The sides the current walk lists through: a copy towards the source
  // swaps them.
  DirListRemote* WalkSourceRemote = nullptr;
  DirListRemote* WalkTargetRemote = nullptr;
  // Tag of the messages the current walk writes (its job type).
  int32_t Tag = 0;
  // The folder the current walk writes into: every create, open, rename and
  // delete there is resolved beneath it, never through a link.
  TargetTree Target;
  // State of the COPY action being walked (null outside one).
  CopyRun* Run = nullptr;

 private:
  void RunActions();
  // After an exception: closes the files, releases the folder, logs the
  // failure and leaves LastResult aborted.
  void EndByException(const char* what) noexcept;

  CopyThreadContext context_;
  JobDisplaySnapshot display_;
  Worker worker_;
  std::chrono::steady_clock::duration lastTick_{};
};

// The job's transfer rate in KBit/s from its byte count and run time.
void UpdateJobSpeed(TTFileThreadControl& job);

}  // namespace mv
