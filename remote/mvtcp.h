#pragma once
// Remote listings: one instance serves directory listings over TCP, another
// lists a job's remote side through it. Only listings and filter name lists
// travel; file contents still go through the file system by path.
//
// The protocol has no authentication: whoever reaches the port can list
// every directory the server process can read. The server therefore listens
// on loopback unless an address is given.
//
// Time-outs: the client gives up on a request, a connect or the greeting
// after kRemoteTimeout without progress (no byte received or sent), returns
// kDirListNotConnected and drops the connection. The server applies the same
// time-out to the greeting and inside a request, but waits for the next
// request as long as the client keeps the connection. Byte forms and the
// limits of what is accepted from a peer: remote/wire.h.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/dirlist.h"
#include "remote/socket.h"
#include "remote/wire.h"

namespace mv {

inline constexpr std::chrono::milliseconds kRemoteTimeout{60'000};
// Connections served at once; more are closed at once after accepting.
inline constexpr int kMaxRemoteConnections = 64;

// --- Server -----------------------------------------------------------------------

// One line of the server log, as the Server page shows it.
using RemoteLogSink = std::function<void(const std::string& line)>;

// One connected client on the server side. Its listing keeps the filter of
// the last request 17 for the client's later listings.
struct TMVClient {
  std::string Status;   // "Logging In" after the greeting
  std::string Name;
  std::string Version;
  int32_t Number = 0;
  TcpSocket* Connection = nullptr;  // owned by the server's connection record
  TTDirList List;
};

class TMVIPServer {
 public:
  TMVIPServer() = default;
  // Stops the server.
  ~TMVIPServer();
  TMVIPServer(const TMVIPServer&) = delete;
  TMVIPServer& operator=(const TMVIPServer&) = delete;

  // Listens on address ("" = 127.0.0.1; "0.0.0.0" or "::" for every
  // interface) and port (0 = any free port, see Port()). Every log line goes
  // to log, one call at a time. False when already running or the address
  // cannot be bound.
  bool Start(const std::string& address = "", uint16_t port = kRemotePort, RemoteLogSink log = {});
  // Stops listening, ends every connection and joins every thread.
  void Stop();
  bool Running() const;
  // The port listened on; 0 when not running.
  uint16_t Port() const;
  // Clients that have completed the greeting and not gone yet.
  int ClientCount() const;

  // Test seam: the time-out of the greeting and inside a request.
  void SetTimeout(std::chrono::milliseconds timeout) { timeoutMs_ = timeout.count(); }

  const std::string ServerName = kServerName;
  const std::string ServerVersion = kServerVersion;
  const std::string MinClientVersion = kMinClientVersion;

 private:
  struct Connection {
    TcpSocket Socket;  // closed by its thread under mutex_ when it ends
    std::thread Thread;
    bool Done = false;
  };

  void AcceptLoop();
  void Serve(Connection& connection);
  // Handles the request after its code; false when the connection must end.
  bool Handle(int32_t code, TMVClient& client, WireReader& r, WireWriter& w);
  void HandleList(const ListRequest& request, TMVClient& client, WireWriter& w);
  void Log(int32_t clientNumber, const std::string& text);
  void ReapFinished();

  std::mutex startStopMutex_;  // Start and Stop one at a time
  mutable std::mutex mutex_;  // connections_, clients_, listener_ shutdown
  std::list<std::unique_ptr<Connection>> connections_;
  std::vector<TMVClient*> clients_;
  TcpSocket listener_;
  std::thread acceptThread_;
  bool running_ = false;
  uint16_t port_ = 0;

  std::mutex logMutex_;
  RemoteLogSink log_;
  std::atomic<int64_t> timeoutMs_{kRemoteTimeout.count()};
};

// --- Client -----------------------------------------------------------------------

// A job's (or a directory view's) connection to a remote instance. Used by
// one thread at a time. Listings use it through the DirListRemote seam:
// Active() while the host is not empty.
class TMVIPCLient : public DirListRemote {
 public:
  // Takes the next client number of the process (1, 2, ...). The port is
  // kRemotePort for users; tests choose another.
  explicit TMVIPCLient(std::string host = "", uint16_t port = kRemotePort);
  ~TMVIPCLient() override;
  TMVIPCLient(const TMVIPCLient&) = delete;
  TMVIPCLient& operator=(const TMVIPCLient&) = delete;

  // Nothing when connected or the host is empty. Otherwise connects and
  // runs the greeting; on any failure the client stays not connected.
  void Connect() override;
  bool Connected() const { return socket_.Valid(); }
  void Disconnect() override;

  const std::string& Host() const { return host_; }
  // Disconnects first.
  void SetHost(std::string host);
  uint16_t Port() const { return port_; }
  int32_t ClientNumber() const { return number_; }

  // DirListRemote. ReadRemote returns 0, the server's negative status,
  // -ERROR_INVALID_NAME (no traffic) for a path or mask holding CR or LF,
  // or kDirListNotConnected when not connected or when the request fails
  // (the connection is then dropped). SendFilter returns 0 or
  // kDirListNotConnected likewise.
  bool Active() const override { return !host_.empty(); }
  int32_t ReadRemote(const std::string& path, const std::string& mask, int32_t hint,
                     std::vector<FindData>& entries) override;
  int32_t SendFilter(const TTDirFilter& filter) override;

  // Test seam: the time-out of connect, greeting and requests.
  void SetTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }

  std::string ClientName = kClientName;
  std::string ClientVersion = kClientVersion;

 private:
  int32_t Fail();

  std::string host_;
  uint16_t port_;
  int32_t number_;
  std::chrono::milliseconds timeout_ = kRemoteTimeout;
  TcpSocket socket_;
  std::unique_ptr<WireReader> reader_;
};

}  // namespace mv
