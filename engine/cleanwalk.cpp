// Mirror clean-up of a target tree, and the deletes it and the DELETE walk
// share.

#include <cstdio>
#include <exception>

#include "engine/copyfile.h"
#include "engine/copythread.h"
#include "engine/dirlist.h"
#include "engine/walkfolder.h"
#include "engine/walks.h"
#include "filter/matchmask.h"
#include "jobs/errmsg.h"
#include "jobs/jobtypes.h"
#include "platform/fileio.h"
#include "platform/findfile.h"
#include "platform/hextext.h"
#include "platform/oserror.h"
#include "platform/paths.h"

namespace mv {

namespace {

constexpr int32_t kCleanTag = 0;
// Deeper folders are left alone rather than followed without end.
constexpr int32_t kDeleteTreeMaxDepth = 10;


// The top reference folder of the run: refDir + mask with its last component
// removed level + 1 times ("/" stays "/").
std::string ReferenceRoot(const std::string& refDir, const std::string& mask, int32_t level) {
  std::string root = refDir + mask;
  for (int32_t i = 0; i <= level && !root.empty(); ++i)
    root = ExcludeTrailingDelim(ExtractFilePath(root));
  return root;
}

// 0 when root is a folder that can be listed, else why not.
uint32_t RootError(const std::string& root) {
  if (root.empty()) return ERROR_PATH_NOT_FOUND;
  if (DirAccessible(root)) return 0;
  bool isDir = false;
  switch (PathExists(root, &isDir)) {
    case Exists::No: return ERROR_PATH_NOT_FOUND;
    case Exists::Yes: return isDir ? ERROR_ACCESS_DENIED : ERROR_DIRECTORY;
    case Exists::Unknown: break;
  }
  const uint32_t err = LastWinError();
  return err != 0 ? err : ERROR_ACCESS_DENIED;
}

bool IsDefinitelyDir(const std::string& path) {
  bool isDir = false;
  return PathExists(path, &isDir) == Exists::Yes && isDir;
}

bool IsDefinitelyMissingDir(const std::string& path) {
  bool isDir = false;
  const Exists e = PathExists(path, &isDir);
  return e == Exists::No || (e == Exists::Yes && !isDir);
}

}  // namespace

std::string EscapeName(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    const bool keep = (c >= 0x20 && c <= 0x7A) || c == 0xC4 || c == 0xD6 || c == 0xDC ||
                      c == 0xDF || c == 0xE4 || c == 0xF6 || c == 0xFC;
    if (keep) {
      out += static_cast<char>(c);
    } else {
      char buf[5];
      std::snprintf(buf, sizeof buf, "[%02X]", c);
      out += buf;
    }
  }
  return out;
}

int32_t DeleteTargetFile(TCopyThread& t, const std::string& path, const std::string& refPath) {
  int32_t result = MC_DELETE_TARGET;
  try {
    if (refPath != "*") {
      bool isDir = false;
      const Exists ref = PathExists(refPath, &isDir);
      // A reference that cannot be looked at may well be there: keep the file.
      if (ref == Exists::Unknown || (ref == Exists::Yes && !isDir)) return RC_NOTHING_TO_DO;
    }
    if ((t.Options & OPT_LOG_ONLY_DELETE) != 0) {
      t.Messages.AddMsg(kCleanTag, LVL_INFO, MC_DELETE_FILE, path);
      return RC_DONE;
    }
    if (const uint32_t err = t.Target.Delete(path); err != 0) {
      t.Messages.AddMsgOS(kCleanTag, LVL_ERROR, MC_DELETE_TARGET, static_cast<int32_t>(err), path);
      return MC_DELETE_TARGET;
    }
    result = RC_DONE;
  } catch (const std::exception&) {
  }
  return result;
}

int32_t DeleteTree(TCopyThread& t, const std::string& dir, int32_t& count, int32_t depth) {
  int32_t result = MC_DELETE_DIR_FAILED;
  if (depth >= kDeleteTreeMaxDepth) return result;
  t.DisplayRefresh();
  FindHandle h;
  FindData found;
  uint32_t err = FindFirst(dir + "*.*", kAttrAny, found, h);
  for (; err == 0; err = FindNext(h, found)) {
    if (found.Name == "." || found.Name == "..") continue;
    if (t.CheckTerminate()) return MC_TERMINATED;
    const std::string path = dir + found.Name;
    t.CurTargetEntryName = found.Name;
    t.DisplayRefresh();
    if ((found.Attr & kAttrDirectory) != 0) {
      DeleteTree(t, path + PathDelim, count, depth + 1);
    } else if (IsOwnTempFile(found.Name)) {
      // Our leftovers go with the folder. One that another run still holds
      // refuses (sharing violation), and the folder then stays.
      if ((t.Options & OPT_LOG_ONLY_DELETE) == 0) t.Target.Delete(path);
    } else if (DeleteTargetFile(t, path, "*") == RC_DONE) {
      ++count;
    }
  }
  h.Close();
  if (err == ERROR_NO_MORE_FILES) result = RC_DONE;
  t.Messages.AddMsg(kCleanTag, LVL_DIR, MC_DELETE_DIR, dir);
  if ((t.Options & OPT_LOG_ONLY_DELETE) == 0) {
    // Links the listing does not show would keep the folder for ever.
    if (err == ERROR_NO_MORE_FILES) t.Target.RemoveUnlisted(dir);
    if (const uint32_t rmErr = t.Target.RemoveDir(dir); rmErr != 0) {
      t.Messages.AddMsgOS(kCleanTag, LVL_ERROR, MC_DELETE_DIR_FAILED, static_cast<int32_t>(rmErr),
                          dir);
      result = MC_DELETE_DIR_FAILED;
    }
  }
  return result;
}

