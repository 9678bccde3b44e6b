// DELETE jobs: the files the filter selects in the source tree, optionally
// purged on NetWare afterwards.

#include "engine/copythread.h"
#include "engine/dirlist.h"
#include "engine/nwsession.h"
#include "engine/walkfolder.h"
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
  const WalkFolder folder(t, kDeleteTag, dir, level);
  if (level == 0) {
    folder.Log(LVL_INFO, 0, "DELETE job in " + dir + mask);
    t.Target.Reset(dir);  // deletes stay in the tree
  }
  if (folder.StopAtStart()) return t.LastResult;
  if (t.Filter.IncludeFileNames.empty())
    return folder.Log(LVL_ERROR, MC_ABORTED, " : Delete job needs include file filter to be set!");
  if (const auto result = folder.NotEntered("")) return *result;
  if (!folder.OnResumePath()) return RC_SKIPPED;

  t.CurSourceDir = dir;
  if (t.SourceFileSystem == kUndecided) {
    t.SourceFileSystem = FileSystemOf(NetWareSession(t.Context()).Access(), dir);
    folder.Log(LVL_INFO, 0, "Source (" + dir + ") filesys: " +
                                (t.SourceFileSystem == kFsNetWare ? "Novell..." : "other..."));
  }

  int32_t r = RC_NOTHING_TO_DO;
  int32_t deleted = 0;
  {
    TTDirList list = t.ListSourceDir(dir, mask, t.Filter);
    folder.ForEachEntry(list, {.Abort = AfterAbort::PassOverChecked}, r, {},
                        [&](const TTDirEntry& e, int32_t, int pass) {
      t.CurEntryName = e.Name;
      if (pass == 1) {
        if (!e.IsDirectory() || depth <= 0 || IsSelfOrParent(e.Name)) return EntryTurn::Next;
        t.DisplayRefresh();
        const std::string sub = dir + e.Name + PathDelim;
        if (NewFoldersBarred(t.Options, mask)) {
          ++t.cSkipped;
          return EntryTurn::Next;
        }
        if (!FolderFilteredOut(t.Filter, sub, level)) r = DeleteDir(t, sub, "*.*", depth - 1, level + 1);
        return EntryTurn::Next;
      }
      if (e.IsDirectory()) return EntryTurn::Next;
      if (t.ResumeMode == kResumeSeeking) {
        ++t.cSkipped;
        ++t.cTotal;
        return EntryTurn::Next;
      }
      t.DisplayRefresh();
      ++t.cTotal;
      if (t.TerminateRequested()) return EntryTurn::Next;
      r = DeleteTargetFile(t, dir + e.Name, "*");
      if (TallyEntry(t, r)) {
        EntryDone(t, 0);
        ++t.cDeleted;
        ++deleted;
      }
      return EntryTurn::Next;
    });
  }

  if (!t.TerminateRequested() && t.SourceFileSystem == kFsNetWare && deleted > 0 &&
      (t.Options & OPT_PURGE_AFTER_DELETE) != 0) {
    if ((t.Options & OPT_LOG_ONLY_DELETE) != 0) {
      r = folder.Log(LVL_INFO, 0, "PURGE " + dir + mask);
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
