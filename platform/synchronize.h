#pragma once
// Synchronised calls: a worker hands a function to the main thread and waits
// until it has run there. The application answers on its event loop; tests
// and headless tools use LoopSynchronizer.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace mv {

class Synchronizer {
 public:
  virtual ~Synchronizer();
  // Runs fn on the main thread and returns when it has run.
  virtual void Synchronize(std::function<void()> fn) = 0;
  // Makes a main thread that waits for a condition look at it now (any
  // thread); an event loop that looks at its conditions anyway ignores it.
  virtual void Wake() {}
};

// A queue of calls drained by its owning thread (the one that created it,
// or the last to call BindToCurrentThread).
//
// - Synchronize from the owning thread runs fn at once (no self-deadlock).
// - After Shutdown() nothing runs any more: calls still queued are dropped
//   and their callers return, later Synchronize calls return at once without
//   running fn. A worker can therefore never hang on a loop that stopped; it
//   learns of the stop from its own terminate request. A call already running
//   is finished first, so fn may safely refer to its caller's stack.
// - An exception thrown by fn is swallowed on the owning thread.
class LoopSynchronizer : public Synchronizer {
 public:
  LoopSynchronizer();
  // Shuts down and waits until every caller has left Synchronize.
  ~LoopSynchronizer() override;
  LoopSynchronizer(const LoopSynchronizer&) = delete;
  LoopSynchronizer& operator=(const LoopSynchronizer&) = delete;

  void Synchronize(std::function<void()> fn) override;

  // Owning thread only (elsewhere they do nothing and return 0 / false).
  // Runs the calls queued now; returns how many ran.
  size_t RunPending();
  // Runs calls as they arrive until done() is true (checked after each batch
  // of calls, on Wake() and at least every 10 ms). False on timeout or shutdown.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

  // Makes a waiting RunUntil look at its condition now (any thread).
  void Wake() override;
  // Any thread; repeated calls are harmless.
  void Shutdown();
  bool IsShutdown() const;
  // Calls queued and not yet started.
  size_t Pending() const;
  void BindToCurrentThread();
  // Called on the calling thread each time a call is queued, so an event loop
  // can schedule RunPending on the owner. Set it before workers start.
  void SetNotify(std::function<void()> notify);

 private:
  struct Call;
  bool OnOwner() const;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<Call>> queue_;
  std::thread::id owner_;
  bool shutdown_ = false;
  bool woken_ = false;
  int callers_ = 0;  // threads inside Synchronize
  std::function<void()> notify_;
};

}  // namespace mv
