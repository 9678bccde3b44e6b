#pragma once
// A NetWare client in memory for tests. Servers belong to directory trees and
// know their objects by ID; real directories are mounted as volumes of a
// server ("/tmp/x/nw" -> SRV1/DATA:, so "/tmp/x/nw/A/B/" parses to
// "DATA:A/B" on SRV1's connection), because the engine walks real files and
// asks the client about the same paths. Each directory of a volume carries
// its entry information, its trustees and its deleted files. Any operation
// can be made to fail with a chosen status. Set up before a run; the client
// itself may then be used from a worker thread.

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "netware/nwclient.h"

namespace mv::test {

// Statuses the simulation answers with.
inline constexpr uint32_t kSimBadConnection = 0x8801;  // unknown connection
inline constexpr uint32_t kSimBadTable = 0x8805;       // conversion table not loaded
inline constexpr uint32_t kSimTooLong = 0x880E;        // converted text did not fit
inline constexpr uint32_t kSimNotOnNetWare = 0x8836;   // path on no mounted volume
inline constexpr uint32_t kSimBadContext = 0x8868;     // unknown context or key
inline constexpr uint32_t kSimBadHandle = 0x899B;      // unknown directory handle
inline constexpr uint32_t kSimBadPath = 0x899C;        // unknown volume / no more trustees
inline constexpr uint32_t kSimNoHandles = 0x899D;      // all 255 handles in use
inline constexpr uint32_t kSimNoSuchEntry = 0x89A0;    // purge of an unknown sequence
inline constexpr uint32_t kSimNoSuchObject = 0x89FC;   // object unknown on server or tree
inline constexpr uint32_t kSimIoError = 0x89FE;        // server-side copy failed

// The operations a test can count or make fail.
enum class NWSimOp {
  Initialize,
  LoadTable,
  ToCodePage,
  ParsePath,
  AllocDirHandle,
  DeallocDirHandle,
  ScanDeleted,
  Purge,
  ScanDirEntry,
  SetDirInfo,
  ScanTrustees,
  AddTrustee,
  CreateContext,
  FreeContext,
  GetContextValue,
  SetContextValue,
  GetContextFlags,
  SetContextFlags,
  DefaultNameContext,
  NameToObjectId,
  ObjectIdToName,
  TreeName,
  FileCopy,
  Count
};

class SimNetWare final : public NetWareClient {
 public:
  // A server in tree; returns its connection handle (1, 2, ... in order).
  NWConnection AddServer(const std::string& server, const std::string& tree);
  // Paths at or below prefix lie on volume of server (case ignored).
  void Mount(const std::string& prefix, const std::string& server, const std::string& volume);
  // An object known to server by id and to its tree by name (typeless,
  // e.g. "ADMIN.ACME").
  void AddObject(const std::string& server, uint32_t id, const std::string& name);
  // What DefaultNameContext answers ("" = none).
  void SetDefaultNameContext(const std::string& name);
  // Entries per trustee scan block.
  void SetTrusteesPerBlock(std::size_t n);

  // Per directory; path is a real path below a mount (trailing "/" optional).
  // A directory starts with date 0, owner 0 and inherited rights 0x1FF.
  void SetDirInfo(const std::string& path, const NWDirInfo& info);
  NWDirInfo DirInfo(const std::string& path);
  void SetTrustees(const std::string& path, const std::vector<NWTrusteeEntry>& trustees);
  std::vector<NWTrusteeEntry> Trustees(const std::string& path);
  // Adds a deleted file and returns its scan sequence.
  int32_t AddDeleted(const std::string& path, const NWDeletedEntry& entry);
  // Names of the deleted files still there, in scan order.
  std::vector<std::string> DeletedNames(const std::string& path);

  // From call number skip + 1 of op on, times calls (-1: all) return status.
  void Fail(NWSimOp op, uint32_t status, int skip = 0, int times = -1);
  void ClearFailures();
  int Calls(NWSimOp op) const;
  int OpenDirHandles() const;
  int OpenContexts() const;

  // NetWareClient.
  uint32_t Initialize() override;
  uint32_t LoadConversionTable(int codePage, uint32_t& table) override;
  uint32_t FreeConversionTable(uint32_t table) override;
  uint32_t ToCodePage(uint32_t table, const std::string& text, std::size_t maxBytes,
                      std::string& out) override;
  uint32_t ParsePath(const std::string& path, NWConnection& conn, NWDirHandle& dirHandle,
                     std::string& relativePath) override;
  uint32_t AllocDirHandle(NWConnection conn, NWDirHandle dirHandle, const std::string& path,
                          NWDirHandle& newHandle, uint8_t* rights) override;
  uint32_t DeallocDirHandle(NWConnection conn, NWDirHandle dirHandle) override;
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
  uint32_t CreateContext(NWContext& context) override;
  uint32_t FreeContext(NWContext context) override;
  uint32_t GetContextValue(NWContext context, uint32_t key, std::string& value) override;
  uint32_t SetContextValue(NWContext context, uint32_t key, const std::string& value) override;
  uint32_t GetContextFlags(NWContext context, uint32_t& flags) override;
  uint32_t SetContextFlags(NWContext context, uint32_t flags) override;
  uint32_t DefaultNameContext(NWContext context, std::string& name) override;
  uint32_t NameToObjectId(NWContext context, NWConnection conn, const std::string& name,
                          uint32_t& objectId) override;
  uint32_t ObjectIdToName(NWContext context, NWConnection conn, uint32_t objectId,
                          std::string& name) override;
  uint32_t TreeName(NWConnection conn, std::string& name) override;
  uint32_t FileServerFileCopy(int sourceFd, int targetFd, int64_t sourcePos, int64_t targetPos,
                              int64_t count, int64_t& copied) override;

 private:
  // A directory: connection and "VOLUME:PATH" in upper case.
  using Key = std::pair<NWConnection, std::string>;
  struct Server {
    std::string Name, Tree;
    std::map<uint32_t, std::string> Objects;
    std::map<std::string, uint32_t> Volumes;  // name -> number
  };
  struct MountPoint {
    std::string Prefix;  // upper case, no trailing "/"
    NWConnection Conn;
    std::string Volume;
  };
  struct Directory {
    NWDirInfo Info{.InheritedRights = 0x1FF};
    std::vector<NWTrusteeEntry> Trustees;
    std::map<int32_t, NWDeletedEntry> Deleted;
    uint32_t Base = 0;
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
  std::optional<Key> MapPath(const std::string& path) const;
  Key TestKey(const std::string& path) const;
  // Directory named by handle and a path relative to it; null when unknown.
  Directory* Resolve(NWConnection conn, NWDirHandle handle, const std::string& path,
                     Key* key = nullptr);
  Directory& At(const Key& key);
  uint32_t VolumeNumber(const Key& key);

  mutable std::mutex mutex_;
  std::map<NWConnection, Server> servers_;
  std::vector<MountPoint> mounts_;
  std::map<Key, Directory> dirs_;
  std::map<NWDirHandle, Key> handles_;
  std::map<NWContext, Context> contexts_;
  std::set<uint32_t> tables_;
  std::string defaultNameContext_;
  std::size_t trusteesPerBlock_ = 20;
  NWContext nextContext_ = 1;
  int32_t nextSequence_ = 0x100;
  uint32_t nextBase_ = 0x10;
  std::array<std::optional<Failure>, static_cast<std::size_t>(NWSimOp::Count)> failures_;
  std::array<int, static_cast<std::size_t>(NWSimOp::Count)> calls_{};
};

}  // namespace mv::test
