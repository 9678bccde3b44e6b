#include "tests/support/nwsim.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "platform/textcase.h"

namespace mv::test {
namespace {

constexpr uint32_t kTable850 = 0x0850;
constexpr uint32_t kTypelessNames = 0x04;
constexpr std::size_t kTreeNameWidth = 32;

std::string StripSlashes(std::string s) {
  while (!s.empty() && s.back() == '/') s.pop_back();
  std::size_t lead = 0;
  while (lead < s.size() && s[lead] == '/') ++lead;
  return s.substr(lead);
}

// Typed names unless the context asks for typeless ones, so that a caller
// that forgets the flag cannot find objects by their plain names.
std::string Shown(const std::string& name, uint32_t flags) {
  return (flags & kTypelessNames) ? name : "CN=" + name;
}

}  // namespace

// --- Setup ---

NWConnection SimNetWare::AddServer(const std::string& server, const std::string& tree) {
  std::lock_guard lock(mutex_);
  const auto conn = static_cast<NWConnection>(servers_.size() + 1);
  servers_[conn] = Server{.Name = UpperCase(server), .Tree = tree};
  return conn;
}

void SimNetWare::Mount(const std::string& prefix, const std::string& server,
                       const std::string& volume) {
  std::lock_guard lock(mutex_);
  for (auto& [conn, s] : servers_) {
    if (!SameTextIgnoringCase(s.Name, server)) continue;
    const std::string vol = UpperCase(volume);
    if (!s.Volumes.count(vol)) s.Volumes[vol] = static_cast<uint32_t>(s.Volumes.size());
    std::string p = UpperCase(prefix);
    while (!p.empty() && p.back() == '/') p.pop_back();
    mounts_.push_back(MountPoint{.Prefix = p, .Conn = conn, .Volume = vol});
    return;
  }
  ADD_FAILURE() << "no simulated server " << server;
}

void SimNetWare::AddObject(const std::string& server, uint32_t id, const std::string& name) {
  std::lock_guard lock(mutex_);
  for (auto& [conn, s] : servers_)
    if (SameTextIgnoringCase(s.Name, server)) {
      s.Objects[id] = name;
      return;
    }
  ADD_FAILURE() << "no simulated server " << server;
}

void SimNetWare::SetDefaultNameContext(const std::string& name) {
  std::lock_guard lock(mutex_);
  defaultNameContext_ = name;
}

void SimNetWare::SetTrusteesPerBlock(std::size_t n) {
  std::lock_guard lock(mutex_);
  trusteesPerBlock_ = n == 0 ? 1 : n;
}

void SimNetWare::SetDirInfo(const std::string& path, const NWDirInfo& info) {
  std::lock_guard lock(mutex_);
  At(TestKey(path)).Info = info;
}

NWDirInfo SimNetWare::DirInfo(const std::string& path) {
  std::lock_guard lock(mutex_);
  return At(TestKey(path)).Info;
}

void SimNetWare::SetTrustees(const std::string& path, const std::vector<NWTrusteeEntry>& trustees) {
  std::lock_guard lock(mutex_);
  At(TestKey(path)).Trustees = trustees;
}

std::vector<NWTrusteeEntry> SimNetWare::Trustees(const std::string& path) {
  std::lock_guard lock(mutex_);
  return At(TestKey(path)).Trustees;
}

int32_t SimNetWare::AddDeleted(const std::string& path, const NWDeletedEntry& entry) {
  std::lock_guard lock(mutex_);
  const int32_t sequence = nextSequence_++;
  At(TestKey(path)).Deleted[sequence] = entry;
  return sequence;
}

std::vector<std::string> SimNetWare::DeletedNames(const std::string& path) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> names;
  for (const auto& [sequence, entry] : At(TestKey(path)).Deleted) names.push_back(entry.Name);
  return names;
}

void SimNetWare::Fail(NWSimOp op, uint32_t status, int skip, int times) {
  std::lock_guard lock(mutex_);
  failures_[static_cast<std::size_t>(op)] = Failure{.Status = status, .Skip = skip, .Times = times};
}

