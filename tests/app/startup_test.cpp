#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <tuple>

#include "app/datadirs.h"
#include "app/mvmain.h"
#include "app/rolelock.h"
#include "app/settings.h"
#include "platform/profile.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using test::TempDir;

bool IsDir(const std::string& p) { return access(p.c_str(), F_OK) == 0; }

TEST(DataDirs, MissingFoldersAreCreatedAndAnUnusableBaseIsReported) {
  TempDir dir;
  const DataDirs d = DeriveDataDirs(dir / "deep/er/base");
  EXPECT_EQ(d.ControlDir, dir / "deep/er/base/CTRL/");
  EXPECT_TRUE(CreateDataDirs(d).empty());
  for (const auto& p : {d.ControlDir, d.LogDir, d.QueueDir, d.JobDir, d.TemplateDir})
    EXPECT_TRUE(IsDir(p)) << p;
  dir.Write("plainfile", "x");
  EXPECT_EQ(CreateDataDirs(DeriveDataDirs(dir / "plainfile/base")).size(), 5u);
}

TEST(Settings, RoundTripAndStoredForm) {
  TempDir dir;
  const std::string file = dir / "MIRAVA0.MVJ";
  ASSERT_TRUE(SaveSettings(file, {.OptionsEnabled = 0xFFCFFFFF | 0x100000, .dspSpeedUnit = 4}));
  const ProgramSettings s = LoadSettings(file);
  EXPECT_EQ(std::tuple(s.OptionsEnabled, s.dspSpeedUnit), std::tuple(0xFFDFFFFFu, 4));
  EXPECT_EQ(ProfileReadString(file, "job", "OptionsEnabled", ""), "-2097153");
}

TEST(Settings, GarbageGivesDefaults) {
  TempDir dir;
  const std::string file =
      dir.Write("MIRAVA0.MVJ", "[job]\nOptionsEnabled=lots\n[misc]\ndspSpeedUnit=\x01\x02\n" +
                                   std::string(1 << 20, 'z') + "\n");
  const ProgramSettings s = LoadSettings(file);
  EXPECT_EQ(std::tuple(s.OptionsEnabled, s.dspSpeedUnit), std::tuple(0xFFFFFFFFu, 0));
}

TEST(RoleLock, SecondHolderOfTheSameRoleFailsAndDeletesNothing) {
  TempDir dir;
  RoleLock first;
  ASSERT_TRUE(first.Acquire(dir.path(), kServerLockName));
  {
    RoleLock second;
    EXPECT_FALSE(second.Acquire(dir.path(), kServerLockName));
    EXPECT_FALSE(second.Held());
  }
  EXPECT_TRUE(RoleLockHeld(dir.path(), kServerLockName)) << "the failed instance must not delete the lock";
  RoleLock controller;
  EXPECT_TRUE(controller.Acquire(dir.path(), kClientLockName)) << "the other role is free";
  first.Release();
  EXPECT_FALSE(IsDir(dir / kServerLockName));
  EXPECT_FALSE(RoleLockHeld(dir.path(), kServerLockName));
}

TEST(RoleLock, LeftoverFileOfACrashedInstanceIsNotALock) {
  TempDir dir;
  dir.Write(kClientLockName, "");
  EXPECT_FALSE(RoleLockHeld(dir.path(), kClientLockName));
  RoleLock lock;
  EXPECT_TRUE(lock.Acquire(dir.path(), kClientLockName));
}

TEST(RoleLock, HeldAcrossProcesses) {
  TempDir dir;
  RoleLock mine;
  ASSERT_TRUE(mine.Acquire(dir.path(), kServerLockName));
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    RoleLock other;
    _exit(other.Acquire(dir.path(), kServerLockName) ? 1 : 0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "another process took the lock";
}

TEST(Core, AnInstanceWithoutItsRoleLockNeverRunsAJobNorWritesAQueueFile) {
  TempDir dir;
  dir.Write("src/a.txt", "a");
  // A queued job, long due.
  const std::string queued = dir.Write(
      "MVQ/0000002A.MVQ", "[job]\r\ndescription=q\r\njobtype=0\r\noptions=257\r\n[schedule]\r\n"
                          "jobID=42\r\nhours=1\r\nnextrun=2\r\n[actions]\r\ncount=1\r\nsourcepath=" +
                              dir / "src/" + "\r\ntargetpath=" + dir / "dst/" +
                              "\r\nsource0=*.*\r\ntarget0=*.*\r\n");
  const std::string before = TempDir::Read(queued);
  MiravaCore first;
  first.Startup({.Base = dir.path()});
  ASSERT_TRUE(first.Lock().Held());
  MiravaCore second;
  second.Startup({.Base = dir.path(), .Words = {"QLOAD"}});
  ASSERT_EQ(second.Jobs().Count(), 1) << "it still shows the queue";
  EXPECT_FALSE(second.JobTimerArmed());
  EXPECT_FALSE(second.JobTimerTick());
  EXPECT_EQ(second.Jobs().JobAt(0)->Thread, nullptr);
  EXPECT_FALSE(second.Queue()->StartJob(*second.Jobs().JobAt(0))) << "not even by hand";
  second.Shutdown();
  EXPECT_EQ(TempDir::Read(queued), before);
  EXPECT_FALSE(IsDir(dir / "dst/a.txt"));
  EXPECT_TRUE(RoleLockHeld(first.Dirs().ControlDir, kServerLockName));
}

}  // namespace
}  // namespace mv
