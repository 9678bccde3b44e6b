#include "platform/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "tests/support/childprocess.h"

namespace mv {
namespace {

using std::chrono::seconds;
using test::WaitFor;

// The shape of every walk: one entry, then a check point. Tests wait for the
// counter instead of sleeping; the timeouts only end a test that already failed.
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

TEST(Worker, PauseParksAtTheNextCheckPointResumeContinuesTerminateStops) {
  Loop loop;
  Worker w;
  ASSERT_TRUE(w.Start(loop.Body()));
  ASSERT_TRUE(loop.WaitAbove(0));
  w.Pause();
  EXPECT_TRUE(w.Paused());
  ASSERT_TRUE(w.WaitParked(seconds(30)));
  // Parked means blocked inside CheckPoint: the count cannot move now.
  const long parkedAt = loop.steps;
  EXPECT_TRUE(w.Parked());
  EXPECT_EQ(loop.steps, parkedAt);
  EXPECT_FALSE(w.Finished());
  w.Resume();
  EXPECT_FALSE(w.Paused());
  ASSERT_TRUE(loop.WaitAbove(parkedAt + 10));
  EXPECT_FALSE(loop.returned);
  w.RequestTerminate();
  EXPECT_TRUE(w.TerminateRequested());
  w.Join();
  EXPECT_TRUE(loop.returned);
  EXPECT_TRUE(w.Finished());
  EXPECT_FALSE(w.Joinable());
}

TEST(Worker, TerminateWakesABodyPausedBeforeStart) {
  std::atomic<int> checkPointResult{-1};
  Worker w;
  w.Pause();
  ASSERT_TRUE(w.Start([&](Worker& self) { checkPointResult = self.CheckPoint() ? 1 : 0; }));
  ASSERT_TRUE(w.WaitParked(seconds(30)));
  w.RequestTerminate();
  ASSERT_TRUE(w.WaitFinished(seconds(30)));
  EXPECT_EQ(checkPointResult, 1);
  EXPECT_TRUE(w.Paused());  // terminate ends the wait, not the pause
}

TEST(Worker, DestructorStopsAndJoinsARunningOrPausedBody) {
  for (bool paused : {false, true}) {
    Loop loop;
    {
      Worker w;
      ASSERT_TRUE(w.Start(loop.Body()));
      ASSERT_TRUE(loop.WaitAbove(0));
      if (paused) {
        w.Pause();
        ASSERT_TRUE(w.WaitParked(seconds(30)));
      }
    }
    EXPECT_TRUE(loop.returned) << paused;
  }
}

TEST(Worker, StartRefusedWhileRunningAndAllowedAfterwards) {
  Loop loop;
  Worker w;
  ASSERT_TRUE(w.Start(loop.Body()));
  EXPECT_FALSE(w.Start([](Worker&) {}));
  w.RequestTerminate();
  ASSERT_TRUE(w.WaitFinished(seconds(30)));
  std::atomic<int> secondRun{-1};
  ASSERT_TRUE(w.Start([&](Worker& self) { secondRun = self.CheckPoint() ? 1 : 0; }));
  w.Join();
  EXPECT_EQ(secondRun, 0);  // the earlier terminate request was cleared
}

TEST(Worker, BodyMayThrowJoinItselfOrDeleteItsWorker) {
  Worker w;
  ASSERT_TRUE(w.Start([](Worker&) { throw 42; }));
  w.Join();
  EXPECT_TRUE(w.Finished());
  ASSERT_TRUE(w.Start([](Worker& self) { self.Join(); }));  // must not deadlock
  ASSERT_TRUE(w.WaitFinished(seconds(30)));
  w.Join();
  std::atomic<bool> done{false};
  auto* own = new Worker;  // a job thread that frees itself when it ends
  ASSERT_TRUE(own->Start([&done](Worker& self) {
    delete &self;
    done = true;
  }));
  EXPECT_TRUE(WaitFor([&] { return done.load(); }, 30000));
}

}  // namespace
}  // namespace mv
