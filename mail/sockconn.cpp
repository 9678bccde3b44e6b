#include "mail/sockconn.h"

#include "mail/tlssession.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace mv {

namespace {

// Waits are cut into slices so that Cancel() is seen soon.
constexpr int kSliceMs = 50;
constexpr size_t kStreamPiece = 65536;

// Splits "host:port"; false for a port that is not 1..65535.
bool SplitHostPort(const std::string& text, uint16_t defaultPort, std::string& host, uint16_t& port) {
  host = text;
  port = defaultPort;
  const size_t colon = text.find(':');
  if (colon == std::string::npos || text.find(':', colon + 1) != std::string::npos) return true;
  host = text.substr(0, colon);
  const std::string digits = text.substr(colon + 1);
  if (digits.empty() || digits.size() > 5) return false;
  uint32_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value == 0 || value > 65535) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

struct AddrInfoFree {
  void operator()(addrinfo* p) const { freeaddrinfo(p); }
};

}  // namespace

TSockConn::TSockConn() = default;

TSockConn::~TSockConn() { Close(); }

int16_t TSockConn::ReplyNumberOf(std::string_view line) {
  int64_t value = 0;
  for (size_t i = 0; i < line.size() && i < 10 && line[i] >= '0' && line[i] <= '9'; ++i)
    value = value * 10 + (line[i] - '0');
  return static_cast<int16_t>(std::min<int64_t>(value, 32767));
}

bool TSockConn::Fail(std::string text) {
  lastError_ = std::move(text);
  return false;
}

bool TSockConn::FailIo(std::string text) {
  Close();
  return Fail(std::move(text));
}

void TSockConn::TakeReply(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  lastReply_.assign(line);
  replyNumber_ = ReplyNumberOf(line);
}

TSockConn::Clock::time_point TSockConn::Deadline() const {
  return TimeOut > 0 ? Clock::now() + std::chrono::milliseconds(TimeOut) : Clock::time_point::max();
}

TSockConn::Wait TSockConn::WaitFor(short events, Clock::time_point deadline) const {
  for (;;) {
    if (canceled_) return Wait::Canceled;
    const auto now = Clock::now();
    if (now >= deadline) return Wait::TimedOut;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
    pollfd p{fd_, events, 0};
    const int n = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(left + 1, kSliceMs)));
    if (n > 0) return Wait::Ready;  // errors and hang-ups show in the next call
    if (n < 0 && errno != EINTR) return Wait::Failed;
  }
}

bool TSockConn::Open() {
  if (Connected()) return Fail("Already connected");
  if (canceled_) return Fail("Connection Canceled");
  std::string host;
  uint16_t port = 0;
  if (!SplitHostPort(Host, Port, host, port)) return Fail("Invalid Port");
  if (host.empty()) return Fail("Host Lookup Failed");
  peerName_ = host;

  in_addr address{};
  if (::inet_pton(AF_INET, host.c_str(), &address) != 1) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    std::unique_ptr<addrinfo, AddrInfoFree> owned(found);
    if (rc == EAI_AGAIN && TimeOut > 0) return Fail("Host Lookup Timed Out");
    if (rc != 0 || found == nullptr) return Fail("Host Lookup Failed");
    address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
  }
  if (address.s_addr == 0) return Fail("Null Remote Address");

  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return Fail("Connection Failed");
  const linger reset{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr = address;
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    if (errno != EINPROGRESS) return FailIo("Connection Failed");
    switch (WaitFor(POLLOUT, Deadline())) {
      case Wait::Ready: break;
      case Wait::TimedOut: return FailIo("Connection Timed out");
      case Wait::Canceled: return FailIo("Connection Canceled");
      case Wait::Failed: return FailIo("Connection Failed");
    }
    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0)
      return FailIo("Connection Failed");
  }
  buffer_.clear();
  return true;
}

void TSockConn::Close() {
  tls_.reset();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  buffer_.clear();
}

TSockConn::Io TSockConn::SendSome(const char* data, size_t size, size_t& put) {
  put = 0;
  if (tls_) {
    switch (tls_->Write(data, size, put)) {
      case TlsIo::Done: return Io::Done;
      case TlsIo::WantRead: return Io::WantRead;
      case TlsIo::WantWrite: return Io::WantWrite;
      case TlsIo::Closed: return Io::Closed;
      case TlsIo::Failed: return Io::Failed;
    }
  }
  const ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
  if (n > 0) return put = static_cast<size_t>(n), Io::Done;
  if (n < 0 && errno == EINTR) return Io::WantWrite;
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Io::WantWrite;
  return Io::Failed;
}

