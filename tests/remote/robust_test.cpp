// Broken, hostile and silent peers on both sides of the remote protocol.
#include <gtest/gtest.h>

#include <chrono>

#include "remote/mvtcp.h"
#include "tests/remote/remote_support.h"

namespace mv {
namespace {

using namespace std::chrono_literals;
using namespace test;

const std::string kGreeting = WireLine(kServerName) + WireLine(kServerVersion);
constexpr int32_t kGone = kDirListNotConnected;

// A server that greets, takes the client's greeting and a listing request of "/tmp", sends `reply` and closes.
ScriptedPeer FakeServer(std::string reply) {
  return ScriptedPeer([reply = std::move(reply)](TcpSocket& s) {
    s.SendAll(kGreeting.data(), kGreeting.size());
    Receive(s, WireLine(kClientName).size() + 10 + 4 + 4 + 6 + 5 + 4);
    s.SendAll(reply.data(), reply.size());
  });
}

TEST(RemoteClient, BrokenRepliesFailTheRequestAndDropTheConnection) {
  const std::string record = WireInt(0x5A8C6000) + WireInt(3) + WireInt(0x20);
  struct Case { const char* what; std::string reply; int32_t result; };
  const Case cases[] = {
      {"error status", WireInt(-5) + WireInt(65535), -5},
      {"two records", WireInt(2) + record + WireLine("a") + record + WireLine("b") + WireInt(65535), 0},
      {"huge count", WireInt(2'000'000'000) + record + WireLine("a"), kGone},
      {"10 MB name", WireInt(1) + record + WireLine(std::string(10 << 20, 'n')) + WireInt(65535), kGone},
      {"no line end", WireInt(1) + record + "abc", kGone},
      {"closed mid-record", WireInt(2) + record + WireLine("a") + WireInt(7), kGone},
  };
  for (const Case& c : cases) {
    ScriptedPeer peer = FakeServer(c.reply);
    TMVIPCLient client("127.0.0.1", peer.Port());
    client.SetTimeout(5s), client.Connect();
    ASSERT_TRUE(client.Connected()) << c.what;
    std::vector<FindData> found;
    EXPECT_EQ(client.ReadRemote("/tmp", "*.*", -2, found), c.result) << c.what;
    EXPECT_EQ(client.Connected(), c.result != kGone) << c.what;
    EXPECT_EQ(found.size(), c.result == 0 ? 2u : 0u) << c.what;
  }
}

TEST(RemoteClient, GivesUpOnAServerThatNeverAnswers) {
  ScriptedPeer mute([](TcpSocket& s) { Receive(s, SIZE_MAX, nullptr, 30s); });
  TMVIPCLient client("127.0.0.1", mute.Port());
  const auto start = std::chrono::steady_clock::now();
  std::vector<FindData> found;
  client.SetTimeout(200ms), client.Connect();
  EXPECT_EQ(client.ReadRemote("/tmp", "*.*", 0, found), kGone);
  EXPECT_FALSE(client.Connected());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

TEST(RemoteServer, DropsBrokenRequestsAndKeepsServing) {
  TMVIPServer server;
  ASSERT_TRUE(server.Start("", 0));
  const std::string hello = WireLine("Bad") + WireLine(kClientVersion) + WireInt(9);
  const std::string cases[] = {
      WireLine(std::string(10 << 20, 'n')),                       // 10 MB client name
      hello + WireInt(1) + WireLine(std::string(10 << 20, 'p')),  // 10 MB path
      hello + WireInt(17) + std::string(100 << 10, 'x'),          // no line end, too long
      hello + WireInt(1) + WireLine("/tmp") + "*.",               // stalls mid-request
  };
  for (const std::string& bytes : cases) {
    if (bytes.back() == '.') server.SetTimeout(300ms);
    TcpSocket peer;
    peer.SetTimeout(10s);
    ASSERT_TRUE(peer.Connect("127.0.0.1", server.Port()));
    peer.SendAll(bytes.data(), bytes.size());
    bool closed = false;
    EXPECT_EQ(Receive(peer, SIZE_MAX, &closed), kGreeting);
    EXPECT_TRUE(closed) << bytes.size();  // long before the server's own time-out
  }
  TMVIPCLient client("127.0.0.1", server.Port());
  std::vector<FindData> found;
  client.Connect();
  EXPECT_TRUE(client.ReadRemote("/", "*.*", 0, found) == 0 && !found.empty());
  EXPECT_TRUE(WaitFor([&] { return server.ClientCount() == 1; }, 10000));
}

}  // namespace
}  // namespace mv
