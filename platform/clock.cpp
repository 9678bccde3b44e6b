#include "platform/clock.h"

#include <mutex>

namespace mv {
namespace {

// Guarded by ClockMutex(); empty means the system clock.
std::function<DateTime()>& TestClock() {
  static std::function<DateTime()> clock;
  return clock;
}

std::mutex& ClockMutex() {
  static std::mutex m;
  return m;
}

DateTime SystemNow() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return UnixToDateTime(ts);
}

}  // namespace

DateTime Now() {
  std::function<DateTime()> clock;
  {
    std::lock_guard<std::mutex> lock(ClockMutex());
    clock = TestClock();
  }
  // Called outside the lock so a test clock may itself call Now() or
  // SetClockForTesting().
  return clock ? clock() : SystemNow();
}

void SetClockForTesting(std::function<DateTime()> clock) {
  std::lock_guard<std::mutex> lock(ClockMutex());
  TestClock() = std::move(clock);
}

}  // namespace mv
