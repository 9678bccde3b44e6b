#include "engine/copythread.h"

#include <gtest/gtest.h>

#include "platform/clock.h"

namespace mv {
namespace {

TEST(TransferRate, WindowsCloseAfterThirtySecondsWhenDataMoved) {
  DateTime now = 46000.0;
  SetClockForTesting([&] { return now; });
  TTFileThreadControl job("rate", nullptr, "", "", nullptr, {.DrawId = false});
  TCopyThread t(job, CopyThreadContext{});
  const double second = 1.0 / kSecondsPerDay;

  t.DisplayRefresh();  // nothing moved yet
  EXPECT_EQ(job.PrevRateSample.Latest, 0);

  t.BytesSinceRateSample = 1000;  // the first window closes at once
  t.DisplayRefresh();
  EXPECT_EQ(job.PrevRateSample.Bytes, 1000);
  EXPECT_EQ(job.PrevRateSample.Latest, now);
  EXPECT_EQ(job.RateSample.Start, now);

  const DateTime opened = now;
  t.BytesSinceRateSample = 500;
  now += 10 * second;
  t.DisplayRefresh();
  EXPECT_EQ(job.PrevRateSample.Bytes, 1000) << "a window shorter than 30 s stays open";
  now = opened + 31 * second;
  t.DisplayRefresh();
  EXPECT_EQ(job.PrevRateSample.Bytes, 500);
  EXPECT_EQ(job.PrevRateSample.Start, opened);
  EXPECT_EQ(t.BytesSinceRateSample, 0);
  SetClockForTesting({});
}

}  // namespace
}  // namespace mv
