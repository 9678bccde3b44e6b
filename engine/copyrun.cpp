#include "engine/copyrun.h"

#include <sys/resource.h>

#include <algorithm>

#include "engine/copythread.h"

namespace mv {

namespace {

// Each waiting copy holds up to two descriptors (work copy, old target): a
// batch being flushed and the one being filled together take at most a
// quarter of the process's limit.
size_t BatchFilesWithinFdLimit(size_t wanted) {
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return wanted;
  return std::clamp<size_t>(static_cast<size_t>(limit.rlim_cur / 8), 1, std::max<size_t>(wanted, 1));
}

}  // namespace

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

int32_t CommitCopies(TCopyThread& thread) {
  return thread.Run ? thread.Run->Batch.Commit(thread) : 0;
}

}  // namespace mv
