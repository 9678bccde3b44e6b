#include "platform/tcp.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "platform/uniquefd.h"

namespace mv {
namespace {

// IPv6 is reached through the mail client's tests.
TEST(Tcp, ConnectsAndNamesEveryFailure) {
  UniqueFd listener = ListenTcp("127.0.0.1", 0);
  ASSERT_TRUE(listener.Valid());
  UniqueFd client;
  ASSERT_EQ(ConnectTcp("127.0.0.1", LocalPortOf(listener.Get()), TcpClock::now() + std::chrono::seconds(10), nullptr,
                       client),
            TcpConnect::Connected);
  ASSERT_EQ(WaitForFd(listener.Get(), POLLIN, TcpClock::now() + std::chrono::seconds(10)), FdWait::Ready);
  UniqueFd served(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
  EXPECT_EQ(PeerAddressOf(served.Get()), "127.0.0.1");
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

}  // namespace
}  // namespace mv
