#include "engine/targettree.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <vector>

#include "platform/fileio.h"
#include "platform/oserror.h"
#include "platform/paths.h"

namespace mv {

namespace {

// 1: try openat2; 0: the kernel has none (or a test switched it off).
std::atomic<int> g_openat2{1};

uint32_t ErrorOf(int err) { return err == ENOENT ? ERROR_PATH_NOT_FOUND : WinErrorFromErrno(err); }

bool IsLinkAt(int dirFd, const std::string& name) {
  struct stat st;
  return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

// The folder names of rel; false for a ".." (a walk never climbs).
bool Components(const std::string& rel, std::vector<std::string>& out) {
  size_t start = 0;
  while (start <= rel.size()) {
    size_t end = rel.find(PathDelim, start);
    if (end == std::string::npos) end = rel.size();
    std::string part = rel.substr(start, end - start);
    if (part == "..") return false;
    if (!part.empty() && part != ".") out.push_back(std::move(part));
    start = end + 1;
  }
  return true;
}

// Opens the folder rel below dirFd ("" for dirFd itself) as an O_PATH
// descriptor without following any link. -1 with errno (ELOOP for a link).
int OpenFolderBeneath(int dirFd, const std::string& rel) {
  std::vector<std::string> parts;
  if (!Components(rel, parts)) {
    errno = EXDEV;
    return -1;
  }
  constexpr int kFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  if (parts.empty()) return ::openat(dirFd, ".", kFlags);
  if (g_openat2.load() == 1) {
    open_how how{};
    how.flags = kFlags;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    long fd;
    while ((fd = ::syscall(SYS_openat2, dirFd, rel.c_str(), &how, sizeof how)) < 0 && errno == EINTR) {
    }
    // Without openat2 (old kernel, or a sandbox that refuses it) the walk
    // below does the same in steps.
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM && errno != E2BIG && errno != EINVAL))
      return static_cast<int>(fd);
    if (errno == ENOSYS) g_openat2 = 0;
  }
  UniqueFd cur(::openat(dirFd, ".", kFlags));
  for (const std::string& part : parts) {
    if (cur.Get() < 0) return -1;
    int next = ::openat(cur.Get(), part.c_str(), kFlags | O_NOFOLLOW);
    if (next < 0) {
      if (errno == ENOTDIR && IsLinkAt(cur.Get(), part)) errno = ELOOP;
      return -1;
    }
    cur.Reset(next);
  }
  return cur.Release();
}

// rel of path below root, or false when path lies elsewhere.
bool Below(const std::string& root, const std::string& path, std::string& rel) {
  if (root.empty()) return false;
  const std::string bare = ExcludeTrailingDelim(path);
  if (bare == ExcludeTrailingDelim(root)) {
    rel.clear();
    return true;
  }
  if (path.compare(0, root.size(), root) != 0) return false;
  rel = ExcludeTrailingDelim(path.substr(root.size()));
  return true;
}

}  // namespace

void UseOpenat2ForTesting(bool use) { g_openat2 = use ? 1 : 0; }

void TargetTree::Reset(std::string root) {
  root_ = std::move(root);
  rootFd_.Reset();
  folder_.clear();
  folderFd_.Reset();
}

