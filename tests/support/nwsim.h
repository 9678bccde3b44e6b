#pragma once
// A NetWare client in memory for tests. Real directories are mounted as
// volumes of simulated servers ("/tmp/x/nw" -> SRV1/DATA:, so "/tmp/x/nw/A/B/"
// parses to "DATA:A/B" on SRV1's connection): the engine walks real files and
// asks the client about the same paths. Not thread-safe: set up before a run,
// look at the result after it.

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "netware/nwclient.h"

namespace mv::test {

inline constexpr uint32_t kSimTooLong = 0x880E;       // converted text did not fit
inline constexpr uint32_t kSimNotOnNetWare = 0x8836;  // path on no mounted volume
inline constexpr uint32_t kSimNoHandles = 0x899D;     // all 255 handles in use
inline constexpr uint32_t kSimIoError = 0x89FE;       // server-side copy failed

// The operations a test can count or make fail.
enum class NWSimOp { AllocDirHandle, SetDirInfo, AddTrustee, FileCopy, Count };

// What a simulated directory holds.
struct SimDirectory {
  NWDirInfo Info{.InheritedRights = 0x1FF};
  std::vector<NWTrusteeEntry> Trustees;
  std::map<int32_t, NWDeletedEntry> Deleted;  // by scan sequence
  uint32_t Base = 0;
};

class SimNetWare final : public NetWareClient {
 public:
  // A server in tree; returns its connection (1, 2, ... in order).
  NWConnection AddServer(const std::string& server, const std::string& tree);
  // Paths at or below prefix lie on volume of server (case ignored).
  void Mount(const std::string& prefix, const std::string& server, const std::string& volume);
  // An object known to server by id and to its tree by typeless name ("ADMIN.ACME").
  void AddObject(const std::string& server, uint32_t id, const std::string& name);
  void SetTrusteesPerBlock(std::size_t n) { trusteesPerBlock_ = std::max<std::size_t>(n, 1); }
  // The directory at a real path below a mount.
  SimDirectory& Dir(const std::string& path);
  int32_t AddDeleted(const std::string& path, const NWDeletedEntry& entry);  // its sequence
  std::vector<std::string> DeletedNames(const std::string& path);            // in scan order

  // From call skip + 1 of op on, times calls (-1: all) return status.
  void Fail(NWSimOp op, uint32_t status, int skip = 0, int times = -1) {
    failures_[static_cast<std::size_t>(op)] = Failure{.Status = status, .Skip = skip, .Times = times};
  }
  int Calls(NWSimOp op) const { return calls_[static_cast<std::size_t>(op)]; }
  int OpenDirHandles() const { return static_cast<int>(handles_.size()); }
  int OpenContexts() const { return static_cast<int>(contexts_.size()); }

