#include "platform/synchronize.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/worker.h"

namespace mv {
namespace {

using std::chrono::seconds;

// Spins until cond holds; the deadline only ends a test that has failed.
template <typename Cond>
bool Eventually(Cond cond) {
  const auto deadline = std::chrono::steady_clock::now() + seconds(30);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

TEST(LoopSynchronizer, RunsOnTheOwnerAndBlocksTheCaller) {
  LoopSynchronizer loop;
  const std::thread::id owner = std::this_thread::get_id();
  std::thread::id ranOn;
  int seenByCaller = 0;
  Worker w;
  ASSERT_TRUE(w.Start([&](Worker&) {
    for (int i = 1; i <= 5; ++i) {
      int value = 0;  // on the caller's stack: only safe because the caller waits
      loop.Synchronize([&] {
        ranOn = std::this_thread::get_id();
        value = i;
      });
      if (value == i) ++seenByCaller;
    }
  }));
  ASSERT_TRUE(loop.RunUntil([&] { return w.Finished(); }, seconds(30)));
  w.Join();
  EXPECT_EQ(ranOn, owner);
  EXPECT_EQ(seenByCaller, 5);
}

TEST(LoopSynchronizer, CallFromTheOwnerRunsAtOnce) {
  LoopSynchronizer loop;
  bool ran = false;
  loop.Synchronize([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_EQ(loop.Pending(), 0u);
}

TEST(LoopSynchronizer, ShutdownReleasesAWaitingCallerWithoutRunning) {
  LoopSynchronizer loop;
  std::atomic<bool> ran{false};
  std::atomic<bool> returned{false};
  std::thread caller([&] {
    loop.Synchronize([&] { ran = true; });
    returned = true;
  });
  ASSERT_TRUE(Eventually([&] { return loop.Pending() == 1; }));
  loop.Shutdown();
  caller.join();
  EXPECT_TRUE(returned);
  EXPECT_FALSE(ran);
  EXPECT_EQ(loop.Pending(), 0u);
}

TEST(LoopSynchronizer, AfterShutdownNothingRunsAndNothingWaits) {
  LoopSynchronizer loop;
  loop.Shutdown();
  bool ranHere = false;
  loop.Synchronize([&] { ranHere = true; });
  EXPECT_FALSE(ranHere);
  std::atomic<bool> ranThere{false};
  std::thread caller([&] { loop.Synchronize([&] { ranThere = true; }); });
  caller.join();  // would hang if the call were queued
  EXPECT_FALSE(ranThere);
  EXPECT_EQ(loop.RunPending(), 0u);
  EXPECT_FALSE(loop.RunUntil([] { return false; }, seconds(30)));
}

// The call that is running when the loop stops still finishes before its
// caller returns: the caller's stack stays valid for it.
TEST(LoopSynchronizer, ShutdownDuringACallLetsItFinish) {
  LoopSynchronizer loop;
  int value = 0;
  std::atomic<bool> sawValue{false};
  std::thread caller([&] {
    int local = 0;
    loop.Synchronize([&] {
      loop.Shutdown();
      local = 7;
      value = 7;
    });
    sawValue = local == 7;
  });
  ASSERT_TRUE(Eventually([&] { return loop.Pending() == 1; }));
  EXPECT_EQ(loop.RunPending(), 1u);
  caller.join();
  EXPECT_EQ(value, 7);
  EXPECT_TRUE(sawValue);
}

TEST(LoopSynchronizer, OnlyTheOwnerDrainsTheQueue) {
  LoopSynchronizer loop;
  std::atomic<bool> done{false};
  std::thread caller([&] {
    loop.Synchronize([] {});
    done = true;
  });
  ASSERT_TRUE(Eventually([&] { return loop.Pending() == 1; }));
  size_t ranElsewhere = 99;
  std::thread other([&] { ranElsewhere = loop.RunPending(); });
  other.join();
  EXPECT_EQ(ranElsewhere, 0u);
  EXPECT_EQ(loop.Pending(), 1u);
  EXPECT_TRUE(loop.RunUntil([&] { return done.load(); }, seconds(30)));
  caller.join();
}

TEST(LoopSynchronizer, RunUntilGivesUpAtItsTimeout) {
  LoopSynchronizer loop;
  EXPECT_FALSE(loop.RunUntil([] { return false; }, std::chrono::milliseconds(0)));
}

// A worker paused between synchronised calls, then stopped while the loop is
// already gone: it must end rather than hang.
TEST(LoopSynchronizer, WorkerEndsWhenTheLoopStoppedUnderIt) {
  LoopSynchronizer loop;
  std::atomic<int> calls{0};
  Worker w;
  ASSERT_TRUE(w.Start([&](Worker& self) {
    while (!self.CheckPoint()) loop.Synchronize([&] { ++calls; });
  }));
  ASSERT_TRUE(loop.RunUntil([&] { return calls >= 3; }, seconds(30)));
  loop.Shutdown();
  w.RequestTerminate();
  ASSERT_TRUE(w.WaitFinished(seconds(30)));
}

}  // namespace
}  // namespace mv
