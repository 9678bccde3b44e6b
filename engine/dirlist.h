#pragma once
// One directory, read once and never recursively, through a filter: the
// listing every walk and the directory view work on. Besides the local file
// system a listing can read the directory of a remote instance, and add the
// deleted (salvageable) files of a NetWare directory. Its signature lets the
// copy walk skip a directory whose files are unchanged with one comparison.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
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

class TTDirEntry {
 public:
  TTDirEntry() = default;
  // An ordinary entry as the enumeration returned it.
  explicit TTDirEntry(const FindData& found);

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
  // Sends the four name lists of `filter`; returns the reply (negative on
  // failure).
  virtual int32_t SendFilter(const TTDirFilter& filter) = 0;
  // A run connects its remote sides at its start and disconnects at its end.
  virtual void Connect() {}
  virtual void Disconnect() {}
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

  // Appends an entry without counting it (a name not on disk, a deleted
  // file found by a later scan).
  TTDirEntry& Add(TTDirEntry entry);
  // A deleted file: appended uncounted with its deletion date and sequence.
  TTDirEntry& AddDeleted(const FindData& found, int32_t deletedDate, int32_t sequence);
  // Removes the entries for which `drop` holds.
  void RemoveIf(const std::function<bool(const TTDirEntry&)>& drop);
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

  std::string path_;
  std::vector<std::unique_ptr<TTDirEntry>> entries_;
  int32_t dirCount_ = 0;
  int32_t fileCount_ = 0;
  mutable uint64_t signature_ = 0;  // 0 = not computed
  int32_t lastError_ = 0;
  int32_t lastResult_ = 0;
  DirListRemote* remote_ = nullptr;
  DirListNetWare netware_;
  NetWareScanContext scanContext_;
};

}  // namespace mv
