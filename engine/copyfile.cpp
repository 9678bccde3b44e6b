#include "engine/copyfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>

#include "engine/copyahead.h"
#include "engine/copybatch.h"
#include "engine/copyrun.h"
#include "engine/copythread.h"
#include "engine/folderlock.h"
#include "jobs/jobrecord.h"
#include "jobs/jobtext.h"
#include "jobs/jobtypes.h"
#include "netware/nwclient.h"
#include "platform/clock.h"
#include "platform/datetime.h"
#include "platform/fileio.h"
#include "platform/findfile.h"
#include "platform/oserror.h"
#include "platform/paths.h"
#include "platform/textcase.h"

namespace mv {

namespace {

constexpr int32_t kInProgress = 1;
constexpr int32_t MC_TARGET_NOT_EXCLUSIVE = 0x1010;
constexpr int64_t kServerCopyChunk = 524288;
constexpr int64_t kFourGiB = int64_t(1) << 32;
constexpr DateTime kDisplayInterval = 3.0 / kSecondsPerDay;

std::mutex g_hookMutex;
std::function<void(TCopyThread&, int64_t)> g_chunkHook;

size_t CharCount(const std::string& utf8) {
  size_t n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
  return n;
}

bool SameInstant(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether the archive bit matters to this job: only then is it read from
// the source and mirrored onto the copy (a look-up and a write per file).
bool NeedsArchiveBit(const TCopyThread& t) {
  return (t.Options & OPT_CLEAR_ARCHIVE) != 0 || (t.Filter.RequiredAttributes & kAttrArchive) != 0 ||
         (t.Filter.AllowedAttributes & kAttrArchive) == 0;
}

class FileCopy {
 public:
  FileCopy(TCopyThread& thread, const std::string& source, const std::string& target,
           const FindData& entry, bool targetFolderEmpty, AheadCopy* ahead)
      : t_(thread),
        source_(source),
        target_(target),
        entry_(entry),
        targetFolderEmpty_(targetFolderEmpty),
        ahead_(ahead),
        ops_(thread.Run                     ? thread.Run->Batch.Ops()
             : thread.Context().FileOps ? *thread.Context().FileOps
                                        : RealCopyOps()) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    hook_ = g_chunkHook;
  }

  int32_t Run();

 private:
  int32_t Fail(int32_t level, int32_t code, const std::string& text, uint32_t osError = 0) {
    return result_ = t_.Log(level, code, text, static_cast<int32_t>(osError));
  }
  bool DeleteLogged(const std::string& path);
  bool CheckConflict();
  mode_t CopyMode() const { return CopyModeOf(sourceStat_.st_mode); }
  void TakeAhead();
  void OpenSource();
  void CreateWork();
  bool CreateUnnamedWork(const std::string& dir);
  bool CanNameUnnamed(const std::string& dir);
  void FindSize();
  void TryResume();
  bool CopyLoop();
  void CheckSourceUnchanged();
  void Finish();
  int32_t Terminate();
  void ClearArchive(uint32_t attr);
  bool NeedsArchiveBit() const { return mv::NeedsArchiveBit(t_); }
  void RemoveLeftovers(const std::string& dir);

  TCopyThread& t_;
  const std::string& source_;
  const std::string& target_;
  const FindData& entry_;
  const bool targetFolderEmpty_;
  AheadCopy* const ahead_;
  std::function<void(TCopyThread&, int64_t)> hook_;
  CopyOps& ops_;
  // Finished copies wait in the run's batch for one flush of many.
  CopyBatch* batch_ = nullptr;

  bool copyData_ = true, isNul_ = false, writeTarget_ = true;
  bool targetExists_ = false;
  std::string workPath_;
  // The work copy has no name yet: it gets the target's when complete, and
  // a crash or a failure leaves nothing behind.
  bool unnamed_ = false;
  // Made complete ahead of its turn, dated and with its mode.
  bool madeAhead_ = false;
  // Begun ahead of its turn; goes on here from where that stopped.
  bool tookPartial_ = false;
  int32_t sourceAge_ = -1;
  int32_t result_ = kInProgress;
  int64_t size_ = 0, done_ = 0;
  bool shortRead_ = false;
  // Set by CopyLoop for a large copy, which starts its write-back as it goes.
  bool writesBack_ = false;
  struct stat sourceStat_ {};
  // The existing target, held exclusively while its replacement is written.
  FileHandle heldTarget_;
};

bool FileCopy::DeleteLogged(const std::string& path) {
  uint32_t error = t_.Target.Delete(path);
  if (error == 0) return true;
  t_.Log(LVL_ERROR, MC_DELETE_TARGET, path, static_cast<int32_t>(error));
  return false;
}

int32_t FileCopy::Run() {
  copyData_ = (t_.Options & OPT_LOG_ONLY_COPY) == 0;
  isNul_ = SameTextIgnoringCase(std::string_view(target_).substr(0, 4), "NUL:");
  writeTarget_ = copyData_ && !isNul_;
  if (t_.Run && t_.Context().SyncFiles && writeTarget_) {
    batch_ = &t_.Run->Batch;
    // A batch lives in one target tree.
    if (!batch_->Empty() && batch_->Tree().Root() != t_.Target.Root()) batch_->Commit(t_);
  }

  // The other own names are skipped too: copying onto them would clobber a
  // resume state or be deleted again as a leftover.
  if (IsOwnTempFile(ExtractFileName(target_))) return RC_SKIPPED;
  workPath_ = ahead_ ? ahead_->WorkPath
              : batch_ ? batch_->NextWorkPath(ExtractFilePath(target_))
                       : ExtractFilePath(target_) + kWorkFileName;
  // The listing has just read it.
  sourceAge_ = entry_.Time != 0 ? static_cast<int32_t>(entry_.Time) : FileDosTime(source_);

  if (!CheckConflict()) return result_;

  if (!copyData_) {
    uint32_t attr = 0;
    if ((t_.Options & OPT_CLEAR_ARCHIVE) && GetFileAttributes(source_, attr) == 0 &&
        (attr & kAttrArchive)) {
      if (uint32_t error = SetFileAttributes(source_, attr & ~kAttrArchive))
        t_.Log(LVL_WARNING, MC_CLEAR_ARCHIVE, source_, static_cast<int32_t>(error));
    }
    t_.Log(LVL_LOG_ONLY, MC_COPY, source_);
    return RC_DONE;
  }

  if (ahead_ && writeTarget_ && !targetExists_ && (ahead_->Ready || ahead_->Partial)) {
    TakeAhead();
  } else {
    if (ahead_) ahead_->Work.Close(), ahead_->SourceFile.Close();
    OpenSource();
    if (result_ == kInProgress && writeTarget_) CreateWork();
    if (result_ == kInProgress) FindSize();
    if (result_ == kInProgress) TryResume();
  }
  t_.DisplayTick();
  if (!madeAhead_) {
    if (!CopyLoop()) return Terminate();
    if (result_ == kInProgress && writeTarget_) CheckSourceUnchanged();
  }
  Finish();
  return result_ == kInProgress ? RC_DONE : result_;
}

// Conflict rule, folder lock and exclusive hold of an existing target.
// False when the file ends here (result_ says how).
bool FileCopy::CheckConflict() {
  bool exists = false, isLink = false;
  int32_t targetAge = -1;
  if (!isNul_ && !targetFolderEmpty_) {
    // The entry itself, looked at beneath the target folder: a link on the
    // way is an error of this file, never a way out of the tree.
    struct stat st {};
    uint32_t error = t_.Target.Stat(target_, st);
    // A folder that is not there yet (a log-only run makes none) holds no target.
    if (error == ERROR_PATH_NOT_FOUND) error = ERROR_FILE_NOT_FOUND;
    if (error != 0 && error != ERROR_FILE_NOT_FOUND) {
      // Neither skipping nor writing may rest on a guess.
      Fail(LVL_WARNING, MC_OPEN_TARGET, target_, error);
      return false;
    }
    exists = error == 0;
    targetExists_ = exists;
    isLink = exists && S_ISLNK(st.st_mode);
    // A link standing for the target is replaced itself; its file only
    // lends the time the conflict rule compares (reading is harmless).
    targetAge = !exists ? -1 : isLink ? FileDosTime(target_) : S_ISDIR(st.st_mode) ? -1 : int32_t(UnixToDos(st.st_mtim));
  }
  if (exists) {
    const uint32_t conflict = t_.Options & OPT_CONFLICT_MASK;
    if (conflict == OPT_SKIP_EXISTING || (conflict == OPT_OVERWRITE_OLDER && !(sourceAge_ > targetAge))) {
      result_ = RC_SKIPPED;
      return false;
    }
    if (writeTarget_) {
      if (batch_ && MustNameBeforeUnlock(t_) && UpperCase(ExtractFilePath(target_)) != t_.HeldFolder)
        batch_->Commit(t_);
      FolderLock(t_, target_);
      if (uint32_t error = isLink ? 0 : t_.Target.Open(target_, FileAccess::Read, FileCreate::OpenExisting,
                                                       FileShare::Exclusive, heldTarget_))
        Fail(LVL_WARNING, MC_TARGET_NOT_EXCLUSIVE, "Cannot hold target file " + target_, error);
    }
  } else if (t_.Options & OPT_NO_NEW_FILES) {
    result_ = RC_SKIPPED;
    return false;
  }
  return true;
}

// The copy was made ahead (open, copy, check, time, mode): what is left is
// what the walk does in order, the accounting and the name. Or it was begun
// ahead (a large one): its source (held as always) and work copy are where
// the helper left them, and the copy goes on from there as any other, also
// into a resume state.
void FileCopy::TakeAhead() {
  tookPartial_ = ahead_->Partial;
  madeAhead_ = !tookPartial_;
  t_.WorkHandle = std::move(ahead_->Work);
  if (tookPartial_) t_.SourceHandle = std::move(ahead_->SourceFile);
  ahead_->Ready = ahead_->Partial = false;
  sourceStat_ = ahead_->Source;
  unnamed_ = true;
  const std::string dir = ExtractFilePath(target_);
  if (t_.Run && t_.Run->Batch.FirstVisit(dir)) RemoveLeftovers(dir);
  FindSize();
  done_ = tookPartial_ ? ahead_->Done : size_;
  t_.RemainingBytes = size_ - done_;
  t_.BytesSinceRateSample += done_;
}

void FileCopy::OpenSource() {
  // By its name in the folder open for all its files; a failure is looked
  // at again by the whole path, which tells a missing folder from a file.
  const int dirFd = t_.Run ? t_.Run->Source.Get(ExtractFilePath(source_)) : -1;
  uint32_t error = ERROR_INVALID_HANDLE;
  if (dirFd >= 0)
    error = t_.SourceHandle.OpenFollowingAt(dirFd, ExtractFileName(source_), FileAccess::Read,
                                            FileCreate::OpenExisting, FileShare::DenyWrite);
  if (error != 0)
    error = t_.SourceHandle.Open(source_, FileAccess::Read, FileCreate::OpenExisting, FileShare::DenyWrite);
  if (error == 0) sourceStat_ = t_.SourceHandle.OpenedStatus();
  if (error == 0) return;
  Fail(LVL_WARNING, MC_OPEN_SOURCE, source_, error);
  const char* why = error == ERROR_PATH_NOT_FOUND        ? "PATH NOT FOUND"
                    : error == ERROR_FILENAME_EXCED_RANGE ? "FILENAME TOO LONG"
                                                          : nullptr;
  if (why) {
    t_.Log(LVL_INFO, 0, why, static_cast<int32_t>(error));
    t_.Log(LVL_INFO, 0, " Name length " + std::to_string(CharCount(source_)));
  }
}

void FileCopy::CreateWork() {
  const auto text = [this] { return workPath_ + " (" + target_ + ")"; };
  const std::string dir = ExtractFilePath(target_);
  if (t_.Run && t_.Run->Batch.FirstVisit(dir)) RemoveLeftovers(dir);
  if (CreateUnnamedWork(dir)) return;
  // A new file of our own: nothing planted under the name can stand in.
  uint32_t error =
      t_.Target.Open(workPath_, FileAccess::ReadWrite, FileCreate::CreateNew, FileShare::Exclusive, t_.WorkHandle);
  if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
    if (error) Fail(LVL_WARNING, MC_OPEN_TARGET, text(), error);
    return;
  }
  // A work copy left over by a crash goes; one another job is writing stays.
  if (!DeleteLogged(workPath_)) {
    Fail(LVL_ERROR, MC_TEMP_EXISTS, text());
    return;
  }
  if ((error = t_.Target.Open(workPath_, FileAccess::ReadWrite, FileCreate::CreateNew, FileShare::Exclusive,
                              t_.WorkHandle)))
    Fail(LVL_WARNING, MC_OPEN_TARGET, text(), error);
}

// A new file gets a work copy without a name: nothing to clean up after a
// crash, no lock to take, and one step to give it its name. Not for a
// replacement (which renames onto the old target it holds) nor where a
// partial copy may be resumed (which renames that one into place).
bool FileCopy::CreateUnnamedWork(const std::string& dir) {
  if (!t_.Run || t_.Run->UnnamedWork == 0 || targetExists_) return false;
  if ((t_.Options & OPT_RESUME_FILE) && t_.ResumeFilePos > 0 && t_.ResumeFile.Name == entry_.Name) return false;
  // Made with the source's permissions where they keep it writable: then
  // it mostly needs no change of mode when complete.
  const mode_t mode = CopyMode();
  uint32_t error = t_.Target.OpenUnnamed(dir, t_.WorkHandle, !NeedsArchiveBit() && (mode & S_IWUSR) ? mode : 0666);
  if (error == ERROR_NOT_SUPPORTED) t_.Run->UnnamedWork = 0;
  if (error == 0 && !CanNameUnnamed(dir)) {
    t_.WorkHandle.Close();
    error = ERROR_NOT_SUPPORTED;
  }
  return unnamed_ = error == 0;
}

// Whether this process may name an unnamed file, tried once per run on a
// file of its own under this copy's work name (which a crash in between
// leaves as an ordinary leftover).
bool FileCopy::CanNameUnnamed(const std::string& dir) {
  if (t_.Run->UnnamedWork == 1) return true;
  FileHandle probe;
  uint32_t error = t_.Target.OpenUnnamed(dir, probe);
  if (error == 0) error = t_.Target.LinkHeld(probe.fd(), workPath_);
  if (error == 0) t_.Target.DeleteHeld(workPath_);
  // Any other failure (the name taken, say) leaves the question open.
  if (error == 0 || error == ERROR_NOT_SUPPORTED) t_.Run->UnnamedWork = error == 0 ? 1 : 0;
  return error == 0;
}

// Work copies a crash left in a folder this run did not make; one another
// job is writing (held locked) stays.
void FileCopy::RemoveLeftovers(const std::string& dir) {
  // Both kinds of work name, whichever way this run copies: a copy without
  // a name never meets the name a crash left.
  FindHandle h;
  FindData found;
  for (uint32_t e = FindFirst(dir + "~MVSW*.MVF", (kAttrAny & ~kAttrDirectory) | kFindSkipArchive, found, h);
       e == 0; e = FindNext(h, found)) {
    if (IsBatchWorkFileName(found.Name) || found.Name == kWorkFileName) t_.Target.Delete(dir + found.Name);
  }
}

void FileCopy::FindSize() {
  // The open file's own size: what seeking to its end would find.
  size_ = sourceStat_.st_size;
  if (size_ != entry_.Size)
    t_.Log(LVL_INFO, 0,
           "Seek size:" + std::to_string(size_) + " Info size:" + std::to_string(entry_.Size));
  t_.CurrentFileSize = size_;
  t_.RemainingBytes = size_;
}

void FileCopy::TryResume() {
  const FindData& resume = t_.ResumeFile;
  const int64_t pos = t_.ResumeFilePos;
  if (!(t_.Options & OPT_RESUME_FILE) || pos <= 0 || resume.Name != entry_.Name ||
      IncludeTrailingDelim(UpperCase(t_.ResumePath)) != UpperCase(ExtractFilePath(source_)))
    return;
  const std::string resumePath =
      ExtractFilePath(target_) + ResumeFileName(t_.Job ? t_.Job->JobID : 0);
  const bool sameSource = resume.Time == entry_.Time && resume.Size == entry_.Size &&
                          UnixToDosUtc(resume.WriteTime) == UnixToDosUtc(entry_.WriteTime) &&
                          pos <= size_;
  if (!sameSource) {
    // The source changed since: the partial copy can never be used again.
    if (writeTarget_) DeleteLogged(resumePath);
    return;
  }
  if (!isNul_) {
    struct stat st {};
    if (t_.Target.Stat(resumePath, st) != 0) return;
    // Only a regular file we own is our partial copy; anything else planted
    // under its name (a link, another user's file) is not resumed from.
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
      t_.Log(LVL_INFO, 0, "Resume file is not ours: " + resumePath);
      if (S_ISLNK(st.st_mode)) DeleteLogged(resumePath);
      return;
    }
  }

