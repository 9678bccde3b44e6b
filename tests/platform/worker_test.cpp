#include "platform/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace mv {
namespace {

using std::chrono::seconds;

// What the body has done, so that the test can wait for it instead of sleeping.
// The timeouts only end a test that has already failed.
class Progress {
 public:
  void Step() {
    std::lock_guard<std::mutex> lock(m_);
    ++count_;
    cv_.notify_all();
  }
  long Count() {
    std::lock_guard<std::mutex> lock(m_);
    return count_;
  }
  bool WaitAbove(long n) {
    std::unique_lock<std::mutex> lock(m_);
    return cv_.wait_for(lock, seconds(30), [&] { return count_ > n; });
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  long count_ = 0;
};

// The shape of every walk: one entry, then a check point.
auto Loop(Progress& progress, std::atomic<bool>& returned) {
  return [&progress, &returned](Worker& w) {
    while (!w.CheckPoint()) progress.Step();
    returned = true;
  };
}

TEST(Worker, TerminateStopsALoopingBody) {
  Progress progress;
  std::atomic<bool> returned{false};
  Worker w;
  ASSERT_TRUE(w.Start(Loop(progress, returned)));
  ASSERT_TRUE(progress.WaitAbove(10));
  w.RequestTerminate();
  EXPECT_TRUE(w.TerminateRequested());
  w.Join();
  EXPECT_TRUE(returned);
  EXPECT_TRUE(w.Finished());
  EXPECT_FALSE(w.Joinable());
}

TEST(Worker, PauseParksAtTheNextCheckPointAndResumeContinues) {
  Progress progress;
  std::atomic<bool> returned{false};
  Worker w;
  ASSERT_TRUE(w.Start(Loop(progress, returned)));
  ASSERT_TRUE(progress.WaitAbove(0));
  w.Pause();
  EXPECT_TRUE(w.Paused());
  ASSERT_TRUE(w.WaitParked(seconds(30)));
  // Parked means blocked inside CheckPoint: the count cannot move now.
  const long parkedAt = progress.Count();
  EXPECT_TRUE(w.Parked());
  EXPECT_EQ(progress.Count(), parkedAt);
  EXPECT_FALSE(w.Finished());

  w.Resume();
  EXPECT_FALSE(w.Paused());
  ASSERT_TRUE(progress.WaitAbove(parkedAt));
  EXPECT_FALSE(returned);

  w.RequestTerminate();
  ASSERT_TRUE(w.WaitFinished(seconds(30)));
  EXPECT_TRUE(returned);
}

TEST(Worker, TerminateWakesAPausedBody) {
  std::atomic<int> checkPointResult{-1};
  Worker w;
  w.Pause();  // before Start: parks at the first check point
  ASSERT_TRUE(w.Start([&](Worker& self) { checkPointResult = self.CheckPoint() ? 1 : 0; }));
  ASSERT_TRUE(w.WaitParked(seconds(30)));
  w.RequestTerminate();
  ASSERT_TRUE(w.WaitFinished(seconds(30)));
  EXPECT_EQ(checkPointResult, 1);
  EXPECT_TRUE(w.Paused());  // terminate ends the wait, not the pause
}

TEST(Worker, DestructorStopsAndJoinsAPausedBody) {
  Progress progress;
  std::atomic<bool> returned{false};
  {
    Worker w;
    ASSERT_TRUE(w.Start(Loop(progress, returned)));
    w.Pause();
    ASSERT_TRUE(w.WaitParked(seconds(30)));
  }
  EXPECT_TRUE(returned);
}

TEST(Worker, DestructorStopsAndJoinsARunningBody) {
  Progress progress;
  std::atomic<bool> returned{false};
  {
    Worker w;
    ASSERT_TRUE(w.Start(Loop(progress, returned)));
    ASSERT_TRUE(progress.WaitAbove(0));
  }
  EXPECT_TRUE(returned);
}

TEST(Worker, StartRefusedWhileRunningAndAllowedAfterwards) {
  Progress progress;
  std::atomic<bool> returned{false};
  Worker w;
  ASSERT_TRUE(w.Start(Loop(progress, returned)));
  EXPECT_FALSE(w.Start([](Worker&) {}));
  w.RequestTerminate();
  ASSERT_TRUE(w.WaitFinished(seconds(30)));

  std::atomic<int> secondRun{-1};
  ASSERT_TRUE(w.Start([&](Worker& self) { secondRun = self.CheckPoint() ? 1 : 0; }));
  w.Join();
  EXPECT_EQ(secondRun, 0);  // the earlier terminate request was cleared
}

TEST(Worker, ThrowingBodyEndsTheThreadQuietly) {
  Worker w;
  ASSERT_TRUE(w.Start([](Worker&) { throw 42; }));
  w.Join();
  EXPECT_TRUE(w.Finished());
}

TEST(Worker, JoinFromTheBodyDoesNotDeadlock) {
  Worker w;
  ASSERT_TRUE(w.Start([](Worker& self) { self.Join(); }));
  ASSERT_TRUE(w.WaitFinished(seconds(30)));
  w.Join();
}

// A job thread that frees itself when it ends.
TEST(Worker, MayBeDestroyedByItsOwnBody) {
  Progress done;
  auto* w = new Worker;
  ASSERT_TRUE(w->Start([&done](Worker& self) {
    delete &self;
    done.Step();
  }));
  EXPECT_TRUE(done.WaitAbove(0));
}

}  // namespace
}  // namespace mv
