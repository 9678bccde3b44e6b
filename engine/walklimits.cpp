// Where the walks stop when a tree (or a remote peer pretending one) has no
// end, and what they do with a listing the remote side could not give.

#include <climits>

#include "engine/copythread.h"
#include "engine/dirlist.h"
#include "engine/walks.h"
#include "jobs/errmsg.h"

namespace mv {

namespace {

// Long paths are cut in the log; the folder is still named by its start.
std::string Shortened(const std::string& path) {
  return path.size() <= 240 ? path : path.substr(0, 240) + "...";
}

}  // namespace

bool FolderOutOfReach(TCopyThread& thread, const std::string& dir, int32_t depth,
                      const std::string& otherDir) {
  std::string why;
  if (depth > kMaxWalkDepth)
    why = "nested more than " + std::to_string(kMaxWalkDepth) + " levels deep";
  else if (dir.size() >= PATH_MAX || otherDir.size() >= PATH_MAX)
    why = "path longer than " + std::to_string(PATH_MAX - 1) + " bytes";
  if (why.empty()) return false;
  ++thread.cError;
  thread.Log(LVL_ERROR, 0, "Folder not entered (" + why + "): " + Shortened(dir));
  return true;
}

int32_t ReportListingProblem(TCopyThread& thread, const TTDirList& list, bool failedIsError) {
  if (list.Problem() == ListingProblem::None) return 0;
  // A target folder not made yet is no error, on a remote side as on a local one.
  if (list.Problem() == ListingProblem::Failed && list.LastResult() != kDirListNotConnected && !failedIsError)
    return 0;
  ++thread.cError;
  // A walk that outgrows its memory would only fail later, and worse.
  if (list.Problem() == ListingProblem::OverBudget)
    return thread.LastResult = thread.Log(LVL_ERROR, MC_ABORTED, list.ProblemText());
  // The folder counts as unreadable: nothing of it is copied or deleted.
  thread.Log(LVL_ERROR, 0, list.ProblemText());
  return 0;
}

}  // namespace mv
