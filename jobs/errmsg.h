#pragma once
// Messages of job runs: result codes, levels, the message list and the log
// files it writes (program log, job log, attachment log).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/datetime.h"

namespace mv {

// --- Result codes: (message number << 8) | flags -------------------------

inline constexpr int32_t RC_DONE = 0x00;
inline constexpr int32_t RC_NOTHING_TO_DO = 0x01;
inline constexpr int32_t RC_SKIPPED = 0x02;
inline constexpr int32_t RC_ERROR = 0x10;
inline constexpr int32_t RC_SKIP_DIR = 0x20;  // skip the rest of this directory
inline constexpr int32_t RC_ABORT = 0x80;     // abort the job
// Any of these bits makes a code a failure.
inline constexpr int32_t RC_FAILURE_MASK = 0xF0;

inline constexpr bool IsFailure(int32_t code) { return (code & RC_FAILURE_MASK) != 0; }
// What came of an operation, its message number aside: RC_DONE, RC_SKIPPED...
inline constexpr int32_t ResultKind(int32_t code) { return code & 0xFF; }

// General table (tag 0), information levels.
inline constexpr int32_t MC_DELETE_FILE = 0x0200;
inline constexpr int32_t MC_MAKE_DIR = 0x0600;
inline constexpr int32_t MC_DELETE_DIR = 0x2000;
inline constexpr int32_t MC_COPY = 0x2100;
inline constexpr int32_t MC_COPY_DIR = 0x2200;
// General table (tag 0), warning and error levels.
inline constexpr int32_t MC_WRITE_TARGET = 0x0180;
inline constexpr int32_t MC_DELETE_TARGET = 0x0210;
inline constexpr int32_t MC_OPEN_SOURCE = 0x0410;
inline constexpr int32_t MC_OPEN_TARGET = 0x0510;
inline constexpr int32_t MC_CREATE_DIR = 0x0610;
inline constexpr int32_t MC_CREATE_DIR_ABORT = 0x0680;
inline constexpr int32_t MC_READ_SOURCE = 0x0710;
inline constexpr int32_t MC_SET_ATTR = 0x0810;
inline constexpr int32_t MC_SET_DATE = 0x0910;
inline constexpr int32_t MC_GET_ATTR = 0x0A10;
inline constexpr int32_t MC_RENAME_OUTFILE = 0x0C10;
inline constexpr int32_t MC_RENAME_TEMPFILE = 0x0D10;
inline constexpr int32_t MC_TEMP_EXISTS = 0x0E20;
inline constexpr int32_t MC_DELETE_DIR_FAILED = 0x1110;
inline constexpr int32_t MC_READ_SOURCE_CONN = 0x1210;
inline constexpr int32_t MC_READ_SOURCE_CONN_ABORT = 0x1280;
inline constexpr int32_t MC_RECURSIVE_COPY = 0x1380;
inline constexpr int32_t MC_CLEAR_ARCHIVE = 0x1410;
inline constexpr int32_t MC_NETWORK_CONNECTION = 0x1580;
inline constexpr int32_t MC_NETWORK_SOURCE = 0x1680;
inline constexpr int32_t MC_DRIVE_NOT_READY = 0x1780;
// Level 16, any tag.
inline constexpr int32_t MC_ABORTED = 0x0B80;     // "Operation aborted"
inline constexpr int32_t MC_TERMINATED = 0x0F80;  // "Operation terminated"
// NetWare table (tag 2), warning and error levels.
inline constexpr int32_t MC_NW_PURGE = 0x0110;
inline constexpr int32_t MC_NW_INVALID_CONNECTION = 0x0280;
inline constexpr int32_t MC_NW_HANDLE_ALLOCATION = 0x0380;
inline constexpr int32_t MC_NW_UNICODE = 0x0480;
inline constexpr int32_t MC_NW_PARSE_PATH = 0x0580;

// --- Levels (bit values; 0 records nothing) ------------------------------

inline constexpr int32_t LVL_NONE = 0;
inline constexpr int32_t LVL_DIR = 1;        // directory heading in the job log
inline constexpr int32_t LVL_INFO = 2;
inline constexpr int32_t LVL_JOB = 4;        // job event, see EV_*
inline constexpr int32_t LVL_WARNING = 8;
inline constexpr int32_t LVL_ERROR = 16;
inline constexpr int32_t LVL_LOG_ONLY = 32;  // logged, not shown on the Log page

// Codes of level-4 messages.
inline constexpr int32_t EV_TEXT = 0;
inline constexpr int32_t EV_START = 1;
inline constexpr int32_t EV_FINISHED = 2;
inline constexpr int32_t EV_TERMINATED = 3;

// Tags: the job type of the walk that produced a message.
inline constexpr int32_t TAG_GENERAL = 0;
inline constexpr int32_t TAG_NETWARE = 2;

// --- State bits of a message ---------------------------------------------

inline constexpr uint16_t MS_PROGRAM_LOG = 0x1;  // written to the program log
inline constexpr uint16_t MS_JOB_LOG = 0x2;      // written to the job log
// Written to the attachment log; kept apart from the job log so that a file
// that failed is retried without writing the other one twice.
inline constexpr uint16_t MS_ATTACHMENT_LOG = 0x4;

struct TTErrorMsg {
  int64_t JobID = 0;     // 0 until the main thread stamps it
  uint16_t State = 0;    // MS_* bits
  DateTime Time = 0;     // when it was created
  int32_t Level = 0;
  int32_t Tag = 0;
  int32_t Code = 0;
  std::string Text;      // free text, usually a path
  int32_t OsError = 0;   // 0 when none
};

// Name of the job's folder below the log directory: its low 32 bits as
// exactly 8 upper-case hexadecimal digits.
std::string JobLogFolderName(int64_t id);

// Line text of one message: plain form for the log files, structured form
// ("@job;time;oserror;text") for the Log page.
std::string FormatMsg(const TTErrorMsg& msg, bool structured);

// An ordered message list. A worker thread keeps its own (dir and file name
// empty); the program keeps one on the log directory and "MIRAVA.LOG".
// Every operation locks, so a worker may add while the main thread moves or
// writes; the files are written only by the thread that calls Write*.
class TTErrorMsgList {
 public:
  // dir: the log directory ("" for none; a trailing "/" is added when
  // missing). fileName: the program log file name inside it ("" for none).
  explicit TTErrorMsgList(std::string dir = "", std::string fileName = "");
  virtual ~TTErrorMsgList();
  TTErrorMsgList(const TTErrorMsgList&) = delete;
  TTErrorMsgList& operator=(const TTErrorMsgList&) = delete;

