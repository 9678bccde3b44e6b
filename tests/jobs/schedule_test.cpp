#include "jobs/schedule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/datetime.h"
#include "platform/profile.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

constexpr double kMs = 1.0 / 86400000.0;

DateTime At(int y, int mo, int d, int h = 0, int mi = 0) {
  DateParts p;
  p.year = y;
  p.month = mo;
  p.day = d;
  p.hour = h;
  p.minute = mi;
  return EncodeDateTime(p);
}

std::string Text(DateTime t) {
  const DateParts p = DecodeDateTime(t);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", p.year, p.month, p.day,
                p.hour, p.minute, p.second, p.msec);
  return buf;
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
};

// --- record, holds, interval -------------------------------------------------

TEST_F(ScheduleTest, CreationValuesAndCreateResets) {
  TTSchedule s;
  EXPECT_EQ(s.Options, 0);
  EXPECT_FALSE(s.Queued);
  EXPECT_EQ(s.Flags, 0);
  EXPECT_EQ(s.PendingJobID, 0);
  EXPECT_EQ(s.RunRequest, 0);
  EXPECT_EQ(s.NextRun, 0);
  EXPECT_EQ(s.Weekdays, 0x7F);
  EXPECT_FALSE(s.HasSchedule());

  s.Days = 3;
  s.Weekdays = 2;
  s.RunAfterSuccess = "X";
  s.Queued = true;
  s.Create();
  EXPECT_EQ(s.Days, 0);
  EXPECT_EQ(s.Weekdays, 0x7F);
  EXPECT_EQ(s.RunAfterSuccess, "");
  EXPECT_FALSE(s.Queued);
}

TEST_F(ScheduleTest, AssignTakesSettingsButKeepsRunHistoryAndChains) {
  TTSchedule src;
  src.PendingJobID = 77;
  src.Queued = true;
  src.RunOnce = true;
  src.Options = 1;
  src.Flags = SCHED_HOLD | SCHED_EDIT_HOLD;
  src.NextRun = 45000.25;
  src.Weekdays = 0x3E;
  src.Days = 1;
  src.Hours = 2;
  src.Minutes = 3;
  src.LastRun = 1;
  src.LastRunComplete = 2;
  src.Delay = 0.01;
  src.RunRequest = 3;
  src.RunAfterSuccess = "src";
  src.RunAfterSuccessW = "srcW";

  TTSchedule dst;
  dst.LastRun = 10;
  dst.LastRunComplete = 11;
  dst.Delay = 0.02;
  dst.RunRequest = 1;
  dst.RunAfterSuccess = "mine";
  dst.RunAfterSuccessEnabled = true;
  dst.Assign(src);

  EXPECT_EQ(dst.PendingJobID, 77);
  EXPECT_TRUE(dst.Queued);
  EXPECT_TRUE(dst.RunOnce);
  EXPECT_EQ(dst.Options, 1);
  EXPECT_EQ(dst.Flags, SCHED_HOLD | SCHED_EDIT_HOLD);
  EXPECT_EQ(dst.NextRun, 45000.25);
  EXPECT_EQ(dst.Weekdays, 0x3E);
  EXPECT_EQ(dst.Days, 1);
  EXPECT_EQ(dst.Hours, 2);
  EXPECT_EQ(dst.Minutes, 3);
  EXPECT_EQ(dst.LastRun, 10);
  EXPECT_EQ(dst.LastRunComplete, 11);
  EXPECT_EQ(dst.Delay, 0.02);
  EXPECT_EQ(dst.RunRequest, 1);
  EXPECT_EQ(dst.RunAfterSuccess, "mine");
  EXPECT_TRUE(dst.RunAfterSuccessEnabled);
  EXPECT_EQ(dst.RunAfterSuccessW, "");
}

TEST_F(ScheduleTest, HoldBits) {
  TTSchedule s;
  s.SetHold(true);
  EXPECT_TRUE(s.IsHold());
  EXPECT_TRUE(s.IsHeld());
  s.SetEditHold(true);
  s.SetHold(false);
  EXPECT_FALSE(s.IsHold());
  EXPECT_TRUE(s.IsHeld());
  EXPECT_EQ(s.Flags, SCHED_EDIT_HOLD);
  s.SetEditHold(false);
  EXPECT_FALSE(s.IsHeld());

  for (uint16_t bit : {0x0004, 0x0008, 0x0080}) {
    s.Flags = bit;
    EXPECT_TRUE(s.IsHeld()) << bit;
    EXPECT_FALSE(s.IsHold()) << bit;
  }
  for (uint16_t bit : {0x0010, 0x0020, 0x0040, 0x0100, 0x8000}) {
    s.Flags = bit;
    EXPECT_FALSE(s.IsHeld()) << bit;
  }
}

