#include "netware/nwclient.h"

namespace mv {
namespace {

class UnavailableClient final : public NetWareClient {
 public:
  uint32_t Initialize() override { return kNWNotAvailable; }
  uint32_t LoadConversionTable(int, uint32_t& table) override {
    table = 0;
    return kNWNotAvailable;
  }
  uint32_t FreeConversionTable(uint32_t) override { return 0; }
  uint32_t ToCodePage(uint32_t, const std::string&, std::size_t, std::string& out) override {
    out.clear();
    return kNWNotAvailable;
  }
  uint32_t ParsePath(const std::string&, NWConnection& conn, NWDirHandle& dirHandle,
                     std::string& relativePath) override {
    conn = 0;
    dirHandle = 0;
    relativePath.clear();
    return kNWNotAvailable;
  }
  uint32_t AllocDirHandle(NWConnection, NWDirHandle, const std::string&, NWDirHandle& newHandle,
                          uint8_t*) override {
    newHandle = 0;
    return kNWNotAvailable;
  }
  uint32_t DeallocDirHandle(NWConnection, NWDirHandle) override { return kNWNotAvailable; }
  uint32_t ScanDeletedFile(NWConnection, NWDirHandle, int32_t&, uint32_t&, uint32_t&,
                           NWDeletedEntry&) override {
    return kNWNoMoreEntries;
  }
  uint32_t PurgeDeletedFile(NWConnection, NWDirHandle, int32_t, uint32_t, uint32_t) override {
    return kNWNotAvailable;
  }
  uint32_t ScanDirectoryEntry(NWConnection, NWDirHandle, int32_t&, NWDirInfo&) override {
    return kNWNotAvailable;
  }
  uint32_t SetDirectoryInformation(NWConnection, NWDirHandle, const std::string&, uint32_t,
                                   uint32_t, uint16_t) override {
    return kNWNotAvailable;
  }
  uint32_t ScanTrustees(NWConnection, NWDirHandle, const std::string&, uint32_t&,
                        std::vector<NWTrusteeEntry>& block) override {
    block.clear();
    return kNWNotAvailable;
  }
  uint32_t AddTrustee(NWConnection, NWDirHandle, const std::string&, uint32_t, uint16_t) override {
    return kNWNotAvailable;
  }
  uint32_t CreateContext(NWContext& context) override {
    context = 0;
    return kNWNotAvailable;
  }
  uint32_t FreeContext(NWContext) override { return 0; }
  uint32_t GetContextValue(NWContext, uint32_t, std::string& value) override {
    value.clear();
    return kNWNotAvailable;
  }
  uint32_t SetContextValue(NWContext, uint32_t, const std::string&) override {
    return kNWNotAvailable;
  }
  uint32_t DefaultNameContext(NWContext, std::string& name) override {
    name.clear();
    return kNWNotAvailable;
  }
  uint32_t NameToObjectId(NWContext, NWConnection, const std::string&, uint32_t& id) override {
    id = 0;
    return kNWNotAvailable;
  }
  uint32_t ObjectIdToName(NWContext, NWConnection, uint32_t, std::string& name) override {
    name.clear();
    return kNWNotAvailable;
  }
  uint32_t TreeName(NWConnection, std::string& name) override {
    name.clear();
    return kNWNotAvailable;
  }
  uint32_t FileServerFileCopy(int, int, int64_t, int64_t, int64_t, int64_t& copied) override {
    copied = 0;
    return kNWNotAvailable;
  }
};

}  // namespace

std::unique_ptr<NetWareClient> MakeUnavailableNetWareClient() {
  return std::make_unique<UnavailableClient>();
}

void NWUnpackDateTime(uint32_t packed, NWDate& date, NWTime& time) {
  const uint32_t d = packed >> 16;
  const uint32_t t = packed & 0xFFFF;
  date.Day = static_cast<uint8_t>(d & 0x1F);
  date.Month = static_cast<uint8_t>((d >> 5) & 0x0F);
  date.Year = static_cast<uint16_t>(((d >> 9) & 0x7F) + 1980);
  time.Seconds = static_cast<uint8_t>((t & 0x1F) * 2);
  time.Minutes = static_cast<uint8_t>((t >> 5) & 0x3F);
  time.Hours = static_cast<uint16_t>((t >> 11) & 0x1F);
}

uint32_t NWPackDateTime(const NWDate& date, const NWTime& time) {
  const uint32_t year = date.Year >= 1980 ? date.Year - 1980u : 0u;
  const uint32_t d = ((year & 0x7F) << 9) | ((date.Month & 0x0Fu) << 5) | (date.Day & 0x1Fu);
  const uint32_t t =
      ((time.Hours & 0x1Fu) << 11) | ((time.Minutes & 0x3Fu) << 5) | ((time.Seconds / 2u) & 0x1Fu);
  return (d << 16) | t;
}

}  // namespace mv
