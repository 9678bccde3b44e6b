#include "app/dirpane.h"

#include <algorithm>

#include "app/mvmain.h"
#include "app/prompt.h"
#include "platform/datetext.h"
#include "platform/datetime.h"
#include "platform/fileio.h"
#include "platform/oserror.h"
#include "platform/paths.h"
#include "platform/textcase.h"
#include "remote/mvtcp.h"

namespace mv {

namespace {

constexpr const char* kBoxTitle = "Mirava";

// The text a user reads for a failed file operation.
std::string SystemErrorText(uint32_t error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "No such file or directory";
    case ERROR_ACCESS_DENIED:
    case ERROR_NETWORK_ACCESS_DENIED: return "Permission denied";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return "The file is in use by another process";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return "File exists";
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER: return "Invalid name";
    case ERROR_DIR_NOT_EMPTY: return "Directory not empty";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return "No space left on device";
    case ERROR_FILENAME_EXCED_RANGE: return "File name too long";
    case ERROR_NOT_SAME_DEVICE: return "Not on the same file system";
    case ERROR_DIRECTORY: return "Not a directory";
    default: return "error " + std::to_string(error);
  }
}

// A single name: no folder separator, not "." or "..".
bool IsPlainName(const std::string& name) {
  return !name.empty() && name.find(PathDelim) == std::string::npos && !IsSelfOrParent(name);
}

}  // namespace

DirListNetWare PaneDeletedFiles(const NetWareAccess& nw) {
  DirListNetWare out{nw.Client, nw.Usable(), {}};
  out.Scan = [nw](NetWareClient&, const std::string& upperPath, const TTDirFilter& filter,
                  NetWareScanContext& context) {
    std::vector<DeletedFileRecord> records;
    std::string converted;
    if (ToNetWarePath(nw, upperPath, converted) != 0) return records;
    NWDeletedScanContext scan;
    for (TDeletedSearchRec& r : ScanDeletedFiles(nw, converted, &filter, scan))
      records.push_back({.Sequence = r.Sequence, .Created = r.Created, .Modified = r.Modified,
                         .Deleted = r.Deleted, .Size = static_cast<uint32_t>(r.Size),
                         .Attributes = r.Attributes, .Name = std::move(r.Name)});
    context.Connection = static_cast<int32_t>(scan.Connection);
    context.DirHandle = scan.DirHandle;
    context.VolumeNumber = scan.VolumeNumber;
    context.DirBase = scan.DirBase;
    context.RelativePath = scan.RelativePath;
    return records;
  };
  return out;
}

DirPane::DirPane(int32_t number) : number_(number), remotePort_(ConfiguredRemotePort()) {}

DirPane::~DirPane() { list_.SetRemote(nullptr); }

// --- Reading -------------------------------------------------------------------

bool DirPane::SetDirectory(const std::string& path) {
  if (busy_) return false;
  std::string dir = path;
  if (!dir.empty() && dir.back() != PathDelim) dir += PathDelim;

  // The read fills a listing of its own, so the rows shown stay intact while
  // it runs (possibly on another thread).
  TTDirList fresh;
  fresh.Mask = list_.Mask;
  fresh.Filter = list_.Filter;
  fresh.SetNetWare(netware_);
  fresh.SetRemote(remote_.get());
  busy_ = true;
  for (DirPaneObserver* o : observers_) o->PaneBusyChanged(true);
  auto work = [&fresh, &dir, remote = remote_.get()] {
    // A remote instance that was gone may be back: every read tries again.
    if (remote && remote->Active()) remote->Connect();
    fresh.Read(dir);
  };
  if (runner_)
    runner_(work);
  else
    work();
  busy_ = false;
  for (DirPaneObserver* o : observers_) o->PaneBusyChanged(false);

  Notify(&DirPaneObserver::PaneAboutToReset);
  list_ = std::move(fresh);
  const size_t n = static_cast<size_t>(list_.Count());
  added_.assign(n, 0);
  selected_.assign(n, 0);
  selectedCount_ = 0;
  currentEntry_ = -1;
  Rebuild();
  Notify(&DirPaneObserver::PaneReset);
  return true;
}

