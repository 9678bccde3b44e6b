#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <tuple>

#include "engine/analyzedata.h"
#include "engine/copyfile.h"
#include "engine/copythread.h"
#include "jobs/errmsg.h"
#include "jobs/jobtypes.h"
#include "platform/textcase.h"
#include "tests/support/tempdir.h"
#include "tests/support/tree.h"

namespace mv {
namespace {

namespace fs = std::filesystem;
using test::MakeTree;
using test::RenderTree;

class Execute : public ::testing::Test {
 protected:
  test::TempDir tmp;
  const std::string src = tmp / "src/", dst = tmp / "dst/", del = tmp / "del/";
  TTFileThreadControl job{"nightly", nullptr, tmp.path(), tmp.path(), nullptr, {.DrawId = false}};
  std::function<void(TCopyThread&)> onRefresh;

  // Runs the job on this thread; its calls to the main thread run directly.
  std::vector<TTErrorMsg> Run() {
    job.JobID = 0x2A;
    job.Filter->IncludeFileNames = "*.txt";
    CopyThreadContext c;
    c.LogDir = tmp / "logs/";
    c.OnDisplayRefresh = [this](TCopyThread& t) { if (onRefresh) onRefresh(t); };
    c.DisplayTickMs = 0;  // a refresh at every entry
    TCopyThread thread(job, c);
    thread.Execute();
    return thread.Messages.Snapshot();
  }
  void CopyThenDelete() {
    MakeTree(src, {{"a/1.txt", "1"}, {"b/2.txt", "2"}});
    MakeTree(del, {{"x.txt", "x"}});
    job.AddAction(std::make_unique<TTFileAction>(src, "*.*", dst, "*.*",
                                                 OPT_DIR_TO_TARGET | OPT_OVERWRITE_ALL, JOB_COPY));
    job.AddAction(std::make_unique<TTFileAction>(del, "*.*", "", "", 0, JOB_DELETE));
  }
};

int Count(const std::vector<TTErrorMsg>& log, int32_t level, int32_t code) {
  return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const TTErrorMsg& m) {
    return m.Level == level && m.Code == code;
  }));
}

TEST_F(Execute, RunsEveryActionInOrderAfterTheJobHeader) {
  CopyThenDelete();
  const std::vector<TTErrorMsg> log = Run();
  EXPECT_EQ(RenderTree(dst), RenderTree(src));
  EXPECT_FALSE(fs::exists(del + "x.txt"));
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(std::tie(log[0].Level, log[0].Code), std::make_tuple(LVL_JOB, EV_START));
  EXPECT_EQ(std::make_tuple(Count(log, LVL_JOB, MC_TERMINATED), job.Terminated, job.ResumePath),
            std::make_tuple(0, false, ""));
}

TEST_F(Execute, TerminateDuringTheFirstActionLeavesTheSecondUnrunAndStoresTheFolder) {
  CopyThenDelete();
  onRefresh = [](TCopyThread& t) {
    if (t.CurEntryName == "2.txt") t.Thread().RequestTerminate();
  };
  const std::vector<TTErrorMsg> log = Run();
  EXPECT_TRUE(fs::exists(del + "x.txt"));
  EXPECT_FALSE(fs::exists(dst + "b/2.txt"));
  EXPECT_EQ(std::make_tuple(Count(log, LVL_JOB, MC_TERMINATED), job.Terminated, job.ResumePath),
            std::make_tuple(1, true, UpperCase(src + "b/")));
}

TEST_F(Execute, AnalyzeWritesItsThreeLogsOnlyWhenSomethingIsReported) {
  const std::string logs = tmp / "logs/0000002A/";
  for (bool empty : {true, false}) {
    fs::create_directories(src);
    if (!empty) MakeTree(src, {{"d/old.txt", "old"}});
    job.Actions.clear();
    job.AddAction(std::make_unique<TTFileAction>(src, "*.*", "", "", 0, JOB_ANALYZE));
    Run();
    const bool written = fs::exists(logs + "ANALYZE1.LOG") && fs::exists(logs + "AN_DATE.LOG") &&
                         fs::exists(logs + "AN_SIZE.LOG");
    EXPECT_EQ(std::make_pair(written, job.Mail->Message.Attachments.size()), std::make_pair(!empty, size_t(empty ? 0 : 3)));
  }
  EXPECT_EQ(test::TempDir::Read(logs + "ANALYZE1.LOG").substr(0, AnalyzeHeaderLine().size() + 2),
            AnalyzeHeaderLine() + "\r\n");
}

TEST_F(Execute, AnExceptionInsideACopyEndsTheRunAbortedWithItsFilesClosed) {
  CopyThenDelete();
  MakeTree(src, {{"big.txt", std::string(3 * kCopyBufferSize, 'b')}});
  SetCopyChunkHookForTesting([](TCopyThread&, int64_t done) {
    if (done >= kCopyBufferSize) throw std::bad_alloc();
  });
  CopyThreadContext c;
  c.LogDir = tmp / "logs/";
  TCopyThread thread(job, c);
  EXPECT_NO_THROW(thread.Execute());
  SetCopyChunkHookForTesting({});
  EXPECT_EQ(std::make_tuple(thread.LastResult, Count(thread.Messages.Snapshot(), LVL_ERROR, MC_ABORTED)),
            std::make_tuple(MC_ABORTED, 1));
  EXPECT_TRUE(thread.LastResult & RC_ABORT);
  EXPECT_FALSE(thread.SourceHandle.IsOpen());
  EXPECT_FALSE(thread.WorkHandle.IsOpen()) << "the work copy must not stay open and locked";
  EXPECT_TRUE(fs::exists(del + "x.txt")) << "the second action must not run";
  EXPECT_TRUE(thread.CopyBuffer.empty());
}

TEST_F(Execute, AnExceptionFromTheMainThreadsRefreshAlsoEndsTheRun) {
  CopyThenDelete();
  int refreshes = 0;
  onRefresh = [&refreshes](TCopyThread&) {
    if (++refreshes == 3) throw std::runtime_error("listing task failed");
  };
  const std::vector<TTErrorMsg> log = Run();
  ASSERT_EQ(Count(log, LVL_ERROR, MC_ABORTED), 1);
  const auto it = std::find_if(log.begin(), log.end(),
                               [](const TTErrorMsg& m) { return m.Code == MC_ABORTED; });
  EXPECT_NE(it->Text.find("listing task failed"), std::string::npos);
}

}  // namespace
}  // namespace mv