TEST_F(ScheduleTest, HasScheduleDueTimeAndTrackingWindow) {
  TTSchedule s;
  s.NextRun = 45000.5;
  s.Delay = 0.25;
  EXPECT_DOUBLE_EQ(s.DueTime(), 45000.75);

  s.RunOnce = true;
  EXPECT_TRUE(s.HasSchedule());
  EXPECT_EQ(s.TrackingWindow(), 0);
  s.RunOnce = false;
  EXPECT_EQ(s.TrackingWindow(), 0);

  s.Days = 1;
  EXPECT_EQ(s.TrackingWindow(), 7200);
  s.Days = 0;
  s.Hours = 1;
  EXPECT_EQ(s.TrackingWindow(), 300);
  s.Hours = 0;
  s.Minutes = 15;
  EXPECT_TRUE(s.HasSchedule());
  EXPECT_EQ(s.TrackingWindow(), 75);
  s.Days = s.Hours = s.Minutes = 65535;
  EXPECT_EQ(s.TrackingWindow(), 65535LL * (7200 + 300 + 5));
}

// --- next run ----------------------------------------------------------------

TEST_F(ScheduleTest, DailyWorkdaysSkipTheWeekend) {
  TTSchedule s;
  s.Days = 1;
  s.Weekdays = 0x3E;
  s.NextRun = At(2024, 3, 1, 22, 0);  // Friday
  SetNow(At(2024, 3, 1, 22, 30));
  s.ComputeNextRun();
  EXPECT_EQ(Text(s.NextRun), "2024-03-04 22:00:00.000");  // Monday
}

TEST_F(ScheduleTest, DisallowedStepPassesOverTheFollowingDay) {
  TTSchedule s;
  s.Hours = 5;
  s.Weekdays = 0x02;  // Monday only
  s.NextRun = At(2024, 3, 3, 16, 10);  // Sunday
  SetNow(At(2024, 3, 3, 16, 20));
  s.ComputeNextRun();
  EXPECT_EQ(Text(s.NextRun), "2024-03-04 22:10:00.000");  // not Monday 02:10
}

TEST_F(ScheduleTest, StepExactlyAtNowIsTaken) {
  TTSchedule s;
  s.Hours = 1;
  s.NextRun = At(2024, 3, 1, 10, 0);
  SetNow(At(2024, 3, 1, 12, 0));
  s.ComputeNextRun();
  EXPECT_EQ(Text(s.NextRun), "2024-03-01 12:00:00.000");
}

TEST_F(ScheduleTest, MixedIntervalAddsAllParts) {
  TTSchedule s;
  s.Days = 1;
  s.Hours = 2;
  s.Minutes = 30;
  s.NextRun = At(2024, 3, 1, 8, 0);
  SetNow(At(2024, 3, 1, 9, 0));
  s.ComputeNextRun();
  EXPECT_EQ(Text(s.NextRun), "2024-03-02 10:30:00.000");
}

TEST_F(ScheduleTest, FutureNextRunIsKept) {
  TTSchedule s;
  s.Days = 1;
  s.Weekdays = 0x02;
  s.NextRun = At(2024, 3, 2, 7, 0);  // Saturday, not allowed, but not due yet
  SetNow(At(2024, 3, 1, 12, 0));
  s.ComputeNextRun();
  EXPECT_EQ(s.NextRun, At(2024, 3, 2, 7, 0));
}

TEST_F(ScheduleTest, FarPastWithShortIntervalIsComputedAtOnce) {
  TTSchedule s;
  s.Minutes = 5;
  s.NextRun = At(1900, 1, 1, 0, 1);
  SetNow(At(2024, 3, 1, 12, 2));
  s.ComputeNextRun();
  EXPECT_EQ(Text(s.NextRun), "2024-03-01 12:06:00.000");

  s.NextRun = 0;  // never set
  s.Minutes = 1;
  s.ComputeNextRun();
  EXPECT_EQ(Text(s.NextRun), "2024-03-01 12:02:00.000");
}

