#include "app/checkjob.h"

#include <sstream>

#include "app/datadirs.h"
#include "jobs/jobfile.h"
#include "jobs/jobrecord.h"
#include "jobs/jobtext.h"
#include "platform/datetext.h"

namespace mv {
namespace {

std::string YesNo(bool b) { return b ? "yes" : "no"; }

std::string IntervalText(const TTSchedule& s) {
  if (s.Days + s.Hours + s.Minutes == 0) return "none";
  std::string text = "every";
  auto part = [&](unsigned n, const char* unit) {
    if (n) text += " " + std::to_string(n) + " " + unit + (n == 1 ? "" : "s");
  };
  part(s.Days, "day");
  part(s.Hours, "hour");
  part(s.Minutes, "minute");
  return text;
}

std::string WeekdaysText(int32_t weekdays) {
  static const char* const kNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  if ((weekdays & 0x7F) == 0x7F) return "every day";
  if ((weekdays & 0x7F) == 0) return "none set (runs on Sundays only)";
  std::string text;
  for (int d = 0; d < 7; ++d)
    if (weekdays & (1 << d)) text += (text.empty() ? "" : " ") + std::string(kNames[d]);
  return text;
}

std::string ChainText(bool enabled, const std::string& names) {
  if (names.empty()) return "none";
  return names + (enabled ? "" : " (disabled)");
}

}  // namespace

std::string ScheduleInWords(const TTSchedule& s) {
  std::ostringstream out;
  out << "interval: " << IntervalText(s) << "\n";
  out << "weekdays: " << WeekdaysText(s.Weekdays) << "\n";
  out << "hold: " << YesNo(s.IsHold()) << "\n";
  out << "run once: " << YesNo(s.RunOnce) << "\n";
  out << "random delay: " << ((s.Options & SCHED_OPT_RANDOM_DELAY) ? "allowed" : "no") << "\n";
  out << "after success: " << ChainText(s.RunAfterSuccessEnabled, s.RunAfterSuccess) << "\n";
  out << "after success with work done: "
      << ChainText(s.RunAfterSuccessWEnabled, s.RunAfterSuccessW) << "\n";
  out << "next due: ";
  if (!s.HasSchedule())
    out << "never (no interval and not run once)";
  else if (s.IsHeld())
    out << "held";
  else if (s.DueTime() <= 0)
    out << "at once";
  else
    out << DateTimeToStr(s.DueTime());
  out << "\n";
  return out.str();
}

int CheckJobFile(const std::string& file, const DataDirs& dirs, std::ostream& out,
                 std::ostream* errors) {
  TTFileThreadControl job("from file...", nullptr, dirs.QueueDir, dirs.ControlDir, nullptr,
                          {.DrawId = false});
  const int result = job.Load(file);
  out << "load result: " << result << "\n";
  out << "parameters:\n";
  ReportJobParameters(job, [&](const std::string& line, uint32_t) { out << line << "\n"; });
  if (job.JobID > 0)
    out << "ID: " << job.IdText() << " (queued)\n";
  else
    out << "ID: none stored (a new ID is drawn when the job is loaded)\n";
  out << ScheduleInWords(*job.Schedule);
  const bool valid = result == 0 && !job.Actions.empty();
  if (valid)
    out << "valid: yes\n";
  else if (result == 1)
    out << "valid: no (the job has no description, or the file is missing)\n";
  else if (job.Actions.empty())
    out << "valid: no (the job has no actions)\n";
  else
    out << "valid: no (the file could not be read)\n";
  if (errors) {
    out << std::flush;
    for (JobFileProblem& ignored : FindIgnoredLines(file)) {
      ignored.Text = "warning: " + ignored.Text;
      *errors << JobFileProblemMessage(file, ignored) << "\n";
    }
    if (!valid) *errors << JobFileProblemMessage(file, FindJobFileProblem(file, result, job)) << "\n";
  }
  return valid ? 0 : 1;
}

}  // namespace mv
