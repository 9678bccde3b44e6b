// Names as Linux has them in copy and mirror runs: masks as the action gives
// them, case as part of a name, and only our exact names taken for our own.
// Mirrors are compared with `rsync -a --delete` as the reference.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "engine/copyfile.h"
#include "engine/copythread.h"
#include "engine/walks.h"
#include "jobs/errmsg.h"
#include "jobs/jobrecord.h"
#include "jobs/jobtypes.h"
#include "tests/support/childprocess.h"
#include "tests/support/tempdir.h"
#include "tests/support/tree.h"

namespace mv {
namespace {

namespace fs = std::filesystem;
using test::MakeTree, test::RenderTree, test::TreeEntry;

constexpr uint32_t kOlder = OPT_DIR_TO_TARGET | OPT_OVERWRITE_OLDER;
constexpr uint32_t kMirror = kOlder | OPT_MIRROR;
const int64_t kNew = test::kTreeTime + 3600;

class CopyNames : public ::testing::Test {
 protected:
  test::TempDir tmp;
  const std::string src = tmp / "src/", dst = tmp / "dst/";
  std::unique_ptr<TTFileThreadControl> job;
  std::unique_ptr<TCopyThread> thread;

  int32_t Run(uint32_t options, const std::string& sourceMask, const std::string& targetMask,
              const std::string& source = "", const std::string& target = "",
              const std::function<void(TTFileThreadControl&)>& state = {}, int64_t chunk = kCopyChunkSize) {
    job = std::make_unique<TTFileThreadControl>("names", nullptr, tmp.path(), tmp.path(), nullptr,
                                                JobDefaults{.DrawId = false});
    job->JobID = 0x2A;
    job->AddAction(std::make_unique<TTFileAction>(source.empty() ? src : source, sourceMask,
                                                  target.empty() ? dst : target, targetMask, options, JOB_COPY));
    if (state) state(*job);
    thread = std::make_unique<TCopyThread>(*job, CopyThreadContext{});
    thread->ChunkSize = chunk;
    RunCopyAction(*thread, *job->Actions.front());
    return thread->LastResult;
  }
  // What `rsync -a --delete` makes of the target as it was before the run.
  std::string RsyncOf(const std::string& before) {
    const std::string ref = tmp / "ref/";
    fs::remove_all(ref), fs::copy(before, ref, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    for (auto& e : fs::recursive_directory_iterator(before))  // fs::copy does not keep times
      if (!e.is_symlink()) fs::last_write_time(ref + fs::relative(e.path(), before).string(), e.last_write_time());
    test::ChildProcess rsync({"/usr/bin/rsync", "-a", "--delete", src, ref});
    EXPECT_EQ(rsync.Wait(60000), 0);
    return RenderTree(ref);
  }
  static std::string Expect(const std::vector<TreeEntry>& e) { test::TempDir d; return MakeTree(d.path(), e), RenderTree(d.path()); }
  bool Logged(int32_t code, const std::string& text) const {
    for (const TTErrorMsg& m : thread->Messages.Snapshot())
      if (m.Code == code && m.Text == text) return true;
    return false;
  }
};

TEST_F(CopyNames, AnEmptyMaskSelectsNothingInEveryDirection) {
  const std::vector<TreeEntry> source = {{"a1.txt", "a1"}, {"s/b.txt", "b"}};
  const std::vector<TreeEntry> target = {{"extra.txt", "x"}, {"t1.txt", "1"}, {"t2.txt", "2"}, {"d/e.txt", "e"},
                                         {"d/f.txt", "f"}, {"d/g/h.txt", "h"}, {"k/l.txt", "l"}};
  struct Case { const char* name; uint32_t options; const char *sourceMask, *targetMask; std::vector<TreeEntry> src, dst; };
  const Case cases[] = {
      {"mirror from the target pane", kMirror, "", "extra.txt", source, target},
      {"to target", kOlder | OPT_EMPTY_DIRS, "", "*.*", source, target},
      {"to source", OPT_DIR_TO_SOURCE | OPT_OVERWRITE_OLDER, "*.*", "", source, target},
      {"both ways from the source pane", OPT_DIR_BOTH | OPT_OVERWRITE_OLDER, "a1.txt", "",
       source, [&] { auto t = target; t.push_back({"a1.txt", "a1"}); return t; }()}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(src), fs::remove_all(dst), MakeTree(src, source), MakeTree(dst, target);
    EXPECT_FALSE(IsFailure(Run(c.options, c.sourceMask, c.targetMask)));
    EXPECT_EQ(RenderTree(src), Expect(c.src));
    EXPECT_EQ(RenderTree(dst), Expect(c.dst));
    EXPECT_EQ(thread->cDeleted + thread->cError, 0);
    if (c.options & OPT_MIRROR) { EXPECT_TRUE(Logged(0, "CLEANING " + dst + "()")); }
    if ((c.options & OPT_DIR_MASK) == OPT_DIR_TO_TARGET) { EXPECT_TRUE(Logged(0, "COPY " + src)); }
  }
}

TEST_F(CopyNames, StarMeansTheWholeFolderInCopyAndCleanAlike) {
  for (uint32_t options : {kMirror | OPT_NO_NEW_DIRS, kMirror | OPT_EMPTY_DIRS, kOlder | OPT_NO_NEW_DIRS}) {
    SCOPED_TRACE(options);
    std::string results[2], reference;
    for (int i = 0; i < 2; ++i) {
      fs::remove_all(src), fs::remove_all(dst);
      MakeTree(src, {{"one.txt", "1", kNew}, {"keep/two.txt", "2 new", kNew}, {"new/three.txt", "3"}});
      MakeTree(dst, {{"one.txt", "old"}, {"keep/two.txt", "2 old"}, {"keep/extra.txt", "x"}, {"gone/x.txt", "x"}});
      reference = RsyncOf(dst);
      Run(options, i == 0 ? "*" : "*.*", "*.*");
      results[i] = RenderTree(dst);
    }
    EXPECT_EQ(results[0], results[1]);
    if (!(options & OPT_NO_NEW_DIRS)) { EXPECT_EQ(results[0], reference); }
  }
}

TEST_F(CopyNames, ACaseOnlyRenameIsCopiedAndMirrored) {
  for (uint32_t options : {kOlder, kMirror}) {
    SCOPED_TRACE(options);
    fs::remove_all(src), fs::remove_all(dst);
    MakeTree(src, {{"Report.TXT", "report"}, {"sub/Data.bin", "data"}});
    Run(options, "*.*", "*.*");
    fs::rename(src + "Report.TXT", src + "report.txt"), fs::rename(src + "sub/Data.bin", src + "sub/data.bin");
    test::SetMTime(src + "report.txt", test::kTreeTime), test::SetMTime(src + "sub/data.bin", test::kTreeTime);
    const std::string reference = RsyncOf(dst);
    EXPECT_FALSE(IsFailure(Run(options, "*.*", "*.*")));
    EXPECT_EQ(thread->cSuccess, 2);
    if (options & OPT_MIRROR) {
      EXPECT_EQ(RenderTree(dst), reference);
      EXPECT_EQ(thread->cDeleted, 2);
    } else {
      EXPECT_EQ(RenderTree(dst), Expect({{"Report.TXT", "report"}, {"report.txt", "report"}, {"sub/Data.bin", "data"},
                                         {"sub/data.bin", "data"}}));
    }
  }
}

TEST_F(CopyNames, RecursionTestComparesRealFoldersExactly) {
  MakeTree(tmp / "t/", {{"Data/f.txt", "f"}, {"Data/sub/g.txt", "g"}, {"data/backup/old.txt", "o"}});
  EXPECT_FALSE(IsFailure(Run(kOlder, "*.*", "*.*", tmp / "t/Data/", tmp / "t/data/backup/")));  // two folders
  EXPECT_EQ(RenderTree(tmp / "t/data/backup/"), Expect({{"f.txt", "f"}, {"sub/g.txt", "g"}, {"old.txt", "o"}}));
  fs::create_directory_symlink(tmp / "t/Data", tmp / "viaLink");  // the source named through a link
  EXPECT_EQ(Run(kOlder, "*.*", "*.*", tmp / "viaLink/", tmp / "t/Data/sub/copy/"), MC_ABORTED);
  EXPECT_FALSE(fs::exists(tmp / "t/Data/sub/copy"));
}

TEST_F(CopyNames, OnlyOurExactNamesAreOurs) {
  for (const char* name : {"~MVSW.MVF", "~MVSS.MVF", "~MVSR0000002A.MVF", "~MVSR0123456789ABCDEF.MVF"})
    EXPECT_TRUE(IsOwnTempFile(name)) << name;
  for (const char* name : {"~mvsw.mvf", "~MVSR_notes.txt", "~mvsresume draft.doc", "~MVSR2A.MVF", "~MVSR0000002a.MVF",
                           "~MVSR0000002A.MVF.bak", "~MVSW.MVF~"})
    EXPECT_FALSE(IsOwnTempFile(name)) << name;
  const std::vector<TreeEntry> user = {{"~MVSR_notes.txt", "n"}, {"~mvsresume draft.doc", "d"}, {"~mvsw.mvf", "w"},
                                       {"sub/~MVSS.MVF.txt", "s"}};
  MakeTree(src, user), MakeTree(src, {{"~MVSW.MVF", "ours"}});
  MakeTree(dst, {{"~MVSR_stale.txt", "user file the source lacks"}, {"~MVSR0000002A.MVF", "ours"}});
  Run(kMirror, "*.*", "*.*");  // our resume file without a resume state to go with it goes too
  EXPECT_EQ(RenderTree(dst), RenderTree(src, {"~MVSW.MVF"}));
  EXPECT_EQ(RenderTree(dst), Expect(user));
}

TEST_F(CopyNames, AStaleResumeFileGoesWithTheFolderTheMirrorRemoves) {
  MakeTree(src, {{"keep/a.txt", "a"}});
  MakeTree(dst, {{"keep/a.txt", "a"}, {"old/x.txt", "x"}, {"old/~MVSR0000002A.MVF", "partial"},
                 {"old/deeper/~MVSR00000007.MVF", "another job's"}, {"old/deeper/~MVSS.MVF", "swap"}});
  MakeTree(tmp / "elsewhere/", {{"kept.txt", "k"}});  // links never listed must not keep the folder either
  fs::create_directory_symlink(tmp / "elsewhere", dst + "old/deeper/folderlink");
  fs::create_symlink(tmp / "nothing", dst + "old/dangling");
  const std::string reference = RsyncOf(dst), elsewhere = RenderTree(tmp / "elsewhere/");
  EXPECT_FALSE(IsFailure(Run(kMirror | OPT_EMPTY_DIRS, "*.*", "*.*")));
  EXPECT_EQ(RenderTree(dst), reference);
  EXPECT_EQ(thread->cError, 0);
  EXPECT_EQ(thread->cDeleted, 1);  // only the user's file counts
  EXPECT_EQ(RenderTree(tmp / "elsewhere/"), elsewhere);
}

TEST_F(CopyNames, StoppedRunsLeaveAtMostOneResumeFileAndOnlyAResumableOneStays) {
  const std::string data(12 * 32768, 'r');
  MakeTree(src, {{"big.bin", data}, {"sub/big.bin", data}});
  auto stoppedRun = [&](uint32_t options, const std::string& dir, int64_t at,
                        const std::function<void(TTFileThreadControl&)>& state = {}) {
    SetCopyChunkHookForTesting([dir, at](TCopyThread& t, int64_t done) {
      if (t.CurSourceDir == dir && done == at) t.Thread().RequestTerminate();
    });
    Run(options, "*.*", "*.*", "", "", state, 32768);  // stop positions are in 32 KiB pieces
    SetCopyChunkHookForTesting({});
  };
  // A job file run again and again without a stored resume state: one partial copy at most, then none.
  const std::string resume = ResumeFileName(0x2A);
  stoppedRun(kOlder | OPT_RESUME_FILE, src, 3 * 32768);
  EXPECT_EQ(fs::file_size(dst + resume), 3u * 32768);
  stoppedRun(kOlder | OPT_RESUME_FILE, src + "sub/", 32768);  // in sub/ this time
  EXPECT_FALSE(fs::exists(dst + resume));
  EXPECT_EQ(fs::file_size(dst + "sub/" + resume), 32768u);
  Run(kOlder, "*.*", "*.*");
  EXPECT_EQ(RenderTree(dst), RenderTree(src));
  // A queued job keeps its state: the partial copy is resumed with the option, removed without it.
  for (uint32_t option : {uint32_t(OPT_RESUME_FILE), 0u}) {
    SCOPED_TRACE(option);
    fs::remove_all(dst);
    stoppedRun(kOlder | OPT_RESUME_FILE, src, 5 * 32768);
    const TCopyThread& stopped = *thread;
    const auto keep = [&, path = stopped.CurrentFolder, file = stopped.ResumeFile, pos = stopped.ResumeFilePos](TTFileThreadControl& j) {
      j.ResumePath = path, j.ResumeFile = file, j.ResumeFilePos = pos;
    };
    stoppedRun(kOlder | option, src, -1, keep);
    EXPECT_EQ(RenderTree(dst), RenderTree(src));
    EXPECT_EQ(Logged(0, "File copy resumed at 163,840"), option != 0);
  }
}

TEST(JobIdForFile, IsStablePerFileAndAboveEveryCounterId) {
  test::TempDir tmp;
  const std::string a = tmp.Write("A.MVJ", "x"), b = tmp.Write("B.MVJ", "x");
  EXPECT_EQ(JobIdForFile(a), JobIdForFile(tmp / "./A.MVJ"));
  EXPECT_NE(JobIdForFile(a), JobIdForFile(b));
  EXPECT_GT(JobIdForFile(a), int64_t(0xFFFFFFFF));
  EXPECT_TRUE(IsOwnTempFile(ResumeFileName(JobIdForFile(a))));
}

}  // namespace
}  // namespace mv
