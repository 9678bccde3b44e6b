// DELETE jobs: the files the filter selects in the source tree, optionally
// purged on NetWare afterwards.

#include "engine/copythread.h"
#include "engine/dirlist.h"
#include "engine/nwsession.h"
#include "engine/walks.h"
#include "filter/matchmask.h"
#include "jobs/errmsg.h"
#include "jobs/jobtypes.h"
#include "netware/nwops.h"
#include "platform/findfile.h"
#include "platform/paths.h"
#include "platform/textcase.h"

namespace mv {

namespace {

constexpr int32_t kDeleteTag = JOB_DELETE;


}  // namespace

int32_t DeleteDir(TCopyThread& t, const std::string& dir, const std::string& mask, int32_t depth,
                  int32_t level) {
  auto log = [&t](int32_t lvl, int32_t code, const std::string& text) {
    return t.Messages.AddMsg(kDeleteTag, lvl, code, text);
  };
  if (level == 0) {
    log(LVL_INFO, 0, "DELETE job in " + dir + mask);
    t.Target.Reset(dir);  // deletes stay in the tree
  }
  if (t.CheckTerminate()) return t.LastResult = log(LVL_ERROR, MC_TERMINATED, dir);
  if (t.Filter.IncludeFileNames.empty())
    return log(LVL_ERROR, MC_ABORTED, " : Delete job needs include file filter to be set!");
  if ((t.LastResult & RC_ABORT) != 0) return log(LVL_ERROR, MC_ABORTED, "");
  if (FolderOutOfReach(t, dir, level)) return RC_ERROR;

  const std::string upper = UpperCase(dir);
  t.CurrentFolder = upper;
  if (t.ResumeMode == kResumeSeeking) {
    // Subtrees beside the path to the resume folder were finished last time.
    if (!t.ResumePath.starts_with(upper)) return RC_SKIPPED;
    if (t.ResumePath == upper) {
      log(LVL_INFO, 0, "...resumed in " + upper);
      t.ResumeMode = kResumeMidTree;
    }
  }

  t.CurSourceDir = dir;
  if (t.SourceFileSystem == kUndecided) {
    NetWareSession nw(t.Context());
    if (nw.Access().Usable() && IsNetWarePath(nw.Access(), dir) == 0) {
      log(LVL_INFO, 0, "Source (" + dir + ") filesys: Novell...");
      t.SourceFileSystem = kFsNetWare;
    } else {
      log(LVL_INFO, 0, "Source (" + dir + ") filesys: other...");
      t.SourceFileSystem = kFsOther;
    }
  }

  int32_t r = RC_NOTHING_TO_DO;
  int32_t deleted = 0;
  {
    TTDirList list = t.ListSourceDir(dir, mask, t.Filter);
    bool terminated = false;
    for (int pass = 0; pass < 2 && !terminated; ++pass) {
      for (int32_t i = 0; i < list.Count(); ++i) {
        // Checked first, so every open level reports its own stop.
        if (t.CheckTerminate()) {
          r = t.LastResult = log(LVL_ERROR, MC_TERMINATED, dir);
          terminated = true;
          break;
        }
        if ((r & RC_ABORT) != 0) continue;
        const TTDirEntry& e = list[i];
        t.CurEntryName = e.Name;
        if (pass == 1) {
          if (!e.IsDirectory() || depth <= 0 || IsSelfOrParent(e.Name)) continue;
          t.DisplayRefresh();
          const std::string sub = dir + e.Name + PathDelim;
          if ((t.Options & OPT_NO_NEW_DIRS) != 0 && IsWholeFolderMask(mask)) {
            ++t.cSkipped;
            continue;
          }
          if (!t.Filter.IncludeDirNames.empty() && t.Filter.IncludeDirLevel <= level &&
              !ContainsAnyText(t.Filter.IncludeDirNames, sub))
            continue;
          r = DeleteDir(t, sub, "*.*", depth - 1, level + 1);
          continue;
        }
        if (e.IsDirectory()) continue;
        if (t.ResumeMode == kResumeSeeking) {
          ++t.cSkipped;
          ++t.cTotal;
          continue;
        }
        t.DisplayRefresh();
        ++t.cTotal;
        if (t.TerminateRequested()) continue;
        r = DeleteTargetFile(t, dir + e.Name, "*");
        if (ResultKind(r) == RC_DONE) {
          ++t.cSuccess;
          ++t.cDeleted;
          ++deleted;
          t.CurrentFileSize = t.RemainingBytes = 0;
        } else if (ResultKind(r) == RC_SKIPPED) {
          ++t.cSkipped;
        }
        if (IsFailure(r)) ++t.cError;
        t.LastResult = r;
      }
    }
    if (!terminated && t.TerminateRequested())
      r = t.LastResult = log(LVL_ERROR, MC_TERMINATED, dir);
  }

  if (!t.TerminateRequested() && t.SourceFileSystem == kFsNetWare && deleted > 0 &&
      (t.Options & OPT_PURGE_AFTER_DELETE) != 0) {
    if ((t.Options & OPT_LOG_ONLY_DELETE) != 0) {
      r = log(LVL_INFO, 0, "PURGE " + dir + mask);
    } else {
      // Everything deleted in this folder so far is due, not only this run's.
      const int32_t ageLimit = t.Filter.FileAgeMinDays;
      t.Filter.FileAgeMinDays = -1;
      PurgeDir(t, dir, mask, -1, level);
      t.Filter.FileAgeMinDays = ageLimit;
    }
  }
  return r;
}

}  // namespace mv