  t_.Log(LVL_INFO, 0, "Test resume file:" + source_);
  if (!isNul_) {
    FileHandle partial;
    int64_t partialSize = 0;
    uint32_t error = t_.Target.Open(resumePath, FileAccess::ReadWrite, FileCreate::OpenExisting,
                                    FileShare::Exclusive, partial);
    struct stat held {};
    if (error == 0 && (::fstat(partial.fd(), &held) != 0 || held.st_uid != ::geteuid())) error = ERROR_ACCESS_DENIED;
    if (error == 0) error = partial.Size(partialSize);
    if (error == 0 && partialSize != pos) {
      t_.Log(LVL_INFO, 0, "Resume size mismatch");
      partial.Close();
      // Unusable: the fresh copy goes on into the empty work copy.
      DeleteLogged(resumePath);
      return;
    }
    // Replacing the fresh work copy by the partial one is one rename.
    if (error == 0) error = t_.Target.RenameHeld(resumePath, workPath_);
    if (error == 0) {
      t_.WorkHandle = std::move(partial);
      error = t_.WorkHandle.Seek(pos, SeekFrom::Begin);
    }
    if (error) {
      t_.Log(LVL_INFO, 0, "Resume rename failed", static_cast<int32_t>(error));
      Fail(LVL_ERROR, MC_WRITE_TARGET, target_, error);
      return;
    }
  }
  if (uint32_t error = t_.SourceHandle.Seek(pos, SeekFrom::Begin)) {
    Fail(LVL_ERROR, MC_READ_SOURCE, source_, error);
    return;
  }
  done_ = pos;
  t_.RemainingBytes = size_ - pos;
  t_.Log(LVL_INFO, 0, "File copy resumed at " + GroupedDecimal(pos));
  // Consumed: a later stop between files must not point at it again.
  t_.ResumeFilePos = 0;
  t_.ResumeFile = FindData{};
}

