#pragma once
// One TLS client session over a connected non-blocking socket (OpenSSL).
// The peer's certificate must chain to the system's trust store, or to the
// one extra CA file when given, and must name the host we asked for. The
// socket stays owned by the caller; the session only reads and writes it.

#include <cstddef>
#include <memory>
#include <string>

struct ssl_st;
struct ssl_ctx_st;

namespace mv {

enum class TlsIo { Done, WantRead, WantWrite, Closed, Failed };

class TTlsSession {
 public:
  TTlsSession();
  ~TTlsSession();
  TTlsSession(const TTlsSession&) = delete;
  TTlsSession& operator=(const TTlsSession&) = delete;

  // Prepares a session on fd for serverName (a host name or a dotted
  // address). False with the reason in error ("Cannot read CA file ...").
  bool Setup(int fd, const std::string& serverName, const std::string& caFile, std::string& error);
  // One step of the handshake; Failed leaves the reason in HandshakeError().
  TlsIo Handshake();
  // "Certificate Not Trusted (...)", "Certificate Name Mismatch" or
  // "TLS Handshake Failed (...)".
  const std::string& HandshakeError() const { return handshakeError_; }

  TlsIo Read(char* buffer, size_t size, size_t& got);
  TlsIo Write(const char* data, size_t size, size_t& put);

 private:
  TlsIo Result(int rc);

  ssl_ctx_st* ctx_ = nullptr;
  ssl_st* ssl_ = nullptr;
  std::string handshakeError_;
};

}  // namespace mv
