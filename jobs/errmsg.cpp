#include "jobs/errmsg.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "jobs/jobrecord.h"
#include "jobs/msgtable.h"
#include "platform/clock.h"
#include "platform/datetext.h"
#include "platform/fileio.h"
#include "platform/hextext.h"
#include "platform/oserror.h"
#include "platform/paths.h"
#include "platform/uniquefd.h"

namespace mv {

namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr const char* kNoMessage = "<NO MESSAGE>";

// An append-only file descriptor, closed with its owner.
class AppendFile {
 public:
  explicit AppendFile(const std::string& path)
      : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666)) {}

  bool IsOpen() const { return fd_.Valid(); }

  // Current end of the file, -1 when unknown.
  off_t Size() const {
    struct stat st;
    return ::fstat(fd_.Get(), &st) == 0 ? st.st_size : -1;
  }
  // Cuts the file back to size (used to drop a torn last line).
  bool Truncate(off_t size) { return ::ftruncate(fd_.Get(), size) == 0; }

  // Writes as much of data as possible; returns the number of bytes written.
  size_t Write(const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
      ssize_t n = ::write(fd_.Get(), data.data() + done, data.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    return done;
  }

 private:
  UniqueFd fd_;
};

// A line break inside a text would split one message into two log lines.
std::string OneLine(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (c == '\r' || c == '\n') c = '?';
  return out;
}

std::string TablePart(const TTErrorMsg& m) {
  const int32_t level = m.Level;
  const int32_t code = m.Code;
  if (level == LVL_DIR) return "  +--- ";
  if (((level == LVL_INFO || level == LVL_LOG_ONLY) && code == 0) ||
      (level == LVL_JOB && code == EV_TEXT))
    return "";
  if (level == LVL_JOB && (code == EV_START || code == EV_FINISHED || code == EV_TERMINATED)) {
    static const char* const kEvents[] = {"JOB START (", "JOB FINISHED (", "JOB TERMINATED ("};
    return kEvents[code - 1] + OneLine(m.Text) + ")";
  }
  if (level == LVL_ERROR && code == MC_ABORTED) return "Operation aborted";
  if (level == LVL_ERROR && code == MC_TERMINATED) return "Operation terminated";
  const bool info = level == LVL_INFO || level == LVL_LOG_ONLY;
  const bool error = level == LVL_WARNING || level == LVL_ERROR;
  if (m.Tag == TAG_GENERAL) {
    if (info) {
      const char* t = GeneralInfoText(code);
      return t ? t : kNoMessage;
    }
    if (error) {
      const char* t = GeneralErrorText(code);
      return t ? t : "";
    }
    return kNoMessage;
  }
  if (m.Tag == TAG_NETWARE) {
    if (!error) return "";
    const char* t = NetWareErrorText(code);
    return t ? t : kNoMessage;
  }
  return kNoMessage;
}

}  // namespace

std::string JobLogFolderName(int64_t id) { return HexText(static_cast<uint32_t>(id), 8); }

std::string FormatMsg(const TTErrorMsg& m, bool structured) {
  std::string line;
  const std::string time = DateTimeToStr(m.Time);
  if (structured) {
    line = "@" + JobIdText(m.JobID) + ";" + time + ";";
    if (m.OsError != 0) line += std::to_string(m.OsError);
    line += ";";
  } else {
    line = "[" + JobIdText(m.JobID) + "]  " + time + " ";
    if (m.OsError != 0) line += " (E" + std::to_string(m.OsError) + ") ";
    line += " ";
  }
  line += TablePart(m);
  line += " ";
  line += OneLine(m.Text);
  return line;
}

TTErrorMsgList::TTErrorMsgList(std::string dir, std::string fileName)
    : dir_(IncludeTrailingDelim(dir)),
      fileName_(std::move(fileName)) {}

TTErrorMsgList::~TTErrorMsgList() = default;

int32_t TTErrorMsgList::AddMsg(int32_t tag, int32_t level, int32_t code,
                               const std::string& text) {
  return AddMsgOS(tag, level, code, 0, text);
}

int32_t TTErrorMsgList::AddMsgOS(int32_t tag, int32_t level, int32_t code, int32_t osError,
                                 const std::string& text) {
  // Read before anything else can overwrite errno.
  if (osError == -1) osError = static_cast<int32_t>(LastWinError());
  if ((level & 0xFFFF) == 0) return code;
  TTErrorMsg m;
  m.Time = Now();
  m.Level = level;
  m.Tag = tag;
  m.Code = code;
  m.Text = text;
  m.OsError = osError;
  std::lock_guard lock(mutex_);
  items_.push_back(std::move(m));
  return code;
}

std::string TTErrorMsgList::FormatMsg(std::ptrdiff_t index, bool structured) const {
  std::optional<TTErrorMsg> m = At(index);
  return m ? mv::FormatMsg(*m, structured) : std::string();
}

