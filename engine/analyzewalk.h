#pragma once
// The ANALYZE action of a run: the statistics walk over the source tree and
// the three analysis logs in the job's log folder.

#include <cstdint>

namespace mv {

class TCopyThread;
class TTAnalyzeDataList;
struct TTFileAction;

// While it lives, the directories AnalyzeDir reports on the calling thread
// are appended to list (without one they are dropped).
class AnalyzeCollector {
 public:
  explicit AnalyzeCollector(TTAnalyzeDataList& list);
  ~AnalyzeCollector();
  AnalyzeCollector(const AnalyzeCollector&) = delete;
  AnalyzeCollector& operator=(const AnalyzeCollector&) = delete;

 private:
  TTAnalyzeDataList* previous_;
};

// Walks the action's source tree and, unless the run was stopped or nothing
// was reported, writes ANALYZE1.LOG, AN_DATE.LOG and AN_SIZE.LOG into the
// job's log folder and attaches them to the job's mail. Returns the walk's
// result.
int32_t RunAnalyzeAction(TCopyThread& thread, const TTFileAction& action);

}  // namespace mv
