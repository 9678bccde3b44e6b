#pragma once
// The one owner of a raw file descriptor: closed with its owner, or earlier
// by Close(), which reports what close() said (a late write-back failure on
// a network share shows only there).

namespace mv {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) noexcept : fd_(fd) {}
  ~UniqueFd() { Close(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  // Closes the descriptor held before (its error is lost: use Close() first
  // where it matters).
  void Reset(int fd = -1) noexcept;
  // Gives the descriptor up without closing it.
  int Release() noexcept;
  // 0, or the errno of close(); the descriptor is gone either way.
  int Close() noexcept;

 private:
  int fd_ = -1;
};

}  // namespace mv
