#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>

#include "engine/copythread.h"
#include "engine/walks.h"
#include "jobs/errmsg.h"
#include "jobs/jobrecord.h"
#include "jobs/jobtypes.h"
#include "platform/fileio.h"
#include "platform/textcase.h"
#include "tests/support/tempdir.h"
#include "tests/support/tree.h"

namespace mv {
namespace {

using test::MakeTree, test::RenderTree, test::TreeEntry;

constexpr uint32_t kOlder = OPT_DIR_TO_TARGET | OPT_OVERWRITE_OLDER;
const int64_t kOld = test::kTreeTime, kNew = test::kTreeTime + 3600;
const std::vector<TreeEntry> kSource = {
    {"top.txt", "top"}, {"a/one.txt", "one"}, {"a/deep/two.txt", "two!"}, {"empty/", ""}, {"only/sub/", ""}};

class CopyWalk : public ::testing::Test {
 protected:
  test::TempDir tmp;
  const std::string src = tmp / "src/", dst = tmp / "dst/";
  std::unique_ptr<TTFileThreadControl> job;
  std::unique_ptr<TCopyThread> thread;
  std::function<void(TCopyThread&)> onRefresh;
  const CopyThreadContext context{.OnDisplayRefresh = [this](TCopyThread& t) { if (onRefresh) onRefresh(t); },
                                  .DisplayTickMs = 0};  // a refresh at every entry

