#include "app/rolelock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace mv {

bool RoleLock::Acquire(const std::string& controlDir, const std::string& name) {
  Release();
  const std::string path = controlDir + name;
  // The holder deletes the file when it ends; a file we locked just after that
  // is no longer the lock, so check that the name still leads to our file.
  for (int attempt = 0; attempt < 3; ++attempt) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!fd.Valid() || ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) return false;
    struct stat held {}, named {};
    if (::fstat(fd.Get(), &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      if (::ftruncate(fd.Get(), 0) != 0) {
        // The lock file never has content; a failed truncate changes nothing.
      }
      fd_ = std::move(fd);
      name_ = name;
      path_ = path;
      return true;
    }
  }
  return false;
}

void RoleLock::Release() {
  if (!fd_.Valid()) return;
  // Unlink while still locked, so no other instance can lock the old file.
  ::unlink(path_.c_str());
  fd_.Reset();
}

bool RoleLockHeld(const std::string& controlDir, const std::string& name) {
  const std::string path = controlDir + name;
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  return fd.Valid() && ::flock(fd.Get(), LOCK_SH | LOCK_NB) != 0;
}

}  // namespace mv
