#pragma once
// What one COPY action keeps for its whole walk: the batch of work copies
// waiting for their flush, and one helper thread that lists target folders
// while the worker lists the source (made once per action, not per folder).

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "engine/copybatch.h"

namespace mv {

class TCopyThread;

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

struct CopyRun {
  CopyRun(CopyOps& ops, size_t maxFiles, int64_t maxBytes) : Batch(ops, maxFiles, maxBytes) {}
  CopyBatch Batch;
  SideTask Lister;
};

// Gives the thread a CopyRun for the life of this object and commits what
// is still waiting when it ends.
class CopyRunScope {
 public:
  explicit CopyRunScope(TCopyThread& thread);
  ~CopyRunScope();
  CopyRunScope(const CopyRunScope&) = delete;
  CopyRunScope& operator=(const CopyRunScope&) = delete;

 private:
  TCopyThread& thread_;
  CopyRun run_;
};

// Commits the thread's batch (if any); the result as CopyBatch::Commit.
int32_t CommitCopies(TCopyThread& thread);

}  // namespace mv
