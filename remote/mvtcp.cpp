#include "remote/mvtcp.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string_view>
#include <system_error>

#include "platform/clock.h"
#include "platform/datetext.h"
#include "platform/hextext.h"
#include "platform/oserror.h"

namespace mv {

namespace {


// Longest log text; longer ones are cut.
constexpr size_t kMaxLogText = 512;

// The process-wide source of client numbers.
std::atomic<int32_t> nextClientNumber{1};

}  // namespace

RemoteServerLimits RemoteServerLimits::FromEnvironment() {
  RemoteServerLimits limits;
  const char* env = std::getenv("MIRAVA_REMOTE_LIMITS");
  std::string_view rest = env != nullptr ? env : "";
  while (!rest.empty()) {
    const std::string_view item = rest.substr(0, rest.find(','));
    rest.remove_prefix(std::min(rest.size(), item.size() + 1));
    const size_t eq = item.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = item.substr(0, eq), text = item.substr(eq + 1);
    int64_t value = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), value).ec != std::errc() || value <= 0) continue;
    const std::chrono::milliseconds ms(value);
    if (key == "timeout") limits.Timeout = ms;
    if (key == "greeting") limits.GreetingLimit = ms;
    if (key == "request") limits.RequestLimit = ms;
    if (key == "idle") limits.IdleLimit = ms;
    if (key == "connections") limits.MaxConnections = static_cast<int>(std::min<int64_t>(value, 4096));
    if (key == "peraddress") limits.MaxPerAddress = static_cast<int>(std::min<int64_t>(value, 4096));
  }
  return limits;
}

// --- TMVIPServer ------------------------------------------------------------------

TMVIPServer::~TMVIPServer() { Stop(); }

bool TMVIPServer::Start(const std::string& address, uint16_t port, RemoteLogSink log) {
  std::lock_guard startStop(startStopMutex_);
  std::lock_guard lock(mutex_);
  if (running_) return false;
  if (!listener_.Listen(address, port)) return false;
  port_ = listener_.LocalPort();
  {
    std::lock_guard logLock(logMutex_);
    log_ = std::move(log);
  }
  try {
    acceptThread_ = std::thread([this] { AcceptLoop(); });
  } catch (const std::system_error&) {
    listener_.Close();
    return false;
  }
  running_ = true;
  return true;
}

void TMVIPServer::Stop() {
  std::lock_guard startStop(startStopMutex_);
  {
    std::lock_guard lock(mutex_);
    if (!running_) return;
    listener_.Shutdown();
  }
  acceptThread_.join();
  std::list<std::unique_ptr<Connection>> connections;
  {
    std::lock_guard lock(mutex_);
    listener_.Close();
    for (auto& c : connections_) c->Socket.Shutdown();
    connections.swap(connections_);
  }
  for (auto& c : connections) c->Thread.join();
  std::lock_guard lock(mutex_);
  running_ = false;
  port_ = 0;
}

bool TMVIPServer::Running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

uint16_t TMVIPServer::Port() const {
  std::lock_guard lock(mutex_);
  return port_;
}

int TMVIPServer::ClientCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(clients_.size());
}

void TMVIPServer::ReapFinished() {
  std::list<std::unique_ptr<Connection>> finished;
  {
    std::lock_guard lock(mutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      auto next = std::next(it);
      if ((*it)->Done) finished.splice(finished.end(), connections_, it);
      it = next;
    }
  }
  for (auto& c : finished) c->Thread.join();
}

bool TMVIPServer::Admit(const std::string& address) {
  int fromAddress = 0, live = 0;
  Connection* idlest = nullptr;
  Connection* oldestGreeting = nullptr;
  for (auto& c : connections_) {
    if (c->Done) continue;
    ++live;
    if (c->Address == address) ++fromAddress;
    if (c->Now == Connection::State::Idle && (idlest == nullptr || c->Since < idlest->Since)) idlest = c.get();
    if (c->Now == Connection::State::Greeting && (oldestGreeting == nullptr || c->Since < oldestGreeting->Since))
      oldestGreeting = c.get();
  }
  if (fromAddress >= limits_.MaxPerAddress) return false;
  if (live < limits_.MaxConnections) return true;
  // Every slot taken: the client that waits the longest for nothing makes
  // room, so silent or slow clients cannot shut out the others.
  Connection* victim = idlest != nullptr ? idlest : oldestGreeting;
  if (victim == nullptr) return false;
  victim->Socket.Shutdown();
  victim->Now = Connection::State::Busy;  // chosen once; its thread ends it
  return true;
}

