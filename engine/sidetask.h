#pragma once
// A helper thread made once and given one call at a time: the batch flusher
// of a COPY action.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace mv {

// Starts thread on fn the first time (started remembers it). Without a
// thread to spare thread stays unstarted: the caller does the work itself.
void StartHelperOnce(bool& started, std::thread& thread, std::function<void()> fn);

// Runs one call at a time on a thread of its own; Wait() returns its result.
// Without a thread to spare the call runs inside Wait() instead.
class SideTask {
 public:
  SideTask() = default;
  ~SideTask();
  SideTask(const SideTask&) = delete;
  SideTask& operator=(const SideTask&) = delete;

  // At most one call at a time: Wait() for it before the next Start().
  void Start(std::function<int32_t()> call);
  int32_t Wait();

 private:
  void Loop();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<int32_t()> call_;
  bool pending_ = false, done_ = false, quit_ = false, started_ = false;
  int32_t result_ = 0;
  std::thread thread_;
};

}  // namespace mv
