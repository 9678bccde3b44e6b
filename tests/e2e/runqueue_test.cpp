// Scheduled and requested runs of the real program, headless, each in its own
// --base folder with real trees.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "app/rolelock.h"
#include "engine/copyfile.h"
#include "engine/copythread.h"
#include "jobs/jobtext.h"
#include "platform/textcase.h"
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
  void TearDown() override {
    for (const char* v : {"MIRAVA_JOB_TIMER_MS", "MIRAVA_HOLD_COPY_AT", "MIRAVA_TRACE_PASSES"}) unsetenv(v);
  }

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
  // An instance whose copies stop one chunk into a file until the run is
  // told to stop; HeldAt() waits until one does.
  std::unique_ptr<ChildProcess> StartHeld(std::vector<std::string> words) {
    setenv("MIRAVA_HOLD_COPY_AT", (std::to_string(kCopyChunkSize) + ":" + (dir / "held")).c_str(), 1);
    auto p = Start(std::move(words));
    unsetenv("MIRAVA_HOLD_COPY_AT");
    return p;
  }
  int64_t HeldAt() {
    if (!WaitFor([&] { return Exists(dir / "held"); }, kTimeoutMs)) return -1;
    return std::stoll(TempDir::Read(dir / "held"));
  }
  // Three chunks, no two alike at the same offset: a hold after the first is
  // inside the file, and a copy resumed at a wrong offset shows.
  static std::string ChunksOf(char seed) {
    std::string s(static_cast<size_t>(3 * kCopyChunkSize), '\0');
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>(seed + i % 251 + i / 65521);
    return s;
  }
  std::string Output() { return TempDir::Read(dir / "out.txt"); }
  std::string ProgramLog() { return TempDir::Read(base + "LOGS/MIRAVA.LOG"); }
  // The program log and every job log of every run, in no particular order.
  std::string AllLogs() {
    std::string all;
    for (const auto& e : std::filesystem::recursive_directory_iterator(base + "LOGS"))
      if (e.is_regular_file()) all += TempDir::Read(e.path().string());
    return all;
  }

  TempDir dir;
  std::string base;
};

TEST_F(HeadlessRunQueue, MissingRunJobFileIsLoggedAndTheInstanceStaysOpen) {
  setenv("MIRAVA_TRACE_PASSES", "1", 1);
  auto p = Start({"RUNJOB=missing", "CLOSE"});
  // A pass that finds no job and no mail and leaves the instance open.
  const std::string idle = " 0 jobs, 0 mails\n";
  ASSERT_TRUE(WaitFor([&] { return Output().find(idle) != std::string::npos; }, kTimeoutMs)) << Output();
  const std::string out = Output();
  const auto loading = out.find("Loading job " + base + "MVJ/MISSING.MVJ");
  const auto failed = out.find("Load failed: " + base + "MVJ/MISSING.MVJ");
  ASSERT_NE(loading, std::string::npos) << out;
  EXPECT_LT(loading, failed);
  EXPECT_LT(failed, out.find(idle)) << "CLOSE no longer applies";
  EXPECT_FALSE(p->Wait(0).has_value());
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
  setenv("MIRAVA_TRACE_PASSES", "1", 1);
  auto normal = Start({"QLOAD"});
  unsetenv("MIRAVA_TRACE_PASSES");
  // Three passes with the controller present, the job due at each: it never starts.
  ASSERT_TRUE(WaitFor([&] { return Output().find("run-queue pass 3:") != std::string::npos; }, kTimeoutMs))
      << Output();
  EXPECT_EQ(ProgramLog().find("JOB START (often)"), std::string::npos) << ProgramLog();
  EXPECT_FALSE(Exists(dir / "often"));
  controller.Signal(SIGTERM);
  EXPECT_EQ(controller.Wait(kTimeoutMs), 0);
  EXPECT_TRUE(WaitFor([&] { return Exists(dir / "often/a.txt"); }, kTimeoutMs))
      << "the job starts again once the controller is gone";
  normal->Signal(SIGTERM);
  EXPECT_EQ(normal->Wait(kTimeoutMs), 0);
}

