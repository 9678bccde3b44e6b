#include "platform/fileio.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

#include "platform/datetime.h"
#include "platform/findfile.h"
#include "platform/oserror.h"
#include "platform/paths.h"
#include "platform/uniquefd.h"

namespace mv {

namespace {

// Takes an exclusive lock on a regular file, so that a file another handle
// holds with a share mode is refused as on Windows. The lock lives as long
// as `holder`, which keeps the window until unlink/rename closed. Files we
// cannot open (no read permission) or lock (no lock support) pass.
uint32_t LockForRemoval(const std::string& path, UniqueFd& holder) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return 0;
  holder.Reset(fd);
  int rc;
  while ((rc = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
  }
  return rc != 0 && errno == EWOULDBLOCK ? ERROR_SHARING_VIOLATION : 0;
}

std::mutex g_driveMutex;
std::function<bool(char)> g_driveReady;

bool HasDriveLetter(const std::string& path, char& letter) {
  if (path.size() < 2 || path[1] != ':') return false;
  char c = path[0];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (c < 'A' || c > 'Z') return false;
  letter = c;
  return true;
}

// Runs `fn` (a setxattr/removexattr call returning 0 or -1) and retries once
// with the owner's write permission lent, since the kernel wants write access
// for user attributes and a read-only file must still get its archive bit
// cleared.
template <class Fn>
int WithOwnerWrite(const std::string& path, const struct stat& st, Fn fn) {
  if (fn() == 0) return 0;
  if (errno != EACCES || (st.st_mode & S_IWUSR) != 0) return -1;
  if (::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0) return -1;
  int rc = fn();
  int err = errno;
  ::chmod(path.c_str(), st.st_mode & 07777);
  errno = err;
  return rc;
}

}  // namespace

std::string ArchiveStamp(int64_t size, const timespec& writeTime) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "1 %lld %lld.%09ld", static_cast<long long>(size),
                static_cast<long long>(writeTime.tv_sec), static_cast<long>(writeTime.tv_nsec));
  return buf;
}

uint32_t GetFileAttributes(const std::string& path, uint32_t& attr) {
  FindData d;
  uint32_t error = GetFileInfo(path, d);
  attr = error == 0 ? d.Attr : 0;
  return error;
}

uint32_t SetFileAttributes(const std::string& path, uint32_t attr) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return WinErrorForPath(errno, path);
  if (S_ISDIR(st.st_mode)) return 0;

  if (attr & kAttrArchive) {
    int rc = WithOwnerWrite(path, st, [&] { return ::removexattr(path.c_str(), kArchiveXattr); });
    if (rc != 0 && errno != ENODATA && errno != ENOTSUP) return WinErrorFromErrno(errno);
  } else {
    std::string stamp = ArchiveStamp(st.st_size, st.st_mtim);
    int rc = WithOwnerWrite(path, st, [&] { return ::setxattr(path.c_str(), kArchiveXattr, stamp.data(), stamp.size(), 0); });
    if (rc != 0) return WinErrorFromErrno(errno);
  }

  mode_t mode = st.st_mode & 07777;
  mode_t wanted = (attr & kAttrReadOnly) ? mode & ~mode_t(0222) : mode | S_IWUSR;
  if (wanted != mode && ::chmod(path.c_str(), wanted) != 0) return WinErrorFromErrno(errno);
  return 0;
}

uint32_t SetFileAttributes(int fd, uint32_t attr) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return WinErrorFromErrno(errno);
  if (S_ISDIR(st.st_mode)) return 0;
  // The kernel wants write access for user attributes: a read-only file
  // gets the owner's write permission lent for the call.
  auto withOwnerWrite = [&](auto fn) {
    if (fn() == 0) return 0;
    if (errno != EACCES || (st.st_mode & S_IWUSR) != 0) return -1;
    if (::fchmod(fd, (st.st_mode & 07777) | S_IWUSR) != 0) return -1;
    int rc = fn();
    int err = errno;
    ::fchmod(fd, st.st_mode & 07777);
    errno = err;
    return rc;
  };
  if (attr & kAttrArchive) {
    int rc = withOwnerWrite([&] { return ::fremovexattr(fd, kArchiveXattr); });
    if (rc != 0 && errno != ENODATA && errno != ENOTSUP) return WinErrorFromErrno(errno);
  } else {
    std::string stamp = ArchiveStamp(st.st_size, st.st_mtim);
    int rc = withOwnerWrite([&] { return ::fsetxattr(fd, kArchiveXattr, stamp.data(), stamp.size(), 0); });
    if (rc != 0) return WinErrorFromErrno(errno);
  }
  mode_t mode = st.st_mode & 07777;
  mode_t wanted = (attr & kAttrReadOnly) ? mode & ~mode_t(0222) : mode | S_IWUSR;
  if (wanted != mode && ::fchmod(fd, wanted) != 0) return WinErrorFromErrno(errno);
  return 0;
}

