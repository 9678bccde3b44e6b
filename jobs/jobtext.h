#pragma once
// The words that describe a job: the parameter lines of a run's log and mail,
// the "Job Parameters" panel, and the status values of the job list.
// Every text is a fixed English string; only date-time texts follow the locale.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "jobs/jobrecord.h"
#include "mail/mvmail.h"

namespace mv {

// Mail class of the parameter lines of a run (general lines).
inline constexpr uint32_t kParameterLineMailFlags = kMailGeneral;

// Decimal text with "," every three digits ("1,234,567"); the sign is not a
// digit, so -1234 gives "-1,234".
std::string GroupedDecimal(int64_t n);

// "[" + R H S V A for the bits 0x01 0x02 0x04 0x08 0x20 + "]"; 0x10 has no letter.
std::string AttrText(int32_t mask);

// What the job does: "Copy from source: newer files (overwrite older files)",
// "ANALYZE", "NWPURGE", "DELETE files"; "UNKNOWN (ERROR)" parts for codes
// that mean nothing.
std::string ActionText(const TTFileThreadControl& job);
// Direction part and conflict part of a COPY job's action text.
std::string DirectionText(uint32_t options);
std::string ConflictText(uint32_t options);

// The options in words, "a | b " (the last bar removed, its blank kept).
std::string OptionsText(const TTFileThreadControl& job);

// IncludeFileNames, with " [ older than N day(s) ]" for ANALYZE and
// NETWARE PURGE jobs with an age limit of 0 days or more.
std::string IncludeFilesText(const TTFileThreadControl& job);

// First action's SourcePath + " ", then "[ " + Source + " ] " per action
// with a Source; TargetText the same for the target side.
std::string SourceText(const TTFileThreadControl& job);
std::string TargetText(const TTFileThreadControl& job);

// Receives one parameter line and its mail class; the caller hands it on to
// the job's message list and mail (ReportLine).
using ReportLineSink = std::function<void(const std::string& text, uint32_t mailFlags)>;

// The parameter lines that open a run, in order, each with
// kParameterLineMailFlags. Nothing for a job without actions.
void ReportJobParameters(const TTFileThreadControl& job, const ReportLineSink& sink);

// Texts of the "Job Parameters" panel.
struct JobParametersPanel {
  std::string Caption;           // Options for Job "name"  (ID 0000002A)
  std::string SourceDefinition;  // MacroSource
  std::string Source;            // SourceText
  std::string Target;            // TargetText for COPY, "N/A" otherwise
  std::string Action;            // ActionText
  std::string Options;           // OptionsText
  std::string IncludeFiles;      // masks, age, allowed and required attributes
  std::string ExcludeFiles;
  std::string IncludeDirs;       // "[max depth N]" + names when there are names
  std::string ExcludeDirs;
  std::string MailRecipients;    // "a | b | "
  std::string LastCompleteRun;   // date-time text or "--------"
};

// The panel for the job; nullopt for a job without actions (the panel stays
// as it was).
std::optional<JobParametersPanel> ShowJobParameters(const TTFileThreadControl& job);

// Each address followed by " | ", in order.
std::string RecipientsText(const std::vector<TMVRecipient>& recipients);

// Status image of a job in the list.
inline constexpr int32_t kStatusRunning = 4;
inline constexpr int32_t kStatusQueued = 6;
inline constexpr int32_t kStatusQueuedHeld = 7;
inline constexpr int32_t kStatusIdle = 8;
inline constexpr int32_t kStatusIdleHeld = 9;
int32_t StatusCode(const TTFileThreadControl& job);

// "Job thread is not running" / " stopped" / " running". threadSuspended is
// the state of job.Thread and only read when the job has one.
std::string StatusText(const TTFileThreadControl& job, bool threadSuspended);

// Display units of Speed (SpeedUnit, dspSpeedUnit).
inline constexpr int32_t kSpeedUnitAuto = 0;
inline constexpr int32_t kSpeedUnitKBitS = 1;
inline constexpr int32_t kSpeedUnitKBS = 2;
inline constexpr int32_t kSpeedUnitMBitS = 3;
inline constexpr int32_t kSpeedUnitMBS = 4;
inline constexpr int32_t kSpeedUnitMBMin = 5;

// The unit automatic display picks for a rate in KBit/s (never kSpeedUnitAuto).
int32_t AutoSpeedUnit(double kbitPerSecond);
// Rate in KBit/s in the given unit, e.g. "122 MB/s"; "<speed unknown>" for
// a unit outside 0..5. A rate that is not a finite number of 0 or more
// shows as 0.
std::string SpeedText(double kbitPerSecond, int32_t unit);
// The job's Speed in its SpeedUnit.
std::string SpeedText(const TTFileThreadControl& job);

// Average KBit/s of the last completed transfer window (PrevRateSample),
// rounded; -1 when there is none or it cannot be computed. On success the
// window is copied to *sample when sample is not null.
int32_t AverageRate(const TTFileThreadControl& job, TransferSample* sample);
// "(no data)" or the average rate as a grouped decimal.
std::string AverageRateText(const TTFileThreadControl& job);

// Locale short date + long time, the time left out at exactly midnight.
std::string DateTimeText(DateTime t);
// tStarted, or "----" when not set.
std::string StartTimeText(const TTFileThreadControl& job);
// tFinished, or "----" when not later than tStarted.
std::string EndTimeText(const TTFileThreadControl& job);
// The schedule's due time as "hh:mm dd.mm." (locale time separator); empty
// when it cannot be formatted.
std::string NextRunText(const TTFileThreadControl& job);

}  // namespace mv