TSockConn::Io TSockConn::ReceiveSome(char* data, size_t size, size_t& got) {
  got = 0;
  if (tls_) {
    switch (tls_->Read(data, size, got)) {
      case TlsIo::Done: return Io::Done;
      case TlsIo::WantRead: return Io::WantRead;
      case TlsIo::WantWrite: return Io::WantWrite;
      case TlsIo::Closed: return Io::Closed;
      case TlsIo::Failed: return Io::Failed;
    }
  }
  const ssize_t n = ::recv(fd_, data, size, 0);
  if (n > 0) return got = static_cast<size_t>(n), Io::Done;
  if (n == 0) return Io::Closed;
  if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) return Io::WantRead;
  return Io::Failed;
}

bool TSockConn::Write(std::string_view text) {
  if (!Connected()) return Fail("Not Connected");
  // The time-out counts from the last progress: a large attachment may take
  // long, a server that takes nothing may not.
  auto deadline = Deadline();
  while (!text.empty()) {
    size_t put = 0;
    const Io io = SendSome(text.data(), text.size(), put);
    if (io == Io::Done) {
      text.remove_prefix(put);
      deadline = Deadline();
      continue;
    }
    if (io == Io::Closed || io == Io::Failed) return FailIo("Send Failed");
    switch (WaitFor(io == Io::WantRead ? POLLIN : POLLOUT, deadline)) {
      case Wait::Ready: break;
      case Wait::TimedOut: return FailIo("Send Timed out");
      case Wait::Canceled: return FailIo("Connection Canceled");
      case Wait::Failed: return FailIo("Send Failed");
    }
  }
  return true;
}

bool TSockConn::Writeln(std::string_view text) {
  std::string line(text);
  line += "\r\n";
  return Write(line);
}

bool TSockConn::SendStream(std::string_view data) {
  for (size_t i = 0; i < data.size(); i += kStreamPiece)
    if (!Write(data.substr(i, kStreamPiece))) return false;
  return true;
}

bool TSockConn::ReadLn(std::string& line) {
  line.clear();
  if (!Connected()) return Fail("Not Connected");
  // One deadline for the whole line, so a server dripping a byte at a time
  // cannot stretch it.
  const auto deadline = Deadline();
  size_t searched = 0;
  for (;;) {
    const size_t lf = buffer_.find('\n', searched);
    if (lf != std::string::npos && lf < kMaxReplyLine) {
      line = buffer_.substr(0, lf + 1);
      buffer_.erase(0, lf + 1);
      return true;
    }
    if (buffer_.size() >= kMaxReplyLine) return FailIo("Reply Too Long");
    searched = buffer_.size();
    char chunk[2048];
    size_t got = 0;
    const Io io = ReceiveSome(chunk, sizeof chunk, got);
    if (io == Io::Done) {
      buffer_.append(chunk, got);
      continue;
    }
    if (io == Io::Closed || io == Io::Failed) return FailIo("Connection Closed");
    switch (WaitFor(io == Io::WantWrite ? POLLOUT : POLLIN, deadline)) {
      case Wait::Ready: break;
      case Wait::TimedOut: return FailIo("Reply Timed out");
      case Wait::Canceled: return FailIo("Connection Canceled");
      case Wait::Failed: return FailIo("Connection Closed");
    }
  }
}

bool TSockConn::StartTls(const std::string& caFile) {
  if (!Connected()) return Fail("Not Connected");
  if (tls_) return Fail("Already Secure");
  if (!buffer_.empty()) return FailIo("Unexpected Data Before TLS");
  auto session = std::make_unique<TTlsSession>();
  std::string error;
  if (!session->Setup(fd_, peerName_, caFile, error)) return FailIo(error);
  // The handshake as a whole gets one time-out, as a reply line does.
  const auto deadline = Deadline();
  for (;;) {
    const TlsIo io = session->Handshake();
    if (io == TlsIo::Done) break;
    if (io == TlsIo::Failed) return FailIo(session->HandshakeError());
    if (io == TlsIo::Closed) return FailIo("Connection Closed");
    switch (WaitFor(io == TlsIo::WantWrite ? POLLOUT : POLLIN, deadline)) {
      case Wait::Ready: break;
      case Wait::TimedOut: return FailIo("Handshake Timed out");
      case Wait::Canceled: return FailIo("Connection Canceled");
      case Wait::Failed: return FailIo("Connection Closed");
    }
  }
  tls_ = std::move(session);
  return true;
}

bool TSockConn::Transaction(std::string_view command) {
  if (command.find_first_of("\r\n") != std::string_view::npos) return Fail("Invalid Command");
  lastReply_.clear();
  replyNumber_ = 0;
  std::string line;
  if (!Writeln(command) || !ReadLn(line)) return false;
  TakeReply(line);
  return true;
}

}  // namespace mv
