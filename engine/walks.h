#pragma once
// The walks of a job run. Each returns the last result code; directories end
// in "/", masks are name masks. They run on the job's worker thread and test
// its terminate request between entries.

#include <cstdint>
#include <string>

namespace mv {

class TCopyThread;
class TTDirList;
struct TTAnalyzeData;
struct TTFileAction;

// Copy walk of one directory level: copies what the options demand from
// sourceDir to targetDir and recurses while levels > 0. signatureSum adds the
// signature of every source directory listed; depth is 0 at the top.
int32_t CopyWalk(TCopyThread& thread, const std::string& sourceDir, const std::string& targetDir,
                 int64_t& signatureSum, int32_t levels, int32_t depth, const std::string& mask);

// Creates a target directory with its missing parents and gives it the source
// directory's attributes (and on NetWare its date). 0 or an OS error.
uint32_t ForceDir(TCopyThread& thread, const std::string& dir, uint32_t attributes, int32_t levels,
                  const std::string& sourceDir, uint32_t dosTime);

// One COPY action in the action's direction, with mirror clean-up first.
void RunCopyAction(TCopyThread& thread, const TTFileAction& action);

int32_t AnalyzeDir(TCopyThread& thread, const std::string& dir, const std::string& mask,
                   TTAnalyzeData& parent, int32_t level);
int32_t PurgeDir(TCopyThread& thread, const std::string& dir, const std::string& mask,
                 int32_t depth, int32_t level);
int32_t DeleteDir(TCopyThread& thread, const std::string& dir, const std::string& mask,
                  int32_t depth, int32_t level);
int32_t CleanDir(TCopyThread& thread, const std::string& cleanDir, const std::string& refDir,
                 const std::string& mask, int32_t level);
// Fills an existing listing with the deleted files of its directory.
int32_t ReadDeletedFiles(TCopyThread& thread, TTDirList& list);
// Deletes one file unless refPath names an existing file; "*" deletes always.
int32_t DeleteTargetFile(TCopyThread& thread, const std::string& path, const std::string& refPath);
// Deletes a directory with everything in it, adding the deleted files to count.
int32_t DeleteTree(TCopyThread& thread, const std::string& dir, int32_t& count, int32_t depth);
// Every character outside a safe set as two hexadecimal digits in brackets.
std::string EscapeName(const std::string& text);

}  // namespace mv

namespace mv {

// Folders nested deeper than this below a walk's top folder are not entered:
// a remote peer can show a subfolder in every folder, and every level costs
// stack and memory.
inline constexpr int32_t kMaxWalkDepth = 512;

// True, after logging dir as an error of the run, when dir lies more than
// kMaxWalkDepth levels below the walk's top or dir or otherDir (the other
// side's folder, may be empty) is too long for a path: the folder is then
// not entered.
bool FolderOutOfReach(TCopyThread& thread, const std::string& dir, int32_t depth,
                      const std::string& otherDir = "");

// After a Read on a walk's remote side: a listing refused for a bad name, or
// lost with its connection, is logged as an error of its folder and
// counted; so is a failure the remote instance reports (a folder it cannot
// read) when failedIsError, as a walk treats that folder when it is local.
// Returns 0, or, when the listings would outgrow their memory budget, the
// abort code the run ends with (then also in LastResult).
int32_t ReportListingProblem(TCopyThread& thread, const TTDirList& list, bool failedIsError = false);

}  // namespace mv
