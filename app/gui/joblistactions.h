#pragma once
// The Joblist page's commands and enable states as the window binds them,
// by the page's button numbers.

#include <array>
#include <functional>
#include <memory>

namespace mv {

class JoblistPageState;
class MiravaCore;
class TTFileThreadControl;
class TTSchedule;

class JoblistActions {
 public:
  // In the order of the page's buttons: "DELETE Job", "EDIT Job",
  // "Reschedule Job", "Edit a copy of this Job", "Run NOW", "Start", "Pause", stop.
  static constexpr int kButtonCount = 8;

  explicit JoblistActions(MiravaCore& core);
  ~JoblistActions();

  TTFileThreadControl* SelectedJob() const;
  std::array<bool, kButtonCount> Buttons() const;
  const char* QueueToggleCaption() const;
  bool QueueLoadEnabled() const;

  // The command of a button ("EDIT Job" and its copy belong to the
  // Directory View page and do nothing here); schedule is the schedule dialog.
  bool Run(int button, const std::function<bool(TTSchedule&)>& schedule);
  void LoadQueue();
  void ToggleQueue();
  void RefreshJobDisplay(TTFileThreadControl& job);
  void SortBy(int column);

  JoblistPageState& State() { return *state_; }

 private:
  std::unique_ptr<JoblistPageState> state_;
};

}  // namespace mv
