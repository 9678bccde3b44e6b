#include "platform/worker.h"

#include <system_error>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace mv {

struct Worker::State {
  mutable std::mutex mutex;
  mutable std::condition_variable changed;  // any of the flags below
  std::atomic<bool> terminate{false};
  std::atomic<bool> paused{false};
  std::atomic<bool> parked{false};
  std::atomic<bool> finished{false};
  std::atomic<bool> running{false};  // started and the body has not returned
  bool launched = false;             // thread_ holds the new thread
};

Worker::Worker() : state_(std::make_shared<State>()) {}

Worker::~Worker() {
  RequestTerminate();
  Resume();
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

bool Worker::Start(std::function<void(Worker&)> body) {
  if (state_->running.load()) return false;
  Join();
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->terminate = false;
    state_->finished = false;
    state_->parked = false;
    state_->running = true;
    state_->launched = false;
  }
  std::shared_ptr<State> state = state_;
  try {
    thread_ = std::thread([state, body = std::move(body), this] {
      {
        // A body that destroys its Worker must not do so before thread_ is set.
        std::unique_lock<std::mutex> lock(state->mutex);
        state->changed.wait(lock, [&state] { return state->launched; });
      }
      try {
        body(*this);
      } catch (...) {
        // No exception may leave the thread; the body reports its own failures.
      }
      std::lock_guard<std::mutex> lock(state->mutex);
      state->running = false;
      state->finished = true;
      state->changed.notify_all();
    });
  } catch (const std::system_error&) {
    // No thread to be had (limits, memory): nothing runs, the caller learns it.
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->running = false;
    return false;
  }
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->launched = true;
  state_->changed.notify_all();
  return true;
}

void Worker::RequestTerminate() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->terminate = true;
  state_->changed.notify_all();
}

bool Worker::TerminateRequested() const { return state_->terminate.load(); }

void Worker::Pause() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->paused = true;
}

void Worker::Resume() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->paused = false;
  state_->changed.notify_all();
}

bool Worker::Paused() const { return state_->paused.load(); }

bool Worker::Parked() const { return state_->parked.load(); }

bool Worker::WaitParked(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(state_->mutex);
  return state_->changed.wait_for(lock, timeout, [this] { return state_->parked.load(); });
}

bool Worker::CheckPoint() {
  State& s = *state_;
  if (s.terminate.load()) return true;
  if (!s.paused.load()) return false;
  std::unique_lock<std::mutex> lock(s.mutex);
  if (s.paused && !s.terminate) {
    s.parked = true;
    s.changed.notify_all();
    s.changed.wait(lock, [&s] { return !s.paused || s.terminate; });
    s.parked = false;
    s.changed.notify_all();
  }
  return s.terminate.load();
}

void Worker::Join() {
  if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) return;
  thread_.join();
}

bool Worker::Joinable() const { return thread_.joinable(); }

bool Worker::Finished() const { return state_->finished.load(); }

bool Worker::WaitFinished(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(state_->mutex);
  return state_->changed.wait_for(lock, timeout, [this] { return state_->finished.load(); });
}

}  // namespace mv
