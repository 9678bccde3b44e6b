#pragma once
// What the Joblist page writes about a job: the "Time" cell of the list, the
// values of the "Job Parameters" panel with their labels, and the values of
// the "Job Status" panel. Built on the job texts of jobs/jobtext.h.
//
// Usage (window): on JobChanged/SelectionChanged/JobDisplayRefresh of the
// selected job, fill the "Job Status" labels from JobStatusTexts(job) (elide
// Source/Target to the label width and store the shown text in
// job.CurSourceText/CurTargetText); on selection, fill the "Job Parameters"
// panel from JobParameterRows(job). The labels' captions are the constants
// below.

#include <cstdint>
#include <string>
#include <vector>

#include "jobs/jobrecord.h"

namespace mv {

inline constexpr const char* kNoScheduleText = "no schedule";
inline constexpr const char* kJobParametersTitle = "Job Parameters";
inline constexpr const char* kJobStatusTitle = "Job Status";
inline constexpr const char* kParameterHint = "Click a parameter value to see the entire string";

// Next run time ("hh:mm dd.mm.") when the job has a schedule, else "no schedule".
std::string JobTimeColumnText(const TTFileThreadControl& job);

// One row of the "Job Parameters" panel: its label ("Source Directory:") and value.
struct JobParameterRow {
  const char* Label;
  std::string Value;
};

// The ten rows in panel order ("Source Directory:" ... "Notify:"); empty for
// a job without actions (the panel then keeps what it showed).
std::vector<JobParameterRow> JobParameterRows(const TTFileThreadControl& job);

// The values of the "Job Status" panel.
struct JobStatusTexts {
  std::string Source, Target;  // current paths, not yet shortened
  std::string Total, Success, Skipped, Errors, Deleted;
  std::string StartTime, EndTime;
  std::string LastErrorCode;  // at least 4 upper-case hexadecimal digits
  std::string Status;         // "Job thread is ..."
  std::string Speed;          // in the job's speed unit
  std::string KBDone;
  std::string AverageRate;      // "(no data)" or KBit/s
  std::string LastCompleteRun;  // date-time text or "--------"
  int32_t Progress = 0;         // gauge of the current file, 0..100
};

// Label captions of the "Job Status" panel, in panel order.
inline constexpr const char* kStatusLabels[] = {
    "Source:",     "Target:",   "Total:",           "Success:", "Skipped:",
    "Errors:",     "Deleted:",  "Start Time:",      "End Time:", "Last Error Code:",
    "Status:",     "Speed:",    "KB done:",         "Last Complete Run:"};

// The panel for the job. A running job shows the figures of its worker's
// last display refresh; an idle one its stored figures and progress 0.
JobStatusTexts MakeJobStatusTexts(const TTFileThreadControl& job);

// Error code as the panel shows it: at least 4 upper-case hexadecimal digits.
std::string ErrorCodeText(int32_t code);

}  // namespace mv
