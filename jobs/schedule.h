#pragma once
// When a job runs: queued/held state, the next run time and how it advances
// (an interval limited to chosen weekdays, with an optional random delay),
// the follow-up jobs after a successful run, and the requests of the user
// interface to the run queue. Stored in section "schedule" of a job file.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/datetime.h"

namespace mv {

class ProfileBatch;

class TTFileThreadControl;

// Options: a random delay may be added to each computed run.
inline constexpr int32_t SCHED_OPT_RANDOM_DELAY = 0x1;

// Flags.
inline constexpr uint16_t SCHED_HOLD = 0x0001;         // held by the user (stored as "hold")
inline constexpr uint16_t SCHED_EDIT_HOLD = 0x0002;    // held while being edited
inline constexpr uint16_t SCHED_REMOTE_HOLD = 0x0004;  // held while a controller is present
inline constexpr uint16_t SCHED_HELD_MASK = 0x008F;    // every bit that keeps a job from starting by time

// RunRequest.
inline constexpr int32_t SCHED_RUN_NOW = 0x1;
inline constexpr int32_t SCHED_REMOVE_WHEN_IDLE = 0x2;

// Weekdays: bit 0 Sunday ... bit 6 Saturday.
inline constexpr int32_t SCHED_ALL_WEEKDAYS = 0x7F;

inline constexpr const char* kScheduleSection = "schedule";

class TTSchedule {
 public:
  // All fields at their creation values.
  TTSchedule() = default;

  // Back to the creation values.
  void Create();
  // Takes PendingJobID, Queued, RunOnce, Options, Flags, NextRun, Weekdays and
  // the interval; keeps its own run times, Delay, RunRequest and chains.
  void Assign(const TTSchedule& source);

  bool IsHold() const { return (Flags & SCHED_HOLD) != 0; }
  void SetHold(bool on);
  void SetEditHold(bool on);
  // True when any hold bit keeps the job from starting by time.
  bool IsHeld() const { return (Flags & SCHED_HELD_MASK) != 0; }

  // RunOnce, or an interval greater than zero.
  bool HasSchedule() const;
  // NextRun + Delay: the job starts by time when now is not earlier.
  DateTime DueTime() const { return NextRun + Delay; }

  // After a run (LastRun/LastRunComplete already set): clears RunOnce and,
  // unless there is no interval or the job is held, moves NextRun to the first
  // interval step at or after now that lands on an allowed weekday (a step on
  // a disallowed day pushes the search one day past it), then draws Delay.
  // A NextRun already in the future is kept. Always ends in bounded time.
  void ComputeNextRun();

  // One twelfth of the interval in seconds, 0 without schedule.
  int64_t TrackingWindow() const;

  // Replaces the first whole name oldName of RunAfterSuccess ("|"-separated,
  // exact and case-sensitive) by newName. Returns 1 when replaced, else 0.
  // The caller saves a queued job to its queue file on 1.
  int RenameInChain(const std::string& oldName, const std::string& newName);

  // Section "schedule" of a job file. Missing or malformed keys give the
  // defaults of the format. 0, or -1 when a failure ended the reading early
  // (fields read so far keep their new values).
  int Load(const std::string& file);
  // Only hold, runonce, options, nextrun, weekdays and the interval, each
  // defaulting to the current value.
  int LoadTemplate(const std::string& file);
  // 0, or -1 when the file could not be written (it then stays as it was).
  // A template leaves out the last-run times.
  int Save(const std::string& file, bool asTemplate) const;
  // The same writes into a batch that lands with the rest of a job's file.
  int Save(ProfileBatch& out, bool asTemplate) const;

  int32_t Options = 0;
  bool Queued = false;  // the job has a queue file named by its ID
  uint16_t Flags = 0;
  int64_t PendingJobID = 0;  // ID the receiving job takes (AssignSchedule); not stored
  int32_t RunRequest = 0;    // not stored
  DateTime LastRun = 0;
  DateTime LastRunComplete = 0;
  DateTime NextRun = 0;
  DateTime Delay = 0;  // a duration in days
  bool RunOnce = false;
  bool RunAfterSuccessEnabled = false;
  std::string RunAfterSuccess;  // job names separated by "|"
  bool RunAfterSuccessWEnabled = false;
  std::string RunAfterSuccessW;  // job names separated by "|"
  int32_t Weekdays = SCHED_ALL_WEEKDAYS;
  uint16_t Days = 0;
  uint16_t Hours = 0;
  uint16_t Minutes = 0;
};

// Gives the job the edited schedule. A pending ID in it becomes the job's
// JobID and is consumed: cleared in both schedules, so the editor's schedule
// cannot hand the same ID to a second job.
void AssignSchedule(TTFileThreadControl& job, TTSchedule& schedule);

// Replaces the source of the random delay for the whole process (a test seam):
// a function returning uniform values in [0, 1). An empty function restores
// the built-in generator.
void SetScheduleRandomForTesting(std::function<double()> uniform);

}  // namespace mv
