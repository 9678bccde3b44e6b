#pragma once
// What the "Job Schedule" dialog decides, without widgets: the values its
// controls show, which controls are enabled, the counter guard, "Reset", the
// two chaining lists, and what OK writes back into the schedule record.

#include <cstdint>
#include <string>
#include <vector>

#include "jobs/schedule.h"
#include "platform/datetime.h"

namespace mv {

// Ranges of the "Repeat options" counters.
inline constexpr int kScheduleMinutesMax = 55;
inline constexpr int kScheduleMinutesStep = 5;
inline constexpr int kScheduleHoursMax = 23;
inline constexpr int kScheduleDaysMax = 65535;

// The chaining lists: job names joined with "|". Splitting drops leading
// spaces of each name and names that are empty.
std::vector<std::string> SplitChain(const std::string& chain);
std::string JoinChain(const std::vector<std::string>& names);

// One chaining list as its drop-down shows it.
struct ChainList {
  bool Enabled = false;  // the check box in front of it
  std::vector<std::string> Names;
  int Selected = -1;  // -1: nothing selected

  // Adds a name that is not empty and not yet in the list, then selects the
  // first item. False when nothing was added.
  bool Add(const std::string& name);
  // Deletes the selected item and selects the item now at its place (the new
  // last one when the last was deleted). False when nothing is selected.
  bool DeleteSelected();
  bool Contains(const std::string& name) const;
};

enum class ChainKind { Success, SuccessWorkDone };

class ScheduleDialogState {
 public:
  // Loads the controls from the record. A NextRun of 0 is first replaced by
  // now in the record itself (it keeps that value even on Cancel).
  // queueLoaded: the queue folder has been loaded in this program run.
  void Load(TTSchedule& record, bool queueLoaded, DateTime now);
  // OK: writes the controls into the record.
  void Store(TTSchedule& record) const;
  // "Reset" after the user confirmed it.
  void Reset(DateTime now);

  // Whole days of the date picker and the time picker's fraction of a day.
  int64_t Date() const { return date_; }
  double Time() const { return time_; }
  void SetDate(int64_t days) { date_ = days; }
  // Takes the fraction of a day of t (0 <= fraction < 1).
  void SetTime(double fractionOfDay);
  DateTime NextRun() const { return static_cast<double>(date_) + time_; }

  int Minutes() const { return minutes_; }
  int Hours() const { return hours_; }
  int Days() const { return days_; }
  // A change outside the counter's range is brought into it (minutes to a
  // multiple of 5). False when the counter guard refuses the change: it would
  // make minutes + hours + days less than 1 while "queued Job" is checked.
  bool SetMinutes(int minutes);
  bool SetHours(int hours);
  bool SetDays(int days);

  bool Queued() const { return queued_; }
  bool Hold() const { return hold_; }
  bool RemoteHold() const { return remoteHold_; }
  bool RandomDelay() const { return randomDelay_; }
  bool RunOnce() const { return runOnce_; }
  void SetQueued(bool on) { queued_ = on; }
  void SetHold(bool on) { hold_ = on; }
  void SetRandomDelay(bool on) { randomDelay_ = on; }
  void SetRunOnce(bool on) { runOnce_ = on; }

  // Bit 0 Sunday ... bit 6 Saturday.
  int32_t Weekdays() const { return weekdays_; }
  bool Weekday(int day) const { return (weekdays_ >> day) & 1; }
  void SetWeekday(int day, bool on);

  ChainList& Chain(ChainKind kind) {
    return kind == ChainKind::Success ? success_ : successWork_;
  }
  const ChainList& Chain(ChainKind kind) const {
    return kind == ChainKind::Success ? success_ : successWork_;
  }

  // Enable states.
  bool HasRepeat() const { return runOnce_ || minutes_ + hours_ + days_ > 0; }
  bool DateTimeEnabled() const { return HasRepeat(); }
  bool QueuedEnabled() const { return queueLoaded_ && DateTimeEnabled(); }
  // The group is shown and enabled only while "Run once" is unchecked.
  bool RepeatOptionsEnabled() const { return !runOnce_; }
  bool RunOnceEnabled() const { return minutes_ + hours_ + days_ == 0; }
  // Delete buttons of the chaining lists.
  bool ChainDeleteEnabled(ChainKind kind) const { return Chain(kind).Selected >= 0; }

 private:
  bool Guarded(int minutes, int hours, int days) const;

  int64_t date_ = 0;
  double time_ = 0;
  int minutes_ = 0, hours_ = 0, days_ = 0;
  bool queued_ = false, hold_ = false, remoteHold_ = false;
  bool randomDelay_ = false, runOnce_ = false;
  bool queueLoaded_ = false;
  int32_t weekdays_ = SCHED_ALL_WEEKDAYS;
  ChainList success_, successWork_;
};

}  // namespace mv
