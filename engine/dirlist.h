#pragma once
// One directory, read once and never recursively, through a filter: the
// listing every walk and the directory view work on. Besides the local file
// system a listing can read the directory of a remote instance, and add the
// deleted (salvageable) files of a NetWare directory. Its signature lets the
// copy walk skip a directory whose files are unchanged with one comparison.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "filter/dirfilter.h"
#include "netware/nwclient.h"
#include "platform/finddata.h"
#include "platform/paths.h"

namespace mv {


// Result of a remote Read whose client is not connected.
inline constexpr int32_t kDirListNotConnected = -257;
// Enumeration attempts while the start fails with a network error.
inline constexpr int kDirListNetworkAttempts = 6;
// Result of a remote Read whose reply holds a name that cannot stand for
// one entry of the folder (see PeerNameProblem).
inline constexpr int32_t kDirListBadName = -123;

// Why a name received from a peer cannot be one entry of a folder, or null.
// A name is joined to the folder's path by the walks, so it must be exactly
// one path component: not empty, not ".", without "/" or NUL, at most 255
// bytes. ".." passes only as a folder: every subfolder's listing holds it,
// and the walks never join it to a path.
const char* PeerNameProblem(std::string_view name, bool directory);

// Result of a remote Read that would take the listings of its remote side
// past their memory budget.
inline constexpr int32_t kDirListOverBudget = -8;

// What went wrong with the last Read on the remote side.
enum class ListingProblem {
  None,
  Failed,      // the remote instance or the connection failed; nothing listed
  BadName,     // the reply held a name that is no plain file name; nothing listed
  OverBudget,  // the listings of this remote side would hold too much memory
};

// The memory all listings read through one remote side may hold at once, so
// that a peer cannot grow a walk without end (each level of a walk keeps its
// listing while it descends). Shared by the listings; thread-safe.
class ListingBudget {
 public:
  explicit ListingBudget(int64_t limitBytes) : limit_(limitBytes) {}
  // False, taking nothing, when bytes do not fit any more.
  bool Take(int64_t bytes);
  void Give(int64_t bytes) { used_ -= bytes; }
  int64_t Used() const { return used_.load(); }
  int64_t Limit() const { return limit_; }

 private:
  std::atomic<int64_t> used_{0};
  const int64_t limit_;
};

// What one listing holds of a budget; given back when it goes.
class BudgetShare {
 public:
  BudgetShare() = default;
  ~BudgetShare() { Release(); }
  BudgetShare(BudgetShare&& other) noexcept
      : budget_(std::move(other.budget_)), bytes_(std::exchange(other.bytes_, 0)) {}
  BudgetShare& operator=(BudgetShare&& other) noexcept {
    if (this != &other) {
      Release();
      budget_ = std::move(other.budget_);
      bytes_ = std::exchange(other.bytes_, 0);
    }
    return *this;
  }
  // False when the budget has no room for bytes more.
  bool Grow(const std::shared_ptr<ListingBudget>& budget, int64_t bytes);
  void Shrink(int64_t bytes);
  void Release() { Shrink(bytes_); }

 private:
  std::shared_ptr<ListingBudget> budget_;
  int64_t bytes_ = 0;
};

// Memory one entry of a listing holds, about (what a budget counts).
int64_t EntryCost(std::string_view name);

class TTDirEntry {
 public:
  TTDirEntry() = default;
  // An ordinary entry as the enumeration returned it.
  explicit TTDirEntry(const FindData& found);
  explicit TTDirEntry(FindData&& found);

  // Size64 of a deleted entry: its 32-bit size; otherwise FindData.Size.
  int64_t Size64() const;
  bool IsDeleted() const { return DeletedDate != 0; }
  bool IsDirectory() const { return (Attr & static_cast<int32_t>(kAttrDirectory)) != 0; }
  bool IsNormalDirectory() const { return IsDirectory() && !IsDeleted(); }
  bool IsDeletedDirectory() const { return IsDirectory() && IsDeleted(); }

  // CRC of Time and Size as 8 hex digits each and the Name (case kept);
  // the high 32 bits are all ones. 0 for directories. Computed once.
  uint64_t Signature() const;

