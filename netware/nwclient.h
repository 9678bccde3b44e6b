#pragma once
// The operations the program needs from a NetWare client. Every operation
// returns a 32-bit status, 0 = success. Connections and contexts are 32-bit
// handles, directory handles 8-bit. Linux has no NetWare client: the program's
// default client reports itself unavailable, so every NetWare path of the
// engine takes its "not available" branch; tests plug in a simulated server.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mv {

using NWConnection = uint32_t;
using NWDirHandle = uint8_t;
using NWContext = uint32_t;

// Status of a deleted-file scan that has no entries left.
inline constexpr uint32_t kNWNoMoreEntries = 0x89FF;
// A status for "not available / not supported".
inline constexpr uint32_t kNWNotAvailable = 0x88FF;

// Keys of a directory-services context value.
inline constexpr uint32_t kNWContextFlags = 1;
inline constexpr uint32_t kNWContextNameContext = 3;
inline constexpr uint32_t kNWContextTreeName = 11;

// A deleted (salvageable) file as the scan reports it.
struct NWDeletedEntry {
  uint32_t Attributes = 0;
  std::string Name;            // at most 255 bytes
  uint32_t Created = 0;        // packed NetWare date-times
  uint32_t Modified = 0;
  uint32_t Deleted = 0;
  uint32_t Size = 0;
};

// Directory entry information of a directory.
struct NWDirInfo {
  uint32_t DateTime = 0;        // packed NetWare date-time
  uint32_t Owner = 0;           // owner object ID
  uint16_t InheritedRights = 0; // inherited rights mask
};

// One trustee assignment of a scan block; ObjectID 0 marks an empty entry.
struct NWTrusteeEntry {
  uint32_t ObjectID = 0;
  uint16_t Rights = 0;
};

struct NWDate {
  uint8_t Day = 0, Month = 0;
  uint16_t Year = 0;
};
struct NWTime {
  uint8_t Seconds = 0, Minutes = 0;
  uint16_t Hours = 0;
};

class NetWareClient {
 public:
  virtual ~NetWareClient() = default;

  // 0 = the client is available.
  virtual uint32_t Initialize() = 0;
  // Code-page conversion table for the given code page; lives until Free.
  virtual uint32_t LoadConversionTable(int codePage, uint32_t& table) = 0;
  virtual uint32_t FreeConversionTable(uint32_t table) = 0;
  // Text to the code page of the table, at most maxBytes bytes.
  virtual uint32_t ToCodePage(uint32_t table, const std::string& text, std::size_t maxBytes,
                              std::string& out) = 0;

  // 0 = path lies on a NetWare server; relativePath is relative to dirHandle.
  virtual uint32_t ParsePath(const std::string& path, NWConnection& conn, NWDirHandle& dirHandle,
                             std::string& relativePath) = 0;
  virtual uint32_t AllocDirHandle(NWConnection conn, NWDirHandle dirHandle,
                                  const std::string& path, NWDirHandle& newHandle,
                                  uint8_t* rights) = 0;
  virtual uint32_t DeallocDirHandle(NWConnection conn, NWDirHandle dirHandle) = 0;

  // sequence starts at -1; 0 = an entry, kNWNoMoreEntries = none left.
  virtual uint32_t ScanDeletedFile(NWConnection conn, NWDirHandle dirHandle, int32_t& sequence,
                                   uint32_t& volume, uint32_t& dirBase, NWDeletedEntry& entry) = 0;
  virtual uint32_t PurgeDeletedFile(NWConnection conn, NWDirHandle dirHandle, int32_t sequence,
                                    uint32_t volume, uint32_t dirBase) = 0;

  // Reads the directory's own information (search attributes 0x10, sequence -1).
  virtual uint32_t ScanDirectoryEntry(NWConnection conn, NWDirHandle dirHandle,
                                      int32_t& sequence, NWDirInfo& info) = 0;
  virtual uint32_t SetDirectoryInformation(NWConnection conn, NWDirHandle dirHandle,
                                           const std::string& path, uint32_t dateTime,
                                           uint32_t owner, uint16_t rightsMask) = 0;

  // One block of trustees per call; iteration starts at 0.
  virtual uint32_t ScanTrustees(NWConnection conn, NWDirHandle dirHandle, const std::string& path,
                                uint32_t& iteration, std::vector<NWTrusteeEntry>& block) = 0;
  virtual uint32_t AddTrustee(NWConnection conn, NWDirHandle dirHandle, const std::string& path,
                              uint32_t objectId, uint16_t rights) = 0;

  virtual uint32_t CreateContext(NWContext& context) = 0;
  virtual uint32_t FreeContext(NWContext context) = 0;
  virtual uint32_t GetContextValue(NWContext context, uint32_t key, std::string& value) = 0;
  virtual uint32_t SetContextValue(NWContext context, uint32_t key, const std::string& value) = 0;
  // Key kNWContextFlags holds a 32-bit value rather than a text.
  virtual uint32_t GetContextFlags(NWContext, uint32_t& flags) {
    flags = 0;
    return kNWNotAvailable;
  }
  virtual uint32_t SetContextFlags(NWContext, uint32_t) { return kNWNotAvailable; }
  virtual uint32_t DefaultNameContext(NWContext context, std::string& name) = 0;
  virtual uint32_t NameToObjectId(NWContext context, NWConnection conn, const std::string& name,
                                  uint32_t& objectId) = 0;
  virtual uint32_t ObjectIdToName(NWContext context, NWConnection conn, uint32_t objectId,
                                  std::string& name) = 0;
  // Tree name of a connection, "_"-padded as the client returns it.
  virtual uint32_t TreeName(NWConnection conn, std::string& name) = 0;

  // Server-side copy between two open files.
  virtual uint32_t FileServerFileCopy(int sourceFd, int targetFd, int64_t sourcePos,
                                      int64_t targetPos, int64_t count, int64_t& copied) = 0;
};

// Packed NetWare date-time: date in the high 16 bits, time in the low 16 bits,
// laid out as the DOS format.
void NWUnpackDateTime(uint32_t packed, NWDate& date, NWTime& time);
uint32_t NWPackDateTime(const NWDate& date, const NWTime& time);

// The program's client on Linux: not available; every operation fails.
std::unique_ptr<NetWareClient> MakeUnavailableNetWareClient();

}  // namespace mv
