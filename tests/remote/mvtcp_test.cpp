#include "remote/mvtcp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "platform/datetext.h"
#include "platform/datetime.h"
#include "platform/fileio.h"
#include "tests/remote/remote_support.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using Names = std::vector<std::string>;
using test::WireInt;
using test::WireLine;

const uint32_t kDos = DateTimeToDos(EncodeDateTime({2021, 3, 5, 14, 30, 0}));

Names NamesOf(const TTDirList& list) {
  Names out;
  for (int32_t i = 0; i < list.Count(); ++i) out.push_back(list[i].Name);
  return out;
}

class RemoteTest : public ::testing::Test {
 protected:
  RemoteTest() {
    SetClockForTesting([] { return EncodeDateTime({2024, 6, 1, 8, 5, 9}); });
    SetDateTimeFormatsForTesting("dd.mm.yyyy", "hh:nn:ss");
    for (const char* name : {"a.txt", "b.dat"}) SetFileDosTime(dir.Write(name, "data"), kDos);
    dir.Write("sub/inner.txt", "x");
    EXPECT_TRUE(server.Start("", 0, [this](const std::string& line) {
      std::lock_guard lock(mutex);
      log.push_back(line);
    }));
  }
  ~RemoteTest() override {
    server.Stop();
    SetClockForTesting(nullptr);
    SetDateTimeFormatsForTesting("", "");
  }

  std::unique_ptr<TMVIPCLient> Client(const std::string& version = kClientVersion) {
    auto c = std::make_unique<TMVIPCLient>("127.0.0.1", server.Port());
    c->ClientVersion = version;
    c->Connect();
    return c;
  }
  Names Log() {
    std::lock_guard lock(mutex);
    return log;
  }
  bool WaitDisconnects(long n) {
    return test::WaitFor([&] {
      const Names lines = Log();
      return std::count_if(lines.begin(), lines.end(), [](auto& l) { return l.ends_with("]: disconnected"); }) == n;
    });
  }

  test::TempDir dir;
  TMVIPServer server;
  std::mutex mutex;
  Names log;
};

// The hint carries 32 bits, so only a signature that is its own sign
// extension can match: the test looks for a single file that gives one.
TEST_F(RemoteTest, HintZeroListsAllAndMatchingHintOnlyFolders) {
  test::TempDir one;
  one.Write("sub/x", "");
  TTDirList local;
  std::string name;
  for (int i = 0; local.Signature() == 0 || (local.Signature() >> 31) != 0x1FFFFFFFFull; ++i) {
    ASSERT_LT(i, 64);
    if (!name.empty()) std::remove((one / name).c_str());
    SetFileDosTime(one.Write(name = "f" + std::to_string(i), "abc"), kDos);
    ASSERT_EQ(local.Read(one.path()), 0);
  }
  auto client = Client();
  TTDirList remote;
  remote.SetRemote(client.get());
  ASSERT_EQ(remote.Read(one.path()), 0);
  EXPECT_EQ(NamesOf(remote), NamesOf(local));
  EXPECT_EQ(remote.Signature(), local.Signature());
  EXPECT_EQ(remote.FileCount(), 1);
  remote.RemoteHint = local.Signature();
  ASSERT_EQ(remote.Read(one.path()), 0);
  EXPECT_EQ(NamesOf(remote), (Names{"..", "sub"}));
  EXPECT_EQ(remote.DirCount(), local.DirCount());
  remote.RemoteHint = local.Signature() + 1;
  ASSERT_EQ(remote.Read(one.path()), 0);
  EXPECT_EQ(remote.Count(), local.Count());
}

TEST_F(RemoteTest, FilterHoldsForItsConnectionOnlyAndErrorsTravel) {
  auto client = Client(), other = Client();
  TTDirList remote;
  remote.SetRemote(client.get());
  TTDirFilter filter;
  filter.IncludeFileNames = "*.TXT";
  ASSERT_EQ(remote.AssignFilter(filter), 0);
  ASSERT_EQ(remote.Read(dir.path()), 0);
  EXPECT_EQ(NamesOf(remote), (Names{"..", "a.txt", "sub"}));
  remote.SetRemote(other.get());
  ASSERT_EQ(remote.Read(dir.path()), 0);
  EXPECT_EQ(NamesOf(remote), (Names{"..", "a.txt", "b.dat", "sub"}));
  TTDirList local;
  EXPECT_EQ(remote.Read(dir / "missing"), local.Read(dir / "missing"));
  EXPECT_LT(local.LastResult(), 0);
}

