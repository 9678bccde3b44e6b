#pragma once
// What one COPY action keeps for its whole walk: the batch of work copies
// waiting for their flush (with its flusher thread), two helper threads
// that list the target and the source folders ahead of the walk, and one
// that copies new files ahead of it (all made once per action, not per
// folder).

#include <cstdint>
#include <string>

#include "engine/copyahead.h"
#include "engine/copybatch.h"
#include "engine/listingsahead.h"
#include "platform/uniquefd.h"

namespace mv {

class TCopyThread;

// The source folder of the files being copied, open once for all of them:
// each file then opens by its name, not by walking its whole path again.
class SourceFolder {
 public:
  // A descriptor of dir (ends in "/"; links followed, as by its path), or
  // -1 when it cannot be opened.
  int Get(const std::string& dir);

 private:
  std::string dir_;
  UniqueFd fd_;
};

struct CopyRun {
  CopyRun(CopyOps& ops, size_t maxFiles, int64_t maxBytes) : Batch(ops, maxFiles, maxBytes), Ahead(ops) {}
  CopyBatch Batch;
  CopyAhead Ahead;
  ListingsAhead TargetListings;
  ListingsAhead SourceListings{true};
  SourceFolder Source;
  // Whether new work copies can be made without a name and named when
  // complete: -1 not known yet, 0 no (the file system or the kernel
  // refused), 1 yes.
  int UnnamedWork = -1;
};

// Gives the thread a CopyRun for the life of this object and commits what
// is still waiting when it ends.
class CopyRunScope {
 public:
  explicit CopyRunScope(TCopyThread& thread);
  ~CopyRunScope();
  CopyRunScope(const CopyRunScope&) = delete;
  CopyRunScope& operator=(const CopyRunScope&) = delete;

 private:
  TCopyThread& thread_;
  CopyRun run_;
};

// Waiting copies replace targets in a folder whose lock the walk is about to
// give up: they must get their names first, as another job could take it.
// Without a lock table no other job can.
bool MustNameBeforeUnlock(const TCopyThread& thread);

// Commits the thread's batch (if any); the result as CopyBatch::Commit.
int32_t CommitCopies(TCopyThread& thread);

}  // namespace mv