void TMVIPServer::SetState(Connection& connection, Connection::State state) {
  std::lock_guard lock(mutex_);
  connection.Now = state;
  connection.Since = std::chrono::steady_clock::now();
}

void TMVIPServer::AcceptLoop() {
  for (;;) {
    TcpSocket socket = listener_.Accept();
    if (!socket.Valid()) return;  // shut down by Stop(), or a listener that cannot recover
    ReapFinished();
    const std::string address = socket.PeerAddress();
    std::lock_guard lock(mutex_);
    if (!Admit(address)) continue;  // closes it
    auto connection = std::make_unique<Connection>();
    connection->Socket = std::move(socket);
    connection->Address = address;
    Connection* c = connection.get();
    connections_.push_back(std::move(connection));
    try {
      c->Thread = std::thread([this, c] {
        Serve(*c);
        std::lock_guard endLock(mutex_);
        c->Socket.Close();
        c->Done = true;
      });
    } catch (const std::system_error&) {
      connections_.pop_back();  // no thread to be had now: this client is turned away
    }
  }
}

void TMVIPServer::Log(int32_t clientNumber, const std::string& text) {
  // Client names come from the peer: no control characters or megabytes in the log.
  std::string shown = text.substr(0, kMaxLogText);
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  const std::string line =
      DateTimeToStr(Now()) + " [][" + HexText(static_cast<uint32_t>(clientNumber), 4) + "]: " + shown;
  std::lock_guard lock(logMutex_);
  if (log_) log_(line);
}

void TMVIPServer::Serve(Connection& connection) {
  TcpSocket& socket = connection.Socket;
  const RemoteServerLimits limits = limits_;
  socket.SetTimeout(limits.Timeout);
  socket.StartBudget(limits.GreetingLimit, limits.MinRate);
  WireReader r(socket);
  WireWriter w(socket);
  WriteServerHello(w);
  ClientHello hello;
  if (!w.Flush() || !ReadClientHello(r, hello)) return;

  TMVClient client{.Status = "Logging In", .Name = hello.Name, .Version = hello.Version,
                   .Number = hello.Number, .Connection = &socket};
  {
    std::lock_guard lock(mutex_);
    clients_.push_back(&client);
  }
  Log(client.Number, client.Name + " establish connection...");
  if (client.Version < MinClientVersion) {
    Log(client.Number, "minimum Version required=" + MinClientVersion);
  } else {
    for (;;) {
      // Between requests a client may stay quiet for a while; its next
      // request then starts the clock of that request.
      if (r.Buffered() == 0) {
        SetState(connection, Connection::State::Idle);
        socket.EndBudget();
        socket.SetTimeout(limits.IdleLimit);
      }
      int32_t code = 0;
      if (!r.ReadInt(code)) break;
      SetState(connection, Connection::State::Busy);
      socket.SetTimeout(limits.Timeout);
      socket.StartBudget(limits.RequestLimit, limits.MinRate);
      Log(client.Number, client.Name + " REQUEST " + HexText(static_cast<uint32_t>(code), 8));
      if (!Handle(code, client, r, w)) break;
    }
  }
  socket.Shutdown();
  {
    std::lock_guard lock(mutex_);
    std::erase(clients_, &client);
  }
  Log(client.Number, "disconnected");
}

bool TMVIPServer::Handle(int32_t code, TMVClient& client, WireReader& r, WireWriter& w) {
  if (code == kRequestList) {
    ListRequest request;
    if (!ReadListRequest(r, request)) return false;
    HandleList(request, client, w);
  } else if (code == kRequestFilter) {
    FilterRequest request;
    if (!ReadFilterRequest(r, request)) return false;
    TTDirFilter& filter = client.List.Filter;
    filter.IncludeFileNames = std::move(request.IncludeFileNames);
    filter.ExcludeFileNames = std::move(request.ExcludeFileNames);
    filter.IncludeDirNames = std::move(request.IncludeDirNames);
    filter.ExcludeDirNames = std::move(request.ExcludeDirNames);
    w.Int(kEndOfReply);
  } else {
    w.Int(kEndOfReply);
  }
  return w.Flush();
}