TEST_F(ScheduleTest, DamagedNextRunStillEnds) {
  TTSchedule s;
  s.Minutes = 5;
  SetNow(At(2024, 3, 1, 12, 2));
  s.NextRun = std::numeric_limits<double>::quiet_NaN();
  s.ComputeNextRun();
  EXPECT_TRUE(std::isfinite(s.NextRun));
  EXPECT_GE(s.NextRun, now_);
  EXPECT_LT(s.NextRun, now_ + 5.0 / 1440);

  s.NextRun = -std::numeric_limits<double>::infinity();
  s.ComputeNextRun();
  EXPECT_GE(s.NextRun, now_);
  EXPECT_LT(s.NextRun, now_ + 5.0 / 1440);

  s.NextRun = 1e300;  // never reached: left alone
  s.ComputeNextRun();
  EXPECT_EQ(s.NextRun, 1e300);
}

TEST_F(ScheduleTest, WeekdaysZeroMeansSundayAndIsStored) {
  TTSchedule s;
  s.Days = 1;
  s.Weekdays = 0;
  s.NextRun = At(2024, 3, 1, 6, 0);  // Friday
  SetNow(At(2024, 3, 1, 7, 0));
  s.ComputeNextRun();
  EXPECT_EQ(Text(s.NextRun), "2024-03-03 06:00:00.000");  // Sunday
  EXPECT_EQ(s.Weekdays, 1);
}

TEST_F(ScheduleTest, WeekdaysZeroStaysWhenNothingIsStepped) {
  TTSchedule s;
  s.Days = 1;
  s.Weekdays = 0;
  s.NextRun = At(2024, 3, 2, 6, 0);
  SetNow(At(2024, 3, 1, 7, 0));
  s.ComputeNextRun();
  EXPECT_EQ(s.Weekdays, 0);
}

TEST_F(ScheduleTest, WeekdaysWithoutAnyDayBitBehavesAsZero) {
  for (int32_t w : {0x80, 0x100, -128, static_cast<int32_t>(0x80000000u)}) {
    TTSchedule s;
    s.Hours = 5;
    s.Weekdays = w;
    s.NextRun = At(2024, 3, 1, 6, 0);  // Friday
    SetNow(At(2024, 3, 1, 7, 0));
    s.ComputeNextRun();
    EXPECT_EQ(s.Weekdays, 1) << w;
    EXPECT_EQ(DayOfWeek(s.NextRun), 1) << w;  // Sunday
  }
}

TEST_F(ScheduleTest, IntervalThatNeverMeetsAnAllowedDayEnds) {
  // Weekly from a Sunday with only Monday allowed: every step is a Sunday.
  TTSchedule s;
  s.Days = 7;
  s.Weekdays = 0x02;
  s.NextRun = At(2024, 3, 3, 10, 0);
  SetNow(At(2024, 3, 5, 0, 0));
  s.ComputeNextRun();
  EXPECT_EQ(Text(s.NextRun), "2024-03-10 10:00:00.000");

  // Every 3.5 days alternates Sunday 10:00 and Wednesday 22:00.
  s.Days = 3;
  s.Hours = 12;
  s.NextRun = At(2024, 3, 3, 10, 0);
  s.ComputeNextRun();
  EXPECT_EQ(Text(s.NextRun), "2024-03-06 22:00:00.000");

  // Every 9 days does reach a Monday: Tue, Thu, Sat, Mon.
  s.Days = 9;
  s.Hours = 0;
  s.NextRun = At(2024, 3, 3, 10, 0);
  s.ComputeNextRun();
  EXPECT_EQ(Text(s.NextRun), "2024-04-08 10:00:00.000");
}

TEST_F(ScheduleTest, LargestIntervalEnds) {
  TTSchedule s;
  s.Days = s.Hours = s.Minutes = 65535;
  s.Weekdays = 0x40;
  s.NextRun = At(2000, 1, 1);
  SetNow(At(2024, 3, 1));
  s.ComputeNextRun();
  EXPECT_GT(s.NextRun, now_);
  EXPECT_LT(s.NextRun, At(9999, 12, 31, 23, 59));
}

