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
// after kRemoteTimeout without progress (no byte received or sent), or when
// the whole exchange takes longer than kRemoteTimeout plus one second per
// kRemoteMinRate bytes moved; it then returns kDirListNotConnected and drops
// the connection. The server bounds each greeting and request the same way
// (RemoteServerLimits), drops clients idle between requests for too long
// (a job's client connects again by itself on its next request), and lets no
// peer address hold more than a share of its connections. Byte forms and
// the limits of what is accepted from a peer: remote/wire.h.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/dirlist.h"
#include "remote/socket.h"
#include "remote/wire.h"

namespace mv {

inline constexpr std::chrono::milliseconds kRemoteTimeout{60'000};
// Slowest transfer an exchange may keep up beyond its time-out (bytes/s).
inline constexpr std::size_t kRemoteMinRate = 32 * 1024;
// Connections served at once.
inline constexpr int kMaxRemoteConnections = 64;
// Memory the listings read through one client may hold at once.
inline constexpr int64_t kRemoteListingBudget = int64_t{1} << 30;

// What the server allows its clients.
struct RemoteServerLimits {
  // Longest wait for a byte inside a greeting or a request.
  std::chrono::milliseconds Timeout = kRemoteTimeout;
  // A whole greeting may take this long.
  std::chrono::milliseconds GreetingLimit{10'000};
  // A whole request with its reply: RequestLimit plus one second per
  // MinRate bytes moved.
  std::chrono::milliseconds RequestLimit = kRemoteTimeout;
  std::size_t MinRate = kRemoteMinRate;
  // A client silent between requests for this long is dropped.
  std::chrono::milliseconds IdleLimit{300'000};
  // Connections at once, and of them from one peer address. When all are
  // taken, a new client replaces the one idle the longest (or the oldest
  // still in its greeting); a new one from an address at its share is
  // closed at once.
  int MaxConnections = kMaxRemoteConnections;
  int MaxPerAddress = 16;

  // The defaults, with the fields named in MIRAVA_REMOTE_LIMITS changed
  // ("idle=500,greeting=200,request=1000,timeout=1000,connections=8,
  // peraddress=2"; times in milliseconds): a seam for tests of the program.
  static RemoteServerLimits FromEnvironment();
};

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
  TMVIPServer() : limits_(RemoteServerLimits::FromEnvironment()) {}
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

  // Before Start.
  void SetLimits(const RemoteServerLimits& limits) { limits_ = limits; }
  const RemoteServerLimits& Limits() const { return limits_; }
  // Test seam: the time-out of the greeting and inside a request.
  void SetTimeout(std::chrono::milliseconds timeout) { limits_.Timeout = timeout; }

  const std::string ServerName = kServerName;
  const std::string ServerVersion = kServerVersion;
  const std::string MinClientVersion = kMinClientVersion;

 private:
  struct Connection {
    enum class State { Greeting, Idle, Busy };
    TcpSocket Socket;  // closed by its thread under mutex_ when it ends
    std::thread Thread;
    bool Done = false;
    // Under mutex_: what it does, since when, and where it comes from.
    State Now = State::Greeting;
    std::chrono::steady_clock::time_point Since = std::chrono::steady_clock::now();
    std::string Address;
  };

  void AcceptLoop();
  void Serve(Connection& connection);
  // Handles the request after its code; false when the connection must end.
  bool Handle(int32_t code, TMVClient& client, WireReader& r, WireWriter& w);
  void HandleList(const ListRequest& request, TMVClient& client, WireWriter& w);
  void Log(int32_t clientNumber, const std::string& text);
  void ReapFinished();
  // Under mutex_: whether a new client from address may come in, making
  // room first when every connection is taken.
  bool Admit(const std::string& address);
  void SetState(Connection& connection, Connection::State state);

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
  RemoteServerLimits limits_;
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

  // DirListRemote. A connection the server has closed in the meantime (an
  // idle client is dropped) is opened again first, with the last filter
  // sent. ReadRemote returns 0, the server's negative status,
  // -ERROR_INVALID_NAME (no traffic) for a path or mask holding CR or LF,
  // or kDirListNotConnected when not connected or when the request fails
  // (the connection is then dropped). SendFilter returns 0 or
  // kDirListNotConnected likewise.
  bool Active() const override { return !host_.empty(); }
  int32_t ReadRemote(const std::string& path, const std::string& mask, int32_t hint,
                     std::vector<FindData>& entries) override;
  int32_t ReadRemoteEach(const std::string& path, const std::string& mask, int32_t hint,
                         const std::function<void(FindData&&)>& each) override;
  int32_t SendFilter(const TTDirFilter& filter) override;

  std::shared_ptr<ListingBudget> Budget() const override { return budget_; }
  // A new budget for the listings from now on (tests).
  void SetListingBudget(int64_t bytes) { budget_ = std::make_shared<ListingBudget>(bytes); }

  // Test seam: the time-out of connect, greeting and requests.
  void SetTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }

  std::string ClientName = kClientName;
  std::string ClientVersion = kClientVersion;

 private:
  int32_t Fail();
  // Connected, and opened again (with the last filter) when the server has
  // closed it since the last request.
  bool Ready();
  // Sends filter and reads the reply; false when the connection failed.
  bool Send(const FilterRequest& filter);

  std::string host_;
  uint16_t port_;
  int32_t number_;
  std::chrono::milliseconds timeout_ = kRemoteTimeout;
  TcpSocket socket_;
  std::unique_ptr<WireReader> reader_;
  std::optional<FilterRequest> filter_;  // the last one sent
  std::shared_ptr<ListingBudget> budget_ = std::make_shared<ListingBudget>(kRemoteListingBudget);
};

}  // namespace mv
