#pragma once
// The socket layer of the mail client: one outgoing TCP connection
// (IPv4 or IPv6) with line reading and writing and request-reply transactions.
//
// Host may carry the port as "host:port" ("mail.example.org:2525",
// "[2001:db8::25]:2525"); without one, Port is used (25 unless changed).
//
// No wait lasts longer than TimeOut: connecting, reading one reply line, and
// any pause in which the server takes no bytes we send. The default of 60 s
// keeps a dead or stalled server from holding the mail thread for good; 0
// waits without limit. Name lookups go through the system resolver, which
// has time-outs of its own. Cancel() ends every wait at once from any thread.
//
// Failures are return values: false, with the reason in LastError(). A
// failed read or write closes the connection, since the dialogue can no
// longer be trusted to be in step.
//
// StartTls() turns the open connection into a TLS one (see tlssession.h);
// from then on every read and write goes through it, with the same time-outs
// and bounds.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/tcp.h"

namespace mv {

class TTlsSession;

inline constexpr int32_t kDefaultSockTimeOut = 60000;  // milliseconds
// Longest line accepted from a server, line break included (a reply line
// has at most 512 bytes; this leaves room for chatty servers).
inline constexpr size_t kMaxReplyLine = 4096;

class TSockConn {
 public:
  TSockConn();
  virtual ~TSockConn();
  TSockConn(const TSockConn&) = delete;
  TSockConn& operator=(const TSockConn&) = delete;

  std::string Host;  // host name or numeric address, optionally with ":port"
  uint16_t Port = 25;
  int32_t TimeOut = kDefaultSockTimeOut;  // milliseconds, 0 = none
  int32_t ReportLevel = 0;                // no status reports are made

  bool Connected() const { return fd_.Valid(); }
  // The last reply line without its line break, and its number.
  const std::string& LastReply() const { return lastReply_; }
  int16_t ReplyNumber() const { return replyNumber_; }
  const std::string& LastError() const { return lastError_; }

  // Resolves Host and connects. Errors: "Already connected", "Invalid Port",
  // "Host Lookup Failed", "Host Lookup Timed Out", "Null Remote Address",
  // "Connection Timed out", "Connection Canceled", "Connection Failed".
  bool Open();
  // Closes at once (linger 0: the connection is reset, nothing is flushed).
  void Close();

  // TLS handshake on the open connection, verifying the server against the
  // host name it was opened with (and caFile, when not empty). Bytes the
  // server sent ahead of the handshake are refused ("Unexpected Data Before
  // TLS"): they would otherwise be read as if they had come encrypted.
  // Errors: those of TTlsSession, "Handshake Timed out", "Connection
  // Canceled", "Connection Closed". A failure closes the connection.
  bool StartTls(const std::string& caFile);
  bool Secure() const { return tls_ != nullptr; }
  // The host part of Host, as Open took it.
  const std::string& PeerName() const { return peerName_; }

  // Text unchanged / Text + CR LF. Errors: "Not Connected", "Send Timed out",
  // "Send Failed", "Connection Canceled".
  bool Write(std::string_view text);
  bool Writeln(std::string_view text);
  // Sends data in pieces of at most 64 KiB.
  bool SendStream(std::string_view data);
  // The next line up to and including LF. Errors: "Not Connected",
  // "Reply Timed out", "Reply Too Long", "Connection Closed",
  // "Connection Canceled".
  bool ReadLn(std::string& line);
  // Writeln(command), then one line into LastReply and ReplyNumber. A
  // command holding CR or LF is refused ("Invalid Command") unsent.
  bool Transaction(std::string_view command);

  // Ends the current and every later wait; for shutdown. Any thread.
  void Cancel() { canceled_ = true; }
  bool Canceled() const { return canceled_; }

  // Value of the leading decimal digits (at most 10 looked at), capped at
  // 32767; 0 when the line does not begin with a digit.
  static int16_t ReplyNumberOf(std::string_view line);

 protected:
  // Sets LastError; returns false.
  bool Fail(std::string text);
  // Stores line (line break removed) as the last reply and its number.
  void TakeReply(std::string_view line);

 private:
  using Clock = TcpClock;
  FdWait WaitFor(short events, Clock::time_point deadline) const;
  Clock::time_point Deadline() const;
  bool FailIo(std::string text);  // closes, then Fail
  // One send or receive, raw or through TLS: bytes moved, or 0 with the
  // wait needed (Ready meaning "try again"), or a failure.
  enum class Io { Done, WantRead, WantWrite, Closed, Failed };
  Io SendSome(const char* data, size_t size, size_t& put);
  Io ReceiveSome(char* data, size_t size, size_t& got);

  UniqueFd fd_;
  std::unique_ptr<TTlsSession> tls_;
  std::string peerName_;
  std::string buffer_;  // bytes received and not yet returned by ReadLn
  std::string lastReply_;
  int16_t replyNumber_ = 0;
  std::string lastError_;
  std::atomic<bool> canceled_{false};
};

}  // namespace mv