  // (Size64 + 1023) div 1024 in decimal.
  std::string SizeKBText() const;
  // Time in the short date and long time format; "" when Time is no valid
  // date (an entry named by a job but missing on disk).
  std::string DateText() const;

  int32_t Time = 0;  // packed local DOS date-time of the last write
  int32_t Size = 0;  // low 32 bits of the size
  int32_t Attr = 0;  // kAttr* bits
  std::string Name;  // without path
  // Enumeration bookkeeping; kept for the record layout, never read.
  int32_t EnumHandle = 0;
  int32_t EnumExcludeAttr = 0;
  FindData Found;            // the whole record of the enumeration
  int32_t DeletedDate = 0;   // 0, or the deletion date (packed DOS) of a deleted entry
  int32_t Reserved = -1;
  int32_t DeletedSequence = -1;  // NetWare sequence needed to salvage or purge

 private:
  mutable uint64_t signature_ = 0;  // 0 = not computed yet
};

// The CRC the entry signature is built from: reflected 0xEDB88320 over a
// 64-bit register starting at 0x0FFFFFFF, complemented at the end.
uint64_t DirSignatureCrc(std::string_view text);

// --- Deleted-file seam --------------------------------------------------------

// Where a deleted-file scan left off; salvage and purge need it.
struct NetWareScanContext {
  int32_t Connection = -1;  // -1 = no scan, or the path is not on NetWare
  NWDirHandle DirHandle = 0;
  uint32_t VolumeNumber = 0;
  uint32_t DirBase = 0;
  std::string RelativePath;  // up to 256 bytes, relative to DirHandle
};

// One deleted file as the scan reports it (dates packed local DOS, 0 when
// the server's date cannot be converted).
struct DeletedFileRecord {
  int32_t Sequence = -1;
  int32_t Created = 0;
  int32_t Modified = 0;
  int32_t Deleted = 0;
  uint32_t Size = 0;
  int32_t Attributes = 0;
  std::string Name;
};

// Scans the deleted files of `upperPath` (the listing's path, upper-cased;
// converting it for the server is the scanner's business), applying the
// filter's include and exclude file masks, and fills `context`. An empty
// result is no error.
using DeletedFileScanner = std::function<std::vector<DeletedFileRecord>(
    NetWareClient& client, const std::string& upperPath, const TTDirFilter& filter,
    NetWareScanContext& context)>;

struct DirListNetWare {
  NetWareClient* Client = nullptr;  // null or !Available: no deleted entries
  bool Available = false;
  DeletedFileScanner Scan;          // empty: no deleted entries
};

// --- Remote seam ----------------------------------------------------------------

// A listing's view of the remote client. The listing does not own it; the
// remote client implements it.
class DirListRemote {
 public:
  virtual ~DirListRemote() = default;
  // True when listings go to the remote instance; false keeps them local.
  virtual bool Active() const = 0;
  // Lists `path` (as given to Read) with `mask` on the remote instance,
  // sending `hint` along. Appends each received entry to `entries` (Time,
  // Size, Attr and Name set; Size is the 32-bit size, not sign-extended).
  // Returns 0, or a negative status (kDirListNotConnected without a
  // connection).
  virtual int32_t ReadRemote(const std::string& path, const std::string& mask, int32_t hint,
                             std::vector<FindData>& entries) = 0;
  // As ReadRemote, handing each entry to `each` as it arrives, so that a
  // long listing is never held twice. `each` may have seen entries of a
  // reply that then fails.
  virtual int32_t ReadRemoteEach(const std::string& path, const std::string& mask, int32_t hint,
                                 const std::function<void(FindData&&)>& each) {
    std::vector<FindData> entries;
    const int32_t status = ReadRemote(path, mask, hint, entries);
    for (FindData& found : entries) each(std::move(found));
    return status;
  }
  // Sends the four name lists of `filter`; returns the reply (negative on
  // failure).
  virtual int32_t SendFilter(const TTDirFilter& filter) = 0;
  // A run connects its remote sides at its start and disconnects at its end.
  virtual void Connect() {}
  virtual void Disconnect() {}
  // The budget of the listings read through this side (null: none).
  virtual std::shared_ptr<ListingBudget> Budget() const { return nullptr; }
};

// --- Listing ----------------------------------------------------------------------

class TTDirList {
 public:
  // Empty; mask "*.*", default filter, local. Nothing is read here.
  TTDirList();
  TTDirList(TTDirList&&) noexcept = default;
  TTDirList& operator=(TTDirList&&) noexcept = default;

