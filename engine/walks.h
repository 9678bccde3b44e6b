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