int32_t CleanDir(TCopyThread& t, const std::string& cleanDir, const std::string& refDir,
                 const std::string& mask, int32_t level) {
  const WalkFolder folder(t, kCleanTag, cleanDir, level);
  int32_t r = RC_NOTHING_TO_DO;
  if (level == 0) {
    folder.Log(LVL_INFO, 0, "CLEANING " + cleanDir + mask + "(" + mask + ")");
    t.Target.Reset(cleanDir);
  }
  if (folder.StopAtStart()) r = t.LastResult;
  if (const auto result = folder.NotEntered("", refDir)) return *result;

  t.CurTargetDir = cleanDir;
  t.CurSourceDir = refDir;
  const bool refExists = IsDefinitelyDir(refDir);

  // A source that vanished (a lost connection) must never make the whole
  // target look superfluous.
  const std::string root = ReferenceRoot(refDir, mask, level);
  auto sourceGone = [&]() -> int32_t {
    uint32_t err = RootError(root);
    if (err == 0 && refExists && !IsDefinitelyDir(refDir)) err = ERROR_PATH_NOT_FOUND;
    if (err == 0) return 0;
    ++t.cError;
    return t.LastResult = folder.Log(LVL_ERROR, MC_READ_SOURCE_CONN_ABORT, refDir, static_cast<int32_t>(err));
  };
  if (const int32_t gone = sourceGone(); gone != 0) return gone;
  if (level == 0 && !refExists) {
    ++t.cError;
    return t.LastResult = folder.Log(LVL_ERROR, MC_DELETE_DIR_FAILED, refDir);
  }

  uint64_t sourceSig = 0;
  if ((t.Options & OPT_CONFLICT_MASK) != OPT_OVERWRITE_ALL) {
    TTDirList ref;
    ref.SetRemote(t.WalkSourceRemote);
    ref.AssignFilter(t.Filter);
    ref.Mask = mask;
    if (ref.Read(refDir) >= 0) sourceSig = ref.Signature();
    if (const int32_t abort = ReportListingProblem(t, ref); abort != 0) return abort;
  }

  TTDirList list;
  list.SetRemote(t.WalkTargetRemote);
  list.Filter.Assign(&t.Filter);
  list.Mask = mask;
  list.RemoteHint = sourceSig;
  list.Read(cleanDir);
  if (const int32_t abort = ReportListingProblem(t, list); abort != 0) return abort;
  if (sourceSig != 0) t.StatusText = "CRC32:" + HexText(list.Signature(), 8) + "/" + HexText(sourceSig, 8);
  const bool sameFiles = list.Signature() == sourceSig;

  bool stopDir = false;
  folder.ForEachEntry(list, {.Passes = 1, .Abort = AfterAbort::EndPass}, r, {},
                      [&](const TTDirEntry& e, int32_t& i, int) {
    t.CurTargetEntryName = e.Name;
    t.CurEntryName = e.Name;
    if (e.IsDirectory()) {
      if (IsSelfOrParent(e.Name)) return EntryTurn::Next;
      t.DisplayRefresh();
      const std::string cleanSub = cleanDir + e.Name + PathDelim;
      const std::string sourceSub = refDir + e.Name + PathDelim;
      if (NewFoldersBarred(t.Options, mask)) return EntryTurn::Next;
      const bool dirSelected = t.Filter.IncludeDirNames.empty() ||
                               ContainsAnyText(t.Filter.IncludeDirNames, cleanSub);
      if ((t.Options & OPT_EMPTY_DIRS) != 0 && dirSelected && level >= 0 &&
          IsDefinitelyMissingDir(sourceSub)) {
        if (const int32_t gone = sourceGone(); gone != 0) {
          r = gone;
          return EntryTurn::EndWalk;
        }
        const int32_t treeResult = DeleteTree(t, cleanSub, t.cDeleted, 0);
        if (treeResult == MC_TERMINATED) {
          r = folder.LogStop();
          return EntryTurn::EndWalk;
        }
        if (treeResult != 0) {
          folder.Log(LVL_ERROR, MC_DELETE_DIR_FAILED, sourceSub);
          ++t.cError;
        }
        return EntryTurn::Next;
      }
      // The files listed before this folder are done: they need not stay
      // while the walk descends.
      list.DropFilesBefore(i);
      r = CleanDir(t, cleanSub, sourceSub, "*.*", level + 1);
      return EntryTurn::Next;
    }
    if (sameFiles) return EntryTurn::Next;
    t.DisplayRefresh();
    if (stopDir || IsOwnTempFile(e.Name)) return EntryTurn::Next;
    const std::string refPath = refDir + e.Name;
    if (PathExists(refPath) == Exists::No) {
      if (const int32_t gone = sourceGone(); gone != 0) {
        r = gone;
        return EntryTurn::EndWalk;
      }
    }
    r = DeleteTargetFile(t, cleanDir + e.Name, refPath);
    stopDir = (r & RC_SKIP_DIR) != 0;
    // Clean counts deletions, not successes or skips.
    if (TallyEntry(t, r, false)) ++t.cDeleted;
    return EntryTurn::Next;
  });
  return r;
}

}  // namespace mv
