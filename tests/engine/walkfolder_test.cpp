#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/copythread.h"
#include "engine/dirlist.h"
#include "engine/walkfolder.h"
#include "jobs/errmsg.h"
#include "platform/findfile.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

// What the entry loop does when a visit aborts, stops or ends the walk at
// the second entry of the first pass, under each rule.
enum class AtSecond { Abort, AbortAndStop, Stop, EndWalk, StopAtLastEntry };

struct LoopCase {
  const char* name;
  EntryLoopRules rules;
  AtSecond event;
  std::vector<std::pair<int, int>> visited;  // (pass, index)
  int passesBegun;
  int stopLines;
  bool ended;
  int32_t result;
};

constexpr int32_t kAbortCode = 0x1280;  // any result carrying RC_ABORT

const LoopCase kCases[] = {
    // After an abort no rule visits another entry, and none reports a stop
    // that was never asked for.
    {"abort, end pass", {.Abort = AfterAbort::EndPass}, AtSecond::Abort, {{0, 0}, {0, 1}}, 2, 0, false, kAbortCode},
    {"abort, pass over checked", {.Abort = AfterAbort::PassOverChecked}, AtSecond::Abort, {{0, 0}, {0, 1}}, 2, 0,
     false, kAbortCode},
    {"abort, pass over silently", {.Abort = AfterAbort::PassOverSilently}, AtSecond::Abort, {{0, 0}, {0, 1}}, 2, 0,
     false, kAbortCode},
    // A stop asked for with the abort: the checked rules see it at the next
    // entry; the silent one only at the end, when it reports late stops.
    {"abort and stop, end pass", {.Abort = AfterAbort::EndPass}, AtSecond::AbortAndStop, {{0, 0}, {0, 1}}, 1, 1,
     true, MC_TERMINATED},
    {"abort and stop, pass over checked", {.Abort = AfterAbort::PassOverChecked}, AtSecond::AbortAndStop,
     {{0, 0}, {0, 1}}, 1, 1, true, MC_TERMINATED},
    {"abort and stop, silently, late stop reported",
     {.Abort = AfterAbort::PassOverSilently, .ReportLateStop = true}, AtSecond::AbortAndStop, {{0, 0}, {0, 1}}, 2,
     1, true, MC_TERMINATED},
    {"abort and stop, silently, late stop not reported",
     {.Abort = AfterAbort::PassOverSilently, .ReportLateStop = false}, AtSecond::AbortAndStop, {{0, 0}, {0, 1}}, 2,
     0, false, kAbortCode},
    // A plain stop ends every pass, under any rule, with one line.
    {"stop, end pass", {.Abort = AfterAbort::EndPass}, AtSecond::Stop, {{0, 0}, {0, 1}}, 1, 1, true, MC_TERMINATED},
    {"stop, silently", {.Abort = AfterAbort::PassOverSilently, .ReportLateStop = false}, AtSecond::Stop,
     {{0, 0}, {0, 1}}, 1, 1, true, MC_TERMINATED},
    {"end walk", {}, AtSecond::EndWalk, {{0, 0}, {0, 1}}, 1, 0, true, RC_NOTHING_TO_DO},
    {"one pass", {.Passes = 1}, AtSecond::StopAtLastEntry, {{0, 0}, {0, 1}, {0, 2}}, 1, 1, true, MC_TERMINATED},
    // A stop during the last entry: reported by this level or left to the
    // one above.
    {"late stop reported", {}, AtSecond::StopAtLastEntry, {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}}, 2, 1,
     true, MC_TERMINATED},
    {"late stop not reported", {.ReportLateStop = false}, AtSecond::StopAtLastEntry,
     {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}}, 2, 0, false, RC_NOTHING_TO_DO},
};

TEST(WalkFolderEntryLoop, AbortStopAndEndFollowTheRules) {
  test::TempDir tmp;
  for (const LoopCase& c : kCases) {
    SCOPED_TRACE(c.name);
    TTFileThreadControl job{"loop", nullptr, tmp.path(), tmp.path(), nullptr, {.DrawId = false}};
    TCopyThread thread(job, CopyThreadContext{});
    const WalkFolder folder(thread, 0, "/data/", 0);
    TTDirList list;
    for (const char* name : {"a", "b", "c"}) list.Add(TTDirEntry(FindData{.Name = name}));

    std::vector<std::pair<int, int>> visited;
    int passesBegun = 0;
    int32_t result = RC_NOTHING_TO_DO;
    const bool ended = folder.ForEachEntry(list, c.rules, result, [&](int) { ++passesBegun; },
                                           [&](const TTDirEntry&, int32_t& index, int pass) {
      visited.emplace_back(pass, index);
      const bool second = pass == 0 && index == 1;
      const bool last = pass == c.rules.Passes - 1 && index == list.Count() - 1;
      if (second && (c.event == AtSecond::Abort || c.event == AtSecond::AbortAndStop)) result = kAbortCode;
      if ((second && (c.event == AtSecond::AbortAndStop || c.event == AtSecond::Stop)) ||
          (last && c.event == AtSecond::StopAtLastEntry))
        thread.Thread().RequestTerminate();
      return second && c.event == AtSecond::EndWalk ? EntryTurn::EndWalk : EntryTurn::Next;
    });

    int stopLines = 0;
    for (const TTErrorMsg& m : thread.Messages.Snapshot())
      stopLines += m.Code == MC_TERMINATED && m.Level == LVL_ERROR && m.Text == "/data/";
    EXPECT_EQ(visited, c.visited);
    EXPECT_EQ(passesBegun, c.passesBegun);
    EXPECT_EQ(stopLines, c.stopLines);
    EXPECT_EQ(ended, c.ended);
    EXPECT_EQ(result, c.result);
    if (c.stopLines > 0) {
      EXPECT_EQ(thread.LastResult, MC_TERMINATED);
    }
  }
}

}  // namespace
}  // namespace mv
