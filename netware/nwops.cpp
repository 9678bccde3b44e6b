#include "netware/nwops.h"

#include <cmath>
#include <ctime>

#include "filter/dirfilter.h"
#include "filter/matchmask.h"
#include "platform/clock.h"
#include "platform/hextext.h"
#include "platform/textcase.h"

namespace mv {
namespace {

// The client's path converter writes at most this many bytes.
constexpr std::size_t kMaxConvertedPath = 254;
// Bytes of a name the client records hold.
constexpr std::size_t kMaxNameBytes = 255;
// Length the client pads tree names to.
constexpr std::size_t kTreeNameWidth = 32;
// Context flag under which names come and go without type prefixes.
constexpr uint32_t kTypelessNames = 0x04;


// Client texts may carry their C terminator.
std::string CutAtNul(std::string s) {
  const auto nul = s.find('\0');
  if (nul != std::string::npos) s.resize(nul);
  return s;
}

struct ParsedPath {
  NWConnection Conn = 0;
  NWDirHandle Handle = 0;
  std::string Relative;
};

// Upper-cases, converts and parses path. 0 or the failing status.
int32_t ParseNetWarePath(const NetWareAccess& nw, const std::string& path, ParsedPath& out) {
  std::string converted;
  const int32_t status = ToNetWarePath(nw, UpperCase(path), converted);
  // A half-converted path could name another directory.
  if (status != 0) return status;
  return static_cast<int32_t>(nw.Client->ParsePath(converted, out.Conn, out.Handle, out.Relative));
}


// A directory-services context for one operation.
class ContextHolder {
 public:
  explicit ContextHolder(NetWareClient& client) : client_(client) {
    ok_ = client_.CreateContext(context_) == 0;
  }
  ~ContextHolder() {
    if (ok_) client_.FreeContext(context_);
  }
  ContextHolder(const ContextHolder&) = delete;
  ContextHolder& operator=(const ContextHolder&) = delete;

  bool Ok() const { return ok_; }
  NWContext Get() const { return context_; }

  // Root of the tree the connection belongs to, names without type prefixes.
  void PointAtTreeOf(NWConnection conn) {
    if (!ok_) return;
    std::string tree;
    ConnectionTreeName(client_, conn, tree);
    SetContextTree(client_, context_, tree, "[Root]");
    ChangeContextFlags(client_, context_, "+", kTypelessNames);
  }

 private:
  NetWareClient& client_;
  NWContext context_ = 0;
  bool ok_ = false;
};

// The directory's own entry information, read through a temporary handle
// that stays held while the reader lives.
class DirectoryEntry {
 public:
  explicit DirectoryEntry(NetWareClient& client) : client_(client), handle_(client) {}

  bool Read(const NetWareAccess& nw, const std::string& path) {
    if (ParseNetWarePath(nw, path, Parsed) != 0) return false;
    if (handle_.Allocate(Parsed.Conn, Parsed.Handle, Parsed.Relative) != 0) return false;
    int32_t sequence = -1;
    Info = NWDirInfo{};
    return client_.ScanDirectoryEntry(Parsed.Conn, handle_.Get(), sequence, Info) == 0;
  }

  ParsedPath Parsed;
  NWDirInfo Info;

 private:
  NetWareClient& client_;
  TempDirHandle handle_;
};

bool ValidDateTime(int year, int month, int day, int hour, int minute, int second) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1980 || year > 2107 || month < 1 || month > 12) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  return day >= 1 && day <= days && hour < 24 && minute < 60 && second < 60;
}

// Hours a directory date is shifted by before it is written: the zone's
// standard offset, one less while daylight saving time is in force.
int HourShift() {
  const timespec now = DateTimeToUnix(Now());
  tm local{};
  if (localtime_r(&now.tv_sec, &local) == nullptr) return 0;
  long standardOffset = local.tm_gmtoff;
  if (local.tm_isdst > 0) {
    // The standard offset is the one of a date in the other half of the year.
    for (int month : {0, 6}) {
      tm probe{};
      probe.tm_year = local.tm_year;
      probe.tm_mon = month;
      probe.tm_mday = 15;
      probe.tm_hour = 12;
      probe.tm_isdst = -1;
      if (mktime(&probe) != -1 && probe.tm_isdst == 0) standardOffset = probe.tm_gmtoff;
    }
  }
  // nearbyint rounds halves to even in the default rounding mode.
  int shift = static_cast<int>(std::nearbyint(static_cast<double>(standardOffset) / 3600.0));
  if (local.tm_isdst > 0) --shift;
  return shift;
}

