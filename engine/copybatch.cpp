#include "engine/copybatch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "engine/copyfile.h"
#include "engine/copythread.h"
#include "jobs/errmsg.h"
#include "platform/fileio.h"
#include "platform/oserror.h"
#include "platform/paths.h"
#include "platform/textcase.h"

namespace mv {

namespace {

constexpr const char* kBatchPrefix = "~MVSW";
constexpr const char* kBatchSuffix = ".MVF";
constexpr int kBatchMaxNumber = 99999;

}  // namespace

CopyOps::~CopyOps() = default;

uint32_t CopyOps::Write(int fd, const std::string&, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return WinErrorFromErrno(errno);
    }
    if (n == 0) return ERROR_DISK_FULL;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return 0;
}

uint32_t CopyOps::CopyRange(int from, int to, const std::string&, size_t size, size_t& done) {
  done = 0;
  for (;;) {
    const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, size, 0);
    if (n >= 0) {
      done = static_cast<size_t>(n);
      return 0;
    }
    if (errno != EINTR) break;
  }
  // Every other failure is left to plain reads and writes, which tell a read
  // error from a write error.
  return ERROR_NOT_SUPPORTED;
}

void CopyOps::WriteBack(int fd, const std::string&) {
  (void)::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

uint32_t CopyOps::Flush(int fd, const std::string&) {
  while (::fsync(fd) != 0) {
    if (errno != EINTR) return WinErrorFromErrno(errno);
  }
  return 0;
}

uint32_t CopyOps::WaitWritten(int fd, const std::string&) {
  constexpr unsigned kAll = SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
  while (::sync_file_range(fd, 0, 0, kAll) != 0) {
    if (errno == EINTR) continue;
    // Not offered here (some file systems): the file system flush below
    // waits for the data all the same, only without naming the file.
    if (errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL || errno == ESPIPE) return 0;
    return WinErrorFromErrno(errno);
  }
  return 0;
}

uint32_t CopyOps::FlushFileSystem(int fd, const std::vector<std::string>&) {
  while (::syncfs(fd) != 0) {
    if (errno != EINTR) return WinErrorFromErrno(errno);
  }
  return 0;
}

uint32_t CopyOps::Rename(const TargetTree& tree, const std::string& from, const std::string& to) {
  return tree.RenameHeld(from, to);
}

uint32_t CopyOps::Link(const TargetTree& tree, int fd, const std::string& work, const std::string& to) {
  uint32_t error = tree.LinkHeld(fd, to);
  if (error != ERROR_FILE_EXISTS) return error;
  error = tree.LinkHeld(fd, work);
  // A work copy left by a crash gives way; one another job holds does not.
  if (error == ERROR_FILE_EXISTS && tree.Delete(work) == 0) error = tree.LinkHeld(fd, work);
  if (error != 0) return error;
  error = tree.RenameHeld(work, to);
  if (error != 0) tree.DeleteHeld(work);
  return error;
}

CopyOps& RealCopyOps() {
  static CopyOps ops;
  return ops;
}

std::string BatchWorkFileName(int number) { return kBatchPrefix + std::to_string(number) + kBatchSuffix; }

bool IsBatchWorkFileName(std::string_view name) {
  const std::string_view prefix = kBatchPrefix, suffix = kBatchSuffix;
  if (name.size() <= prefix.size() + suffix.size() || name.size() > prefix.size() + suffix.size() + 5 ||
      !name.starts_with(prefix) || !name.ends_with(suffix))
    return false;
  const std::string_view digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  return digits[0] != '0' && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

CopyBatch::~CopyBatch() {
  // Never committed (the run ended by another way): nothing unflushed may
  // get a target name, so the copies go.
  if (!flushing_.empty()) flusher_.Wait();
  for (Item& item : flushing_)
    if (!item.Unnamed) tree_.DeleteHeld(item.Work);
  for (Item& item : items_)
    if (!item.Unnamed) tree_.DeleteHeld(item.Work);
}

std::string CopyBatch::WorkPathFor(const std::string& dir, uint64_t serial) {
  // Numbered through the run, so unique within both waiting batches and
  // so within each of their folders.
  const int number = static_cast<int>(serial % kBatchMaxNumber) + 1;
  return dir + BatchWorkFileName(number);
}

bool CopyBatch::FirstVisit(const std::string& dir) { return visited_.insert(dir).second; }

void CopyBatch::Add(const TargetTree& tree, Item item) {
  if (Empty() && tree_.Root() != tree.Root()) tree_.Reset(tree.Root());
  ++added_;
  bytes_ += item.Size;
  holdsTargets_ = holdsTargets_ || item.HeldTarget.IsOpen();
  items_.push_back(std::move(item));
}

std::vector<uint32_t> CopyBatch::Flush(const std::vector<Item>& items) {
  // One flush per file system the batch wrote to (a tree may span several
  // mounts); its failure fails every copy there.
  std::vector<uint32_t> flushed(items.size(), 0);
  struct Group {
    dev_t device;
    std::vector<size_t> items;
  };
  std::vector<Group> groups;
  for (size_t i = 0; i < items.size(); ++i) {
    struct stat st {};
    if (::fstat(items[i].WorkFile.fd(), &st) != 0) {
      flushed[i] = LastWinError();
      continue;
    }
    auto group = std::find_if(groups.begin(), groups.end(), [&st](const Group& g) { return g.device == st.st_dev; });
    if (group == groups.end()) group = groups.insert(groups.end(), Group{st.st_dev, {}});
    group->items.push_back(i);
  }
  for (const Group& group : groups) {
    // A single copy (say the one replaced file of a folder): its own flush,
    // which does not wait for what other programs have written meanwhile.
    if (group.items.size() == 1) {
      const size_t i = group.items.front();
      flushed[i] = ops_.Flush(items[i].WorkFile.fd(), items[i].Work);
      continue;
    }
    std::vector<std::string> paths;
    paths.reserve(group.items.size());
    for (size_t i : group.items) paths.push_back(items[i].Work);
    if (uint32_t error = ops_.FlushFileSystem(items[group.items.front()].WorkFile.fd(), paths)) {
      for (size_t i : group.items) flushed[i] = error;
      continue;
    }
    // The flush wrote everything; this finds the copy whose write-back
    // failed, should one have, so that only that one fails.
    for (size_t i : group.items) flushed[i] = ops_.WaitWritten(items[i].WorkFile.fd(), items[i].Work);
  }
  return flushed;
}

int32_t CopyBatch::FinishFlushing(TCopyThread& t) {
  if (flushing_.empty()) return 0;
  flusher_.Wait();
  std::vector<Item> items = std::move(flushing_);
  std::vector<uint32_t> flushed = std::move(flushingResult_);
  flushing_.clear();
  flushingHolds_ = false;
  if (flushed.size() != items.size()) flushed.assign(items.size(), ERROR_GEN_FAILURE);  // the flusher threw
  return Name(t, items, flushed);
}

int32_t CopyBatch::Commit(TCopyThread& t) {
  int32_t worst = FinishFlushing(t);
  if (items_.empty()) return worst;
  std::vector<Item> items = std::move(items_);
  items_.clear();
  bytes_ = 0;
  holdsTargets_ = false;
  const int32_t code = Name(t, items, Flush(items));
  return worst == 0 || ((code & RC_ABORT) != 0 && (worst & RC_ABORT) == 0) ? code : worst;
}

int32_t CopyBatch::CommitInBackground(TCopyThread& t) {
  const int32_t worst = FinishFlushing(t);
  if (items_.empty()) return worst;
  flushing_ = std::move(items_);
  items_.clear();
  flushingHolds_ = holdsTargets_;
  bytes_ = 0;
  holdsTargets_ = false;
  flushingResult_.clear();
  flusher_.Start([this] {
    flushingResult_ = Flush(flushing_);
    return 0;
  });
  return worst;
}

int32_t CopyBatch::Name(TCopyThread& t, std::vector<Item>& items, const std::vector<uint32_t>& flushed) {
  int32_t worst = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    Item& item = items[i];
    int32_t code = 0;
    if (uint32_t error = flushed[i]) {
      code = t.Log(LVL_ERROR, MC_WRITE_TARGET, item.Target, static_cast<int32_t>(error));
    } else if (uint32_t error = item.Unnamed ? ops_.Link(tree_, item.WorkFile.fd(), item.Work, item.Target)
                                             : ops_.Rename(tree_, item.Work, item.Target)) {
      code = t.Log(LVL_ERROR, MC_RENAME_TEMPFILE, "\"" + item.Target + "\"", static_cast<int32_t>(error));
    }
    const bool inPlace = code == 0;
    if (!inPlace && !item.Unnamed) {
      if (uint32_t error = tree_.DeleteHeld(item.Work))
        t.Log(LVL_ERROR, MC_DELETE_TARGET, item.Work, static_cast<int32_t>(error));
    }
    item.WorkFile.Close();
    item.HeldTarget.Close();
    if (inPlace) {
      const std::string dir = ExtractFilePath(item.Target);
      const std::string swap = dir + kSwapFileName;
      struct stat st {};
      if (FirstSwapCheck(dir) && tree_.Stat(swap, st) == 0) {
        if (uint32_t error = tree_.Delete(swap)) t.Log(LVL_ERROR, MC_DELETE_TARGET, swap, static_cast<int32_t>(error));
      }
      uint32_t attr = 0;
      if (item.ClearArchive && GetFileAttributes(item.Source, attr) == 0 && (attr & kAttrArchive)) {
        if (uint32_t error = SetFileAttributes(item.Source, attr & ~kAttrArchive))
          code = t.Log(LVL_WARNING, MC_CLEAR_ARCHIVE, item.Source, static_cast<int32_t>(error));
      }
    }
    if (code != 0) {
      // The walk counted the file as copied when it joined the batch.
      --t.cSuccess;
      ++t.cError;
      if (!inPlace) t.CompletedBytes -= item.Size;
      t.LastResult = code;
      if (worst == 0 || ((code & RC_ABORT) != 0 && (worst & RC_ABORT) == 0)) worst = code;
    }
  }
  return worst;
}

}  // namespace mv
