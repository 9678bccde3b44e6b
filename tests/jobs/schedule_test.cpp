#include "jobs/schedule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "platform/clock.h"
#include "platform/datetime.h"
#include "platform/profile.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

constexpr double kMs = 1.0 / 86400000.0;

DateTime At(int y, int mo, int d, int h = 0, int mi = 0) {
  return EncodeDateTime({y, mo, d, h, mi, 0, 0});
}

TTSchedule Every(uint16_t days, uint16_t hours, uint16_t minutes, int32_t weekdays = 0x7F) {
  TTSchedule s;
  s.Days = days, s.Hours = hours, s.Minutes = minutes, s.Weekdays = weekdays;
  return s;
}

TTSchedule Sample() {
  TTSchedule s = Every(1, 2, 45, 0x3E);
  s.SetHold(true);
  s.LastRun = At(2024, 2, 28, 23, 15), s.LastRunComplete = At(2024, 2, 27, 23, 10);
  s.NextRun = At(2024, 3, 1, 22), s.Delay = 17.0 / 1440, s.Options = 1;
  s.RunOnce = s.RunAfterSuccessEnabled = s.RunAfterSuccessWEnabled = true;
  s.RunAfterSuccess = "Backup A|Backup B";
  s.RunAfterSuccessW = "Report";
  return s;
}

void ExpectSettingsOfSample(const TTSchedule& s) {
  EXPECT_EQ(s.Options, 1);
  EXPECT_TRUE(s.IsHold() && s.RunOnce);
  EXPECT_NEAR(s.NextRun, Sample().NextRun, kMs);
  EXPECT_EQ(s.Weekdays, 0x3E);
  EXPECT_EQ(s.Days * 10000 + s.Hours * 100 + s.Minutes, 10245);
}

class ScheduleTest : public ::testing::Test {
 protected:
  void SetNow(DateTime t) {
    now_ = t;
    SetClockForTesting([this] { return now_; });
  }
  void TearDown() override {
    SetClockForTesting({});
    SetScheduleRandomForTesting({});
  }
  DateTime now_ = 0;
  test::TempDir dir_;
};

TEST_F(ScheduleTest, TrackingWindowOfTheLongestIntervalDoesNotOverflow) {
  EXPECT_EQ(Every(65535, 65535, 65535).TrackingWindow(), 491840175);
}

TEST_F(ScheduleTest, NextRunSteps) {
  const struct { uint16_t d, h, m; int32_t weekdays; DateTime next, now, expected; } cases[] = {
      {1, 0, 0, 0x3E, At(2024, 3, 1, 22), At(2024, 3, 1, 22, 30), At(2024, 3, 4, 22)},  // Fri
      // Sunday 21:10 not allowed: the Monday steps before 21:10 are passed over too.
      {0, 5, 0, 0x02, At(2024, 3, 3, 16, 10), At(2024, 3, 3, 16, 20), At(2024, 3, 4, 22, 10)},
      {1, 0, 0, 0x02, At(2024, 3, 2, 7), At(2024, 3, 1, 12), At(2024, 3, 2, 7)},  // future
      {0, 0, 5, 0x7F, At(1900, 1, 1, 0, 1), At(2024, 3, 1, 12, 2), At(2024, 3, 1, 12, 6)},
      // Steps that never meet the only allowed day (Monday) must still end.
      {7, 0, 0, 0x02, At(2024, 3, 3, 10), At(2024, 3, 5), At(2024, 3, 10, 10)},
      {3, 12, 0, 0x02, At(2024, 3, 3, 10), At(2024, 3, 5), At(2024, 3, 6, 22)},
      // Daylight saving changes keep the wall-clock time.
      {1, 0, 0, 0x7F, At(2024, 3, 30, 3), At(2024, 3, 30, 3, 5), At(2024, 3, 31, 3)},
      {1, 0, 0, 0x7F, At(2024, 10, 27, 3), At(2024, 10, 27, 3, 5), At(2024, 10, 28, 3)},
      {0, 1, 0, 0x7F, At(2024, 3, 31, 1), At(2024, 3, 31, 3, 30), At(2024, 3, 31, 4)},
  };
  for (const auto& c : cases) {
    TTSchedule s = Every(c.d, c.h, c.m, c.weekdays);
    s.NextRun = c.next;
    SetNow(c.now);
    s.ComputeNextRun();
    EXPECT_NEAR(s.NextRun, c.expected, kMs) << c.next;
  }
}

