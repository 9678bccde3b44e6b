#pragma once
// A TCP stream socket that owns its descriptor. Every wait on it (connect,
// receive, send) is bounded by the socket's time-out, so a silent peer can
// cost a thread at most that long, and while a budget runs also by the
// budget, so a peer that trickles cannot hold it either. Shutdown() from
// another thread wakes any wait at once.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/tcp.h"

namespace mv {

// Where bytes come from and go to: a socket, or memory in tests and fuzzing.
class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Up to cap bytes into buf: the count (> 0), 0 at the end of the stream,
  // -1 on an error or when the time-out passes without a byte.
  virtual std::ptrdiff_t Receive(char* buf, std::size_t cap) = 0;
  // All n bytes, or false.
  virtual bool SendAll(const char* data, std::size_t n) = 0;
};

class TcpSocket : public ByteStream {
 public:
  // Waits forever.
  static constexpr std::chrono::milliseconds kNoTimeout{-1};

  TcpSocket() = default;
  explicit TcpSocket(int fd) : fd_(fd) {}
  ~TcpSocket() override;
  TcpSocket(TcpSocket&& other) noexcept;
  TcpSocket& operator=(TcpSocket&& other) noexcept;
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  // Connects to host (name or address) and port within the time-out set
  // before. False when no address of host answers.
  bool Connect(const std::string& host, uint16_t port);
  // Listens on address (empty: loopback) and port (0: any free port).
  bool Listen(const std::string& address, uint16_t port);
  // Waits for the next connection; an invalid socket after Shutdown() or
  // on an error.
  TcpSocket Accept();

  std::ptrdiff_t Receive(char* buf, std::size_t cap) override;
  bool SendAll(const char* data, std::size_t n) override;

  // Ends both directions; a thread blocked on this socket returns. The
  // descriptor stays valid until Close().
  void Shutdown();
  void Close();
  bool Valid() const { return fd_.Valid(); }
  // Port the socket is bound to (0 when not bound).
  uint16_t LocalPort() const;

  void SetTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
  std::chrono::milliseconds Timeout() const { return timeout_; }

  // Bounds a whole exchange from now on (a greeting, a request with its
  // reply): it may take base plus one second for every bytesPerSecond bytes
  // moved (received or sent) since, so a peer that trickles loses the
  // connection while a large listing at a fair rate gets through. Once the
  // budget is spent every wait fails. EndBudget() lifts it.
  void StartBudget(std::chrono::milliseconds base, std::size_t bytesPerSecond);
  void EndBudget() { budgetOn_ = false; }
  // True when the peer has closed its side or the connection broke, without
  // waiting (data not read yet counts as open).
  bool PeerClosed() const;
  // Numeric address of the peer ("" when not connected).
  std::string PeerAddress() const;

 private:
  // The end of the next wait: the time-out from now, or the budget's end if sooner.
  TcpClock::time_point Deadline() const;
  // Waits for events on the descriptor within the time-out and the budget.
  bool Wait(short events) const;

  UniqueFd fd_;
  std::chrono::milliseconds timeout_ = kNoTimeout;
  bool budgetOn_ = false;
  std::chrono::steady_clock::time_point budgetStart_;
  std::chrono::milliseconds budgetBase_{0};
  std::size_t budgetRate_ = 1;
  std::size_t budgetBytes_ = 0;
};

}  // namespace mv
