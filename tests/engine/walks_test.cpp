#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <tuple>

#include "engine/analyzedata.h"
#include "engine/copythread.h"
#include "engine/walks.h"
#include "jobs/errmsg.h"
#include "jobs/jobtypes.h"
#include "netware/nwops.h"
#include "platform/clock.h"
#include "platform/textcase.h"
#include "tests/support/nwsim.h"
#include "tests/support/tempdir.h"
#include "tests/support/tree.h"

namespace mv {
namespace {

namespace fs = std::filesystem;
using test::MakeTree, test::RenderTree, test::TreeEntry;

class Walks : public ::testing::Test {
 protected:
  test::TempDir tmp;
  const std::string src = tmp / "src/", dst = tmp / "dst/";
  TTFileThreadControl job{"walks", nullptr, tmp.path(), tmp.path(), nullptr, {.DrawId = false}};
  std::unique_ptr<TCopyThread> thread;
  std::function<void(TCopyThread&)> onRefresh;
  test::SimNetWare nw;

  TCopyThread& Make(uint32_t options, const std::function<void(TTDirFilter&)>& filter = {}, bool netware = false) {
    job.JobID = 0x2A;
    if (filter) filter(*job.Filter);
    thread = std::make_unique<TCopyThread>(
        job, CopyThreadContext{.NetWare = netware ? &nw : nullptr, .NetWareAvailable = netware,
                               .OnDisplayRefresh = [this](TCopyThread& t) { if (onRefresh) onRefresh(t); }});
    thread->Options = options, thread->Tomorrow = DateTimeToDos(Now() + 1);
    return *thread;
  }
  static std::string Render(const std::vector<TreeEntry>& e) { test::TempDir d; return MakeTree(d.path(), e), RenderTree(d.path()); }
  int Count(int32_t level, int32_t code, const std::string& text = "") const {
    int n = 0;
    for (const TTErrorMsg& m : thread->Messages.Snapshot())
      n += m.Level == level && m.Code == code && m.Text.find(text) != std::string::npos;
    return n;
  }
};

TEST_F(Walks, MirrorCleanDeletesWhatTheSourceLacksAndNothingElse) {
  MakeTree(src, {{"keep.txt", "k"}, {"a/keep.txt", "k"}});
  fs::create_symlink("loop.txt", src + "loop.txt");  // existence cannot be told
  MakeTree(dst, {{"keep.txt", "k"}, {"a/keep.txt", "k"}, {"loop.txt", "?"}, {"~MVSW.MVF", "w"},
                 {"a/~MVSR0000002A.MVF", "r"}});  // own temporary files are never cleaned up
  const std::string expected = RenderTree(dst);
  MakeTree(dst, {{"extra.txt", "x"}, {"a/extra.txt", "x"}, {"gone/x.txt", "x"}, {"gone/y/", ""}});
  EXPECT_EQ(CleanDir(Make(OPT_MIRROR | OPT_EMPTY_DIRS), dst, src, "*.*", 0), RC_NOTHING_TO_DO);
  EXPECT_EQ(RenderTree(dst), expected);
  EXPECT_EQ(std::make_pair(thread->cDeleted, Count(LVL_DIR, MC_DELETE_DIR, dst + "gone/")),
            std::make_pair(3, 2));  // gone/ and gone/y/
}

TEST_F(Walks, MirrorCleanDeletesNothingWhenTheSourceIsGoneOrUnreadable) {
  struct Case { const char* name; std::function<void()> setup; std::function<void(TCopyThread&)> duringRun; };
  const auto vanish = [this](const std::string& dir, const std::string& when) {
    return [=, this](TCopyThread& t) { if (t.CurTargetDir == dst + when && fs::exists(dir)) fs::rename(dir, tmp / "moved"); };
  };
  const Case cases[] = {
      {"root missing", [this] { fs::rename(src, tmp / "moved"); }, {}},
      {"root unreadable", [this] { fs::remove_all(src), fs::create_symlink("src", tmp / "src"); }, {}},
      {"subdir vanishes", [] {}, vanish(src + "a", "a/")},
      {"root vanishes", [] {}, vanish(tmp / "src", "")}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* d : {"src", "dst", "moved"}) fs::remove_all(tmp / d);
    MakeTree(src, {{"a/keep.txt", "k"}, {"b/keep.txt", "k"}});
    MakeTree(dst, {{"a/extra.txt", "x"}, {"a/keep.txt", "k"}, {"b/extra.txt", "x"}, {"z.txt", "x"}});
    const std::string before = RenderTree(dst);
    c.setup(), onRefresh = c.duringRun;
    EXPECT_EQ(CleanDir(Make(OPT_MIRROR), dst, src, "*.*", 0), MC_READ_SOURCE_CONN_ABORT);
    EXPECT_EQ(RenderTree(dst), before);
    EXPECT_EQ(std::make_pair(thread->cDeleted, Count(LVL_ERROR, MC_READ_SOURCE_CONN_ABORT)), std::make_pair(0, 1));
  }
}

TEST_F(Walks, DeleteJobDeletesSelectedFilesOnlyWithMasksAndNotWhenLogOnly) {
  const std::vector<TreeEntry> tree = {{"a.tmp", "1"}, {"b.txt", "2"}, {"d/c.tmp", "3"}};
  struct Case { const char* masks; uint32_t options; std::vector<TreeEntry> left; int deleted, logged; };
  const Case cases[] = {{"", 0, tree, 0, 0},  // no include masks: nothing
                        {"*.tmp", 0, {{"b.txt", "2"}, {"d/", ""}}, 2, 0},
                        {"*.tmp", OPT_LOG_ONLY_DELETE, tree, 2, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    fs::remove_all(src), MakeTree(src, tree);
    DeleteDir(Make(c.options, [&](TTDirFilter& f) { f.IncludeFileNames = c.masks; }), src, "*.*", 255, 0);
    EXPECT_EQ(RenderTree(src), Render(c.left));
    EXPECT_EQ(std::make_tuple(thread->cDeleted, Count(LVL_INFO, MC_DELETE_FILE),
                              Count(LVL_ERROR, MC_ABORTED, "needs include file filter")),
              std::make_tuple(c.deleted, c.logged, *c.masks ? 0 : 1));
  }
}

TEST_F(Walks, TerminatedDeleteStopsWithinOneEntryAndResumesInItsFolder) {
  MakeTree(src, {{"a/1.tmp", ""}, {"b/1.tmp", ""}, {"b/2.tmp", ""}, {"c/1.tmp", ""}});
  onRefresh = [](TCopyThread& t) { if (t.CurEntryName == "2.tmp") t.Thread().RequestTerminate(); };
  TCopyThread& t = Make(OPT_RESUME_FOLDER, [](TTDirFilter& f) { f.IncludeFileNames = "*.tmp"; });
  EXPECT_EQ(DeleteDir(t, src, "*.*", 255, 0), MC_TERMINATED);
  EXPECT_EQ(RenderTree(src), Render({{"a/", ""}, {"b/2.tmp", ""}, {"c/1.tmp", ""}}));
  EXPECT_EQ(Count(LVL_ERROR, MC_TERMINATED), 2);  // the open levels: b/ and the top
  EXPECT_EQ(t.CurrentFolder, UpperCase(src + "b/"));
  MakeTree(src, {{"a/new.tmp", ""}});  // a/ was finished: not visited again
  job.ResumePath = t.CurrentFolder, onRefresh = {};
  TCopyThread& again = Make(OPT_RESUME_FOLDER);
  EXPECT_EQ(again.ResumeMode, 1);
  DeleteDir(again, src, "*.*", 255, 0);
  EXPECT_EQ(RenderTree(src), Render({{"a/new.tmp", ""}, {"b/", ""}, {"c/", ""}}));
  EXPECT_EQ(Count(LVL_INFO, 0, "...resumed in " + UpperCase(src + "b/")), 1);
}

TEST_F(Walks, TerminateEndsAnalyzeCleanAndPurgeAtTheNextEntry) {
  MakeTree(src, {{"a/1.txt", "1"}, {"b/2.txt", "2"}}), MakeTree(dst, {{"a/x.txt", "x"}, {"b/x.txt", "x"}});
  const std::string before = RenderTree(dst);
  nw.AddServer("SRV1", "TREE"), nw.Mount(src, "SRV1", "DATA");
  nw.AddDeleted(src + "a/", {.Name = "d.txt", .Deleted = FileDateToNetWareDate(DateTimeToDos(Now() - 10)), .Size = 1});
  onRefresh = [](TCopyThread& t) { t.Thread().RequestTerminate(); };
  const std::function<void(TCopyThread&)> walks[] = {
      [&](TCopyThread& t) { TTAnalyzeData total; AnalyzeDir(t, src, "*.*", total, 1); },
      [&](TCopyThread& t) { CleanDir(t, dst, src, "*.*", 0); }, [&](TCopyThread& t) { PurgeDir(t, src, "*.*", 255, 0); }};
  for (const auto& walk : walks) {
    walk(Make(OPT_MIRROR, {}, true));
    EXPECT_EQ(Count(LVL_ERROR, MC_TERMINATED), 2);  // the subdirectory and the top
    EXPECT_EQ(thread->cTotal + thread->cDeleted + thread->cSuccess, 0);
  }
  EXPECT_EQ(RenderTree(dst), before);
  EXPECT_EQ(nw.DeletedNames(src + "a/").size(), 1u);
}

TEST_F(Walks, PurgeRemovesDeletedFilesOlderThanTheLimitAndEscapesNames) {
  EXPECT_EQ(EscapeName("Gr\xFC\xDF" "e{x}\t"), "Gr\xFC\xDF" "e[7B]x[7D][09]");  // umlauts stay
  const DateTime now = EncodeDateTime({.year = 2024, .month = 3, .day = 10, .hour = 12});
  SetClockForTesting([now] { return now; });
  nw.AddServer("SRV1", "TREE"), nw.Mount(src, "SRV1", "DATA");
  MakeTree(src, {{"sub/", ""}});
  for (auto [dir, name, daysAgo] : {std::tuple{src, "old.txt", 5}, {src, "cutoff.txt", 2},  // at the limit: kept
                                    {src + "sub/", "old.dat", 9}, {src + "sub/", "recent.dat", 1}})
    nw.AddDeleted(dir, {.Name = name, .Deleted = FileDateToNetWareDate(int32_t(DateTimeToDos(now - daysAgo))), .Size = 10});
  EXPECT_EQ(PurgeDir(Make(0, [](TTDirFilter& f) { f.FileAgeMinDays = 2; }, true), src, "*.*", 255, 0), RC_DONE);
  SetClockForTesting({});
  EXPECT_EQ(nw.DeletedNames(src), std::vector<std::string>{"cutoff.txt"});
  EXPECT_EQ(nw.DeletedNames(src + "sub/"), std::vector<std::string>{"recent.dat"});
  EXPECT_EQ(std::pair(thread->cSuccess, thread->cSkipped), std::pair(2, 2));
  EXPECT_EQ(nw.OpenDirHandles(), 0);
}

}  // namespace
}  // namespace mv
