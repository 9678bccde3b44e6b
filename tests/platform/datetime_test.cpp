#include "platform/datetime.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace mv {
namespace {

using Parts = std::array<int, 7>;

DateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return EncodeDateTime({y, mo, d, h, mi, s, ms});
}
Parts PartsOf(DateTime t) {
  const DateParts p = DecodeDateTime(t);
  return {p.year, p.month, p.day, p.hour, p.minute, p.second, p.msec};
}
time_t Utc(int y, int mo, int d, int h, int mi, int s) {
  tm t{.tm_sec = s, .tm_min = mi, .tm_hour = h, .tm_mday = d, .tm_mon = mo - 1, .tm_year = y - 1900};
  return timegm(&t);
}
uint32_t Dos(int y, int mo, int d, int h, int mi, int s) {
  return static_cast<uint32_t>(y - 1980) << 25 | static_cast<uint32_t>(mo << 21 | d << 16 | h << 11 | mi << 5 | s / 2);
}

// Leap years and the epoch: every day from 1600 to 2400 against the C library's calendar.
TEST(Calendar, AgreesWithTimegmCarriesOverRoundsAndClampsHostileValues) {
  for (int64_t day = At(1600, 1, 1); day <= At(2400, 12, 31); ++day) {
    const DateParts p = DecodeDateTime(static_cast<double>(day));
    ASSERT_EQ(Utc(p.year, p.month, p.day, 0, 0, 0), (day - 25569) * 86400) << "day " << day;
    ASSERT_EQ(EncodeDateTime(p), static_cast<double>(day));
  }
  const std::vector<std::pair<DateTime, DateTime>> same = {
      {At(1899, 12, 29, 18), -0.25}, {At(2025, 13, 1), At(2026, 1, 1)}, {At(2026, 4, 31), At(2026, 5, 1)},
      {At(2026, 3, 1, 0, 0, -1), At(2026, 2, 28, 23, 59, 59)}};
  for (size_t i = 0; i < same.size(); ++i) EXPECT_EQ(same[i].first, same[i].second) << "row " << i;
  EXPECT_EQ(PartsOf(-0.25), (Parts{1899, 12, 29, 18, 0, 0, 0}));  // continuous before the epoch
  EXPECT_EQ(PartsOf(At(2026, 5, 4, 23, 59, 59, 999) + 0.0006 / 86400), (Parts{2026, 5, 5, 0, 0, 0, 0}));
  // Hostile values clamp instead of misbehaving.
  const double inf = std::numeric_limits<double>::infinity();
  const Parts lowest{1, 1, 1, 0, 0, 0, 0}, highest{9999, 12, 31, 23, 59, 59, 999};
  EXPECT_EQ(PartsOf(std::nan("")), (Parts{1899, 12, 30, 0, 0, 0, 0}));
  for (double t : {1e300, inf}) EXPECT_EQ(PartsOf(t), highest);
  for (double t : {-1e300, -inf}) EXPECT_EQ(PartsOf(t), lowest);
  const int big = std::numeric_limits<int>::max();
  EXPECT_EQ(PartsOf(EncodeDateTime({big, big, big, big, big, big, big})), highest);
  EXPECT_EQ(PartsOf(EncodeDateTime({-big - 1, -5, -9, -1, -1, -1, -1})), lowest);
}

TEST(DosTime, RoundTripKeepsTwoSecondStepsYearsOutsideClampImpossibleFieldsGiveNever) {
  EXPECT_EQ(DateTimeToDos(At(1980, 1, 1)), 0x00210000u);
  for (int step = 0; step < 46000; ++step) {
    const DateTime t = At(1980, 1, 1 + step, 0, 0, step * 7211 % 86400, step % 1000);
    const uint32_t dos = DateTimeToDos(t);
    const DateTime back = DosToDateTime(dos);
    ASSERT_LE(back, t);
    ASSERT_GT(back, t - 2.0 / 86400);
    ASSERT_EQ(DateTimeToDos(back), dos);
  }
  const uint32_t lowest = Dos(1980, 1, 1, 0, 0, 0), highest = Dos(2107, 12, 31, 23, 59, 58);
  for (DateTime t : {At(1979, 12, 31, 23, 59, 59), 0.0, -1e300, std::nan("")}) EXPECT_EQ(DateTimeToDos(t), lowest);
  for (DateTime t : {At(2107, 12, 31, 23, 59, 59), At(2108, 1, 1), 1e300}) EXPECT_EQ(DateTimeToDos(t), highest);
  EXPECT_EQ(DosToDateTime(highest), At(2107, 12, 31, 23, 59, 58));
  // month 0 / day 0, month 13, 29 February of a common year, hour 24, minute 60, second 60
  for (uint32_t dos : {0u, ((46u << 9) | (13u << 5) | 1u) << 16, Dos(2026, 2, 29, 0, 0, 0),
                       Dos(2026, 1, 1, 24, 0, 0), Dos(2026, 1, 1, 0, 60, 0), Dos(2026, 1, 1, 0, 0, 0) | 30u})
    EXPECT_EQ(DosToDateTime(dos), 0.0) << std::hex << dos;
  EXPECT_NE(DosToDateTime(Dos(2028, 2, 29, 0, 0, 0)), 0.0);
}