bool TTErrorMsgList::AppendMessages(const std::string& path, uint16_t bit,
                                    const std::function<bool(const TTErrorMsg&)>& select) {
  std::vector<size_t> pending;
  for (size_t i = 0; i < items_.size(); ++i)
    if (!(items_[i].State & bit) && select(items_[i])) pending.push_back(i);
  if (pending.empty()) return true;

  AppendFile file(path);
  if (!file.IsOpen()) {
    ++writeFailures_;
    return false;
  }
  // Lines go out in batches of whole lines; a message is marked only when
  // its full line reached the file.
  constexpr size_t kBatch = 64 * 1024;
  size_t next = 0;
  while (next < pending.size()) {
    std::string batch;
    std::vector<size_t> ends;
    size_t first = next;
    while (next < pending.size() && (batch.empty() || batch.size() < kBatch)) {
      batch += mv::FormatMsg(items_[pending[next]], false);
      batch += kLineEnd;
      ends.push_back(batch.size());
      ++next;
    }
    const off_t start = file.Size();
    const size_t written = file.Write(batch);
    size_t complete = 0;
    for (size_t k = 0; k < ends.size() && ends[k] <= written; ++k) {
      items_[pending[first + k]].State |= bit;
      complete = ends[k];
    }
    if (written < batch.size()) {
      // A disk that filled up mid-line: keep the file at a line boundary.
      if (written > complete && start >= 0) file.Truncate(start + static_cast<off_t>(complete));
      ++writeFailures_;
      return false;
    }
  }
  return true;
}

void TTErrorMsgList::WriteLog(const std::string& fileName) {
  std::lock_guard lock(mutex_);
  if (items_.empty()) return;
  std::string path = fileName;
  if (path.empty()) {
    if (fileName_.empty()) return;
    path = dir_ + fileName_;
  }
  AppendMessages(path, MS_PROGRAM_LOG, [](const TTErrorMsg&) { return true; });
}

std::string TTErrorMsgList::JobLogPath(int64_t jobId) const {
  const std::string h = JobLogFolderName(jobId);
  return dir_ + h + PathDelim + h + ".LOG";
}

std::string TTErrorMsgList::AttachmentLogPath(int64_t jobId) const {
  const std::string h = JobLogFolderName(jobId);
  return dir_ + h + PathDelim + "ATT" + h + ".LOG";
}

void TTErrorMsgList::WriteJobLog(int64_t jobId) {
  std::lock_guard lock(mutex_);
  if (items_.empty()) return;
  auto ofJob = [jobId](const TTErrorMsg& m) { return m.JobID == jobId; };
  bool any = false;
  for (const TTErrorMsg& m : items_)
    if (ofJob(m) && (m.State & (MS_JOB_LOG | MS_ATTACHMENT_LOG)) !=
                        (MS_JOB_LOG | MS_ATTACHMENT_LOG)) {
      any = true;
      break;
    }
  if (!any || dir_.empty()) return;
  if (ForceDirectories(dir_ + JobLogFolderName(jobId)) != 0) {
    ++writeFailures_;
    return;
  }
  if (AppendMessages(JobLogPath(jobId), MS_JOB_LOG, ofJob))
    AppendMessages(AttachmentLogPath(jobId), MS_ATTACHMENT_LOG, ofJob);
}

void TTErrorMsgList::RemoveJobMessages(int64_t jobId) {
  std::lock_guard lock(mutex_);
  std::erase_if(items_, [jobId](const TTErrorMsg& m) { return m.JobID == jobId; });
}

void TTErrorMsgList::DeleteAttachmentLog(int64_t jobId) const {
  // dir_ never changes, so no lock: a worker may call this while the main
  // thread holds the list.
  if (dir_.empty()) return;
  ForceDirectories(dir_ + JobLogFolderName(jobId));
  // unlink, not a share-locked delete: a mail still reading the last run's
  // attachment keeps its copy, and this run starts a fresh file.
  ::unlink(AttachmentLogPath(jobId).c_str());
}

void TTErrorMsgList::Close() {
  WriteLog();
  Clear();
}

size_t TTErrorMsgList::MoveJobMessages(TTErrorMsgList& from, int64_t jobId) {
  if (&from == this) return 0;
  std::vector<std::string> shown;
  std::function<void(const std::string&)> sink;
  size_t moved = 0;
  {
    std::scoped_lock lock(mutex_, from.mutex_);
    sink = displaySink_;
    moved = from.items_.size();
    items_.reserve(items_.size() + moved);
    for (TTErrorMsg& m : from.items_) {
      m.JobID = jobId;
      if (sink && m.Level != LVL_LOG_ONLY) shown.push_back(mv::FormatMsg(m, true));
      items_.push_back(std::move(m));
    }
    from.items_.clear();
  }
  for (const std::string& line : shown) sink(line);
  return moved;
}

void TTErrorMsgList::FinishJob(int64_t jobId) {
  WriteJobLog(jobId);
  RemoveJobMessages(jobId);
}

void TTErrorMsgList::SetDisplaySink(std::function<void(const std::string&)> sink) {
  std::lock_guard lock(mutex_);
  displaySink_ = std::move(sink);
}

size_t TTErrorMsgList::Count() const {
  std::lock_guard lock(mutex_);
  return items_.size();
}

std::optional<TTErrorMsg> TTErrorMsgList::At(std::ptrdiff_t index) const {
  std::lock_guard lock(mutex_);
  if (index < 0 || static_cast<size_t>(index) >= items_.size()) return std::nullopt;
  return items_[static_cast<size_t>(index)];
}

std::vector<TTErrorMsg> TTErrorMsgList::Snapshot() const {
  std::lock_guard lock(mutex_);
  return items_;
}

void TTErrorMsgList::Append(TTErrorMsg msg) {
  std::lock_guard lock(mutex_);
  items_.push_back(std::move(msg));
}

void TTErrorMsgList::Clear() {
  std::lock_guard lock(mutex_);
  items_.clear();
}

uint64_t TTErrorMsgList::WriteFailures() const {
  std::lock_guard lock(mutex_);
  return writeFailures_;
}

}  // namespace mv
