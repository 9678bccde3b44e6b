#include "jobs/schedule.h"

#include <cmath>
#include <mutex>
#include <numeric>
#include <random>
#include <utility>

#include "jobs/jobrecord.h"
#include "platform/barlist.h"
#include "platform/clock.h"
#include "platform/profile.h"

namespace mv {

namespace {

constexpr int64_t kMsPerMinute = 60'000;
constexpr int64_t kMsPerDay = 86'400'000;
constexpr int64_t kMsPerWeek = 7 * kMsPerDay;

// 0001-01-01 .. 9999-12-31: anything outside is a damaged value, not a date.
constexpr double kMinDateTime = -693593.0;
constexpr double kMaxDateTime = 2958466.0;

std::mutex g_randomMutex;
std::function<double()> g_randomForTesting;

// Uniform in [0, 1).
double DrawUniform() {
  {
    std::lock_guard<std::mutex> lock(g_randomMutex);
    if (g_randomForTesting) return g_randomForTesting();
  }
  thread_local std::mt19937_64 engine{std::random_device{}()};
  return std::uniform_real_distribution<double>(0.0, 1.0)(engine);
}

// A whole number from 0 to range - 1 (0 for an empty range).
int64_t DrawBelow(int64_t range) {
  if (range <= 0) return 0;
  const double u = DrawUniform();
  if (!(u > 0.0)) return 0;  // also NaN
  const auto n = static_cast<int64_t>(std::floor(u * static_cast<double>(range)));
  return n >= range ? range - 1 : n;
}

bool IsValidDate(double v) { return std::isfinite(v) && v >= kMinDateTime && v < kMaxDateTime; }

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// Whole milliseconds keep long runs of steps exact; the double arithmetic of
// the file values would drift.
int64_t ToMs(DateTime t) { return std::llround(t * static_cast<double>(kMsPerDay)); }

DateTime FromMs(int64_t ms) {
  const int64_t day = FloorDiv(ms, kMsPerDay);
  return static_cast<double>(day) +
         static_cast<double>(ms - day * kMsPerDay) / static_cast<double>(kMsPerDay);
}

// Sunday 0 ... Saturday 6; day 0 (1899-12-30) was a Saturday.
int WeekdayOf(int64_t ms) {
  const int64_t day = FloorDiv(ms, kMsPerDay);
  return static_cast<int>(((day + 6) % 7 + 7) % 7);
}

// First value base + k * step (k >= 0) that is not below limit.
int64_t FirstStepAtOrAfter(int64_t base, int64_t step, int64_t limit) {
  if (base >= limit) return base;
  return base + (limit - base + step - 1) / step * step;
}

class ScheduleFile {
 public:
  explicit ScheduleFile(const std::string& file) : file_(file) {}

  int32_t Int(const char* key, int32_t def) const { return file_.ReadInt(kScheduleSection, key, def); }
  bool Bool(const char* key, bool def) const { return Int(key, def ? 1 : 0) != 0; }
  std::string String(const char* key) const {
    return file_.ReadString(kScheduleSection, key, "");
  }
  // Values such as 1e300 read as def: no date lies there.
  DateTime Date(const char* key, DateTime def) const {
    const double v = file_.ReadDouble(kScheduleSection, key, def);
    return IsValidDate(v) ? v : def;
  }
  // The fields are 16 bits wide and take the low 16 bits of what is read, as
  // files of older versions expect.
  uint16_t Interval(const char* key, uint16_t current) const {
    return static_cast<uint16_t>(static_cast<uint32_t>(Int(key, current)) & 0xFFFFu);
  }

