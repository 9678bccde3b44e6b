#include "tests/support/nwsim.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "platform/textcase.h"

namespace mv::test {
namespace {

constexpr uint32_t kTypelessNames = 0x04;
constexpr std::size_t kTreeNameWidth = 32;

std::string StripSlashes(std::string s) {
  while (!s.empty() && s.back() == '/') s.pop_back();
  return s.substr(std::min(s.size(), s.find_first_not_of('/')));
}

// Typed names unless the context asks for typeless ones, so that a caller
// that forgets the flag cannot find objects by their plain names.
std::string Shown(const std::string& name, uint32_t flags) {
  return (flags & kTypelessNames) ? name : "CN=" + name;
}

}  // namespace

NWConnection SimNetWare::AddServer(const std::string& server, const std::string& tree) {
  const auto conn = static_cast<NWConnection>(servers_.size() + 1);
  servers_[conn] = Server{.Name = UpperCase(server), .Tree = tree};
  return conn;
}

void SimNetWare::Mount(const std::string& prefix, const std::string& server,
                       const std::string& volume) {
  const NWConnection conn = ServerNamed(server);
  if (conn == 0) return;
  auto& volumes = servers_[conn].Volumes;
  const std::string vol = UpperCase(volume);
  if (!volumes.count(vol)) volumes[vol] = static_cast<uint32_t>(volumes.size());
  std::string p = UpperCase(prefix);
  while (!p.empty() && p.back() == '/') p.pop_back();
  mounts_.push_back({p, Key{conn, vol}});
}

void SimNetWare::AddObject(const std::string& server, uint32_t id, const std::string& name) {
  if (NWConnection conn = ServerNamed(server)) servers_[conn].Objects[id] = name;
}

SimDirectory& SimNetWare::Dir(const std::string& path) {
  const auto key = MapPath(path);
  if (!key) ADD_FAILURE() << "not on a simulated volume: " << path;
  return At(key.value_or(Key{0, "?:"}));
}

int32_t SimNetWare::AddDeleted(const std::string& path, const NWDeletedEntry& entry) {
  Dir(path).Deleted[nextSequence_] = entry;
  return nextSequence_++;
}

std::vector<std::string> SimNetWare::DeletedNames(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& [sequence, entry] : Dir(path).Deleted) names.push_back(entry.Name);
  return names;
}

// --- Internals ---

uint32_t SimNetWare::Forced(NWSimOp op) {
  const auto i = static_cast<std::size_t>(op);
  ++calls_[i];
  auto& f = failures_[i];
  if (!f || f->Times == 0) return 0;
  if (f->Skip > 0) return --f->Skip, 0;
  if (f->Times > 0) --f->Times;
  return f->Status;
}

SimNetWare::Server* SimNetWare::FindServer(NWConnection conn) {
  auto it = servers_.find(conn);
  return it == servers_.end() ? nullptr : &it->second;
}

NWConnection SimNetWare::ServerNamed(const std::string& name) {
  for (const auto& [conn, s] : servers_)
    if (SameTextIgnoringCase(s.Name, name)) return conn;
  ADD_FAILURE() << "no simulated server " << name;
  return 0;
}

std::optional<SimNetWare::Key> SimNetWare::MapPath(const std::string& path) const {
  const std::string up = UpperCase(path);
  const std::pair<std::string, Key>* best = nullptr;
  for (const auto& m : mounts_) {
    const std::string& prefix = m.first;
    const bool inside = up.compare(0, prefix.size(), prefix) == 0 &&
                        (up.size() == prefix.size() || up[prefix.size()] == '/');
    if (inside && (!best || prefix.size() > best->first.size())) best = &m;
  }
  if (!best) return std::nullopt;
  const Key& root = best->second;
  return Key{root.first, root.second + ":" + StripSlashes(up.substr(best->first.size()))};
}

SimDirectory& SimNetWare::At(const Key& key) {
  auto [it, created] = dirs_.try_emplace(key);
  if (created) it->second.Base = nextBase_++;
  return it->second;
}

