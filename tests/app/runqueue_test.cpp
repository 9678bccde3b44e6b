#include "app/runqueue.h"

#include <gtest/gtest.h>

#include <new>

#include "app/commandline.h"
#include "engine/copyfile.h"
#include "jobs/jobfile.h"
#include "platform/clock.h"
#include "platform/profile.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using test::TempDir;

constexpr DateTime kNow = 46000.5;

class RunQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetClockForTesting([] { return kNow; });
    dirs = DeriveDataDirs(tmp.path());
    CreateDataDirs(dirs);
    tmp.Write("src/a.txt", "a");
    RunQueueEnv env;
    env.Dirs = dirs;
    env.RunningJobThreads = &running;
    env.ProgramLog = &log;
    env.LogLine = [this](const std::string& l) { lines.push_back(l); };
    env.UserPrompt = &prompt;
    env.ThreadContext.Sync = &sync;
    env.ThreadContext.ProgramLog = &log;
    queue = std::make_unique<RunQueue>(list, std::move(env));
  }
  void TearDown() override {
    EXPECT_TRUE(prompt.Failures().empty()) << testing::PrintToString(prompt.Failures());
    queue->StopAllJobs();
    Drain();
    queue->ReapFinished();
    SetClockForTesting({});
  }

  // A copy job of src/ into dst<n>/, due now, every hour.
  std::unique_ptr<TTFileThreadControl> DueJob(const std::string& name) {
    auto job = std::make_unique<TTFileThreadControl>(name, &log, dirs.QueueDir, dirs.ControlDir,
                                                     nullptr);
    job->AddAction(std::make_unique<TTFileAction>(tmp / "src/", "*.*", tmp / ("dst-" + name + "/"),
                                                  "*.*", 0x101, 0));
    job->Schedule->Hours = 1;
    job->Schedule->NextRun = kNow - 0.01;
    return job;
  }
  // Runs the workers' calls until every started run is reported.
  void Drain() {
    sync.RunUntil([this] { return queue->Running() == 0; }, std::chrono::seconds(60));
  }
  bool Pass() { return queue->Pass(flags, pending); }

  TempDir tmp;
  DataDirs dirs;
  std::atomic<int32_t> running{0};
  TTErrorMsgList log;
  LoopSynchronizer sync;
  JobList list;
  std::unique_ptr<RunQueue> queue;
  uint16_t flags = 0;
  std::string pending;
  std::vector<std::string> lines;
  ScriptedPrompt prompt;
};

TEST_F(RunQueueTest, NineDueJobsStartEightAtOnceInListOrder) {
  for (int i = 0; i < 9; ++i) list.AddJob(DueJob("job" + std::to_string(i)));
  Pass();
  EXPECT_EQ(running.load(), 8);
  for (int i = 0; i < 8; ++i) EXPECT_NE(list.JobAt(i)->Thread, nullptr) << i;
  EXPECT_EQ(list.JobAt(8)->Thread, nullptr) << "the ninth waits for a free slot";
  Drain();
  Pass();
  EXPECT_NE(list.JobAt(8)->Thread, nullptr);
  Drain();
  for (int i = 0; i < 9; ++i) {
    EXPECT_GT(list.JobAt(i)->Schedule->NextRun, kNow) << "next run computed for job " << i;
    EXPECT_EQ(TempDir::Read(tmp / ("dst-job" + std::to_string(i) + "/a.txt")), "a");
  }
}

TEST_F(RunQueueTest, OneShotJobWaitingForASlotIsNotDropped) {
  for (int i = 0; i < 8; ++i) list.AddJob(DueJob("busy" + std::to_string(i)));
  auto job = DueJob("late");
  job->Save(dirs.JobDir + "LATE.MVJ", false);
  pending = dirs.JobDir + "LATE.MVJ";
  Pass();
  ASSERT_EQ(list.Count(), 9) << "all slots busy: the one-shot job waits";
  Drain();
  Pass();
  EXPECT_NE(list.FindJobByName("late")->Thread, nullptr);
}

TEST_F(RunQueueTest, MissingRunJobFileKeepsTheInstanceOpen) {
  pending = dirs.JobDir + "NOPE.MVJ";
  flags = MODE_CLOSE_WHEN_IDLE;
  EXPECT_FALSE(Pass());
  EXPECT_EQ(lines.at(1), "Load failed: " + dirs.JobDir + "NOPE.MVJ");
  EXPECT_EQ(flags & MODE_CLOSE_WHEN_IDLE, 0);
}

TEST_F(RunQueueTest, DuplicateAndDamagedQueueFilesAreRefused) {
  auto a = DueJob("a");
  a->Schedule->Queued = true;
  SaveToQueue(*a);
  // The same job again under another file name, and a damaged file.
  tmp.Write("MVQ/00000999.MVQ", TempDir::Read(a->QueueFileName()));
  tmp.Write("MVQ/BROKEN.MVQ", std::string("\0\1\2", 3));
  prompt.ExpectError("JobID (" + a->IdText() + ") or\rJobname (a)\ralready in use");
  queue->LoadQueue();
  EXPECT_EQ(list.Count(), 1);
  EXPECT_TRUE(prompt.Complete()) << testing::PrintToString(prompt.Failures());
}

TEST_F(RunQueueTest, ARunEndedByAnExceptionIsReportedAndFreesItsSlot) {
  tmp.Write("src/big.txt", std::string(3 * kCopyBufferSize, 'b'));
  SetCopyChunkHookForTesting([](TCopyThread&, int64_t done) {
    if (done >= kCopyBufferSize) throw std::bad_alloc();
  });
  auto job = DueJob("throws");
  job->Schedule->Queued = true;
  TTFileThreadControl* raw = job.get();
  list.AddJob(std::move(job));
  Pass();
  ASSERT_NE(raw->Thread, nullptr);
  ASSERT_TRUE(sync.RunUntil([this] { return queue->Running() == 0; }, std::chrono::seconds(60)))
      << "the run never ended";
  SetCopyChunkHookForTesting({});
  queue->ReapFinished();  // as the next pass does
  EXPECT_EQ(running.load(), 0) << "the slot is free again";
  EXPECT_EQ(raw->tFinished, kNow) << "the results report ran";
  EXPECT_NE(TempDir::Read(raw->QueueFileName()).find("errorcode=" + std::to_string(MC_ABORTED)),
            std::string::npos);
  EXPECT_EQ(raw->Schedule->LastRunComplete, 0) << "an aborted run is not complete";
}

}  // namespace
}  // namespace mv