int32_t FileDosTime(const std::string& path, uint32_t* error) {
  struct stat st;
  uint32_t err = 0;
  if (::stat(path.c_str(), &st) != 0)
    err = WinErrorForPath(errno, path);
  else if (S_ISDIR(st.st_mode))
    err = ERROR_DIRECTORY;
  if (error) *error = err;
  return err != 0 ? -1 : static_cast<int32_t>(UnixToDos(st.st_mtim));
}

uint32_t SetFileWriteTime(const std::string& path, const timespec& time) {
  timespec times[2] = {{0, UTIME_OMIT}, time};
  if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) return WinErrorForPath(errno, path);
  return 0;
}

uint32_t SetFileWriteTime(int fd, const timespec& time) {
  timespec times[2] = {{0, UTIME_OMIT}, time};
  if (::futimens(fd, times) != 0) return WinErrorFromErrno(errno);
  return 0;
}

uint32_t SetFileDosTime(const std::string& path, uint32_t dosTime) {
  return SetFileWriteTime(path, DateTimeToUnix(DosToDateTime(dosTime)));
}

uint32_t DeleteFile(const std::string& path) {
  UniqueFd lock;
  if (uint32_t error = LockForRemoval(path, lock)) return error;
  if (::unlink(path.c_str()) == 0 || errno == ENOENT || errno == ENOTDIR) return 0;
  return WinErrorFromErrno(errno);
}

uint32_t RenameFile(const std::string& from, const std::string& to, bool replace) {
  UniqueFd fromLock, toLock;
  if (uint32_t error = LockForRemoval(from, fromLock)) return error;
  if (uint32_t error = LockForRemoval(to, toLock)) return error;
  if (replace) {
    if (::rename(from.c_str(), to.c_str()) != 0) return WinErrorForPath(errno, from);
    return 0;
  }
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return WinErrorForPath(errno, from);
  // File systems without RENAME_NOREPLACE: a hard link fails atomically on
  // an existing name; folders and link-less file systems get a check first.
  if (::link(from.c_str(), to.c_str()) == 0) {
    if (::unlink(from.c_str()) == 0) return 0;
    int err = errno;
    ::unlink(to.c_str());
    return WinErrorForPath(err, from);
  }
  if (errno == EEXIST) return ERROR_FILE_EXISTS;
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0) return ERROR_FILE_EXISTS;
  if (errno != ENOENT) return WinErrorFromErrno(errno);
  if (::rename(from.c_str(), to.c_str()) != 0) return WinErrorForPath(errno, from);
  return 0;
}

uint32_t CreateDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return 0;
  return errno == EEXIST ? ERROR_ALREADY_EXISTS : WinErrorForPath(errno, ExcludeTrailingDelim(path));
}

uint32_t ForceDirectories(const std::string& path) {
  std::string dir = ExcludeTrailingDelim(path);
  if (dir.empty()) return ERROR_INVALID_NAME;
  struct stat st;
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ERROR_ALREADY_EXISTS;
  if (errno != ENOENT) return WinErrorFromErrno(errno);
  std::string parent = ExcludeTrailingDelim(ExtractFilePath(dir));
  if (!parent.empty() && parent != dir) {
    if (uint32_t error = ForceDirectories(parent)) return error == ERROR_ALREADY_EXISTS ? ERROR_PATH_NOT_FOUND : error;
  }
  if (::mkdir(dir.c_str(), 0777) == 0) return 0;
  // Someone else may have created it meanwhile.
  if (errno == EEXIST && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return 0;
  return errno == EEXIST ? ERROR_ALREADY_EXISTS : WinErrorFromErrno(errno);
}

uint32_t RemoveDirectory(const std::string& path) {
  if (::rmdir(path.c_str()) == 0) return 0;
  if (errno == ENOTEMPTY || errno == EEXIST) return ERROR_DIR_NOT_EMPTY;
  return WinErrorForPath(errno, ExcludeTrailingDelim(path));
}

Exists PathExists(const std::string& path, bool* isDir) {
  if (isDir) *isDir = false;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    if (isDir) *isDir = S_ISDIR(st.st_mode);
    return Exists::Yes;
  }
  return errno == ENOENT || errno == ENOTDIR ? Exists::No : Exists::Unknown;
}

bool DirAccessible(const std::string& dir) {
  if (!DriveReady(dir)) return false;
  std::string path = dir.empty() ? "." : dir;
  for (int attempt = 0; attempt < 5; ++attempt) {
    // Opening a folder for reading is what listing it needs.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() >= 0) return true;
    if (!IsNetworkError(WinErrorFromErrno(errno))) return false;
  }
  return false;
}

bool DriveReady(const std::string& path) {
  char letter;
  if (!HasDriveLetter(path, letter)) return true;
  std::lock_guard<std::mutex> lock(g_driveMutex);
  return !g_driveReady || g_driveReady(letter);
}

void DriveReadyForTesting(std::function<bool(char)> ready) {
  std::lock_guard<std::mutex> lock(g_driveMutex);
  g_driveReady = std::move(ready);
}

}  // namespace mv
