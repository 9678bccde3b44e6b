#include "app/joblist.h"

#include <algorithm>

namespace mv {

TTFileThreadControl* JobList::JobAt(int32_t index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return jobs_[static_cast<std::size_t>(index)].get();
}

int32_t JobList::IndexOfJob(const TTFileThreadControl* job) const {
  for (int32_t i = 0; i < Count(); ++i)
    if (jobs_[static_cast<std::size_t>(i)].get() == job) return i;
  return -1;
}

TTFileThreadControl* JobList::FindJobById(int64_t id) const {
  for (const auto& job : jobs_)
    if (job->JobID == id) return job.get();
  return nullptr;
}

TTFileThreadControl* JobList::FindJobByName(const std::string& name) const {
  for (const auto& job : jobs_)
    if (job->Description == name) return job.get();
  return nullptr;
}

bool JobList::IsNameFreeFor(const std::string& name, int64_t id) const {
  for (const auto& job : jobs_)
    if (job->Description == name && job->JobID != id) return false;
  return true;
}

void JobList::AddJob(std::unique_ptr<TTFileThreadControl> job) {
  if (!job) return;
  jobs_.push_back(std::move(job));
  const int32_t index = Count() - 1;
  Notify([index](CoreObserver& o) { o.JobAdded(index); });
  SetSelected(index);
}

std::unique_ptr<TTFileThreadControl> JobList::RemoveAt(int32_t index) {
  if (index < 0 || index >= Count()) return nullptr;
  auto job = std::move(jobs_[static_cast<std::size_t>(index)]);
  jobs_.erase(jobs_.begin() + index);
  Notify([index](CoreObserver& o) { o.JobRemoved(index); });
  // The selection stays on the same job, or on the one that took its place.
  if (selected_ > index || selected_ >= Count()) SetSelected(selected_ - 1);
  return job;
}

void JobList::Select(int32_t index) { SetSelected((index >= 0 && index < Count()) ? index : -1); }

void JobList::SetSelected(int32_t index) {
  if (index == selected_) return;
  selected_ = index;
  Notify([index](CoreObserver& o) { o.SelectionChanged(index); });
}

void JobList::NotifyChanged(const TTFileThreadControl* job) const {
  const int32_t index = IndexOfJob(job);
  if (index >= 0) Notify([index](CoreObserver& o) { o.JobChanged(index); });
}

void JobList::Sort() {
  TTFileThreadControl* selected = JobAt(selected_);
  if (sortColumn_ == 1) {
    std::stable_sort(jobs_.begin(), jobs_.end(), [](const auto& a, const auto& b) {
      return a->Schedule->DueTime() < b->Schedule->DueTime();
    });
  } else {
    std::stable_sort(jobs_.begin(), jobs_.end(),
                     [](const auto& a, const auto& b) { return a->Description < b->Description; });
  }
  Notify([](CoreObserver& o) { o.ListSorted(); });
  SetSelected(IndexOfJob(selected));
}

int32_t JobStatusCode(const TTFileThreadControl& job) {
  if (job.Thread) return kStatusRunning;
  const bool held = job.Schedule->IsHeld();
  if (job.Schedule->Queued) return held ? kStatusQueuedHeld : kStatusQueued;
  return held ? kStatusIdleHeld : kStatusIdle;
}

}  // namespace mv
