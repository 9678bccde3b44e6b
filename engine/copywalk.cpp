// The copy walk of a COPY action, one folder per call, and the target folders it creates.

#include <fcntl.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/copyahead.h"
#include "engine/copyfile.h"
#include "engine/copyrun.h"
#include "engine/copythread.h"
#include "engine/dirlist.h"
#include "engine/folderlock.h"
#include "engine/nwsession.h"
#include "engine/walkfolder.h"
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
// Files of one plan of copies made ahead: a folder with more gets several.
constexpr size_t kAheadPlanFiles = 16384;

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

// A failure naming the waiting copies becomes the walk's result when result
// is given.
void ReleaseFolder(TCopyThread& thread, int32_t* result = nullptr) {
  if (MustNameBeforeUnlock(thread)) {
    const int32_t committed = CommitCopies(thread);
    if (result && IsFailure(committed)) *result = committed;
  }
  FolderLock(thread, "");
}

// Output to the null device: nothing to create, resolve or check.
bool IsNulDevice(const std::string& dir) { return UpperCase(dir).rfind("NUL:", 0) == 0; }

uint32_t AttributesOr(const std::string& path, uint32_t fallback) {
  uint32_t attr = 0;
  return GetFileAttributes(path, attr) == 0 ? attr : fallback;
}

}  // namespace