// False when the thread was told to stop inside the file.
bool FileCopy::CopyLoop() {
  if (t_.CopyBuffer.size() < static_cast<size_t>(t_.BufferSize))
    t_.CopyBuffer.resize(static_cast<size_t>(t_.BufferSize));
  NetWareClient* nw = t_.Context().NetWare;
  bool largeLogged = false;
  // Inside the kernel where the file systems can: no trip through our buffer.
  bool inKernel = writeTarget_;
  const int64_t chunk = std::max<int64_t>(t_.ChunkSize, 1);
  // Large copies start their write-back as they go, so that the flush at the
  // end waits for little more than the last piece.
  writesBack_ = writeTarget_ && t_.Context().SyncFiles && (size_ - done_ > chunk || (tookPartial_ && size_ > chunk));
  while (result_ == kInProgress && t_.RemainingBytes > 0) {
    if (t_.CheckTerminate()) return false;
    size_t n = 0;
    if (t_.SameServerState == kSameServer && nw && writeTarget_ && size_ < kFourGiB) {
      int64_t copied = 0;
      uint32_t status = nw->FileServerFileCopy(t_.SourceHandle.fd(), t_.WorkHandle.fd(), done_,
                                               done_, kServerCopyChunk, copied);
      if (status != 0) {
        char code[8];
        std::snprintf(code, sizeof code, "%04X", status & 0xFFFF);
        Fail(LVL_ERROR, MC_WRITE_TARGET,
             std::string("(NWFileServerFileCopy code ") + code + ") " + target_);
        t_.SameServerState = kNotSameServer;
        break;
      }
      n = static_cast<size_t>(std::max<int64_t>(copied, 0));
    } else {
      if (t_.SameServerState == kSameServer && size_ >= kFourGiB && !largeLogged) {
        t_.Log(LVL_INFO, 0, "NWFileServerFileCopy large file: " + target_);
        largeLogged = true;
      }
      // Never past the size found at the start: a source that grows is caught below.
      if (inKernel) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(t_.RemainingBytes, chunk));
        if (ops_.CopyRange(t_.SourceHandle.fd(), t_.WorkHandle.fd(), workPath_, want, n) != 0) inKernel = false;
      }
      if (!inKernel) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(
            {t_.RemainingBytes, chunk, static_cast<int64_t>(t_.CopyBuffer.size())}));
        if (uint32_t error = t_.SourceHandle.Read(t_.CopyBuffer.data(), want, n)) {
          Fail(LVL_ERROR, MC_READ_SOURCE, source_, error);
          break;
        }
        if (t_.CheckTerminate()) return false;
        if (writeTarget_ && n > 0) {
          if (uint32_t error = ops_.Write(t_.WorkHandle.fd(), workPath_, t_.CopyBuffer.data(), n)) {
            Fail(LVL_ERROR, MC_WRITE_TARGET, target_, error);
            break;
          }
        }
      }
      if (writesBack_ && n > 0) ops_.WriteBack(t_.WorkHandle.fd(), workPath_);
    }
    done_ += static_cast<int64_t>(n);
    t_.RemainingBytes -= static_cast<int64_t>(n);
    t_.BytesSinceRateSample += static_cast<int64_t>(n);
    if (hook_) hook_(t_, done_);
    if (Now() - t_.LastDisplayTime > kDisplayInterval) {
      t_.LastDisplayTime = Now();
      t_.DisplayRefresh();
    }
    if (n == 0) {
      shortRead_ = true;
      break;
    }
  }
  return true;
}

