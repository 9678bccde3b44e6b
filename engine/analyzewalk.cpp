// ANALYZE jobs: per-directory statistics of the source tree and the list of
// directories whose files are all older than the age limit.

#include "engine/analyzewalk.h"

#include <algorithm>
#include <memory>

#include "engine/analyzedata.h"
#include "engine/copythread.h"
#include "engine/dirlist.h"
#include "engine/walkfolder.h"
#include "engine/walks.h"
#include "filter/matchmask.h"
#include "jobs/errmsg.h"
#include "jobs/jobtypes.h"
#include "platform/clock.h"
#include "platform/filehandle.h"
#include "platform/fileio.h"
#include "platform/paths.h"

namespace mv {

namespace {

constexpr int32_t kAnalyzeTag = JOB_ANALYZE;

// The list of the ANALYZE action running on this thread.
thread_local TTAnalyzeDataList* t_collector = nullptr;

// Writes lines to path (replacing the file); false when it could not be made.
bool WriteLines(const std::string& path, const std::string& header, TTAnalyzeDataList& list,
                int form, const TCopyThread& t) {
  FileHandle file;
  if (file.Open(path, FileAccess::Write, FileCreate::CreateAlways, FileShare::DenyWrite) != 0)
    return false;
  std::string text = header.empty() ? std::string() : header + "\r\n";
  for (int32_t i = 0; i < list.Count() && !t.TerminateRequested(); ++i)
    text += list[i].Line(form) + "\r\n";
  file.Write(text.data(), text.size());
  return true;
}

void WriteAnalysisLogs(TCopyThread& t, TTAnalyzeDataList& list) {
  std::string logDir = t.Context().LogDir;
  if (logDir.empty() && t.Job->LogList != nullptr) logDir = t.Job->LogList->Dir();
  if (logDir.empty()) return;
  const std::string dir = IncludeTrailingDelim(logDir) + JobLogFolderName(t.Job->JobID);
  ForceDirectories(dir);

  struct LogFile {
    const char* entry;
    const char* name;
    AnalyzeOrder order;
    int form;
    bool header;
  };
  static constexpr LogFile kFiles[] = {
      {"statistics...", "ANALYZE1.LOG", AnalyzeOrder::ByDirectory, 2, true},
      {"sorted list datetime...", "AN_DATE.LOG", AnalyzeOrder::ByNewestDate, 0, false},
      {"By Size:", "AN_SIZE.LOG", AnalyzeOrder::BySize, 0, false},
  };
  for (const LogFile& f : kFiles) {
    if (t.TerminateRequested()) break;
    t.Messages.AddMsg(kAnalyzeTag, LVL_INFO, 0, f.entry);
    list.Sort(f.order);
    const std::string path = dir + PathDelim + f.name;
    // One file that cannot be written does not keep the others back.
    if (WriteLines(path, f.header ? AnalyzeHeaderLine() : "", list, f.form, t) && t.Job->Mail)
      t.Job->Mail->Message.Attachments.push_back(path);
  }
  t.Messages.AddMsg(kAnalyzeTag, LVL_INFO, 0, "");
}

}  // namespace

AnalyzeCollector::AnalyzeCollector(TTAnalyzeDataList& list) : previous_(t_collector) {
  t_collector = &list;
}

AnalyzeCollector::~AnalyzeCollector() { t_collector = previous_; }

int32_t AnalyzeDir(TCopyThread& t, const std::string& dir, const std::string& mask,
                   TTAnalyzeData& parent, int32_t level) {
  const WalkFolder folder(t, kAnalyzeTag, dir, level);
  int32_t r = RC_NOTHING_TO_DO;
  if (level < 2) folder.Log(LVL_INFO, 0, "ANALYZE " + dir + mask);
  TTAnalyzeData d;
  bool young = false;
  if (folder.StopAtStart()) r = t.LastResult;
  if (const auto result = folder.NotEntered("")) return *result;

  t.CurSourceDir = dir;
  const TTDirFilter& f = t.Filter;
  const int32_t cutoff = static_cast<int32_t>(DateTimeToDos(Now() - f.FileAgeMinDays));
  const int32_t tomorrow = static_cast<int32_t>(t.Tomorrow);
  {
    TTDirList list = t.ListSourceDir(dir, mask, f);
    folder.ForEachEntry(list, {.Abort = AfterAbort::EndPass}, r, {},
                        [&](const TTDirEntry& e, int32_t, int pass) {
      t.CurEntryName = e.Name;
      if (pass == 0) {
        if (e.IsDirectory() || young) return EntryTurn::Next;
        ++t.cTotal;
        if (t.cTotal % 32 == 0) t.DisplayRefresh();
        const int64_t size = e.Size64();
        d.TotalBytes += size;
        ++d.FileCount;
        // Files dated in the future would hide the real age of the folder.
        if (e.Time < tomorrow) {
          if (e.Time > d.NewestDate) {
            d.NewestDate = e.Time;
            young = f.FileAgeMinDays > 0 && cutoff < d.NewestDate;
          }
          d.SmallestFile = std::min(d.SmallestFile, size);
          d.LargestFile = std::max(d.LargestFile, size);
          const auto nameLength = static_cast<int32_t>(dir.size() + e.Name.size());
          d.LongestFileName = std::max(d.LongestFileName, nameLength);
        }
        r = t.LastResult = RC_DONE;
        EntryDone(t, size);
        return EntryTurn::Next;
      }
      if (!e.IsDirectory()) return EntryTurn::Next;
      if (young && f.ReportDirLevel <= level) return EntryTurn::Next;
      if (IsSelfOrParent(e.Name)) return EntryTurn::Next;
      t.DisplayRefresh();
      const std::string sub = dir + e.Name + PathDelim;
      if (FolderFilteredOut(f, sub, level)) {
        r = 0;
        return EntryTurn::Next;
      }
      d.LongestDirPath = std::max(d.LongestDirPath, static_cast<int32_t>(sub.size()));
      r = AnalyzeDir(t, sub, "*.*", d, level + 1);
      return EntryTurn::Next;
    });
  }

  const bool reported =
      f.ReportDirLevel + 2 > level && f.ReportDirLevelMin < level && cutoff > d.NewestDate &&
      d.NewestDate > 0 && d.TotalBytes > 0 &&
      (!f.ReportPathLengthEnabled || d.LongestDirPath > f.ReportPathLength ||
       d.LongestFileName > f.ReportPathLength);
  if (reported && t_collector != nullptr)
    t_collector->Add(std::make_unique<TTAnalyzeDataExtended>(d, level, dir + mask));
  d.AddTo(parent);
  t.DisplayRefresh();
  return r;
}

int32_t RunAnalyzeAction(TCopyThread& t, const TTFileAction& action) {
  TTAnalyzeDataList list;
  TTAnalyzeData total;
  int32_t r = 0;
  {
    AnalyzeCollector collect(list);
    // An empty mask selects nothing, as in every walk.
    r = AnalyzeDir(t, IncludeTrailingDelim(action.SourcePath), action.Source, total, JOB_ANALYZE);
  }
  if (!t.TerminateRequested() && !list.Empty()) WriteAnalysisLogs(t, list);
  return r;
}

}  // namespace mv
