#include "jobs/jobtext.h"

#include <cctype>
#include <cfenv>
#include <cmath>
#include <limits>

#include "platform/datetext.h"

namespace mv {

namespace {

const char* const kUnknownError = "UNKNOWN (ERROR)";

const TTFileAction* FirstAction(const TTFileThreadControl& job) {
  return job.Actions.empty() ? nullptr : job.Actions.front().get();
}

// Removes a trailing "| ", keeping the blank before the bar.
void DropTrailingBar(std::string& text) {
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, "| ") == 0) text.resize(text.size() - 2);
}

bool ShowsAgeLimit(int32_t jobType) { return jobType == JOB_ANALYZE || jobType == JOB_NETWARE_PURGE; }

std::string AgeSuffix(int32_t days) { return " [ older than " + std::to_string(days) + " day(s) ]"; }

// Rounds to the nearest integer, halves to even, whatever rounding mode the
// process has set.
double RoundHalfEven(double v) {
  const int saved = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const double r = std::nearbyint(v);
  std::fesetround(saved);
  return r;
}

// Value of a rate in KBit/s expressed in the given (explicit) unit.
double SpeedInUnit(double kbit, int32_t unit) {
  switch (unit) {
    case kSpeedUnitKBS: return kbit * 0.125;
    case kSpeedUnitMBitS: return kbit / 1024;
    case kSpeedUnitMBS: return kbit / 8192;
    case kSpeedUnitMBMin: return kbit / 8192 * 60;
    default: return kbit;
  }
}

const char* SpeedUnitText(int32_t unit) {
  switch (unit) {
    case kSpeedUnitKBS: return " KB/s";
    case kSpeedUnitMBitS: return " MBit/s";
    case kSpeedUnitMBS: return " MB/s";
    case kSpeedUnitMBMin: return " MB/min";
    default: return " KBit/s";
  }
}

// A rate that is not a finite, non-negative number (a run of zero seconds)
// has nothing sensible to show but 0.
double SaneRate(double kbit) { return std::isfinite(kbit) && kbit > 0 ? kbit : 0.0; }