bool NameSelected(const TTDirFilter* filter, const std::string& name) {
  if (filter == nullptr) return true;
  if (!filter->IncludeFileNames.empty() && !MatchAnyMask(filter->IncludeFileNames, name))
    return false;
  return filter->ExcludeFileNames.empty() || !MatchAnyMask(filter->ExcludeFileNames, name);
}

}  // namespace

int32_t ToNetWarePath(const NetWareAccess& nw, const std::string& text, std::string& converted) {
  converted.clear();
  if (nw.Client == nullptr) return -1;
  try {
    return static_cast<int32_t>(
        nw.Client->ToCodePage(nw.CodePageTable, text, kMaxConvertedPath, converted));
  } catch (...) {
    return -1;
  }
}

int32_t IsNetWarePath(const NetWareAccess& nw, const std::string& path) {
  if (!nw.Usable()) return -1;
  try {
    ParsedPath parsed;
    return ParseNetWarePath(nw, path, parsed);
  } catch (...) {
    return -1;
  }
}

bool SameNetWareServer(const NetWareAccess& nw, const std::string& pathA,
                       const std::string& pathB) {
  if (!nw.Usable()) return false;
  try {
    ParsedPath a, b;
    if (nw.Client->ParsePath(UpperCase(pathA), a.Conn, a.Handle, a.Relative) != 0) return false;
    if (nw.Client->ParsePath(UpperCase(pathB), b.Conn, b.Handle, b.Relative) != 0) return false;
    return a.Conn == b.Conn;
  } catch (...) {
    return false;
  }
}

int32_t NetWareDateToFileDate(uint32_t packed) {
  NWDate date;
  NWTime time;
  NWUnpackDateTime(packed, date, time);
  if (!ValidDateTime(date.Year, date.Month, date.Day, time.Hours, time.Minutes, time.Seconds))
    return 0;
  const DateParts parts{.year = date.Year,
                        .month = date.Month,
                        .day = date.Day,
                        .hour = time.Hours,
                        .minute = time.Minutes,
                        .second = time.Seconds};
  return static_cast<int32_t>(DateTimeToDos(EncodeDateTime(parts)));
}

uint32_t FileDateToNetWareDate(int32_t fileDate) {
  const DateTime value = DosToDateTime(static_cast<uint32_t>(fileDate));
  if (value == 0) return 0;
  const DateParts p = DecodeDateTime(value);
  if (!ValidDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second)) return 0;
  const NWDate date{.Day = static_cast<uint8_t>(p.day),
                    .Month = static_cast<uint8_t>(p.month),
                    .Year = static_cast<uint16_t>(p.year)};
  const NWTime time{.Seconds = static_cast<uint8_t>(p.second),
                    .Minutes = static_cast<uint8_t>(p.minute),
                    .Hours = static_cast<uint16_t>(p.hour)};
  return NWPackDateTime(date, time);
}

std::vector<TDeletedSearchRec> ScanDeletedFiles(const NetWareAccess& nw, const std::string& path,
                                                const TTDirFilter* filter,
                                                NWDeletedScanContext& scan) {
  std::vector<TDeletedSearchRec> list;
  scan = NWDeletedScanContext{};
  if (!nw.Usable()) return list;
  try {
    NetWareClient& client = *nw.Client;
    ParsedPath parsed;
    if (client.ParsePath(path, parsed.Conn, parsed.Handle, parsed.Relative) != 0) return list;
    TempDirHandle handle(client);
    if (handle.Allocate(parsed.Conn, parsed.Handle, parsed.Relative) != 0) return list;
    scan.Connection = parsed.Conn;
    scan.DirHandle = parsed.Handle;
    scan.RelativePath = parsed.Relative;

    NWDeletedEntry entry;
    int32_t sequence = -1;
    for (;;) {
      const int32_t before = sequence;
      uint32_t volume = 0, dirBase = 0;
      if (client.ScanDeletedFile(parsed.Conn, handle.Get(), sequence, volume, dirBase, entry) != 0)
        break;
      scan.VolumeNumber = volume;
      scan.DirBase = dirBase;
      std::string name = CutAtNul(entry.Name);
      if (name.size() > kMaxNameBytes) name.resize(kMaxNameBytes);
      if (NameSelected(filter, name)) {
        list.push_back(TDeletedSearchRec{.Sequence = sequence,
                                         .Created = NetWareDateToFileDate(entry.Created),
                                         .Deleted = NetWareDateToFileDate(entry.Deleted),
                                         .Modified = NetWareDateToFileDate(entry.Modified),
                                         .Size = static_cast<int32_t>(entry.Size),
                                         .Attributes = static_cast<int32_t>(entry.Attributes),
                                         .Name = std::move(name)});
      }
      // A scan that does not move on would never end.
      if (sequence == before) break;
    }
  } catch (...) {
  }
  return list;
}

