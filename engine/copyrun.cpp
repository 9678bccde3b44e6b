#include "engine/copyrun.h"

#include <fcntl.h>
#include <sys/resource.h>

#include <algorithm>

#include "engine/copythread.h"

namespace mv {

namespace {

// Each waiting copy holds up to two descriptors (work copy, old target), and
// two batches wait at most (one being flushed, one being filled). The soft
// limit is raised towards that need as far as the hard limit allows (no
// part of the program uses select()); the batch takes what it then leaves
// after a reserve for everything else.
size_t BatchFilesWithinFdLimit(size_t wanted) {
  constexpr rlim_t kReserve = 256;
  wanted = std::max<size_t>(wanted, 1);
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1;
  const rlim_t need = static_cast<rlim_t>(wanted) * 4 + kReserve;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < need) {
    struct rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? need : std::min(need, limit.rlim_max);
    if (raised.rlim_cur > limit.rlim_cur && ::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  if (limit.rlim_cur == RLIM_INFINITY) return wanted;
  const rlim_t room = limit.rlim_cur > kReserve * 2 ? (limit.rlim_cur - kReserve) / 4 : limit.rlim_cur / 8;
  return std::clamp<size_t>(static_cast<size_t>(room), 1, wanted);
}

}  // namespace

int SourceFolder::Get(const std::string& dir) {
  if (fd_.Valid() && dir == dir_) return fd_.Get();
  dir_ = dir;
  fd_.Reset(::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  return fd_.Get();
}

CopyRunScope::CopyRunScope(TCopyThread& thread)
    : thread_(thread),
      run_(thread.Context().FileOps ? *thread.Context().FileOps : RealCopyOps(),
           BatchFilesWithinFdLimit(thread.Context().BatchFiles),
           thread.Context().BatchBytes) {
  thread_.Run = &run_;
}

CopyRunScope::~CopyRunScope() {
  try {
    CommitCopies(thread_);
  } catch (...) {
    // Out of memory while logging: the batch removes what it could not name.
  }
  thread_.Run = nullptr;
}

bool MustNameBeforeUnlock(const TCopyThread& thread) {
  return thread.Run && thread.Context().Locks && thread.Run->Batch.HoldsTargets();
}

int32_t CommitCopies(TCopyThread& thread) {
  return thread.Run ? thread.Run->Batch.Commit(thread) : 0;
}

}  // namespace mv
