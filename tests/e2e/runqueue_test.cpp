// Scheduled and requested runs of the real program, headless, each in its own
// --base folder with real trees.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>

#include "app/rolelock.h"
#include "tests/support/childprocess.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using test::ChildProcess;
using test::TempDir;
using test::WaitFor;

constexpr int kTimeoutMs = 60000;

bool Exists(const std::string& p) { return std::filesystem::exists(p); }

class HeadlessRunQueue : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("MIRAVA_JOB_TIMER_MS", "200", 1);
    base = dir / "base/";
    for (const char* sub : {"MVJ", "MVQ", "CTRL", "LOGS"}) std::filesystem::create_directories(base + sub);
    dir.Write("src/a.txt", "alpha");
    dir.Write("src/sub/b.txt", "beta");
  }
  void TearDown() override { unsetenv("MIRAVA_JOB_TIMER_MS"); }

  // A COPY job of src/ into the named target folder.
  std::string JobText(const std::string& name, const std::string& target,
                      const std::string& schedule = "") {
    return "[job]\r\ndescription=" + name + "\r\njobtype=0\r\noptions=259\r\n[schedule]\r\n" +
           schedule + "[actions]\r\ncount=1\r\nsourcepath=" + dir.path() + "src/\r\ntargetpath=" +
           dir.path() + target + "/\r\nsource0=*.*\r\ntarget0=*.*\r\n";
  }
  std::unique_ptr<ChildProcess> Start(std::vector<std::string> words) {
    std::vector<std::string> argv{MIRAVA_BINARY, "--headless", "--base", base};
    argv.insert(argv.end(), words.begin(), words.end());
    return std::make_unique<ChildProcess>(argv, dir / "out.txt");
  }
  std::string Output() { return TempDir::Read(dir / "out.txt"); }

  TempDir dir;
  std::string base;
};

TEST_F(HeadlessRunQueue, RunJobWithCloseCopiesTheTreeWritesTheLogsAndExits) {
  dir.Write("base/MVJ/NIGHTLY.MVJ", JobText("nightly", "dst"));
  auto p = Start({"RUNJOB=nightly", "CLOSE"});
  EXPECT_EQ(p->Wait(kTimeoutMs), 0) << Output();
  EXPECT_EQ(TempDir::Read(dir / "dst/a.txt"), "alpha");
  EXPECT_EQ(TempDir::Read(dir / "dst/sub/b.txt"), "beta");
  const std::string out = Output();
  EXPECT_NE(out.find("Loading job " + base + "MVJ/NIGHTLY.MVJ"), std::string::npos) << out;
  EXPECT_NE(out.find("Added to joblist"), std::string::npos);
  const std::string programLog = TempDir::Read(base + "LOGS/MIRAVA.LOG");
  EXPECT_NE(programLog.find("JOB START (nightly)"), std::string::npos) << programLog;
  EXPECT_NE(programLog.find("JOB FINISHED (nightly)"), std::string::npos);
  // One job folder with the job log and the attachment log.
  int folders = 0;
  for (const auto& e : std::filesystem::directory_iterator(base + "LOGS")) {
    if (!e.is_directory()) continue;
    ++folders;
    const std::string id = e.path().filename().string();
    const std::string jobLog = TempDir::Read(e.path().string() + "/" + id + ".LOG");
    EXPECT_NE(jobLog.find("Total files : "), std::string::npos) << jobLog;
    EXPECT_TRUE(Exists(e.path().string() + "/ATT" + id + ".LOG"));
  }
  EXPECT_EQ(folders, 1);
}

TEST_F(HeadlessRunQueue, MissingRunJobFileIsLoggedAndTheInstanceStaysOpen) {
  auto p = Start({"RUNJOB=missing", "CLOSE"});
  ASSERT_TRUE(WaitFor([&] { return Output().find("Load failed: ") != std::string::npos; },
                      kTimeoutMs))
      << Output();
  EXPECT_NE(Output().find("Loading job " + base + "MVJ/MISSING.MVJ"), std::string::npos);
  EXPECT_FALSE(p->Wait(1000).has_value()) << "CLOSE no longer applies";
  p->Signal(SIGTERM);
  EXPECT_EQ(p->Wait(kTimeoutMs), 0);
}

TEST_F(HeadlessRunQueue, ChainOfThreeJobsRunsInOrder) {
  // first -> second -> third by their follow-up lists; only the first is due.
  dir.Write("base/MVQ/00000101.MVQ",
            JobText("first", "one", "jobID=257\r\nhours=1\r\nnextrun=1\r\n"
                                   "runaftersuccess_enabled=1\r\nrunaftersuccess=second\r\n"));
  dir.Write("base/MVQ/00000102.MVQ",
            JobText("second", "two", "jobID=258\r\nrunaftersuccess_enabled=1\r\n"
                                    "runaftersuccess=third\r\n"));
  dir.Write("base/MVQ/00000103.MVQ", JobText("third", "three", "jobID=259\r\n"));
  auto p = Start({"QLOAD"});
  ASSERT_TRUE(WaitFor([&] { return Exists(dir / "three/a.txt"); }, kTimeoutMs)) << Output();
  const std::string out = Output();
  const auto second = out.find("trigger execution of second");
  const auto third = out.find("trigger execution of third");
  ASSERT_NE(second, std::string::npos) << out;
  ASSERT_NE(third, std::string::npos) << out;
  EXPECT_LT(second, third);
  p->Signal(SIGTERM);
  EXPECT_EQ(p->Wait(kTimeoutMs), 0);
}

