#include "engine/dirlist.h"

#include <array>
#include <cstdio>
#include <cstdlib>

#include "platform/datetext.h"
#include "platform/datetime.h"
#include "platform/findfile.h"
#include "platform/oserror.h"
#include "platform/paths.h"
#include "platform/textcase.h"

namespace mv {

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

uint64_t DirSignatureCrc(std::string_view text) {
  // The odd start value and the 64-bit register are part of the stored
  // signatures' meaning: remote instances compare them across the wire.
  uint64_t reg = 0x000000000FFFFFFFull;
  for (unsigned char b : text) reg = kCrcTable[(reg ^ b) & 0xFF] ^ (reg >> 8);
  return ~reg;
}

// --- TTDirEntry -------------------------------------------------------------

TTDirEntry::TTDirEntry(const FindData& found)
    : Time(static_cast<int32_t>(found.Time)),
      Size(static_cast<int32_t>(static_cast<uint32_t>(found.Size))),
      Attr(static_cast<int32_t>(found.Attr)),
      Name(found.Name),
      Found(found) {}

int64_t TTDirEntry::Size64() const {
  // The scan reports sizes as unsigned 32-bit values; sign-extending them
  // would turn files of 2 to 4 GiB into negative byte counts.
  if (IsDeleted()) return static_cast<uint32_t>(Size);
  return Found.Size;
}

uint64_t TTDirEntry::Signature() const {
  if (IsDirectory()) return 0;
  if (signature_ == 0) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%08X%08X", static_cast<uint32_t>(Time), static_cast<uint32_t>(Size));
    // The name as it is: on Linux "Report.TXT" and "report.txt" are two files.
    signature_ = DirSignatureCrc(std::string(hex) + Name);
  }
  return signature_;
}

std::string TTDirEntry::SizeKBText() const { return std::to_string((Size64() + 1023) / 1024); }

std::string TTDirEntry::DateText() const {
  DateTime t = DosToDateTime(static_cast<uint32_t>(Time));
  return t == 0 ? std::string() : DateTimeToStr(t);
}

// --- TTDirList --------------------------------------------------------------

TTDirList::TTDirList() : Filter("", "", "", "", kDefaultIncludeDirLevel) {}

void TTDirList::SetPath(const std::string& path) {
  std::string p = path;
  // Only a drive or device prefix ("c:", "nul:") is folded; a colon inside
  // a POSIX folder name must leave the (case-sensitive) path alone.
  size_t colon = p.find(':');
  if (colon != std::string::npos && p.find(PathDelim) > colon) {
    for (size_t i = 0; i < colon; ++i)
      if (p[i] >= 'a' && p[i] <= 'z') p[i] = static_cast<char>(p[i] - 'a' + 'A');
  }
  if (!p.empty() && p.back() != PathDelim) p += PathDelim;
  path_ = std::move(p);
}

int32_t TTDirList::AssignFilter(const TTDirFilter& filter) {
  if (RemoteActive()) return remote_->SendFilter(filter);
  Filter.Assign(&filter);
  return 0;
}

bool TTDirList::Accept(const FindData& entry, bool deletedMode) const {
  return Filter.Accept(entry, path_, deletedMode);
}

void TTDirList::Clear() {
  entries_.clear();
  dirCount_ = fileCount_ = 0;
  signature_ = 0;
}

int32_t TTDirList::Read(const std::string& path) {
  Clear();
  SetPath(path);
  // An empty mask selects nothing (an action made from the other pane's
  // selection has one); it is no error either.
  if (Mask.empty()) {
    lastError_ = 0;
    return lastResult_ = 0;
  }
  lastResult_ = RemoteActive() ? ReadRemote(path) : ReadLocal();
  return lastResult_;
}

void TTDirList::Append(const FindData& found) {
  entries_.push_back(std::make_unique<TTDirEntry>(found));
  if (entries_.back()->IsDirectory())
    ++dirCount_;
  else
    ++fileCount_;
}

int32_t TTDirList::ReadLocal() {
  lastError_ = 0;
  if (path_.empty() || path_.starts_with("NUL:")) return 0;

  FindHandle h;
  FindData found;
  uint32_t err = 0;
  for (int attempt = 0; attempt < kDirListNetworkAttempts; ++attempt) {
    err = FindFirst(path_ + Mask, kAttrAny | (NeedsArchiveBit() ? 0 : kFindSkipArchive), found, h);
    if (err == 0 || !IsNetworkError(err)) break;
    h.Close();
  }
  while (err == 0) {
    // A point-in-time view of deleted files keeps only the folders of today.
    if (Accept(found, false) && (Filter.DeletedDateLimit == 0 || (found.Attr & kAttrDirectory) != 0))
      Append(found);
    err = FindNext(h, found);
  }
  h.Close();
  const int32_t result = err == ERROR_NO_MORE_FILES ? 0 : -static_cast<int32_t>(err);
  lastError_ = std::abs(result);

  if (Filter.DeletedFiles == 1) ReadDeleted();
  return result;
}

void TTDirList::ReadDeleted() {
  scanContext_ = NetWareScanContext{};
  if (netware_.Client == nullptr || !netware_.Available || !netware_.Scan) return;
  std::vector<DeletedFileRecord> records =
      netware_.Scan(*netware_.Client, UpperCase(path_), Filter, scanContext_);
  const int32_t limit = Filter.DeletedDateLimit;
  for (const DeletedFileRecord& r : records) {
    FindData found;
    found.Name = r.Name;
    found.Attr = static_cast<uint32_t>(r.Attributes);
    found.Size = r.Size;
    found.Time = static_cast<uint32_t>(r.Created);
    if (!Accept(found, true)) continue;
    // Only files that existed at the limit: made before it, deleted after it.
    if (limit != 0 && !(limit > r.Created && limit > r.Modified && limit < r.Deleted)) continue;
    AddDeleted(found, r.Deleted, r.Sequence);
  }
}

int32_t TTDirList::ReadRemote(const std::string& path) {
  std::vector<FindData> received;
  const auto hint = static_cast<int32_t>(static_cast<uint32_t>(RemoteHint));
  const int32_t status = remote_->ReadRemote(path, Mask, hint, received);
  for (const FindData& found : received) Append(found);
  return status < 0 ? status : 0;
}

TTDirEntry& TTDirList::Add(TTDirEntry entry) {
  signature_ = 0;
  entries_.push_back(std::make_unique<TTDirEntry>(std::move(entry)));
  return *entries_.back();
}

TTDirEntry& TTDirList::AddDeleted(const FindData& found, int32_t deletedDate, int32_t sequence) {
  TTDirEntry entry(found);
  entry.DeletedDate = deletedDate;
  entry.DeletedSequence = sequence;
  return Add(std::move(entry));
}

void TTDirList::RemoveIf(const std::function<bool(const TTDirEntry&)>& drop) {
  std::erase_if(entries_, [&](const std::unique_ptr<TTDirEntry>& e) { return drop(*e); });
  signature_ = 0;
}

bool TTDirList::NeedsArchiveBit() const {
  return (Filter.RequiredAttributes & kAttrArchive) != 0 ||
         (Filter.AllowedAttributes & kAttrArchive) == 0;
}

uint64_t TTDirList::Signature() const {
  if (signature_ == 0) {
    uint64_t sum = 0;  // wraps by design
    for (const auto& e : entries_)
      if (!e->IsNormalDirectory()) sum += e->Signature();
    signature_ = sum;
  }
  return signature_;
}

}  // namespace mv
