#pragma once
// Raw wire bytes and a scripted peer for the remote protocol tests.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include <list>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "remote/socket.h"
#include "remote/wire.h"
#include "tests/support/childprocess.h"

namespace mv::test {

// A connection from a chosen loopback address, so that tests can play
// several peers; invalid when the address cannot be bound.
inline TcpSocket ConnectFrom(const std::string& local, uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  inet_pton(AF_INET, local.c_str(), &a.sin_addr);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    if (fd >= 0) ::close(fd);
    return TcpSocket();
  }
  return TcpSocket(fd);
}

inline bool CanBind(const std::string& local) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  inet_pton(AF_INET, local.c_str(), &a.sin_addr);
  const bool ok = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  if (fd >= 0) ::close(fd);
  return ok;
}

inline std::string WireInt(int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  return {char(u >> 24), char(u >> 16), char(u >> 8), char(u)};
}
inline std::string WireLine(const std::string& s) { return s + "\r\n"; }
inline std::string Hex4(int32_t v) {
  char text[16];
  return std::snprintf(text, sizeof text, "%04X", static_cast<uint32_t>(v)), text;
}

// What the peer sends, up to `max` bytes, until it closes (closed set) or
// stays quiet for `timeout`.
inline std::string Receive(TcpSocket& s, size_t max = SIZE_MAX, bool* closed = nullptr,
                           std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  s.SetTimeout(timeout);
  std::string all;
  char buf[4096];
  std::ptrdiff_t n = 1;
  while (all.size() < max && (n = s.Receive(buf, std::min(sizeof buf, max - all.size()))) > 0)
    all.append(buf, static_cast<size_t>(n));
  if (closed != nullptr) *closed = n == 0;
  return all;
}

// A listener on a free loopback port whose one accepted connection runs
// `script` in a thread; the destructor ends the connection and joins.
class ScriptedPeer {
 public:
  explicit ScriptedPeer(std::function<void(TcpSocket&)> script) {
    listener_.Listen("", 0);
    thread_ = std::thread([this, script = std::move(script)] {
      TcpSocket conn = listener_.Accept();
      if (!Track(conn.Valid() ? &conn : nullptr)) return;
      script(conn);
      Track(nullptr);
    });
  }
  ~ScriptedPeer() {
    {
      std::lock_guard lock(mutex_);
      stopped_ = true;
      listener_.Shutdown();
      if (conn_ != nullptr) conn_->Shutdown();
    }
    thread_.join();
  }
  uint16_t Port() const { return listener_.LocalPort(); }

 private:
  bool Track(TcpSocket* conn) {  // false once stopped or without a connection
    std::lock_guard lock(mutex_);
    conn_ = stopped_ ? nullptr : conn;
    return conn_ != nullptr;
  }

  TcpSocket listener_;
  std::mutex mutex_;
  bool stopped_ = false;
  TcpSocket* conn_ = nullptr;
  std::thread thread_;
};

// A remote instance that answers as the test says: it greets every client,
// takes request 17 as the protocol wants and calls onList for every request
// 1, which writes the reply itself (SendReply for well-formed ones). Each
// connection has its own thread; the destructor ends them all and joins.
class HostilePeer {
 public:
  using OnList = std::function<void(TcpSocket& s, const ListRequest& request)>;
  explicit HostilePeer(OnList onList) : onList_(std::move(onList)) {
    listener_.Listen("", 0);
    acceptor_ = std::thread([this] {
      for (;;) {
        TcpSocket conn = listener_.Accept();
        std::lock_guard lock(mutex_);
        if (!conn.Valid() || stopped_) return;
        conns_.push_back(std::move(conn));
        TcpSocket* s = &conns_.back();
        threads_.emplace_back([this, s] { Serve(*s); });
      }
    });
  }
  ~HostilePeer() {
    {
      std::lock_guard lock(mutex_);
      stopped_ = true;
      listener_.Shutdown();
      for (TcpSocket& s : conns_) s.Shutdown();
    }
    acceptor_.join();
    for (std::thread& t : threads_) t.join();
  }
  uint16_t Port() const { return listener_.LocalPort(); }
  // Listing requests answered so far.
  int Requests() const { return requests_.load(); }

  static void SendReply(TcpSocket& s, const std::vector<ReplyEntry>& entries) {
    WireWriter w(s);
    WriteListReply(w, 0, entries);
    w.Flush();
  }

 private:
  void Serve(TcpSocket& s) {
    WireReader r(s);
    WireWriter w(s);
    WriteServerHello(w);
    ClientHello hello;
    if (!w.Flush() || !ReadClientHello(r, hello)) return;
    for (int32_t code = 0; r.ReadInt(code);) {
      if (code == kRequestList) {
        ListRequest request;
        if (!ReadListRequest(r, request)) return;
        ++requests_;
        onList_(s, request);
      } else {
        FilterRequest filter;
        if (code == kRequestFilter && !ReadFilterRequest(r, filter)) return;
        w.Int(kEndOfReply);
        if (!w.Flush()) return;
      }
    }
  }

  OnList onList_;
  TcpSocket listener_;
  std::mutex mutex_;
  bool stopped_ = false;
  std::list<TcpSocket> conns_;
  std::vector<std::thread> threads_;
  std::thread acceptor_;
  std::atomic<int> requests_{0};
};

}  // namespace mv::test