// Rounded value as int64, saturating instead of overflowing.
int64_t ClampToInt64(double v) {
  if (v >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
  if (v <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(v);
}

// Only points of the years 1 to 9999 have a calendar text.
bool Formattable(DateTime t) {
  static const DateTime lo = EncodeDateTime({1, 1, 1, 0, 0, 0, 0});
  static const DateTime hi = EncodeDateTime({9999, 12, 31, 23, 59, 59, 999});
  return std::isfinite(t) && t >= lo && t <= hi;
}

// The character the locale's long time puts between hour and minute.
std::string TimeSeparator() {
  const std::string fmt = LongTimeFormat();
  bool inQuote = false;
  char quote = 0;
  for (char c : fmt) {
    if (inQuote) {
      if (c == quote) inQuote = false;
    } else if (c == '"' || c == '\'') {
      inQuote = true;
      quote = c;
    } else if (!std::isalnum(static_cast<unsigned char>(c)) && c != ' ') {
      return std::string(1, c);
    }
  }
  return ":";
}

}  // namespace

std::string GroupedDecimal(int64_t n) {
  // Magnitude as unsigned, so INT64_MIN has one too.
  uint64_t magnitude = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
  const std::string digits = std::to_string(magnitude);
  std::string out;
  out.reserve(digits.size() + digits.size() / 3 + 1);
  if (n < 0) out += '-';
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string AttrText(int32_t mask) {
  std::string out = "[";
  if (mask & 0x01) out += 'R';
  if (mask & 0x02) out += 'H';
  if (mask & 0x04) out += 'S';
  if (mask & 0x08) out += 'V';
  if (mask & 0x20) out += 'A';
  out += ']';
  return out;
}

std::string DirectionText(uint32_t options) {
  switch (options & OPT_DIR_MASK) {
    case OPT_DIR_TO_TARGET: return "Copy from source: ";
    case OPT_DIR_TO_SOURCE: return "Copy from target: ";
    case OPT_DIR_BOTH: return "Copy both: ";
    default: return std::string(kUnknownError) + ": ";
  }
}

std::string ConflictText(uint32_t options) {
  switch (options & OPT_CONFLICT_MASK) {
    case OPT_OVERWRITE_ALL: return "all files (overwrite files)";
    case OPT_SKIP_EXISTING: return "missed files (skip existing file)";
    case OPT_OVERWRITE_OLDER: return "newer files (overwrite older files)";
    default: return kUnknownError;
  }
}

std::string ActionText(const TTFileThreadControl& job) {
  const TTFileAction* first = FirstAction(job);
  if (!first) return kUnknownError;
  switch (first->JobType) {
    case JOB_COPY: return DirectionText(first->Options) + ConflictText(first->Options);
    case JOB_ANALYZE: return "ANALYZE";
    case JOB_NETWARE_PURGE: return "NWPURGE";
    case JOB_DELETE: return "DELETE files";
    default: return std::string(kUnknownError) + ": ";
  }
}

std::string OptionsText(const TTFileThreadControl& job) {
  const TTFileAction* first = FirstAction(job);
  if (!first) return kUnknownError;
  const uint32_t o = first->Options;
  const TTDirFilter* filter = job.Filter.get();
  std::string text;
  switch (first->JobType) {
    case JOB_COPY:
      if (o & OPT_NO_NEW_DIRS) text += "Don't create new dirs | ";
      if (o & OPT_EMPTY_DIRS) text += "Create empty dirs | ";
      if (o & OPT_NO_NEW_FILES) text += "Don't create new files | ";
      if (o & OPT_MIRROR) text += "Match source | ";
      if (o & OPT_CLEAR_ARCHIVE) text += "Clear archive bit | ";
      if (o & OPT_LOG_ONLY_COPY) text += "DONT COPY (log) | ";
      if (o & OPT_LOG_ONLY_DELETE) text += "DONT DELETE (log) | ";
      if (filter && filter->SubdirDepth() > 0)
        text += "  (Subdir lvls: " + std::to_string(filter->SubdirDepth()) + ")";
      break;
    case JOB_ANALYZE:
      if (filter) {
        text += "Subfolder level: " + std::to_string(filter->ReportDirLevelMin) + "-" +
                std::to_string(filter->ReportDirLevel) + " | ";
        if (filter->ReportPathLengthEnabled)
          text += "PathLen>" + std::to_string(filter->ReportPathLength) + " | ";
      }
      break;
    case JOB_NETWARE_PURGE:
      break;
    case JOB_DELETE:
      if (o & OPT_LOG_ONLY_DELETE) text += "DONT DELETE (log) | ";
      if (o & OPT_PURGE_AFTER_DELETE) text += "purge | ";
      break;
    default:
      text = kUnknownError;
      break;
  }
  DropTrailingBar(text);
  return text;
}

std::string IncludeFilesText(const TTFileThreadControl& job) {
  if (!job.Filter) return {};
  std::string text = job.Filter->IncludeFileNames;
  if (ShowsAgeLimit(job.FirstJobType()) && job.Filter->FileAgeMinDays > -1)
    text += AgeSuffix(job.Filter->FileAgeMinDays);
  return text;
}

std::string SourceText(const TTFileThreadControl& job) {
  const TTFileAction* first = FirstAction(job);
  if (!first) return {};
  std::string text = first->SourcePath + " ";
  for (const auto& a : job.Actions)
    if (!a->Source.empty()) text += "[ " + a->Source + " ] ";
  return text;
}

std::string TargetText(const TTFileThreadControl& job) {
  const TTFileAction* first = FirstAction(job);
  if (!first) return {};
  std::string text = first->TargetPath + " ";
  for (const auto& a : job.Actions)
    if (!a->Target.empty()) text += "[ " + a->Target + " ] ";
  return text;
}

void ReportJobParameters(const TTFileThreadControl& job, const ReportLineSink& sink) {
  const TTFileAction* first = FirstAction(job);
  if (!first || !sink) return;
  auto line = [&](const std::string& text) { sink(text, kParameterLineMailFlags); };

  line("Action : " + ActionText(job));
  if (!job.MacroSource.empty()) line("Source definition: " + job.MacroSource);
  line("Source : " + first->SourcePath);
  for (const auto& a : job.Actions)
    if (!a->Source.empty()) line(" -- " + a->Source);
  if (first->JobType == JOB_COPY) {
    line("Target : " + first->TargetPath);
    for (const auto& a : job.Actions)
      if (!a->Target.empty()) line(" -- " + a->Target);
  }
  line("Options: " + OptionsText(job));

  const TTDirFilter* f = job.Filter.get();
  if (!f) return;
  if (!f->IncludeFileNames.empty()) line("Include Files: " + IncludeFilesText(job));
  if (!f->ExcludeFileNames.empty()) line("Exclude Files: " + f->ExcludeFileNames);
  if (!f->IncludeDirNames.empty()) {
    line("Include Dirs : " + f->IncludeDirNames);
    line("Include Dirs Max Depth: " + std::to_string(f->IncludeDirLevel));
  }
  if (!f->ExcludeDirNames.empty()) line("Exclude Dirs  : " + f->ExcludeDirNames);
}

std::string RecipientsText(const std::vector<TMVRecipient>& recipients) {
  std::string text;
  for (const auto& r : recipients) text += r.Address + " | ";
  return text;
}

std::optional<JobParametersPanel> ShowJobParameters(const TTFileThreadControl& job) {
  if (!FirstAction(job)) return std::nullopt;
  JobParametersPanel p;
  p.Caption = "Options for Job \"" + job.Description + "\"  (ID " + JobIdText(job.JobID) + ")";
  p.SourceDefinition = job.MacroSource;
  p.Source = SourceText(job);
  p.Target = job.FirstJobType() == JOB_COPY ? TargetText(job) : "N/A";
  p.Action = ActionText(job);
  p.Options = OptionsText(job);
  if (const TTDirFilter* f = job.Filter.get()) {
    p.IncludeFiles = f->IncludeFileNames;
    if (ShowsAgeLimit(job.FirstJobType()) && f->FileAgeMinDays > 0)
      p.IncludeFiles += AgeSuffix(f->FileAgeMinDays);
    if (f->AllowedAttributes != 0x3F) p.IncludeFiles += " allow:" + AttrText(f->AllowedAttributes);
    if (f->RequiredAttributes != 0) p.IncludeFiles += " require:" + AttrText(f->RequiredAttributes);
    p.ExcludeFiles = f->ExcludeFileNames;
    if (!f->IncludeDirNames.empty())
      p.IncludeDirs = "[max depth " + std::to_string(f->IncludeDirLevel) + "]" + f->IncludeDirNames;
    p.ExcludeDirs = f->ExcludeDirNames;
  }
  if (job.Mail) p.MailRecipients = RecipientsText(job.Mail->Message.ToAddress);
  const DateTime complete = job.Schedule ? job.Schedule->LastRunComplete : 0;
  p.LastCompleteRun = complete > 0 ? DateTimeText(complete) : "--------";
  return p;
}

int32_t StatusCode(const TTFileThreadControl& job) {
  if (job.Thread) return kStatusRunning;
  const bool queued = job.Schedule && job.Schedule->Queued;
  const bool held = job.Schedule && job.Schedule->IsHeld();
  if (queued) return held ? kStatusQueuedHeld : kStatusQueued;
  return held ? kStatusIdleHeld : kStatusIdle;
}

std::string StatusText(const TTFileThreadControl& job, bool threadSuspended) {
  std::string text = "Job thread is";
  if (!job.Thread)
    text += " not running";
  else if (threadSuspended)
    text += " stopped";
  else
    text += " running";
  return text;
}

int32_t AutoSpeedUnit(double kbitPerSecond) {
  const double r = SaneRate(kbitPerSecond);
  for (int32_t unit : {kSpeedUnitMBS, kSpeedUnitMBitS, kSpeedUnitMBMin, kSpeedUnitKBS})
    if (RoundHalfEven(SpeedInUnit(r, unit)) >= 100) return unit;  // as it would be shown
  return kSpeedUnitKBitS;
}

std::string SpeedText(double kbitPerSecond, int32_t unit) {
  if (unit < kSpeedUnitAuto || unit > kSpeedUnitMBMin) return "<speed unknown>";
  const double r = SaneRate(kbitPerSecond);
  if (unit == kSpeedUnitAuto) unit = AutoSpeedUnit(r);
  return GroupedDecimal(ClampToInt64(RoundHalfEven(SpeedInUnit(r, unit)))) + SpeedUnitText(unit);
}

std::string SpeedText(const TTFileThreadControl& job) { return SpeedText(job.Speed, job.SpeedUnit); }

int32_t AverageRate(const TTFileThreadControl& job, TransferSample* sample) {
  const TransferSample& s = job.PrevRateSample;
  if (s.Bytes < 1 || s.Start == 0 || !(s.Start < s.Latest)) return -1;
  const double seconds = (s.Latest - s.Start) * kSecondsPerDay;
  const double rate = RoundHalfEven(static_cast<double>(s.Bytes) / seconds / 1024 * 8);
  if (!std::isfinite(rate) || rate < std::numeric_limits<int32_t>::min() ||
      rate > std::numeric_limits<int32_t>::max())
    return -1;
  if (sample) *sample = s;
  return static_cast<int32_t>(rate);
}

std::string AverageRateText(const TTFileThreadControl& job) {
  const int32_t rate = AverageRate(job, nullptr);
  return rate <= 0 ? "(no data)" : GroupedDecimal(rate);
}

std::string StartTimeText(const TTFileThreadControl& job) {
  return job.tStarted > 0 ? DateTimeText(job.tStarted) : "----";
}

std::string EndTimeText(const TTFileThreadControl& job) {
  return job.tFinished > job.tStarted ? DateTimeText(job.tFinished) : "----";
}

std::string DateTimeText(DateTime t) { return Formattable(t) ? DateTimeToStr(t) : std::string(); }

std::string NextRunText(const TTFileThreadControl& job) {
  if (!job.Schedule) return {};
  const DateTime due = job.Schedule->DueTime();
  if (!Formattable(due)) return {};
  // "nn" for the minutes, so the "mm" after the day is the month.
  return FormatDateTime("hh\"" + TimeSeparator() + "\"nn dd.mm.", due);
}

}  // namespace mv
