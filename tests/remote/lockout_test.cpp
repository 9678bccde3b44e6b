// Peers that trickle or stay silent: neither side can be held for ever, and
// the server keeps serving a normal client while they stay. Crowding peers
// meet the real program in e2e/remote_hostile_test.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>

#include "remote/mvtcp.h"
#include "tests/remote/remote_support.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using namespace std::chrono_literals;
using namespace test;

const std::string kGreeting = WireLine(kServerName) + WireLine(kServerVersion);
const std::string kHello = WireLine("Hostile") + WireLine(kClientVersion) + WireInt(7);

// The server has closed the connection: what it sent first, then the end.
bool ClosedAfter(TcpSocket& s, const std::string& first) {
  bool closed = false;
  return Receive(s, SIZE_MAX, &closed, 20s) == first && closed;
}

TEST(RemoteClient, GivesUpOnAServerThatTrickles) {
  std::atomic<bool> cut{false};
  std::atomic<int> sent{0};
  ScriptedPeer peer([&](TcpSocket& s) {
    s.SendAll(kGreeting.data(), kGreeting.size());
    Receive(s, WireLine(kClientName).size() + 10 + 4 + 4 + 6 + 5 + 4);
    // A reply of 1,000 records, one byte at a time: every byte in time for
    // the time-out of a receive, the whole far too slow.
    const std::string reply = WireInt(1000) + std::string(100'000, 'x');
    for (char c : reply) {
      if (!s.SendAll(&c, 1)) break;
      ++sent;
      std::this_thread::sleep_for(20ms);
    }
    cut = true;
  });
  TMVIPCLient client("127.0.0.1", peer.Port());
  client.SetTimeout(400ms), client.Connect();
  ASSERT_TRUE(client.Connected());
  std::vector<FindData> found;
  EXPECT_EQ(client.ReadRemote("/tmp", "*.*", 0, found), kDirListNotConnected);
  EXPECT_FALSE(client.Connected());
  EXPECT_TRUE(WaitFor([&] { return cut.load(); }, 10000));
  EXPECT_LT(sent.load(), 10'000);
}

class Lockout : public ::testing::Test {
 protected:
  void Start(RemoteServerLimits limits) {
    server.SetLimits(limits);
    ASSERT_TRUE(server.Start("", 0));
    if (!CanBind("127.0.0.2")) GTEST_SKIP() << "no second loopback address to connect from";
  }
  // A greeted client that then says nothing.
  TcpSocket Silent(const std::string& from) {
    TcpSocket s = ConnectFrom(from, server.Port());
    s.SendAll(kHello.data(), kHello.size());
    EXPECT_EQ(Receive(s, kGreeting.size()), kGreeting);
    return s;
  }
  TempDir dir;
  TMVIPServer server;
};

TEST_F(Lockout, IdleAndDrippingClientsAreDroppedAndAJobsClientComesBack) {
  Start({.Timeout = 20s, .GreetingLimit = 300ms, .IdleLimit = 300ms, .MaxConnections = 8, .MaxPerAddress = 4});
  dir.Write("a.txt", "a"), dir.Write("b.dat", "b");
  TcpSocket silent = Silent("127.0.0.2");
  std::atomic<int> dripped{0};
  std::thread dripper([&] {
    TcpSocket s = ConnectFrom("127.0.0.3", server.Port());
    for (char c : kHello + std::string(1000, 'x')) {
      if (!s.SendAll(&c, 1)) return;
      ++dripped;
      std::this_thread::sleep_for(20ms);
    }
  });
  TMVIPCLient normal("127.0.0.1", server.Port());
  TTDirList list;
  list.SetRemote(&normal);
  normal.Connect();
  ASSERT_EQ(list.AssignFilter(TTDirFilter("*.TXT", "", "", "", 8)), 0);
  ASSERT_EQ(list.Read(dir.path()), 0);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_TRUE(ClosedAfter(silent, ""));
  dripper.join();
  EXPECT_LT(dripped.load(), static_cast<int>(kHello.size()) + 1000);
  // The job's client was dropped as idle too; its next listing connects
  // again and keeps its filter.
  ASSERT_TRUE(WaitFor([&] { return server.ClientCount() == 0; }, 10000));
  ASSERT_EQ(list.Read(dir.path()), 0);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_TRUE(normal.Connected());
}

}  // namespace
}  // namespace mv