  uint32_t Initialize() override { return 0; }
  uint32_t LoadConversionTable(int codePage, uint32_t& table) override {
    table = codePage == 850 ? kTable850 : 0;
    return table ? 0 : kBadTable;
  }
  uint32_t FreeConversionTable(uint32_t table) override { return table == kTable850 ? 0 : kBadTable; }
  // The simulated code page is the program's own encoding.
  uint32_t ToCodePage(uint32_t table, const std::string& text, std::size_t maxBytes,
                      std::string& out) override {
    out = table == kTable850 ? text.substr(0, maxBytes) : "";
    return table != kTable850 ? kBadTable : text.size() > maxBytes ? kSimTooLong : 0;
  }
  uint32_t ParsePath(const std::string& path, NWConnection& conn, NWDirHandle& dirHandle,
                     std::string& relativePath) override;
  uint32_t AllocDirHandle(NWConnection conn, NWDirHandle dirHandle, const std::string& path,
                          NWDirHandle& newHandle, uint8_t* rights) override;
  uint32_t DeallocDirHandle(NWConnection conn, NWDirHandle dirHandle) override {
    auto it = handles_.find(dirHandle);
    if (it == handles_.end() || it->second.first != conn) return kBadHandle;
    handles_.erase(it);
    return 0;
  }
  uint32_t ScanDeletedFile(NWConnection conn, NWDirHandle dirHandle, int32_t& sequence,
                           uint32_t& volume, uint32_t& dirBase, NWDeletedEntry& entry) override;
  uint32_t PurgeDeletedFile(NWConnection conn, NWDirHandle dirHandle, int32_t sequence,
                            uint32_t volume, uint32_t dirBase) override;
  uint32_t ScanDirectoryEntry(NWConnection conn, NWDirHandle dirHandle, int32_t& sequence,
                              NWDirInfo& info) override;
  uint32_t SetDirectoryInformation(NWConnection conn, NWDirHandle dirHandle,
                                   const std::string& path, uint32_t dateTime, uint32_t owner,
                                   uint16_t rightsMask) override;
  uint32_t ScanTrustees(NWConnection conn, NWDirHandle dirHandle, const std::string& path,
                        uint32_t& iteration, std::vector<NWTrusteeEntry>& block) override;
  uint32_t AddTrustee(NWConnection conn, NWDirHandle dirHandle, const std::string& path,
                      uint32_t objectId, uint16_t rights) override;
  uint32_t CreateContext(NWContext& context) override {
    contexts_[context = nextContext_++] = Context{};
    return 0;
  }
  uint32_t FreeContext(NWContext context) override {
    return contexts_.erase(context) ? 0 : kBadContext;
  }
  uint32_t GetContextValue(NWContext context, uint32_t key, std::string& value) override {
    const std::string* field = Field(context, key);
    value = field ? *field : "";
    return field ? 0 : kBadContext;
  }
  uint32_t SetContextValue(NWContext context, uint32_t key, const std::string& value) override {
    std::string* field = Field(context, key);
    if (field) *field = value;
    return field ? 0 : kBadContext;
  }
  uint32_t GetContextFlags(NWContext context, uint32_t& flags) override {
    flags = contexts_.count(context) ? contexts_[context].Flags : 0;
    return contexts_.count(context) ? 0 : kBadContext;
  }
  uint32_t SetContextFlags(NWContext context, uint32_t flags) override {
    if (contexts_.count(context)) contexts_[context].Flags = flags;
    return contexts_.count(context) ? 0 : kBadContext;
  }
  uint32_t DefaultNameContext(NWContext context, std::string& name) override {
    name.clear();
    return contexts_.count(context) ? 0 : kBadContext;
  }
  uint32_t NameToObjectId(NWContext context, NWConnection conn, const std::string& name,
                          uint32_t& objectId) override;
  uint32_t ObjectIdToName(NWContext context, NWConnection conn, uint32_t objectId,
                          std::string& name) override;
  uint32_t TreeName(NWConnection conn, std::string& name) override;
  uint32_t FileServerFileCopy(int sourceFd, int targetFd, int64_t sourcePos, int64_t targetPos,
                              int64_t count, int64_t& copied) override;

 private:
  static constexpr uint32_t kTable850 = 0x0850, kBadConnection = 0x8801, kBadTable = 0x8805,
                            kBadContext = 0x8868, kBadHandle = 0x899B, kBadPath = 0x899C,
                            kNoSuchEntry = 0x89A0, kNoSuchObject = 0x89FC;
  using Key = std::pair<NWConnection, std::string>;  // connection, "VOLUME:PATH" upper case
  struct Server {
    std::string Name, Tree;
    std::map<uint32_t, std::string> Objects;
    std::map<std::string, uint32_t> Volumes;  // name -> number
  };
  struct Context {
    uint32_t Flags = 0;
    std::string Tree, NameContext;
  };
  struct Failure {
    uint32_t Status;
    int Skip, Times;
  };

  uint32_t Forced(NWSimOp op);
  Server* FindServer(NWConnection conn);
  NWConnection ServerNamed(const std::string& name);  // 0 = none
  std::optional<Key> MapPath(const std::string& path) const;
  SimDirectory& At(const Key& key);
  // Directory named by handle and a path relative to it; null when unknown.
  SimDirectory* Resolve(NWConnection conn, NWDirHandle handle, const std::string& path,
                        Key* key = nullptr);
  uint32_t VolumeNumber(const Key& key);
  // The context and the server of conn, which must be known and share a tree.
  uint32_t Lookup(NWContext context, NWConnection conn, Context*& ctx, Server*& server);
  std::string* Field(NWContext context, uint32_t key);

  std::map<NWConnection, Server> servers_;
  std::vector<std::pair<std::string, Key>> mounts_;  // upper-case prefix, volume
  std::map<Key, SimDirectory> dirs_;
  std::map<NWDirHandle, Key> handles_;
  std::map<NWContext, Context> contexts_;
  std::size_t trusteesPerBlock_ = 20;
  NWContext nextContext_ = 1;
  int32_t nextSequence_ = 0x100;
  uint32_t nextBase_ = 0x10;
  std::array<std::optional<Failure>, static_cast<std::size_t>(NWSimOp::Count)> failures_;
  std::array<int, static_cast<std::size_t>(NWSimOp::Count)> calls_{};
};

}  // namespace mv::test
