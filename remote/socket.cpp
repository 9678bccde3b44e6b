#include "remote/socket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

namespace mv {

namespace {

struct AddrInfoList {
  addrinfo* head = nullptr;
  ~AddrInfoList() {
    if (head != nullptr) freeaddrinfo(head);
  }
};

bool Resolve(const std::string& host, uint16_t port, bool passive, AddrInfoList& out) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = passive ? AI_PASSIVE : AI_ADDRCONFIG;
  const std::string service = std::to_string(port);
  return getaddrinfo(host.c_str(), service.c_str(), &hints, &out.head) == 0;
}

}  // namespace

TcpSocket::~TcpSocket() { Close(); }

TcpSocket::TcpSocket(TcpSocket&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), timeout_(other.timeout_) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    timeout_ = other.timeout_;
  }
  return *this;
}

void TcpSocket::Close() {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

void TcpSocket::Shutdown() {
  if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

void TcpSocket::StartBudget(std::chrono::milliseconds base, std::size_t bytesPerSecond) {
  budgetOn_ = true;
  budgetStart_ = std::chrono::steady_clock::now();
  budgetBase_ = base;
  budgetRate_ = std::max<std::size_t>(bytesPerSecond, 1);
  budgetBytes_ = 0;
}

bool TcpSocket::Wait(short events) const {
  pollfd p{fd_, events, 0};
  int64_t ms = timeout_.count() < 0 ? -1 : timeout_.count();
  if (budgetOn_) {
    const auto allowed = budgetBase_ + std::chrono::milliseconds(
                                           static_cast<int64_t>(budgetBytes_ / budgetRate_ * 1000 +
                                                                budgetBytes_ % budgetRate_ * 1000 / budgetRate_));
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        budgetStart_ + allowed - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    ms = ms < 0 ? left.count() : std::min<int64_t>(ms, left.count());
  }
  for (;;) {
    const int n = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(ms, INT32_MAX)));
    if (n > 0) return true;  // also on errors and hang-ups: the call that follows reports them
    if (n == 0 || errno != EINTR) return false;
  }
}

bool TcpSocket::PeerClosed() const {
  if (fd_ < 0) return true;
  pollfd p{fd_, POLLIN | POLLRDHUP, 0};
  if (::poll(&p, 1, 0) <= 0) return false;
  if ((p.revents & (POLLERR | POLLHUP | POLLRDHUP)) != 0 && (p.revents & POLLIN) == 0) return true;
  char c;
  const ssize_t n = ::recv(fd_, &c, 1, MSG_PEEK | MSG_DONTWAIT);
  return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

std::string TcpSocket::PeerAddress() const {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (fd_ < 0 || ::getpeername(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return "";
  char host[NI_MAXHOST];
  if (::getnameinfo(reinterpret_cast<sockaddr*>(&addr), len, host, sizeof host, nullptr, 0, NI_NUMERICHOST) != 0)
    return "";
  return host;
}

bool TcpSocket::Connect(const std::string& host, uint16_t port) {
  Close();
  AddrInfoList list;
  if (host.empty() || !Resolve(host, port, false, list)) return false;
  for (addrinfo* a = list.head; a != nullptr; a = a->ai_next) {
    fd_ = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd_ < 0) continue;
    if (::connect(fd_, a->ai_addr, a->ai_addrlen) == 0) return true;
    if (errno == EINPROGRESS && Wait(POLLOUT)) {
      int err = 0;
      socklen_t len = sizeof err;
      if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0) {
        const int one = 1;  // requests are small and answered at once
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return true;
      }
    }
    Close();
  }
  return false;
}

bool TcpSocket::Listen(const std::string& address, uint16_t port) {
  Close();
  AddrInfoList list;
  if (!Resolve(address.empty() ? "127.0.0.1" : address, port, true, list)) return false;
  for (addrinfo* a = list.head; a != nullptr; a = a->ai_next) {
    fd_ = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd_ < 0) continue;
    const int one = 1;  // a restarted server must not wait for old connections to time out
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd_, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd_, SOMAXCONN) == 0) return true;
    Close();
  }
  return false;
}

TcpSocket TcpSocket::Accept() {
  while (fd_ >= 0) {
    if (!Wait(POLLIN)) return TcpSocket();
    const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
      const int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      return TcpSocket(fd);
    }
    switch (errno) {
      case EINTR:
      case EAGAIN:
      case ECONNABORTED:
      case EPROTO:
        continue;
      case EMFILE:
      case ENFILE:
      case ENOBUFS:
      case ENOMEM:
        // Out of descriptors or memory for now: let running connections end.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        continue;
      default:
        return TcpSocket();  // shut down, or a listener that cannot recover
    }
  }
  return TcpSocket();
}

std::ptrdiff_t TcpSocket::Receive(char* buf, std::size_t cap) {
  while (fd_ >= 0) {
    if (!Wait(POLLIN)) return -1;
    const ssize_t n = ::recv(fd_, buf, cap, 0);
    if (n > 0) budgetBytes_ += static_cast<std::size_t>(n);
    if (n >= 0) return n;
    if (errno != EINTR && errno != EAGAIN) return -1;
  }
  return -1;
}

bool TcpSocket::SendAll(const char* data, std::size_t n) {
  while (n > 0 && fd_ >= 0) {
    const ssize_t sent = ::send(fd_, data, n, MSG_NOSIGNAL);
    if (sent > 0) {
      budgetBytes_ += static_cast<std::size_t>(sent);
      data += sent;
      n -= static_cast<std::size_t>(sent);
    } else if (sent < 0 && (errno == EAGAIN || errno == EINTR)) {
      if (!Wait(POLLOUT)) return false;
    } else {
      return false;
    }
  }
  return n == 0;
}

uint16_t TcpSocket::LocalPort() const {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return 0;
  if (addr.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
  if (addr.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
  return 0;
}

}  // namespace mv
