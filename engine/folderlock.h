#pragma once
// Folder locks between running jobs: before a job overwrites an existing
// target file it owns that file's folder; a job that finds the folder owned by
// another waits. The table lives on the main thread and is only touched there.

#include <map>
#include <string>

namespace mv {

class TCopyThread;

class FolderLockTable {
 public:
  // Folder (upper-cased, trailing "/") -> owning thread.
  std::map<std::string, const TCopyThread*> Entries;
};

// On the worker: returns once the thread owns the folder of path (a full file
// path), or owns nothing when path is empty, or has been told to stop.
void FolderLock(TCopyThread& thread, const std::string& path);

// On the main thread (reached through the thread's synchroniser).
void ArbitrateLock(TCopyThread& thread);

}  // namespace mv
