#pragma once
// The job list: the jobs an instance knows, in display order (which is also
// the order of the run-queue pass), with the selection and the sort column.
// A window only shows it and follows its changes through the observers.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/coreobserver.h"
#include "jobs/jobrecord.h"

namespace mv {

class JobList {
 public:
  // Who hears of additions, removals, re-sorts and selection changes (may be null).
  void SetObservers(const ObserverList* observers) { observers_ = observers; }
  int32_t Count() const { return static_cast<int32_t>(jobs_.size()); }
  bool Empty() const { return jobs_.empty(); }
  // Null for an index outside the list.
  TTFileThreadControl* JobAt(int32_t index) const;
  int32_t IndexOfJob(const TTFileThreadControl* job) const;
  TTFileThreadControl* FindJobById(int64_t id) const;
  // Exact, case-sensitive name.
  TTFileThreadControl* FindJobByName(const std::string& name) const;
  // False when another job (other ID) has this name.
  bool IsNameFreeFor(const std::string& name, int64_t id) const;

  // Appends and selects the job.
  void AddJob(std::unique_ptr<TTFileThreadControl> job);
  // Takes the job out of the list (the caller decides what becomes of it).
  std::unique_ptr<TTFileThreadControl> RemoveAt(int32_t index);

  // Tells the observers that something shown of the job changed (nothing
  // when it is not in the list).
  void NotifyChanged(const TTFileThreadControl* job) const;

  int32_t Selected() const { return selected_; }
  void Select(int32_t index);
  int32_t SortColumn() const { return sortColumn_; }
  void SetSortColumn(int32_t column) { sortColumn_ = column; }
  // Sorts by the sort column: 0 name (ASCII letters without case), 1 next
  // run time, the later first, equal times by name.
  void Sort();

 private:
  void SetSelected(int32_t index);
  template <typename Fn>
  void Notify(Fn&& fn) const {
    if (observers_) observers_->Notify(fn);
  }

  std::vector<std::unique_ptr<TTFileThreadControl>> jobs_;
  const ObserverList* observers_ = nullptr;
  int32_t selected_ = -1;
  int32_t sortColumn_ = 0;
};

// <0, 0, >0: names compared with only "a".."z" folded to upper case.
int CompareJobNames(const std::string& a, const std::string& b);
// The order of the job list for a sort column.
bool JobSortsBefore(const TTFileThreadControl& a, const TTFileThreadControl& b, int32_t column);

}  // namespace mv