TEST_F(ScheduleTest, NoIntervalOrHeldLeavesNextRunAlone) {
  TTSchedule s;
  s.RunOnce = true;
  s.NextRun = At(2024, 3, 1, 8, 0);
  s.Delay = 0.01;
  SetNow(At(2024, 3, 1, 9, 0));
  EXPECT_TRUE(s.HasSchedule());
  s.ComputeNextRun();
  EXPECT_FALSE(s.RunOnce);
  EXPECT_FALSE(s.HasSchedule());
  EXPECT_EQ(s.NextRun, At(2024, 3, 1, 8, 0));
  EXPECT_EQ(s.Delay, 0.01);

  s.Hours = 1;
  s.SetHold(true);
  s.ComputeNextRun();
  EXPECT_EQ(s.NextRun, At(2024, 3, 1, 8, 0));
  s.SetHold(false);
  EXPECT_GE(now_, s.DueTime());  // due as soon as the hold is gone
  s.Flags = SCHED_REMOTE_HOLD;
  s.ComputeNextRun();
  EXPECT_EQ(s.NextRun, At(2024, 3, 1, 8, 0));
}

TEST_F(ScheduleTest, DaylightSavingKeepsTheWallClockTime) {
  TTSchedule s;
  s.Days = 1;
  s.NextRun = At(2024, 3, 30, 3, 0);
  SetNow(At(2024, 3, 30, 3, 5));
  s.ComputeNextRun();
  EXPECT_EQ(Text(s.NextRun), "2024-03-31 03:00:00.000");  // clocks went forward
  SetNow(At(2024, 3, 31, 3, 5));
  s.ComputeNextRun();
  EXPECT_EQ(Text(s.NextRun), "2024-04-01 03:00:00.000");

  s.NextRun = At(2024, 10, 26, 3, 0);
  SetNow(At(2024, 10, 26, 3, 5));
  s.ComputeNextRun();
  EXPECT_EQ(Text(s.NextRun), "2024-10-27 03:00:00.000");  // clocks went back
  SetNow(At(2024, 10, 27, 3, 5));
  s.ComputeNextRun();
  EXPECT_EQ(Text(s.NextRun), "2024-10-28 03:00:00.000");

  // Hourly across the gap steps in wall time.
  s.Days = 0;
  s.Hours = 1;
  s.NextRun = At(2024, 3, 31, 1, 0);
  SetNow(At(2024, 3, 31, 3, 30));
  s.ComputeNextRun();
  EXPECT_EQ(Text(s.NextRun), "2024-03-31 04:00:00.000");
}

TEST_F(ScheduleTest, WeekdayRuleAgreesWithCalendar) {
  // Tuesday-only daily job starting on each day of a week lands on Tuesday.
  for (int day = 3; day <= 9; ++day) {
    TTSchedule s;
    s.Days = 1;
    s.Weekdays = 1 << 2;
    s.NextRun = At(2024, 3, day, 12, 0);
    SetNow(At(2024, 3, day, 12, 1));
    s.ComputeNextRun();
    EXPECT_EQ(DayOfWeek(s.NextRun), 3) << day;
    EXPECT_GT(s.NextRun, now_);
    EXPECT_LE(s.NextRun, now_ + 8);
  }
}

// --- random delay ------------------------------------------------------------

struct DelayCase {
  uint16_t days, hours, minutes;
  int maxMinutes;  // -1: no delay at all
};

TEST_F(ScheduleTest, RandomDelayBounds) {
  const DelayCase cases[] = {
      {1, 0, 0, 59}, {2, 5, 7, 59}, {0, 1, 0, 1}, {0, 2, 0, 4},
      {0, 3, 0, 7},  {0, 3, 30, 7}, {0, 0, 30, -1},
  };
  SetNow(At(2024, 3, 1, 12, 0));
  for (const DelayCase& c : cases) {
    for (double u : {0.0, 0.5, 0.999999999}) {
      int calls = 0;
      SetScheduleRandomForTesting([&] {
        ++calls;
        return u;
      });
      TTSchedule s;
      s.Options = SCHED_OPT_RANDOM_DELAY;
      s.Days = c.days;
      s.Hours = c.hours;
      s.Minutes = c.minutes;
      s.NextRun = now_ + 10;
      s.Delay = 0.5;
      s.ComputeNextRun();
      const double minutes = s.Delay * 1440;
      EXPECT_NEAR(minutes, std::round(minutes), 1e-9);
      if (c.maxMinutes < 0) {
        EXPECT_EQ(s.Delay, 0);
        EXPECT_EQ(calls, 0);
      } else if (u == 0.0) {
        EXPECT_EQ(std::lround(minutes), 0);
      } else if (u > 0.9) {
        EXPECT_EQ(std::lround(minutes), c.maxMinutes) << c.days << " " << c.hours;
      }
      EXPECT_EQ(s.NextRun, now_ + 10);
    }
  }
}