void TMVIPServer::HandleList(const ListRequest& request, TMVClient& client, WireWriter& w) {
  TTDirList& list = client.List;
  list.Mask = request.Mask;
  list.RemoteHint = static_cast<uint64_t>(static_cast<int64_t>(request.Hint));
  const int32_t result = list.Read(request.Path);
  if (result < 0) {
    WriteListReply(w, std::max(result, kMinReplyStatus), {});
    return;
  }
  // The other side already holds these files: only the folders travel.
  const bool unchanged = request.Hint != 0 && list.Signature() == list.RemoteHint;
  std::vector<ReplyEntry> entries;
  entries.reserve(static_cast<size_t>(list.Count()));
  for (int32_t i = 0; i < list.Count(); ++i) {
    const TTDirEntry& e = list[i];
    if (unchanged && !e.IsNormalDirectory()) continue;
    if (!LineSafe(e.Name)) continue;  // would split the stream; see wire.h
    entries.push_back({.Time = e.Time, .Size = e.Size, .Attr = e.Attr, .Name = e.Name});
  }
  WriteListReply(w, 0, entries);
}

// --- TMVIPCLient ------------------------------------------------------------------

TMVIPCLient::TMVIPCLient(std::string host, uint16_t port)
    : host_(std::move(host)), port_(port), number_(nextClientNumber.fetch_add(1)) {}

TMVIPCLient::~TMVIPCLient() { Disconnect(); }

void TMVIPCLient::SetHost(std::string host) {
  Disconnect();
  host_ = std::move(host);
}

void TMVIPCLient::Connect() {
  if (Connected() || host_.empty()) return;
  socket_.SetTimeout(timeout_);
  socket_.StartBudget(timeout_, kRemoteMinRate);
  if (!socket_.Connect(host_, port_)) return;
  reader_ = std::make_unique<WireReader>(socket_);
  WireWriter w(socket_);
  WriteClientHello(w, {.Name = ClientName, .Version = ClientVersion, .Number = number_});
  if (!ReadServerHello(*reader_) || !w.Flush()) Disconnect();
}

bool TMVIPCLient::Ready() {
  if (!Connected()) return false;
  if (reader_->Buffered() > 0 || !socket_.PeerClosed()) return true;
  // The server dropped us while the job had no listing to ask for.
  socket_.Close();
  reader_.reset();
  Connect();
  if (!Connected()) return false;
  if (filter_ && !Send(*filter_)) {
    Disconnect();
    return false;
  }
  return true;
}

bool TMVIPCLient::Send(const FilterRequest& filter) {
  socket_.StartBudget(timeout_, kRemoteMinRate);
  WireWriter w(socket_);
  return WriteFilterRequest(w, filter) && w.Flush() && ReadEndOfReply(*reader_);
}

void TMVIPCLient::Disconnect() {
  socket_.Close();
  reader_.reset();
  filter_.reset();  // a new connection starts with the server's default filter
}

int32_t TMVIPCLient::Fail() {
  Disconnect();
  return kDirListNotConnected;
}

int32_t TMVIPCLient::ReadRemote(const std::string& path, const std::string& mask, int32_t hint,
                                std::vector<FindData>& entries) {
  const std::size_t before = entries.size();
  const int32_t status =
      ReadRemoteEach(path, mask, hint, [&entries](FindData&& found) { entries.push_back(std::move(found)); });
  if (status == kDirListNotConnected) entries.resize(before);  // half a listing must not pass for a short one
  return status;
}

int32_t TMVIPCLient::ReadRemoteEach(const std::string& path, const std::string& mask, int32_t hint,
                                    const std::function<void(FindData&&)>& each) {
  if (!LineSafe(path) || !LineSafe(mask)) return Connected() ? -static_cast<int32_t>(ERROR_INVALID_NAME) : kDirListNotConnected;
  if (!Ready()) return kDirListNotConnected;
  socket_.StartBudget(timeout_, kRemoteMinRate);
  WireWriter w(socket_);
  WriteListRequest(w, {.Path = path, .Mask = mask, .Hint = hint});
  int32_t status = 0;
  if (!w.Flush() || !ReadListReply(*reader_, each, status)) return Fail();
  return status;
}

int32_t TMVIPCLient::SendFilter(const TTDirFilter& filter) {
  FilterRequest request{.IncludeFileNames = filter.IncludeFileNames,
                        .ExcludeFileNames = filter.ExcludeFileNames,
                        .IncludeDirNames = filter.IncludeDirNames,
                        .ExcludeDirNames = filter.ExcludeDirNames};
  for (const std::string* text : {&request.IncludeFileNames, &request.ExcludeFileNames, &request.IncludeDirNames,
                                  &request.ExcludeDirNames})
    if (!LineSafe(*text)) return Connected() ? -static_cast<int32_t>(ERROR_INVALID_NAME) : kDirListNotConnected;
  if (!Ready()) return kDirListNotConnected;
  if (!Send(request)) return Fail();
  filter_ = std::move(request);
  return 0;
}

}  // namespace mv