void SimNetWare::ClearFailures() {
  std::lock_guard lock(mutex_);
  failures_.fill(std::nullopt);
}

int SimNetWare::Calls(NWSimOp op) const {
  std::lock_guard lock(mutex_);
  return calls_[static_cast<std::size_t>(op)];
}

int SimNetWare::OpenDirHandles() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(handles_.size());
}

int SimNetWare::OpenContexts() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(contexts_.size());
}

// --- Internals (mutex held) ---

uint32_t SimNetWare::Forced(NWSimOp op) {
  const auto i = static_cast<std::size_t>(op);
  ++calls_[i];
  auto& f = failures_[i];
  if (!f) return 0;
  if (f->Skip > 0) {
    --f->Skip;
    return 0;
  }
  if (f->Times == 0) return 0;
  if (f->Times > 0) --f->Times;
  return f->Status;
}

SimNetWare::Server* SimNetWare::FindServer(NWConnection conn) {
  auto it = servers_.find(conn);
  return it == servers_.end() ? nullptr : &it->second;
}

std::optional<SimNetWare::Key> SimNetWare::MapPath(const std::string& path) const {
  const std::string up = UpperCase(path);
  const MountPoint* best = nullptr;
  for (const MountPoint& m : mounts_) {
    const bool inside = up.compare(0, m.Prefix.size(), m.Prefix) == 0 &&
                        (up.size() == m.Prefix.size() || up[m.Prefix.size()] == '/');
    if (inside && (best == nullptr || m.Prefix.size() > best->Prefix.size())) best = &m;
  }
  if (best == nullptr) return std::nullopt;
  return Key{best->Conn, best->Volume + ":" + StripSlashes(up.substr(best->Prefix.size()))};
}

SimNetWare::Key SimNetWare::TestKey(const std::string& path) const {
  if (auto key = MapPath(path)) return *key;
  ADD_FAILURE() << "not on a simulated volume: " << path;
  return Key{0, "?:"};
}

SimNetWare::Directory& SimNetWare::At(const Key& key) {
  auto [it, created] = dirs_.try_emplace(key);
  if (created) it->second.Base = nextBase_++;
  return it->second;
}

uint32_t SimNetWare::VolumeNumber(const Key& key) {
  Server* server = FindServer(key.first);
  const std::string volume = key.second.substr(0, key.second.find(':'));
  return server ? server->Volumes[volume] : 0;
}

SimNetWare::Directory* SimNetWare::Resolve(NWConnection conn, NWDirHandle handle,
                                           const std::string& path, Key* key) {
  Server* server = FindServer(conn);
  if (server == nullptr) return nullptr;
  std::string full = StripSlashes(UpperCase(path));
  if (handle != 0) {
    auto it = handles_.find(handle);
    if (it == handles_.end() || it->second.first != conn) return nullptr;
    const std::string& base = it->second.second;
    full = full.empty() ? base : base + (base.back() == ':' ? "" : "/") + full;
  }
  const auto colon = full.find(':');
  if (colon == std::string::npos || !server->Volumes.count(full.substr(0, colon))) return nullptr;
  const Key k{conn, full};
  if (key) *key = k;
  return &At(k);
}

// --- NetWareClient ---

uint32_t SimNetWare::Initialize() {
  std::lock_guard lock(mutex_);
  return Forced(NWSimOp::Initialize);
}

uint32_t SimNetWare::LoadConversionTable(int codePage, uint32_t& table) {
  std::lock_guard lock(mutex_);
  table = 0;
  if (uint32_t s = Forced(NWSimOp::LoadTable)) return s;
  if (codePage != 850) return kSimBadTable;
  table = kTable850;
  tables_.insert(table);
  return 0;
}

uint32_t SimNetWare::FreeConversionTable(uint32_t table) {
  std::lock_guard lock(mutex_);
  return tables_.erase(table) ? 0 : kSimBadTable;
}

