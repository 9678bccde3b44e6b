#include "app/gui/joblistactions.h"

#include "app/joblistpage.h"

namespace mv {

static_assert(JoblistActions::kButtonCount == kJobButtonCount);

JoblistActions::JoblistActions(MiravaCore& core) : state_(std::make_unique<JoblistPageState>(core)) {}
JoblistActions::~JoblistActions() = default;

TTFileThreadControl* JoblistActions::SelectedJob() const { return state_->SelectedJob(); }

std::array<bool, JoblistActions::kButtonCount> JoblistActions::Buttons() const {
  return state_->Buttons().Enabled;
}

const char* JoblistActions::QueueToggleCaption() const { return state_->QueueToggleCaption(); }
bool JoblistActions::QueueLoadEnabled() const { return state_->QueueLoadEnabled(); }

bool JoblistActions::Run(int button, const std::function<bool(TTSchedule&)>& schedule) {
  switch (static_cast<JobButton>(button)) {
    case JobButton::Delete: return state_->DeleteJob();
    case JobButton::Reschedule: return state_->Reschedule(schedule);
    case JobButton::RunNow: return state_->RunNow();
    case JobButton::Start: return state_->StartJob();
    case JobButton::Pause: return state_->PauseJob();
    case JobButton::Terminate: return state_->StopJob();
    case JobButton::Edit:
    case JobButton::EditCopy: return false;
  }
  return false;
}

void JoblistActions::LoadQueue() { state_->LoadQueue(); }
void JoblistActions::ToggleQueue() { state_->ToggleQueue(); }
void JoblistActions::RefreshJobDisplay(TTFileThreadControl& job) { state_->RefreshJobDisplay(job); }
void JoblistActions::SortBy(int column) { state_->SortBy(column); }

}  // namespace mv