// Pins the zone also for runs outside ctest (which sets the same).
struct Berlin : ::testing::Test {
  void SetUp() override { setenv("TZ", "Europe/Berlin", 1), tzset(); }
};

// 02:00-03:00 on 2026-03-29 does not exist: read with the winter offset it lands as far
// after the gap as it lay inside it. On 2026-10-25 it happens twice: the earlier instant wins.
TEST_F(Berlin, LocalTimeRoundTripsSpringGapMovesForwardAutumnOverlapTakesEarlierInstantAndDosTime) {
  EXPECT_EQ(UnixToDateTime({0, 0}), At(1970, 1, 1, 1));
  EXPECT_EQ(UnixToDateTime({Utc(2026, 7, 1, 12, 0, 0), 0}), At(2026, 7, 1, 14));
  const time_t start = Utc(2026, 1, 1, 0, 0, 0), end = Utc(2027, 1, 1, 0, 0, 0);
  const time_t repeatedHour = Utc(2026, 10, 25, 1, 0, 0);  // 02:00-03:00 CET, the second time
  for (time_t s = start; s < end; s += 7 * 60 + 13) {
    const timespec back = DateTimeToUnix(UnixToDateTime({s, 0}));
    ASSERT_EQ(back.tv_sec, s >= repeatedHour && s < repeatedHour + 3600 ? s - 3600 : s) << s;
    ASSERT_EQ(back.tv_nsec, 0);
  }
  const std::vector<std::pair<DateTime, time_t>> rows = {
      {At(2026, 3, 29, 2, 30), Utc(2026, 3, 29, 1, 30, 0)}, {At(2026, 10, 25, 2, 30), Utc(2026, 10, 25, 0, 30, 0)}};
  for (const auto& [local, utc] : rows)
    EXPECT_EQ(DateTimeToUnix(local).tv_sec, utc) << ::testing::PrintToString(PartsOf(local));
  EXPECT_EQ(UnixToDateTime(DateTimeToUnix(At(2026, 3, 29, 2, 30))), At(2026, 3, 29, 3, 30));
  // The DOS time of an instant: local and UTC, truncated, clamped.
  const time_t noon = Utc(2026, 7, 1, 12, 0, 1);
  EXPECT_EQ(UnixToDos({noon, 0}), Dos(2026, 7, 1, 14, 0, 0));
  EXPECT_EQ(UnixToDosUtc({noon, 0}), Dos(2026, 7, 1, 12, 0, 0));
  EXPECT_EQ(UnixToDos({Utc(2026, 12, 31, 22, 59, 59), 999999999}), Dos(2026, 12, 31, 23, 59, 58));
  EXPECT_EQ(UnixToDos({std::numeric_limits<time_t>::max(), 0}), Dos(2107, 12, 31, 23, 59, 58));
  EXPECT_EQ(UnixToDos({std::numeric_limits<time_t>::min(), 0}), Dos(1980, 1, 1, 0, 0, 0));
}

// A listing's clock must say exactly what the zone says, however the instants come:
// in runs within one hour, spread over many, across changes at odd minutes and of
// half an hour, and far outside the DOS years.
TEST(LocalDosClock, AgreesWithTheZoneForEveryInstantAcrossChangesAndSpreads) {
  const char* zones[] = {"Europe/Berlin", "XST3XDT,M3.2.0/2:17,M11.1.0/1:43", "LHST-10:30LHDT-11,M10.1.0,M4.1.0",
                         "UTC0"};
  for (const char* zone : zones) {
    setenv("TZ", zone, 1), tzset();
    LocalDosClock runs, spread;
    const time_t start = Utc(2026, 1, 1, 0, 0, 0), end = Utc(2027, 1, 1, 0, 0, 0);
    for (time_t s = start; s < end; s += 7 * 60 + 13) {
      // Several instants of each hour in a row, then one from far away.
      for (time_t t : {s, s + 1, s + 59}) ASSERT_EQ(runs.ToDos({t, 0}), UnixToDos({t, 0})) << zone << " " << t;
      const time_t away = start + (end - s);
      ASSERT_EQ(spread.ToDos({away, 999999999}), UnixToDos({away, 999999999})) << zone << " " << away;
    }
    LocalDosClock edges;
    for (time_t t : {std::numeric_limits<time_t>::min(), time_t{0}, std::numeric_limits<time_t>::max(),
                     Utc(1979, 12, 31, 23, 59, 59), Utc(2107, 12, 31, 23, 59, 59)})
      EXPECT_EQ(edges.ToDos({t, 0}), UnixToDos({t, 0})) << zone << " " << t;
    EXPECT_EQ(edges.ToDos({Utc(2026, 6, 1, 0, 0, 0), -1}), UnixToDos({Utc(2026, 6, 1, 0, 0, 0), -1})) << zone;
  }
  setenv("TZ", "Europe/Berlin", 1), tzset();
}

}  // namespace
}  // namespace mv