uint32_t SimNetWare::ToCodePage(uint32_t table, const std::string& text, std::size_t maxBytes,
                                std::string& out) {
  std::lock_guard lock(mutex_);
  out.clear();
  if (uint32_t s = Forced(NWSimOp::ToCodePage)) return s;
  if (!tables_.count(table)) return kSimBadTable;
  // The simulated code page is the program's own encoding.
  out = text.substr(0, maxBytes);
  return text.size() > maxBytes ? kSimTooLong : 0;
}

uint32_t SimNetWare::ParsePath(const std::string& path, NWConnection& conn, NWDirHandle& dirHandle,
                               std::string& relativePath) {
  std::lock_guard lock(mutex_);
  conn = 0;
  dirHandle = 0;
  relativePath.clear();
  if (uint32_t s = Forced(NWSimOp::ParsePath)) return s;
  const auto key = MapPath(path);
  if (!key) return kSimNotOnNetWare;
  conn = key->first;
  relativePath = key->second;
  return 0;
}

uint32_t SimNetWare::AllocDirHandle(NWConnection conn, NWDirHandle dirHandle,
                                    const std::string& path, NWDirHandle& newHandle,
                                    uint8_t* rights) {
  std::lock_guard lock(mutex_);
  newHandle = 0;
  if (uint32_t s = Forced(NWSimOp::AllocDirHandle)) return s;
  if (!FindServer(conn)) return kSimBadConnection;
  Key key;
  if (!Resolve(conn, dirHandle, path, &key)) return kSimBadPath;
  for (unsigned h = 1; h <= 255; ++h) {
    if (handles_.count(static_cast<NWDirHandle>(h))) continue;
    newHandle = static_cast<NWDirHandle>(h);
    handles_[newHandle] = key;
    if (rights) *rights = 0xFF;
    return 0;
  }
  return kSimNoHandles;
}

uint32_t SimNetWare::DeallocDirHandle(NWConnection conn, NWDirHandle dirHandle) {
  std::lock_guard lock(mutex_);
  // Counted but never failed: a release that fails would leak the handle.
  ++calls_[static_cast<std::size_t>(NWSimOp::DeallocDirHandle)];
  auto it = handles_.find(dirHandle);
  if (it == handles_.end() || it->second.first != conn) return kSimBadHandle;
  handles_.erase(it);
  return 0;
}

uint32_t SimNetWare::ScanDeletedFile(NWConnection conn, NWDirHandle dirHandle, int32_t& sequence,
                                     uint32_t& volume, uint32_t& dirBase, NWDeletedEntry& entry) {
  std::lock_guard lock(mutex_);
  if (uint32_t s = Forced(NWSimOp::ScanDeleted)) return s;
  Key key;
  Directory* dir = dirHandle == 0 ? nullptr : Resolve(conn, dirHandle, "", &key);
  if (!dir) return kSimBadHandle;
  auto it = dir->Deleted.upper_bound(sequence);
  if (it == dir->Deleted.end()) return kNWNoMoreEntries;
  sequence = it->first;
  volume = VolumeNumber(key);
  dirBase = dir->Base;
  entry = it->second;
  return 0;
}

uint32_t SimNetWare::PurgeDeletedFile(NWConnection conn, NWDirHandle dirHandle, int32_t sequence,
                                      uint32_t volume, uint32_t dirBase) {
  std::lock_guard lock(mutex_);
  if (uint32_t s = Forced(NWSimOp::Purge)) return s;
  Key key;
  Directory* dir = dirHandle == 0 ? nullptr : Resolve(conn, dirHandle, "", &key);
  if (!dir) return kSimBadHandle;
  if (volume != VolumeNumber(key) || dirBase != dir->Base) return kSimBadPath;
  return dir->Deleted.erase(sequence) ? 0 : kSimNoSuchEntry;
}

uint32_t SimNetWare::ScanDirectoryEntry(NWConnection conn, NWDirHandle dirHandle, int32_t& sequence,
                                        NWDirInfo& info) {
  std::lock_guard lock(mutex_);
  if (uint32_t s = Forced(NWSimOp::ScanDirEntry)) return s;
  Directory* dir = dirHandle == 0 ? nullptr : Resolve(conn, dirHandle, "");
  if (!dir) return kSimBadHandle;
  sequence = 0;
  info = dir->Info;
  return 0;
}

