#include "platform/synchronize.h"

#include <algorithm>

namespace mv {

Synchronizer::~Synchronizer() = default;

struct LoopSynchronizer::Call {
  enum class Stage { Queued, Running, Done, Dropped };
  std::function<void()> fn;
  Stage stage = Stage::Queued;
};

LoopSynchronizer::LoopSynchronizer() : owner_(std::this_thread::get_id()) {}

LoopSynchronizer::~LoopSynchronizer() {
  Shutdown();
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return callers_ == 0; });
}

bool LoopSynchronizer::OnOwner() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return owner_ == std::this_thread::get_id();
}

void LoopSynchronizer::BindToCurrentThread() {
  std::lock_guard<std::mutex> lock(mutex_);
  owner_ = std::this_thread::get_id();
}

void LoopSynchronizer::Synchronize(std::function<void()> fn) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (shutdown_ || !fn) return;
  if (owner_ == std::this_thread::get_id()) {
    lock.unlock();
    try {
      fn();
    } catch (...) {
    }
    return;
  }
  auto call = std::make_shared<Call>();
  call->fn = std::move(fn);
  queue_.push_back(call);
  ++callers_;
  changed_.notify_all();
  if (notify_) {
    // The owner's event loop learns of the call; it must not run it here.
    std::function<void()> notify = notify_;
    lock.unlock();
    notify();
    lock.lock();
  }
  changed_.wait(lock, [&call] {
    return call->stage == Call::Stage::Done || call->stage == Call::Stage::Dropped;
  });
  --callers_;
  changed_.notify_all();
}

void LoopSynchronizer::SetNotify(std::function<void()> notify) {
  std::lock_guard<std::mutex> lock(mutex_);
  notify_ = std::move(notify);
}

size_t LoopSynchronizer::RunPending() {
  if (!OnOwner()) return 0;
  size_t ran = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  // Only what is queued now: a call that queues another cannot keep us here.
  size_t budget = queue_.size();
  while (budget-- > 0 && !queue_.empty() && !shutdown_) {
    std::shared_ptr<Call> call = queue_.front();
    queue_.pop_front();
    call->stage = Call::Stage::Running;
    lock.unlock();
    try {
      call->fn();
    } catch (...) {
    }
    lock.lock();
    call->fn = nullptr;  // release captures on the owning thread
    call->stage = Call::Stage::Done;
    changed_.notify_all();
    ++ran;
  }
  return ran;
}

bool LoopSynchronizer::RunUntil(const std::function<bool()>& done,
                                std::chrono::milliseconds timeout) {
  if (!OnOwner()) return false;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    RunPending();
    if (done()) return true;
    std::unique_lock<std::mutex> lock(mutex_);
    if (shutdown_) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    const auto slice = std::min<std::chrono::steady_clock::duration>(
        deadline - now, std::chrono::milliseconds(10));
    changed_.wait_for(lock, slice, [this] { return !queue_.empty() || shutdown_ || woken_; });
    woken_ = false;
  }
}

void LoopSynchronizer::Wake() {
  std::lock_guard<std::mutex> lock(mutex_);
  woken_ = true;
  changed_.notify_all();
}

void LoopSynchronizer::Shutdown() {
  std::lock_guard<std::mutex> lock(mutex_);
  shutdown_ = true;
  for (auto& call : queue_) {
    call->stage = Call::Stage::Dropped;
  }
  queue_.clear();
  changed_.notify_all();
}

size_t LoopSynchronizer::Pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.size();
}

bool LoopSynchronizer::IsShutdown() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shutdown_;
}

}  // namespace mv