std::vector<TTrustee> GetTrustees(const NetWareAccess& nw, const std::string& path) {
  std::vector<TTrustee> list;
  if (!nw.Usable()) return list;
  try {
    NetWareClient& client = *nw.Client;
    ParsedPath parsed;
    if (ParseNetWarePath(nw, path, parsed) != 0) return list;
    ContextHolder context(client);
    context.PointAtTreeOf(parsed.Conn);

    uint32_t iteration = 0;
    std::vector<NWTrusteeEntry> block;
    for (;;) {
      const uint32_t before = iteration;
      block.clear();
      if (client.ScanTrustees(parsed.Conn, 0, parsed.Relative, iteration, block) != 0) break;
      for (const NWTrusteeEntry& e : block) {
        if (e.ObjectID == 0) continue;
        TTrustee trustee{.ObjectID = e.ObjectID, .Rights = e.Rights, .Connection = parsed.Conn};
        std::string name;
        if (context.Ok() &&
            client.ObjectIdToName(context.Get(), parsed.Conn, e.ObjectID, name) == 0) {
          trustee.Name = CutAtNul(std::move(name));
          if (trustee.Name.size() > kMaxNameBytes) trustee.Name.resize(kMaxNameBytes);
        }
        list.push_back(std::move(trustee));
      }
      if (iteration == before) break;
    }
  } catch (...) {
  }
  return list;
}

int32_t AddTrustees(const NetWareAccess& nw, const std::string& path,
                    std::vector<TTrustee>& trustees, std::string& logText) {
  logText.clear();
  int32_t count = 0;
  if (!nw.Usable() || trustees.empty()) return 0;
  try {
    NetWareClient& client = *nw.Client;
    ParsedPath parsed;
    if (ParseNetWarePath(nw, path, parsed) != 0) return 0;
    // Object IDs read on another server mean nothing here: find the objects
    // again by name in this server's tree.
    const bool remap = trustees.front().Connection != parsed.Conn;
    ContextHolder context(client);
    if (remap) context.PointAtTreeOf(parsed.Conn);

    uint32_t status = 0;
    for (TTrustee& trustee : trustees) {
      if (status != 0) break;
      uint32_t id = trustee.ObjectID;
      if (remap && (!context.Ok() || trustee.Name.empty() ||
                    client.NameToObjectId(context.Get(), parsed.Conn, trustee.Name, id) != 0))
        continue;
      status = client.AddTrustee(parsed.Conn, 0, parsed.Relative, id, trustee.Rights);
      trustee.Result = static_cast<int32_t>(status);
      if (status == 0) {
        ++count;
        logText = "ADD TRUSTEE: to " + path;
      }
    }
  } catch (...) {
  }
  return count;
}

int32_t NetWareDirDate(const NetWareAccess& nw, const std::string& path, DateTime& value, bool set,
                       std::string& logText) {
  logText.clear();
  int32_t result = -1;
  if (!nw.Usable()) return result;
  try {
    const int shift = HourShift();
    DirectoryEntry dir(*nw.Client);
    if (!dir.Read(nw, path)) return result;
    if (!set) {
      value = DosToDateTime(static_cast<uint32_t>(NetWareDateToFileDate(dir.Info.DateTime)));
      return 0;
    }
    // An unknown source date must not turn into a made-up one.
    if (value == 0) return result;
    value += shift / 24.0;
    const uint32_t packed = FileDateToNetWareDate(static_cast<int32_t>(DateTimeToDos(value)));
    if (packed == 0) return result;
    const uint32_t status = nw.Client->SetDirectoryInformation(
        dir.Parsed.Conn, 0, dir.Parsed.Relative, packed, dir.Info.Owner,
        static_cast<uint16_t>(dir.Info.InheritedRights & 0xFF));
    if (status == 0) {
      logText = "SET DT:  to " + path;
      result = 0;
    } else {
      logText = HexText(status, 4);
    }
  } catch (...) {
  }
  return result;
}