uint32_t ForceDir(TCopyThread& thread, const std::string& dir, uint32_t attributes, int32_t levels,
                  const std::string& sourceDir, uint32_t dosTime) {
  if ((thread.Options & OPT_LOG_ONLY_COPY) != 0 || IsNulDevice(dir)) return 0;

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

namespace {

bool OnlySelfAndParent(const std::string& dir) {
  FindHandle h;
  FindData found;
  uint32_t error = FindFirst(dir + "*", kAttrAny | kFindSkipArchive, found, h);
  for (; error == 0; error = FindNext(h, found))
    if (!IsSelfOrParent(found.Name)) return false;
  return error == ERROR_NO_MORE_FILES;
}

// One folder of the copy walk, in the order the walk takes its stages.
class CopyFolder {
 public:
  CopyFolder(TCopyThread& thread, const std::string& sourceDir, const std::string& targetDir,
             int64_t& signatureSum, int32_t levels, int32_t depth, const std::string& mask)
      : t_(thread), folder_(thread, thread.Tag, sourceDir, depth), source_(sourceDir), target_(targetDir),
        signatureSum_(signatureSum), levels_(levels), depth_(depth), mask_(mask),
        conflict_(thread.Options & OPT_CONFLICT_MASK) {}

  int32_t Walk() {
    ReleaseFolder(t_);
    if (depth_ == 0) OpenTree();
    if (folder_.StopAtStart()) return t_.LastResult;
    NoteRecursion();
    if (const auto result = folder_.NotEntered("", target_)) return *result;
    // Folders outside the resume path were finished by the interrupted run.
    if (!folder_.OnResumePath()) return RC_SKIPPED;
    if (const auto result = CheckTargetFolder()) return *result;

    const NetWareSession session(t_.Context());
    const NetWareAccess& nw = session.Access();
    DecideFileSystems(nw);
    ListBothSides();
    // The level that aborted has reported it; a stop after the last entry is
    // the next level's to report.
    folder_.ForEachEntry(list_, {.Abort = AfterAbort::PassOverSilently, .ReportLateStop = false}, result_,
                         [this](int pass) {
                           if (pass == 1) KeepOnlyFolders();
                         },
                         [this](const TTDirEntry& entry, int32_t index, int pass) {
                           t_.CurEntryName = entry.Name;
                           return pass == 0 ? CopyFileEntry(entry, index) : EnterSubfolder(entry);
                         });
    EndAhead();
    if (!t_.TerminateRequested() && nw.Usable()) CopyRights(nw);
    ReleaseFolder(t_, &result_);
    return result_;
  }

 private:
  void OpenTree() {
    t_.Log(LVL_INFO, 0, "COPY " + source_ + mask_);
    // Waiting copies belong to the tree they were written in.
    if (t_.Run && !t_.Run->Batch.Empty()) CommitCopies(t_);
    t_.Target.Reset(target_);
  }

  // At the top the real folders compare (links resolved), so a target
  // reached through a link into the source is caught; below, the walk never
  // follows a link and the names as given tell. An empty mask enters
  // nothing, so it cannot recurse.
  void NoteRecursion() {
    if (mask_.empty()) return;
    std::string source = source_, target = target_;
    if (depth_ == 0 && !IsNulDevice(target_)) {
      const std::string realSource = ResolvedDir(source_), realTarget = ResolvedDir(target_);
      if (!realSource.empty() && !realTarget.empty()) source = realSource, target = realTarget;
    }
    if (!IsWholeFolderMask(mask_)) source += mask_;
    std::string rest;
    if (InsideWalkedTree(source, target, levels_, rest))
      t_.LastResult = t_.Log(LVL_ERROR, MC_RECURSIVE_COPY, source + "|" + rest);
  }

  std::optional<int32_t> CheckTargetFolder() {
    t_.CurSourceDir = source_;
    t_.CurTargetDir = target_;
    targetExists_ = DirAccessible(target_);
    if (!targetExists_ || IsNulDevice(target_)) return std::nullopt;
    // A link where a target folder should be is an error of that folder:
    // nothing is written through it.
    if (const uint32_t error = t_.Target.DirState(target_); error == ERROR_CANT_RESOLVE_FILENAME) {
      ++t_.cError;
      return t_.Log(LVL_ERROR, MC_CREATE_DIR, target_, error);
    }
    RemoveStaleResumeFile(t_, source_, target_);
    return std::nullopt;
  }

  void DecideFileSystems(const NetWareAccess& nw) {
    auto decide = [&](const std::string& dir) {
      const int32_t kind = FileSystemOf(nw, dir);
      t_.Log(LVL_INFO, 0, "Filesys of " + dir + (kind == kFsNetWare ? ": Novell" : ": other"));
      return kind;
    };
    if (t_.SourceFileSystem == kUndecided) t_.SourceFileSystem = decide(source_);
    if (t_.TargetFileSystem == kUndecided) t_.TargetFileSystem = decide(target_);
    if (t_.SameServerState != kUndecided) return;
    t_.SameServerState = kNotSameServer;
    if (!nw.Usable()) return;
    t_.Log(LVL_INFO, 0, "Check, if same NetWare server...");
    if (SameNetWareServer(nw, source_, target_)) {
      t_.SameServerState = kSameServer;
      t_.Log(LVL_INFO, 0, "...YES");
    }
  }

  // Both sides are listed at the same time: on a local disk the two listings
  // are independent, and an unchanged tree costs little more than listing it.
  void ListBothSides() {
    const bool listTarget = conflict_ != OPT_OVERWRITE_ALL;
    // A remote source needs the target's signature as its hint: then the
    // target is listed first. Otherwise the run's helper thread lists it.
    const bool remoteSource = t_.WalkSourceRemote && t_.WalkSourceRemote->Active();
    const bool remoteTarget = t_.WalkTargetRemote && t_.WalkTargetRemote->Active();
    ListingsAhead* ahead = listTarget && !remoteSource && t_.Run ? &t_.Run->TargetListings : nullptr;
    ListingsAhead* sourceAhead = !remoteSource && t_.Run ? &t_.Run->SourceListings : nullptr;
    if (sourceAhead && depth_ == 0) sourceAhead->Clear();
    if (listTarget) {
      targetList_.SetRemote(t_.WalkTargetRemote);
      targetList_.AssignFilter(t_.Filter);
      targetList_.Mask = mask_;
      if (ahead && depth_ == 0) {
        ahead->Clear();
        ahead->Ahead({target_}, t_.Filter, mask_, t_.WalkTargetRemote);
      }
    }
    auto finishTarget = [&] {
      if (!listTarget) return;
      int32_t read = 0;
      const bool taken = ahead && ahead->Take(target_, targetList_, read);
      // A local folder listed ahead as missing may have been made since
      // (empty folders are made before the walk enters them): looked at again.
      if (!taken || (read < 0 && !remoteTarget)) read = targetList_.Read(target_);
      if (read >= 0) targetSignature_ = targetList_.Signature();
      if (const int32_t abort = ReportListingProblem(t_, targetList_); abort != 0) result_ = abort;
      if (targetList_.LastError() == static_cast<int32_t>(ERROR_NOT_READY))
        result_ = t_.Log(LVL_ERROR, MC_DRIVE_NOT_READY, target_, ERROR_NOT_READY);
      // A remote target is only ever listed for the folder at hand, as its
      // connection also carries the copies.
      if (ahead && !remoteTarget && targetExists_) ListSubfoldersAhead(*ahead, target_);
    };
    if (remoteSource) finishTarget();
    int32_t sourceRead = 0;
    // One that failed ahead is tried again: its error is then today's.
    if (!sourceAhead || !sourceAhead->Take(source_, list_, sourceRead) || sourceRead < 0) {
      list_.SetRemote(t_.WalkSourceRemote);
      list_.Filter = t_.Filter;
      list_.Mask = mask_;
      list_.RemoteHint = targetSignature_;
      list_.Read(source_);
    }
    if (sourceAhead) ListSubfoldersAhead(*sourceAhead, source_);
    if (const int32_t abort = ReportListingProblem(t_, list_, true); abort != 0) result_ = abort;
    if (!remoteSource) finishTarget();
    sourceSignature_ = list_.Signature();
    signatureSum_ += static_cast<int64_t>(sourceSignature_);
    if (const uint32_t error = static_cast<uint32_t>(list_.LastError()); error != 0) {
      if (IsNetworkError(error)) result_ = t_.Log(LVL_ERROR, MC_NETWORK_SOURCE, source_, error);
      ++t_.cError;
      if (error == ERROR_NOT_READY)
        result_ = t_.Log(LVL_ERROR, MC_DRIVE_NOT_READY, source_, error);
      else
        t_.Log(LVL_INFO, 0, "Read directory " + source_ + " returned an error", error);
    }
    // Where the directories differ, a file whose target is at least as new
    // needs no look by the copy: the conflict rule would skip it anyway.
    if (targetSignature_ != 0 && targetSignature_ != sourceSignature_ &&
        (conflict_ == OPT_SKIP_EXISTING || conflict_ == OPT_OVERWRITE_OLDER)) {
      targetTimes_.reserve(static_cast<size_t>(targetList_.Count()));
      for (int32_t i = 0; i < targetList_.Count(); ++i)
        if (!targetList_[i].IsDirectory()) targetTimes_.emplace(targetList_[i].Name, targetList_[i].Time);
    }
    if (targetSignature_ != 0) t_.StatusText = HexText(sourceSignature_, 8) + "-" + HexText(targetSignature_, 8);
  }

  // The folders below this one on one side (its source or target folder)
  // that its turn will enter, in its order.
  void ListSubfoldersAhead(ListingsAhead& ahead, const std::string& side) const {
    if (levels_ <= 0 || NewFoldersBarred(t_.Options, mask_)) return;
    std::vector<std::string> dirs;
    for (int32_t i = 0; i < list_.Count(); ++i) {
      const TTDirEntry& e = list_[i];
      if (e.IsNormalDirectory() && !IsSelfOrParent(e.Name)) dirs.push_back(side + e.Name + PathDelim);
    }
    ahead.Ahead(dirs, t_.Filter, kAllMask);
  }

  // The folders' turn needs nothing else: the rest goes before the walk
  // descends, so a deep tree does not keep every level's files.
  void KeepOnlyFolders() {
    EndAhead();
    list_.RemoveIf([](const TTDirEntry& e) { return !e.IsNormalDirectory(); });
    targetList_.Clear();
    targetTimes_ = {};
  }

  void EndAhead() {
    if (t_.Run) t_.Run->Ahead.End();
    aheadFirst_ = aheadEnd_ = 0;
    aheadSlot_.clear();
  }

  // The copy of the entry at index made ahead, when it is one of a plan.
  AheadCopy* AheadFor(int32_t index) {
    if (!t_.Run) return nullptr;
    if (index >= aheadEnd_ && !PlanAhead(index)) return nullptr;
    const size_t at = static_cast<size_t>(index - aheadFirst_);
    const int32_t slot = index >= aheadFirst_ && at < aheadSlot_.size() ? aheadSlot_[at] : -1;
    return slot < 0 ? nullptr : t_.Run->Ahead.Take(static_cast<size_t>(slot));
  }

  // The new files from index on (the first kAheadPlanFiles of them), copied
  // ahead while the walk names them one by one. Only where the listing
  // tells which targets exist; the copy looks again before naming.
  bool PlanAhead(int32_t index) {
    const bool remote = (t_.WalkSourceRemote && t_.WalkSourceRemote->Active()) ||
                        (t_.WalkTargetRemote && t_.WalkTargetRemote->Active());
    if (remote || !MayCopyAhead(t_, target_)) return false;
    aheadFirst_ = index;
    aheadEnd_ = list_.Count();
    aheadSlot_.clear();
    if (!targetEmpty_ && conflict_ == OPT_OVERWRITE_ALL) return false;
    std::unordered_set<std::string_view> existing;
    if (!targetEmpty_)
      for (int32_t i = 0; i < targetList_.Count(); ++i) existing.insert(targetList_[i].Name);
    std::vector<AheadCopy> files;
    for (int32_t i = index; i < list_.Count(); ++i) {
      if (files.size() == kAheadPlanFiles) {
        aheadEnd_ = i;
        break;
      }
      const TTDirEntry& e = list_[i];
      const bool fits = !e.IsDirectory() && !TargetAtLeastAsNew(e) && !existing.count(e.Name) && !IsOwnTempFile(e.Name);
      aheadSlot_.push_back(fits ? static_cast<int32_t>(files.size()) : -1);
      if (fits) files.push_back(AheadCopy{.Name = e.Name, .Size = e.Size64()});
    }
    if (files.empty()) return false;
    const int sourceFd = t_.Run->Source.Get(source_);
    UniqueFd sourceDir(sourceFd >= 0 ? ::fcntl(sourceFd, F_DUPFD_CLOEXEC, 0) : -1), targetDir;
    if (!sourceDir.Valid() || t_.Target.OpenFolder(target_, targetDir) != 0) {
      aheadSlot_.clear();
      return false;
    }
    // Named as the batch names its copies, from numbers kept for them.
    const bool batch = t_.Context().SyncFiles;
    const uint64_t first = batch ? t_.Run->Batch.ReserveWorkNumbers(files.size()) : 0;
    for (size_t k = 0; k < files.size(); ++k)
      files[k].WorkPath = batch ? CopyBatch::WorkPathFor(target_, first + k) : target_ + kWorkFileName;
    t_.Run->Ahead.Begin(std::move(sourceDir), std::move(targetDir), std::move(files),
                        [&t = t_] { return !t.TerminateRequested() && !t.Thread().Paused(); },
                        {.Chunk = t_.ChunkSize, .WriteBack = t_.Context().SyncFiles});
    return true;
  }

  bool TargetAtLeastAsNew(const TTDirEntry& entry) const {
    const auto it = targetTimes_.find(entry.Name);
    return it != targetTimes_.end() && (conflict_ == OPT_SKIP_EXISTING || entry.Time <= it->second);
  }

  void MakeTargetFolder() {
    const uint32_t error = ForceDir(t_, target_, AttributesOr(source_, kAttrDirectory), depth_, source_,
                                    static_cast<uint32_t>(FileDosTime(source_)));
    if (error == 0) {
      targetExists_ = true;
      // Made here, or by someone else just before: then it may hold files.
      targetEmpty_ = OnlySelfAndParent(target_);
      if (t_.Run) t_.Run->Batch.NoteCreatedFolder(target_);
      return;
    }
    targetMissing_ = true;
    result_ = t_.Log(LVL_ERROR, IsFatalDirError(error) ? MC_CREATE_DIR_ABORT : MC_CREATE_DIR, target_, error);
  }

  EntryTurn CopyFileEntry(const TTDirEntry& entry, int32_t index) {
    if (entry.IsDirectory()) return EntryTurn::Next;
    if (sourceSignature_ == targetSignature_ || t_.ResumeMode == kResumeSeeking || TargetAtLeastAsNew(entry)) {
      ++t_.cSkipped;
      ++t_.cTotal;
      return EntryTurn::Next;
    }
    if (t_.Run && t_.Run->Batch.Full()) {
      // Flushed while the next batch is written; named when that is full.
      const int32_t committed = t_.Run->Batch.CommitInBackground(t_);
      if (IsFailure(committed)) result_ = committed;
      if ((result_ & RC_ABORT) != 0) return EntryTurn::Next;
    }
    if (!targetExists_ && !targetMissing_) MakeTargetFolder();
    t_.DisplayTick();
    ++t_.cTotal;
    if (targetMissing_) {
      ++t_.cError;
      return EntryTurn::Next;
    }
    if (skipRestOfDir_ || t_.TerminateRequested()) return EntryTurn::Next;
    result_ = CopyOneFile(t_, source_ + entry.Name, target_ + entry.Name, entry.Found, targetEmpty_, AheadFor(index));
    if ((result_ & RC_SKIP_DIR) != 0) skipRestOfDir_ = true;
    if (TallyEntry(t_, result_)) EntryDone(t_, entry.Size64());
    return EntryTurn::Next;
  }

  EntryTurn EnterSubfolder(const TTDirEntry& entry) {
    if (!entry.IsNormalDirectory() || levels_ <= 0 || IsSelfOrParent(entry.Name)) return EntryTurn::Next;
    t_.DisplayTick();
    const std::string newSource = source_ + entry.Name + PathDelim;
    const std::string newTarget = target_ + entry.Name + PathDelim;
    if (NewFoldersBarred(t_.Options, mask_)) {
      ++t_.cSkipped;
      return EntryTurn::Next;
    }
    if ((t_.Options & OPT_EMPTY_DIRS) != 0 && !FolderFilteredOut(t_.Filter, newSource, depth_) &&
        !DirAccessible(newTarget)) {
      const uint32_t error = ForceDir(t_, newTarget, static_cast<uint32_t>(entry.Attr), depth_, newSource,
                                      static_cast<uint32_t>(entry.Time));
      if (error != 0) {
        t_.Log(LVL_ERROR, MC_CREATE_DIR, newTarget, error);
        ++t_.cError;
        if (IsFatalDirError(error))
          result_ = t_.Log(LVL_ERROR, MC_NETWORK_CONNECTION, newTarget + " " + std::to_string(error));
        return EntryTurn::Next;
      }
      if (t_.Run) t_.Run->Batch.NoteCreatedFolder(newTarget);
    }
    result_ = CopyWalk(t_, newSource, newTarget, signatureSum_, levels_ - 1, depth_ + 1, kAllMask);
    return EntryTurn::Next;
  }

  void CopyRights(const NetWareAccess& nw) {
    NWRightsCopyOptions rights{.CopyTrustees = (t_.Options & OPT_COPY_TRUSTEES) != 0,
                               .LogOnly = (t_.Options & OPT_LOG_ONLY_COPY) != 0,
                               .Terminated = [this] { return t_.TerminateRequested(); }};
    CopyNetWareRights(nw, source_, target_, rights,
                      [this](int32_t level, const std::string& text) { t_.Log(level, 0, text); });
  }

  TCopyThread& t_;
  const WalkFolder folder_;
  const std::string& source_;
  const std::string& target_;
  int64_t& signatureSum_;
  const int32_t levels_;
  const int32_t depth_;
  const std::string& mask_;
  const uint32_t conflict_;

  int32_t result_ = RC_NOTHING_TO_DO;
  bool targetExists_ = false;
  bool targetMissing_ = false;  // creating the target folder failed
  bool targetEmpty_ = false;    // made by this walk and empty then
  bool skipRestOfDir_ = false;
  TTDirList list_;
  TTDirList targetList_;
  uint64_t sourceSignature_ = 0;
  uint64_t targetSignature_ = 0;
  std::unordered_map<std::string, int32_t> targetTimes_;
  // The plan of copies made ahead: list indexes [aheadFirst_, aheadEnd_)
  // and each one's place in it (-1: copied the ordinary way).
  int32_t aheadFirst_ = 0, aheadEnd_ = 0;
  std::vector<int32_t> aheadSlot_;
};

}  // namespace

int32_t CopyWalk(TCopyThread& thread, const std::string& sourceDir, const std::string& targetDir,
                 int64_t& signatureSum, int32_t levels, int32_t depth, const std::string& mask) {
  return CopyFolder(thread, sourceDir, targetDir, signatureSum, levels, depth, mask).Walk();
}

}  // namespace mv
