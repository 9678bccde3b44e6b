#pragma once
// Job, queue and template files, and the source definitions in SOURCES.MVS.
// Load and Save are members of the job record; the rest lives here.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mv {

class TTFileThreadControl;

// More actions than this make a job file invalid: no real job has them, and a
// hand-edited count must not make a load run for hours or exhaust memory.
inline constexpr int32_t kMaxJobActions = 4096;

// File name of the source definitions inside the control folder.
inline constexpr const char* kSourceDefinitionFile = "SOURCES.MVS";

// Why a loaded job file is not a job the program would run: the text, and
// the line (from 1) of the file the problem lies on, 0 when no line can be
// named. Text is empty for a file that loaded with actions.
struct JobFileProblem {
  int Line = 0;
  std::string Text;
};
// loadResult and job: what Load returned and left behind.
JobFileProblem FindJobFileProblem(const std::string& fileName, int loadResult,
                                  const TTFileThreadControl& job);
// The lines of the file that no load reads (not key=value, outside a section,
// a repeated section or key), with why; a hand-written file may mean more.
std::vector<JobFileProblem> FindIgnoredLines(const std::string& fileName);

// "FILE:LINE: text", or "FILE: text" without a line: the form editors and
// terminals let one jump to.
std::string JobFileProblemMessage(const std::string& fileName, const JobFileProblem& problem);

// The main window's wait indicator: every Load shows "Loading " + the file
// name on it and "" when it is done. Empty (headless, tools): nothing shown.
// Set it on the main thread before jobs run.
void SetJobFileWaitIndicator(std::function<void(const std::string&)> indicator);

// Applies a template to a job being edited: -1 failure, 0 ok, 1 no description.
int ApplyTemplate(TTFileThreadControl& job, const std::string& fileName);

// Writes the job's filter and source entries into its source definition;
// nothing when the job has none.
void SaveSourceDefinition(TTFileThreadControl& job, bool resetTracking);

// Saves a queued job to QueueDir + ID + ".MVQ" with its ID.
void SaveToQueue(TTFileThreadControl& job);

// At the start of a run: how long ago the job's source definition was last
// compared, when it has not changed since the job's last complete run.
void LoadTracking(TTFileThreadControl& job);

// At the end of a run: records the comparison and a changed source signature.
void SaveTracking(TTFileThreadControl& job);

}  // namespace mv
