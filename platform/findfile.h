#pragma once
// Directory enumeration with a name mask and an attribute mask, returning
// find-data records one at a time.
//
// Entries come sorted by upper-cased name, "." and ".." first. Listed are
// regular files, directories (with "." and "..") and links to regular files
// (as that file: its size and times under the link's name). Links to
// directories, dangling links, FIFOs, sockets and devices are never listed,
// so no walk can hang on a FIFO, loop through a link or leave the tree.
//
// Attribute mask: directories are returned only when it has 0x10, hidden
// entries only with 0x02; other files always.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/finddata.h"

namespace mv {

// Attribute-mask flag: do not read the archive stamp, report the bit set. A
// listing that never looks at the archive bit saves a look-up per file.
inline constexpr uint32_t kFindSkipArchive = 0x80000000;

class FindHandle {
 public:
  FindHandle() = default;
  FindHandle(FindHandle&&) noexcept = default;
  FindHandle& operator=(FindHandle&&) noexcept = default;
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;

  bool IsOpen() const { return open_; }
  void Close();

 private:
  friend uint32_t FindFirst(const std::string&, uint32_t, FindData&, FindHandle&);
  friend uint32_t FindNext(FindHandle&, FindData&);
  std::vector<FindData> entries_;
  size_t next_ = 0;
  bool open_ = false;
};

// Starts an enumeration of `pattern` = directory + "/" + mask. Returns 0 with
// the first entry, ERROR_NO_MORE_FILES when nothing matches,
// ERROR_PATH_NOT_FOUND when the directory is missing, ERROR_NOT_READY for a
// drive that is not ready (see DriveReady), or another error number.
uint32_t FindFirst(const std::string& pattern, uint32_t attrMask, FindData& out, FindHandle& h);
// The next entry: 0, or ERROR_NO_MORE_FILES at the end.
uint32_t FindNext(FindHandle& h, FindData& out);

// The find-data record of one path (links followed), as an enumeration
// would list it.
uint32_t GetFileInfo(const std::string& path, FindData& out);

// The enumeration's own mask rule: "*" and "*.*" match every name, also one
// without a dot; other masks compare case-insensitively with "*" (any run of
// characters) and "?" (one character).
bool MatchFindMask(std::string_view name, std::string_view mask);
// "*" and "*.*": the masks that select a whole folder. An empty mask selects
// nothing, so it is no whole-folder mask.
bool IsWholeFolderMask(std::string_view mask);

}  // namespace mv