 private:
  const ProfileSnapshot file_;
};

}  // namespace

void TTSchedule::Create() { *this = TTSchedule(); }

void TTSchedule::Assign(const TTSchedule& source) {
  PendingJobID = source.PendingJobID;
  Queued = source.Queued;
  RunOnce = source.RunOnce;
  Options = source.Options;
  Flags = source.Flags;
  NextRun = source.NextRun;
  Weekdays = source.Weekdays;
  Days = source.Days;
  Hours = source.Hours;
  Minutes = source.Minutes;
}

void TTSchedule::SetHold(bool on) {
  Flags = static_cast<uint16_t>(on ? (Flags | SCHED_HOLD) : (Flags & ~SCHED_HOLD));
}

void TTSchedule::SetEditHold(bool on) {
  Flags = static_cast<uint16_t>(on ? (Flags | SCHED_EDIT_HOLD) : (Flags & ~SCHED_EDIT_HOLD));
}

bool TTSchedule::HasSchedule() const {
  return RunOnce || static_cast<int>(Days) + Hours + Minutes > 0;
}

void TTSchedule::ComputeNextRun() {
  RunOnce = false;
  if (!HasSchedule()) return;
  if (IsHeld()) return;

  const DateTime now = Now();
  // A damaged in-memory value counts as long past; one beyond the last date
  // is simply not reached.
  DateTime from = NextRun;
  if (std::isnan(from) || from < kMinDateTime) from = kMinDateTime;
  if (from < now) {
    const int64_t step =
        ((static_cast<int64_t>(Days) * 24 + Hours) * 60 + Minutes) * kMsPerMinute;
    int64_t limit = ToMs(now);
    const int64_t first = FirstStepAtOrAfter(ToMs(from), step, limit);

    // A value with none of the seven day bits allows no day at all; like 0 it
    // becomes Sunday only, so the search below always has a day to land on.
    if ((Weekdays & SCHED_ALL_WEEKDAYS) == 0) Weekdays = 1;

    // Every candidate after a disallowed one lies the same whole number of
    // steps further (the first step at or after one day past it), so the
    // candidates repeat their position in the week after at most
    // week / gcd(advance, week) tries: beyond that no allowed day is ever hit.
    const int64_t advance = FirstStepAtOrAfter(0, step, kMsPerDay);
    const int64_t period = kMsPerWeek / std::gcd(advance, kMsPerWeek);
    int64_t candidate = first;
    bool found = false;
    const int64_t lastMs = ToMs(kMaxDateTime);
    for (int64_t i = 0; i < period && candidate < lastMs; ++i) {
      if ((Weekdays >> WeekdayOf(candidate)) & 1) {
        found = true;
        break;
      }
      limit = candidate + kMsPerDay;
      candidate = FirstStepAtOrAfter(candidate, step, limit);
    }
    // The interval can never land on an allowed day (e.g. every 7 days from a
    // Sunday with only Monday allowed), or only beyond the calendar: run at
    // the interval rather than never.
    NextRun = FromMs(found ? candidate : first);
  }

  Delay = 0;
  if (Options & SCHED_OPT_RANDOM_DELAY) {
    int64_t range = 0;
    if (Days > 0) {
      range = 60;
    } else if (Hours > 0) {
      // Hours * 2.5 rounded half to even.
      const int64_t fivefold = static_cast<int64_t>(Hours) * 5;
      range = fivefold / 2;
      if ((fivefold % 2) != 0 && (range % 2) != 0) ++range;
    }
    Delay = static_cast<double>(DrawBelow(range)) / 1440.0;
  }
}

int64_t TTSchedule::TrackingWindow() const {
  if (!HasSchedule()) return 0;
  return static_cast<int64_t>(Days) * 7200 + static_cast<int64_t>(Hours) * 300 +
         static_cast<int64_t>(Minutes) * 5;
}

int TTSchedule::RenameInChain(const std::string& oldName, const std::string& newName) {
  // No job is named "" and a name with "|" cannot stand in a chain: either
  // would match a gap or several members instead of one name.
  if (oldName.empty() || oldName.find('|') != std::string::npos) return 0;
  // Names match whole and exactly, blanks included.
  std::vector<std::string> names;
  for (std::string_view name : SplitBarList(RunAfterSuccess)) names.emplace_back(name);
  for (std::string& name : names) {
    if (name != oldName) continue;
    name = newName;
    RunAfterSuccess = JoinBarList(names);
    return 1;
  }
  return 0;
}

int TTSchedule::Load(const std::string& file) {
  try {
    const ScheduleFile in(file);
    SetHold(in.Bool("hold", IsHold()));
    LastRun = in.Date("lastrun", 0);
    LastRunComplete = in.Date("lastruncomplete", 0);
    NextRun = in.Date("nextrun", Now());
    RunOnce = in.Bool("runonce", false);
    Options = in.Int("options", 0);
    Delay = in.Date("delay", 0);
    Weekdays = in.Int("weekdays", Weekdays);
    Days = in.Interval("days", Days);
    Hours = in.Interval("hours", Hours);
    Minutes = in.Interval("minutes", Minutes);
    RunAfterSuccess = in.String("runaftersuccess");
    RunAfterSuccessEnabled = in.Bool("runaftersuccess_enabled", false);
    RunAfterSuccessW = in.String("runaftersuccessW");
    RunAfterSuccessWEnabled = in.Bool("runaftersuccessW_enabled", false);
    return 0;
  } catch (...) {
    return -1;
  }
}

int TTSchedule::LoadTemplate(const std::string& file) {
  try {
    const ScheduleFile in(file);
    SetHold(in.Bool("hold", IsHold()));
    RunOnce = in.Bool("runonce", RunOnce);
    Options = in.Int("options", Options);
    NextRun = in.Date("nextrun", NextRun);
    Weekdays = in.Int("weekdays", Weekdays);
    Days = in.Interval("days", Days);
    Hours = in.Interval("hours", Hours);
    Minutes = in.Interval("minutes", Minutes);
    return 0;
  } catch (...) {
    return -1;
  }
}

int TTSchedule::Save(const std::string& file, bool asTemplate) const {
  try {
    ProfileBatch out(file);
    if (Save(out, asTemplate) != 0) return -1;
    return out.Commit() ? 0 : -1;
  } catch (...) {
    return -1;
  }
}

int TTSchedule::Save(ProfileBatch& out, bool asTemplate) const {
  try {
    const auto putInt = [&out](const char* key, int64_t v) {
      return out.WriteInt(kScheduleSection, key, v);
    };
    const auto putBool = [&](const char* key, bool v) { return putInt(key, v ? 1 : 0); };
    const auto putDate = [&out](const char* key, DateTime v) {
      return out.WriteDouble(kScheduleSection, key, v);
    };
    const auto putString = [&out](const char* key, const std::string& v) {
      return out.WriteString(kScheduleSection, key, v);
    };
    bool ok = putBool("hold", IsHold()) && putBool("runonce", RunOnce);
    if (ok && !asTemplate) ok = putDate("lastrun", LastRun) && putDate("lastruncomplete", LastRunComplete);
    ok = ok && putDate("nextrun", NextRun) && putInt("options", Options) &&
         putDate("delay", Delay) && putInt("weekdays", Weekdays) && putInt("days", Days) &&
         putInt("hours", Hours) && putInt("minutes", Minutes) &&
         putString("runaftersuccess", RunAfterSuccess) &&
         putBool("runaftersuccess_enabled", RunAfterSuccessEnabled) &&
         putString("runaftersuccessW", RunAfterSuccessW) &&
         putBool("runaftersuccessW_enabled", RunAfterSuccessWEnabled);
    return ok ? 0 : -1;
  } catch (...) {
    return -1;
  }
}

void AssignSchedule(TTFileThreadControl& job, TTSchedule& schedule) {
  if (!job.Schedule) job.Schedule = std::make_unique<TTSchedule>();
  job.Schedule->Assign(schedule);
  const int64_t pending = job.Schedule->PendingJobID;
  if (pending != 0) {
    schedule.PendingJobID = 0;
    job.JobID = pending;
    job.Schedule->PendingJobID = 0;
  }
}

void SetScheduleRandomForTesting(std::function<double()> uniform) {
  std::lock_guard<std::mutex> lock(g_randomMutex);
  g_randomForTesting = std::move(uniform);
}

}  // namespace mv
