#include "platform/findfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/datetime.h"
#include "platform/fileio.h"
#include "platform/oserror.h"
#include "platform/paths.h"
#include "platform/textcase.h"
#include "platform/uniquefd.h"

namespace mv {

namespace {

bool IsHiddenName(std::string_view name) { return !name.empty() && name[0] == '.' && !IsSelfOrParent(name); }

bool ArchiveCleared(const std::string& path, const struct stat& st) {
  char buf[128];
  ssize_t n = ::getxattr(path.c_str(), kArchiveXattr, buf, sizeof buf);
  return n > 0 && std::string_view(buf, static_cast<size_t>(n)) == ArchiveStamp(st.st_size, st.st_mtim);
}

// `path` is where the archive stamp is read from (links followed); without
// readArchive the bit is reported set, as on a file system without stamps.
FindData FromStat(const struct stat& st, std::string name, const std::string& path,
                  bool readArchive = true, LocalDosClock* clock = nullptr) {
  FindData d;
  if (S_ISDIR(st.st_mode)) {
    d.Attr = kAttrDirectory;
  } else {
    if ((st.st_mode & S_IWUSR) == 0) d.Attr |= kAttrReadOnly;
    if (!readArchive || !ArchiveCleared(path, st)) d.Attr |= kAttrArchive;
    d.Size = st.st_size;
  }
  if (IsHiddenName(name)) d.Attr |= kAttrHidden;
  d.Time = clock != nullptr ? clock->ToDos(st.st_mtim) : UnixToDos(st.st_mtim);
  d.CreationTime = st.st_ctim;
  d.AccessTime = st.st_atim;
  d.WriteTime = st.st_mtim;
  d.Name = std::move(name);
  return d;
}

// Splits UTF-8 text into characters, so that "?" stands for one letter
// whatever its length in bytes.
std::vector<std::string_view> Characters(std::string_view s) {
  std::vector<std::string_view> out;
  for (size_t i = 0; i < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    size_t len = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    size_t n = 1;
    while (n < len && i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80) ++n;
    out.push_back(s.substr(i, n));
    i += n;
  }
  return out;
}

}  // namespace

bool IsWholeFolderMask(std::string_view mask) { return mask == "*" || mask == "*.*"; }

bool MatchFindMask(std::string_view name, std::string_view mask) {
  if (IsWholeFolderMask(mask)) return true;
  std::string upperName = UpperCase(name), upperMask = UpperCase(mask);
  std::vector<std::string_view> n = Characters(upperName), m = Characters(upperMask);
  size_t ni = 0, mi = 0, starMask = std::string_view::npos, starName = 0;
  while (ni < n.size()) {
    if (mi < m.size() && m[mi] == "*") {
      starMask = mi++;
      starName = ni;
    } else if (mi < m.size() && (m[mi] == "?" || m[mi] == n[ni])) {
      ++mi;
      ++ni;
    } else if (starMask != std::string_view::npos) {
      mi = starMask + 1;
      ni = ++starName;
    } else {
      return false;
    }
  }
  while (mi < m.size() && m[mi] == "*") ++mi;
  return mi == m.size();
}

void FindHandle::Close() {
  entries_.clear();
  next_ = 0;
  open_ = false;
}

uint32_t GetFileInfo(const std::string& path, FindData& out) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return WinErrorForPath(errno, path);
  out = FromStat(st, ExtractFileName(ExcludeTrailingDelim(path)), path);
  return 0;
}

uint32_t FindFirst(const std::string& pattern, uint32_t attrMask, FindData& out, FindHandle& h) {
  h.Close();
  if (!DriveReady(pattern)) return ERROR_NOT_READY;
  size_t slash = pattern.rfind(PathDelim);
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : pattern.substr(0, slash);
  std::string mask = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  if (mask.empty()) return ERROR_FILE_NOT_FOUND;

  UniqueFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dirFd.Valid()) return errno == ENOENT ? ERROR_PATH_NOT_FOUND : WinErrorFromErrno(errno);

  const std::string prefix = IncludeTrailingDelim(dir);
  const bool wantDirs = (attrMask & kAttrDirectory) != 0;
  const bool wantHidden = (attrMask & kAttrHidden) != 0;
  const bool readArchive = (attrMask & kFindSkipArchive) == 0;
  struct Found {
    std::string Upper;
    int Rank;  // "." first, ".." second, then by name
    FindData Data;
  };
  std::vector<Found> found;
  found.reserve(64);
  LocalDosClock clock;
  // The raw call: a directory stream would cost three more calls per folder.
  constexpr size_t kBufferBytes = 32 << 10;
  const std::unique_ptr<char[]> buffer(new char[kBufferBytes]);
  for (;;) {
    const ssize_t got = ::getdents64(dirFd.Get(), buffer.get(), kBufferBytes);
    if (got < 0) return WinErrorFromErrno(errno);
    if (got == 0) break;
    for (ssize_t at = 0; at < got;) {
      const auto* e = reinterpret_cast<const dirent64*>(buffer.get() + at);
      at += e->d_reclen;
      std::string name = e->d_name;
      if (!MatchFindMask(name, mask)) continue;
      if (IsHiddenName(name) && !wantHidden) continue;
      struct stat st;
      if (::fstatat(dirFd.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) continue;  // removed while we were listing
        return WinErrorFromErrno(errno);
      }
      if (S_ISLNK(st.st_mode) && (::fstatat(dirFd.Get(), name.c_str(), &st, 0) != 0 || !S_ISREG(st.st_mode)))
        continue;
      if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) continue;
      if (S_ISDIR(st.st_mode) && !wantDirs) continue;
      const int rank = name == "." ? 0 : name == ".." ? 1 : 2;
      std::string upper = UpperCase(name);
      // The whole path only where the archive stamp is read: one copy less per entry.
      std::string path = readArchive && !S_ISDIR(st.st_mode) ? prefix + name : std::string();
      found.push_back({std::move(upper), rank, FromStat(st, std::move(name), path, readArchive, &clock)});
    }
  }

  // Sorted by index: moving the entries themselves costs more than comparing
  // them in folders of many thousand names.
  std::vector<uint32_t> order(found.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](uint32_t ia, uint32_t ib) {
    const Found& a = found[ia];
    const Found& b = found[ib];
    if (a.Rank != b.Rank) return a.Rank < b.Rank;
    if (const int c = a.Upper.compare(b.Upper); c != 0) return c < 0;
    return a.Data.Name < b.Data.Name;
  });
  if (found.empty()) return ERROR_NO_MORE_FILES;
  h.entries_.reserve(found.size());
  for (uint32_t i : order) h.entries_.push_back(std::move(found[i].Data));
  h.open_ = true;
  return FindNext(h, out);
}

uint32_t FindNext(FindHandle& h, FindData& out) {
  if (!h.open_) return ERROR_INVALID_HANDLE;
  if (h.next_ >= h.entries_.size()) return ERROR_NO_MORE_FILES;
  out = std::move(h.entries_[h.next_++]);
  return 0;
}

}  // namespace mv