TEST_F(HeadlessRunQueue, KilledDuringACopyLosesNoQueuedJobAndLeavesTheOldTarget) {
  const std::string fresh = ChunksOf('n'), old = ChunksOf('o');
  dir.Write("src/big.bin", fresh);
  dir.Write("bigdst/big.bin", old);
  std::filesystem::last_write_time(dir / "bigdst/big.bin",
                                   std::filesystem::last_write_time(dir / "src/big.bin") - std::chrono::hours(1));
  dir.Write("base/MVQ/00000301.MVQ", JobText("big", "bigdst", "jobID=769\r\nhours=1\r\nnextrun=1\r\n"));
  auto p = StartHeld({"QLOAD"});
  const int64_t held = HeldAt();
  ASSERT_GE(held, kCopyChunkSize) << Output();
  ASSERT_LT(held, static_cast<int64_t>(fresh.size()));
  p->Signal(SIGKILL);
  EXPECT_EQ(p->Wait(kTimeoutMs), 128 + SIGKILL);
  EXPECT_TRUE(Exists(base + "MVQ/00000301.MVQ")) << "the queue file survives the kill";
  EXPECT_TRUE(TempDir::Read(dir / "bigdst/big.bin") == old) << "killed inside the copy: the old content, whole";
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir / "bigdst")) {
    const std::string name = e.path().filename().string();
    if (e.is_directory() || name == "big.bin" || IsOwnTempFile(name)) continue;
    const std::string rel = std::filesystem::relative(e.path(), dir / "bigdst").string();
    EXPECT_EQ(TempDir::Read(e.path().string()), TempDir::Read(dir / ("src/" + rel))) << rel << " is half written";
  }
  // The restarted instance finishes the job.
  auto again = Start({"QLOAD"});
  EXPECT_TRUE(WaitFor([&] { return ProgramLog().find("JOB FINISHED (big)") != std::string::npos; }, kTimeoutMs))
      << Output();
  again->Signal(SIGTERM);
  EXPECT_EQ(again->Wait(kTimeoutMs), 0);
  EXPECT_TRUE(TempDir::Read(dir / "bigdst/big.bin") == fresh);
  EXPECT_EQ(TempDir::Read(dir / "bigdst/sub/b.txt"), "beta");
}

TEST_F(HeadlessRunQueue, StoppedRunRecordsWhereItStoppedAndQloadFinishesIt) {
  const std::string content = ChunksOf('r');
  dir.Write("src/big.bin", content);
  // Resume options on (0x300000), overwrite older, to the target.
  std::string job = JobText("resumable", "rdst", "jobID=1025\r\nhours=1\r\nnextrun=1\r\n");
  job.replace(job.find("options=259"), 11, "options=3145987");
  dir.Write("base/MVQ/00000401.MVQ", job);
  auto p = StartHeld({"QLOAD"});
  const int64_t held = HeldAt();
  ASSERT_GE(held, kCopyChunkSize) << Output();
  ASSERT_LT(held, static_cast<int64_t>(content.size()));
  p->Signal(SIGTERM);
  EXPECT_EQ(p->Wait(kTimeoutMs), 0);
  // Stopped inside the file: the queue file says where, the partial copy is kept.
  const std::string queued = TempDir::Read(base + "MVQ/00000401.MVQ");
  EXPECT_NE(queued.find("terminated=1"), std::string::npos) << queued;
  EXPECT_NE(queued.find("resumepath=" + UpperCase(dir.path() + "src/")), std::string::npos) << queued;
  EXPECT_NE(queued.find("resumefile=big.bin"), std::string::npos) << queued;
  EXPECT_NE(queued.find("resumefilepos=" + std::to_string(held)), std::string::npos) << queued;
  const std::string partial = dir / ("rdst/" + ResumeFileName(1025));
  EXPECT_TRUE(TempDir::Read(partial) == content.substr(0, static_cast<size_t>(held)));
  EXPECT_FALSE(Exists(dir / "rdst/big.bin"));

  auto again = Start({"QLOAD"});
  EXPECT_TRUE(WaitFor([&] { return TempDir::Read(base + "MVQ/00000401.MVQ").find("terminated=0") != std::string::npos; },
                      kTimeoutMs))
      << Output();
  again->Signal(SIGTERM);
  EXPECT_EQ(again->Wait(kTimeoutMs), 0);
  EXPECT_NE(AllLogs().find("File copy resumed at " + GroupedDecimal(held)), std::string::npos) << AllLogs();
  EXPECT_TRUE(TempDir::Read(dir / "rdst/big.bin") == content);
  EXPECT_FALSE(Exists(partial));
  EXPECT_EQ(TempDir::Read(dir / "rdst/a.txt"), "alpha");
}

}  // namespace
}  // namespace mv
