#pragma once
// The folder a walk writes into, and every path below it resolved without
// following a link. A link planted in a target folder (or under one of our
// own file names) must never redirect a create, open, rename or delete to a
// place outside the tree: each operation resolves its folder beneath the
// root with openat2 (RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS) or, where the
// kernel lacks it, by an O_NOFOLLOW walk from the root's descriptor, and
// acts on the final name with the *at() calls. The root itself is the job's
// folder as the user named it (it may be a link).
//
// Every call returns 0 or a Windows error number; a link where a folder or
// one of our files is expected gives ERROR_CANT_RESOLVE_FILENAME.

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "platform/filehandle.h"
#include "platform/uniquefd.h"

namespace mv {

class TargetTree {
 public:
  // root: the folder (with trailing "/"); "" resolves each path beneath its
  // own folder, so at least the final name is never followed.
  explicit TargetTree(std::string root = "") : root_(std::move(root)) {}
  void Reset(std::string root);
  const std::string& Root() const { return root_; }

  // 0 when dir is a folder, ERROR_PATH_NOT_FOUND when it is missing,
  // ERROR_CANT_RESOLVE_FILENAME when a link stands on the way.
  uint32_t DirState(const std::string& dir) const;
  // Creates dir and its missing parents below the root (the root by path).
  uint32_t MakeDirs(const std::string& dir) const;
  uint32_t RemoveDir(const std::string& dir) const;
  // The entry itself (a link is not followed): 0 or ERROR_FILE_NOT_FOUND.
  uint32_t Stat(const std::string& path, struct stat& st) const;
  uint32_t Open(const std::string& path, FileAccess access, FileCreate create, FileShare share,
                FileHandle& file) const;
  // As DeleteFile: a file another handle holds is refused (sharing
  // violation), one already gone counts as deleted. A link is removed itself.
  uint32_t Delete(const std::string& path) const;
  // Without that check: for the work copy we hold ourselves.
  uint32_t DeleteHeld(const std::string& path) const;
  // Renames within the tree, replacing an existing entry (never following it).
  uint32_t RenameHeld(const std::string& from, const std::string& to) const;
  // A descriptor of the folder dir of its own (resolved as any other).
  uint32_t OpenFolder(const std::string& dir, UniqueFd& fd) const;
  // A file without a name (FileHandle::OpenUnnamedAt) in the folder dir.
  uint32_t OpenUnnamed(const std::string& dir, FileHandle& file, mode_t mode = 0666) const;
  // Gives such a file the name path, which must not exist
  // (ERROR_FILE_EXISTS otherwise): in one step, so the name shows the
  // complete file or nothing. ERROR_NOT_SUPPORTED where this process may
  // not name open files.
  uint32_t LinkHeld(int fd, const std::string& path) const;
  uint32_t SetAttributes(const std::string& path, uint32_t attr) const;
  // Removes the entries of dir that a listing never shows (links to folders,
  // dangling links, FIFOs, sockets, devices): only the names go, nothing
  // they point to. For a folder that is removed with everything in it.
  uint32_t RemoveUnlisted(const std::string& dir) const;

 private:
  // The folder of path opened beneath the root (borrowed: valid until the
  // next call), and the final name.
  uint32_t Parent(const std::string& path, int& dir, std::string& name) const;
  uint32_t Folder(const std::string& dir, int& fd) const;
  uint32_t OpenRoot(const std::string& root, UniqueFd& out) const;

  std::string root_;
  mutable UniqueFd rootFd_;
  // The folder resolved last: a copy does several steps in one folder.
  mutable std::string folder_;
  mutable UniqueFd folderFd_;
};

// Test seam: false makes the resolution walk by O_NOFOLLOW steps as on a
// kernel without openat2; true goes back to the run-time check.
void UseOpenat2ForTesting(bool use);

}  // namespace mv
