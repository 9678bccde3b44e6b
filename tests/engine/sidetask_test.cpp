#include "engine/sidetask.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

namespace mv {
namespace {

// A call the helper has begun is waited for, and its result comes back.
TEST(SideTask, ACallTheHelperHasBegunIsWaitedFor) {
  SideTask task;
  std::atomic<bool> began{false};
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::thread::id ranOn;
  task.Start([&] {
    ranOn = std::this_thread::get_id();
    began = true;
    released.wait();
    return 7;
  });
  while (!began) std::this_thread::yield();
  release.set_value();
  EXPECT_EQ(task.Wait(), 7);
  EXPECT_NE(ranOn, std::this_thread::get_id());
}

// Whoever runs it (the helper, or Wait when the helper has not begun yet),
// every call runs exactly once and Wait returns its own result.
TEST(SideTask, EveryCallRunsOnceAndReturnsItsOwnResult) {
  SideTask task;
  std::atomic<int> runs{0};
  for (int i = 0; i < 2000; ++i) {
    task.Start([&runs, i] { return ++runs, i; });
    if (i % 3 == 0) std::this_thread::yield();
    ASSERT_EQ(task.Wait(), i);
    ASSERT_EQ(runs.load(), i + 1);
  }
}

TEST(SideTask, AThrowingCallCountsAsFailed) {
  SideTask task;
  task.Start([]() -> int32_t { throw std::runtime_error("listing"); });
  EXPECT_EQ(task.Wait(), -1);
  task.Start([] { return 3; });
  EXPECT_EQ(task.Wait(), 3);
}

}  // namespace
}  // namespace mv
