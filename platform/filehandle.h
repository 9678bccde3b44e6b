#pragma once
// An open file with the engine's open modes. Share modes are flock locks:
// deny-write takes a shared lock, exclusive an exclusive one, both without
// waiting; a conflict is ERROR_SHARING_VIOLATION. Every call returns 0 or a
// Windows error number (platform/oserror.h).

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "platform/uniquefd.h"

namespace mv {

enum class FileAccess { Read, Write, ReadWrite };

enum class FileCreate {
  CreateNew,     // fails with ERROR_FILE_EXISTS when the file exists
  OpenExisting,  // fails with ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND when missing
  CreateAlways,  // creates or truncates (needs write access)
  OpenAlways,    // opens, or creates when missing
};

enum class FileShare {
  DenyNone,   // no lock
  DenyWrite,  // shared lock: other readers welcome, exclusive openers refused
  Exclusive,  // exclusive lock: every other locking open is refused
};

enum class SeekFrom { Begin, Current, End };

class FileHandle {
 public:
  FileHandle() = default;
  FileHandle(FileHandle&& other) noexcept = default;
  FileHandle& operator=(FileHandle&& other) noexcept = default;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  // Opens `path` (closing a file held before). Only regular files (links
  // followed) can be opened; a folder or device gives ERROR_ACCESS_DENIED.
  // A truncating open takes its lock before it truncates, so a refused open
  // never damages the file another handle holds.
  uint32_t Open(const std::string& path, FileAccess access, FileCreate create, FileShare share);
  // The same for the entry `name` of the folder open as dirFd, never through
  // a link: a link there gives ERROR_CANT_RESOLVE_FILENAME.
  uint32_t OpenAt(int dirFd, const std::string& name, FileAccess access, FileCreate create, FileShare share);
  // As Open for the entry `name` of the folder open as dirFd (a link is
  // followed, as by its path), without walking the folder's path again.
  uint32_t OpenFollowingAt(int dirFd, const std::string& name, FileAccess access, FileCreate create,
                           FileShare share);
  // A new file without a name in the folder open as dirFd, for reading and
  // writing; nobody else can open it, so it takes no lock. It vanishes when
  // closed (or when the process dies) unless it has been given a name.
  // ERROR_NOT_SUPPORTED where the file system cannot make one. mode: the
  // permissions asked for, less what the umask or the folder's default
  // permissions take.
  uint32_t OpenUnnamedAt(int dirFd, mode_t mode = 0666);

  bool IsOpen() const { return fd_.Valid(); }
  int fd() const { return fd_.Get(); }
  // The file's status as the open found it; a file the open created has only
  // its type (a regular file) and no size.
  const struct stat& OpenedStatus() const { return opened_; }

  // Reads up to `size` bytes (fewer only at the end of the file); `done`
  // receives the count, 0 at the end.
  uint32_t Read(void* buffer, size_t size, size_t& done);
  // Writes all `size` bytes; on failure `written`, when given, holds how
  // many made it (ERROR_DISK_FULL when the disk filled up).
  uint32_t Write(const void* data, size_t size, size_t* written = nullptr);
  // Moves the file position; `position`, when given, receives the new one.
  uint32_t Seek(int64_t offset, SeekFrom from, int64_t* position = nullptr);
  uint32_t Size(int64_t& size) const;
  // Sets the file's length; the position is not moved.
  uint32_t Truncate(int64_t size);
  uint32_t Sync();
  uint32_t SetWriteTime(const timespec& time);
  // Closes the file (and releases its lock); the close error, if any.
  uint32_t Close();

 private:
  uint32_t OpenIn(int dirFd, const std::string& path, bool noFollow, FileAccess access, FileCreate create,
                  FileShare share);
  UniqueFd fd_;
  struct stat opened_ {};
};

}  // namespace mv
