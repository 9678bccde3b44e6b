#pragma once
// Copying one file of a COPY run: conflict rule, work copy beside the target,
// resume inside an interrupted file, date and attributes, archive bit.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/finddata.h"

namespace mv {

class TCopyThread;
struct AheadCopy;

// Work copy that becomes the target when complete.
inline constexpr const char* kWorkFileName = "~MVSW.MVF";
// Old target moved aside by earlier versions of the swap; removed when found.
inline constexpr const char* kSwapFileName = "~MVSS.MVF";

// "~MVSR" + job ID (at least 8 upper-case hex digits) + ".MVF".
std::string ResumeFileName(int64_t jobId);
// True for exactly the program's own temporary names: "~MVSW.MVF",
// "~MVSS.MVF" and "~MVSR" + 8 to 16 upper-case hex digits + ".MVF". Case
// counts, as everywhere on Linux: every other name is user data.
bool IsOwnTempFile(std::string_view name);
bool IsResumeFileName(std::string_view name);

// Copies sourcePath to targetPath (full file paths) for the thread's COPY
// action; entry is the source's listing record. On the worker thread only.
// Returns the result code: 0 copied, 2 skipped, otherwise a failure code of
// jobs/errmsg.h (0x0F80 when the thread was told to stop inside the file;
// the thread's ResumeFile/ResumeFilePos then say how far it got). Every
// outcome is logged in the thread's message list; the counters are the
// caller's business. The target name only ever changes by one atomic rename
// of a complete work copy, so it holds the old or the new content at any
// moment, also across a crash. targetFolderEmpty: the walk made the target's
// folder and found it empty since, so there is no target to look for (one
// that appears after all is replaced by the naming, as one that appears
// while the copy is written). ahead: the file's copy may have been made or
// begun already (CopyAhead): a begun one is copied on from where it stopped;
// with none, or if the target exists after all, the file is copied as any
// other.
int32_t CopyOneFile(TCopyThread& thread, const std::string& sourcePath,
                    const std::string& targetPath, const FindData& entry, bool targetFolderEmpty = false,
                    AheadCopy* ahead = nullptr);

// The permissions a copy gets from its source's mode: the same; read-only as
// SetAttributes makes it.
mode_t CopyModeOf(mode_t sourceMode);
// Gives the copy open as fd the permissions mode; checkFirst: it may have
// them already (made with them). False only where read-only does not hold:
// other modes are best effort, as some file systems have none.
bool GiveCopyMode(int fd, mode_t mode, bool checkFirst);

// The source open as fd still has the size and time it had when opened: a
// copy read from it matches one version of it.
bool SourceUnchanged(int fd, const struct stat& opened);

// Whether the thread's COPY action may copy new files of the folder at hand
// ahead of their turn (CopyAhead): what it does to each is then only
// creating, copying, dating and naming it, with nothing to log on success.
bool MayCopyAhead(const TCopyThread& thread, const std::string& targetDir);

// Removes this job's resume file in targetDir unless the job's resume state
// points at it (resume option on, a position, its folder is sourceDir): no
// later run could resume from it, since each run consumes or replaces that
// state. Partial copies of other jobs stay.
void RemoveStaleResumeFile(TCopyThread& thread, const std::string& sourceDir, const std::string& targetDir);

// Test seam: called on the worker after every chunk has been written, with
// the bytes done so far (an empty function removes it). Lets tests stop a
// copy or change its source at an exact position.
void SetCopyChunkHookForTesting(std::function<void(TCopyThread&, int64_t bytesDone)> hook);

}  // namespace mv