bool DirPane::Reload() {
  if (busy_) return false;
  const std::vector<std::string> names = SelectedNames();
  if (!SetDirectory(GetPath())) return false;
  for (const std::string& name : names) {
    const int32_t row = IndexOfExactName(name);
    if (row >= 0 && !selected_[static_cast<size_t>(order_[static_cast<size_t>(row)])]) {
      selected_[static_cast<size_t>(order_[static_cast<size_t>(row)])] = 1;
      ++selectedCount_;
    }
  }
  if (!names.empty()) Notify(&DirPaneObserver::PaneSelectionChanged);
  return true;
}

void DirPane::Rebuild() {
  const int32_t n = list_.Count();
  upper_.resize(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) upper_[static_cast<size_t>(i)] = UpperCase(list_[i].Name);
  order_.resize(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) order_[static_cast<size_t>(i)] = i;
  // ".." first, folders before files, then the upper-cased names; the exact
  // name and the listing order decide between names that differ only in
  // case, so no two rows ever compare equal.
  std::sort(order_.begin(), order_.end(), [this](int32_t a, int32_t b) {
    const TTDirEntry& ea = list_[a];
    const TTDirEntry& eb = list_[b];
    const bool pa = ea.Name == "..", pb = eb.Name == "..";
    if (pa != pb) return pa;
    if (ea.IsDirectory() != eb.IsDirectory()) return ea.IsDirectory();
    const int c = upper_[static_cast<size_t>(a)].compare(upper_[static_cast<size_t>(b)]);
    if (c != 0) return c < 0;
    const int e = ea.Name.compare(eb.Name);
    if (e != 0) return e < 0;
    return a < b;
  });
  rowOf_.assign(static_cast<size_t>(n), -1);
  for (int32_t r = 0; r < n; ++r) rowOf_[static_cast<size_t>(order_[static_cast<size_t>(r)])] = r;
  exactIndex_.clear();
  upperIndex_.clear();
}

// --- Rows ----------------------------------------------------------------------

int32_t DirPane::EntryIndex(int32_t row) const {
  return row >= 0 && row < Count() ? order_[static_cast<size_t>(row)] : -1;
}

const TTDirEntry* DirPane::EntryAt(int32_t row) const {
  const int32_t i = EntryIndex(row);
  return i < 0 ? nullptr : &list_[i];
}

std::string DirPane::NameAt(int32_t row) const {
  const TTDirEntry* e = EntryAt(row);
  return e ? e->Name : std::string();
}

bool DirPane::IsDirAt(int32_t row) const {
  const TTDirEntry* e = EntryAt(row);
  return e && e->IsDirectory();
}

int32_t DirPane::IndexOfName(const std::string& name) const {
  if (upperIndex_.empty() && Count() > 0)
    for (int32_t r = Count() - 1; r >= 0; --r)
      upperIndex_[upper_[static_cast<size_t>(order_[static_cast<size_t>(r)])]] = r;
  const auto it = upperIndex_.find(UpperCase(name));
  return it == upperIndex_.end() ? -1 : it->second;
}

int32_t DirPane::IndexOfExactName(const std::string& name) const {
  if (exactIndex_.empty() && Count() > 0)
    for (int32_t r = Count() - 1; r >= 0; --r) exactIndex_[NameAt(r)] = r;
  const auto it = exactIndex_.find(name);
  return it == exactIndex_.end() ? -1 : it->second;
}

int32_t DirPane::AddMissingEntry(const std::string& name) {
  Notify(&DirPaneObserver::PaneAboutToReset);
  TTDirEntry entry;
  entry.Name = name;
  entry.Found.Name = name;
  list_.Add(std::move(entry));
  added_.push_back(1);
  selected_.push_back(0);
  Rebuild();
  Notify(&DirPaneObserver::PaneReset);
  return rowOf_.back();
}