int32_t NetWareInheritedRights(const NetWareAccess& nw, const std::string& path, uint8_t& mask,
                               bool set, std::string& logText) {
  logText.clear();
  int32_t result = -1;
  if (!nw.Usable()) return result;
  try {
    DirectoryEntry dir(*nw.Client);
    if (!dir.Read(nw, path)) return result;
    const auto current = static_cast<uint8_t>(dir.Info.InheritedRights & kNWRightsCompareMask);
    if (!set) {
      mask = current;
      return 0;
    }
    if (current == (mask & kNWRightsCompareMask)) return 1;
    const uint32_t status = nw.Client->SetDirectoryInformation(
        dir.Parsed.Conn, 0, dir.Parsed.Relative, dir.Info.DateTime, dir.Info.Owner, mask);
    if (status == 0) {
      logText = "SET IRM: $" + HexText(mask, 2) + " to " + path;
      result = 0;
    }
  } catch (...) {
  }
  return result;
}

bool CopyNetWareRights(const NetWareAccess& nw, const std::string& source,
                       const std::string& target, const NWRightsCopyOptions& options,
                       const std::function<void(int32_t level, const std::string& text)>& log) {
  if (options.Terminated && options.Terminated()) return false;
  if (!options.CopyTrustees || !nw.Usable()) return true;
  auto write = [&log](const std::string& text) {
    if (log) log(2, text);
  };
  try {
    std::vector<TTrustee> trustees = GetTrustees(nw, source);
    if (!options.LogOnly) {
      std::string text;
      AddTrustees(nw, target, trustees, text);
      if (!text.empty()) {
        write(text);
        for (const TTrustee& t : trustees)
          write(HexText(static_cast<uint32_t>(t.Result), 4) + " " + t.Name +
                " ID=" + HexText(t.ObjectID, 8));
      }
    }
    uint8_t mask = 0;
    std::string unused;
    if (NetWareInheritedRights(nw, source, mask, false, unused) == 0 &&
        mask != kNWAllInheritedRights && !options.LogOnly) {
      std::string text;
      NetWareInheritedRights(nw, target, mask, true, text);
      if (!text.empty()) write(text);
    }
    return true;
  } catch (...) {
    return false;
  }
}

uint32_t ConnectionTreeName(NetWareClient& client, NWConnection conn, std::string& name) {
  name.clear();
  std::string raw;
  const uint32_t status = client.TreeName(conn, raw);
  if (status != 0) return status;
  name = CutAtNul(std::move(raw));
  if (name.size() > kTreeNameWidth) name.resize(kTreeNameWidth);
  while (!name.empty() && name.back() == '_') name.pop_back();
  return status;
}

std::string ContextTreeName(NetWareClient& client, NWContext context) {
  std::string value;
  if (client.GetContextValue(context, kNWContextTreeName, value) != 0) return "";
  value = CutAtNul(std::move(value));
  const auto cn = value.find("CN=");
  if (cn != std::string::npos) value.erase(cn, 3);
  return value;
}

uint32_t SetContextTree(NetWareClient& client, NWContext context, const std::string& tree,
                        const std::string& nameContext) {
  uint32_t status = 0;
  if (!tree.empty() && !SameTextIgnoringCase(tree, ContextTreeName(client, context)))
    status = client.SetContextValue(context, kNWContextTreeName, tree);
  if (status != 0) return status;
  std::string name = nameContext;
  if (name.empty()) {
    std::string fallback;
    const bool found = client.DefaultNameContext(context, fallback) == 0;
    fallback = CutAtNul(std::move(fallback));
    name = found && !fallback.empty() ? fallback : "[Root]";
  }
  if (!name.empty() && name.front() == '.') name.erase(0, 1);
  return client.SetContextValue(context, kNWContextNameContext, name);
}

uint32_t ChangeContextFlags(NetWareClient& client, NWContext context, const std::string& op,
                            uint32_t bits) {
  uint32_t flags = 0;
  // Writing after a failed read would clear every other flag.
  if (const uint32_t status = client.GetContextFlags(context, flags); status != 0) return status;
  if (op == "+")
    flags |= bits;
  else if (op == "-")
    flags &= ~bits;
  return client.SetContextFlags(context, flags);
}

}  // namespace mv
