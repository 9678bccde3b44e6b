// A job whose target side is a remote instance lists it through that
// instance and gives the same tree as a local run.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "tests/support/childprocess.h"
#include "tests/support/remoteserver.h"
#include "tests/support/tempdir.h"
#include "tests/support/tree.h"

namespace mv {
namespace {

using test::ChildProcess;
using test::TempDir;

std::string JobFile(const TempDir& dir, const std::string& name, const std::string& target,
                    const std::string& remoteTarget) {
  return dir.Write(name + ".MVJ", "[job]\r\ndescription=" + name + "\r\njobtype=0\r\noptions=259\r\n"
                                  "remotetarget=" + remoteTarget + "\r\n[actions]\r\ncount=1\r\nsourcepath=" +
                                      dir.path() + "src/\r\ntargetpath=" + dir.path() + target +
                                      "/\r\nsource0=*.*\r\ntarget0=*.*\r\n");
}

TEST(RemoteTarget, RunListsTheTargetThroughTheServerAndGivesTheSameTree) {
  TempDir dir;
  test::MakeTree(dir / "src/", {{"a.txt", "alpha"}, {"sub/b.txt", "beta"}, {"sub/deeper/c.txt", "gamma"}});
  // An older copy of one file on both targets, so the listing decides something.
  test::MakeTree(dir / "local/", {{"a.txt", "old", test::kTreeTime - 100}});
  test::MakeTree(dir / "remote/", {{"a.txt", "old", test::kTreeTime - 100}});

  test::RemoteServerInstance server(MIRAVA_BINARY, dir / "serverbase", dir / "server.txt");
  ASSERT_TRUE(server.Ready());
  const std::string port = std::to_string(server.Port());
  setenv("MIRAVA_REMOTE_PORT", port.c_str(), 1);

  ChildProcess local({MIRAVA_BINARY, "--run-job", JobFile(dir, "LOCAL", "local", ""), "--base", dir / "base"},
                     dir / "local.txt");
  EXPECT_EQ(local.Wait(60000), 0) << TempDir::Read(dir / "local.txt");
  ChildProcess remote({MIRAVA_BINARY, "--run-job", JobFile(dir, "REMOTE", "remote", "127.0.0.1"), "--base",
                       dir / "base"},
                      dir / "remote.txt");
  EXPECT_EQ(remote.Wait(60000), 0) << TempDir::Read(dir / "remote.txt");
  unsetenv("MIRAVA_REMOTE_PORT");

  EXPECT_EQ(test::RenderTree(dir / "remote/"), test::RenderTree(dir / "local/"));
  EXPECT_EQ(TempDir::Read(dir / "remote/sub/deeper/c.txt"), "gamma");
  const std::string served = server.Output();
  EXPECT_NE(served.find("REQUEST 00000001"), std::string::npos) << served;

  server.Process().Signal(SIGTERM);
  EXPECT_EQ(server.Process().Wait(30000), 0);
}

}  // namespace
}  // namespace mv
