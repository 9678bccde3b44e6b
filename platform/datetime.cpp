#include "platform/datetime.h"

#include <cmath>

namespace mv {
namespace {

constexpr int64_t kMsPerDay = 86400000;
constexpr int64_t kSecPerDay = 86400;

constexpr int64_t FloorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}
constexpr int64_t FloorMod(int64_t a, int64_t b) { return a - FloorDiv(a, b) * b; }

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12).
constexpr int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

constexpr int64_t kEpochDays = DaysFromCivil(1899, 12, 30);  // -25569
// The representable calendar: 0001-01-01 00:00:00.000 .. 9999-12-31 23:59:59.999.
constexpr int64_t kMinMs = (DaysFromCivil(1, 1, 1) - kEpochDays) * kMsPerDay;
constexpr int64_t kMaxMs = (DaysFromCivil(10000, 1, 1) - kEpochDays) * kMsPerDay - 1;

// Milliseconds since the epoch, rounded; NaN gives the epoch, anything beyond
// the calendar clamps to its ends.
int64_t ToMs(DateTime t) {
  if (std::isnan(t)) return 0;
  const double ms = t * static_cast<double>(kMsPerDay);
  if (ms <= static_cast<double>(kMinMs)) return kMinMs;
  if (ms >= static_cast<double>(kMaxMs)) return kMaxMs;
  return std::llround(ms);
}

DateParts PartsFromMs(int64_t ms) {
  DateParts p;
  const int64_t days = FloorDiv(ms, kMsPerDay);
  int64_t rest = ms - days * kMsPerDay;
  CivilFromDays(days + kEpochDays, p.year, p.month, p.day);
  p.hour = static_cast<int>(rest / 3600000);
  rest %= 3600000;
  p.minute = static_cast<int>(rest / 60000);
  rest %= 60000;
  p.second = static_cast<int>(rest / 1000);
  p.msec = static_cast<int>(rest % 1000);
  return p;
}

constexpr uint32_t kDosLowest = 0x00210000;  // 1980-01-01 00:00:00
constexpr uint32_t kDosHighest = (((127u << 9) | (12u << 5) | 31u) << 16) |
                                 ((23u << 11) | (59u << 5) | 29u);  // 2107-12-31 23:59:58

uint32_t PackDos(int64_t year, int month, int day, int hour, int minute, int second) {
  if (year < 1980) return kDosLowest;
  if (year > 2107) return kDosHighest;
  if (second > 59) second = 59;  // a leap second from the C library
  const uint32_t date = (static_cast<uint32_t>(year - 1980) << 9) |
                        (static_cast<uint32_t>(month) << 5) | static_cast<uint32_t>(day);
  const uint32_t time = (static_cast<uint32_t>(hour) << 11) |
                        (static_cast<uint32_t>(minute) << 5) |
                        static_cast<uint32_t>(second / 2);
  return (date << 16) | time;
}

uint32_t PackDos(const tm& t) {
  return PackDos(static_cast<int64_t>(t.tm_year) + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                 t.tm_min, t.tm_sec);
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// tv_nsec outside 0..999999999 is carried into the seconds.
timespec Normalize(timespec ts) {
  if (ts.tv_nsec < 0 || ts.tv_nsec >= 1000000000L) {
    ts.tv_sec += static_cast<time_t>(FloorDiv(ts.tv_nsec, 1000000000L));
    ts.tv_nsec = static_cast<long>(FloorMod(ts.tv_nsec, 1000000000L));
  }
  return ts;
}

// UTC offset in seconds of the local zone at a POSIX instant.
bool LocalOffset(time_t t, long& offset) {
  tm local{};
  if (localtime_r(&t, &local) == nullptr) return false;
  offset = local.tm_gmtoff;
  return true;
}

// Wall minus universal seconds at a POSIX instant, as the calendar fields
// of the C library tell it (leap seconds of a "right/" zone included).
bool WallOffset(int64_t t, int64_t& offset) {
  const time_t at = static_cast<time_t>(t);
  tm local{};
  if (localtime_r(&at, &local) == nullptr) return false;
  const int64_t wall = DaysFromCivil(static_cast<int64_t>(local.tm_year) + 1900, local.tm_mon + 1, local.tm_mday) *
                           kSecPerDay +
                       local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
  offset = wall - t;
  return true;
}

}  // namespace

DateTime EncodeDateTime(const DateParts& p) {
  // Carry out-of-range fields over like mktime does, in 64 bits; the year is
  // bounded first so that nothing can overflow before the final clamp.
  int64_t month0 = static_cast<int64_t>(p.month) - 1;
  int64_t year = static_cast<int64_t>(p.year) + FloorDiv(month0, 12);
  month0 = FloorMod(month0, 12);
  if (year < -100000) year = -100000;
  if (year > 100000) year = 100000;
  const int64_t days = DaysFromCivil(year, static_cast<int>(month0) + 1, 1) - kEpochDays +
                       (static_cast<int64_t>(p.day) - 1);
  int64_t ms = days * kMsPerDay + static_cast<int64_t>(p.hour) * 3600000 +
               static_cast<int64_t>(p.minute) * 60000 + static_cast<int64_t>(p.second) * 1000 +
               p.msec;
  if (ms < kMinMs) ms = kMinMs;
  if (ms > kMaxMs) ms = kMaxMs;
  return static_cast<double>(ms) / static_cast<double>(kMsPerDay);
}

