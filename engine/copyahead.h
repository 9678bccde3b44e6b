#pragma once
// New small files of the folder at hand are copied by two threads: the
// walk's own and a helper made once per action. Whichever gets to a file
// first makes its copy complete without a name (source opened and checked,
// data copied, time and mode set); the walk then names, logs and counts the
// copies in the folder's order, so the logs read as if one thread had done
// it all. A copy that could not be made ahead goes the ordinary way, which
// meets the problem again and reports it.
//
// Files are handed out in small blocks, so that the two threads meet only
// once per block, and at most a few blocks ahead of the walk, so that the
// copies waiting for their names hold few descriptors.

#include <sys/stat.h>

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
  struct stat Source {};  // the source's status as it was copied
  bool Ready = false;
};

// Makes f's copy from the folder open as sourceDir into the one open as
// targetDir; false (nothing left behind) on any problem.
bool MakeCopyAhead(int sourceDir, int targetDir, CopyOps& ops, AheadCopy& f);

class CopyAhead {
 public:
  // Files handed out together, and how many blocks the helper may be ahead
  // of the block the walk is in.
  static constexpr size_t kBlockFiles = 4;
  static constexpr size_t kWindowBlocks = 16;

  explicit CopyAhead(CopyOps& ops) : ops_(ops) {}
  ~CopyAhead();
  CopyAhead(const CopyAhead&) = delete;
  CopyAhead& operator=(const CopyAhead&) = delete;

  // Walk thread: the plan of one folder, its files in the walk's order.
  // mayGoOn tells the helper before each block whether the run still wants
  // copies (not stopped, not paused).
  void Begin(UniqueFd sourceDir, UniqueFd targetDir, std::vector<AheadCopy> files,
             std::function<bool()> mayGoOn);
  // Walk thread, in increasing order of i: files[i] with its copy made (here,
  // when the helper has not begun it); null without a plan.
  AheadCopy* Take(size_t i);
  // Walk thread: waits for the helper's block and drops every copy not
  // taken, so the next folder's plan can begin.
  void End();

 private:
  void Loop();
  void MakeBlock(size_t block);
  bool HelperMayClaim() const;

  CopyOps& ops_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // Written by the walk before the helper sees the plan (under mutex_).
  bool active_ = false;
  UniqueFd sourceDir_, targetDir_;
  std::vector<AheadCopy> files_;
  std::function<bool()> mayGoOn_;
  // Blocks below next_ are claimed; done_ says which are finished.
  size_t blocks_ = 0, next_ = 0, walkBlock_ = 0;
  uint64_t plan_ = 0;  // counts the plans begun
  std::vector<char> done_;
  bool helperBusy_ = false, quit_ = false;
  bool started_ = false;
  std::thread thread_;
};

}  // namespace mv
