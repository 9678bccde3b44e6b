#include "platform/synchronize.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/worker.h"
#include "tests/support/childprocess.h"

namespace mv {
namespace {

using std::chrono::seconds;
using test::WaitFor;

// The caller waits, so the call may use its stack; after a shutdown a calling worker must end, not hang.
TEST(LoopSynchronizer, RunsOnTheOwnerBlocksTheCallerAndAWorkerEndsAfterShutdown) {
  LoopSynchronizer loop;
  bool ranAtOnce = false;
  loop.Synchronize([&] { ranAtOnce = true; });  // from the owner: no self-deadlock
  EXPECT_TRUE(ranAtOnce);
  std::thread::id ranOn;
  std::atomic<int> calls{0}, seenByCaller{0};
  Worker w;
  ASSERT_TRUE(w.Start([&](Worker& self) {
    while (!self.CheckPoint()) {
      int value = 0;
      loop.Synchronize([&] { ranOn = std::this_thread::get_id(); value = ++calls; });
      seenByCaller += value != 0;
    }
  }));
  ASSERT_TRUE(loop.RunUntil([&] { return calls >= 5; }, seconds(30)));
  loop.Shutdown();
  w.RequestTerminate();
  ASSERT_TRUE(w.WaitFinished(seconds(30)));
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(seenByCaller, calls);
}

TEST(LoopSynchronizer, ShutdownReleasesWaitingCallersAndLaterOnesWithoutRunning) {
  LoopSynchronizer loop;
  std::atomic<int> ran{0};
  std::thread waiting([&] { loop.Synchronize([&] { ++ran; }); });
  ASSERT_TRUE(WaitFor([&] { return loop.Pending() == 1; }, 30000));  // the timeout only ends a failed test
  loop.Shutdown();
  waiting.join();
  EXPECT_EQ(loop.Pending(), 0u);
  loop.Synchronize([&] { ++ran; });
  std::thread([&] { loop.Synchronize([&] { ++ran; }); }).join();  // would hang if queued
  EXPECT_EQ(ran, 0);
  EXPECT_FALSE(loop.RunUntil([] { return false; }, seconds(30)));
}

}  // namespace
}  // namespace mv
