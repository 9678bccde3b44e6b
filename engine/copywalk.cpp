// The copy walk: one COPY action, one directory level per call.

#include <filesystem>
#include <string>
#include <system_error>
#include <unordered_map>

#include "engine/copyfile.h"
#include "engine/copyrun.h"
#include "engine/copythread.h"
#include "engine/dirlist.h"
#include "engine/folderlock.h"
#include "engine/nwsession.h"
#include "engine/walks.h"
#include "filter/matchmask.h"
#include "jobs/errmsg.h"
#include "jobs/jobrecord.h"
#include "jobs/jobtypes.h"
#include "netware/nwops.h"
#include "platform/datetime.h"
#include "platform/fileio.h"
#include "platform/findfile.h"
#include "platform/hextext.h"
#include "platform/oserror.h"
#include "platform/paths.h"
#include "platform/textcase.h"

namespace mv {

namespace {

constexpr const char* kAllMask = "*.*";

// Access denied, drive not ready and the network errors: a directory we
// cannot create for one of these reasons will fail for every file below it.
bool IsFatalDirError(uint32_t error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_NOT_READY || IsNetworkError(error);
}

// Counts the delimiters in s.
int64_t CountDelims(const std::string& s) {
  int64_t n = 0;
  for (char c : s) n += c == PathDelim;
  return n;
}

// The target lies inside the part of the source tree that the walk enters
// (at most levels further down): the walk would copy its own output again.
// Paths compare exactly: on Linux "Data/" and "data/" are two folders.
// Returns the rest of target below source, or false.
bool InsideWalkedTree(const std::string& source, const std::string& target, int32_t levels,
                      std::string& rest) {
  if (target.compare(0, source.size(), source) != 0) return false;
  rest = target.substr(source.size());
  return CountDelims(rest) <= levels;
}

// The directory with links resolved (also below a part that does not exist
// yet), so that a target reached through a link into the source is caught.
std::string ResolvedDir(const std::string& dir) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::weakly_canonical(std::filesystem::path(dir), ec);
  return ec ? std::string() : IncludeTrailingDelim(p.string());
}

// Waiting copies that replace existing targets get their names before the
// walk gives up the folder lock that covers them. A failure there becomes
// the walk's result when result is given.
void ReleaseFolder(TCopyThread& thread, int32_t* result = nullptr) {
  if (thread.Run && thread.Run->Batch.HoldsTargets()) {
    const int32_t committed = CommitCopies(thread);
    if (result && IsFailure(committed)) *result = committed;
  }
  FolderLock(thread, "");
}

uint32_t AttributesOr(const std::string& path, uint32_t fallback) {
  uint32_t attr = 0;
  return GetFileAttributes(path, attr) == 0 ? attr : fallback;
}

}  // namespace

uint32_t ForceDir(TCopyThread& thread, const std::string& dir, uint32_t attributes, int32_t levels,
                  const std::string& sourceDir, uint32_t dosTime) {
  if ((thread.Options & OPT_LOG_ONLY_COPY) != 0 || UpperCase(dir).rfind("NUL:", 0) == 0) return 0;

  if (levels > 0) {
    // For "a/b/" this is "a/b" itself, one call further up the true parent:
    // missing parents come into being top-down, each like its source folder.
    const std::string parent = ExcludeTrailingDelim(ExtractFilePath(dir));
    if (!parent.empty() && parent != dir && !DirAccessible(parent)) {
      FindData found;
      const uint32_t probe = GetFileInfo(parent, found);
      if (probe != 0 && IsFatalDirError(probe)) return probe;
      const std::string parentSource = ExcludeTrailingDelim(ExtractFilePath(sourceDir));
      FindData sourceInfo;
      const uint32_t parentTime = GetFileInfo(parentSource, sourceInfo) == 0 ? sourceInfo.Time : 0;
      const uint32_t e = ForceDir(thread, parent, AttributesOr(parentSource, kAttrDirectory), levels - 1,
                                  parentSource, parentTime);
      if (e != 0) return e;
    }
  }

  // Below the job's folder no link is followed (nor created through).
  uint32_t error = DriveReady(dir) ? thread.Target.MakeDirs(dir) : ERROR_NOT_READY;
  if (error != 0) {
    thread.Log(LVL_INFO, 0, std::to_string(error) + " by forcedir of " + dir);
    if (error == ERROR_ACCESS_DENIED || IsNetworkError(error)) return error;
  }
  if (thread.TargetFileSystem == kFsNetWare) {
    DateTime date = DosToDateTime(dosTime);
    std::string logText;
    NetWareDirDate(NetWareSession(thread.Context()).Access(), dir, date, true, logText);
  }
  if (attributes != kAttrDirectory) thread.Target.SetAttributes(dir, attributes);
  return error;
}