  // Runs one COPY action, as a job file would give it, on this thread; returns its LastResult.
  int32_t Run(uint32_t options, const std::string& mask = "*.*",
              const std::function<void(TTFileThreadControl&)>& setup = {}, const std::string& target = "") {
    job = std::make_unique<TTFileThreadControl>("walk", nullptr, tmp.path(), tmp.path(), nullptr, JobDefaults{.DrawId = false});
    job->AddAction(std::make_unique<TTFileAction>(src, mask, target.empty() ? dst : target, mask, options, JOB_COPY));
    if (setup) setup(*job);
    thread = std::make_unique<TCopyThread>(*job, context);
    RunCopyAction(*thread, *job->Actions.front());
    return thread->LastResult;
  }
  static std::string Expect(const std::vector<TreeEntry>& e) { test::TempDir d; return MakeTree(d.path(), e), RenderTree(d.path()); }
  bool Logged(int32_t code, const std::string& textPart = "") const {
    for (const TTErrorMsg& m : thread->Messages.Snapshot())
      if (m.Code == code && m.Text.find(textPart) != std::string::npos) return true;
    return false;
  }
};

TEST_F(CopyWalk, CopiesAcceptedFilesAndSecondRunSkipsByDirectorySignature) {
  MakeTree(src, kSource), MakeTree(src, {{".hidden/x.txt", "x"}});  // hidden folders are data on Linux
  std::filesystem::create_directory_symlink(src + "a", src + "a/loop");  // never followed
  EXPECT_FALSE(IsFailure(Run(kOlder)));
  const std::string copied = Expect({{"top.txt", "top"}, {"a/one.txt", "one"}, {"a/deep/two.txt", "two!"}, {".hidden/x.txt", "x"}});
  EXPECT_EQ(RenderTree(dst), copied);  // no empty dirs, no link
  EXPECT_EQ(std::pair(thread->cSuccess, thread->CompletedBytes), std::pair(4, int64_t(11)));
  int fileSteps = 0;  // per-file work shows as a display refresh on a file entry
  onRefresh = [&](TCopyThread& t) { fileSteps += t.CurEntryName.ends_with(".txt"); };
  EXPECT_FALSE(IsFailure(Run(kOlder)));
  EXPECT_EQ(fileSteps, 0);
  EXPECT_EQ(RenderTree(dst), copied);
  EXPECT_EQ((std::array{thread->cTotal, thread->cSkipped, thread->cSuccess, thread->cError}), (std::array{4, 4, 0, 0}));
  Run(OPT_DIR_TO_TARGET | OPT_OVERWRITE_ALL);  // no signature shortcut
  EXPECT_EQ(thread->cSuccess, 4);
}

TEST_F(CopyWalk, OptionsShapeTheTargetTree) {
  struct Case { const char* name; uint32_t options; std::string mask; std::vector<TreeEntry> target, expected; };
  const std::vector<TreeEntry> existing = {{"top.txt", "old", kOld}, {"a/one.txt", "older", kOld - 10}};
  const Case cases[] = {  // target: before the run
      {"overwrite older", kOlder, "*.*", existing, {{"top.txt", "NEW", kNew}, {"a/one.txt", "one"}, {"a/deep/two.txt", "two!"}}},
      {"skip existing", OPT_DIR_TO_TARGET | OPT_SKIP_EXISTING, "*.*", existing,
       {{"top.txt", "old", kOld}, {"a/one.txt", "older", kOld - 10}, {"a/deep/two.txt", "two!"}}},
      {"no new dirs", kOlder | OPT_NO_NEW_DIRS, "*.*", existing, {{"top.txt", "NEW", kNew}, {"a/one.txt", "older", kOld - 10}}},
      {"no new files", kOlder | OPT_NO_NEW_FILES, "*.*", {{"top.txt", "old", kOld}}, {{"top.txt", "NEW", kNew}, {"a/deep/"}}},
      {"empty dirs", kOlder | OPT_EMPTY_DIRS, "*.*", {},
       {{"top.txt", "NEW", kNew}, {"a/one.txt", "one"}, {"a/deep/two.txt", "two!"}, {"empty/"}, {"only/sub/"}}},
      {"log only", kOlder | OPT_LOG_ONLY_COPY | OPT_EMPTY_DIRS, "*.*", existing, existing},
      {"mask at the top only", kOlder, "a*", {}, {{"a/one.txt", "one"}, {"a/deep/two.txt", "two!"}}}};
  for (const Case& c : cases) {
    std::filesystem::remove_all(src), std::filesystem::remove_all(dst);
    MakeTree(src, kSource), MakeTree(src, {{"top.txt", "NEW", kNew}}), MakeTree(dst, c.target);
    Run(c.options, c.mask);
    EXPECT_EQ(RenderTree(dst), Expect(c.expected)) << c.name;
  }
}

TEST_F(CopyWalk, DirectionsCopyEachWay) {
  MakeTree(src, {{"s.txt", "from source"}, {"both.txt", "newer in source", kNew}});
  MakeTree(dst, {{"t/t.txt", "from target"}, {"both.txt", "older", kOld}});
  Run(OPT_DIR_TO_SOURCE | OPT_OVERWRITE_OLDER);
  EXPECT_EQ(RenderTree(src), Expect({{"s.txt", "from source"}, {"both.txt", "newer in source", kNew}, {"t/t.txt", "from target"}}));
  EXPECT_EQ(RenderTree(dst), Expect({{"t/t.txt", "from target"}, {"both.txt", "older", kOld}}));
  Run(OPT_DIR_BOTH | OPT_OVERWRITE_OLDER);
  EXPECT_EQ(RenderTree(dst), RenderTree(src));
  EXPECT_EQ(Run(OPT_OVERWRITE_OLDER), 0);  // no direction: nothing runs
  EXPECT_EQ(thread->cTotal, 0);
}

TEST_F(CopyWalk, TargetInsideWalkedSourceAbortsBeforeCopyingAndDriveNotReadyIsFatal) {
  MakeTree(src, {{"f.txt", "f"}, {"sub/g.txt", "g"}});
  const std::string inside = src + "sub/copy/";
  std::filesystem::create_directory_symlink(src + "sub", tmp / "link");
  for (const std::string& target : {inside, tmp / "link/copy/"}) {
    EXPECT_EQ(Run(kOlder, "*.*", {}, target), MC_ABORTED) << target;
    EXPECT_TRUE(Logged(MC_RECURSIVE_COPY, "|sub/copy/")) << target;
    EXPECT_FALSE(std::filesystem::exists(inside));
  }
  DriveReadyForTesting([](char drive) { return drive != 'Y'; });
  EXPECT_EQ(Run(kOlder, "*.*", {}, "Y:/dst/"), MC_DRIVE_NOT_READY);
  DriveReadyForTesting({});
  EXPECT_EQ(thread->cTotal, 0);
  int64_t sum = 0;  // the rest of the run
  EXPECT_EQ(mv::CopyWalk(*thread, src, dst, sum, 5, 0, "*.*"), MC_ABORTED);
  EXPECT_FALSE(std::filesystem::exists(dst));
}

TEST_F(CopyWalk, UnreadableSourceFolderIsCountedOnceAndTheRestCopied) {
  MakeTree(src, {{"a/ok.txt", "ok"}, {"b/secret.txt", "s"}, {"c/ok.txt", "ok"}});
  ::chmod(tmp.path().c_str(), 0777), ::chmod((src + "b").c_str(), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {  // root reads everything: walk as nobody
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(100);
    Run(kOlder);
    ::_exit(thread->cError == 1 && Logged(0, "Read directory " + src + "b/") ? 0 : 101);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(RenderTree(dst), Expect({{"a/ok.txt", "ok"}, {"c/ok.txt", "ok"}}));
}

TEST_F(CopyWalk, TerminatedRunResumesInItsFolderAndSkipsFinishedBranches) {
  MakeTree(src, {{"a/1.txt", "1"}, {"b/2.txt", "2"}, {"b/3.txt", "3"}, {"c/4.txt", "4"}});
  onRefresh = [this](TCopyThread& t) { if (t.CurSourceDir == src + "b/" && t.cSuccess == 2) t.Thread().RequestTerminate(); };
  EXPECT_EQ(Run(kOlder), MC_TERMINATED);
  EXPECT_EQ(thread->CurrentFolder, UpperCase(src + "b/"));
  EXPECT_EQ(RenderTree(dst), Expect({{"a/1.txt", "1"}, {"b/2.txt", "2"}}));
  onRefresh = {};
  MakeTree(src, {{"a/1.txt", "changed after the stop", kNew}});  // a/ was done: not walked again
  Run(kOlder, "*.*", [p = thread->CurrentFolder](TTFileThreadControl& j) { j.ResumePath = p; });
  EXPECT_TRUE(Logged(0, "...resumed in " + UpperCase(src + "b/")));
  EXPECT_EQ(RenderTree(dst), Expect({{"a/1.txt", "1"}, {"b/2.txt", "2"}, {"b/3.txt", "3"}, {"c/4.txt", "4"}}));
  // A resume folder that no longer exists must not turn the run into a no-op.
  Run(kOlder, "*.*", [&](TTFileThreadControl& j) { j.ResumePath = UpperCase(src + "gone/"); });
  EXPECT_EQ(RenderTree(dst), RenderTree(src));
  EXPECT_EQ(thread->cSuccess, 1);
}

}  // namespace
}  // namespace mv
