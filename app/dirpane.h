#pragma once
// One pane of the job editor: a directory listing (local, through a remote
// instance, or with the deleted files of a NetWare directory) in display
// order, with the user's selection, the name label's text and colour and the
// commands of the pop-up menu. No widget: the window's list view shows it,
// the editor reads and sets it, tests drive it directly.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/dirlist.h"
#include "netware/nwops.h"

namespace mv {

class Prompt;
class TMVIPCLient;

// State images of the entries.
inline constexpr int kImageDirectory = 0;
inline constexpr int kImageFile = 2;
inline constexpr int kImageAdded = 4;
inline constexpr int kImageDeletedFile = 6;
inline constexpr int kImageDeletedDirectory = 8;
inline constexpr int kStateImageCount = 10;

enum class PaneLabelColour { Black, Blue, Green, Red };

// The deleted files of a pane's folder as the NetWare client scans them
// (nothing when the client is not available).
DirListNetWare PaneDeletedFiles(const NetWareAccess& nw);

class DirPaneObserver {
 public:
  virtual ~DirPaneObserver() = default;
  // A new listing is about to replace the rows / has replaced them.
  virtual void PaneAboutToReset() {}
  virtual void PaneReset() {}
  // The selection or the current row changed (not by the view itself).
  virtual void PaneSelectionChanged() {}
  // A read started or ended (the view is locked while it runs).
  virtual void PaneBusyChanged(bool) {}
};

class DirPane {
 public:
  // number: 0 for the left (source) pane, 1 for the right (target) pane.
  explicit DirPane(int32_t number);
  ~DirPane();
  DirPane(const DirPane&) = delete;
  DirPane& operator=(const DirPane&) = delete;

  int32_t Number() const { return number_; }

  // Runs a listing read. By default in place; the window runs it off the
  // main thread and keeps its event loop going until it is done.
  using ReadRunner = std::function<void(const std::function<void()>& work)>;
  void SetReadRunner(ReadRunner runner) { runner_ = std::move(runner); }
  // Port of remote instances (the configured one unless a test sets it).
  void SetRemotePort(uint16_t port) { remotePort_ = port; }
  // Where deleted files come from (the NetWare layer).
  void SetNetWare(DirListNetWare netware) { netware_ = std::move(netware); }

  // Shows the directory (a trailing "/" is added); "" empties and hides the
  // pane. False when a read of this pane is still running (nothing changes).
  bool SetDirectory(const std::string& path);
  // Reads the same directory again; the selection is kept by exact name.
  bool Reload();
  bool Busy() const { return busy_; }
  // The listing's path, ending in "/" unless empty.
  const std::string& GetPath() const { return list_.Path(); }
  bool HasDirectory() const { return !list_.Path().empty(); }

  // Rows in display order.
  int32_t Count() const { return static_cast<int32_t>(order_.size()); }
  const TTDirEntry* EntryAt(int32_t row) const;
  // "" / false for a row outside the list.
  std::string NameAt(int32_t row) const;
  bool IsDirAt(int32_t row) const;
  // First row whose name equals name regardless of letter case, or -1.
  int32_t IndexOfName(const std::string& name) const;
  // First row whose name equals name exactly, or -1.
  int32_t IndexOfExactName(const std::string& name) const;
  // Adds an entry that is not on disk (named by a job); returns its row.
  int32_t AddMissingEntry(const std::string& name);
  int StateImage(int32_t row) const;

  bool IsSelected(int32_t row) const;
  void SetSelected(int32_t row, bool on);
  // Replaces the whole selection (the view's selection model reports here).
  void SetSelection(const std::vector<int32_t>& rows, bool notify);
  void UnselectAll();
  int32_t SelectedCount() const { return selectedCount_; }
  std::vector<int32_t> SelectedRows() const;
  // Names of the selected rows in display order.
  std::vector<std::string> SelectedNames() const;
  int32_t Current() const;
  void SetCurrent(int32_t row, bool notify);

  const std::string& RemoteServerName() const { return remoteName_; }
  // Binds the pane to a remote instance ("" = local directories); connects
  // with the next read.
  void SetRemoteServerName(const std::string& name);
  const std::string& DefinitionName() const { return definitionName_; }
  void SetDefinitionName(const std::string& name) { definitionName_ = name; }
  // The deleted-files view of the left pane; reloads.
  void SetShowDeleted(bool on);
  bool ShowDeleted() const { return list_.Filter.DeletedFiles == 1; }

  std::string LabelText() const;
  PaneLabelColour LabelColour() const;
  int32_t LastResult() const { return list_.LastResult(); }

  // Double click: opens the directory of that row (".." goes up). False
  // for a file.
  bool Open(int32_t row);

  // Pop-up menu.
  bool CanCreateFolder() const;
  bool CanDelete() const;
  bool CanRename() const;
  void CreateFolder(Prompt& prompt);
  void DeleteSelected(Prompt& prompt);
  void RenameCurrent(Prompt& prompt);

  void AddObserver(DirPaneObserver* o);
  void RemoveObserver(DirPaneObserver* o);
  const TTDirList& Listing() const { return list_; }

 private:
  int32_t EntryIndex(int32_t row) const;
  void Rebuild();
  void Notify(void (DirPaneObserver::*what)());
  void SelectOnly(const std::string& exactName);

  int32_t number_;
  TTDirList list_;
  std::unique_ptr<TMVIPCLient> remote_;
  std::string remoteName_;
  std::string definitionName_;
  uint16_t remotePort_;
  DirListNetWare netware_;
  ReadRunner runner_;
  bool busy_ = false;
  // Per listing entry.
  std::vector<char> added_;
  std::vector<char> selected_;
  std::vector<std::string> upper_;
  // Display order: listing indices; rowOf_ the inverse.
  std::vector<int32_t> order_;
  std::vector<int32_t> rowOf_;
  int32_t selectedCount_ = 0;
  int32_t currentEntry_ = -1;
  mutable std::unordered_map<std::string, int32_t> exactIndex_;
  mutable std::unordered_map<std::string, int32_t> upperIndex_;
  std::vector<DirPaneObserver*> observers_;
};

}  // namespace mv
