#include "dialogs/scheduledialogstate.h"

#include <gtest/gtest.h>

#include <tuple>

namespace mv {
namespace {

using std::tuple;

constexpr DateTime kNow = 46000.75;  // 9 December 2025, 18:00

// Date and time pickers, "Queued", "Run once", the repeat options.
tuple<bool, bool, bool, bool> Enabled(const ScheduleDialogState& s) {
  return {s.DateTimeEnabled(), s.QueuedEnabled(), s.RunOnceEnabled(), s.RepeatOptionsEnabled()};
}

TEST(ScheduleDialogState, NextRunZeroOpensAtNowAndKeepsItOnCancel) {
  TTSchedule record;
  ScheduleDialogState state;
  state.Load(record, false, kNow);
  EXPECT_EQ(tuple(state.Date(), state.Time()), tuple(46000, 0.75));
  // Cancel writes nothing back, but the record already holds the base time.
  EXPECT_DOUBLE_EQ(record.NextRun, kNow);
}

TEST(ScheduleDialogState, PickersAndRunOnceFollowTheCounters) {
  TTSchedule record;
  record.NextRun = kNow;
  ScheduleDialogState state;
  state.Load(record, true, kNow);
  EXPECT_EQ(Enabled(state), tuple(false, false, true, true));
  ASSERT_TRUE(state.SetHours(1));
  EXPECT_EQ(Enabled(state), tuple(true, true, false, true));
  ASSERT_TRUE(state.SetHours(0));
  state.SetRunOnce(true);
  EXPECT_EQ(tuple(state.DateTimeEnabled(), state.RunOnceEnabled(), state.RepeatOptionsEnabled()),
            tuple(true, true, false));
}

TEST(ScheduleDialogState, QueuedNeedsTheQueueLoadedAndAnEnabledDate) {
  TTSchedule record;
  record.NextRun = kNow;
  record.Days = 1;
  ScheduleDialogState state;
  state.Load(record, false, kNow);
  EXPECT_EQ(Enabled(state), tuple(true, false, false, true));
  state.Load(record, true, kNow);
  EXPECT_TRUE(state.QueuedEnabled());
}

TEST(ScheduleDialogState, CounterGuardKeepsAQueuedJobRepeating) {
  TTSchedule record;
  record.NextRun = kNow;
  record.Queued = true;
  record.Minutes = 5;
  ScheduleDialogState state;
  state.Load(record, true, kNow);
  EXPECT_FALSE(state.SetMinutes(0));
  EXPECT_EQ(state.Minutes(), 5);
  // With another counter above 0 the minutes may go.
  EXPECT_TRUE(state.SetDays(2));
  EXPECT_TRUE(state.SetMinutes(0));
  EXPECT_FALSE(state.SetDays(0));
  EXPECT_EQ(state.Days(), 2);
}

TEST(ScheduleDialogState, CountersStayInTheirRanges) {
  struct Case {
    int given, minutes, hours, days;
  } cases[] = {{-3, 0, 0, 0}, {57, 55, 23, 57}, {100000, 55, 23, 65535}};
  for (const Case& c : cases) {
    ScheduleDialogState state;
    TTSchedule record;
    state.Load(record, false, kNow);
    state.SetMinutes(c.given);
    state.SetHours(c.given);
    state.SetDays(c.given);
    EXPECT_EQ(tuple(state.Minutes(), state.Hours(), state.Days()),
              tuple(c.minutes, c.hours, c.days))
        << c.given;
  }
}

TEST(ScheduleDialogState, OkStoresEveryControl) {
  TTSchedule record;
  record.NextRun = 45000.25;
  record.Flags = SCHED_REMOTE_HOLD | SCHED_EDIT_HOLD;
  record.Options = 0x6;  // bits without meaning are not kept
  record.LastRun = 44999;
  ScheduleDialogState state;
  state.Load(record, true, kNow);
  EXPECT_TRUE(state.RemoteHold());
  state.SetDate(46001);
  state.SetTime(0.5);
  state.SetDays(1);
  state.SetHours(2);
  state.SetMinutes(35);
  state.SetQueued(true);
  state.SetHold(true);
  state.SetRandomDelay(true);
  state.SetWeekday(0, false);
  state.SetWeekday(6, false);
  state.Chain(ChainKind::Success).Enabled = true;
  state.Chain(ChainKind::Success).Add("Backup A");
  state.Chain(ChainKind::Success).Add("Backup B");
  state.Chain(ChainKind::SuccessWorkDone).Add("Report");
  state.Store(record);

  EXPECT_EQ(tuple(record.NextRun, record.Days, record.Hours, record.Minutes, record.Queued),
            tuple(46001.5, 1, 2, 35, true));
  // Hold written; remote hold and edit hold left as they were.
  EXPECT_EQ(record.Flags, SCHED_HOLD | SCHED_REMOTE_HOLD | SCHED_EDIT_HOLD);
  EXPECT_EQ(tuple(record.Options, record.Weekdays, record.LastRun), tuple(1, 0x3E, 44999.0));
  EXPECT_EQ(tuple(record.RunAfterSuccessEnabled, record.RunAfterSuccess,
                  record.RunAfterSuccessWEnabled, record.RunAfterSuccessW),
            tuple(true, "Backup A|Backup B", false, "Report"));
}

TEST(ScheduleDialogChains, SplitDropsLeadingBlanksAndEmptyNames) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitChain(""), V{});
  EXPECT_EQ(SplitChain("Backup A|Backup B"), (V{"Backup A", "Backup B"}));
  EXPECT_EQ(SplitChain("  A| B ||C|"), (V{"A", "B ", "C"}));
  EXPECT_EQ(JoinChain({"Backup A", "Backup B"}), "Backup A|Backup B");
  EXPECT_EQ(JoinChain({}), "");
}

TEST(ScheduleDialogChains, AddSelectsFirstDeleteSelectsTheNeighbour) {
  ChainList list;
  EXPECT_FALSE(list.Add(""));
  EXPECT_TRUE(list.Add("A"));
  EXPECT_TRUE(list.Add("B"));
  EXPECT_FALSE(list.Add("B"));
  EXPECT_TRUE(list.Add("C"));
  EXPECT_EQ(list.Selected, 0);
  list.Selected = 1;
  EXPECT_TRUE(list.DeleteSelected());
  EXPECT_EQ(tuple(list.Names, list.Selected), tuple(std::vector<std::string>{"A", "C"}, 1));
}

}  // namespace
}  // namespace mv