uint32_t TargetTree::OpenRoot(const std::string& root, UniqueFd& out) const {
  out.Reset(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  return out.Get() >= 0 ? 0 : ErrorOf(errno);
}

uint32_t TargetTree::Folder(const std::string& dir, int& fd) const {
  const std::string key = IncludeTrailingDelim(dir);
  if (folderFd_.Get() >= 0 && key == folder_) {
    fd = folderFd_.Get();
    return 0;
  }
  folder_.clear();
  folderFd_.Reset();
  std::string rel;
  uint32_t error = 0;
  if (!Below(root_, key, rel)) {
    // Outside the tree (no root given): the folder as named, only the final
    // names below it are guarded.
    error = OpenRoot(key.empty() ? "." : key, folderFd_);
  } else if (rootFd_.Get() < 0 && (error = OpenRoot(root_, rootFd_)) != 0) {
  } else {
    folderFd_.Reset(OpenFolderBeneath(rootFd_.Get(), rel));
    if (folderFd_.Get() < 0) error = ErrorOf(errno);
  }
  if (error != 0) return error;
  folder_ = key;
  fd = folderFd_.Get();
  return 0;
}

uint32_t TargetTree::Parent(const std::string& path, int& dir, std::string& name) const {
  // A name in the folder resolved last, as most calls of a copy are.
  if (folderFd_.Get() >= 0 && path.size() > folder_.size() && path.compare(0, folder_.size(), folder_) == 0 &&
      path.find(PathDelim, folder_.size()) == std::string::npos) {
    name.assign(path, folder_.size());
    if (IsSelfOrParent(name)) return ERROR_INVALID_NAME;
    dir = folderFd_.Get();
    return 0;
  }
  const std::string bare = ExcludeTrailingDelim(path);
  name = ExtractFileName(bare);
  if (name.empty() || IsSelfOrParent(name)) return ERROR_INVALID_NAME;
  return Folder(ExtractFilePath(bare), dir);
}

uint32_t TargetTree::DirState(const std::string& dir) const {
  int fd = -1;
  return Folder(dir, fd);
}

uint32_t TargetTree::MakeDirs(const std::string& dir) const {
  std::string rel;
  if (!Below(root_, dir, rel)) return ForceDirectories(dir);
  if (rootFd_.Get() < 0 && OpenRoot(root_, rootFd_) != 0) {
    // The job's folder itself is created as the user named it.
    if (uint32_t error = ForceDirectories(root_)) return error;
    if (uint32_t error = OpenRoot(root_, rootFd_)) return error;
  }
  std::vector<std::string> parts;
  if (!Components(rel, parts)) return ERROR_INVALID_NAME;
  UniqueFd cur(::dup(rootFd_.Get()));
  for (const std::string& part : parts) {
    if (cur.Get() < 0) return WinErrorFromErrno(errno);
    constexpr int kFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int next = ::openat(cur.Get(), part.c_str(), kFlags);
    if (next < 0 && errno == ENOENT) {
      if (::mkdirat(cur.Get(), part.c_str(), 0777) != 0 && errno != EEXIST) return WinErrorFromErrno(errno);
      next = ::openat(cur.Get(), part.c_str(), kFlags);
    }
    if (next < 0) {
      if (errno == ENOTDIR) return IsLinkAt(cur.Get(), part) ? ERROR_CANT_RESOLVE_FILENAME : ERROR_ALREADY_EXISTS;
      return WinErrorFromErrno(errno);
    }
    cur.Reset(next);
  }
  return 0;
}

uint32_t TargetTree::RemoveDir(const std::string& dir) const {
  int parent = -1;
  std::string name;
  if (uint32_t error = Parent(dir, parent, name)) return error;
  // The folder resolved last may be this one (or below it): gone with it.
  if (folder_.starts_with(IncludeTrailingDelim(dir))) {
    folder_.clear();
    folderFd_.Reset();
  }
  if (::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0) return 0;
  if (errno == ENOTEMPTY || errno == EEXIST) return ERROR_DIR_NOT_EMPTY;
  return ErrorOf(errno);
}

uint32_t TargetTree::Stat(const std::string& path, struct stat& st) const {
  int parent = -1;
  std::string name;
  if (uint32_t error = Parent(path, parent, name)) return error;
  if (::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return 0;
  return errno == ENOENT ? ERROR_FILE_NOT_FOUND : WinErrorFromErrno(errno);
}

uint32_t TargetTree::Open(const std::string& path, FileAccess access, FileCreate create, FileShare share,
                          FileHandle& file) const {
  int parent = -1;
  std::string name;
  if (uint32_t error = Parent(path, parent, name)) return error;
  return file.OpenAt(parent, name, access, create, share);
}

uint32_t TargetTree::Delete(const std::string& path) const {
  int parent = -1;
  std::string name;
  if (uint32_t error = Parent(path, parent, name)) return error == ERROR_PATH_NOT_FOUND ? 0 : error;
  // A file another handle holds is not ours to delete (as on Windows).
  struct stat st;
  UniqueFd held;
  if (::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
    held.Reset(::openat(parent, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    int rc = -1;
    while (held.Get() >= 0 && (rc = ::flock(held.Get(), LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (held.Get() >= 0 && rc != 0 && errno == EWOULDBLOCK) return ERROR_SHARING_VIOLATION;
  }
  if (::unlinkat(parent, name.c_str(), 0) == 0 || errno == ENOENT) return 0;
  return WinErrorFromErrno(errno);
}

uint32_t TargetTree::DeleteHeld(const std::string& path) const {
  int parent = -1;
  std::string name;
  if (uint32_t error = Parent(path, parent, name)) return error == ERROR_PATH_NOT_FOUND ? 0 : error;
  if (::unlinkat(parent, name.c_str(), 0) == 0 || errno == ENOENT) return 0;
  return WinErrorFromErrno(errno);
}

uint32_t TargetTree::RenameHeld(const std::string& from, const std::string& to) const {
  int fromDir = -1;
  std::string fromName, toName;
  if (uint32_t error = Parent(from, fromDir, fromName)) return error;
  // A work copy beside its target: one cached folder serves both names.
  // Otherwise the second look-up may replace it: keep our own handle.
  UniqueFd fromHeld;
  if (ExtractFilePath(ExcludeTrailingDelim(from)) != ExtractFilePath(ExcludeTrailingDelim(to))) {
    fromHeld.Reset(::dup(fromDir));
    if (fromHeld.Get() < 0) return WinErrorFromErrno(errno);
    fromDir = fromHeld.Get();
  }
  int toDir = -1;
  if (uint32_t error = Parent(to, toDir, toName)) return error;
  if (::renameat(fromDir, fromName.c_str(), toDir, toName.c_str()) == 0) return 0;
  return ErrorOf(errno);
}

uint32_t TargetTree::OpenFolder(const std::string& dir, UniqueFd& out) const {
  int fd = -1;
  if (uint32_t error = Folder(dir, fd)) return error;
  const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (own < 0) return WinErrorFromErrno(errno);
  out.Reset(own);
  return 0;
}

uint32_t TargetTree::OpenUnnamed(const std::string& dir, FileHandle& file, mode_t mode) const {
  int fd = -1;
  if (uint32_t error = Folder(dir, fd)) return error;
  return file.OpenUnnamedAt(fd, mode);
}

uint32_t TargetTree::LinkHeld(int fd, const std::string& path) const {
  int dir = -1;
  std::string name;
  if (uint32_t error = Parent(path, dir, name)) return error;
  if (::linkat(fd, "", dir, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
  // Kernels before 6.10 let only privileged processes name a descriptor
  // directly (ENOENT); its /proc name works for everyone.
  if (errno != ENOENT) return WinErrorFromErrno(errno);
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, self.c_str(), dir, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
  if (errno == ENOENT) return ERROR_NOT_SUPPORTED;
  return WinErrorFromErrno(errno);
}

uint32_t TargetTree::SetAttributes(const std::string& path, uint32_t attr) const {
  int parent = -1;
  std::string name;
  if (uint32_t error = Parent(path, parent, name)) return error;
  UniqueFd fd(::openat(parent, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.Get() < 0) return ErrorOf(errno);
  return SetFileAttributes(fd.Get(), attr);
}

uint32_t TargetTree::RemoveUnlisted(const std::string& dir) const {
  int folder = -1;
  if (uint32_t error = Folder(dir, folder)) return error;
  const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return WinErrorFromErrno(errno);
  DIR* d = ::fdopendir(fd);
  if (d == nullptr) {
    ::close(fd);
    return WinErrorFromErrno(errno);
  }
  std::vector<std::string> names;
  while (dirent* e = ::readdir(d)) {
    struct stat st;
    if (IsSelfOrParent(e->d_name) || ::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(st.st_mode) || S_ISREG(st.st_mode)) continue;
    // A link to a file is listed (as that file) and goes its own way.
    struct stat target;
    if (S_ISLNK(st.st_mode) && ::fstatat(fd, e->d_name, &target, 0) == 0 && S_ISREG(target.st_mode)) continue;
    names.push_back(e->d_name);
  }
  uint32_t result = 0;
  for (const std::string& name : names)
    if (::unlinkat(fd, name.c_str(), 0) != 0 && errno != ENOENT) result = WinErrorFromErrno(errno);
  ::closedir(d);
  return result;
}

}  // namespace mv
