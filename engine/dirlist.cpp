#include "engine/dirlist.h"

#include <algorithm>
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

// Eight tables, so that eight bytes at a time pass (every entry of every
// listing is signed): table k holds the CRC of a byte followed by k zeros.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcTables MakeCrcTables() {
  CrcTables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    t[0][i] = c;
  }
  for (size_t k = 1; k < t.size(); ++k)
    for (uint32_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  return t;
}

constexpr CrcTables kCrcTables = MakeCrcTables();

uint32_t Le32(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// A name as the log may show it: control bytes in brackets, and not endless.
std::string ShownName(std::string_view name) {
  std::string out;
  for (unsigned char c : name.substr(0, 80)) {
    if (c < 0x20 || c == 0x7F) {
      char buf[5];
      std::snprintf(buf, sizeof buf, "[%02X]", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return name.size() > 80 ? out + "..." : out;
}

}  // namespace

const char* PeerNameProblem(std::string_view name, bool directory) {
  if (name.empty()) return "an empty name";
  if (name == ".") return "the name \".\"";
  if (name == ".." && !directory) return "the name \"..\" for a file";
  if (name.find(PathDelim) != std::string_view::npos) return "a name with \"/\"";
  if (name.find('\0') != std::string_view::npos) return "a name with a NUL byte";
  if (name.size() > 255) return "a name longer than 255 bytes";
  return nullptr;
}

namespace {

// The odd start value and the 64-bit register are part of the stored
// signatures' meaning: remote instances compare them across the wire.
constexpr uint64_t kCrcStart = 0x000000000FFFFFFFull;

// The register's high half stays zero until the final complement.
uint64_t CrcOver(uint64_t reg, std::string_view text) {
  const auto& t = kCrcTables;
  uint32_t crc = static_cast<uint32_t>(reg);
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t n = text.size();
  for (; n >= 8; p += 8, n -= 8) {
    const uint32_t one = Le32(p) ^ crc, two = Le32(p + 4);
    crc = t[7][one & 0xFF] ^ t[6][(one >> 8) & 0xFF] ^ t[5][(one >> 16) & 0xFF] ^ t[4][one >> 24] ^
          t[3][two & 0xFF] ^ t[2][(two >> 8) & 0xFF] ^ t[1][(two >> 16) & 0xFF] ^ t[0][two >> 24];
  }
  for (; n > 0; ++p, --n) crc = t[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
  return crc;
}

}  // namespace

uint64_t DirSignatureCrc(std::string_view text) { return ~CrcOver(kCrcStart, text); }

// --- TTDirEntry -------------------------------------------------------------

TTDirEntry::TTDirEntry(const FindData& found)
    : Time(static_cast<int32_t>(found.Time)),
      Size(static_cast<int32_t>(static_cast<uint32_t>(found.Size))),
      Attr(static_cast<int32_t>(found.Attr)),
      Name(found.Name),
      Found(found) {}

TTDirEntry::TTDirEntry(FindData&& found)
    : Time(static_cast<int32_t>(found.Time)),
      Size(static_cast<int32_t>(static_cast<uint32_t>(found.Size))),
      Attr(static_cast<int32_t>(found.Attr)),
      Name(found.Name),
      Found(std::move(found)) {}

// --- Budget -----------------------------------------------------------------

bool ListingBudget::Take(int64_t bytes) {
  int64_t used = used_.load();
  do {
    if (used + bytes > limit_) return false;
  } while (!used_.compare_exchange_weak(used, used + bytes));
  return true;
}

bool BudgetShare::Grow(const std::shared_ptr<ListingBudget>& budget, int64_t bytes) {
  if (!budget) return true;
  if (budget_ != budget) {
    Release();
    budget_ = budget;
  }
  if (!budget_->Take(bytes)) return false;
  bytes_ += bytes;
  return true;
}

void BudgetShare::Shrink(int64_t bytes) {
  bytes = std::min(bytes, bytes_);
  if (budget_ && bytes > 0) budget_->Give(bytes);
  bytes_ -= bytes;
}

int64_t EntryCost(std::string_view name) {
  // The entry, its slot and allocation, and the name twice (Name and
  // Found.Name) where it does not fit into the string itself.
  const int64_t heap = name.size() > 15 ? static_cast<int64_t>(name.size()) + 1 + 16 : 0;
  return static_cast<int64_t>(sizeof(TTDirEntry)) + 8 + 16 + 2 * heap;
}

int64_t TTDirEntry::Size64() const {
  // The scan reports sizes as unsigned 32-bit values; sign-extending them
  // would turn files of 2 to 4 GiB into negative byte counts.
  if (IsDeleted()) return static_cast<uint32_t>(Size);
  return Found.Size;
}

uint64_t TTDirEntry::Signature() const {
  if (IsDirectory()) return 0;
  if (signature_ == 0) {
    // Time and Size as 8 upper-case hex digits each, then the name as it is
    // (on Linux "Report.TXT" and "report.txt" are two files); every entry of
    // every listing passes here, so without formatting or a joined copy.
    constexpr char kDigits[] = "0123456789ABCDEF";
    char hex[16];
    const uint32_t parts[2] = {static_cast<uint32_t>(Time), static_cast<uint32_t>(Size)};
    for (int i = 0; i < 16; ++i) hex[i] = kDigits[(parts[i / 8] >> (28 - 4 * (i % 8))) & 0xF];
    signature_ = ~CrcOver(CrcOver(kCrcStart, std::string_view(hex, sizeof hex)), Name);
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
  share_.Release();
  dirCount_ = fileCount_ = 0;
  signature_ = 0;
}

int32_t TTDirList::Read(const std::string& path) {
  Clear();
  SetPath(path);
  problem_ = ListingProblem::None;
  problemText_.clear();
  // An empty mask selects nothing (an action made from the other pane's
  // selection has one); it is no error either.
  if (Mask.empty()) {
    lastError_ = 0;
    return lastResult_ = 0;
  }
  lastResult_ = RemoteActive() ? ReadRemote(path) : ReadLocal();
  return lastResult_;
}

void TTDirList::Append(FindData&& found) {
  entries_.push_back(std::make_unique<TTDirEntry>(std::move(found)));
  if (entries_.back()->IsDirectory())
    ++dirCount_;
  else
    ++fileCount_;
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
      Append(std::move(found));
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
  const auto hint = static_cast<int32_t>(static_cast<uint32_t>(RemoteHint));
  const std::shared_ptr<ListingBudget> budget = remote_->Budget();
  // Every name is checked before any of them can become part of a path: a
  // listing with one bad name is refused as a whole, as a broken folder.
  const int32_t status = remote_->ReadRemoteEach(path, Mask, hint, [&](FindData&& found) {
    if (problem_ != ListingProblem::None) return;  // the rest only drains the reply
    if (const char* why = PeerNameProblem(found.Name, (found.Attr & kAttrDirectory) != 0)) {
      problem_ = ListingProblem::BadName;
      problemText_ = "Remote listing of " + path_ + " refused: the remote instance sent " + why + " (\"" +
                     ShownName(found.Name) + "\")";
      return;
    }
    if (!share_.Grow(budget, EntryCost(found.Name))) {
      problem_ = ListingProblem::OverBudget;
      problemText_ = "Remote listings of this run would hold more than " + std::to_string(budget->Limit() >> 20) +
                     " MiB of memory at " + path_;
      return;
    }
    Append(std::move(found));
  });
  if (problem_ != ListingProblem::None) {
    Clear();
    return problem_ == ListingProblem::BadName ? kDirListBadName : kDirListOverBudget;
  }
  if (status < 0) {
    Clear();  // half a listing must not pass for a short one
    problem_ = ListingProblem::Failed;
    problemText_ = "Remote listing of " + path_ + " failed: " +
                   (status == kDirListNotConnected ? std::string("no connection to the remote instance")
                                                   : "error " + std::to_string(-status) + " on the remote instance");
  }
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
  int64_t freed = 0;
  std::erase_if(entries_, [&](const std::unique_ptr<TTDirEntry>& e) {
    if (!drop(*e)) return false;
    freed += EntryCost(e->Name);
    return true;
  });
  entries_.shrink_to_fit();
  share_.Shrink(freed);
  signature_ = 0;
}

void TTDirList::DropFilesBefore(int32_t& index) {
  const auto end = entries_.begin() + std::clamp<int32_t>(index, 0, Count());
  int64_t freed = 0;
  const auto kept = std::remove_if(entries_.begin(), end, [&](const std::unique_ptr<TTDirEntry>& e) {
    if (e->IsNormalDirectory()) return false;
    freed += EntryCost(e->Name);
    return true;
  });
  if (kept == end) return;
  index -= static_cast<int32_t>(end - kept);
  entries_.erase(kept, end);
  entries_.shrink_to_fit();
  share_.Shrink(freed);
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
