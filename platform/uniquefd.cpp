#include "platform/uniquefd.h"

#include <unistd.h>

#include <cerrno>

namespace mv {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) Reset(other.Release());
  return *this;
}

void UniqueFd::Reset(int fd) noexcept {
  Close();
  fd_ = fd;
}

int UniqueFd::Release() noexcept {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

int UniqueFd::Close() noexcept {
  if (fd_ < 0) return 0;
  // Linux frees the descriptor even when close() fails (also on EINTR), so
  // it is never retried.
  const int rc = ::close(fd_);
  fd_ = -1;
  return rc == 0 ? 0 : errno;
}

}  // namespace mv
