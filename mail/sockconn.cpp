#include "mail/sockconn.h"

#include "mail/tlssession.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/tcp.h"

namespace mv {

namespace {

constexpr size_t kStreamPiece = 65536;

bool ParsePort(const std::string& digits, uint16_t& port) {
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

// Splits "host:port" and "[IPv6 address]:port"; a bare IPv6 address has
// several colons and no port. False for a port that is not 1..65535.
bool SplitHostPort(const std::string& text, uint16_t defaultPort, std::string& host, uint16_t& port) {
  host = text;
  port = defaultPort;
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string::npos) return false;
    host = text.substr(1, close - 1);
    const std::string rest = text.substr(close + 1);
    if (rest.empty()) return true;
    return rest.front() == ':' && ParsePort(rest.substr(1), port);
  }
  const size_t colon = text.find(':');
  if (colon == std::string::npos || text.find(':', colon + 1) != std::string::npos) return true;
  host = text.substr(0, colon);
  return ParsePort(text.substr(colon + 1), port);
}

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

FdWait TSockConn::WaitFor(short events, Clock::time_point deadline) const {
  return WaitForFd(fd_.Get(), events, deadline, &canceled_);
}

bool TSockConn::Open() {
  if (Connected()) return Fail("Already connected");
  if (canceled_) return Fail("Connection Canceled");
  std::string host;
  uint16_t port = 0;
  if (!SplitHostPort(Host, Port, host, port)) return Fail("Invalid Port");
  if (host.empty()) return Fail("Host Lookup Failed");
  peerName_ = host;
  switch (ConnectTcp(host, port, Deadline(), &canceled_, fd_)) {
    case TcpConnect::Connected: break;
    case TcpConnect::LookupFailed: return Fail("Host Lookup Failed");
    case TcpConnect::LookupTimedOut: return Fail("Host Lookup Timed Out");
    case TcpConnect::NullAddress: return Fail("Null Remote Address");
    case TcpConnect::TimedOut: return Fail("Connection Timed out");
    case TcpConnect::Canceled: return Fail("Connection Canceled");
    case TcpConnect::Failed: return Fail("Connection Failed");
  }
  const linger reset{1, 0};
  ::setsockopt(fd_.Get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  buffer_.clear();
  return true;
}

void TSockConn::Close() {
  tls_.reset();
  fd_.Reset();
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
  const ssize_t n = ::send(fd_.Get(), data, size, MSG_NOSIGNAL);
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
  const ssize_t n = ::recv(fd_.Get(), data, size, 0);
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
      case FdWait::Ready: break;
      case FdWait::TimedOut: return FailIo("Send Timed out");
      case FdWait::Canceled: return FailIo("Connection Canceled");
      case FdWait::Failed: return FailIo("Send Failed");
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
      case FdWait::Ready: break;
      case FdWait::TimedOut: return FailIo("Reply Timed out");
      case FdWait::Canceled: return FailIo("Connection Canceled");
      case FdWait::Failed: return FailIo("Connection Closed");
    }
  }
}

bool TSockConn::StartTls(const std::string& caFile) {
  if (!Connected()) return Fail("Not Connected");
  if (tls_) return Fail("Already Secure");
  if (!buffer_.empty()) return FailIo("Unexpected Data Before TLS");
  auto session = std::make_unique<TTlsSession>();
  std::string error;
  if (!session->Setup(fd_.Get(), peerName_, caFile, error)) return FailIo(error);
  // The handshake as a whole gets one time-out, as a reply line does.
  const auto deadline = Deadline();
  for (;;) {
    const TlsIo io = session->Handshake();
    if (io == TlsIo::Done) break;
    if (io == TlsIo::Failed) return FailIo(session->HandshakeError());
    if (io == TlsIo::Closed) return FailIo("Connection Closed");
    switch (WaitFor(io == TlsIo::WantWrite ? POLLOUT : POLLIN, deadline)) {
      case FdWait::Ready: break;
      case FdWait::TimedOut: return FailIo("Handshake Timed out");
      case FdWait::Canceled: return FailIo("Connection Canceled");
      case FdWait::Failed: return FailIo("Connection Closed");
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
