#pragma once
// New files of the folder at hand are copied by two threads: the walk's own
// and a helper made once per action. Whichever gets to a file first makes
// its copy complete without a name (source opened and checked, data copied,
// time and mode set); the walk then names, logs and counts the copies in the
// folder's order, so the logs read as if one thread had done it all. A copy
// that could not be made ahead goes the ordinary way, which meets the
// problem again and reports it.
//
// Small files are handed out in small blocks, so that the two threads meet
// only once per block, and at most a few blocks ahead of the walk, so that
// the copies waiting for their names hold few descriptors. A large file is a
// block of its own: only the helper copies it ahead, piece by piece, while
// the walk copies the one before; when the walk reaches a file the helper is
// still copying, it takes the copy over after the piece at hand and goes on
// from there as with any file, showing its progress and keeping its place
// for a resume.

#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/filehandle.h"
#include "platform/uniquefd.h"

namespace mv {

class CopyOps;

// One file of a folder's plan.
struct AheadCopy {
  std::string Name;      // in the source and in the target folder
  int64_t Size = 0;      // as listed
  std::string WorkPath;  // the work name the copy stands for
  // Complete and without a name when Ready; closed (so gone) otherwise.
  FileHandle Work;
  struct stat Source {};  // the source's status as it was opened
  bool Ready = false;
  // Begun but not finished: Work holds the first Done bytes, SourceFile is
  // open (share lock held) just past them.
  bool Partial = false;
  int64_t Done = 0;
  FileHandle SourceFile;
};

// How a copy made ahead goes in pieces: at most Chunk bytes at a time, the
// write-back of each started (a durable copy), and after each piece but the
// last, KeepOn asked whether to go on (else the copy stays Partial).
struct AheadPieces {
  int64_t Chunk = INT64_MAX;
  bool WriteBack = false;
  std::function<bool()> KeepOn;
};

// Makes f's copy from the folder open as sourceDir into the one open as
// targetDir; false (nothing left behind) on any problem.
bool MakeCopyAhead(int sourceDir, int targetDir, CopyOps& ops, AheadCopy& f, const AheadPieces& pieces = {});

class CopyAhead {
 public:
  // Small files handed out together, and how far the helper may be ahead
  // of the block the walk is in: in blocks, and in bytes beyond the next
  // block.
  static constexpr size_t kBlockFiles = 4;
  static constexpr size_t kWindowBlocks = 16;
  static constexpr int64_t kWindowBytes = int64_t(64) << 20;

  explicit CopyAhead(CopyOps& ops) : ops_(ops) {}
  ~CopyAhead();
  CopyAhead(const CopyAhead&) = delete;
  CopyAhead& operator=(const CopyAhead&) = delete;

  // Walk thread: the plan of one folder, its files in the walk's order.
  // Files larger than pieces.Chunk are large. mayGoOn tells the helper
  // before each block and each piece whether the run still wants copies
  // (not stopped, not paused).
  void Begin(UniqueFd sourceDir, UniqueFd targetDir, std::vector<AheadCopy> files,
             std::function<bool()> mayGoOn, AheadPieces pieces = {});
  // Walk thread, in increasing order of i: files[i] with its copy made (here,
  // when the helper has not begun it), or for a large file as far as the
  // helper got (perhaps not begun); null without a plan.
  AheadCopy* Take(size_t i);
  // Walk thread: waits for the helper's block and drops every copy not
  // taken, so the next folder's plan can begin.
  void End();
  // Tests: whether the helper is asked to hand over the copy at hand.
  bool HandOverAsked() const { return yield_.load(); }

 private:
  void Loop();
  void MakeBlock(size_t block, bool helper);
  bool HelperMayClaim() const;
  bool Large(size_t block) const { return blockLarge_[block] != 0; }

  CopyOps& ops_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // Written by the walk before the helper sees the plan (under mutex_).
  bool active_ = false;
  UniqueFd sourceDir_, targetDir_;
  std::vector<AheadCopy> files_;
  std::function<bool()> mayGoOn_;
  AheadPieces pieces_;
  // Block b holds files blockStart_[b] to blockStart_[b + 1] - 1, bytesBefore_[b]
  // bytes before it; blockOf_ maps a file to its block.
  std::vector<size_t> blockStart_, blockOf_;
  std::vector<int64_t> bytesBefore_;
  std::vector<char> blockLarge_;
  // Blocks below next_ are claimed; done_ says which are finished.
  size_t blocks_ = 0, next_ = 0, walkBlock_ = 0;
  // The walk wants the large copy the helper is making.
  std::atomic<bool> yield_{false};
  uint64_t plan_ = 0;  // counts the plans begun
  std::vector<char> done_;
  bool helperBusy_ = false, quit_ = false;
  bool started_ = false;
  std::thread thread_;
};

}  // namespace mv
