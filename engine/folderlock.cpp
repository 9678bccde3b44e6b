#include "engine/folderlock.h"

#include "engine/copythread.h"
#include "platform/paths.h"
#include "platform/textcase.h"

namespace mv {

void ArbitrateLock(TCopyThread& thread) {
  FolderLockTable* table = thread.Context().Locks;
  if (!table) {
    // No other job can hold anything: the wish is granted at once.
    thread.HeldFolder = thread.WantedFolder;
    return;
  }
  if (!thread.HeldFolder.empty()) {
    const auto held = table->Entries.find(thread.HeldFolder);
    if (held != table->Entries.end()) {
      if (held->second == &thread)
        table->Entries.erase(held);
      else
        thread.Log(LVL_INFO, 0, "WARNING - not my lock:" + held->first);
    }
  }
  if (!thread.WantedFolder.empty() && table->Entries.count(thread.WantedFolder)) return;
  if (!thread.WantedFolder.empty()) table->Entries.emplace(thread.WantedFolder, &thread);
  thread.HeldFolder = thread.WantedFolder;
}

void FolderLock(TCopyThread& thread, const std::string& path) {
  thread.WantedFolder = path.empty() ? std::string() : UpperCase(ExtractFilePath(path));
  if (thread.WantedFolder == thread.HeldFolder) return;
  // Without a table there is nobody to ask: no trip to the main thread.
  if (!thread.Context().Locks) return ArbitrateLock(thread);
  thread.Synchronize([&] { ArbitrateLock(thread); });
  while (!thread.TerminateRequested() && thread.WantedFolder != thread.HeldFolder) {
    thread.Log(LVL_INFO, 0, " folder " + thread.WantedFolder + " in use, waiting... ");
    thread.Sleep(5000);
    thread.DisplayRefresh();
    thread.Synchronize([&] { ArbitrateLock(thread); });
  }
}

}  // namespace mv