TEST_F(ScheduleTest, RandomDelayOffOrBadSourceStaysInRange) {
  SetNow(At(2024, 3, 1, 12, 0));
  TTSchedule s;
  s.Days = 1;
  s.NextRun = now_ + 1;
  s.Delay = 0.3;
  s.ComputeNextRun();
  EXPECT_EQ(s.Delay, 0);

  s.Options = SCHED_OPT_RANDOM_DELAY | 0x10;
  for (double u : {1.0, 7.0, -3.0, std::numeric_limits<double>::quiet_NaN()}) {
    SetScheduleRandomForTesting([u] { return u; });
    s.ComputeNextRun();
    EXPECT_GE(s.Delay * 1440, -1e-9) << u;
    EXPECT_LE(s.Delay * 1440, 59 + 1e-9) << u;
  }

  SetScheduleRandomForTesting({});
  for (int i = 0; i < 200; ++i) {
    s.ComputeNextRun();
    ASSERT_GE(s.Delay * 1440, -1e-9);
    ASSERT_LE(s.Delay * 1440, 59 + 1e-9);
  }
}

// --- chains ------------------------------------------------------------------

TEST_F(ScheduleTest, RenameInChainReplacesFirstWholeName) {
  TTSchedule s;
  s.RunAfterSuccess = "AA|A|A";
  s.RunAfterSuccessW = "A";
  EXPECT_EQ(s.RenameInChain("A", "B"), 1);
  EXPECT_EQ(s.RunAfterSuccess, "AA|B|A");
  EXPECT_EQ(s.RunAfterSuccessW, "A");

  s.RunAfterSuccess = "Nightly";
  EXPECT_EQ(s.RenameInChain("nightly", "X"), 0);  // case matters
  EXPECT_EQ(s.RenameInChain("Night", "X"), 0);    // whole names only
  EXPECT_EQ(s.RunAfterSuccess, "Nightly");
  EXPECT_EQ(s.RenameInChain("Nightly", "Weekly run"), 1);
  EXPECT_EQ(s.RunAfterSuccess, "Weekly run");

  s.RunAfterSuccess = "X|Y|Z";
  EXPECT_EQ(s.RenameInChain("Z", "Q"), 1);
  EXPECT_EQ(s.RunAfterSuccess, "X|Y|Q");
  EXPECT_EQ(s.RenameInChain("X", "P"), 1);
  EXPECT_EQ(s.RunAfterSuccess, "P|Y|Q");
}

TEST_F(ScheduleTest, RenameInChainIgnoresNamesThatCannotBeMembers) {
  TTSchedule s;
  EXPECT_EQ(s.RenameInChain("", "B"), 0);
  EXPECT_EQ(s.RunAfterSuccess, "");
  s.RunAfterSuccess = "A||B";
  EXPECT_EQ(s.RenameInChain("", "C"), 0);
  EXPECT_EQ(s.RenameInChain("A|B", "C"), 0);
  s.RunAfterSuccess = "A|B";
  EXPECT_EQ(s.RenameInChain("A|B", "C"), 0);
  EXPECT_EQ(s.RunAfterSuccess, "A|B");
}

// --- persistence -------------------------------------------------------------

TTSchedule Sample() {
  TTSchedule s;
  s.Options = 1;
  s.SetHold(true);
  s.LastRun = At(2024, 2, 28, 23, 15);
  s.LastRunComplete = At(2024, 2, 27, 23, 10);
  s.NextRun = At(2024, 3, 1, 22, 0);
  s.Delay = 17.0 / 1440;
  s.RunOnce = true;
  s.RunAfterSuccessEnabled = true;
  s.RunAfterSuccess = "Backup A|Backup B";
  s.RunAfterSuccessWEnabled = true;
  s.RunAfterSuccessW = "Report";
  s.Weekdays = 0x3E;
  s.Days = 1;
  s.Hours = 2;
  s.Minutes = 45;
  return s;
}