  // Replaces the entries by those of `path`. Returns 0 (also for an empty
  // path or one beginning with "NUL:"), or the negative OS error (negative
  // remote status). Entries accepted before a failure stay. An empty Mask
  // lists nothing and returns 0.
  int32_t Read(const std::string& path);

  // Stores the normalised path: a drive or device prefix ("c:", "nul:")
  // upper-cased, a trailing "/" added unless the path is empty.
  void SetPath(const std::string& path);
  const std::string& Path() const { return path_; }

  // Remotely: sends the name lists and returns the reply. Locally: copies
  // the filter (all but DeletedDateLimit) and returns 0.
  int32_t AssignFilter(const TTDirFilter& filter);

  // The per-entry test of Read: the filter's decision for this path.
  bool Accept(const FindData& entry, bool deletedMode) const;

  // Wrapping sum of the entry signatures of everything but normal
  // directories; cached until the entries change.
  uint64_t Signature() const;

  int32_t Count() const { return static_cast<int32_t>(entries_.size()); }
  TTDirEntry& operator[](int32_t i) { return *entries_[static_cast<size_t>(i)]; }
  const TTDirEntry& operator[](int32_t i) const { return *entries_[static_cast<size_t>(i)]; }
  int32_t DirCount() const { return dirCount_; }
  int32_t FileCount() const { return fileCount_; }
  // Absolute value of the last local Read's result.
  int32_t LastError() const { return lastError_; }
  // What the last Read returned.
  int32_t LastResult() const { return lastResult_; }
  // Why the last remote Read listed nothing, in words for the run's log
  // ("" with ListingProblem::None).
  ListingProblem Problem() const { return problem_; }
  const std::string& ProblemText() const { return problemText_; }

  // Appends an entry without counting it (a name not on disk, a deleted
  // file found by a later scan).
  TTDirEntry& Add(TTDirEntry entry);
  // A deleted file: appended uncounted with its deletion date and sequence.
  TTDirEntry& AddDeleted(const FindData& found, int32_t deletedDate, int32_t sequence);
  // Removes the entries for which `drop` holds.
  void RemoveIf(const std::function<bool(const TTDirEntry&)>& drop);
  // Removes every entry before position index that is not a normal
  // directory (a walk that has handled them); index then names the same
  // entry as before.
  void DropFilesBefore(int32_t& index);
  // Empties the listing (entries, counts and signature).
  void Clear();

  void SetRemote(DirListRemote* remote) { remote_ = remote; }
  DirListRemote* Remote() const { return remote_; }
  void SetNetWare(DirListNetWare netware) { netware_ = std::move(netware); }
  NetWareScanContext& ScanContext() { return scanContext_; }
  const NetWareScanContext& ScanContext() const { return scanContext_; }

  std::string Mask = "*.*";
  TTDirFilter Filter;
  // Sent with a remote Read: the copy walk puts the other side's signature here.
  uint64_t RemoteHint = 0;
  // Created empty; kept for the callers that collect names beside a listing.
  std::vector<std::string> Names;

 private:
  bool RemoteActive() const { return remote_ != nullptr && remote_->Active(); }
  int32_t ReadLocal();
  // Whether the filter decides on the archive bit (else listings skip it).
  bool NeedsArchiveBit() const;
  int32_t ReadRemote(const std::string& path);
  void ReadDeleted();
  void Append(const FindData& found);
  void Append(FindData&& found);

  std::string path_;
  std::vector<std::unique_ptr<TTDirEntry>> entries_;
  int32_t dirCount_ = 0;
  int32_t fileCount_ = 0;
  mutable uint64_t signature_ = 0;  // 0 = not computed
  int32_t lastError_ = 0;
  int32_t lastResult_ = 0;
  ListingProblem problem_ = ListingProblem::None;
  std::string problemText_;
  DirListRemote* remote_ = nullptr;
  BudgetShare share_;  // what the remote entries hold of their side's budget
  DirListNetWare netware_;
  NetWareScanContext scanContext_;
};

}  // namespace mv
