#include "engine/copyahead.h"

#include <sys/stat.h>

#include <algorithm>

#include "engine/copybatch.h"
#include "engine/copyfile.h"
#include "engine/sidetask.h"

namespace mv {

bool MakeCopyAhead(int sourceDir, int targetDir, CopyOps& ops, AheadCopy& f, const AheadPieces& pieces) {
  FileHandle source;
  if (source.OpenFollowingAt(sourceDir, f.Name, FileAccess::Read, FileCreate::OpenExisting, FileShare::DenyWrite) != 0)
    return false;
  const struct stat st = source.OpenedStatus();
  // A size other than the listed one is the ordinary way's to report.
  if (st.st_size != f.Size) return false;
  const mode_t mode = CopyModeOf(st.st_mode);
  if (f.Work.OpenUnnamedAt(targetDir, (mode & S_IWUSR) ? mode : 0666) != 0) return false;
  const int64_t chunk = std::max<int64_t>(pieces.Chunk, 1);
  // As the ordinary copy of a large file does, so that the flush at the end
  // waits for little more than the last piece.
  const bool writeBack = pieces.WriteBack && f.Size > chunk;
  bool made = true;
  for (int64_t done = 0; made && done < f.Size;) {
    if (done > 0 && pieces.KeepOn && !pieces.KeepOn()) {
      f.SourceFile = std::move(source);
      f.Source = st;
      f.Done = done;
      return f.Partial = true;
    }
    size_t n = 0;
    made = ops.CopyRange(source.fd(), f.Work.fd(), f.WorkPath, static_cast<size_t>(std::min(chunk, f.Size - done)),
                         n) == 0 &&
           n > 0;
    done += static_cast<int64_t>(n);
    if (made && writeBack) ops.WriteBack(f.Work.fd(), f.WorkPath);
  }
  made = made && SourceUnchanged(source.fd(), st) && f.Work.SetWriteTime(st.st_mtim) == 0 &&
         GiveCopyMode(f.Work.fd(), mode, true);
  if (!made) {
    f.Work.Close();
    return false;
  }
  f.Source = st;
  return f.Ready = true;
}

CopyAhead::~CopyAhead() {
  End();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void CopyAhead::Begin(UniqueFd sourceDir, UniqueFd targetDir, std::vector<AheadCopy> files,
                      std::function<bool()> mayGoOn, AheadPieces pieces) {
  End();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    sourceDir_ = std::move(sourceDir);
    targetDir_ = std::move(targetDir);
    files_ = std::move(files);
    mayGoOn_ = std::move(mayGoOn);
    pieces_ = std::move(pieces);
    const int64_t chunk = std::max<int64_t>(pieces_.Chunk, 1);
    blockStart_.clear(), bytesBefore_.clear(), blockLarge_.clear();
    blockOf_.assign(files_.size(), 0);
    int64_t bytes = 0;
    for (size_t i = 0; i < files_.size(); ++i) {
      const bool large = files_[i].Size > chunk;
      if (blockStart_.empty() || large || Large(blockStart_.size() - 1) || i - blockStart_.back() == kBlockFiles) {
        blockStart_.push_back(i);
        bytesBefore_.push_back(bytes);
        blockLarge_.push_back(large);
      }
      blockOf_[i] = blockStart_.size() - 1;
      bytes += files_[i].Size;
    }
    blocks_ = blockStart_.size();
    blockStart_.push_back(files_.size());
    bytesBefore_.push_back(bytes);
    next_ = walkBlock_ = 0;
    done_.assign(blocks_, 0);
    ++plan_;
    active_ = true;
  }
  // Without a thread to spare the walk makes every copy itself in Take.
  StartHelperOnce(started_, thread_, [this] { Loop(); });
  changed_.notify_all();
}

void CopyAhead::MakeBlock(size_t block, bool helper) {
  // The walk copies a large file the ordinary way, which shows its progress.
  if (Large(block) && !helper) return;
  AheadPieces pieces{.Chunk = pieces_.Chunk, .WriteBack = pieces_.WriteBack};
  if (helper) pieces.KeepOn = [this] { return !yield_.load() && (!mayGoOn_ || mayGoOn_()); };
  for (size_t i = blockStart_[block]; i < blockStart_[block + 1]; ++i)
    MakeCopyAhead(sourceDir_.Get(), targetDir_.Get(), ops_, files_[i], pieces);
}

bool CopyAhead::HelperMayClaim() const {
  if (!active_ || next_ >= blocks_ || next_ >= walkBlock_ + kWindowBlocks) return false;
  // The next block always; beyond it while the copies waiting stay few bytes.
  return next_ <= walkBlock_ + 1 || bytesBefore_[next_ + 1] - bytesBefore_[walkBlock_ + 1] <= kWindowBytes;
}

void CopyAhead::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return quit_ || HelperMayClaim(); });
    if (quit_) return;
    // Busy from here: End() waits before it drops the plan and mayGoOn_.
    helperBusy_ = true;
    lock.unlock();
    bool goOn = false;
    try {
      // It reads the run's own atomic state: asked without the lock.
      goOn = !mayGoOn_ || mayGoOn_();
    } catch (...) {
    }
    lock.lock();
    if (!goOn || !HelperMayClaim()) {
      helperBusy_ = false;
      changed_.notify_all();
      // Stopped or paused: not again before the walk moves on.
      const size_t seenBlock = walkBlock_;
      const uint64_t seenPlan = plan_;
      if (!goOn) changed_.wait(lock, [&] { return quit_ || plan_ != seenPlan || walkBlock_ != seenBlock; });
      continue;
    }
    const size_t block = next_++;
    yield_ = false;
    lock.unlock();
    try {
      MakeBlock(block, true);
    } catch (...) {
      // Out of memory, say: the block's files go the ordinary way.
    }
    lock.lock();
    helperBusy_ = false;
    done_[block] = 1;
    changed_.notify_all();
  }
}

AheadCopy* CopyAhead::Take(size_t i) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!active_ || i >= files_.size()) return nullptr;
  const size_t block = blockOf_[i];
  if (block != walkBlock_) {
    walkBlock_ = block;
    changed_.notify_all();
  }
  // Blocks the walk passed over without taking a file stay unmade.
  if (next_ < block) {
    std::fill(done_.begin() + static_cast<std::ptrdiff_t>(next_), done_.begin() + static_cast<std::ptrdiff_t>(block), 1);
    next_ = block;
  }
  while (!done_[block]) {
    // Unclaimed: this one is ours. Claimed by the helper: a large copy is
    // taken over after the piece at hand; rather than wait for small ones,
    // make a block of small ones further ahead, as long as there is one.
    const bool ours = next_ == block;
    if (!ours && Large(block)) yield_ = true;
    if (!ours && (Large(block) || !(next_ < blocks_ && next_ < block + kWindowBlocks && !Large(next_)))) {
      changed_.wait(lock);
      continue;
    }
    const size_t claimed = next_++;
    lock.unlock();
    MakeBlock(claimed, false);
    lock.lock();
    done_[claimed] = 1;
  }
  return &files_[i];
}

void CopyAhead::End() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!active_) return;
  active_ = false;
  yield_ = true;
  changed_.notify_all();
  changed_.wait(lock, [this] { return !helperBusy_; });
  // Copies never named vanish with their descriptors.
  files_.clear();
  done_.clear();
  blockStart_.clear(), blockOf_.clear(), bytesBefore_.clear(), blockLarge_.clear();
  blocks_ = next_ = walkBlock_ = 0;
  mayGoOn_ = nullptr;
  sourceDir_.Reset();
  targetDir_.Reset();
}

}  // namespace mv
