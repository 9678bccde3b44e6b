#include "mail/tlssession.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace mv {

namespace {

std::string LastSslError() {
  const unsigned long e = ERR_peek_last_error();
  ERR_clear_error();
  if (e == 0) return "";
  char text[256];
  ERR_error_string_n(e, text, sizeof text);
  return text;
}

bool IsAddress(const std::string& host) {
  in_addr a4{};
  in6_addr a6{};
  return inet_pton(AF_INET, host.c_str(), &a4) == 1 || inet_pton(AF_INET6, host.c_str(), &a6) == 1;
}

}  // namespace

TTlsSession::TTlsSession() = default;

TTlsSession::~TTlsSession() {
  if (ssl_ != nullptr) SSL_free(ssl_);
  if (ctx_ != nullptr) SSL_CTX_free(ctx_);
}

bool TTlsSession::Setup(int fd, const std::string& serverName, const std::string& caFile, std::string& error) {
  ERR_clear_error();
  ctx_ = SSL_CTX_new(TLS_client_method());
  if (ctx_ == nullptr) return error = "TLS Setup Failed", false;
  SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
  SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
  SSL_CTX_set_mode(ctx_, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  if (SSL_CTX_set_default_verify_paths(ctx_) != 1) return error = "TLS Setup Failed", false;
  if (!caFile.empty() && SSL_CTX_load_verify_locations(ctx_, caFile.c_str(), nullptr) != 1) {
    ERR_clear_error();
    return error = "Cannot read CA file " + caFile, false;
  }
  ssl_ = SSL_new(ctx_);
  if (ssl_ == nullptr || SSL_set_fd(ssl_, fd) != 1) return error = "TLS Setup Failed", false;
  X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
  if (IsAddress(serverName)) {
    if (X509_VERIFY_PARAM_set1_ip_asc(param, serverName.c_str()) != 1) return error = "TLS Setup Failed", false;
  } else {
    // The name alone may match; no wildcard deeper than one label.
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (SSL_set1_host(ssl_, serverName.c_str()) != 1) return error = "TLS Setup Failed", false;
    SSL_set_tlsext_host_name(ssl_, serverName.c_str());
  }
  return true;
}

TlsIo TTlsSession::Result(int rc) {
  switch (SSL_get_error(ssl_, rc)) {
    case SSL_ERROR_WANT_READ: return TlsIo::WantRead;
    case SSL_ERROR_WANT_WRITE: return TlsIo::WantWrite;
    case SSL_ERROR_ZERO_RETURN: return TlsIo::Closed;
    case SSL_ERROR_SYSCALL:
      ERR_clear_error();
      return TlsIo::Closed;
    default: return TlsIo::Failed;
  }
}

TlsIo TTlsSession::Handshake() {
  ERR_clear_error();
  const int rc = SSL_connect(ssl_);
  if (rc == 1) return TlsIo::Done;
  const TlsIo io = Result(rc);
  if (io == TlsIo::WantRead || io == TlsIo::WantWrite) return io;
  const long verify = SSL_get_verify_result(ssl_);
  const std::string detail = LastSslError();
  if (verify == X509_V_ERR_HOSTNAME_MISMATCH || verify == X509_V_ERR_IP_ADDRESS_MISMATCH)
    handshakeError_ = "Certificate Name Mismatch";
  else if (verify != X509_V_OK)
    handshakeError_ = std::string("Certificate Not Trusted (") + X509_verify_cert_error_string(verify) + ")";
  else
    handshakeError_ = "TLS Handshake Failed" + (detail.empty() ? std::string() : " (" + detail + ")");
  return TlsIo::Failed;
}

TlsIo TTlsSession::Read(char* buffer, size_t size, size_t& got) {
  got = 0;
  ERR_clear_error();
  if (SSL_read_ex(ssl_, buffer, size, &got) == 1) return TlsIo::Done;
  return Result(0);
}

TlsIo TTlsSession::Write(const char* data, size_t size, size_t& put) {
  put = 0;
  ERR_clear_error();
  if (SSL_write_ex(ssl_, data, size, &put) == 1) return TlsIo::Done;
  return Result(0);
}

}  // namespace mv
