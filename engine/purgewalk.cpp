// NETWARE PURGE jobs: deleted (salvageable) files older than the age limit
// are purged for good; and the scan that lists them.

#include <optional>

#include "engine/copythread.h"
#include "engine/dirlist.h"
#include "engine/nwsession.h"
#include "engine/walkfolder.h"
#include "engine/walks.h"
#include "filter/matchmask.h"
#include "jobs/errmsg.h"
#include "jobs/jobtypes.h"
#include "netware/nwops.h"
#include "platform/clock.h"
#include "platform/hextext.h"
#include "platform/paths.h"
#include "platform/textcase.h"

namespace mv {

namespace {

constexpr int32_t kPurgeTag = JOB_NETWARE_PURGE;
// Past this many errors a purge run only passes entries over.
constexpr int32_t kPurgeErrorLimit = 100;
// Longest short path the scan takes.
constexpr size_t kMaxScanPath = 259;
constexpr size_t kMaxRelativePath = 256;




}  // namespace

int32_t ReadDeletedFiles(TCopyThread& t, TTDirList& list) {
  NetWareScanContext& scan = list.ScanContext();
  scan.Connection = -1;
  NetWareSession session(t.Context());
  const NetWareAccess& nw = session.Access();
  if (!nw.Usable()) {
    // Without a client no path lies on a NetWare server.
    t.LastNetWareStatus = static_cast<int32_t>(kNWNotAvailable);
    return MC_NW_PARSE_PATH;
  }
  NetWareClient& client = *nw.Client;

  std::string converted;
  const int32_t convStatus =
      ToNetWarePath(nw, UpperCase(list.Path()).substr(0, kMaxScanPath), converted);
  if (convStatus != 0) {
    t.LastNetWareStatus = convStatus;
    return MC_NW_UNICODE;
  }
  NWConnection conn = 0;
  NWDirHandle dirHandle = 0;
  std::string relative;
  if (const uint32_t s = client.ParsePath(converted, conn, dirHandle, relative); s != 0) {
    t.LastNetWareStatus = static_cast<int32_t>(s);
    return MC_NW_PARSE_PATH;
  }
  TempDirHandle temp(client);
  if (const uint32_t s = temp.Allocate(conn, dirHandle, relative); s != 0) {
    t.LastNetWareStatus = static_cast<int32_t>(s);
    return MC_NW_HANDLE_ALLOCATION;
  }
  scan.Connection = static_cast<int32_t>(conn);
  scan.DirHandle = dirHandle;
  scan.RelativePath = relative.substr(0, kMaxRelativePath);

  const TTDirFilter& f = list.Filter;
  int32_t sequence = -1;
  while (!t.TerminateRequested()) {
    NWDeletedEntry entry;
    uint32_t volume = 0, dirBase = 0;
    // Whatever status ends the scan, it is its end and no error.
    if (client.ScanDeletedFile(conn, temp.Get(), sequence, volume, dirBase, entry) != 0) break;
    scan.VolumeNumber = volume;
    scan.DirBase = dirBase;
    if (!f.IncludeFileNames.empty() && !MatchAnyMask(f.IncludeFileNames, entry.Name)) continue;
    if (!f.ExcludeFileNames.empty() && MatchAnyMask(f.ExcludeFileNames, entry.Name)) continue;
    FindData found;
    found.Name = entry.Name;
    found.Time = static_cast<uint32_t>(NetWareDateToFileDate(entry.Created));
    found.Size = entry.Size;
    found.Attr = entry.Attributes;
    if (list.Accept(found, true))
      list.AddDeleted(found, NetWareDateToFileDate(entry.Deleted), sequence);
  }
  return 0;
}

int32_t PurgeDir(TCopyThread& t, const std::string& dir, const std::string& mask, int32_t depth,
                 int32_t level) {
  const WalkFolder folder(t, kPurgeTag, dir, level);
  const bool counting = depth >= 0;
  int32_t r = RC_NOTHING_TO_DO;
  if (level < 2 && counting) folder.Log(LVL_INFO, 0, "NWPURGE " + dir + mask);
  if (folder.StopAtStart()) r = t.LastResult;
  if (const auto result = folder.NotEntered(HexText(static_cast<uint32_t>(t.LastNetWareStatus), 4)))
    return *result;

  t.CurSourceDir = dir;
  // The ordinary read yields only the folders.
  TTDirList list = t.ListSourceDir(dir, mask, t.Filter, [](TTDirList& l) { l.Filter.DeletedFiles = 2; });
  auto statusText = [&t] {
    return HexText(static_cast<uint32_t>(t.LastNetWareStatus), 4) + " " + t.CurSourceDir;
  };
  if (const int32_t c = ReadDeletedFiles(t, list); c != 0) {
    folder.Log(LVL_ERROR, c, statusText());
    r = (c & 0xFF00) | 0x40;
    folder.Log(LVL_INFO, 0, EscapeName(t.CurSourceDir));
    return r;
  }
  const NetWareScanContext scan = list.ScanContext();
  if (scan.Connection == -1) r = folder.Log(LVL_ERROR, MC_NW_INVALID_CONNECTION, statusText());

  NetWareClient* client = t.Context().NetWare;
  const int32_t cutoff = static_cast<int32_t>(DateTimeToDos(Now() - t.Filter.FileAgeMinDays));
  std::optional<TempDirHandle> handle;
  if (client != nullptr) handle.emplace(*client);
  const auto releaseBeforeFolders = [&](int pass) {
    if (pass == 1 && handle && handle->Held()) {
      handle->Release();
      list.RemoveIf([](const TTDirEntry& e) { return !e.IsNormalDirectory(); });
    }
  };
  folder.ForEachEntry(list, {.Abort = AfterAbort::PassOverChecked}, r, releaseBeforeFolders,
                      [&](const TTDirEntry& e, int32_t, int pass) {
    if (t.cError >= kPurgeErrorLimit) return EntryTurn::Next;
    t.CurEntryName = e.Name;
    if (e.IsNormalDirectory()) {
      if (pass != 1 || depth <= 0 || IsSelfOrParent(e.Name)) return EntryTurn::Next;
      t.DisplayRefresh();
      const std::string sub = dir + e.Name + PathDelim;
      r = FolderFilteredOut(t.Filter, sub, level) ? 0 : PurgeDir(t, sub, "*.*", depth - 1, level + 1);
      return EntryTurn::Next;
    }
    if (pass != 0) return EntryTurn::Next;
    if (counting) {
      ++t.cTotal;
      if (t.cTotal % 8 == 0) t.DisplayRefresh();
    }
    if (!(e.DeletedDate > 0 && cutoff > e.DeletedDate)) {
      if (counting) ++t.cSkipped;
      return EntryTurn::Next;
    }
    uint32_t status = kNWNotAvailable;
    if (handle && !handle->Held()) {
      status = handle->Allocate(static_cast<NWConnection>(scan.Connection), scan.DirHandle,
                                scan.RelativePath);
      if (status != 0) t.LastNetWareStatus = static_cast<int32_t>(status);
    }
    if (handle && handle->Held())
      status = client->PurgeDeletedFile(static_cast<NWConnection>(scan.Connection),
                                        handle->Get(), e.DeletedSequence, scan.VolumeNumber,
                                        scan.DirBase);
    if (status == 0) {
      r = RC_DONE;
      if (counting) EntryDone(t, e.Size64());
    } else {
      r = folder.Log(LVL_ERROR, MC_NW_PURGE, dir + e.Name);
      folder.Log(LVL_INFO, 0, "Error code: " + HexText(status, 4));
      folder.Log(LVL_INFO, 0, "IterHandle: " + HexText(static_cast<uint32_t>(e.DeletedSequence), 8));
      folder.Log(LVL_INFO, 0, "VolumeNumber: " + HexText(scan.VolumeNumber, 8));
      folder.Log(LVL_INFO, 0, "DirBase: " + HexText(scan.DirBase, 2));
      if (counting) ++t.cError;
    }
    t.LastResult = r;
    return EntryTurn::Next;
  });
  handle.reset();
  t.DisplayRefresh();
  return r;
}

}  // namespace mv
