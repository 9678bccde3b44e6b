#include "platform/datetime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"

namespace mv {
namespace {

DateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return EncodeDateTime({y, mo, d, h, mi, s, ms});
}

void ExpectParts(const DateParts& p, int y, int mo, int d, int h, int mi, int s, int ms) {
  EXPECT_EQ(p.year, y);
  EXPECT_EQ(p.month, mo);
  EXPECT_EQ(p.day, d);
  EXPECT_EQ(p.hour, h);
  EXPECT_EQ(p.minute, mi);
  EXPECT_EQ(p.second, s);
  EXPECT_EQ(p.msec, ms);
}

time_t Utc(int y, int mo, int d, int h, int mi, int s) {
  tm t{};
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = s;
  return timegm(&t);
}

uint32_t Dos(int y, int mo, int d, int h, int mi, int s) {
  return (static_cast<uint32_t>(((y - 1980) << 9) | (mo << 5) | d) << 16) |
         static_cast<uint32_t>((h << 11) | (mi << 5) | (s / 2));
}

TEST(Calendar, KnownSerialNumbers) {
  EXPECT_EQ(At(1899, 12, 30), 0.0);
  EXPECT_EQ(At(1900, 1, 1), 2.0);
  EXPECT_EQ(At(2000, 1, 1), 36526.0);
  EXPECT_EQ(At(2024, 1, 1, 12), 45292.5);
  EXPECT_EQ(At(1899, 12, 29, 18), -0.25);  // continuous before the epoch
  ExpectParts(DecodeDateTime(-0.25), 1899, 12, 29, 18, 0, 0, 0);
  ExpectParts(DecodeDateTime(45292.75), 2024, 1, 1, 18, 0, 0, 0);
}

TEST(Calendar, LeapYears) {
  EXPECT_EQ(At(2000, 3, 1) - At(2000, 2, 28), 2.0);  // divisible by 400
  EXPECT_EQ(At(1900, 3, 1) - At(1900, 2, 28), 1.0);  // by 100 only
  EXPECT_EQ(At(2100, 3, 1) - At(2100, 2, 28), 1.0);
  EXPECT_EQ(At(2024, 3, 1) - At(2024, 2, 28), 2.0);
  EXPECT_EQ(At(2023, 3, 1) - At(2023, 2, 28), 1.0);
  ExpectParts(DecodeDateTime(At(2000, 2, 29)), 2000, 2, 29, 0, 0, 0, 0);
}

// Every day from 1600 to 2400 against the C library's own calendar.
TEST(Calendar, EveryDayAgreesWithTimegm) {
  const int64_t first = static_cast<int64_t>(At(1600, 1, 1));
  const int64_t last = static_cast<int64_t>(At(2400, 12, 31));
  for (int64_t day = first; day <= last; ++day) {
    const DateParts p = DecodeDateTime(static_cast<double>(day));
    const time_t expected = static_cast<time_t>((day - 25569) * 86400);
    ASSERT_EQ(Utc(p.year, p.month, p.day, 0, 0, 0), expected) << "day " << day;
    ASSERT_EQ(EncodeDateTime(p), static_cast<double>(day));
  }
}

TEST(Calendar, RoundTripsWithTimeOfDay) {
  for (int64_t ms = -693593LL * 86400000; ms < 2958000LL * 86400000; ms += 86400000LL * 97 + 3723456) {
    const DateTime t = static_cast<double>(ms) / 86400000.0;
    const DateParts p = DecodeDateTime(t);
    ASSERT_EQ(EncodeDateTime(p), t) << ms;
    const DateParts q = DecodeDateTime(EncodeDateTime(p));
    ASSERT_EQ(q.msec, p.msec);
    ASSERT_EQ(q.day, p.day);
  }
}

TEST(Calendar, OutOfRangeFieldsCarryOver) {
  EXPECT_EQ(At(2025, 13, 1), At(2026, 1, 1));
  EXPECT_EQ(At(2026, 0, 1), At(2025, 12, 1));
  EXPECT_EQ(At(2026, 4, 31), At(2026, 5, 1));
  EXPECT_EQ(At(2026, 3, 1, 24), At(2026, 3, 2));
  EXPECT_EQ(At(2026, 3, 1, 0, 0, -1), At(2026, 2, 28, 23, 59, 59));
}

TEST(Calendar, HostileValuesClampInsteadOfMisbehaving) {
  const double inf = std::numeric_limits<double>::infinity();
  ExpectParts(DecodeDateTime(std::nan("")), 1899, 12, 30, 0, 0, 0, 0);
  ExpectParts(DecodeDateTime(1e300), 9999, 12, 31, 23, 59, 59, 999);
  ExpectParts(DecodeDateTime(inf), 9999, 12, 31, 23, 59, 59, 999);
  ExpectParts(DecodeDateTime(-1e300), 1, 1, 1, 0, 0, 0, 0);
  ExpectParts(DecodeDateTime(-inf), 1, 1, 1, 0, 0, 0, 0);
  ExpectParts(DecodeDateTime(EncodeDateTime({2147483647, 2147483647, 2147483647, 2147483647,
                                             2147483647, 2147483647, 2147483647})),
              9999, 12, 31, 23, 59, 59, 999);
  ExpectParts(DecodeDateTime(EncodeDateTime({-2147483647 - 1, -5, -9, -1, -1, -1, -1})), 1, 1, 1,
              0, 0, 0, 0);
  EXPECT_GE(DayOfWeek(std::nan("")), 1);
  EXPECT_GE(DayOfWeek(-inf), 1);
  EXPECT_LE(DayOfWeek(inf), 7);
}

TEST(Calendar, DecodeRoundsToTheMillisecond) {
  ExpectParts(DecodeDateTime(At(2026, 5, 4, 23, 59, 59, 999) + 0.0006 / 86400), 2026, 5, 5, 0, 0,
              0, 0);
  ExpectParts(DecodeDateTime(At(2026, 5, 4, 10, 0, 0, 250)), 2026, 5, 4, 10, 0, 0, 250);
}

TEST(Calendar, DayOfWeek) {
  EXPECT_EQ(DayOfWeek(0), 7);                      // 1899-12-30, a Saturday
  EXPECT_EQ(DayOfWeek(0.99), 7);
  EXPECT_EQ(DayOfWeek(1), 1);                      // Sunday
  EXPECT_EQ(DayOfWeek(-0.25), 6);                  // Friday evening
  EXPECT_EQ(DayOfWeek(At(1969, 7, 20, 20)), 1);    // Sunday
  EXPECT_EQ(DayOfWeek(At(2000, 1, 1)), 7);         // Saturday
  EXPECT_EQ(DayOfWeek(At(2026, 3, 29, 2, 30)), 1); // DST change, a Sunday
  EXPECT_EQ(DayOfWeek(At(1600, 1, 1)), 7);         // Saturday
  for (int i = 0; i < 14; ++i) EXPECT_EQ(DayOfWeek(At(2026, 6, 7 + i)), i % 7 + 1);
}

TEST(DosTime, PacksFieldsAndKeepsTwoSecondSteps) {
  EXPECT_EQ(DateTimeToDos(At(1980, 1, 1)), 0x00210000u);
  EXPECT_EQ(DateTimeToDos(At(2026, 7, 15, 13, 45, 30)), Dos(2026, 7, 15, 13, 45, 30));
  EXPECT_EQ(DateTimeToDos(At(2026, 7, 15, 13, 45, 31, 999)), Dos(2026, 7, 15, 13, 45, 30));
  EXPECT_EQ(DosToDateTime(Dos(2026, 7, 15, 13, 45, 30)), At(2026, 7, 15, 13, 45, 30));
  for (int step = 0; step < 46000; ++step) {
    const DateTime t = At(1980, 1, 1 + step, 0, 0, step * 7211 % 86400, step % 1000);
    const uint32_t dos = DateTimeToDos(t);
    const DateTime back = DosToDateTime(dos);
    ASSERT_LE(back, t);
    ASSERT_GT(back, t - 2.0 / 86400);
    ASSERT_EQ(DateTimeToDos(back), dos);
  }
}

TEST(DosTime, YearsOutsideTheRangeClamp) {
  const uint32_t lowest = Dos(1980, 1, 1, 0, 0, 0);
  const uint32_t highest = Dos(2107, 12, 31, 23, 59, 58);
  EXPECT_EQ(highest, 0xFF9FBF7Du);
  EXPECT_EQ(DateTimeToDos(At(1979, 12, 31, 23, 59, 59)), lowest);
  EXPECT_EQ(DateTimeToDos(0), lowest);
  EXPECT_EQ(DateTimeToDos(-1e300), lowest);
  EXPECT_EQ(DateTimeToDos(std::nan("")), lowest);
  EXPECT_EQ(DateTimeToDos(At(2107, 12, 31, 23, 59, 59)), highest);
  EXPECT_EQ(DateTimeToDos(At(2108, 1, 1)), highest);
  EXPECT_EQ(DateTimeToDos(1e300), highest);
  EXPECT_EQ(DosToDateTime(highest), At(2107, 12, 31, 23, 59, 58));
}

TEST(DosTime, ImpossibleFieldsGiveNever) {
  EXPECT_EQ(DosToDateTime(0), 0.0);                                  // month 0, day 0
  EXPECT_EQ(DosToDateTime((((46u << 9) | (13u << 5) | 1u) << 16)), 0.0);  // month 13
  EXPECT_EQ(DosToDateTime(Dos(2026, 2, 29, 0, 0, 0)), 0.0);          // not a leap year
  EXPECT_NE(DosToDateTime(Dos(2028, 2, 29, 0, 0, 0)), 0.0);
  EXPECT_EQ(DosToDateTime(Dos(2026, 1, 1, 24, 0, 0)), 0.0);
  EXPECT_EQ(DosToDateTime(Dos(2026, 1, 1, 0, 60, 0)), 0.0);
  EXPECT_EQ(DosToDateTime(Dos(2026, 1, 1, 0, 0, 0) | 30u), 0.0);     // 60 seconds
}

// Pins the zone for tests run outside ctest and restores the caller's.
class Berlin : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    hadTz_ = tz != nullptr;
    if (hadTz_) oldTz_ = tz;
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
  }
  void TearDown() override {
    if (hadTz_) {
      setenv("TZ", oldTz_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool hadTz_ = false;
  std::string oldTz_;
};

TEST_F(Berlin, UnixToLocalWallTime) {
  EXPECT_EQ(UnixToDateTime({0, 0}), At(1970, 1, 1, 1));
  EXPECT_EQ(UnixToDateTime({Utc(2026, 7, 1, 12, 0, 0), 0}), At(2026, 7, 1, 14));
  ExpectParts(DecodeDateTime(UnixToDateTime({Utc(2026, 1, 1, 12, 0, 0), 500000000})), 2026, 1, 1,
              13, 0, 0, 500);
  // A negative nanosecond part borrows from the seconds.
  ExpectParts(DecodeDateTime(UnixToDateTime({Utc(2026, 1, 1, 12, 0, 0), -250000000})), 2026, 1, 1,
              12, 59, 59, 750);
}

TEST_F(Berlin, RoundTripThroughAYear) {
  const time_t start = Utc(2026, 1, 1, 0, 0, 0);
  const time_t end = Utc(2027, 1, 1, 0, 0, 0);
  const time_t repeatedHour = Utc(2026, 10, 25, 1, 0, 0);  // 02:00-03:00 CET, the second time
  for (time_t s = start; s < end; s += 7 * 60 + 13) {
    const timespec back = DateTimeToUnix(UnixToDateTime({s, 0}));
    const bool second = s >= repeatedHour && s < repeatedHour + 3600;
    ASSERT_EQ(back.tv_sec, second ? s - 3600 : s) << s;
    ASSERT_EQ(back.tv_nsec, 0);
  }
  const timespec ms = DateTimeToUnix(UnixToDateTime({start, 123000000}));
  EXPECT_EQ(ms.tv_sec, start);
  EXPECT_EQ(ms.tv_nsec, 123000000);
}

// 2026-03-29 02:00-03:00 does not exist: read with the winter offset, it
// lands as far after the gap as it lay inside it.
TEST_F(Berlin, SpringGapMovesForward) {
  EXPECT_EQ(DateTimeToUnix(At(2026, 3, 29, 1, 59, 59)).tv_sec, Utc(2026, 3, 29, 0, 59, 59));
  EXPECT_EQ(DateTimeToUnix(At(2026, 3, 29, 2, 30)).tv_sec, Utc(2026, 3, 29, 1, 30, 0));
  EXPECT_EQ(DateTimeToUnix(At(2026, 3, 29, 3, 0)).tv_sec, Utc(2026, 3, 29, 1, 0, 0));
  EXPECT_EQ(UnixToDateTime(DateTimeToUnix(At(2026, 3, 29, 2, 30))), At(2026, 3, 29, 3, 30));
}

// 2026-10-25 02:00-03:00 happens twice: the earlier (summer time) instant wins.
TEST_F(Berlin, AutumnOverlapTakesTheEarlierInstant) {
  EXPECT_EQ(UnixToDateTime({Utc(2026, 10, 25, 0, 30, 0), 0}), At(2026, 10, 25, 2, 30));
  EXPECT_EQ(UnixToDateTime({Utc(2026, 10, 25, 1, 30, 0), 0}), At(2026, 10, 25, 2, 30));
  EXPECT_EQ(DateTimeToUnix(At(2026, 10, 25, 2, 30)).tv_sec, Utc(2026, 10, 25, 0, 30, 0));
  EXPECT_EQ(DateTimeToUnix(At(2026, 10, 25, 1, 59, 59)).tv_sec, Utc(2026, 10, 24, 23, 59, 59));
  EXPECT_EQ(DateTimeToUnix(At(2026, 10, 25, 3, 0)).tv_sec, Utc(2026, 10, 25, 2, 0, 0));
}

TEST_F(Berlin, DosOfAnInstantLocalAndUtc) {
  const time_t noon = Utc(2026, 7, 1, 12, 0, 1);
  EXPECT_EQ(UnixToDos({noon, 0}), Dos(2026, 7, 1, 14, 0, 0));
  EXPECT_EQ(UnixToDosUtc({noon, 0}), Dos(2026, 7, 1, 12, 0, 0));
  // Just before a full second: truncated, never rounded into the next one.
  EXPECT_EQ(UnixToDos({Utc(2026, 12, 31, 22, 59, 59), 999999999}), Dos(2026, 12, 31, 23, 59, 58));
  EXPECT_EQ(UnixToDos({Utc(2026, 7, 1, 12, 0, 0), -1}), Dos(2026, 7, 1, 13, 59, 58));
  EXPECT_EQ(UnixToDos({0, 0}), Dos(1980, 1, 1, 0, 0, 0));
  EXPECT_EQ(UnixToDosUtc({Utc(2200, 1, 1, 0, 0, 0), 0}), Dos(2107, 12, 31, 23, 59, 58));
  EXPECT_EQ(UnixToDos({std::numeric_limits<time_t>::max(), 0}), Dos(2107, 12, 31, 23, 59, 58));
  EXPECT_EQ(UnixToDos({std::numeric_limits<time_t>::min(), 0}), Dos(1980, 1, 1, 0, 0, 0));
  EXPECT_EQ(UnixToDos({noon, 0}), DateTimeToDos(UnixToDateTime({noon, 0})));
}

TEST(Clock, SeamReplacesAndRestoresTheSystemClock) {
  SetClockForTesting([] { return 45000.25; });
  EXPECT_EQ(Now(), 45000.25);
  SetClockForTesting(nullptr);
  timespec before{}, after{};
  clock_gettime(CLOCK_REALTIME, &before);
  const DateTime now = Now();
  clock_gettime(CLOCK_REALTIME, &after);
  EXPECT_GE(now, UnixToDateTime(before));
  EXPECT_LE(now, UnixToDateTime(after));
}

TEST(Clock, SeamMayBeSwitchedWhileOtherThreadsRead) {
  SetClockForTesting([] { return 1.0; });
  std::vector<std::thread> readers;
  std::atomic<int> bad{0};
  for (int i = 0; i < 2; ++i) {
    readers.emplace_back([&bad] {
      for (int k = 0; k < 20000; ++k) {
        const DateTime t = Now();
        if (t != 1.0 && t != 2.0) ++bad;
      }
    });
  }
  for (int k = 0; k < 20000; ++k) SetClockForTesting([v = 1.0 + k % 2] { return v; });
  for (auto& r : readers) r.join();
  SetClockForTesting(nullptr);
  EXPECT_EQ(bad.load(), 0);
}

}  // namespace
}  // namespace mv
