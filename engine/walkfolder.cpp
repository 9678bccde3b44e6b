// The steps every walk repeats in each folder.

#include "engine/walkfolder.h"

#include "engine/copythread.h"
#include "engine/dirlist.h"
#include "engine/walks.h"
#include "filter/matchmask.h"
#include "jobs/errmsg.h"
#include "jobs/jobtypes.h"
#include "netware/nwops.h"
#include "platform/findfile.h"
#include "platform/textcase.h"

namespace mv {

WalkFolder::WalkFolder(TCopyThread& thread, int32_t tag, std::string dir, int32_t level)
    : t_(thread), tag_(tag), dir_(std::move(dir)), level_(level) {}

int32_t WalkFolder::Log(int32_t level, int32_t code, const std::string& text, int32_t osError) const {
  return t_.Messages.AddMsgOS(tag_, level, code, osError, text);
}

int32_t WalkFolder::LogStop() const { return t_.LastResult = Log(LVL_ERROR, MC_TERMINATED, dir_); }

bool WalkFolder::StopAtStart() const {
  if (!t_.CheckTerminate()) return false;
  LogStop();
  return true;
}

std::optional<int32_t> WalkFolder::NotEntered(const std::string& abortText, const std::string& otherDir) const {
  if ((t_.LastResult & RC_ABORT) != 0) return Log(LVL_ERROR, MC_ABORTED, abortText);
  if (FolderOutOfReach(t_, dir_, level_, otherDir)) return RC_ERROR;
  return std::nullopt;
}

bool WalkFolder::OnResumePath() const {
  t_.CurrentFolder = UpperCase(dir_);
  if (t_.ResumeMode != kResumeSeeking) return true;
  if (!t_.ResumePath.starts_with(t_.CurrentFolder)) return false;
  if (t_.ResumePath == t_.CurrentFolder) {
    Log(LVL_INFO, 0, "...resumed in " + t_.CurrentFolder);
    t_.ResumeMode = kResumeMidTree;
  }
  return true;
}

bool WalkFolder::ForEachEntry(TTDirList& list, const EntryLoopRules& rules, int32_t& result,
                              const std::function<void(int)>& beforePass, const Visit& visit) const {
  bool ended = false;
  for (int pass = 0; pass < rules.Passes && !ended; ++pass) {
    if (beforePass) beforePass(pass);
    for (int32_t i = 0; i < list.Count(); ++i) {
      const bool aborted = (result & RC_ABORT) != 0;
      if (aborted && rules.Abort == AfterAbort::PassOverSilently) continue;
      // Checked before the abort, so every open level reports its own stop.
      if (t_.CheckTerminate()) {
        result = LogStop();
        ended = true;
        break;
      }
      if (aborted) {
        if (rules.Abort == AfterAbort::EndPass) break;
        continue;
      }
      if (visit(list[i], i, pass) == EntryTurn::EndWalk) {
        ended = true;
        break;
      }
    }
  }
  if (!ended && rules.ReportLateStop && t_.TerminateRequested()) {
    result = LogStop();
    ended = true;
  }
  return ended;
}

bool FolderFilteredOut(const TTDirFilter& filter, const std::string& sub, int32_t level) {
  return !filter.IncludeDirNames.empty() && filter.IncludeDirLevel <= level &&
         !ContainsAnyText(filter.IncludeDirNames, sub);
}

bool NewFoldersBarred(uint32_t options, const std::string& mask) {
  return (options & OPT_NO_NEW_DIRS) != 0 && IsWholeFolderMask(mask);
}

int32_t FileSystemOf(const NetWareAccess& nw, const std::string& dir) {
  return nw.Usable() && IsNetWarePath(nw, dir) == 0 ? kFsNetWare : kFsOther;
}

bool TallyEntry(TCopyThread& t, int32_t r, bool countSkips) {
  if (countSkips && ResultKind(r) == RC_SKIPPED) ++t.cSkipped;
  if (IsFailure(r)) ++t.cError;
  t.LastResult = r;
  return ResultKind(r) == RC_DONE;
}

void EntryDone(TCopyThread& t, int64_t bytes) {
  ++t.cSuccess;
  t.CompletedBytes += bytes;
  t.CurrentFileSize = t.RemainingBytes = 0;
}

}  // namespace mv
