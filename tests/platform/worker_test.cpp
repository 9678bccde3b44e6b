#include "platform/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "tests/support/childprocess.h"

namespace mv {
namespace {

using std::chrono::seconds;
using test::WaitFor;

// Like every walk: one entry, then a check point. The timeouts only end a test that already failed.
struct Loop {
  std::atomic<long> steps{0};
  std::atomic<bool> returned{false};
  std::function<void(Worker&)> Body() {
    return [this](Worker& w) {
      while (!w.CheckPoint()) ++steps;
      returned = true;
    };
  }
  bool WaitAbove(long n) { return WaitFor([&] { return steps > n; }, 30000); }
};

// Pausing and resuming a run: FolderLocks.PausedRunStopsBetweenEntriesAndResumes.
TEST(Worker, TerminateStopsAndARestartBeginsWithoutTheOldRequest) {
  Loop loop;
  Worker w;
  ASSERT_TRUE(w.Start(loop.Body()));
  ASSERT_TRUE(loop.WaitAbove(0));
  EXPECT_FALSE(w.Start([](Worker&) {}));  // already running
  w.RequestTerminate();
  w.Join();
  EXPECT_TRUE(loop.returned);
  std::atomic<int> secondRun{-1};
  ASSERT_TRUE(w.Start([&](Worker& self) { secondRun = self.CheckPoint() ? 1 : 0; }));
  w.Join();
  EXPECT_EQ(secondRun, 0);  // the earlier terminate request was cleared
}

TEST(Worker, TerminateWakesABodyPausedBeforeStartAndTheDestructorAParkedOne) {
  Loop first, second;
  {
    Worker w, parked;
    w.Pause();
    parked.Pause();
    ASSERT_TRUE(w.Start(first.Body()) && parked.Start(second.Body()));
    ASSERT_TRUE(w.WaitParked(seconds(30)) && parked.WaitParked(seconds(30)));
    w.RequestTerminate();
    ASSERT_TRUE(w.WaitFinished(seconds(30)));
    EXPECT_TRUE(first.returned);
    EXPECT_TRUE(w.Paused());  // terminate ends the wait, not the pause
  }
  EXPECT_TRUE(second.returned);
}

TEST(Worker, BodyMayThrowJoinItselfOrDeleteItsWorker) {
  Worker w;
  ASSERT_TRUE(w.Start([](Worker&) { throw 42; }));
  w.Join();
  ASSERT_TRUE(w.Start([](Worker& self) { self.Join(); }));  // must not deadlock
  ASSERT_TRUE(w.WaitFinished(seconds(30)));
  std::atomic<bool> done{false};
  auto* own = new Worker;  // a job thread that frees itself when it ends
  ASSERT_TRUE(own->Start([&done](Worker& self) { delete &self; done = true; }));
  EXPECT_TRUE(WaitFor([&] { return done.load(); }, 30000));
}

}  // namespace
}  // namespace mv
