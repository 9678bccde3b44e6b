#include "platform/tcp.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "platform/barlist.h"
#include "platform/uniquefd.h"

namespace mv {
namespace {

TEST(UniqueFd, OwnsOneDescriptorAndReportsTheCloseError) {
  int pipeFds[2];
  ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
  UniqueFd read(pipeFds[0]), write(pipeFds[1]);
  UniqueFd moved(std::move(read));
  EXPECT_FALSE(read.Valid());
  EXPECT_EQ(read.Close(), 0);  // nothing held, nothing to report
  EXPECT_EQ(moved.Get(), pipeFds[0]);
  // Closed behind the owner's back: the owner's close says so.
  ASSERT_EQ(::close(write.Release()), 0);
  UniqueFd stale(pipeFds[1]);
  EXPECT_EQ(stale.Close(), EBADF);
  EXPECT_FALSE(stale.Valid());
}

TEST(Tcp, ConnectsOverBothFamiliesAndNamesEveryFailure) {
  for (const char* host : {"127.0.0.1", "::1"}) {
    UniqueFd listener = ListenTcp(host, 0);
    if (!listener.Valid() && std::string(host) == "::1") GTEST_SKIP() << "no IPv6 loopback here";
    ASSERT_TRUE(listener.Valid()) << host;
    const uint16_t port = LocalPortOf(listener.Get());
    UniqueFd client;
    ASSERT_EQ(ConnectTcp(host, port, TcpClock::now() + std::chrono::seconds(10), nullptr, client),
              TcpConnect::Connected) << host;
    ASSERT_EQ(WaitForFd(listener.Get(), POLLIN, TcpClock::now() + std::chrono::seconds(10)), FdWait::Ready);
    UniqueFd served(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    EXPECT_EQ(PeerAddressOf(served.Get()), host);
    EXPECT_EQ(PeerAddressOf(client.Get()), host);
  }
  UniqueFd fd;
  const auto soon = TcpClock::now() + std::chrono::seconds(10);
  EXPECT_EQ(ConnectTcp("0.0.0.0", 25, soon, nullptr, fd), TcpConnect::NullAddress);
  EXPECT_EQ(ConnectTcp("", 25, soon, nullptr, fd), TcpConnect::LookupFailed);
  {
    UniqueFd gone = ListenTcp("127.0.0.1", 0);
    const uint16_t port = LocalPortOf(gone.Get());
    gone.Close();
    EXPECT_EQ(ConnectTcp("127.0.0.1", port, soon, nullptr, fd), TcpConnect::Failed);
  }
  EXPECT_FALSE(fd.Valid());
}

TEST(Tcp, ACancelEndsAWaitWithoutDeadline) {
  UniqueFd listener = ListenTcp("127.0.0.1", 0);
  std::atomic<bool> cancel{false};
  std::thread canceller([&] { cancel = true; });
  EXPECT_EQ(WaitForFd(listener.Get(), POLLIN, kNoDeadline, &cancel), FdWait::Canceled);
  canceller.join();
  EXPECT_EQ(WaitForFd(listener.Get(), POLLIN, TcpClock::now()), FdWait::TimedOut);
}

TEST(BarList, KeepsEveryItemAsWritten) {
  using Items = std::vector<std::string_view>;
  EXPECT_EQ(SplitBarList(""), Items{""});
  EXPECT_EQ(SplitBarList("*.tmp|*.bak"), (Items{"*.tmp", "*.bak"}));
  EXPECT_EQ(SplitBarList("|a|| b|"), (Items{"", "a", "", " b", ""}));
  EXPECT_EQ(JoinBarList({"a", "", " b"}), "a|| b");
}

}  // namespace
}  // namespace mv
