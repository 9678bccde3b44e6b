#include "platform/fileio.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <thread>

#include "platform/datetime.h"
#include "platform/filehandle.h"
#include "platform/finddata.h"
#include "platform/oserror.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using test::TempDir;

uint32_t Attr(const std::string& path) {
  uint32_t attr = 0xFFFF;
  EXPECT_EQ(GetFileAttributes(path, attr), 0u) << path;
  return attr;
}
struct stat Stat(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st;
}
uint32_t Lock(FileHandle& h, const std::string& file, FileShare share) {
  return h.Open(file, FileAccess::Read, FileCreate::OpenExisting, share);
}

TEST(ArchiveBit, ComesBackAfterModificationTimeChangeOrLostStamp) {
  TempDir dir;
  const std::string file = dir.Write("doc.txt", "");
  if (::setxattr(file.c_str(), "user.probe", "1", 1, 0) != 0) GTEST_SKIP() << "no user extended attributes here";
  const std::vector<std::pair<const char*, std::function<void()>>> changes = {
      {"append", [&] { std::ofstream(file, std::ios::app) << " world"; }},
      {"one nanosecond", [&] { ASSERT_EQ(SetFileWriteTime(file, timespec{1600000000, 1}), 0u); }},
      {"stamp removed", [&] { ASSERT_EQ(::removexattr(file.c_str(), kArchiveXattr), 0); }},
      {"set again", [&] { ASSERT_EQ(SetFileAttributes(file, kAttrArchive), 0u); }}};
  for (const auto& [name, change] : changes) {
    SCOPED_TRACE(name);
    ::unlink(file.c_str());
    dir.Write("doc.txt", "hello");
    ASSERT_EQ(SetFileWriteTime(file, timespec{1600000000, 0}), 0u);
    EXPECT_EQ(Attr(file), kAttrArchive);
    ASSERT_EQ(SetFileAttributes(file, 0), 0u);
    EXPECT_EQ(Attr(file), 0u);
    change();
    EXPECT_EQ(Attr(file), kAttrArchive);
  }
}

TEST(DeleteAndRename, ShareLocksRefuseWithError32ReplaceOnlyWhenAskedReadOnlyDeletes) {
  TempDir dir;
  std::string from = dir.Write("~MVSW.MVF", "new"), to = dir.Write("target", "old");
  const ino_t inode = Stat(from).st_ino;
  for (auto [locked, share] : {std::pair{from, FileShare::DenyWrite}, std::pair{to, FileShare::Exclusive}}) {
    FileHandle h;
    ASSERT_EQ(Lock(h, locked, share), 0u);
    EXPECT_EQ(DeleteFile(locked), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(RenameFile(from, to, true), ERROR_SHARING_VIOLATION);
  }
  EXPECT_EQ(RenameFile(from, to, false), ERROR_FILE_EXISTS);
  EXPECT_EQ(TempDir::Read(to), "old");
  EXPECT_EQ(RenameFile(from, to, true), 0u);
  EXPECT_EQ(TempDir::Read(to), "new");
  EXPECT_EQ(PathExists(from), Exists::No);
  EXPECT_EQ(Stat(to).st_ino, inode);  // moved, not copied
  ASSERT_EQ(SetFileAttributes(to, kAttrReadOnly), 0u);
  EXPECT_EQ(DeleteFile(to), 0u);
  EXPECT_EQ(PathExists(to), Exists::No);
  EXPECT_EQ(DeleteFile(dir / "nodir/missing"), 0u);
  ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0755), 0);
  EXPECT_EQ(DeleteFile(dir / "sub"), ERROR_ACCESS_DENIED);
}

TEST(RenameFile, TargetNameNeverDisappearsWhileBeingReplaced) {
  TempDir dir;
  std::string to = dir.Write("target", "0");
  std::atomic<bool> stop{false}, missing{false};
  std::thread watcher([&] { for (struct stat st; !stop;) missing = missing || ::stat(to.c_str(), &st) != 0; });
  for (int i = 0; i < 300 && !missing; ++i)
    ASSERT_EQ(RenameFile(dir.Write("work", std::to_string(i)), to, true), 0u);
  stop = true;
  watcher.join();
  EXPECT_FALSE(missing);
}

TEST(Folders, ForceStopsAtAFileAndRemoveOnlyWhenEmpty) {
  TempDir dir;
  const std::string file = dir.Write("file", "");
  EXPECT_EQ(ForceDirectories(dir / "file/sub"), ERROR_PATH_NOT_FOUND);
  dir.Write("sub/f", "");
  EXPECT_EQ(RemoveDirectory(dir / "sub"), ERROR_DIR_NOT_EMPTY);
  EXPECT_FALSE(DirAccessible(file));
}

}  // namespace
}  // namespace mv
