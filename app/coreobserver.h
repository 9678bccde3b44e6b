#pragma once
// What a window follows of the core. Every call comes on the main thread,
// after the change it announces; an observer must not add or remove jobs
// from inside a call.

#include <string>
#include <vector>

namespace mv {

class TTFileThreadControl;

class CoreObserver {
 public:
  virtual ~CoreObserver();
  // The job now at index was inserted there (rows from index on moved down by one).
  virtual void JobAdded(int /*index*/) {}
  // The job that was at index has left the list; it may already be freed.
  // A Qt model keeps its own row count and changes it between its
  // beginRemoveRows and endRemoveRows in this call.
  virtual void JobRemoved(int /*index*/) {}
  // Something shown of the job at index changed (status, schedule, counters).
  virtual void JobChanged(int /*index*/) {}
  // The list was put in a new order (same jobs, same count).
  virtual void ListSorted() {}
  // The selected index changed (-1: none).
  virtual void SelectionChanged(int /*index*/) {}
  // A running job's display refresh: its figures and the snapshot of its
  // worker (TTFileThreadControl::Thread->Display()) are fresh.
  virtual void JobDisplayRefresh(const TTFileThreadControl& /*job*/) {}
  // A line for the Log page.
  virtual void LogLineAdded(const std::string& /*line*/) {}
  // The status-bar values (MiravaCore::Status()) may have changed.
  virtual void StatusChanged() {}
};

// The observers of one core; calls reach every observer present when the
// call began, in the order they were added.
class ObserverList {
 public:
  void Add(CoreObserver* observer);
  void Remove(CoreObserver* observer);
  bool Empty() const { return observers_.empty(); }

  template <typename Fn>
  void Notify(Fn&& fn) const {
    const std::vector<CoreObserver*> now = observers_;
    for (CoreObserver* o : now)
      if (Contains(o)) fn(*o);
  }

 private:
  bool Contains(const CoreObserver* observer) const;
  std::vector<CoreObserver*> observers_;
};

}  // namespace mv