TEST_F(ScheduleTest, SaveAndLoadRoundTrip) {
  test::TempDir dir;
  const std::string file = dir / "JOB.MVJ";
  const TTSchedule saved = Sample();
  ASSERT_EQ(saved.Save(file, false), 0);

  TTSchedule s;
  s.Queued = true;
  s.PendingJobID = 5;
  s.RunRequest = 2;
  s.SetEditHold(true);
  ASSERT_EQ(s.Load(file), 0);
  EXPECT_EQ(s.Options, 1);
  EXPECT_EQ(s.Flags, SCHED_HOLD | SCHED_EDIT_HOLD);
  EXPECT_NEAR(s.LastRun, saved.LastRun, kMs);
  EXPECT_NEAR(s.LastRunComplete, saved.LastRunComplete, kMs);
  EXPECT_NEAR(s.NextRun, saved.NextRun, kMs);
  EXPECT_NEAR(s.Delay, saved.Delay, kMs);
  EXPECT_TRUE(s.RunOnce);
  EXPECT_TRUE(s.RunAfterSuccessEnabled);
  EXPECT_EQ(s.RunAfterSuccess, "Backup A|Backup B");
  EXPECT_TRUE(s.RunAfterSuccessWEnabled);
  EXPECT_EQ(s.RunAfterSuccessW, "Report");
  EXPECT_EQ(s.Weekdays, 0x3E);
  EXPECT_EQ(s.Days, 1);
  EXPECT_EQ(s.Hours, 2);
  EXPECT_EQ(s.Minutes, 45);
  // Not part of the file.
  EXPECT_TRUE(s.Queued);
  EXPECT_EQ(s.PendingJobID, 5);
  EXPECT_EQ(s.RunRequest, 2);

  EXPECT_EQ(ProfileKeys(file, "schedule"),
            (std::vector<std::string>{"hold", "runonce", "lastrun", "lastruncomplete", "nextrun",
                                      "options", "delay", "weekdays", "days", "hours", "minutes",
                                      "runaftersuccess", "runaftersuccess_enabled",
                                      "runaftersuccessW", "runaftersuccessW_enabled"}));
  EXPECT_EQ(ProfileReadString(file, "schedule", "hold", ""), "1");

  // A cleared hold is written and read back as cleared.
  TTSchedule released = saved;
  released.SetHold(false);
  ASSERT_EQ(released.Save(file, false), 0);
  ASSERT_EQ(s.Load(file), 0);
  EXPECT_FALSE(s.IsHold());
  EXPECT_TRUE(s.IsHeld());  // the edit hold is not the file's business
}

TEST_F(ScheduleTest, TemplateLeavesOutRunTimesAndTakesOnlyItsKeys) {
  test::TempDir dir;
  const std::string file = dir / "DAILY.MVT";
  const TTSchedule saved = Sample();
  ASSERT_EQ(saved.Save(file, true), 0);
  const auto keys = ProfileKeys(file, "schedule");
  EXPECT_EQ(keys.size(), 13u);
  EXPECT_EQ(ProfileReadString(file, "schedule", "lastrun", "-"), "-");
  EXPECT_EQ(ProfileReadString(file, "schedule", "lastruncomplete", "-"), "-");

  ProfileWriteDouble(file, "schedule", "lastrun", 45000);
  TTSchedule s;
  s.LastRun = 1;
  s.Delay = 0.5;
  s.RunAfterSuccess = "mine";
  ASSERT_EQ(s.LoadTemplate(file), 0);
  EXPECT_TRUE(s.IsHold());
  EXPECT_TRUE(s.RunOnce);
  EXPECT_EQ(s.Options, 1);
  EXPECT_NEAR(s.NextRun, saved.NextRun, kMs);
  EXPECT_EQ(s.Weekdays, 0x3E);
  EXPECT_EQ(s.Days, 1);
  EXPECT_EQ(s.Hours, 2);
  EXPECT_EQ(s.Minutes, 45);
  EXPECT_EQ(s.LastRun, 1);
  EXPECT_EQ(s.Delay, 0.5);
  EXPECT_EQ(s.RunAfterSuccess, "mine");
  EXPECT_FALSE(s.RunAfterSuccessEnabled);

  // An empty template keeps everything.
  TTSchedule before = Sample();
  TTSchedule t = before;
  ASSERT_EQ(t.LoadTemplate(dir / "EMPTY.MVT"), 0);
  EXPECT_EQ(t.Flags, before.Flags);
  EXPECT_EQ(t.NextRun, before.NextRun);
  EXPECT_EQ(t.Days, before.Days);
  EXPECT_EQ(t.RunOnce, before.RunOnce);
}

