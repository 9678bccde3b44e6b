// The program against hostile remote peers: a server that silent and
// crowding clients cannot lock, and a job whose remote target lies about
// its names.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

#include "engine/dirlist.h"
#include "remote/mvtcp.h"
#include "tests/remote/remote_support.h"
#include "tests/support/childprocess.h"
#include "tests/support/remoteserver.h"
#include "tests/support/tempdir.h"
#include "tests/support/tree.h"

namespace mv {
namespace {

using test::ChildProcess;
using test::TempDir;
using test::CanBind;
using test::ConnectFrom;

// Every file below dir, read whole, for a search of log lines.
std::string AllText(const std::string& dir) {
  std::string all;
  std::error_code ec;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir, ec))
    if (e.is_regular_file()) all += TempDir::Read(e.path().string());
  return all;
}

TEST(RemoteServerProgram, ServesANormalClientWhileSilentClientsHoldEverySlot) {
  TempDir dir;
  dir.Write("shared/a.txt", "a");
  test::RemoteServerInstance instance(MIRAVA_BINARY, dir / "base", dir / "server.txt",
                                     {{"MIRAVA_REMOTE_LIMITS", "connections=4,peraddress=2,idle=60000,greeting=60000"}});
  ASSERT_TRUE(instance.Ready());
  ChildProcess& server = instance.Process();
  const uint16_t p = instance.Port();
  if (!CanBind("127.0.0.2")) GTEST_SKIP() << "no second loopback address to connect from";

  const std::string hello = test::WireLine("Hostile") + test::WireLine(kClientVersion) + test::WireInt(7);
  const std::string greeting = test::WireLine(kServerName) + test::WireLine(kServerVersion);
  auto greeted = [&](TcpSocket& s) { return test::Receive(s, greeting.size()) == greeting; };
  std::vector<TcpSocket> hostile;
  for (const char* from : {"127.0.0.2", "127.0.0.2", "127.0.0.3", "127.0.0.3"}) {
    hostile.push_back(ConnectFrom(from, p));
    hostile.back().SendAll(hello.data(), hello.size());
    ASSERT_TRUE(greeted(hostile.back())) << from;
  }
  // A third one from the same address gets nothing but the end.
  TcpSocket third = ConnectFrom("127.0.0.2", p);
  bool closed = false;
  EXPECT_EQ(test::Receive(third, SIZE_MAX, &closed, std::chrono::seconds(20)), "");
  EXPECT_TRUE(closed);

  TMVIPCLient normal("127.0.0.1", p);
  normal.Connect();
  TTDirList list;
  list.SetRemote(&normal);
  EXPECT_EQ(list.Read(dir / "shared/"), 0);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_FALSE(server.Wait(0).has_value()) << "the server still runs";
  server.Signal(SIGTERM);
  EXPECT_EQ(server.Wait(30000), 0);
}

TEST(RemoteTargetProgram, AMirrorAgainstATargetThatSendsPathsDeletesNothing) {
  TempDir dir;
  test::MakeTree(dir.path(), {{"src/keep.txt", "k"}, {"dst/keep.txt", "k"}, {"dst/extra.txt", "x"},
                              {"victim/a.txt", "v"}, {"victim/sub/b.txt", "v"}});
  const std::string before = test::RenderTree(dir.path(), {"base", "out.txt", "JOB.MVJ"});
  test::HostilePeer peer([&](TcpSocket& s, const ListRequest& request) {
    std::vector<ReplyEntry> entries{{.Attr = 0x10, .Name = ".."}};
    if (request.Path == dir / "dst/")
      entries.insert(entries.end(), {{.Attr = 0x20, .Name = "extra.txt"}, {.Attr = 0x20, .Name = "../victim/a.txt"},
                                     {.Attr = 0x10, .Name = "../victim/sub"}});
    test::HostilePeer::SendReply(s, entries);
  });
  const std::string job = dir.Write("JOB.MVJ", "[job]\r\ndescription=JOB\r\njobtype=0\r\noptions=323\r\n"
                                               "remotetarget=127.0.0.1\r\n[actions]\r\ncount=1\r\nsourcepath=" +
                                                   dir.path() + "src/\r\ntargetpath=" + dir.path() +
                                                   "dst/\r\nsource0=*.*\r\ntarget0=*.*\r\n");
  setenv("MIRAVA_REMOTE_PORT", std::to_string(peer.Port()).c_str(), 1);
  ChildProcess run({MIRAVA_BINARY, "--run-job", job, "--base", dir / "base"}, dir / "out.txt");
  unsetenv("MIRAVA_REMOTE_PORT");
  const std::optional<int> code = run.Wait(60000);
  ASSERT_TRUE(code.has_value());
  EXPECT_LT(*code, 128) << "died by a signal";
  EXPECT_EQ(test::RenderTree(dir.path(), {"base", "out.txt", "JOB.MVJ"}), before);
  EXPECT_GE(peer.Requests(), 1);
  EXPECT_NE(AllText(dir.path()).find("refused: the remote instance sent a name with \"/\""), std::string::npos);
}

}  // namespace
}  // namespace mv
