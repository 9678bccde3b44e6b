#include "jobs/schedule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
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
  return EncodeDateTime({y, mo, d, h, mi, 0, 0});
}

TTSchedule Every(uint16_t days, uint16_t hours, uint16_t minutes, int32_t weekdays = 0x7F) {
  TTSchedule s;
  s.Days = days;
  s.Hours = hours;
  s.Minutes = minutes;
  s.Weekdays = weekdays;
  return s;
}

std::string Text(DateTime t) {
  const DateParts p = DecodeDateTime(t);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", p.year, p.month, p.day,
                p.hour, p.minute, p.second, p.msec);
  return buf;
}

TTSchedule Sample() {
  TTSchedule s = Every(1, 2, 45, 0x3E);
  s.Options = 1;
  s.SetHold(true);
  s.LastRun = At(2024, 2, 28, 23, 15);
  s.LastRunComplete = At(2024, 2, 27, 23, 10);
  s.NextRun = At(2024, 3, 1, 22);
  s.Delay = 17.0 / 1440;
  s.RunOnce = s.RunAfterSuccessEnabled = s.RunAfterSuccessWEnabled = true;
  s.RunAfterSuccess = "Backup A|Backup B";
  s.RunAfterSuccessW = "Report";
  return s;
}

void ExpectSettingsOfSample(const TTSchedule& s) {
  EXPECT_EQ(s.Options, 1);
  EXPECT_TRUE(s.IsHold());
  EXPECT_TRUE(s.RunOnce);
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

TEST_F(ScheduleTest, CreateResetsToCreationValues) {
  TTSchedule s = Sample();
  s.Queued = true;
  s.Create();
  EXPECT_EQ(s.Weekdays, 0x7F);
  EXPECT_FALSE(s.HasSchedule() || s.Queued || s.IsHold() || s.RunAfterSuccessEnabled);
  EXPECT_EQ(s.RunAfterSuccess, "");
}

TEST_F(ScheduleTest, AssignTakesSettingsButKeepsRunHistoryAndChains) {
  TTSchedule src = Sample();
  src.PendingJobID = 77;
  src.Queued = true;
  src.SetEditHold(true);
  src.RunRequest = 3;
  TTSchedule dst;
  dst.LastRun = 10;
  dst.LastRunComplete = 11;
  dst.Delay = 0.02;
  dst.RunRequest = 1;
  dst.RunAfterSuccess = "mine";
  dst.Assign(src);
  ExpectSettingsOfSample(dst);
  EXPECT_EQ(dst.PendingJobID, 77);
  EXPECT_TRUE(dst.Queued);
  EXPECT_EQ(dst.Flags, SCHED_HOLD | SCHED_EDIT_HOLD);
  EXPECT_EQ(dst.LastRun, 10);
  EXPECT_EQ(dst.LastRunComplete, 11);
  EXPECT_EQ(dst.Delay, 0.02);
  EXPECT_EQ(dst.RunRequest, 1);
  EXPECT_EQ(dst.RunAfterSuccess, "mine");
  EXPECT_FALSE(dst.RunAfterSuccessEnabled || dst.RunAfterSuccessWEnabled);
  EXPECT_EQ(dst.RunAfterSuccessW, "");
}

TEST_F(ScheduleTest, HoldBits) {
  TTSchedule s;
  s.SetHold(true);
  s.SetEditHold(true);
  EXPECT_EQ(s.Flags, SCHED_HOLD | SCHED_EDIT_HOLD);
  s.SetHold(false);
  EXPECT_EQ(s.Flags, SCHED_EDIT_HOLD);
  s.SetEditHold(false);
  EXPECT_EQ(s.Flags, 0);
  // Every foreign bit of the held mask holds, the others do not.
  for (uint16_t bit : {0x0001, 0x0002, 0x0004, 0x0008, 0x0080, 0x0010, 0x0040, 0x0100, 0x8000}) {
    s.Flags = bit;
    EXPECT_EQ(s.IsHeld(), (bit & 0x8F) != 0) << bit;
    EXPECT_EQ(s.IsHold(), bit == 1) << bit;
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
  const struct {
    uint16_t d, h, m;
    int64_t window;
  } cases[] = {{1, 0, 0, 7200}, {0, 1, 0, 300}, {0, 0, 15, 75}, {65535, 65535, 65535, 491840175}};
  for (const auto& c : cases) {
    const TTSchedule t = Every(c.d, c.h, c.m);
    EXPECT_TRUE(t.HasSchedule());
    EXPECT_EQ(t.TrackingWindow(), c.window) << c.d << " " << c.h << " " << c.m;
  }
}

TEST_F(ScheduleTest, NextRunSteps) {
  const struct {
    uint16_t d, h, m;
    int32_t weekdays;
    DateTime next, now;
    const char* expected;
  } cases[] = {
      {1, 0, 0, 0x3E, At(2024, 3, 1, 22), At(2024, 3, 1, 22, 30), "2024-03-04 22:00"},  // Fri
      // Sunday 21:10 not allowed: the Monday steps before 21:10 are passed over too.
      {0, 5, 0, 0x02, At(2024, 3, 3, 16, 10), At(2024, 3, 3, 16, 20), "2024-03-04 22:10"},
      {0, 1, 0, 0x7F, At(2024, 3, 1, 10), At(2024, 3, 1, 12), "2024-03-01 12:00"},  // == now
      {1, 2, 30, 0x7F, At(2024, 3, 1, 8), At(2024, 3, 1, 9), "2024-03-02 10:30"},
      {1, 0, 0, 0x02, At(2024, 3, 2, 7), At(2024, 3, 1, 12), "2024-03-02 07:00"},  // future
      {0, 0, 5, 0x7F, At(1900, 1, 1, 0, 1), At(2024, 3, 1, 12, 2), "2024-03-01 12:06"},
      {0, 0, 1, 0x7F, 0, At(2024, 3, 1, 12, 2), "2024-03-01 12:02"},  // never set
      {1, 0, 0, 0, At(2024, 3, 1, 6), At(2024, 3, 1, 7), "2024-03-03 06:00"},  // 0: Sunday
      // Steps that never meet the only allowed day (Monday) must still end.
      {7, 0, 0, 0x02, At(2024, 3, 3, 10), At(2024, 3, 5), "2024-03-10 10:00"},
      {3, 12, 0, 0x02, At(2024, 3, 3, 10), At(2024, 3, 5), "2024-03-06 22:00"},
      {9, 0, 0, 0x02, At(2024, 3, 3, 10), At(2024, 3, 5), "2024-04-08 10:00"},
      // Daylight saving changes keep the wall-clock time.
      {1, 0, 0, 0x7F, At(2024, 3, 30, 3), At(2024, 3, 30, 3, 5), "2024-03-31 03:00"},
      {1, 0, 0, 0x7F, At(2024, 3, 31, 3), At(2024, 3, 31, 3, 5), "2024-04-01 03:00"},
      {1, 0, 0, 0x7F, At(2024, 10, 26, 3), At(2024, 10, 26, 3, 5), "2024-10-27 03:00"},
      {1, 0, 0, 0x7F, At(2024, 10, 27, 3), At(2024, 10, 27, 3, 5), "2024-10-28 03:00"},
      {0, 1, 0, 0x7F, At(2024, 3, 31, 1), At(2024, 3, 31, 3, 30), "2024-03-31 04:00"},
  };
  for (const auto& c : cases) {
    TTSchedule s = Every(c.d, c.h, c.m, c.weekdays);
    s.NextRun = c.next;
    SetNow(c.now);
    s.ComputeNextRun();
    EXPECT_EQ(Text(s.NextRun), std::string(c.expected) + ":00.000") << Text(c.next);
  }
}

TEST_F(ScheduleTest, WeekdaysWithoutAnyDayBitBecomeSundayOnlyWhenStepped) {
  SetNow(At(2024, 3, 1, 7));  // Friday
  for (int32_t w : {0, 0x80, 0x100, -128, static_cast<int32_t>(0x80000000u)}) {
    TTSchedule s = Every(0, 5, 0, w);
    s.NextRun = At(2024, 3, 1, 6);
    s.ComputeNextRun();
    EXPECT_EQ(s.Weekdays, 1) << w;
    EXPECT_EQ(DayOfWeek(s.NextRun), 1) << w;
  }
  TTSchedule s = Every(1, 0, 0, 0);
  s.NextRun = At(2024, 3, 2, 6);  // not due: nothing stepped, nothing stored
  s.ComputeNextRun();
  EXPECT_EQ(s.Weekdays, 0);
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

  s.Days = s.Hours = s.Minutes = 65535;
  s.Weekdays = 0x40;
  s.NextRun = At(2000, 1, 1);
  s.ComputeNextRun();
  EXPECT_GT(s.NextRun, now_);
  EXPECT_LT(s.NextRun, At(9999, 12, 31, 23, 59));
}

TEST_F(ScheduleTest, NoIntervalOrHeldLeavesNextRunAlone) {
  TTSchedule s;
  s.RunOnce = true;
  s.NextRun = At(2024, 3, 1, 8);
  s.Delay = 0.01;
  SetNow(At(2024, 3, 1, 9));
  s.ComputeNextRun();
  EXPECT_FALSE(s.HasSchedule());
  EXPECT_EQ(s.NextRun, At(2024, 3, 1, 8));
  EXPECT_EQ(s.Delay, 0.01);

  s.Hours = 1;
  for (uint16_t hold : {SCHED_HOLD, SCHED_REMOTE_HOLD}) {
    s.Flags = hold;
    s.ComputeNextRun();
    EXPECT_EQ(s.NextRun, At(2024, 3, 1, 8)) << hold;
  }
  EXPECT_GE(now_, s.DueTime());  // due as soon as the hold is gone
}

TEST_F(ScheduleTest, RandomDelayBounds) {
  const struct {
    uint16_t days, hours, minutes;
    int maxMinutes;
  } cases[] = {{1, 0, 0, 59}, {2, 5, 7, 59}, {0, 1, 0, 1},  {0, 2, 0, 4},
               {0, 3, 0, 7},  {0, 3, 30, 7}, {0, 0, 30, 0}};  // minutes only: no delay
  SetNow(At(2024, 3, 1, 12));
  for (const auto& c : cases) {
    for (double u : {0.0, 0.999999999}) {
      int calls = 0;
      SetScheduleRandomForTesting([&] { return ++calls, u; });
      TTSchedule s = Every(c.days, c.hours, c.minutes);
      s.Options = SCHED_OPT_RANDOM_DELAY;
      s.NextRun = now_ + 10;
      s.Delay = 0.5;
      s.ComputeNextRun();
      EXPECT_NEAR(s.Delay * 1440, u == 0.0 ? 0 : c.maxMinutes, 1e-9)
          << c.days << " " << c.hours << " " << c.minutes;
      EXPECT_EQ(s.NextRun, now_ + 10);
      if (c.days + c.hours == 0) {
        EXPECT_EQ(calls, 0);
      }
    }
  }
}

TEST_F(ScheduleTest, RandomDelayOffOrBadSourceStaysInRange) {
  SetNow(At(2024, 3, 1, 12));
  TTSchedule s = Every(1, 0, 0);
  s.NextRun = now_ + 1;
  s.Delay = 0.3;
  s.ComputeNextRun();
  EXPECT_EQ(s.Delay, 0);

  s.Options = SCHED_OPT_RANDOM_DELAY | 0x10;
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
  const struct {
    const char *chain, *from, *to;
    int result;
    const char* after;
  } cases[] = {
      {"AA|A|A", "A", "B", 1, "AA|B|A"},    {"Nightly", "nightly", "X", 0, "Nightly"},
      {"Nightly", "Night", "X", 0, "Nightly"}, {"Nightly", "Nightly", "Weekly", 1, "Weekly"},
      {"X|Y|Z", "Z", "Q", 1, "X|Y|Q"},      {"X|Y|Z", "X", "P", 1, "P|Y|Z"},
      {"", "", "B", 0, ""},                 {"A||B", "", "C", 0, "A||B"},
      {"A||B", "A|B", "C", 0, "A||B"},      {"A|B", "A|B", "C", 0, "A|B"},
  };
  for (const auto& c : cases) {
    TTSchedule s;
    s.RunAfterSuccess = c.chain;
    s.RunAfterSuccessW = c.from;
    EXPECT_EQ(s.RenameInChain(c.from, c.to), c.result) << c.chain << " " << c.from;
    EXPECT_EQ(s.RunAfterSuccess, c.after);
    EXPECT_EQ(s.RunAfterSuccessW, c.from);  // the other chain is left alone
  }
}

TEST_F(ScheduleTest, SaveAndLoadRoundTrip) {
  const std::string file = dir_ / "JOB.MVJ";
  const TTSchedule saved = Sample();
  ASSERT_EQ(saved.Save(file, false), 0);
  EXPECT_EQ(ProfileKeys(file, "schedule"),
            (std::vector<std::string>{"hold", "runonce", "lastrun", "lastruncomplete", "nextrun",
                                      "options", "delay", "weekdays", "days", "hours", "minutes",
                                      "runaftersuccess", "runaftersuccess_enabled",
                                      "runaftersuccessW", "runaftersuccessW_enabled"}));

  TTSchedule s;
  s.Queued = true;
  s.PendingJobID = 5;
  s.RunRequest = 2;
  s.SetEditHold(true);
  ASSERT_EQ(s.Load(file), 0);
  ExpectSettingsOfSample(s);
  EXPECT_NEAR(s.LastRun, saved.LastRun, kMs);
  EXPECT_NEAR(s.LastRunComplete, saved.LastRunComplete, kMs);
  EXPECT_NEAR(s.Delay, saved.Delay, kMs);
  EXPECT_TRUE(s.RunAfterSuccessEnabled && s.RunAfterSuccessWEnabled);
  EXPECT_EQ(s.RunAfterSuccess, "Backup A|Backup B");
  EXPECT_EQ(s.RunAfterSuccessW, "Report");
  // Not part of the file.
  EXPECT_TRUE(s.Queued);
  EXPECT_EQ(s.PendingJobID, 5);
  EXPECT_EQ(s.RunRequest, 2);

  TTSchedule released = saved;
  released.SetHold(false);
  ASSERT_EQ(released.Save(file, false), 0);
  ASSERT_EQ(s.Load(file), 0);
  EXPECT_EQ(s.Flags, SCHED_EDIT_HOLD);  // the edit hold is not the file's business
}

TEST_F(ScheduleTest, TemplateLeavesOutRunTimesAndTakesOnlyItsKeys) {
  const std::string file = dir_ / "DAILY.MVT";
  ASSERT_EQ(Sample().Save(file, true), 0);
  EXPECT_EQ(ProfileKeys(file, "schedule").size(), 13u);
  EXPECT_EQ(ProfileReadString(file, "schedule", "lastrun", "-"), "-");
  EXPECT_EQ(ProfileReadString(file, "schedule", "lastruncomplete", "-"), "-");

  ProfileWriteDouble(file, "schedule", "lastrun", 45000);
  TTSchedule s;
  s.LastRun = 1;
  s.Delay = 0.5;
  s.RunAfterSuccess = "mine";
  ASSERT_EQ(s.LoadTemplate(file), 0);
  ExpectSettingsOfSample(s);
  EXPECT_EQ(s.LastRun, 1);
  EXPECT_EQ(s.Delay, 0.5);
  EXPECT_EQ(s.RunAfterSuccess, "mine");
  EXPECT_FALSE(s.RunAfterSuccessEnabled);

  TTSchedule t = Sample();
  ASSERT_EQ(t.LoadTemplate(dir_ / "EMPTY.MVT"), 0);  // keeps everything
  ExpectSettingsOfSample(t);
}

TEST_F(ScheduleTest, MissingKeysGiveDefaults) {
  SetNow(At(2024, 3, 1, 12));
  TTSchedule s = Sample();
  ASSERT_EQ(s.Load(dir_ / "NONE.MVJ"), 0);
  EXPECT_TRUE(s.IsHold());  // current bit
  EXPECT_EQ(s.Weekdays, 0x3E);  // current values
  EXPECT_EQ(s.Days * 10000 + s.Hours * 100 + s.Minutes, 10245);
  for (double v : {s.LastRun, s.LastRunComplete, s.Delay}) EXPECT_EQ(v, 0);
  EXPECT_EQ(s.NextRun, now_);
  EXPECT_EQ(s.Options, 0);
  EXPECT_FALSE(s.RunOnce || s.RunAfterSuccessEnabled || s.RunAfterSuccessWEnabled);
  EXPECT_EQ(s.RunAfterSuccess + s.RunAfterSuccessW, "");
}

TEST_F(ScheduleTest, MalformedValuesGiveDefaultsAndBoundedIntervals) {
  SetNow(At(2024, 3, 1, 12));
  const std::string file = dir_.Write("BAD.MVJ",
                                     "[schedule]\r\nhold=yes\r\nlastrun=1e300\r\n"
                                     "lastruncomplete=-1e300\r\nnextrun=abc\r\ndelay=inf\r\n"
                                     "options=$FF\r\nweekdays=0x3E\r\ndays=70000\r\n"
                                     "hours=-3\r\nminutes=99999999999\r\nrunonce=2\r\n");
  TTSchedule s = Every(0, 4, 6);
  s.SetHold(true);
  ASSERT_EQ(s.Load(file), 0);
  EXPECT_TRUE(s.IsHold() && s.RunOnce);
  for (double v : {s.LastRun, s.LastRunComplete, s.Delay}) EXPECT_EQ(v, 0);
  EXPECT_EQ(s.NextRun, now_);
  EXPECT_EQ(s.Options, 0xFF);
  EXPECT_EQ(s.Weekdays, 0x3E);
  EXPECT_EQ(s.Days, 65535);  // not wrapped to 4464
  EXPECT_EQ(s.Hours * 100 + s.Minutes, 406);

  TTSchedule t;
  t.NextRun = 45000;
  ASSERT_EQ(t.LoadTemplate(file), 0);
  EXPECT_EQ(t.NextRun, 45000);
  EXPECT_EQ(t.Days, 65535);
  EXPECT_EQ(t.Hours, 0);
}

TEST_F(ScheduleTest, DatesWithCommaAreReadAndFailedSaveIsReported) {
  const std::string file =
      dir_.Write("C.MVJ", "[Schedule]\nNextRun=45123,5625\nlastrun=45123.25\n");
  TTSchedule s;
  ASSERT_EQ(s.Load(file), 0);
  EXPECT_DOUBLE_EQ(s.NextRun, 45123.5625);
  EXPECT_DOUBLE_EQ(s.LastRun, 45123.25);
  EXPECT_EQ(Sample().Save(dir_ / "missing/dir/JOB.MVJ", false), -1);
}

}  // namespace
}  // namespace mv