// A source written to while we read it gives a copy that matches no version
// of it; stamped with the old time it would pass for current. So it fails,
// and the next run copies it again.
void FileCopy::CheckSourceUnchanged() {
  if (!shortRead_ && SourceUnchanged(t_.SourceHandle.fd(), sourceStat_)) return;
  t_.Log(LVL_INFO, 0, "Source changed while copying: " + source_);
  Fail(LVL_ERROR, MC_READ_SOURCE, source_);
}

void FileCopy::Finish() {
  t_.DisplayTick();
  uint32_t attr = 0;
  if (writeTarget_ && result_ == kInProgress && !madeAhead_) {
    // The exact time of the content read, not only its DOS time.
    if (uint32_t error = t_.WorkHandle.SetWriteTime(sourceStat_.st_mtim)) Fail(LVL_WARNING, MC_SET_DATE, target_, error);
  }
  // The source's attributes go onto the work copy before it gets its name,
  // so the target never shows the new content with other attributes.
  if (writeTarget_ && result_ == kInProgress && !madeAhead_) {
    if (!NeedsArchiveBit()) {
      // Permissions as the source's (executables stay executable); read-only
      // as SetAttributes makes it.
      if (!GiveCopyMode(t_.WorkHandle.fd(), CopyMode(), unnamed_))
        Fail(LVL_WARNING, MC_SET_ATTR, target_, LastWinError());
    } else if (uint32_t error = GetFileAttributes(source_, attr)) {
      Fail(LVL_WARNING, MC_GET_ATTR, source_, error);
    } else {
      (void)::fchmod(t_.WorkHandle.fd(), sourceStat_.st_mode & 0777);
      if ((error = SetFileAttributes(t_.WorkHandle.fd(), attr))) Fail(LVL_WARNING, MC_SET_ATTR, target_, error);
    }
  }
  if (writeTarget_ && result_ == kInProgress && batch_) {
    // A large copy's last piece goes on its way now; small ones wait for the
    // batch flush, which writes them out together in a few large requests
    // instead of one small request per file.
    if (writesBack_) ops_.WriteBack(t_.WorkHandle.fd(), workPath_);
    CopyBatch::Item item;
    item.Work = workPath_;
    item.Target = target_;
    item.Source = source_;
    item.WorkFile = std::move(t_.WorkHandle);
    item.HeldTarget = std::move(heldTarget_);
    item.Size = size_;
    item.ClearArchive = (t_.Options & OPT_CLEAR_ARCHIVE) != 0 && (attr & kAttrArchive) != 0;
    item.Unnamed = unnamed_;
    batch_->Add(t_.Target, std::move(item));
    t_.SourceHandle.Close();
    return;
  }
  if (writeTarget_) {
    // On disk before it gets the name, so a power loss cannot leave an empty
    // file under the target name.
    if (result_ == kInProgress && t_.Context().SyncFiles) {
      if (uint32_t error = ops_.Flush(t_.WorkHandle.fd(), workPath_)) Fail(LVL_ERROR, MC_WRITE_TARGET, target_, error);
    }
    // One atomic rename replaces the old target, which we still hold: the
    // target name never disappears and never shows a partial file, also when
    // the process dies at any point. (Moving the old file aside to
    // "~MVSS.MVF" first would leave a moment without a target.)
    if (result_ == kInProgress) {
      if (uint32_t error = unnamed_ ? ops_.Link(t_.Target, t_.WorkHandle.fd(), workPath_, target_)
                                    : ops_.Rename(t_.Target, workPath_, target_))
        Fail(LVL_ERROR, MC_RENAME_TEMPFILE, "\"" + target_ + "\"", error);
    }
    // Only a work copy we hold is ours to delete.
    if (result_ != kInProgress && t_.WorkHandle.IsOpen() && !unnamed_) {
      if (uint32_t error = t_.Target.DeleteHeld(workPath_))
        t_.Log(LVL_ERROR, MC_DELETE_TARGET, workPath_, static_cast<int32_t>(error));
    }
    t_.WorkHandle.Close();
    heldTarget_.Close();
    if (result_ == kInProgress) {
      const std::string dir = ExtractFilePath(target_);
      const std::string swap = dir + kSwapFileName;
      struct stat st {};
      if ((!t_.Run || t_.Run->Batch.FirstSwapCheck(dir)) && t_.Target.Stat(swap, st) == 0) DeleteLogged(swap);
    }
  }
  t_.SourceHandle.Close();
  heldTarget_.Close();
  if (result_ != kInProgress) return;
  if (!writeTarget_ && (t_.Options & OPT_CLEAR_ARCHIVE)) {
    if (uint32_t error = GetFileAttributes(source_, attr)) {
      Fail(LVL_WARNING, MC_GET_ATTR, source_, error);
      return;
    }
  }
  ClearArchive(attr);
}

