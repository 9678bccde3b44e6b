#include "jobs/jobid.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <thread>

#include "platform/profile.h"
#include "platform/uniquefd.h"

namespace mv {
namespace {

// The INI write replaces the counter file by rename, so the lock lives on a
// file of its own that is never replaced.
class CounterLock {
 public:
  explicit CounterLock(const std::string& controlDir) {
    const std::string name = controlDir + kJobIdCounterFile + ".lock";
    fd_.Reset(::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (!fd_.Valid()) return;
    // Holders keep the lock for a read and a write only; give up after about
    // ten seconds rather than hang a start-up on a stuck network share.
    for (int attempt = 0; attempt < 1000; ++attempt) {
      if (::flock(fd_.Get(), LOCK_EX | LOCK_NB) == 0) {
        locked_ = true;
        return;
      }
      if (errno != EWOULDBLOCK && errno != EINTR) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  // Closing releases the lock.
  bool locked() const { return locked_; }

 private:
  UniqueFd fd_;
  bool locked_ = false;
};

bool ParseInt64(const std::string& text, int64_t& out) {
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;
  auto [ptr, ec] = std::from_chars(first, last, out);
  return ec == std::errc() && ptr == last && first != last;
}

}  // namespace

int64_t NewJobId(const std::string& controlDir) {
  CounterLock lock(controlDir);
  if (!lock.locked()) return -1;
  const std::string file = controlDir + kJobIdCounterFile;
  int64_t value = 0;
  if (!ParseInt64(ProfileReadString(file, "general", "jobid", "0"), value)) return -1;
  if (value == INT64_MAX) return -1;
  ++value;
  // The counter is stored as a 32-bit integer.
  const int32_t stored = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
  if (!ProfileWriteInt(file, "general", "jobid", stored)) return -1;
  return value;
}

}  // namespace mv
