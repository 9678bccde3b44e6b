#pragma once
// File-system operations in the engine's terms: attributes, write times,
// delete, rename, folders, existence and drive readiness. Every function that
// can fail returns 0 or a Windows error number (platform/oserror.h).

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

namespace mv {

// --- Attributes -----------------------------------------------------------
// Read-only is "the owner may not write"; hidden is a name beginning with
// "."; archive is kept in the extended attribute below (size and write time
// at the moment it was cleared). Directories carry only 0x10 and hidden.
inline constexpr const char* kArchiveXattr = "user.mirava.archive";

// Attributes of the file or directory (links followed).
uint32_t GetFileAttributes(const std::string& path, uint32_t& attr);
// Sets read-only and archive of a file; hidden, system and volume cannot be
// changed and are ignored, as is everything for directories (a read-only
// target folder would only stop the copies into it). Clearing the archive
// bit fails where the file system has no user extended attributes.
uint32_t SetFileAttributes(const std::string& path, uint32_t attr);
// The same for an open file (no path, so no link on the way can redirect it).
uint32_t SetFileAttributes(int fd, uint32_t attr);

// The value stored in kArchiveXattr when the archive bit is cleared; the bit
// is back as soon as the file's stamp differs.
std::string ArchiveStamp(int64_t size, const timespec& writeTime);

// --- Times ----------------------------------------------------------------
// Packed local DOS date-time of the last write; -1 when the path is missing,
// cannot be read or is a directory. `error`, when given, receives the reason
// (ERROR_DIRECTORY for a directory).
int32_t FileDosTime(const std::string& path, uint32_t* error = nullptr);
// Sets the modification time exactly (nanoseconds kept); the access time is
// left alone.
uint32_t SetFileWriteTime(const std::string& path, const timespec& time);
uint32_t SetFileWriteTime(int fd, const timespec& time);
// Sets the modification time from a packed local DOS date-time.
uint32_t SetFileDosTime(const std::string& path, uint32_t dosTime);

// --- Delete, rename, folders ----------------------------------------------
// Deletes a file. A file that is already gone counts as deleted. Fails with
// ERROR_SHARING_VIOLATION while any handle holds the file with a share lock.
// A read-only file is deleted as any other (POSIX does not consult the
// file's own permission bits for this).
uint32_t DeleteFile(const std::string& path);
// Renames a file or folder. With `replace` an existing target file is
// replaced in one atomic step (the target name never disappears); without
// it an existing target gives ERROR_FILE_EXISTS. Fails with
// ERROR_SHARING_VIOLATION while either file is held with a share lock.
uint32_t RenameFile(const std::string& from, const std::string& to, bool replace);
// Creates one folder; ERROR_ALREADY_EXISTS when the name is taken.
uint32_t CreateDirectory(const std::string& path);
// Creates a folder with all missing parents; 0 when it exists already.
uint32_t ForceDirectories(const std::string& path);
// Removes an empty folder; ERROR_DIR_NOT_EMPTY otherwise.
uint32_t RemoveDirectory(const std::string& path);

// --- Existence --------------------------------------------------------------
// Only a definite answer counts: a permission, I/O or network error is
// Unknown, and nothing may be deleted, skipped or mirrored on its strength.
enum class Exists { Yes, No, Unknown };
Exists PathExists(const std::string& path, bool* isDir = nullptr);

// True when the directory exists and can be listed (network errors are
// retried a few times). False at once for a drive that is not ready.
bool DirAccessible(const std::string& dir);

// True for every POSIX path. A path with a drive letter ("X:/..." or
// "X:\...") asks the seam below when one is set, so that the "drive not
// ready" paths of the engine can be tested.
bool DriveReady(const std::string& path);
// Test seam: decides readiness of drive letters ('A'..'Z'); an empty
// function removes it.
void DriveReadyForTesting(std::function<bool(char)> ready);

}  // namespace mv
