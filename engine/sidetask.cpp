#include "engine/sidetask.h"

#include <system_error>

namespace mv {

namespace {

// A listing that throws counts as failed; the walk goes on.
int32_t RunGuarded(const std::function<int32_t()>& call) {
  try {
    return call();
  } catch (...) {
    return -1;
  }
}

}  // namespace

void StartHelperOnce(bool& started, std::thread& thread, std::function<void()> fn) {
  if (started) return;
  started = true;
  try {
    thread = std::thread(std::move(fn));
  } catch (const std::system_error&) {
  }
}

SideTask::~SideTask() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void SideTask::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return pending_ || quit_; });
    if (!pending_) return;
    std::function<int32_t()> call = std::move(call_);
    pending_ = false;
    lock.unlock();
    const int32_t result = RunGuarded(call);
    lock.lock();
    result_ = result;
    done_ = true;
    changed_.notify_all();
  }
}

void SideTask::Start(std::function<int32_t()> call) {
  std::lock_guard<std::mutex> lock(mutex_);
  call_ = std::move(call);
  pending_ = true;
  done_ = false;
  // No thread to spare: Wait() runs the call itself.
  StartHelperOnce(started_, thread_, [this] { Loop(); });
  changed_.notify_all();
}

int32_t SideTask::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  // Not begun yet (no thread, or it has not woken up): done here at once,
  // which is sooner than waiting for the helper to wake.
  if (pending_) {
    std::function<int32_t()> call = std::move(call_);
    pending_ = false;
    lock.unlock();
    return RunGuarded(call);
  }
  changed_.wait(lock, [this] { return done_ || (!pending_ && !thread_.joinable()); });
  done_ = false;
  return result_;
}

}  // namespace mv
