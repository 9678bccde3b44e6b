#include "engine/listingsahead.h"

#include <utility>

#include "engine/sidetask.h"

namespace mv {

ListingsAhead::~ListingsAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  work_.notify_all();
  if (thread_.joinable()) thread_.join();
}

std::shared_ptr<ListingsAhead::Slot> ListingsAhead::NextToList() const {
  int64_t entries = 0;
  for (size_t i = 0; i < slots_.size() && i < kAheadFolders; ++i) {
    const Slot& slot = *slots_[i];
    if (slot.Now == State::Queued) return entries < kAheadEntries ? slots_[i] : nullptr;
    if (slot.Now == State::Done) entries += slot.List.Count();
  }
  return nullptr;
}

void ListingsAhead::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    std::shared_ptr<Slot> slot;
    work_.wait(lock, [&] { return quit_ || (slot = NextToList()) != nullptr; });
    if (quit_) return;
    slot->Now = State::Listing;
    lock.unlock();
    TTDirList list;
    int32_t read = -1;
    try {
      list.SetRemote(slot->Remote);
      if (wholeFilter_)
        list.Filter = slot->Filter;
      else
        list.AssignFilter(slot->Filter);
      list.Mask = slot->Mask;
      read = list.Read(slot->Dir);
      // Signed here, off the walk's thread, which compares the signatures.
      if (read >= 0) list.Signature();
    } catch (...) {
      // A listing that throws counts as failed; the walk goes on.
    }
    lock.lock();
    slot->List = std::move(list);
    slot->Read = read;
    slot->Now = State::Done;
    done_.notify_all();
  }
}

void ListingsAhead::Ahead(const std::vector<std::string>& dirs, const TTDirFilter& filter, const std::string& mask,
                           DirListRemote* remote) {
  if (dirs.empty()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto dir = dirs.rbegin(); dir != dirs.rend(); ++dir) {
      auto slot = std::make_shared<Slot>();
      slot->Dir = *dir, slot->Mask = mask, slot->Filter = filter, slot->Remote = remote;
      slots_.push_front(std::move(slot));
    }
    // No thread to spare: every Take finds its folder not begun.
    StartHelperOnce(started_, thread_, [this] { Loop(); });
  }
  // Costs no call when the helper is busy listing.
  work_.notify_one();
}

bool ListingsAhead::Take(const std::string& dir, TTDirList& out, int32_t& read) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!slots_.empty() && slots_.front()->Dir != dir) slots_.pop_front();
  if (slots_.empty()) return false;
  const std::shared_ptr<Slot> slot = std::move(slots_.front());
  slots_.pop_front();
  if (slot->Now == State::Queued) return false;
  done_.wait(lock, [&] { return slot->Now == State::Done; });
  out = std::move(slot->List);
  read = slot->Read;
  lock.unlock();
  // Room ahead again.
  work_.notify_one();
  return true;
}

void ListingsAhead::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  slots_.clear();
}

}  // namespace mv