int DirPane::StateImage(int32_t row) const {
  const int32_t i = EntryIndex(row);
  if (i < 0) return -1;
  if (added_[static_cast<size_t>(i)]) return kImageAdded;
  const TTDirEntry& e = list_[i];
  int image = e.IsDirectory() ? (e.IsDeleted() ? kImageDeletedDirectory : kImageDirectory)
                              : (e.IsDeleted() ? kImageDeletedFile : kImageFile);
  if (e.Attr & (kAttrHidden | kAttrSystem)) ++image;
  return image;
}

// --- Selection -------------------------------------------------------------------

bool DirPane::IsSelected(int32_t row) const {
  const int32_t i = EntryIndex(row);
  return i >= 0 && selected_[static_cast<size_t>(i)];
}

void DirPane::SetSelected(int32_t row, bool on) {
  const int32_t i = EntryIndex(row);
  if (i < 0 || (selected_[static_cast<size_t>(i)] != 0) == on) return;
  selected_[static_cast<size_t>(i)] = on ? 1 : 0;
  selectedCount_ += on ? 1 : -1;
  Notify(&DirPaneObserver::PaneSelectionChanged);
}

void DirPane::SetSelection(const std::vector<int32_t>& rows, bool notify) {
  std::fill(selected_.begin(), selected_.end(), 0);
  selectedCount_ = 0;
  for (int32_t row : rows) {
    const int32_t i = EntryIndex(row);
    if (i >= 0 && !selected_[static_cast<size_t>(i)]) {
      selected_[static_cast<size_t>(i)] = 1;
      ++selectedCount_;
    }
  }
  if (notify) Notify(&DirPaneObserver::PaneSelectionChanged);
}

void DirPane::UnselectAll() {
  std::fill(selected_.begin(), selected_.end(), 0);
  selectedCount_ = 0;
  currentEntry_ = -1;
  Notify(&DirPaneObserver::PaneSelectionChanged);
}

std::vector<int32_t> DirPane::SelectedRows() const {
  std::vector<int32_t> rows;
  rows.reserve(static_cast<size_t>(selectedCount_));
  for (int32_t r = 0; r < Count() && static_cast<int32_t>(rows.size()) < selectedCount_; ++r)
    if (selected_[static_cast<size_t>(order_[static_cast<size_t>(r)])]) rows.push_back(r);
  return rows;
}

std::vector<std::string> DirPane::SelectedNames() const {
  std::vector<std::string> names;
  for (int32_t r : SelectedRows()) names.push_back(NameAt(r));
  return names;
}

int32_t DirPane::Current() const {
  return currentEntry_ < 0 ? -1 : rowOf_[static_cast<size_t>(currentEntry_)];
}

void DirPane::SetCurrent(int32_t row, bool notify) {
  currentEntry_ = EntryIndex(row);
  if (notify) Notify(&DirPaneObserver::PaneSelectionChanged);
}

void DirPane::SelectOnly(const std::string& exactName) {
  std::fill(selected_.begin(), selected_.end(), 0);
  selectedCount_ = 0;
  const int32_t row = IndexOfExactName(exactName);
  if (row >= 0) {
    selected_[static_cast<size_t>(order_[static_cast<size_t>(row)])] = 1;
    selectedCount_ = 1;
  }
  currentEntry_ = EntryIndex(row);
  Notify(&DirPaneObserver::PaneSelectionChanged);
}

// --- Remote, deleted files, label ---------------------------------------------

void DirPane::SetRemoteServerName(const std::string& name) {
  if (!remote_) {
    if (name.empty()) return;
    remote_ = std::make_unique<TMVIPCLient>(name, remotePort_);
  } else if (name != remote_->Host()) {
    remote_->SetHost(name);  // disconnects
  }
  remoteName_ = name;
  list_.SetRemote(remote_.get());
}

void DirPane::SetShowDeleted(bool on) {
  list_.Filter.DeletedFiles = on ? 1 : 0;
  Reload();
}

std::string DirPane::LabelText() const {
  std::string text = "(" + definitionName_ + ") " + GetPath() + " [" +
                     std::to_string(list_.LastResult()) + "]";
  if (list_.Filter.DeletedDateLimit != 0)
    text += "[" + DateTimeToStr(DosToDateTime(static_cast<uint32_t>(list_.Filter.DeletedDateLimit))) + "]";
  if (remote_ && !remote_->Host().empty()) text += "(" + remote_->Host() + ")";
  return text;
}

