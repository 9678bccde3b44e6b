#include "platform/filehandle.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/fileio.h"
#include "platform/oserror.h"

namespace mv {

uint32_t FileHandle::Open(const std::string& path, FileAccess access, FileCreate create, FileShare share) {
  return OpenIn(AT_FDCWD, path, false, access, create, share);
}

uint32_t FileHandle::OpenAt(int dirFd, const std::string& name, FileAccess access, FileCreate create,
                            FileShare share) {
  return OpenIn(dirFd, name, true, access, create, share);
}

uint32_t FileHandle::OpenFollowingAt(int dirFd, const std::string& name, FileAccess access, FileCreate create,
                                     FileShare share) {
  return OpenIn(dirFd, name, false, access, create, share);
}

uint32_t FileHandle::OpenUnnamedAt(int dirFd, mode_t mode) {
  Close();
  opened_ = {};
  int fd;
  while ((fd = ::openat(dirFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode)) < 0 && errno == EINTR) {
  }
  if (fd < 0) {
    // EISDIR: a kernel that takes O_TMPFILE for a plain O_DIRECTORY open.
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return ERROR_NOT_SUPPORTED;
    return WinErrorFromErrno(errno);
  }
  fd_.Reset(fd);
  opened_.st_mode = S_IFREG;
  return 0;
}

uint32_t FileHandle::OpenIn(int dirFd, const std::string& path, bool noFollow, FileAccess access,
                            FileCreate create, FileShare share) {
  Close();
  opened_ = {};
  const bool truncate = create == FileCreate::CreateAlways;
  if (truncate && access == FileAccess::Read) return ERROR_INVALID_PARAMETER;

  // Non-blocking, so that a FIFO cannot hang the open; a file the open
  // creates is a new regular file and needs neither that nor a look at it.
  const bool createsNew = create == FileCreate::CreateNew;
  int flags = O_CLOEXEC | O_NOCTTY | (createsNew ? 0 : O_NONBLOCK);
  flags |= access == FileAccess::Read ? O_RDONLY : access == FileAccess::Write ? O_WRONLY : O_RDWR;
  switch (create) {
    case FileCreate::CreateNew: flags |= O_CREAT | O_EXCL; break;
    case FileCreate::OpenExisting: break;
    case FileCreate::CreateAlways:
    case FileCreate::OpenAlways: flags |= O_CREAT; break;
  }
  if (noFollow) flags |= O_NOFOLLOW;
  int fd;
  while ((fd = ::openat(dirFd, path.c_str(), flags, 0666)) < 0 && errno == EINTR) {
  }
  if (fd < 0) return WinErrorForPath(errno, path);
  UniqueFd guard(fd);

  struct stat st {};
  if (createsNew) {
    st.st_mode = S_IFREG;
  } else {
    if (::fstat(fd, &st) != 0) return WinErrorFromErrno(errno);
    if (!S_ISREG(st.st_mode)) return ERROR_ACCESS_DENIED;
    // The open asked for no other status flag, so clearing all of them clears
    // only O_NONBLOCK (one call instead of a read and a write of the flags).
    if (::fcntl(fd, F_SETFL, 0) != 0) return WinErrorFromErrno(errno);
  }

  if (share != FileShare::DenyNone) {
    int op = (share == FileShare::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    int rc;
    while ((rc = ::flock(fd, op)) != 0 && errno == EINTR) {
    }
    // A file system without lock support still gets its files copied.
    if (rc != 0 && errno != ENOLCK && errno != ENOTSUP && errno != EINVAL && errno != EBADF)
      return WinErrorFromErrno(errno);
  }
  if (truncate && st.st_size != 0 && ::ftruncate(fd, 0) != 0) return WinErrorFromErrno(errno);
  fd_ = std::move(guard);
  opened_ = st;
  return 0;
}

uint32_t FileHandle::Read(void* buffer, size_t size, size_t& done) {
  done = 0;
  if (!fd_.Valid()) return ERROR_INVALID_HANDLE;
  char* p = static_cast<char*>(buffer);
  while (done < size) {
    ssize_t n = ::read(fd_.Get(), p + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return WinErrorFromErrno(errno);
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return 0;
}

uint32_t FileHandle::Write(const void* data, size_t size, size_t* written) {
  size_t done = 0;
  uint32_t error = 0;
  if (!fd_.Valid()) {
    error = ERROR_INVALID_HANDLE;
  } else {
    const char* p = static_cast<const char*>(data);
    while (done < size) {
      ssize_t n = ::write(fd_.Get(), p + done, size - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        error = WinErrorFromErrno(errno);
        break;
      }
      if (n == 0) {
        error = ERROR_DISK_FULL;
        break;
      }
      done += static_cast<size_t>(n);
    }
  }
  if (written) *written = done;
  return error;
}

uint32_t FileHandle::Seek(int64_t offset, SeekFrom from, int64_t* position) {
  if (!fd_.Valid()) return ERROR_INVALID_HANDLE;
  int whence = from == SeekFrom::Begin ? SEEK_SET : from == SeekFrom::Current ? SEEK_CUR : SEEK_END;
  off_t pos = ::lseek(fd_.Get(), static_cast<off_t>(offset), whence);
  if (pos < 0) return errno == EINVAL ? ERROR_NEGATIVE_SEEK : WinErrorFromErrno(errno);
  if (position) *position = pos;
  return 0;
}

uint32_t FileHandle::Size(int64_t& size) const {
  size = 0;
  if (!fd_.Valid()) return ERROR_INVALID_HANDLE;
  struct stat st;
  if (::fstat(fd_.Get(), &st) != 0) return WinErrorFromErrno(errno);
  size = st.st_size;
  return 0;
}

uint32_t FileHandle::Truncate(int64_t size) {
  if (!fd_.Valid()) return ERROR_INVALID_HANDLE;
  if (size < 0) return ERROR_INVALID_PARAMETER;
  int rc;
  while ((rc = ::ftruncate(fd_.Get(), static_cast<off_t>(size))) != 0 && errno == EINTR) {
  }
  return rc == 0 ? 0 : WinErrorFromErrno(errno);
}

uint32_t FileHandle::Sync() {
  if (!fd_.Valid()) return ERROR_INVALID_HANDLE;
  return ::fsync(fd_.Get()) == 0 ? 0 : WinErrorFromErrno(errno);
}

uint32_t FileHandle::SetWriteTime(const timespec& time) {
  if (!fd_.Valid()) return ERROR_INVALID_HANDLE;
  return SetFileWriteTime(fd_.Get(), time);
}

uint32_t FileHandle::Close() {
  const int error = fd_.Close();
  return error == 0 ? 0 : WinErrorFromErrno(error);
}

}  // namespace mv
