#include "remote/socket.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

#include "platform/tcp.h"

namespace mv {

TcpSocket::~TcpSocket() { Close(); }

TcpSocket::TcpSocket(TcpSocket&& other) noexcept
    : fd_(std::move(other.fd_)), timeout_(other.timeout_) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    fd_ = std::move(other.fd_);
    timeout_ = other.timeout_;
  }
  return *this;
}

void TcpSocket::Close() { fd_.Reset(); }

void TcpSocket::Shutdown() {
  if (fd_.Valid()) ::shutdown(fd_.Get(), SHUT_RDWR);
}

void TcpSocket::StartBudget(std::chrono::milliseconds base, std::size_t bytesPerSecond) {
  budgetOn_ = true;
  budgetStart_ = std::chrono::steady_clock::now();
  budgetBase_ = base;
  budgetRate_ = std::max<std::size_t>(bytesPerSecond, 1);
  budgetBytes_ = 0;
}

TcpClock::time_point TcpSocket::Deadline() const {
  const auto now = TcpClock::now();
  TcpClock::time_point deadline = timeout_.count() < 0 ? kNoDeadline : now + timeout_;
  if (budgetOn_) {
    const auto allowed = budgetBase_ + std::chrono::milliseconds(
                                           static_cast<int64_t>(budgetBytes_ / budgetRate_ * 1000 +
                                                                budgetBytes_ % budgetRate_ * 1000 / budgetRate_));
    deadline = std::min(deadline, budgetStart_ + allowed);
  }
  return deadline;
}

bool TcpSocket::Wait(short events) const {
  return WaitForFd(fd_.Get(), events, Deadline()) == FdWait::Ready;
}

bool TcpSocket::PeerClosed() const {
  if (!fd_.Valid()) return true;
  pollfd p{fd_.Get(), POLLIN | POLLRDHUP, 0};
  if (::poll(&p, 1, 0) <= 0) return false;
  if ((p.revents & (POLLERR | POLLHUP | POLLRDHUP)) != 0 && (p.revents & POLLIN) == 0) return true;
  char c;
  const ssize_t n = ::recv(fd_.Get(), &c, 1, MSG_PEEK | MSG_DONTWAIT);
  return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

std::string TcpSocket::PeerAddress() const { return PeerAddressOf(fd_.Get()); }

bool TcpSocket::Connect(const std::string& host, uint16_t port) {
  return ConnectTcp(host, port, Deadline(), nullptr, fd_) == TcpConnect::Connected;
}

bool TcpSocket::Listen(const std::string& address, uint16_t port) {
  fd_ = ListenTcp(address.empty() ? "127.0.0.1" : address, port);
  return fd_.Valid();
}

TcpSocket TcpSocket::Accept() {
  while (fd_.Valid()) {
    if (!Wait(POLLIN)) return TcpSocket();
    const int fd = ::accept4(fd_.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
      SetTcpNoDelay(fd);
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
  while (fd_.Valid()) {
    if (!Wait(POLLIN)) return -1;
    const ssize_t n = ::recv(fd_.Get(), buf, cap, 0);
    if (n > 0) budgetBytes_ += static_cast<std::size_t>(n);
    if (n >= 0) return n;
    if (errno != EINTR && errno != EAGAIN) return -1;
  }
  return -1;
}

bool TcpSocket::SendAll(const char* data, std::size_t n) {
  while (n > 0 && fd_.Valid()) {
    const ssize_t sent = ::send(fd_.Get(), data, n, MSG_NOSIGNAL);
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

uint16_t TcpSocket::LocalPort() const { return LocalPortOf(fd_.Get()); }

}  // namespace mv