PaneLabelColour DirPane::LabelColour() const {
  PaneLabelColour c = PaneLabelColour::Black;
  if (!remoteName_.empty()) c = PaneLabelColour::Blue;
  if (!definitionName_.empty()) c = PaneLabelColour::Green;
  if (list_.LastResult() < 0) c = PaneLabelColour::Red;
  return c;
}

// --- Navigation and pop-up menu ----------------------------------------------------

bool DirPane::Open(int32_t row) {
  if (!IsDirAt(row)) return false;
  const std::string name = NameAt(row);
  if (name == "..") {
    const std::string trimmed = ExcludeTrailingDelim(GetPath());
    return SetDirectory(trimmed == "/" ? trimmed : ExtractFilePath(trimmed));
  }
  return SetDirectory(GetPath() + name + PathDelim);
}

bool DirPane::CanCreateFolder() const { return HasDirectory() && list_.LastError() == 0; }

bool DirPane::CanDelete() const { return selectedCount_ > 0; }

bool DirPane::CanRename() const {
  const int32_t row = Current();
  if (row < 0) return false;
  const std::string name = NameAt(row);
  if (name.empty()) return false;
  return name[0] != '.' || !IsDirAt(row);
}

void DirPane::CreateFolder(Prompt& prompt) {
  std::string name;
  if (!prompt.Input("Create new folder", "Enter name", name) || name.empty()) return;
  if (const uint32_t rc = ForceDirectories(GetPath() + name))
    prompt.Error(kBoxTitle, "Error creating folder [" + SystemErrorText(rc) + "]");
  Reload();
  // A name with folders in it created its first folder here.
  const size_t slash = name.find(PathDelim);
  SelectOnly(slash == std::string::npos ? name : name.substr(0, slash));
}

void DirPane::DeleteSelected(Prompt& prompt) {
  for (int32_t row : SelectedRows())
    if (IsDirAt(row) && NameAt(row)[0] == '.') {
      selected_[static_cast<size_t>(order_[static_cast<size_t>(row)])] = 0;
      --selectedCount_;
    }
  Notify(&DirPaneObserver::PaneSelectionChanged);
  const std::vector<int32_t> rows = SelectedRows();
  if (!prompt.YesNo(kBoxTitle, "Delete " + std::to_string(rows.size()) + " entries?")) return;
  int failedFiles = 0, failedFolders = 0;
  for (int32_t row : rows) {
    const std::string path = GetPath() + NameAt(row);
    if (IsDirAt(row)) {
      if (RemoveDirectory(path) != 0) ++failedFolders;
    } else if (DeleteFile(path) != 0) {
      ++failedFiles;
    }
  }
  Reload();
  if (failedFiles + failedFolders > 0)
    prompt.Error(kBoxTitle, std::to_string(failedFiles) + " file(s) and " +
                                std::to_string(failedFolders) + " folder(s) not deleted!");
}

void DirPane::RenameCurrent(Prompt& prompt) {
  if (!CanRename()) return;
  const std::string old = NameAt(Current());
  std::string name = old;
  if (!prompt.Input("Rename " + old, "Enter name", name)) return;
  // Case is part of a name here: a change of case alone renames too.
  if (name.empty() || name == old) return;
  const uint32_t rc = IsPlainName(name) ? RenameFile(GetPath() + old, GetPath() + name, false)
                                        : ERROR_INVALID_NAME;
  if (rc != 0) prompt.Error(kBoxTitle, "Error renaming [" + SystemErrorText(rc) + "]");
  Reload();
  SelectOnly(rc == 0 ? name : old);
}

// --- Observers -----------------------------------------------------------------------

void DirPane::AddObserver(DirPaneObserver* o) { observers_.push_back(o); }

void DirPane::RemoveObserver(DirPaneObserver* o) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), o), observers_.end());
}

void DirPane::Notify(void (DirPaneObserver::*what)()) {
  for (DirPaneObserver* o : observers_) (o->*what)();
}

}  // namespace mv
