#pragma once
// What every walk of a job run does in each folder: the checks before it
// enters, the way back to the folder an interrupted run stopped in, the loop
// over the folder's entries with its stop and abort rules, and the counting
// of what came of an entry.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace mv {

class TCopyThread;
class TTDirList;
class TTDirEntry;
class TTDirFilter;
struct NetWareAccess;

// How a walk goes on in a folder once its result carries RC_ABORT. The walks
// differ here on purpose, and this is the one place that says how.
enum class AfterAbort {
  // The pass ends at once; a later pass meets the abort at its first entry
  // (analysis, mirror clean-up).
  EndPass,
  // The rest are passed over one by one, each still checked for a stop, so
  // that every open level reports its own stop (delete, purge).
  PassOverChecked,
  // The rest are passed over without a look: the level that aborted has
  // reported it (copy).
  PassOverSilently,
};

struct EntryLoopRules {
  int Passes = 2;
  AfterAbort Abort = AfterAbort::PassOverChecked;
  // A stop requested during the folder's last entry is reported by this
  // level too.
  bool ReportLateStop = true;
};

// What the loop does after an entry.
enum class EntryTurn { Next, EndWalk };

class WalkFolder {
 public:
  // tag: the message table the walk writes to; level: depth below its top.
  WalkFolder(TCopyThread& thread, int32_t tag, std::string dir, int32_t level);

  // osError: the system error the entry names (0: none).
  int32_t Log(int32_t level, int32_t code, const std::string& text, int32_t osError = 0) const;
  // Logs the stop in this folder and makes it the run's last result.
  int32_t LogStop() const;
  // At the folder's start: true, after LogStop, when the run must stop.
  bool StopAtStart() const;
  // The result the walk returns instead of entering the folder: the run has
  // aborted (logged with abortText), or the folder is out of reach.
  std::optional<int32_t> NotEntered(const std::string& abortText, const std::string& otherDir = "") const;
  // On the way back to an interrupted run's folder: false when this folder
  // lies beside that path (it was finished then). Records the folder.
  bool OnResumePath() const;

  // A visit that drops entries before index moves index with them.
  using Visit = std::function<EntryTurn(const TTDirEntry& entry, int32_t& index, int pass)>;
  // Visits every entry of list in each pass, checking for a stop before each
  // (logged once, then every pass ends) and following rules once result
  // carries RC_ABORT; beforePass (may be empty) runs at each pass's start.
  // A visit returning EndWalk ends the loop as a stop would, unreported.
  // True when the loop ended by a stop or an EndWalk.
  bool ForEachEntry(TTDirList& list, const EntryLoopRules& rules, int32_t& result,
                    const std::function<void(int pass)>& beforePass, const Visit& visit) const;

 private:
  TCopyThread& t_;
  int32_t tag_;
  std::string dir_;
  int32_t level_;
};

// True when sub is a folder the include-folder filter leaves out at level.
bool FolderFilteredOut(const TTDirFilter& filter, const std::string& sub, int32_t level);
// True when the options keep a walk out of the subfolders of a whole folder.
bool NewFoldersBarred(uint32_t options, const std::string& mask);
// kFsNetWare when dir lies on a NetWare server, else kFsOther.
int32_t FileSystemOf(const NetWareAccess& nw, const std::string& dir);
// A skip and a failure of r are counted and r becomes the run's last result.
// True when the entry was done.
bool TallyEntry(TCopyThread& thread, int32_t r, bool countSkips = true);
// One more entry done, bytes of it moved; the current file's figures clear.
void EntryDone(TCopyThread& thread, int64_t bytes);

}  // namespace mv
