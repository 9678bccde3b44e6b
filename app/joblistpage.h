#pragma once
// What the Joblist page and the Queue menu decide, without widgets: which
// buttons are enabled for the selected job, the Queue menu captions, and the
// user commands on the selected job with their questions.
//
// Usage (window): one JoblistPageState over the core (after core.Startup()).
// After every JobChanged/SelectionChanged/JobRemoved/StatusChanged call
// Buttons() and set each button's enabled state (captions: JobButtonCaption);
// the Queue menu from QueueToggleCaption() and QueueLoadEnabled(). Each
// button calls its command; the questions go to core.UserPrompt(). "EDIT
// Job" and "Edit a copy of this Job" act in the Directory View page
// (DirViewPage); only their enabled states come from here. Reschedule takes
// the schedule dialog as a callback:
//   page.Reschedule([&](TTSchedule& s) { return scheduleForm->EditSchedule(s); });
// Queue > Load: LoadQueue(), then show the Joblist page.

#include <array>
#include <cstddef>
#include <functional>

#include "jobs/jobrecord.h"

namespace mv {

class MiravaCore;

enum class JobButton : std::size_t {
  Delete,      // "DELETE Job"
  Edit,        // "EDIT Job"
  Reschedule,  // "Reschedule Job"
  EditCopy,    // "Edit a copy of this Job"
  RunNow,      // "Run NOW"
  Start,       // "Start"
  Pause,       // "Pause"
  Terminate,   // "Stop"
};
inline constexpr std::size_t kJobButtonCount = 8;

const char* JobButtonCaption(JobButton button);

// The enabled state of every Joblist button.
struct JoblistButtons {
  std::array<bool, kJobButtonCount> Enabled{};
  bool operator[](JobButton b) const { return Enabled[static_cast<std::size_t>(b)]; }
};

// For a job (null: none selected, all disabled): Start when its thread is
// suspended or it has neither thread nor schedule; Pause when its thread is
// not suspended; Stop when it has a thread; DELETE/EDIT/copy when it has no
// thread or a suspended one; Reschedule and Run NOW when it has no thread.
JoblistButtons ButtonsFor(const TTFileThreadControl* job);

// Queue > Disable/Enable caption for the queue state.
const char* QueueToggleCaption(bool queueDisabled);

inline constexpr const char* kRunNowQuestion = "RUN this job NOW?";
inline constexpr const char* kDeleteQuestion = "DELETE this job?";

class JoblistPageState {
 public:
  explicit JoblistPageState(MiravaCore& core) : core_(core) {}

  // The selected job of the list, or null.
  TTFileThreadControl* SelectedJob() const;
  JoblistButtons Buttons() const { return ButtonsFor(SelectedJob()); }

  bool QueueDisabled() const;
  const char* QueueToggleCaption() const { return mv::QueueToggleCaption(QueueDisabled()); }
  // Queue > Load: until the queue folder has been loaded once.
  bool QueueLoadEnabled() const;

  // The commands on the selected job; false when nothing was done.
  // "Run NOW": asks; on Yes the job's run request becomes exactly "run now".
  bool RunNow();
  // "DELETE Job": asks; on Yes removes the job and its queue file, unless it
  // has a thread (then nothing happens).
  bool DeleteJob();
  // "Start": creates the thread without a slot check, or resumes a suspended one.
  bool StartJob();
  // "Pause": suspends a thread that runs.
  bool PauseJob();
  // "Stop": holds the job and tells its thread to end (does not wait).
  bool StopJob();
  // "Reschedule Job": edit(schedule) is the schedule dialog; on OK (true)
  // the job's display is refreshed and its queue file written.
  bool Reschedule(const std::function<bool(TTSchedule&)>& edit);

  // Queue > Load (once per program run).
  void LoadQueue();
  // Queue > Disable / Enable.
  void ToggleQueue();

  // The job's figures for the display: an idle job's speed from its stored
  // bytes and times; then the list row and the panels are told it changed.
  void RefreshJobDisplay(TTFileThreadControl& job);

  // Sorts the list by column 0 ("Job") or 1 ("Time") and keeps that column
  // (the run queue re-sorts by "Time" after each pass).
  void SortBy(int column);

 private:
  MiravaCore& core_;
};

}  // namespace mv