uint32_t SimNetWare::VolumeNumber(const Key& key) {
  Server* server = FindServer(key.first);
  return server ? server->Volumes[key.second.substr(0, key.second.find(':'))] : 0;
}

SimDirectory* SimNetWare::Resolve(NWConnection conn, NWDirHandle handle, const std::string& path,
                                  Key* key) {
  Server* server = FindServer(conn);
  if (!server) return nullptr;
  std::string full = StripSlashes(UpperCase(path));
  if (handle != 0) {
    auto it = handles_.find(handle);
    if (it == handles_.end() || it->second.first != conn) return nullptr;
    const std::string& base = it->second.second;
    full = full.empty() ? base : base + (base.back() == ':' ? "" : "/") + full;
  }
  const auto colon = full.find(':');
  if (colon == std::string::npos || !server->Volumes.count(full.substr(0, colon))) return nullptr;
  if (key) *key = Key{conn, full};
  return &At(Key{conn, full});
}

uint32_t SimNetWare::Lookup(NWContext context, NWConnection conn, Context*& ctx,
                            Server*& server) {
  auto it = contexts_.find(context);
  server = FindServer(conn);
  if (it == contexts_.end() || !server) return kBadContext;
  ctx = &it->second;
  return SameTextIgnoringCase(ctx->Tree, server->Tree) ? 0 : kNoSuchObject;
}

std::string* SimNetWare::Field(NWContext context, uint32_t key) {
  auto it = contexts_.find(context);
  if (it == contexts_.end()) return nullptr;
  if (key == kNWContextTreeName) return &it->second.Tree;
  return key == kNWContextNameContext ? &it->second.NameContext : nullptr;
}

// --- NetWareClient ---

uint32_t SimNetWare::ParsePath(const std::string& path, NWConnection& conn, NWDirHandle& dirHandle,
                               std::string& relativePath) {
  const auto key = MapPath(path);
  conn = key ? key->first : 0;
  dirHandle = 0;
  relativePath = key ? key->second : "";
  return key ? 0 : kSimNotOnNetWare;
}

uint32_t SimNetWare::AllocDirHandle(NWConnection conn, NWDirHandle dirHandle,
                                    const std::string& path, NWDirHandle& newHandle,
                                    uint8_t* rights) {
  newHandle = 0;
  if (uint32_t s = Forced(NWSimOp::AllocDirHandle)) return s;
  if (!FindServer(conn)) return kBadConnection;
  Key key;
  if (!Resolve(conn, dirHandle, path, &key)) return kBadPath;
  for (unsigned h = 1; h <= 255; ++h) {
    if (handles_.count(static_cast<NWDirHandle>(h))) continue;
    newHandle = static_cast<NWDirHandle>(h);
    handles_[newHandle] = key;
    if (rights) *rights = 0xFF;
    return 0;
  }
  return kSimNoHandles;
}

uint32_t SimNetWare::ScanDeletedFile(NWConnection conn, NWDirHandle dirHandle, int32_t& sequence,
                                     uint32_t& volume, uint32_t& dirBase, NWDeletedEntry& entry) {
  Key key;
  SimDirectory* dir = dirHandle == 0 ? nullptr : Resolve(conn, dirHandle, "", &key);
  if (!dir) return kBadHandle;
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
  Key key;
  SimDirectory* dir = dirHandle == 0 ? nullptr : Resolve(conn, dirHandle, "", &key);
  if (!dir) return kBadHandle;
  if (volume != VolumeNumber(key) || dirBase != dir->Base) return kBadPath;
  return dir->Deleted.erase(sequence) ? 0 : kNoSuchEntry;
}

uint32_t SimNetWare::ScanDirectoryEntry(NWConnection conn, NWDirHandle dirHandle, int32_t& sequence,
                                        NWDirInfo& info) {
  SimDirectory* dir = dirHandle == 0 ? nullptr : Resolve(conn, dirHandle, "");
  if (!dir) return kBadHandle;
  sequence = 0;
  info = dir->Info;
  return 0;
}