TEST_F(ScheduleTest, DamagedOrHugeValuesStillEnd) {
  TTSchedule s = Every(0, 0, 5);
  SetNow(At(2024, 3, 1, 12, 2));
  for (double bad : {std::nan(""), -std::numeric_limits<double>::infinity()}) {
    s.NextRun = bad;
    s.ComputeNextRun();
    EXPECT_GE(s.NextRun, now_);
    EXPECT_LT(s.NextRun, now_ + 5.0 / 1440);
  }
  s.NextRun = 1e300;  // never reached: left alone
  s.ComputeNextRun();
  EXPECT_EQ(s.NextRun, 1e300);
  s.Days = s.Hours = s.Minutes = 65535, s.Weekdays = 0x40, s.NextRun = At(2000, 1, 1);
  s.ComputeNextRun();
  EXPECT_GT(s.NextRun, now_);
  EXPECT_LT(s.NextRun, At(9999, 12, 31, 23, 59));
}

TEST_F(ScheduleTest, NoIntervalOrHeldLeavesNextRunAlone) {
  TTSchedule s;
  s.RunOnce = true, s.NextRun = At(2024, 3, 1, 8), s.Delay = 0.01;
  SetNow(At(2024, 3, 1, 9));
  s.ComputeNextRun();
  EXPECT_FALSE(s.HasSchedule());
  EXPECT_EQ(std::make_pair(s.NextRun, s.Delay), std::make_pair(At(2024, 3, 1, 8), 0.01));
  s.Hours = 1, s.Flags = SCHED_REMOTE_HOLD;
  s.ComputeNextRun();
  EXPECT_EQ(s.NextRun, At(2024, 3, 1, 8));
  EXPECT_GE(now_, s.DueTime());  // due as soon as the hold is gone
}

TEST_F(ScheduleTest, RandomDelayBounds) {
  // 1 and 3 hours round their range half to even; minutes alone or the option off: no delay.
  const struct { int32_t options; uint16_t days, hours, minutes; int maxMinutes; } cases[] = {
      {1, 1, 0, 0, 59}, {1, 0, 3, 0, 7}, {1, 0, 0, 30, 0}, {0, 1, 0, 0, 0}};
  SetNow(At(2024, 3, 1, 12));
  for (const auto& c : cases) {
    for (double u : {0.0, 0.999999999}) {
      int calls = 0;
      SetScheduleRandomForTesting([&] { return ++calls, u; });
      TTSchedule s = Every(c.days, c.hours, c.minutes);
      s.Options = c.options, s.NextRun = now_ + 10, s.Delay = 0.5;
      s.ComputeNextRun();
      EXPECT_NEAR(s.Delay * 1440, u == 0.0 ? 0 : c.maxMinutes, 1e-9) << c.days << " " << c.hours;
      EXPECT_TRUE((c.options == 1 && c.days + c.hours > 0) || calls == 0);
    }
  }
}

TEST_F(ScheduleTest, RandomDelayFromABadSourceStaysInRange) {
  SetNow(At(2024, 3, 1, 12));
  TTSchedule s = Every(1, 0, 0);
  s.NextRun = now_ + 1, s.Options = SCHED_OPT_RANDOM_DELAY | 0x10;
  // Within 0..59 minutes whatever the source gives, the real one included (the last round).
  for (double u : {1.0, 7.0, -3.0, std::nan(""), -1.0}) {
    SetScheduleRandomForTesting(u == -1.0 ? std::function<double()>{} : [u] { return u; });
    for (int i = 0; i < (u == -1.0 ? 200 : 1); ++i) {
      s.ComputeNextRun();
      ASSERT_NEAR(s.Delay * 1440, 29.5, 29.5 + 1e-9) << u;
    }
  }
}

