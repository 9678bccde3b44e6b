#include "remote/mvtcp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
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

using namespace test;
using Names = std::vector<std::string>;

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
    dir.Write("a.txt", "data"), dir.Write("b.dat", "data"), dir.Write("sub/inner.txt", "x");
    EXPECT_TRUE(server.Start("", 0, [this](const std::string& l) { std::lock_guard lock(mutex); log.push_back(l); }));
  }
  ~RemoteTest() override { server.Stop(), SetClockForTesting(nullptr), SetDateTimeFormatsForTesting("", ""); }

  std::unique_ptr<TMVIPCLient> Client(const std::string& version = kClientVersion) {
    auto c = std::make_unique<TMVIPCLient>("127.0.0.1", server.Port());
    c->ClientVersion = version, c->Connect();
    return c;
  }
  Names Log() { std::lock_guard lock(mutex); return log; }
  bool WaitDisconnects(long n) {
    auto gone = [](const std::string& l) { return l.ends_with("]: disconnected"); };
    return WaitFor([&] { return std::ranges::count_if(Log(), gone) == n; }, 10000);
  }

  TempDir dir;
  TMVIPServer server;
  std::mutex mutex;  // guards log
  Names log;
};

TEST_F(RemoteTest, FiltersErrorsAndHintsTravelPerConnection) {
  auto client = Client(), other = Client();
  TTDirList local, remote;
  remote.SetRemote(client.get());
  ASSERT_EQ(remote.AssignFilter(TTDirFilter("*.TXT", "", "", "", 8)), 0);
  ASSERT_EQ(remote.Read(dir.path()), 0);
  EXPECT_EQ(NamesOf(remote), (Names{"..", "a.txt", "sub"}));
  remote.SetRemote(other.get());  // a new connection starts with the default filter
  ASSERT_EQ(remote.Read(dir.path()), 0);
  EXPECT_EQ(NamesOf(remote), (Names{"..", "a.txt", "b.dat", "sub"}));
  EXPECT_EQ(remote.Read(dir / "missing"), local.Read(dir / "missing"));
  EXPECT_LT(local.LastResult(), 0);
  // The hint carries 32 bits, so only a signature that is its own sign
  // extension can match: the test looks for a file that gives one.
  TempDir one;
  one.Write("sub/x", "");
  for (int i = 0; local.Signature() == 0 || (local.Signature() >> 31) != 0x1FFFFFFFFull; ++i) {
    ASSERT_LT(i, 64);
    SetFileDosTime(one.Write("f", std::string(i, 'a')), kDos);
    ASSERT_EQ(local.Read(one.path()), 0);
  }
  remote.RemoteHint = local.Signature();
  ASSERT_EQ(remote.Read(one.path()), 0);
  EXPECT_EQ(NamesOf(remote), (Names{"..", "sub"}));
  EXPECT_EQ(remote.DirCount(), local.DirCount());
  remote.RemoteHint = local.Signature() + 1;
  ASSERT_EQ(remote.Read(one.path()), 0);
  EXPECT_EQ(NamesOf(remote), NamesOf(local));
  EXPECT_EQ(remote.Signature(), local.Signature());
}

// Refused and unconnected clients send nothing; a raw session: request 1 on an empty folder, 17, an unknown code.
TEST_F(RemoteTest, WireBytesAndLogLines) {
  // Once the server has dropped the refused client, its next request
  // connects again (as a dropped idle client does) and is refused again.
  auto old = Client("00005030");
  ASSERT_TRUE(WaitDisconnects(1));
  std::vector<FindData> found;
  EXPECT_EQ(old->ReadRemote(dir.path(), "*.*", 0, found), kDirListNotConnected);
  ASSERT_TRUE(WaitDisconnects(2));
  TMVIPCLient never("127.0.0.1", server.Port()), later;
  TTDirList remote;
  remote.SetRemote(&never);
  EXPECT_EQ(remote.Read(dir.path()), kDirListNotConnected);
  EXPECT_EQ(remote.Count(), 0);
  EXPECT_EQ(remote.AssignFilter(TTDirFilter()), kDirListNotConnected);
  EXPECT_EQ(later.ClientNumber(), never.ClientNumber() + 1);
  EXPECT_FALSE(later.Active());  // no host: the listing stays local
  ASSERT_EQ(CreateDirectory(dir / "empty"), 0u);
  SetFileDosTime(dir.path(), kDos);  // the time ".." shows
  TcpSocket peer;
  ASSERT_TRUE(peer.Connect("127.0.0.1", server.Port()));
  const std::string session = WireLine("Probe") + WireLine("00005031") + WireInt(0x1234) + WireInt(1) +
                              WireLine(dir / "empty/") + WireLine("*.*") + WireInt(0) + WireInt(17) + WireLine("*.x") +
                              WireLine("") + WireLine("") + WireLine("") + WireInt(99);
  ASSERT_TRUE(peer.SendAll(session.data(), session.size()));
  const std::string want = "Mirava Server 0.503\r\n00005030\r\n" + WireInt(1) + WireInt(int32_t(kDos)) + WireInt(0) +
                           WireInt(0x10) + WireLine("..") + WireInt(65535) + WireInt(65535) + WireInt(65535);
  EXPECT_EQ(Receive(peer, want.size()), want);
  peer.Close();
  ASSERT_TRUE(WaitDisconnects(3));
  const std::string time = "01.06.2024 08:05:09 [][", refused = time + Hex4(old->ClientNumber()) + "]: ",
                    probe = time + "1234]: Probe ";
  EXPECT_EQ(Log(), (Names{refused + "Mirava Client 0.503 establish connection...",
                          refused + "minimum Version required=00005031", refused + "disconnected",
                          refused + "Mirava Client 0.503 establish connection...",
                          refused + "minimum Version required=00005031", refused + "disconnected",
                          probe + "establish connection...", probe + "REQUEST 00000001", probe + "REQUEST 00000011",
                          probe + "REQUEST 00000063", time + "1234]: disconnected"}));
}

// Half of the clients list 20 times, the other half drop in mid-request.
TEST_F(RemoteTest, ServesManyClientsWhileOthersDropMidRequest) {
  std::vector<std::thread> threads;
  std::atomic<int> good{0};
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, client = Client()] {
      TTDirList remote;
      remote.SetRemote(client.get());
      for (int i = 0; i < 20; ++i) good += remote.Read(dir.path()) == 0 && remote.Count() == 4;
    });
    threads.emplace_back([&, t] {
      const std::string half = WireLine("Gone") + WireLine("00005031") + WireInt(t) + WireInt(1) + "/tm";
      if (TcpSocket peer; peer.Connect("127.0.0.1", server.Port())) peer.SendAll(half.data(), half.size());
    });
  }
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
