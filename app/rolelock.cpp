#include "app/rolelock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mv {

bool RoleLock::Acquire(const std::string& controlDir, const std::string& name) {
  Release();
  const std::string path = controlDir + name;
  // The holder deletes the file when it ends; a file we locked just after that
  // is no longer the lock, so check that the name still leads to our file.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      return false;
    }
    struct stat held {}, named {};
    if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      if (::ftruncate(fd, 0) != 0) {
        // The lock file never has content; a failed truncate changes nothing.
      }
      fd_ = fd;
      name_ = name;
      path_ = path;
      return true;
    }
    ::close(fd);
  }
  return false;
}

void RoleLock::Release() {
  if (fd_ < 0) return;
  // Unlink while still locked, so no other instance can lock the old file.
  ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
}

bool RoleLockHeld(const std::string& controlDir, const std::string& name) {
  const std::string path = controlDir + name;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0;
  ::close(fd);
  return held;
}

}  // namespace mv
