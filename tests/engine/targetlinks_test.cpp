// Links planted in target folders and under our own file names: nothing
// outside the job's target folder is ever created, written, renamed or
// deleted through them.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "engine/copyfile.h"
#include "engine/copythread.h"
#include "engine/targettree.h"
#include "engine/walks.h"
#include "jobs/errmsg.h"
#include "jobs/jobrecord.h"
#include "jobs/jobtypes.h"
#include "tests/support/tempdir.h"
#include "tests/support/tree.h"

namespace mv {
namespace {

namespace fs = std::filesystem;
using test::MakeTree, test::RenderTree;

const int64_t kNew = test::kTreeTime + 3600;

class TargetLinks : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { UseOpenat2ForTesting(GetParam()); }
  void TearDown() override { UseOpenat2ForTesting(true), SetCopyChunkHookForTesting({}); }

  test::TempDir tmp;
  const std::string src = tmp / "src/", dst = tmp / "dst/", outside = tmp / "outside/";
  std::unique_ptr<TTFileThreadControl> job;
  std::unique_ptr<TCopyThread> thread;

  void Run(uint32_t options, const std::function<void(TTFileThreadControl&)>& state = {}) {
    job = std::make_unique<TTFileThreadControl>("links", nullptr, tmp.path(), tmp.path(), nullptr, JobDefaults{.DrawId = false});
    job->JobID = 0x2A;
    job->AddAction(std::make_unique<TTFileAction>(src, "*.*", dst, "*.*", options, JOB_COPY));
    if (state) state(*job);
    thread = std::make_unique<TCopyThread>(*job, CopyThreadContext{});
    thread->ChunkSize = 32768;  // stop positions are in 32 KiB pieces
    RunCopyAction(*thread, *job->Actions.front());
  }
  // A run of big.bin stopped after three pieces; returns the resume state it leaves for the next.
  std::function<void(TTFileThreadControl&)> StoppedRun(const std::string& data) {
    MakeTree(src, {{"big.bin", data}});
    SetCopyChunkHookForTesting([](TCopyThread& t, int64_t done) {
      if (done == 3 * 32768) t.Thread().RequestTerminate();
    });
    Run(0x101 | OPT_RESUME_FILE);
    SetCopyChunkHookForTesting({});
    const TCopyThread& t = *thread;
    return [path = t.CurrentFolder, file = t.ResumeFile, pos = t.ResumeFilePos](TTFileThreadControl& j) {
      j.ResumePath = path, j.ResumeFile = file, j.ResumeFilePos = pos;
    };
  }
  bool Logged(int32_t code, const std::string& text) const {
    for (const TTErrorMsg& m : thread->Messages.Snapshot())
      if (m.Code == code && m.Text.find(text) != std::string::npos) return true;
    return false;
  }
};

TEST_P(TargetLinks, NothingOutsideTheTargetChanges) {
  for (uint32_t options : {0x101u, 0x103u, 0x143u, 0x163u}) {
    SCOPED_TRACE(options);
    for (const std::string& d : {src, dst, outside}) fs::remove_all(d);
    MakeTree(src, {{"a.txt", "new a", kNew}, {"extra.txt", "e", kNew}, {"sub/one.txt", "new 1", kNew},
                   {"sub/two.txt", "new 2", kNew}, {"sub/three.txt", "new 3", kNew}, {"deep/in/x.txt", "x", kNew},
                   {"deep/y.txt", "y", kNew}});
    MakeTree(outside, {{"one.txt", "victim 1"}, {"two.txt", "victim 2"}, {"a.txt", "victim a"}, {"work.txt", "w"},
                       {"gone.txt", "g"}, {"in/x.txt", "victim x"}});
    MakeTree(dst, {{"deep/"}});
    fs::create_directory_symlink(outside, dst + "sub");          // a folder the source has
    fs::create_directory_symlink(outside + "in", dst + "deep/in");  // one level further down
    fs::create_symlink(outside + "a.txt", dst + "a.txt");         // a file the source has
    fs::create_symlink(outside + "gone.txt", dst + "gone.txt");   // a file the source lacks
    fs::create_symlink(outside + "work.txt", dst + kWorkFileName);  // our work copy's name
    const std::string before = RenderTree(outside);
    Run(options);
    EXPECT_EQ(RenderTree(outside), before);
    EXPECT_TRUE(Logged(MC_CREATE_DIR, dst + "sub/"));
    EXPECT_TRUE(Logged(MC_CREATE_DIR, dst + "deep/in/"));
    EXPECT_TRUE(fs::is_symlink(dst + "sub") && fs::is_symlink(dst + "deep/in"));
    EXPECT_EQ(test::TempDir::Read(dst + "deep/y.txt"), "y");
    EXPECT_FALSE(fs::is_symlink(dst + "a.txt"));  // the link itself was replaced by the copy
    EXPECT_EQ(test::TempDir::Read(dst + "a.txt"), "new a");
    EXPECT_EQ(fs::exists(fs::symlink_status(dst + "gone.txt")), !(options & OPT_MIRROR));
  }
}

TEST_P(TargetLinks, ALinkUnderTheResumeNameIsNeverResumedFrom) {
  const std::string data(8 * 32768, 's');
  const auto keep = StoppedRun(data);
  const std::string resume = dst + ResumeFileName(0x2A);
  ASSERT_EQ(fs::file_size(resume), 3u * 32768);
  const std::string planted(3 * 32768, 'P');
  MakeTree(outside, {{"planted.bin", planted}});
  fs::remove(resume), fs::create_symlink(outside + "planted.bin", resume);
  Run(0x101 | OPT_RESUME_FILE | OPT_RESUME_FOLDER, keep);
  EXPECT_TRUE(Logged(0, "Resume file is not ours: " + resume));
  EXPECT_FALSE(Logged(0, "File copy resumed"));
  EXPECT_EQ(test::TempDir::Read(outside + "planted.bin"), planted);
  EXPECT_FALSE(fs::is_symlink(dst + "big.bin"));
  EXPECT_EQ(test::TempDir::Read(dst + "big.bin"), data);
  EXPECT_FALSE(fs::exists(fs::symlink_status(resume)));
}

TEST_P(TargetLinks, AResumeFileOfAnotherUserIsNeverResumedFrom) {
  if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
  const std::string data(8 * 32768, 's');
  const auto keep = StoppedRun(data);
  const std::string resume = dst + ResumeFileName(0x2A);
  ASSERT_EQ(::chown(resume.c_str(), 65534, 65534), 0);
  Run(0x101 | OPT_RESUME_FILE | OPT_RESUME_FOLDER, keep);
  EXPECT_TRUE(Logged(0, "Resume file is not ours: " + resume));
  EXPECT_EQ(test::TempDir::Read(dst + "big.bin"), data);
}

INSTANTIATE_TEST_SUITE_P(Resolution, TargetLinks, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "openat2" : "NoFollowWalk"; });

}  // namespace
}  // namespace mv