void FileCopy::ClearArchive(uint32_t attr) {
  if (!(t_.Options & OPT_CLEAR_ARCHIVE) || !(attr & kAttrArchive)) return;
  if (uint32_t error = SetFileAttributes(source_, attr & ~kAttrArchive))
    Fail(LVL_WARNING, MC_CLEAR_ARCHIVE, source_, error);
}

int32_t FileCopy::Terminate() {
  t_.ResumeFile = entry_;
  t_.ResumeFilePos = done_;
  t_.Log(LVL_ERROR, MC_TERMINATED, source_);
  t_.SourceHandle.Close();
  heldTarget_.Close();
  if (writeTarget_ && t_.WorkHandle.IsOpen()) {
    const std::string resumePath =
        ExtractFilePath(target_) + ResumeFileName(t_.Job ? t_.Job->JobID : 0);
    const bool kept = done_ > 0 && ops_.Flush(t_.WorkHandle.fd(), workPath_) == 0 &&
                      (unnamed_ ? ops_.Link(t_.Target, t_.WorkHandle.fd(), workPath_, resumePath)
                                : ops_.Rename(t_.Target, workPath_, resumePath)) == 0;
    if (!kept) {
      // Nothing usable to resume from: no older resume file may claim otherwise.
      t_.ResumeFilePos = 0;
      if (!unnamed_) t_.Target.DeleteHeld(workPath_);
      DeleteLogged(resumePath);
    }
    t_.WorkHandle.Close();
  }
  return MC_TERMINATED;
}

}  // namespace

