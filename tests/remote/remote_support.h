#pragma once
// Raw wire bytes and a scripted peer for the remote protocol tests.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "remote/socket.h"

namespace mv::test {

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

// Bounded wait for what other threads do next.
inline bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 1000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return done();
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

}  // namespace mv::test
