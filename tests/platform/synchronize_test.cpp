#include "platform/synchronize.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/worker.h"
#include "tests/support/childprocess.h"

namespace mv {
namespace {

using std::chrono::seconds;

// The timeout only ends a test that has failed.
bool OneQueued(const LoopSynchronizer& loop) {
  return test::WaitFor([&] { return loop.Pending() == 1; }, 30000);
}

TEST(LoopSynchronizer, RunsOnTheOwnerAndBlocksTheCaller) {
  LoopSynchronizer loop;
  bool ranAtOnce = false;
  loop.Synchronize([&] { ranAtOnce = true; });  // from the owner: no self-deadlock
  EXPECT_TRUE(ranAtOnce);
  std::thread::id ranOn;
  int seenByCaller = 0;
  Worker w;
  ASSERT_TRUE(w.Start([&](Worker&) {
    for (int i = 1; i <= 5; ++i) {
      int value = 0;  // on the caller's stack: only safe because the caller waits
      loop.Synchronize([&] { ranOn = std::this_thread::get_id(); value = i; });
      if (value == i) ++seenByCaller;
    }
  }));
  ASSERT_TRUE(loop.RunUntil([&] { return w.Finished(); }, seconds(30)));
  w.Join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(seenByCaller, 5);
}

TEST(LoopSynchronizer, ShutdownReleasesWaitingCallersAndLaterOnesWithoutRunning) {
  LoopSynchronizer loop;
  std::atomic<int> ran{0};
  std::thread waiting([&] { loop.Synchronize([&] { ++ran; }); });
  ASSERT_TRUE(OneQueued(loop));
  loop.Shutdown();
  waiting.join();
  EXPECT_EQ(loop.Pending(), 0u);
  loop.Synchronize([&] { ++ran; });
  std::thread([&] { loop.Synchronize([&] { ++ran; }); }).join();  // would hang if queued
  EXPECT_EQ(ran, 0);
  EXPECT_EQ(loop.RunPending(), 0u);
  EXPECT_FALSE(loop.RunUntil([] { return false; }, seconds(30)));
}

// The call running when the loop stops still finishes before its caller
// returns: the caller's stack stays valid for it.
TEST(LoopSynchronizer, ShutdownDuringACallLetsItFinish) {
  LoopSynchronizer loop;
  std::atomic<bool> sawValue{false};
  std::thread caller([&] {
    int local = 0;
    loop.Synchronize([&] {
      loop.Shutdown();
      local = 7;
    });
    sawValue = local == 7;
  });
  ASSERT_TRUE(OneQueued(loop));
  EXPECT_EQ(loop.RunPending(), 1u);
  caller.join();
  EXPECT_TRUE(sawValue);
}

TEST(LoopSynchronizer, OnlyTheOwnerDrainsTheQueueAndRunUntilTimesOut) {
  LoopSynchronizer loop;
  EXPECT_FALSE(loop.RunUntil([] { return false; }, std::chrono::milliseconds(0)));
  std::atomic<bool> done{false};
  std::thread caller([&] {
    loop.Synchronize([] {});
    done = true;
  });
  ASSERT_TRUE(OneQueued(loop));
  size_t ranElsewhere = 99;
  std::thread([&] { ranElsewhere = loop.RunPending(); }).join();
  EXPECT_EQ(ranElsewhere, 0u);
  EXPECT_EQ(loop.Pending(), 1u);
  EXPECT_TRUE(loop.RunUntil([&] { return done.load(); }, seconds(30)));
  caller.join();
}

// A worker calling in a loop, stopped while the loop is already gone: it must end rather than hang.
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
