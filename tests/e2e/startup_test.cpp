// The real program started headless: folders, role lock, log lines, shutdown.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "app/rolelock.h"
#include "tests/support/childprocess.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using test::ChildProcess;
using test::TempDir;
using test::WaitFor;

constexpr int kTimeoutMs = 30000;

bool Exists(const std::string& p) { return access(p.c_str(), F_OK) == 0; }

TEST(HeadlessStartup, CloseRunsIdleAndEndsCleanly) {
  TempDir dir;
  const std::string base = dir / "base/";
  ChildProcess p({MIRAVA_BINARY, "--headless", "--base", base, "CLOSE"}, dir / "out.txt");
  ASSERT_TRUE(p.started());
  EXPECT_EQ(p.Wait(kTimeoutMs), 0);
  for (const char* sub : {"CTRL", "LOGS", "MVQ", "MVJ", "MVT"}) EXPECT_TRUE(Exists(base + sub)) << sub;
  EXPECT_NE(TempDir::Read(dir / "out.txt").find("NetWare interface not available\n"),
            std::string::npos);
  EXPECT_FALSE(Exists(base + "CTRL/MVSERVER.MVF")) << "the lock file is removed at shutdown";
}

TEST(HeadlessStartup, SignalsRunTheNormalShutdown) {
  for (int sig : {SIGTERM, SIGINT}) {
    TempDir dir;
    const std::string base = dir.path();
    ChildProcess p({MIRAVA_BINARY, "--headless", "--base", base}, dir / "out.txt");
    ASSERT_TRUE(WaitFor([&] { return RoleLockHeld(base + "CTRL/", kServerLockName); }, kTimeoutMs));
    p.Signal(sig);
    EXPECT_EQ(p.Wait(kTimeoutMs), 0) << "signal " << sig;
    EXPECT_FALSE(Exists(base + "CTRL/MVSERVER.MVF"));
  }
}

TEST(HeadlessStartup, SecondInstanceOfTheSameRoleClosesAndLeavesTheFirstAlone) {
  TempDir dir;
  const std::string base = dir.path();
  ChildProcess first({MIRAVA_BINARY, "--headless", "--base", base}, dir / "first.txt");
  ASSERT_TRUE(WaitFor([&] { return RoleLockHeld(base + "CTRL/", kServerLockName); }, kTimeoutMs));
  ChildProcess second({MIRAVA_BINARY, "--headless", "--base", base}, dir / "second.txt");
  EXPECT_EQ(second.Wait(kTimeoutMs), 0) << "the second instance closes by itself";
  EXPECT_NE(TempDir::Read(dir / "second.txt").find("NetWare interface not available"),
            std::string::npos);
  EXPECT_TRUE(RoleLockHeld(base + "CTRL/", kServerLockName)) << "the first keeps its lock";
  EXPECT_FALSE(first.Wait(0).has_value()) << "the first instance still runs";

  // A controller takes the other role beside it.
  ChildProcess controller({MIRAVA_BINARY, "--headless", "--base", base, "CONTROL"},
                          dir / "controller.txt");
  EXPECT_TRUE(WaitFor([&] { return RoleLockHeld(base + "CTRL/", kClientLockName); }, kTimeoutMs))
      << TempDir::Read(dir / "controller.txt");
  controller.Signal(SIGTERM);
  EXPECT_EQ(controller.Wait(kTimeoutMs), 0);
  first.Signal(SIGTERM);
  EXPECT_EQ(first.Wait(kTimeoutMs), 0);
}

TEST(HeadlessStartup, UnwritableDataFolderIsReportedAndTheProgramStillRuns) {
  TempDir dir;
  dir.Write("plain", "x");
  ChildProcess p({MIRAVA_BINARY, "--headless", "--base", dir / "plain/base", "CLOSE"},
                 dir / "out.txt");
  EXPECT_EQ(p.Wait(kTimeoutMs), 0);
  const std::string out = TempDir::Read(dir / "out.txt");
  EXPECT_NE(out.find("Cannot write to data directory " + dir.path() + "plain/base/CTRL/"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("NetWare interface not available"), std::string::npos);
}

}  // namespace
}  // namespace mv