int32_t CopyWalk(TCopyThread& thread, const std::string& sourceDir, const std::string& targetDir,
                 int64_t& signatureSum, int32_t levels, int32_t depth, const std::string& mask) {
  ReleaseFolder(thread);
  int32_t result = 1;
  if (depth == 0) {
    thread.Log(LVL_INFO, 0, "COPY " + sourceDir + mask);
    // Waiting copies belong to the tree they were written in.
    if (thread.Run && !thread.Run->Batch.Empty()) CommitCopies(thread);
    thread.Target.Reset(targetDir);
  }

  if (thread.CheckTerminate()) {
    result = thread.Log(LVL_ERROR, MC_TERMINATED, sourceDir);
    thread.LastResult = result;
    return result;
  }

  // Recursion test. At the top it compares the real folders (links
  // resolved), so a target reached through a link into the source is caught;
  // below, the walk never follows a link and the names as given tell.
  // An empty mask enters nothing, so it cannot recurse.
  if (!mask.empty()) {
    auto walkedKey = [&mask](const std::string& dir) { return IsWholeFolderMask(mask) ? dir : dir + mask; };
    std::string source = sourceDir, target = targetDir;
    if (depth == 0 && UpperCase(targetDir).rfind("NUL:", 0) != 0) {
      const std::string realSource = ResolvedDir(sourceDir), realTarget = ResolvedDir(targetDir);
      if (!realSource.empty() && !realTarget.empty()) source = realSource, target = realTarget;
    }
    source = walkedKey(source);
    std::string rest;
    if (InsideWalkedTree(source, target, levels, rest))
      thread.LastResult = thread.Log(LVL_ERROR, MC_RECURSIVE_COPY, source + "|" + rest);
  }

  if ((thread.LastResult & RC_ABORT) != 0) return thread.Log(LVL_ERROR, MC_ABORTED, "");
  if (FolderOutOfReach(thread, sourceDir, depth, targetDir)) return RC_ERROR;

  thread.CurrentFolder = UpperCase(sourceDir);
  if (thread.ResumeMode == kResumeSeeking) {
    // Folders outside the resume path were finished by the interrupted run.
    if (thread.ResumePath.compare(0, thread.CurrentFolder.size(), thread.CurrentFolder) != 0) return 2;
    if (thread.ResumePath == thread.CurrentFolder) {
      thread.Log(LVL_INFO, 0, "...resumed in " + thread.CurrentFolder);
      thread.ResumeMode = kResumeMidTree;
    }
  }

  thread.CurSourceDir = sourceDir;
  thread.CurTargetDir = targetDir;
  bool targetExists = DirAccessible(targetDir);
  if (targetExists && UpperCase(targetDir).rfind("NUL:", 0) != 0) {
    // A link where a target folder should be is an error of that folder:
    // nothing is written through it.
    if (const uint32_t error = thread.Target.DirState(targetDir); error == ERROR_CANT_RESOLVE_FILENAME) {
      ++thread.cError;
      return thread.Log(LVL_ERROR, MC_CREATE_DIR, targetDir, error);
    }
    RemoveStaleResumeFile(thread, sourceDir, targetDir);
  }

  const NetWareSession session(thread.Context());
  const NetWareAccess& nw = session.Access();
  if (thread.SourceFileSystem == kUndecided || thread.TargetFileSystem == kUndecided) {
    auto decide = [&](const std::string& dir) {
      const bool novell = nw.Usable() && IsNetWarePath(nw, dir) == 0;
      thread.Log(LVL_INFO, 0, "Filesys of " + dir + (novell ? ": Novell" : ": other"));
      return novell ? kFsNetWare : kFsOther;
    };
    if (thread.SourceFileSystem == kUndecided) thread.SourceFileSystem = decide(sourceDir);
    if (thread.TargetFileSystem == kUndecided) thread.TargetFileSystem = decide(targetDir);
  }
  if (thread.SameServerState == kUndecided) {
    thread.SameServerState = kNotSameServer;
    if (nw.Usable()) {
      thread.Log(LVL_INFO, 0, "Check, if same NetWare server...");
      if (SameNetWareServer(nw, sourceDir, targetDir)) {
        thread.SameServerState = kSameServer;
        thread.Log(LVL_INFO, 0, "...YES");
      }
    }
  }

  // Both sides are listed at the same time: on a local disk the two listings
  // are independent, and an unchanged tree costs little more than listing it.
  const uint32_t conflict = thread.Options & OPT_CONFLICT_MASK;
  const bool listTarget = conflict != OPT_OVERWRITE_ALL;
  TTDirList targetList;
  // A remote source needs the target's signature as its hint: then the
  // target is listed first. Otherwise the run's helper thread lists it.
  const bool remoteSource = thread.WalkSourceRemote && thread.WalkSourceRemote->Active();
  SideTask* lister = !remoteSource && thread.Run ? &thread.Run->Lister : nullptr;
  if (listTarget) {
    targetList.SetRemote(thread.WalkTargetRemote);
    targetList.AssignFilter(thread.Filter);
    targetList.Mask = mask;
    if (lister) lister->Start([&targetList, &targetDir] { return targetList.Read(targetDir); });
  }
  uint64_t targetSignature = 0;
  auto finishTarget = [&] {
    if (!listTarget) return;
    const int32_t read = lister ? lister->Wait() : targetList.Read(targetDir);
    if (read >= 0) targetSignature = targetList.Signature();
    if (const int32_t abort = ReportListingProblem(thread, targetList); abort != 0) result = abort;
    if (targetList.LastError() == static_cast<int32_t>(ERROR_NOT_READY))
      result = thread.Log(LVL_ERROR, MC_DRIVE_NOT_READY, targetDir, ERROR_NOT_READY);
  };
  if (remoteSource) finishTarget();
  TTDirList list;
  list.SetRemote(thread.WalkSourceRemote);
  list.Filter = thread.Filter;
  list.Mask = mask;
  list.RemoteHint = targetSignature;
  list.Read(sourceDir);
  if (const int32_t abort = ReportListingProblem(thread, list, true); abort != 0) result = abort;
  if (!remoteSource) finishTarget();
  const uint64_t sourceSignature = list.Signature();
  signatureSum += static_cast<int64_t>(sourceSignature);
  if (const uint32_t error = static_cast<uint32_t>(list.LastError()); error != 0) {
    if (IsNetworkError(error)) result = thread.Log(LVL_ERROR, MC_NETWORK_SOURCE, sourceDir, error);
    ++thread.cError;
    if (error == ERROR_NOT_READY)
      result = thread.Log(LVL_ERROR, MC_DRIVE_NOT_READY, sourceDir, error);
    else
      thread.Log(LVL_INFO, 0, "Read directory " + sourceDir + " returned an error", error);
  }
  // Where the directories differ, a file whose target is at least as new
  // needs no look by the copy: the conflict rule would skip it anyway.
  std::unordered_map<std::string, int32_t> targetTimes;
  if (targetSignature != 0 && targetSignature != sourceSignature &&
      (conflict == OPT_SKIP_EXISTING || conflict == OPT_OVERWRITE_OLDER)) {
    targetTimes.reserve(static_cast<size_t>(targetList.Count()));
    for (int32_t i = 0; i < targetList.Count(); ++i)
      if (!targetList[i].IsDirectory()) targetTimes.emplace(targetList[i].Name, targetList[i].Time);
  }
  if (targetSignature != 0) thread.StatusText = HexText(sourceSignature, 8) + "-" + HexText(targetSignature, 8);

  bool stopped = false;
  bool skipRestOfDir = false;
  bool targetMissing = false;  // creating the target folder failed
  for (int pass = 0; pass < 2 && !stopped; ++pass) {
    if (pass == 1) {
      // The folders' turn needs nothing else: the rest goes before the walk
      // descends, so a deep tree does not keep every level's files.
      list.RemoveIf([](const TTDirEntry& e) { return !e.IsNormalDirectory(); });
      targetList.Clear();
      targetTimes = {};
    }
    for (int32_t i = 0; i < list.Count(); ++i) {
      if ((result & RC_ABORT) != 0) continue;
      if (thread.CheckTerminate()) {
        result = thread.Log(LVL_ERROR, MC_TERMINATED, sourceDir);
        thread.LastResult = result;
        stopped = true;
        break;
      }
      const TTDirEntry& entry = list[i];
      thread.CurEntryName = entry.Name;

      if (pass == 0) {
        if (entry.IsDirectory()) continue;
        if (sourceSignature == targetSignature || thread.ResumeMode == kResumeSeeking) {
          ++thread.cSkipped;
          ++thread.cTotal;
          continue;
        }
        if (auto it = targetTimes.find(entry.Name);
            it != targetTimes.end() && (conflict == OPT_SKIP_EXISTING || entry.Time <= it->second)) {
          ++thread.cSkipped;
          ++thread.cTotal;
          continue;
        }
        if (thread.Run && thread.Run->Batch.Full()) {
          // Flushed while the next batch is written; named when that is full.
          const int32_t committed = thread.Run->Batch.CommitInBackground(thread);
          if (IsFailure(committed)) result = committed;
          if ((result & RC_ABORT) != 0) continue;
        }
        if (!targetExists && !targetMissing) {
          const uint32_t error = ForceDir(thread, targetDir, AttributesOr(sourceDir, kAttrDirectory), depth,
                                          sourceDir, static_cast<uint32_t>(FileDosTime(sourceDir)));
          if (error == 0) {
            targetExists = true;
            if (thread.Run) thread.Run->Batch.NoteCreatedFolder(targetDir);
          } else {
            targetMissing = true;
            result = thread.Log(LVL_ERROR, IsFatalDirError(error) ? MC_CREATE_DIR_ABORT : MC_CREATE_DIR,
                                targetDir, error);
          }
        }
        thread.DisplayTick();
        ++thread.cTotal;
        if (targetMissing) {
          ++thread.cError;
          continue;
        }
        if (skipRestOfDir || thread.TerminateRequested()) continue;
        result = CopyOneFile(thread, sourceDir + entry.Name, targetDir + entry.Name, entry.Found);
        if ((result & RC_SKIP_DIR) != 0) skipRestOfDir = true;
        if (ResultKind(result) == RC_DONE) {
          ++thread.cSuccess;
          thread.RemainingBytes = 0;
          thread.CurrentFileSize = 0;
          thread.CompletedBytes += entry.Size64();
        } else if (ResultKind(result) == RC_SKIPPED) {
          ++thread.cSkipped;
        }
        if (IsFailure(result)) ++thread.cError;
        thread.LastResult = result;
        continue;
      }

      if (!entry.IsNormalDirectory() || levels <= 0) continue;
      if (IsSelfOrParent(entry.Name)) continue;
      thread.DisplayTick();
      const std::string newSource = sourceDir + entry.Name + PathDelim;
      const std::string newTarget = targetDir + entry.Name + PathDelim;
      if ((thread.Options & OPT_NO_NEW_DIRS) != 0 && IsWholeFolderMask(mask)) {
        ++thread.cSkipped;
        continue;
      }
      if ((thread.Options & OPT_EMPTY_DIRS) != 0) {
        const TTDirFilter& f = thread.Filter;
        const bool filteredOut = !f.IncludeDirNames.empty() && !ContainsAnyText(f.IncludeDirNames, newSource) &&
                                 f.IncludeDirLevel <= depth;
        if (!filteredOut && !DirAccessible(newTarget)) {
          const uint32_t error = ForceDir(thread, newTarget, static_cast<uint32_t>(entry.Attr), depth, newSource,
                                          static_cast<uint32_t>(entry.Time));
          if (error == 0 && thread.Run) thread.Run->Batch.NoteCreatedFolder(newTarget);
          if (error != 0) {
            thread.Log(LVL_ERROR, MC_CREATE_DIR, newTarget, error);
            ++thread.cError;
            if (IsFatalDirError(error))
              result = thread.Log(LVL_ERROR, MC_NETWORK_CONNECTION, newTarget + " " + std::to_string(error));
            continue;
          }
        }
      }
      result = CopyWalk(thread, newSource, newTarget, signatureSum, levels - 1, depth + 1, kAllMask);
    }
  }

  if (!thread.TerminateRequested() && nw.Usable()) {
    NWRightsCopyOptions rights{.CopyTrustees = (thread.Options & OPT_COPY_TRUSTEES) != 0,
                               .LogOnly = (thread.Options & OPT_LOG_ONLY_COPY) != 0,
                               .Terminated = [&thread] { return thread.TerminateRequested(); }};
    CopyNetWareRights(nw, sourceDir, targetDir, rights,
                      [&thread](int32_t level, const std::string& text) { thread.Log(level, 0, text); });
  }
  ReleaseFolder(thread, &result);
  return result;
}

