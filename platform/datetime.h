#pragma once
// Points in time as the job files store them, and the packed DOS date-time
// used for every file-date comparison.

#include <cstdint>
#include <ctime>

namespace mv {

// Days since 1899-12-30 00:00 local time; the fraction is the time of day.
// 0 means never / not set.
using DateTime = double;

inline constexpr double kSecondsPerDay = 86400.0;

struct DateParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, msec = 0;
};

// Calendar <-> DateTime (no time zone involved: both are local wall time).
// Proleptic Gregorian; the value is continuous also before 1899-12-30
// (-0.25 is 1899-12-29 18:00), so differences stay durations.
// Encode carries out-of-range fields over as mktime does (month 13 is January
// of the next year, 31 April is 1 May). Both clamp to the calendar
// 0001-01-01 00:00:00.000 .. 9999-12-31 23:59:59.999; Decode rounds to the
// millisecond and reads NaN as 0 (1899-12-30 00:00).
DateTime EncodeDateTime(const DateParts& p);
DateParts DecodeDateTime(DateTime t);
// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(DateTime t);

// Packed DOS date-time: date in the high 16 bits (year-1980, month, day),
// time in the low 16 bits (hour, minute, second/2). Years outside 1980..2107
// clamp to the nearest valid value: 1980-01-01 00:00:00 below,
// 2107-12-31 23:59:58 above. Seconds round down to even.
uint32_t DateTimeToDos(DateTime t);
// A packed value with an impossible field (month 0, 30 February, hour 24...)
// gives 0 (never).
DateTime DosToDateTime(uint32_t dos);

// Local wall time of a POSIX instant, and back (millisecond resolution).
// A wall time that a DST change skips (02:30 on a spring-forward night) is
// read with the offset in force before the change, so it lands as far after
// the gap as it lay inside it (03:30 summer time); a wall time that occurs
// twice (autumn) gives the earlier instant (summer time).
// The zone is the process's TZ; after changing TZ call tzset().
DateTime UnixToDateTime(const timespec& ts);
timespec DateTimeToUnix(DateTime t);

// Packed local DOS time of a POSIX instant (what listings compare).
uint32_t UnixToDos(const timespec& ts);
// Packed DOS time of a POSIX instant in universal time.
uint32_t UnixToDosUtc(const timespec& ts);

// UnixToDos for the many instants of one listing. The zone is asked once per
// hour the instants fall in, not once per instant (the C library serialises
// every question), and only where its offset is the same at both ends of that
// hour; once the instants spread over many hours it asks for each as before.
// One per thread; the zone must not change while it is in use.
class LocalDosClock {
 public:
  uint32_t ToDos(const timespec& ts);

 private:
  int64_t hour_ = INT64_MIN;  // hours since the epoch of the offset below
  int64_t offset_ = 0;        // wall minus universal seconds, all through that hour
  bool steady_ = false;
  int hits_ = 0, misses_ = 0;
};

}  // namespace mv