TEST_F(ScheduleTest, MissingKeysGiveDefaults) {
  test::TempDir dir;
  SetNow(At(2024, 3, 1, 12, 0));
  TTSchedule s = Sample();
  s.Flags = SCHED_HOLD;
  ASSERT_EQ(s.Load(dir / "NONE.MVJ"), 0);
  EXPECT_TRUE(s.IsHold());  // current bit
  EXPECT_EQ(s.LastRun, 0);
  EXPECT_EQ(s.LastRunComplete, 0);
  EXPECT_EQ(s.NextRun, now_);
  EXPECT_FALSE(s.RunOnce);
  EXPECT_EQ(s.Options, 0);
  EXPECT_EQ(s.Delay, 0);
  EXPECT_EQ(s.Weekdays, 0x3E);  // current values
  EXPECT_EQ(s.Days, 1);
  EXPECT_EQ(s.Hours, 2);
  EXPECT_EQ(s.Minutes, 45);
  EXPECT_EQ(s.RunAfterSuccess, "");
  EXPECT_FALSE(s.RunAfterSuccessEnabled);
  EXPECT_EQ(s.RunAfterSuccessW, "");
  EXPECT_FALSE(s.RunAfterSuccessWEnabled);
}

TEST_F(ScheduleTest, MalformedValuesGiveDefaultsAndBoundedIntervals) {
  test::TempDir dir;
  SetNow(At(2024, 3, 1, 12, 0));
  const std::string file = dir.Write("BAD.MVJ",
                                     "[schedule]\r\n"
                                     "hold=yes\r\n"
                                     "lastrun=1e300\r\n"
                                     "lastruncomplete=-1e300\r\n"
                                     "nextrun=abc\r\n"
                                     "delay=inf\r\n"
                                     "options=$FF\r\n"
                                     "weekdays=0x3E\r\n"
                                     "days=70000\r\n"
                                     "hours=-3\r\n"
                                     "minutes=99999999999\r\n"
                                     "runonce=2\r\n");
  TTSchedule s;
  s.Hours = 4;
  s.Minutes = 6;
  s.SetHold(true);
  ASSERT_EQ(s.Load(file), 0);
  EXPECT_TRUE(s.IsHold());
  EXPECT_EQ(s.LastRun, 0);
  EXPECT_EQ(s.LastRunComplete, 0);
  EXPECT_EQ(s.NextRun, now_);
  EXPECT_EQ(s.Delay, 0);
  EXPECT_EQ(s.Options, 0xFF);
  EXPECT_EQ(s.Weekdays, 0x3E);
  EXPECT_EQ(s.Days, 65535);  // not wrapped to 4464
  EXPECT_EQ(s.Hours, 4);
  EXPECT_EQ(s.Minutes, 6);
  EXPECT_TRUE(s.RunOnce);

  // The same bounds for a template.
  TTSchedule t;
  t.NextRun = 45000;
  ASSERT_EQ(t.LoadTemplate(file), 0);
  EXPECT_EQ(t.NextRun, 45000);
  EXPECT_EQ(t.Days, 65535);
  EXPECT_EQ(t.Hours, 0);
}

TEST_F(ScheduleTest, DatesWithCommaAreRead) {
  test::TempDir dir;
  const std::string file = dir.Write("C.MVJ", "[Schedule]\nNextRun=45123,5625\nlastrun=45123.25\n");
  TTSchedule s;
  ASSERT_EQ(s.Load(file), 0);
  EXPECT_DOUBLE_EQ(s.NextRun, 45123.5625);
  EXPECT_DOUBLE_EQ(s.LastRun, 45123.25);
}

TEST_F(ScheduleTest, SaveReportsAFailedWrite) {
  test::TempDir dir;
  EXPECT_EQ(Sample().Save(dir / "missing/dir/JOB.MVJ", false), -1);
}

}  // namespace
}  // namespace mv
