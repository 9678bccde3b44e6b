#include "dialogs/scheduledialogstate.h"

#include <algorithm>
#include <cmath>

#include "platform/barlist.h"

namespace mv {

std::vector<std::string> SplitChain(const std::string& chain) {
  // As the run queue reads the list: leading blanks dropped, gaps name no job.
  std::vector<std::string> names;
  for (std::string_view item : SplitBarList(chain)) {
    const std::size_t first = item.find_first_not_of(' ');
    if (first != std::string_view::npos) names.emplace_back(item.substr(first));
  }
  return names;
}

std::string JoinChain(const std::vector<std::string>& names) { return JoinBarList(names); }

bool ChainList::Contains(const std::string& name) const {
  return std::find(Names.begin(), Names.end(), name) != Names.end();
}

bool ChainList::Add(const std::string& name) {
  if (name.empty() || Contains(name)) return false;
  Names.push_back(name);
  Selected = 0;
  return true;
}

bool ChainList::DeleteSelected() {
  if (Selected < 0 || Selected >= static_cast<int>(Names.size())) return false;
  Names.erase(Names.begin() + Selected);
  Selected = std::min(Selected, static_cast<int>(Names.size()) - 1);
  return true;
}

void ScheduleDialogState::Load(TTSchedule& record, bool queueLoaded, DateTime now) {
  if (record.NextRun == 0) record.NextRun = now;
  const double days = std::floor(record.NextRun);
  date_ = static_cast<int64_t>(days);
  time_ = record.NextRun - days;
  minutes_ = record.Minutes;
  hours_ = record.Hours;
  days_ = record.Days;
  queued_ = record.Queued;
  hold_ = record.IsHold();
  remoteHold_ = (record.Flags & SCHED_REMOTE_HOLD) != 0;
  randomDelay_ = (record.Options & SCHED_OPT_RANDOM_DELAY) != 0;
  runOnce_ = record.RunOnce;
  queueLoaded_ = queueLoaded;
  weekdays_ = record.Weekdays;
  success_ = {record.RunAfterSuccessEnabled, SplitChain(record.RunAfterSuccess), -1};
  successWork_ = {record.RunAfterSuccessWEnabled, SplitChain(record.RunAfterSuccessW), -1};
  if (!success_.Names.empty()) success_.Selected = 0;
  if (!successWork_.Names.empty()) successWork_.Selected = 0;
}

void ScheduleDialogState::Store(TTSchedule& record) const {
  record.NextRun = NextRun();
  record.Minutes = static_cast<uint16_t>(minutes_);
  record.Hours = static_cast<uint16_t>(hours_);
  record.Days = static_cast<uint16_t>(days_);
  record.Queued = queued_;
  record.SetHold(hold_);
  record.RunOnce = runOnce_;
  record.Options = randomDelay_ ? SCHED_OPT_RANDOM_DELAY : 0;
  record.Weekdays = weekdays_;
  record.RunAfterSuccessEnabled = success_.Enabled;
  record.RunAfterSuccess = JoinChain(success_.Names);
  record.RunAfterSuccessWEnabled = successWork_.Enabled;
  record.RunAfterSuccessW = JoinChain(successWork_.Names);
}

void ScheduleDialogState::Reset(DateTime now) {
  minutes_ = hours_ = days_ = 0;
  queued_ = hold_ = randomDelay_ = false;
  const double days = std::floor(now);
  date_ = static_cast<int64_t>(days);
  time_ = now - days;
  weekdays_ = SCHED_ALL_WEEKDAYS;
  success_ = {};
  successWork_ = {};
}

void ScheduleDialogState::SetTime(double fractionOfDay) {
  time_ = fractionOfDay - std::floor(fractionOfDay);
}

bool ScheduleDialogState::Guarded(int minutes, int hours, int days) const {
  return queued_ && minutes + hours + days < 1;
}

bool ScheduleDialogState::SetMinutes(int minutes) {
  minutes = std::clamp(minutes, 0, kScheduleMinutesMax) / kScheduleMinutesStep * kScheduleMinutesStep;
  if (Guarded(minutes, hours_, days_)) return false;
  minutes_ = minutes;
  return true;
}

bool ScheduleDialogState::SetHours(int hours) {
  hours = std::clamp(hours, 0, kScheduleHoursMax);
  if (Guarded(minutes_, hours, days_)) return false;
  hours_ = hours;
  return true;
}

bool ScheduleDialogState::SetDays(int days) {
  days = std::clamp(days, 0, kScheduleDaysMax);
  if (Guarded(minutes_, hours_, days)) return false;
  days_ = days;
  return true;
}

void ScheduleDialogState::SetWeekday(int day, bool on) {
  if (day < 0 || day > 6) return;
  if (on)
    weekdays_ |= 1 << day;
  else
    weekdays_ &= ~(1 << day);
}

}  // namespace mv
