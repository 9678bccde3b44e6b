#pragma once
// The folders of a copy walk on one side, listed ahead of it on a helper
// thread made once per COPY action: in the order the walk enters them and a
// few at most, so that the walk mostly finds a folder's listing ready, and
// the helper goes on to the next one without being woken for each.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/dirlist.h"
#include "filter/dirfilter.h"

namespace mv {

class ListingsAhead {
 public:
  // How far the helper runs ahead: folders, and entries listed but not yet taken.
  static constexpr size_t kAheadFolders = 8;
  static constexpr int64_t kAheadEntries = 65536;

  // wholeFilter: the listings take the filter as it is, as the walk's own
  // source listing does; otherwise as a target listing (all but the date
  // limit of deleted files).
  explicit ListingsAhead(bool wholeFilter = false) : wholeFilter_(wholeFilter) {}
  ~ListingsAhead();
  ListingsAhead(const ListingsAhead&) = delete;
  ListingsAhead& operator=(const ListingsAhead&) = delete;

  // Queues dirs (full paths, in the order the walk will enter them) before
  // everything queued earlier: the walk enters them first, as it goes depth
  // first. remote: the side to list them through (null: local).
  void Ahead(const std::vector<std::string>& dirs, const TTDirFilter& filter, const std::string& mask,
             DirListRemote* remote = nullptr);
  // Moves the listing of dir into out and what its Read returned into read,
  // waiting while it is being made. False when there is none to take: never
  // queued, or not begun yet (then it is dropped: the walk lists it itself
  // sooner than the helper would). Folders queued before dir were passed by
  // and are dropped.
  bool Take(const std::string& dir, TTDirList& out, int32_t& read);
  // Drops everything queued.
  void Clear();

 private:
  enum class State { Queued, Listing, Done };
  struct Slot {
    std::string Dir, Mask;
    TTDirFilter Filter;
    DirListRemote* Remote = nullptr;
    State Now = State::Queued;
    TTDirList List;
    int32_t Read = 0;
  };
  void Loop();
  // The first queued slot within reach, or null.
  std::shared_ptr<Slot> NextToList() const;

  std::mutex mutex_;
  std::condition_variable work_, done_;
  // In the order the walk enters them; a slot being listed stays alive
  // through the helper's reference when it is dropped here.
  std::deque<std::shared_ptr<Slot>> slots_;
  const bool wholeFilter_;
  bool quit_ = false, started_ = false;
  std::thread thread_;
};

}  // namespace mv
