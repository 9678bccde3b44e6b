#pragma once
// The program's NetWare operations on top of a NetWareClient: path tests,
// date conversion, deleted-file scans, trustees, inherited rights and
// directory dates. Every operation runs synchronously in the calling thread
// and reports failure as a NetWare status, -1, an empty list or false; none
// throws. Directory handles and contexts taken on the way are released before
// an operation returns.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "netware/nwclient.h"
#include "platform/datetime.h"

namespace mv {

class TTDirFilter;

// What the operations need from the start-up: the client, whether it
// initialised, and its code page 850 table.
struct NetWareAccess {
  NetWareClient* Client = nullptr;  // null: no client at all
  bool Available = false;           // the client's initialise returned 0
  uint32_t CodePageTable = 0;       // table loaded for code page 850
  bool Usable() const { return Client != nullptr && Available; }
};

// Rights bit that takes no part in mask comparisons.
inline constexpr uint8_t kNWIgnoredRight = 0x04;
inline constexpr uint8_t kNWRightsCompareMask = 0xFB;
// An inherited rights mask that grants everything; never copied.
inline constexpr uint8_t kNWAllInheritedRights = 0xFB;

// One trustee assignment as read from a directory.
struct TTrustee {
  uint32_t ObjectID = 0;  // valid on Connection only
  uint16_t Rights = 0;
  std::string Name;         // full directory-services name; empty when unknown
  uint32_t Connection = 0;  // connection the trustee was read on
  int32_t Result = 0;       // status of adding it to a target; 0 until tried
};

// One deleted (salvageable) file.
struct TDeletedSearchRec {
  int32_t Sequence = 0;  // identifies the entry for the purge
  int32_t Created = 0;   // packed local DOS date-times, 0 when not convertible
  int32_t Deleted = 0;
  int32_t Modified = 0;
  int32_t Size = 0;
  int32_t Attributes = 0;
  std::string Name;
};

// Where a deleted-file scan ran; what a purge of its entries needs.
struct NWDeletedScanContext {
  int64_t Connection = -1;  // -1: the directory could not be scanned
  uint32_t VolumeNumber = 0;
  uint32_t DirBase = 0;
  std::string RelativePath;  // relative to DirHandle
  NWDirHandle DirHandle = 0;
};

// Text (upper-cased by the caller) to code page 850, at most 254 bytes.
// Returns the conversion status, -1 on an internal failure. converted holds
// the client's output even when the status is not 0.
int32_t ToNetWarePath(const NetWareAccess& nw, const std::string& text, std::string& converted);

// 0 when path lies on a NetWare server, else the failing status; -1 when
// NetWare is not available.
int32_t IsNetWarePath(const NetWareAccess& nw, const std::string& path);

// True only when both paths parse and give the same connection.
bool SameNetWareServer(const NetWareAccess& nw, const std::string& pathA, const std::string& pathB);

// Packed NetWare date-time -> packed local DOS date-time; 0 for an impossible
// date or time.
int32_t NetWareDateToFileDate(uint32_t packed);
// Packed DOS date-time -> packed NetWare date-time; 0 for an impossible one.
uint32_t FileDateToNetWareDate(int32_t fileDate);

// Deleted files of the directory path (already in code page 850). filter may
// be null; its include and exclude file masks select the names. Empty when
// NetWare is not available or the directory cannot be scanned
// (scan.Connection then stays -1).
std::vector<TDeletedSearchRec> ScanDeletedFiles(const NetWareAccess& nw, const std::string& path,
                                                const TTDirFilter* filter,
                                                NWDeletedScanContext& scan);

// Trustee assignments of a directory, with their names looked up in the
// server's tree. Empty when the path does not parse.
std::vector<TTrustee> GetTrustees(const NetWareAccess& nw, const std::string& path);

// Adds trustees to the directory path and returns how many were added. On
// another server than the one they were read on, trustees are found again by
// name and passed over when the name is unknown there. Stops at the first
// failing add; each tried trustee keeps its status in Result. logText:
// "ADD TRUSTEE: to " + path once anything was added, else "".
int32_t AddTrustees(const NetWareAccess& nw, const std::string& path,
                    std::vector<TTrustee>& trustees, std::string& logText);

// set false: reads the directory's date into value. set true: shifts value by
// the zone's hour offset (the caller sees the shift) and writes it; logText
// "SET DT:  to " + path, or the failing status in hexadecimal. A value of 0
// (never) is not written. 0 success, -1 failure.
int32_t NetWareDirDate(const NetWareAccess& nw, const std::string& path, DateTime& value, bool set,
                       std::string& logText);

// set false: mask = the directory's inherited rights mask without bit 0x04.
// set true: writes mask unless the directory already has it (bit 0x04
// ignored); logText "SET IRM: $XX to " + path. 0 written or read, 1 nothing
// to write, -1 failure.
int32_t NetWareInheritedRights(const NetWareAccess& nw, const std::string& path, uint8_t& mask,
                               bool set, std::string& logText);

// What the copy walk asks of the rights copy of one directory pair.
struct NWRightsCopyOptions {
  bool CopyTrustees = false;         // the job copies trustees at all
  bool LogOnly = false;              // report, change nothing on the target
  std::function<bool()> Terminated;  // the run was told to stop; may be empty
};

// Copies trustees and the inherited rights mask of source to target (the
// copy walk's per-directory step). Writes level-2 lines through log. False
// when the run is stopping or an internal failure occurred; true otherwise,
// also when NetWare is not available or nothing was to be copied.
bool CopyNetWareRights(const NetWareAccess& nw, const std::string& source,
                       const std::string& target, const NWRightsCopyOptions& options,
                       const std::function<void(int32_t level, const std::string& text)>& log);

// Directory services. Tree name of a connection without its "_" padding;
// empty when the status is not 0.
uint32_t ConnectionTreeName(NetWareClient& client, NWConnection conn, std::string& name);
// Tree name held by a context, its first "CN=" removed; "" on failure.
std::string ContextTreeName(NetWareClient& client, NWContext context);
// Points the context at tree (unless it is there already) and sets its name
// context: nameContext, or the client's default, or "[Root]".
uint32_t SetContextTree(NetWareClient& client, NWContext context, const std::string& tree,
                        const std::string& nameContext);
// op "+" sets bits, "-" clears them, anything else writes the flags back as
// they were.
uint32_t ChangeContextFlags(NetWareClient& client, NWContext context, const std::string& op,
                            uint32_t bits);

// A temporary directory handle, released when the holder goes.
class TempDirHandle {
 public:
  explicit TempDirHandle(NetWareClient& client) : client_(client) {}
  ~TempDirHandle() { Release(); }
  TempDirHandle(const TempDirHandle&) = delete;
  TempDirHandle& operator=(const TempDirHandle&) = delete;

  uint32_t Allocate(NWConnection conn, NWDirHandle base, const std::string& relative) {
    Release();
    conn_ = conn;
    const uint32_t status = client_.AllocDirHandle(conn, base, relative, handle_, nullptr);
    held_ = status == 0;
    return status;
  }
  void Release() {
    if (held_) client_.DeallocDirHandle(conn_, handle_);
    held_ = false;
  }
  bool Held() const { return held_; }
  NWDirHandle Get() const { return handle_; }

 private:
  NetWareClient& client_;
  NWConnection conn_ = 0;
  NWDirHandle handle_ = 0;
  bool held_ = false;
};

}  // namespace mv