void RunCopyAction(TCopyThread& thread, const TTFileAction& action) {
  TTFileThreadControl& job = *thread.Job;
  const int64_t window = job.Schedule ? job.Schedule->TrackingWindow() : 0;
  if (job.SecondsSinceTracked >= 0 && job.SecondsSinceTracked < window) {
    thread.LastResult = 0;
    return;
  }

  // Every copy still waiting for its flush is flushed and named (or removed)
  // when the action ends, however it ends.
  CopyRunScope run(thread);
  const std::string sourcePath = IncludeTrailingDelim(action.SourcePath);
  const std::string targetPath = IncludeTrailingDelim(action.TargetPath);
  // Masks as the action has them: an empty one selects nothing.
  const std::string& sourceMask = action.Source;
  const std::string& targetMask = action.Target;
  const int32_t levels = thread.Filter.SubdirDepth();
  const uint32_t direction = thread.Options & OPT_DIR_MASK;
  if (direction != OPT_DIR_TO_TARGET && direction != OPT_DIR_TO_SOURCE && direction != OPT_DIR_BOTH) return;

  if (direction == OPT_DIR_TO_TARGET) {
    if ((thread.Options & OPT_MIRROR) != 0)
      thread.LastResult = CleanDir(thread, targetPath, sourcePath, sourceMask, 0);
    if (thread.ResumeMode == kResumeSeeking) thread.Log(LVL_INFO, 0, "Trying to resume...");
  }

  struct Counts {
    int64_t signature;
    int32_t total, skipped, error, success;
  };
  const Counts before{thread.SourceSignatureSum, thread.cTotal, thread.cSkipped, thread.cError, thread.cSuccess};
  auto walk = [&] {
    if (direction != OPT_DIR_TO_SOURCE) {
      thread.WalkSourceRemote = thread.SourceRemote.get();
      thread.WalkTargetRemote = thread.TargetRemote.get();
      thread.LastResult = CopyWalk(thread, sourcePath, targetPath, thread.SourceSignatureSum, levels, 0, sourceMask);
    }
    if (direction != OPT_DIR_TO_TARGET) {
      int64_t scratch = 0;
      thread.WalkSourceRemote = thread.TargetRemote.get();
      thread.WalkTargetRemote = thread.SourceRemote.get();
      thread.LastResult = CopyWalk(thread, targetPath, sourcePath, scratch, levels, 0, targetMask);
    }
    thread.WalkSourceRemote = thread.SourceRemote.get();
    thread.WalkTargetRemote = thread.TargetRemote.get();
  };
  walk();
  // The folder the interrupted run stopped in is gone: the walk above only
  // skipped. Copy everything now rather than report an empty run as done.
  if (thread.ResumeMode == kResumeSeeking && (thread.LastResult & RC_ABORT) == 0 && !thread.TerminateRequested()) {
    thread.Log(LVL_INFO, 0, "Resume folder not found: " + thread.ResumePath);
    thread.ResumeMode = kResumeNone;
    thread.SourceSignatureSum = before.signature;
    thread.cTotal = before.total, thread.cSkipped = before.skipped;
    thread.cError = before.error, thread.cSuccess = before.success;
    walk();
  }
}

}  // namespace mv