TEST_F(RemoteTest, RefusesClientsBelowTheMinimumVersion) {
  auto client = Client("00005030");
  std::vector<FindData> found;
  EXPECT_EQ(client->ReadRemote(dir.path(), "*.*", 0, found), kDirListNotConnected);
  ASSERT_TRUE(WaitDisconnects(1));
  const std::string head = "01.06.2024 08:05:09 [][" + test::Hex4(client->ClientNumber()) + "]: ";
  EXPECT_EQ(Log(), (Names{head + "Mirava Client 0.503 establish connection...",
                          head + "minimum Version required=00005031", head + "disconnected"}));
}

// Request 1 on an empty folder (count 1: ".."), request 17, an unknown code.
TEST_F(RemoteTest, WireBytesOfAWholeSession) {
  const std::string empty = dir / "empty/";
  ASSERT_EQ(CreateDirectory(empty), 0u);
  SetFileDosTime(dir.path(), kDos);  // the time ".." shows
  TcpSocket peer;
  peer.SetTimeout(std::chrono::seconds(10));
  ASSERT_TRUE(peer.Connect("127.0.0.1", server.Port()));
  EXPECT_EQ(test::Receive(peer, 31), "Mirava Server 0.503\r\n00005030\r\n");
  const std::string session = WireLine("Probe") + WireLine("00005031") + WireInt(0x1234) + WireInt(1) +
                              WireLine(empty) + WireLine("*.*") + WireInt(0) + WireInt(17) + WireLine("*.x") +
                              WireLine("") + WireLine("") + WireLine("") + WireInt(99);
  ASSERT_TRUE(peer.SendAll(session.data(), session.size()));
  const std::string expected = WireInt(1) + WireInt(static_cast<int32_t>(kDos)) + WireInt(0) + WireInt(0x10) +
                               WireLine("..") + WireInt(65535) + WireInt(65535) + WireInt(65535);
  EXPECT_EQ(test::Receive(peer, expected.size()), expected);
  peer.Close();
  ASSERT_TRUE(WaitDisconnects(1));
  const std::string head = "01.06.2024 08:05:09 [][1234]: Probe ";
  EXPECT_EQ(Log(), (Names{head + "establish connection...", head + "REQUEST 00000001", head + "REQUEST 00000011",
                          head + "REQUEST 00000063", "01.06.2024 08:05:09 [][1234]: disconnected"}));
}

TEST_F(RemoteTest, UnconnectedClientFailsWithoutTraffic) {
  TMVIPCLient client("127.0.0.1", server.Port());
  TTDirList remote;
  remote.SetRemote(&client);
  EXPECT_EQ(remote.Read(dir.path()), kDirListNotConnected);
  EXPECT_EQ(remote.Count(), 0);
  EXPECT_EQ(remote.AssignFilter(TTDirFilter()), kDirListNotConnected);
  TMVIPCLient later;
  EXPECT_EQ(later.ClientNumber(), client.ClientNumber() + 1);
  EXPECT_FALSE(later.Active());  // no host: the listing stays local
  later.Connect();
  EXPECT_FALSE(later.Connected());
}

// Half of the clients list 20 times, the other half drop in mid-request.
TEST_F(RemoteTest, ServesManyClientsWhileOthersDropMidRequest) {
  std::vector<std::thread> threads;
  std::atomic<int> good{0};
  for (int t = 0; t < 12; ++t)
    threads.emplace_back([&, t] {
      if (t % 2 == 0) {
        auto client = Client();
        TTDirList remote;
        remote.SetRemote(client.get());
        for (int i = 0; i < 20; ++i) good += remote.Read(dir.path()) == 0 && remote.Count() == 4;
        return;
      }
      TcpSocket peer;
      peer.SetTimeout(std::chrono::seconds(10));
      const std::string half = WireLine("Gone") + WireLine("00005031") + WireInt(t) + WireInt(1) + "/tm";
      if (peer.Connect("127.0.0.1", server.Port())) peer.SendAll(half.data(), half.size());
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(good.load(), 6 * 20);
  EXPECT_TRUE(WaitDisconnects(12));
  EXPECT_EQ(server.ClientCount(), 0);
  auto idle = Client();  // Stop() must not wait for it
  ASSERT_TRUE(idle->Connected());
  server.Stop();
  EXPECT_FALSE(server.Running());
}

}  // namespace
}  // namespace mv
