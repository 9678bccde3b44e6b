#include "platform/tcp.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace mv {

namespace {

constexpr int64_t kCancelSliceMs = 50;

struct AddrInfoFree {
  void operator()(addrinfo* p) const { freeaddrinfo(p); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoFree>;

int Resolve(const std::string& host, uint16_t port, bool passive, AddrInfoList& out) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = passive ? AI_PASSIVE : AI_ADDRCONFIG;
  const std::string service = std::to_string(port);
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  out.reset(found);
  if (rc == 0 && found == nullptr) return EAI_NONAME;
  return rc;
}

bool IsUnspecified(const addrinfo& a) {
  if (a.ai_family == AF_INET)
    return reinterpret_cast<const sockaddr_in*>(a.ai_addr)->sin_addr.s_addr == INADDR_ANY;
  if (a.ai_family == AF_INET6) {
    const in6_addr& addr = reinterpret_cast<const sockaddr_in6*>(a.ai_addr)->sin6_addr;
    return std::memcmp(&addr, &in6addr_any, sizeof addr) == 0;
  }
  return false;
}

}  // namespace

void SetTcpNoDelay(int fd) {
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

FdWait WaitForFd(int fd, short events, TcpClock::time_point deadline, const std::atomic<bool>* cancel) {
  for (;;) {
    if (cancel != nullptr && *cancel) return FdWait::Canceled;
    int64_t ms = -1;
    if (deadline != kNoDeadline) {
      const auto now = TcpClock::now();
      if (now >= deadline) return FdWait::TimedOut;
      // Rounded up, so a wait never ends a little before its deadline.
      ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1;
    }
    if (cancel != nullptr) ms = ms < 0 ? kCancelSliceMs : std::min(ms, kCancelSliceMs);
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(ms, INT32_MAX)));
    if (n > 0) return FdWait::Ready;
    if (n < 0 && errno != EINTR) return FdWait::Failed;
  }
}

TcpConnect ConnectTcp(const std::string& host, uint16_t port, TcpClock::time_point deadline,
                      const std::atomic<bool>* cancel, UniqueFd& fd) {
  fd.Reset();
  if (host.empty()) return TcpConnect::LookupFailed;
  AddrInfoList list;
  const int rc = Resolve(host, port, false, list);
  if (rc == EAI_AGAIN && deadline != kNoDeadline) return TcpConnect::LookupTimedOut;
  if (rc != 0) return TcpConnect::LookupFailed;
  if (IsUnspecified(*list)) return TcpConnect::NullAddress;
  for (const addrinfo* a = list.get(); a != nullptr; a = a->ai_next) {
    UniqueFd s(::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
    if (!s.Valid()) continue;
    if (::connect(s.Get(), a->ai_addr, a->ai_addrlen) != 0) {
      if (errno != EINPROGRESS) continue;
      const FdWait w = WaitForFd(s.Get(), POLLOUT, deadline, cancel);
      if (w == FdWait::TimedOut) return TcpConnect::TimedOut;
      if (w == FdWait::Canceled) return TcpConnect::Canceled;
      int err = 0;
      socklen_t len = sizeof err;
      if (w != FdWait::Ready || ::getsockopt(s.Get(), SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0)
        continue;
    }
    SetTcpNoDelay(s.Get());
    fd = std::move(s);
    return TcpConnect::Connected;
  }
  return TcpConnect::Failed;
}

UniqueFd ListenTcp(const std::string& address, uint16_t port) {
  AddrInfoList list;
  if (Resolve(address, port, true, list) != 0) return UniqueFd();
  for (const addrinfo* a = list.get(); a != nullptr; a = a->ai_next) {
    UniqueFd s(::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
    if (!s.Valid()) continue;
    const int one = 1;  // a restarted server must not wait for old connections to time out
    ::setsockopt(s.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(s.Get(), a->ai_addr, a->ai_addrlen) == 0 && ::listen(s.Get(), SOMAXCONN) == 0) return s;
  }
  return UniqueFd();
}

uint16_t LocalPortOf(int fd) {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return 0;
  if (addr.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
  if (addr.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
  return 0;
}

std::string PeerAddressOf(int fd) {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (fd < 0 || ::getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return "";
  char host[NI_MAXHOST];
  if (::getnameinfo(reinterpret_cast<sockaddr*>(&addr), len, host, sizeof host, nullptr, 0, NI_NUMERICHOST) != 0)
    return "";
  return host;
}

}  // namespace mv
