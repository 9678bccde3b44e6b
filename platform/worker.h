#pragma once
// A worker thread with cooperative stop, pause and resume.
//
// The body polls CheckPoint() between entries and between buffers: that is
// where a pause takes effect and where it learns that it should stop. Nothing
// is ever suspended from outside, so a paused worker never holds a lock or
// half a file.

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace mv {

class Worker {
 public:
  Worker();
  // Requests terminate, resumes and joins: a Worker never leaves a running
  // thread behind. (Destroyed from its own thread it cannot join and detaches;
  // the body must then not touch the Worker any more.)
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Runs body(*this) in a new thread. Returns false (and runs nothing) while
  // a previous body still runs; a finished one is joined first. Start clears
  // an earlier terminate request but keeps the pause state, so Pause() before
  // Start() parks the body at its first CheckPoint.
  bool Start(std::function<void(Worker&)> body);

  void RequestTerminate();
  bool TerminateRequested() const;

  // Pause takes effect at the body's next CheckPoint.
  void Pause();
  void Resume();
  bool Paused() const;
  // True while the body is blocked in CheckPoint because of a pause.
  bool Parked() const;
  // Waits until the body is parked, or up to timeout; true when parked.
  bool WaitParked(std::chrono::milliseconds timeout) const;

  // For the body: blocks while paused (until Resume or RequestTerminate) and
  // returns true when terminate was requested.
  bool CheckPoint();

  // Waits for the body to end (no-op without a thread or from the body itself).
  void Join();
  // A thread was started and is not joined yet.
  bool Joinable() const;
  // The body has returned (set before Join).
  bool Finished() const;
  // Waits until the body has returned, or up to timeout; true when it has.
  bool WaitFinished(std::chrono::milliseconds timeout) const;

 private:
  struct State;
  std::shared_ptr<State> state_;  // shared with the thread, which may outlive *this
  std::thread thread_;
};

}  // namespace mv