  const std::string& Dir() const { return dir_; }
  const std::string& FileName() const { return fileName_; }

  // Appends a message (time = now, job 0, state 0, no OS error) when the low
  // 16 bits of level are not 0. Always returns code, so callers can return
  // the result of AddMsg as their own.
  int32_t AddMsg(int32_t tag, int32_t level, int32_t code, const std::string& text);
  // As AddMsg with an OS error number; -1 stands for the calling thread's
  // last OS error (errno, in the program's error numbers).
  int32_t AddMsgOS(int32_t tag, int32_t level, int32_t code, int32_t osError,
                   const std::string& text);

  // Line text of message index, "" when the index is outside the list.
  std::string FormatMsg(std::ptrdiff_t index, bool structured) const;

  // Appends every message not yet in the program log to fileName, or to
  // Dir() + FileName() when fileName is empty (nothing when that is empty
  // too). A failure stops silently; what was not written is retried on the
  // next call.
  void WriteLog(const std::string& fileName = "");
  // Appends the job's messages not yet written to its job log
  // Dir/HHHHHHHH/HHHHHHHH.LOG and its attachment log
  // Dir/HHHHHHHH/ATTHHHHHHHH.LOG (created with their folder when missing).
  // Failures stop silently and are retried on the next call.
  void WriteJobLog(int64_t jobId);
  // Drops every message of the job.
  void RemoveJobMessages(int64_t jobId);
  // Deletes the job's attachment log (creating its folder when missing).
  // Uses only Dir(), so a worker thread may call it.
  void DeleteAttachmentLog(int64_t jobId) const;
  // Writes the program log and empties the list.
  virtual void Close();

  // Moves every message of from (a worker's list) to the end of this list in
  // order, stamped with jobId, and passes the structured form of each one
  // not of level 32 to the display sink. Returns how many were moved.
  size_t MoveJobMessages(TTErrorMsgList& from, int64_t jobId);
  // End of a run: the job's last messages to its logs, then out of the list.
  void FinishJob(int64_t jobId);

  // Receives the lines the Log page shows (called on the thread that moves
  // messages, never while the list is locked).
  void SetDisplaySink(std::function<void(const std::string&)> sink);

  // Path of the job's log and attachment log.
  std::string JobLogPath(int64_t jobId) const;
  std::string AttachmentLogPath(int64_t jobId) const;

  size_t Count() const;
  std::optional<TTErrorMsg> At(std::ptrdiff_t index) const;
  std::vector<TTErrorMsg> Snapshot() const;
  // Takes ownership of a message as it is (state and job kept).
  void Append(TTErrorMsg msg);
  void Clear();
  // Number of log writes that failed (open, create or write), for diagnosis.
  uint64_t WriteFailures() const;

 private:
  // Appends the lines of the selected messages to path and sets bit on the
  // messages whose line reached the file. Caller holds mutex_.
  bool AppendMessages(const std::string& path, uint16_t bit,
                      const std::function<bool(const TTErrorMsg&)>& select);

  const std::string dir_;
  const std::string fileName_;
  mutable std::mutex mutex_;
  std::vector<TTErrorMsg> items_;
  std::function<void(const std::string&)> displaySink_;
  uint64_t writeFailures_ = 0;
};

}  // namespace mv