uint32_t SimNetWare::SetDirectoryInformation(NWConnection conn, NWDirHandle dirHandle,
                                             const std::string& path, uint32_t dateTime,
                                             uint32_t owner, uint16_t rightsMask) {
  std::lock_guard lock(mutex_);
  if (uint32_t s = Forced(NWSimOp::SetDirInfo)) return s;
  Directory* dir = Resolve(conn, dirHandle, path);
  if (!dir) return kSimBadPath;
  dir->Info = NWDirInfo{.DateTime = dateTime, .Owner = owner, .InheritedRights = rightsMask};
  return 0;
}

uint32_t SimNetWare::ScanTrustees(NWConnection conn, NWDirHandle dirHandle, const std::string& path,
                                  uint32_t& iteration, std::vector<NWTrusteeEntry>& block) {
  std::lock_guard lock(mutex_);
  block.clear();
  if (uint32_t s = Forced(NWSimOp::ScanTrustees)) return s;
  Directory* dir = Resolve(conn, dirHandle, path);
  if (!dir) return kSimBadPath;
  const std::size_t first = iteration * trusteesPerBlock_;
  if (first >= dir->Trustees.size()) return kSimBadPath;
  const std::size_t last = std::min(dir->Trustees.size(), first + trusteesPerBlock_);
  block.assign(dir->Trustees.begin() + static_cast<std::ptrdiff_t>(first),
               dir->Trustees.begin() + static_cast<std::ptrdiff_t>(last));
  ++iteration;
  return 0;
}

uint32_t SimNetWare::AddTrustee(NWConnection conn, NWDirHandle dirHandle, const std::string& path,
                                uint32_t objectId, uint16_t rights) {
  std::lock_guard lock(mutex_);
  if (uint32_t s = Forced(NWSimOp::AddTrustee)) return s;
  Directory* dir = Resolve(conn, dirHandle, path);
  if (!dir) return kSimBadPath;
  if (!FindServer(conn)->Objects.count(objectId)) return kSimNoSuchObject;
  for (NWTrusteeEntry& t : dir->Trustees)
    if (t.ObjectID == objectId) {
      t.Rights = rights;
      return 0;
    }
  dir->Trustees.push_back(NWTrusteeEntry{.ObjectID = objectId, .Rights = rights});
  return 0;
}

uint32_t SimNetWare::CreateContext(NWContext& context) {
  std::lock_guard lock(mutex_);
  context = 0;
  if (uint32_t s = Forced(NWSimOp::CreateContext)) return s;
  context = nextContext_++;
  contexts_[context] = Context{};
  return 0;
}

uint32_t SimNetWare::FreeContext(NWContext context) {
  std::lock_guard lock(mutex_);
  ++calls_[static_cast<std::size_t>(NWSimOp::FreeContext)];
  return contexts_.erase(context) ? 0 : kSimBadContext;
}

uint32_t SimNetWare::GetContextValue(NWContext context, uint32_t key, std::string& value) {
  std::lock_guard lock(mutex_);
  value.clear();
  if (uint32_t s = Forced(NWSimOp::GetContextValue)) return s;
  auto it = contexts_.find(context);
  if (it == contexts_.end()) return kSimBadContext;
  if (key == kNWContextTreeName)
    value = it->second.Tree;
  else if (key == kNWContextNameContext)
    value = it->second.NameContext;
  else
    return kSimBadContext;
  return 0;
}

uint32_t SimNetWare::SetContextValue(NWContext context, uint32_t key, const std::string& value) {
  std::lock_guard lock(mutex_);
  if (uint32_t s = Forced(NWSimOp::SetContextValue)) return s;
  auto it = contexts_.find(context);
  if (it == contexts_.end()) return kSimBadContext;
  if (key == kNWContextTreeName)
    it->second.Tree = value;
  else if (key == kNWContextNameContext)
    it->second.NameContext = value;
  else
    return kSimBadContext;
  return 0;
}

