#include "app/joblist.h"

#include <algorithm>
#include <cmath>

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

int CompareJobNames(const std::string& a, const std::string& b) {
  // Only "a".."z" fold, as the list has always compared: the order must not
  // depend on the machine's locale.
  const auto fold = [](unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; };
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int x = fold(static_cast<unsigned char>(a[i]));
    const int y = fold(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool JobSortsBefore(const TTFileThreadControl& a, const TTFileThreadControl& b, int32_t column) {
  if (column == 1) {
    // The later next run first; an unusable time counts as never.
    const auto time = [](const TTFileThreadControl& j) {
      const DateTime t = j.Schedule ? j.Schedule->NextRun : 0;
      return std::isfinite(t) ? t : 0.0;
    };
    const DateTime x = time(a), y = time(b);
    if (x != y) return x > y;
  }
  return CompareJobNames(a.Description, b.Description) < 0;
}

void JobList::Sort() {
  TTFileThreadControl* selected = JobAt(selected_);
  const int32_t column = sortColumn_;
  std::stable_sort(jobs_.begin(), jobs_.end(), [column](const auto& a, const auto& b) {
    return JobSortsBefore(*a, *b, column);
  });
  Notify([](CoreObserver& o) { o.ListSorted(); });
  SetSelected(IndexOfJob(selected));
}

}  // namespace mv
