#pragma once
// Durable copies at the price of one flush per batch instead of one per file.
//
// A finished work copy is not renamed at once: it waits, still held open, in
// the run's batch. When the batch is full, when the walk is about to give up
// a folder lock, and at the end of the run, the batch flushes each file
// system it wrote to once (which writes the small copies out together, in
// far fewer requests than one per file), makes sure each copy's own
// write-back went well, and only then gives the copies their target names
// (the order the tests check through CopyOps). A copy whose write, flush or
// rename fails is removed; the file then counts as failed instead of copied.
//
// A full batch is flushed on the flusher thread while the worker fills the
// next one; its copies get their names when the next batch is full or at
// the next synchronous commit, whichever comes first. So at most two
// batches wait, and the disk's flush overlaps the copying.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/sidetask.h"
#include "engine/targettree.h"
#include "platform/filehandle.h"

namespace mv {

class TCopyThread;

// The calls that decide what reaches the disk in which order. A seam: tests
// record them per path and fail or stop the run at any of them.
class CopyOps {
 public:
  virtual ~CopyOps();
  // Writes all size bytes of data to the work copy at path.
  virtual uint32_t Write(int fd, const std::string& path, const void* data, size_t size);
  // Copies up to size bytes from the source's position to the work copy's
  // position inside the kernel; done = 0 at the end of the source.
  // ERROR_NOT_SUPPORTED: the pair cannot do it, use Write.
  virtual uint32_t CopyRange(int from, int to, const std::string& path, size_t size, size_t& done);
  // Starts writing the work copy's data to the disk without waiting.
  virtual void WriteBack(int fd, const std::string& path);
  // Returns when the work copy's data and size are on the disk.
  virtual uint32_t Flush(int fd, const std::string& path);
  // Returns when the work copy's data has been written to the device (its
  // write-back is over; a write error shows here), without a cache flush.
  virtual uint32_t WaitWritten(int fd, const std::string& path);
  // One flush of the file system that holds fd: afterwards the data and the
  // names of everything written there, among it the copies at paths, are on
  // the disk. One journal commit and one cache flush for many files, where
  // a flush per file pays both for each.
  virtual uint32_t FlushFileSystem(int fd, const std::vector<std::string>& paths);
  // Gives a work copy its new name (replacing a file of that name) beneath
  // the tree's folder.
  virtual uint32_t Rename(const TargetTree& tree, const std::string& from, const std::string& to);
  // The same for a work copy without a name (fd; work is the name it stands
  // for): it gets the name to, in one step. Should a file of that name have
  // appeared meanwhile, it is replaced by way of the name work.
  virtual uint32_t Link(const TargetTree& tree, int fd, const std::string& work, const std::string& to);
};

// The real calls.
CopyOps& RealCopyOps();

// "~MVSW" + number + ".MVF": the work copies of a batch in one folder.
std::string BatchWorkFileName(int number);
// Exactly the pattern above (case counts; number 1 to 99999 without leading
// zeros).
bool IsBatchWorkFileName(std::string_view name);

class CopyBatch {
 public:
  struct Item {
    std::string Work, Target, Source;
    FileHandle WorkFile;
    // The old target, held exclusively until its replacement has its name.
    FileHandle HeldTarget;
    int64_t Size = 0;
    // The source's archive bit is cleared once the copy is in place.
    bool ClearArchive = false;
    // The work copy has no name (Work is the one it stands for): it gets its
    // target name by Link, and only closing it removes it.
    bool Unnamed = false;
  };

  // At most maxFiles copies (each held open) and maxBytes bytes wait.
  CopyBatch(CopyOps& ops, size_t maxFiles, int64_t maxBytes)
      : ops_(ops), maxFiles_(maxFiles), maxBytes_(maxBytes) {}
  ~CopyBatch();
  CopyBatch(const CopyBatch&) = delete;
  CopyBatch& operator=(const CopyBatch&) = delete;

  CopyOps& Ops() { return ops_; }
  // Nothing waits, neither here nor on the flusher.
  bool Empty() const { return items_.empty() && flushing_.empty(); }
  bool Full() const { return items_.size() >= maxFiles_ || bytes_ >= maxBytes_; }
  // A waiting copy replaces an existing target: the folder lock must stay
  // until it has its name.
  bool HoldsTargets() const { return holdsTargets_ || flushingHolds_; }
  // Name for the next work copy in dir (ends in "/").
  std::string NextWorkPath(const std::string& dir) const { return WorkPathFor(dir, added_); }
  // Numbers for n work copies made ahead of their turn: the k-th of them is
  // WorkPathFor(dir, first + k), with first returned here.
  uint64_t ReserveWorkNumbers(size_t n) { return std::exchange(added_, added_ + n); }
  static std::string WorkPathFor(const std::string& dir, uint64_t serial);
  // True the first time dir is seen in this run; a folder made by this run
  // needs no look for leftovers.
  bool FirstVisit(const std::string& dir);
  void NoteCreatedFolder(const std::string& dir) { visited_.insert(dir); }
  // True the first time the swap-file leftover of dir is looked for.
  bool FirstSwapCheck(const std::string& dir) { return swapChecked_.insert(dir).second; }

  // The batch's copies all lie in one target tree (the first one's).
  void Add(const TargetTree& tree, Item item);
  const TargetTree& Tree() const { return tree_; }
  // Flushes every waiting copy, then renames each flushed one onto its target;
  // failed ones are removed, logged and counted as failed. Returns 0 or the
  // code of the worst failure (one with the abort flag first).
  int32_t Commit(TCopyThread& thread);
  // Names the batch on the flusher (after its flush) and hands the waiting
  // copies to it; returns as Commit for the batch that got its names.
  int32_t CommitInBackground(TCopyThread& thread);

 private:
  // Waits until each copy's data is written, then flushes each file system
  // once; an error per item (0: on the disk). Safe on the flusher thread:
  // touches only the items' descriptors and the ops.
  std::vector<uint32_t> Flush(const std::vector<Item>& items);
  // Renames the flushed items, removes the others, logs and counts.
  int32_t Name(TCopyThread& t, std::vector<Item>& items, const std::vector<uint32_t>& flushed);
  // Waits for the flusher and names its batch.
  int32_t FinishFlushing(TCopyThread& t);

  CopyOps& ops_;
  const size_t maxFiles_;
  const int64_t maxBytes_;
  std::vector<Item> items_;
  int64_t bytes_ = 0;
  uint64_t added_ = 0;
  bool holdsTargets_ = false;
  TargetTree tree_;
  std::unordered_set<std::string> visited_, swapChecked_;
  // The batch on the flusher and its result (written there, read after Wait).
  std::vector<Item> flushing_;
  std::vector<uint32_t> flushingResult_;
  bool flushingHolds_ = false;
  // Declared last: gone (joined) before the items it may still work on.
  SideTask flusher_;
};

}  // namespace mv
