#pragma once
// Copying one file of a COPY run: conflict rule, work copy beside the target,
// resume inside an interrupted file, date and attributes, archive bit.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/finddata.h"

namespace mv {

class TCopyThread;

// Work copy that becomes the target when complete.
inline constexpr const char* kWorkFileName = "~MVSW.MVF";
// Old target moved aside by earlier versions of the swap; removed when found.
inline constexpr const char* kSwapFileName = "~MVSS.MVF";

// "~MVSR" + job ID (at least 8 upper-case hex digits) + ".MVF".
std::string ResumeFileName(int64_t jobId);
// True for the program's own temporary names (work, swap and resume files),
// compared case-insensitively; walks leave such files alone.
bool IsOwnTempFile(const std::string& name);

// Copies sourcePath to targetPath (full file paths) for the thread's COPY
// action; entry is the source's listing record. On the worker thread only.
// Returns the result code: 0 copied, 2 skipped, otherwise a failure code of
// jobs/errmsg.h (0x0F80 when the thread was told to stop inside the file;
// the thread's ResumeFile/ResumeFilePos then say how far it got). Every
// outcome is logged in the thread's message list; the counters are the
// caller's business. The target name only ever changes by one atomic rename
// of a complete work copy, so it holds the old or the new content at any
// moment, also across a crash.
int32_t CopyOneFile(TCopyThread& thread, const std::string& sourcePath,
                    const std::string& targetPath, const FindData& entry);

// Test seam: called on the worker after every chunk has been written, with
// the bytes done so far (an empty function removes it). Lets tests stop a
// copy or change its source at an exact position.
void SetCopyChunkHookForTesting(std::function<void(TCopyThread&, int64_t bytesDone)> hook);

}  // namespace mv