DateParts DecodeDateTime(DateTime t) { return PartsFromMs(ToMs(t)); }

int DayOfWeek(DateTime t) {
  const int64_t days = FloorDiv(ToMs(t), kMsPerDay);
  return static_cast<int>(FloorMod(days + 6, 7)) + 1;  // day 0 was a Saturday
}

uint32_t DateTimeToDos(DateTime t) {
  const DateParts p = DecodeDateTime(t);
  return PackDos(p.year, p.month, p.day, p.hour, p.minute, p.second);
}

DateTime DosToDateTime(uint32_t dos) {
  const int year = static_cast<int>(dos >> 25) + 1980;
  const int month = static_cast<int>((dos >> 21) & 0x0F);
  const int day = static_cast<int>((dos >> 16) & 0x1F);
  const int hour = static_cast<int>((dos >> 11) & 0x1F);
  const int minute = static_cast<int>((dos >> 5) & 0x3F);
  const int second = static_cast<int>(dos & 0x1F) * 2;
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 59) {
    return 0;
  }
  return EncodeDateTime({year, month, day, hour, minute, second, 0});
}

DateTime UnixToDateTime(const timespec& in) {
  const timespec ts = Normalize(in);
  long offset = 0;
  if (!LocalOffset(ts.tv_sec, offset)) {
    return ts.tv_sec < 0 ? static_cast<double>(kMinMs) / kMsPerDay
                         : static_cast<double>(kMaxMs) / kMsPerDay;
  }
  // Local wall seconds since 1899-12-30 00:00.
  const double wall = static_cast<double>(static_cast<int64_t>(ts.tv_sec) + offset -
                                          kEpochDays * kSecPerDay);
  const DateTime t = (wall + static_cast<double>(ts.tv_nsec) * 1e-9) / kSecPerDay;
  const double lo = static_cast<double>(kMinMs) / kMsPerDay;
  const double hi = static_cast<double>(kMaxMs) / kMsPerDay;
  return t < lo ? lo : (t > hi ? hi : t);
}

timespec DateTimeToUnix(DateTime t) {
  const int64_t ms = ToMs(t);
  // Wall time as if it were UTC, in seconds since 1970.
  const int64_t wall = FloorDiv(ms, 1000) + kEpochDays * kSecPerDay;
  const long msRest = static_cast<long>(FloorMod(ms, 1000));

  // The offsets a day before and a day after bracket any transition near
  // this wall time. A wall time that exists once matches one of them; one
  // that exists twice (autumn) matches both and the earlier instant wins;
  // one in a spring gap matches neither and is read with the offset in force
  // before the gap, so it lands as far after the gap as it lies inside it.
  long before = 0, after = 0;
  if (!LocalOffset(static_cast<time_t>(wall - kSecPerDay), before)) before = 0;
  if (!LocalOffset(static_cast<time_t>(wall + kSecPerDay), after)) after = before;
  const int64_t c1 = wall - before;
  const int64_t c2 = wall - after;
  long o1 = 0, o2 = 0;
  const bool v1 = LocalOffset(static_cast<time_t>(c1), o1) && o1 == before;
  const bool v2 = LocalOffset(static_cast<time_t>(c2), o2) && o2 == after;
  int64_t sec = c1;
  if (v1 && v2) {
    sec = c1 < c2 ? c1 : c2;
  } else if (v2) {
    sec = c2;
  }
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(sec);
  ts.tv_nsec = msRest * 1000000L;
  return ts;
}

uint32_t UnixToDos(const timespec& in) {
  const timespec ts = Normalize(in);
  tm local{};
  if (localtime_r(&ts.tv_sec, &local) == nullptr) return ts.tv_sec < 0 ? kDosLowest : kDosHighest;
  return PackDos(local);
}

uint32_t UnixToDosUtc(const timespec& in) {
  const timespec ts = Normalize(in);
  tm utc{};
  if (gmtime_r(&ts.tv_sec, &utc) == nullptr) return ts.tv_sec < 0 ? kDosLowest : kDosHighest;
  return PackDos(utc);
}

uint32_t LocalDosClock::ToDos(const timespec& in) {
  const timespec ts = Normalize(in);
  constexpr int64_t kFar = int64_t{1} << 40;  // far beyond the DOS years either way
  const int64_t sec = ts.tv_sec;
  if (sec <= -kFar || sec >= kFar || (misses_ >= 8 && misses_ > hits_)) return UnixToDos(ts);
  const int64_t hour = FloorDiv(sec, 3600);
  if (hour != hour_) {
    ++misses_;
    hour_ = hour;
    int64_t atEnd = 0;
    steady_ = WallOffset(hour * 3600, offset_) && WallOffset(hour * 3600 + 3599, atEnd) && atEnd == offset_;
  } else {
    ++hits_;
  }
  if (!steady_) return UnixToDos(ts);
  const int64_t wall = sec + offset_;
  const int64_t days = FloorDiv(wall, kSecPerDay);
  const int64_t rest = wall - days * kSecPerDay;
  int year = 0, month = 0, day = 0;
  CivilFromDays(days, year, month, day);
  return PackDos(year, month, day, static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                 static_cast<int>(rest % 60));
}

}  // namespace mv