uint32_t SimNetWare::SetDirectoryInformation(NWConnection conn, NWDirHandle dirHandle,
                                             const std::string& path, uint32_t dateTime,
                                             uint32_t owner, uint16_t rightsMask) {
  if (uint32_t s = Forced(NWSimOp::SetDirInfo)) return s;
  SimDirectory* dir = Resolve(conn, dirHandle, path);
  if (!dir) return kBadPath;
  dir->Info = NWDirInfo{.DateTime = dateTime, .Owner = owner, .InheritedRights = rightsMask};
  return 0;
}

uint32_t SimNetWare::ScanTrustees(NWConnection conn, NWDirHandle dirHandle, const std::string& path,
                                  uint32_t& iteration, std::vector<NWTrusteeEntry>& block) {
  block.clear();
  SimDirectory* dir = Resolve(conn, dirHandle, path);
  const std::size_t first = iteration * trusteesPerBlock_;
  if (!dir || first >= dir->Trustees.size()) return kBadPath;
  const std::size_t last = std::min(dir->Trustees.size(), first + trusteesPerBlock_);
  block.assign(dir->Trustees.begin() + static_cast<std::ptrdiff_t>(first),
               dir->Trustees.begin() + static_cast<std::ptrdiff_t>(last));
  ++iteration;
  return 0;
}

uint32_t SimNetWare::AddTrustee(NWConnection conn, NWDirHandle dirHandle, const std::string& path,
                                uint32_t objectId, uint16_t rights) {
  if (uint32_t s = Forced(NWSimOp::AddTrustee)) return s;
  SimDirectory* dir = Resolve(conn, dirHandle, path);
  if (!dir) return kBadPath;
  if (!FindServer(conn)->Objects.count(objectId)) return kNoSuchObject;
  for (NWTrusteeEntry& t : dir->Trustees)
    if (t.ObjectID == objectId) return t.Rights = rights, 0;
  dir->Trustees.push_back(NWTrusteeEntry{.ObjectID = objectId, .Rights = rights});
  return 0;
}

uint32_t SimNetWare::NameToObjectId(NWContext context, NWConnection conn, const std::string& name,
                                    uint32_t& objectId) {
  objectId = 0;
  Context* ctx = nullptr;
  Server* server = nullptr;
  if (uint32_t s = Lookup(context, conn, ctx, server)) return s;
  for (const auto& [id, objectName] : server->Objects)
    if (SameTextIgnoringCase(Shown(objectName, ctx->Flags), name)) return objectId = id, 0;
  return kNoSuchObject;
}

uint32_t SimNetWare::ObjectIdToName(NWContext context, NWConnection conn, uint32_t objectId,
                                    std::string& name) {
  name.clear();
  Context* ctx = nullptr;
  Server* server = nullptr;
  if (uint32_t s = Lookup(context, conn, ctx, server)) return s;
  auto obj = server->Objects.find(objectId);
  if (obj == server->Objects.end()) return kNoSuchObject;
  name = Shown(obj->second, ctx->Flags);
  return 0;
}

uint32_t SimNetWare::TreeName(NWConnection conn, std::string& name) {
  Server* server = FindServer(conn);
  name = server ? server->Tree : "";
  if (server && name.size() < kTreeNameWidth) name.append(kTreeNameWidth - name.size(), '_');
  return server ? 0 : kBadConnection;
}

uint32_t SimNetWare::FileServerFileCopy(int sourceFd, int targetFd, int64_t sourcePos,
                                        int64_t targetPos, int64_t count, int64_t& copied) {
  copied = 0;
  if (uint32_t s = Forced(NWSimOp::FileCopy)) return s;
  char buf[65536];
  while (copied < count) {
    const auto want = static_cast<std::size_t>(std::min<int64_t>(sizeof buf, count - copied));
    const ssize_t got = ::pread(sourceFd, buf, want, sourcePos + copied);
    if (got < 0) return kSimIoError;
    if (got == 0) break;
    if (::pwrite(targetFd, buf, static_cast<std::size_t>(got), targetPos + copied) != got)
      return kSimIoError;
    copied += got;
  }
  return 0;
}

}  // namespace mv::test