TEST_F(HeadlessRunQueue, ControllerHoldsTheJobsOfTheNormalInstance) {
  dir.Write("base/MVQ/00000201.MVQ", JobText("often", "often", "jobID=513\r\nminutes=5\r\nnextrun=1\r\n"));
  ChildProcess controller({MIRAVA_BINARY, "--headless", "--base", base, "CONTROL"});
  ASSERT_TRUE(WaitFor([&] { return RoleLockHeld(base + "CTRL/", kClientLockName); }, kTimeoutMs));
  auto normal = Start({"QLOAD"});
  ASSERT_TRUE(WaitFor([&] { return RoleLockHeld(base + "CTRL/", kServerLockName); }, kTimeoutMs));
  // Several passes with the controller present: the due job never completes a run.
  ASSERT_TRUE(WaitFor([&] { return Output().find("NetWare interface") != std::string::npos; },
                      kTimeoutMs));
  EXPECT_FALSE(WaitFor([&] { return Exists(dir / "often/a.txt"); }, 2000));
  controller.Signal(SIGTERM);
  EXPECT_EQ(controller.Wait(kTimeoutMs), 0);
  EXPECT_TRUE(WaitFor([&] { return Exists(dir / "often/a.txt"); }, kTimeoutMs))
      << "the job starts again once the controller is gone";
  normal->Signal(SIGTERM);
  EXPECT_EQ(normal->Wait(kTimeoutMs), 0);
}

TEST_F(HeadlessRunQueue, KilledDuringARunLosesNoQueuedJobAndLeavesTargetsWhole) {
  // A tree big enough that the kill lands during the copy.
  for (int i = 0; i < 40; ++i) dir.Write("src/big" + std::to_string(i) + ".bin", std::string(1 << 20, char('a' + i % 26)));
  dir.Write("base/MVQ/00000301.MVQ", JobText("big", "bigdst", "jobID=769\r\nhours=1\r\nnextrun=1\r\n"));
  auto p = Start({"QLOAD"});
  ASSERT_TRUE(WaitFor([&] { return Exists(dir / "bigdst"); }, kTimeoutMs));
  p->Signal(SIGKILL);
  p->Wait(kTimeoutMs);
  EXPECT_TRUE(Exists(base + "MVQ/00000301.MVQ")) << "the queue file survives the kill";
  for (const auto& e : std::filesystem::directory_iterator(dir / "bigdst")) {
    const std::string name = e.path().filename().string();
    if (name.rfind("~MVS", 0) == 0) continue;  // our own work files
    const std::string got = TempDir::Read(e.path().string());
    EXPECT_EQ(got, TempDir::Read(dir / ("src/" + name))) << name << " is half written";
  }
  // The restarted instance finishes the job.
  auto again = Start({"QLOAD"});
  EXPECT_TRUE(WaitFor([&] { return Exists(dir / "bigdst/big39.bin"); }, kTimeoutMs)) << Output();
  again->Signal(SIGTERM);
  EXPECT_EQ(again->Wait(kTimeoutMs), 0);
  EXPECT_EQ(TempDir::Read(dir / "bigdst/big39.bin"), TempDir::Read(dir / "src/big39.bin"));
}

TEST_F(HeadlessRunQueue, StoppedRunRecordsWhereItStoppedAndQloadFinishesIt) {
  for (int i = 0; i < 60; ++i)
    dir.Write("src/f" + std::to_string(100 + i) + ".bin", std::string(1 << 20, char('a' + i % 26)));
  // Resume options on (0x300000), overwrite older, to the target.
  std::string job = JobText("resumable", "rdst", "jobID=1025\r\nhours=1\r\nnextrun=1\r\n");
  job.replace(job.find("options=259"), 11, "options=3145987");
  dir.Write("base/MVQ/00000401.MVQ", job);
  auto p = Start({"QLOAD"});
  // Copying has begun: a file is in place or the second work copy of a batch is being written.
  ASSERT_TRUE(WaitFor([&] { return Exists(dir / "rdst/f101.bin") || Exists(dir / "rdst/~MVSW2.MVF"); }, kTimeoutMs))
      << Output();
  p->Signal(SIGTERM);
  EXPECT_EQ(p->Wait(kTimeoutMs), 0);
  const std::string queued = TempDir::Read(base + "MVQ/00000401.MVQ");
  if (!Exists(dir / "rdst/f159.bin")) {
    // Stopped in the middle: the queue file says where.
    EXPECT_NE(queued.find("terminated=1"), std::string::npos) << queued;
    EXPECT_NE(queued.find("resumepath="), std::string::npos);
  }
  auto again = Start({"QLOAD"});
  EXPECT_TRUE(WaitFor([&] { return TempDir::Read(base + "MVQ/00000401.MVQ").find("terminated=0") != std::string::npos; },
                      kTimeoutMs))
      << Output();
  again->Signal(SIGTERM);
  EXPECT_EQ(again->Wait(kTimeoutMs), 0);
  for (int i = 0; i < 60; ++i) {
    const std::string name = "f" + std::to_string(100 + i) + ".bin";
    EXPECT_EQ(TempDir::Read(dir / ("rdst/" + name)), TempDir::Read(dir / ("src/" + name))) << name;
  }
}

}  // namespace
}  // namespace mv