std::string ResumeFileName(int64_t jobId) { return "~MVSR" + JobIdText(jobId) + ".MVF"; }

bool IsResumeFileName(std::string_view name) {
  constexpr std::string_view prefix = "~MVSR", suffix = ".MVF";
  if (name.size() < prefix.size() + 8 + suffix.size() || name.size() > prefix.size() + 16 + suffix.size() ||
      !name.starts_with(prefix) || !name.ends_with(suffix))
    return false;
  const std::string_view digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  return std::all_of(digits.begin(), digits.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

bool IsOwnTempFile(std::string_view name) {
  return name == kWorkFileName || name == kSwapFileName || IsResumeFileName(name) || IsBatchWorkFileName(name);
}

void RemoveStaleResumeFile(TCopyThread& t, const std::string& sourceDir, const std::string& targetDir) {
  if ((t.Options & OPT_LOG_ONLY_COPY) != 0 || UpperCase(targetDir).rfind("NUL:", 0) == 0) return;
  const bool resumable = (t.Options & OPT_RESUME_FILE) != 0 && t.ResumeFilePos > 0 && !t.ResumeFile.Name.empty() &&
                         IncludeTrailingDelim(UpperCase(t.ResumePath)) == UpperCase(sourceDir);
  if (resumable) return;
  const std::string path = targetDir + ResumeFileName(t.Job ? t.Job->JobID : 0);
  struct stat st {};
  if (t.Target.Stat(path, st) != 0 || S_ISDIR(st.st_mode)) return;
  if (uint32_t error = t.Target.Delete(path)) t.Log(LVL_ERROR, MC_DELETE_TARGET, path, static_cast<int32_t>(error));
}

int32_t CopyOneFile(TCopyThread& thread, const std::string& sourcePath, const std::string& targetPath,
                    const FindData& entry, bool targetFolderEmpty, AheadCopy* ahead) {
  return FileCopy(thread, sourcePath, targetPath, entry, targetFolderEmpty, ahead).Run();
}

mode_t CopyModeOf(mode_t sourceMode) {
  const mode_t mode = sourceMode & 0777;
  return (mode & S_IWUSR) != 0 ? mode : mode & ~mode_t(0222);
}

bool GiveCopyMode(int fd, mode_t mode, bool checkFirst) {
  struct stat st {};
  if (checkFirst && ::fstat(fd, &st) == 0 && (st.st_mode & 07777) == mode) return true;
  return ::fchmod(fd, mode) == 0 || (mode & S_IWUSR) != 0;
}

bool SourceUnchanged(int fd, const struct stat& opened) {
  struct stat now {};
  return ::fstat(fd, &now) == 0 && now.st_size == opened.st_size && SameInstant(now.st_mtim, opened.st_mtim);
}

bool MayCopyAhead(const TCopyThread& t, const std::string& targetDir) {
  if (!t.Run || !t.Context().CopyFilesAhead || t.Run->UnnamedWork != 1) return false;
  {
    // A test watching each chunk sees every copy on the walk's thread.
    std::lock_guard<std::mutex> lock(g_hookMutex);
    if (g_chunkHook) return false;
  }
  // Only what a new file needs: no resume, no archive bit, no server copy.
  return (t.Options & (OPT_LOG_ONLY_COPY | OPT_NO_NEW_FILES)) == 0 &&
         !SameTextIgnoringCase(std::string_view(targetDir).substr(0, 4), "NUL:") &&
         t.SameServerState != kSameServer && !((t.Options & OPT_RESUME_FILE) && t.ResumeFilePos > 0) &&
         !NeedsArchiveBit(t);
}

void SetCopyChunkHookForTesting(std::function<void(TCopyThread&, int64_t)> hook) {
  std::lock_guard<std::mutex> lock(g_hookMutex);
  g_chunkHook = std::move(hook);
}

}  // namespace mv