TEST_F(ScheduleTest, RenameInChainReplacesFirstWholeCaseSensitiveName) {
  const struct { const char *chain, *from, *to; int result; const char* after; } cases[] = {
      {"AA|A|A", "A", "B", 1, "AA|B|A"},    {"Nightly", "nightly", "X", 0, "Nightly"},
      {"Nightly", "Night", "X", 0, "Nightly"}, {"A||B", "", "C", 0, "A||B"}};
  for (const auto& c : cases) {
    TTSchedule s;
    s.RunAfterSuccess = c.chain, s.RunAfterSuccessW = c.from;
    const int result = s.RenameInChain(c.from, c.to);  // the other chain is left alone
    EXPECT_EQ(std::tie(result, s.RunAfterSuccess, s.RunAfterSuccessW), std::make_tuple(c.result, c.after, c.from))
        << c.chain << " " << c.from;
  }
}

TEST_F(ScheduleTest, SaveAndLoadRoundTrip) {
  const std::string file = dir_ / "JOB.MVJ";
  const TTSchedule saved = Sample();
  ASSERT_EQ(saved.Save(file, false), 0);
  TTSchedule s;
  ASSERT_EQ(s.Load(file), 0);
  ExpectSettingsOfSample(s);
  EXPECT_NEAR(s.LastRun, saved.LastRun, kMs);
  EXPECT_NEAR(s.LastRunComplete, saved.LastRunComplete, kMs);
  EXPECT_NEAR(s.Delay, saved.Delay, kMs);
  EXPECT_TRUE(s.RunAfterSuccessEnabled && s.RunAfterSuccessWEnabled);
  EXPECT_EQ(s.RunAfterSuccess + ";" + s.RunAfterSuccessW, "Backup A|Backup B;Report");
  EXPECT_EQ(Sample().Save(dir_ / "missing/dir/JOB.MVJ", false), -1);
}

TEST_F(ScheduleTest, TemplateLeavesOutRunTimesAndTakesOnlyItsKeys) {
  const std::string file = dir_ / "DAILY.MVT";
  ASSERT_EQ(Sample().Save(file, true), 0);
  ProfileWriteDouble(file, "schedule", "lastrun", 45000);
  TTSchedule s;
  s.LastRun = 1, s.RunAfterSuccess = "mine";
  ASSERT_EQ(s.LoadTemplate(file), 0);
  ExpectSettingsOfSample(s);
  EXPECT_EQ(std::tie(s.LastRun, s.RunAfterSuccess), std::make_tuple(1.0, "mine"));
}

TEST_F(ScheduleTest, MalformedValuesGiveDefaultsAndIntervalsTheirLow16Bits) {
  SetNow(At(2024, 3, 1, 12));
  const std::string file = dir_.Write(
      "BAD.MVJ", "[schedule]\r\nhold=yes\r\nlastrun=1e300\r\nlastruncomplete=-1e300\r\n"
                 "nextrun=abc\r\ndelay=inf\r\noptions=$FF\r\nweekdays=0x3E\r\ndays=70000\r\n"
                 "hours=-3\r\nminutes=99999999999\r\nrunonce=2\r\n");
  TTSchedule s = Every(0, 4, 6);
  s.SetHold(true);
  ASSERT_EQ(s.Load(file), 0);
  EXPECT_TRUE(s.IsHold() && s.RunOnce);
  for (double v : {s.LastRun, s.LastRunComplete, s.Delay}) EXPECT_EQ(v, 0);
  // Intervals keep the low 16 bits; a value beyond 32 bits is malformed.
  EXPECT_EQ(std::make_tuple(s.NextRun, s.Options, s.Weekdays, int(s.Days), int(s.Hours), int(s.Minutes)),
            std::make_tuple(now_, 0xFF, 0x3E, 70000 - 65536, 65536 - 3, 6));
}

}  // namespace
}  // namespace mv
