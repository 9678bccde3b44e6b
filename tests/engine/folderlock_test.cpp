#include "engine/folderlock.h"

#include <gtest/gtest.h>

#include <thread>
#include <tuple>

#include "engine/copyfile.h"
#include "engine/copythread.h"
#include "engine/walks.h"
#include "jobs/jobtypes.h"
#include "platform/findfile.h"
#include "platform/paths.h"
#include "platform/synchronize.h"
#include "platform/textcase.h"
#include "tests/support/tempdir.h"
#include "tests/support/tree.h"

namespace mv {
namespace {

// Counts the calls that reach the main thread; runs them at once.
class CountingSync : public Synchronizer {
 public:
  void Synchronize(std::function<void()> fn) override { ++calls, fn(); }
  int calls = 0;
};

class FolderLocks : public ::testing::Test {
 protected:
  std::unique_ptr<TCopyThread> Worker(TTFileThreadControl& job) {
    job.AddAction(std::make_unique<TTFileAction>(tmp / "src/", "*.*", tmp / "dst/", "*.*",
                                                 OPT_DIR_TO_TARGET | OPT_OVERWRITE_ALL, JOB_COPY));
    const CopyThreadContext c{.Sync = &sync, .Locks = &table, .Sleep = [this](int ms) {
      sleeps.push_back(ms);
      if (onSleep) onSleep();
    }};
    return std::make_unique<TCopyThread>(job, c);
  }
  int Waits(const TCopyThread& t) const {
    int n = 0;
    for (const TTErrorMsg& m : t.Messages.Snapshot()) n += m.Text.find(" in use, waiting... ") != std::string::npos;
    return n;
  }

  test::TempDir tmp;
  CountingSync sync;
  FolderLockTable table;
  std::vector<int> sleeps;
  std::function<void()> onSleep;
  TTFileThreadControl jobA{"a", nullptr, "", "", nullptr, {.DrawId = false}};
  TTFileThreadControl jobB{"b", nullptr, "", "", nullptr, {.DrawId = false}};
};

TEST_F(FolderLocks, SecondJobWaitsEveryFiveSecondsUntilTheFirstLeaves) {
  auto a = Worker(jobA), b = Worker(jobB);
  FolderLock(*a, "/data/out/one.txt");
  EXPECT_EQ(a->HeldFolder, "/DATA/OUT/");
  int rounds = 0;
  onSleep = [&] {
    if (++rounds == 3) FolderLock(*a, "");  // the first job leaves the folder
  };
  FolderLock(*b, "/data/out/two.txt");
  EXPECT_EQ(std::make_tuple(b->HeldFolder, sleeps, Waits(*b), table.Entries.size()),
            std::make_tuple("/DATA/OUT/", std::vector<int>{5000, 5000, 5000}, 3, size_t(1)));
  EXPECT_EQ(b->Messages.Snapshot().front().Text, " folder /DATA/OUT/ in use, waiting... ");
}

TEST_F(FolderLocks, TerminatedWaiterLeavesAtOnceWithoutTheLock) {
  auto a = Worker(jobA), b = Worker(jobB);
  FolderLock(*a, "/data/out/one.txt");
  onSleep = [&] { b->Thread().RequestTerminate(); };
  FolderLock(*b, "/data/out/two.txt");
  EXPECT_EQ(std::make_tuple(sleeps.size(), b->HeldFolder, table.Entries.at("/DATA/OUT/")),
            std::make_tuple(size_t(1), "", a.get()));
}

TEST_F(FolderLocks, OverwritingManyFilesInOneFolderAsksOnce) {
  auto a = Worker(jobA);
  for (const char* f : {"/d/1", "/d/2", "/d/3", "/d/4"}) FolderLock(*a, f);
  EXPECT_EQ(sync.calls, 1);
}

// The only job of its process (no table) is granted every folder on its
// own thread: replacing files in many folders never waits for the main one.
TEST_F(FolderLocks, WithoutATableNoFolderChangeReachesTheMainThread) {
  jobA.AddAction(std::make_unique<TTFileAction>(tmp / "src/", "*.*", tmp / "dst/", "*.*",
                                                OPT_DIR_TO_TARGET | OPT_OVERWRITE_ALL, JOB_COPY));
  TCopyThread t(jobA, CopyThreadContext{.Sync = &sync, .DisplayTickMs = 1 << 30});
  for (const char* f : {"/d/1", "/e/2", "/d/3", "/f/4"}) {
    FolderLock(t, f);
    EXPECT_EQ(t.HeldFolder, UpperCase(ExtractFilePath(f)));
  }
  FolderLock(t, "");
  EXPECT_EQ(t.HeldFolder, "");
  EXPECT_EQ(sync.calls, 0);
}

TEST_F(FolderLocks, NewFilesNeverWaitForAFolderOwnedByAnotherJob) {
  test::MakeTree(tmp.path(), {{"src/new.txt", "new"}, {"dst/", ""}});
  auto a = Worker(jobA), b = Worker(jobB);
  FolderLock(*a, tmp / "dst/held.txt");
  FindData entry;
  ASSERT_EQ(GetFileInfo(tmp / "src/new.txt", entry), 0u);
  EXPECT_EQ(CopyOneFile(*b, tmp / "src/new.txt", tmp / "dst/new.txt", entry) & 0xFF, 0);
  EXPECT_TRUE(sleeps.empty());
  EXPECT_EQ(test::TempDir::Read(tmp / "dst/new.txt"), "new");
}

TEST_F(FolderLocks, PausedRunStopsBetweenEntriesAndResumes) {
  std::vector<test::TreeEntry> files;
  for (int i = 0; i < 50; ++i) files.push_back({"f" + std::to_string(i) + ".txt", "x"});
  test::MakeTree(tmp / "src/", files);
  LoopSynchronizer loop;
  jobA.AddAction(std::make_unique<TTFileAction>(tmp / "src/", "*.*", tmp / "dst/", "*.*",
                                                OPT_DIR_TO_TARGET | OPT_OVERWRITE_ALL, JOB_COPY));
  TCopyThread t(jobA, CopyThreadContext{.Sync = &loop});
  t.Thread().Pause();
  ASSERT_TRUE(t.Thread().Start([&](mv::Worker&) { t.Execute(); }));
  ASSERT_TRUE(loop.RunUntil([&] { return t.Thread().Parked(); }, std::chrono::seconds(30)))
      << "parked at its first check";
  const int32_t copied = t.cSuccess;
  EXPECT_LT(copied, 50);
  t.Thread().Resume();
  EXPECT_TRUE(loop.RunUntil([&] { return t.Thread().Finished(); }, std::chrono::seconds(60)));
  EXPECT_EQ(t.cSuccess, 50);
}

}  // namespace
}  // namespace mv