uint32_t SimNetWare::GetContextFlags(NWContext context, uint32_t& flags) {
  std::lock_guard lock(mutex_);
  flags = 0;
  if (uint32_t s = Forced(NWSimOp::GetContextFlags)) return s;
  auto it = contexts_.find(context);
  if (it == contexts_.end()) return kSimBadContext;
  flags = it->second.Flags;
  return 0;
}

uint32_t SimNetWare::SetContextFlags(NWContext context, uint32_t flags) {
  std::lock_guard lock(mutex_);
  if (uint32_t s = Forced(NWSimOp::SetContextFlags)) return s;
  auto it = contexts_.find(context);
  if (it == contexts_.end()) return kSimBadContext;
  it->second.Flags = flags;
  return 0;
}

uint32_t SimNetWare::DefaultNameContext(NWContext context, std::string& name) {
  std::lock_guard lock(mutex_);
  name.clear();
  if (uint32_t s = Forced(NWSimOp::DefaultNameContext)) return s;
  if (!contexts_.count(context)) return kSimBadContext;
  name = defaultNameContext_;
  return 0;
}

uint32_t SimNetWare::NameToObjectId(NWContext context, NWConnection conn, const std::string& name,
                                    uint32_t& objectId) {
  std::lock_guard lock(mutex_);
  objectId = 0;
  if (uint32_t s = Forced(NWSimOp::NameToObjectId)) return s;
  auto ctx = contexts_.find(context);
  Server* server = FindServer(conn);
  if (ctx == contexts_.end() || !server) return kSimBadContext;
  if (!SameTextIgnoringCase(ctx->second.Tree, server->Tree)) return kSimNoSuchObject;
  for (const auto& [id, objectName] : server->Objects)
    if (SameTextIgnoringCase(Shown(objectName, ctx->second.Flags), name)) {
      objectId = id;
      return 0;
    }
  return kSimNoSuchObject;
}

uint32_t SimNetWare::ObjectIdToName(NWContext context, NWConnection conn, uint32_t objectId,
                                    std::string& name) {
  std::lock_guard lock(mutex_);
  name.clear();
  if (uint32_t s = Forced(NWSimOp::ObjectIdToName)) return s;
  auto ctx = contexts_.find(context);
  Server* server = FindServer(conn);
  if (ctx == contexts_.end() || !server) return kSimBadContext;
  auto obj = server->Objects.find(objectId);
  if (!SameTextIgnoringCase(ctx->second.Tree, server->Tree) || obj == server->Objects.end())
    return kSimNoSuchObject;
  name = Shown(obj->second, ctx->second.Flags);
  return 0;
}

uint32_t SimNetWare::TreeName(NWConnection conn, std::string& name) {
  std::lock_guard lock(mutex_);
  name.clear();
  if (uint32_t s = Forced(NWSimOp::TreeName)) return s;
  Server* server = FindServer(conn);
  if (!server) return kSimBadConnection;
  name = server->Tree;
  if (name.size() < kTreeNameWidth) name.append(kTreeNameWidth - name.size(), '_');
  return 0;
}

uint32_t SimNetWare::FileServerFileCopy(int sourceFd, int targetFd, int64_t sourcePos,
                                        int64_t targetPos, int64_t count, int64_t& copied) {
  {
    std::lock_guard lock(mutex_);
    copied = 0;
    if (uint32_t s = Forced(NWSimOp::FileCopy)) return s;
  }
  char buf[65536];
  while (copied < count) {
    const auto want = static_cast<std::size_t>(std::min<int64_t>(sizeof buf, count - copied));
    const ssize_t got = ::pread(sourceFd, buf, want, sourcePos + copied);
    if (got < 0) return kSimIoError;
    if (got == 0) break;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::pwrite(targetFd, buf + done, static_cast<std::size_t>(got - done),
                                   targetPos + copied + done);
      if (put <= 0) return kSimIoError;
      done += put;
    }
    copied += got;
  }
  return 0;
}

}  // namespace mv::test
