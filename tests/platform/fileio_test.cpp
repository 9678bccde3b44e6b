#include "platform/fileio.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
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
  EXPECT_LT(::getxattr(file.c_str(), kArchiveXattr, nullptr, 0), 0);  // setting it drops the stamp
  ASSERT_EQ(SetFileAttributes(file, kAttrReadOnly), 0u);
  EXPECT_EQ(Attr(file), kAttrReadOnly);
  ASSERT_EQ(SetFileAttributes(file, kAttrReadOnly | kAttrArchive), 0u);
  EXPECT_EQ(Attr(file), kAttrReadOnly | kAttrArchive);
}

// Needs a writable folder without user extended attributes (e.g. vfat) in MIRAVA_NOXATTR_DIR.
TEST(ArchiveBit, WithoutXattrsEveryFileHasItAndClearingFails) {
  const char* dir = std::getenv("MIRAVA_NOXATTR_DIR");
  if (dir == nullptr) GTEST_SKIP() << "set MIRAVA_NOXATTR_DIR to a folder without user extended attributes";
  std::string file = std::string(dir) + "/mirava-noxattr.txt";
  std::ofstream{file};
  EXPECT_NE(SetFileAttributes(file, 0), 0u);
  EXPECT_NE(Attr(file) & kAttrArchive, 0u);
  ::unlink(file.c_str());
}

TEST(FileAttributes, ReadOnlyIsOwnerWriteHiddenIsTheNameFoldersStayWritable) {
  TempDir dir;
  std::string file = dir.Write("f", "x"), hidden = dir.Write(".profile", ""), sub = dir / "sub";
  ASSERT_EQ(::chmod(file.c_str(), 0664), 0);
  ASSERT_EQ(SetFileAttributes(file, kAttrReadOnly | kAttrArchive | kAttrHidden), 0u);
  EXPECT_EQ(Stat(file).st_mode & 0777, 0444u);  // every write bit gone
  EXPECT_EQ(Attr(file) & (kAttrReadOnly | kAttrHidden), kAttrReadOnly);
  ASSERT_EQ(SetFileAttributes(file, kAttrArchive), 0u);
  EXPECT_EQ(Stat(file).st_mode & 0777, 0644u);  // the owner's comes back
  EXPECT_EQ(Attr(file) & kAttrReadOnly, 0u);
  EXPECT_NE(Attr(hidden) & kAttrHidden, 0u);

  ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
  EXPECT_EQ(Attr(sub), kAttrDirectory);
  EXPECT_EQ(SetFileAttributes(sub, kAttrDirectory | kAttrReadOnly), 0u);
  EXPECT_EQ(Stat(sub).st_mode & 0777, 0755u);

  uint32_t attr;
  EXPECT_EQ(GetFileAttributes(dir / "missing", attr), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetFileAttributes(dir / "nodir/missing", attr), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(SetFileAttributes(dir / "missing", 0), ERROR_FILE_NOT_FOUND);
}

TEST(FileDosTime, IsTheLocalDosTimeOfTheLastWriteWhichStaysExact) {
  TempDir dir;
  std::string file = dir.Write("f", "x");
  timespec t = DateTimeToUnix(EncodeDateTime(DateParts{.year = 2021, .month = 6, .day = 15, .hour = 13,
                                                       .minute = 45, .second = 31}));
  t.tv_nsec = 123456789;
  ASSERT_EQ(SetFileWriteTime(file, t), 0u);
  const uint32_t expected = (41u << 25) | (6u << 21) | (15u << 16) | (13u << 11) | (45u << 5) | 15u;
  EXPECT_EQ(static_cast<uint32_t>(FileDosTime(file)), expected);
  EXPECT_EQ(Stat(file).st_mtim.tv_sec, t.tv_sec);
  EXPECT_EQ(Stat(file).st_mtim.tv_nsec, 123456789);  // not rounded to DOS seconds
  ASSERT_EQ(SetFileDosTime(file, expected - 1), 0u);
  EXPECT_EQ(static_cast<uint32_t>(FileDosTime(file)), expected - 1);

  uint32_t error = 0;
  EXPECT_EQ(FileDosTime(dir / "missing", &error), -1);
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(FileDosTime(dir.path(), &error), -1);
  EXPECT_EQ(error, ERROR_DIRECTORY);
}

TEST(DeleteFile, ReadOnlyAndMissingFilesCountButFoldersAndShareLockedFilesNot) {
  TempDir dir;
  EXPECT_EQ(DeleteFile(dir / "nodir/missing"), 0u);
  std::string file = dir.Write("~MVSW.MVF", "work");
  ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0755), 0);
  EXPECT_EQ(DeleteFile(dir / "sub"), ERROR_ACCESS_DENIED);
  for (FileShare share : {FileShare::DenyWrite, FileShare::Exclusive}) {
    FileHandle h;
    ASSERT_EQ(h.Open(file, FileAccess::Read, FileCreate::OpenExisting, share), 0u);
    EXPECT_EQ(DeleteFile(file), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(PathExists(file), Exists::Yes);
  }
  ASSERT_EQ(SetFileAttributes(file, kAttrReadOnly), 0u);
  EXPECT_EQ(DeleteFile(file), 0u);
  EXPECT_EQ(PathExists(file), Exists::No);
}

TEST(RenameFile, ReplaceMovesTheFileAndOnlyWhenAsked) {
  TempDir dir;
  std::string from = dir.Write("new", "new content"), to = dir.Write("target", "old");
  const ino_t inode = Stat(from).st_ino;
  EXPECT_EQ(RenameFile(from, to, false), ERROR_FILE_EXISTS);
  EXPECT_EQ(TempDir::Read(to), "old");
  EXPECT_EQ(RenameFile(from, to, true), 0u);
  EXPECT_EQ(TempDir::Read(to), "new content");
  EXPECT_EQ(PathExists(from), Exists::No);
  EXPECT_EQ(Stat(to).st_ino, inode);  // moved, not copied
  EXPECT_EQ(RenameFile(to, dir / "c", false), 0u);
  EXPECT_EQ(TempDir::Read(dir / "c"), "new content");
  EXPECT_EQ(RenameFile(dir / "missing", dir / "b", true), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RenameFile(dir / "missing", dir / "b", false), ERROR_FILE_NOT_FOUND);
}

TEST(RenameFile, TargetNameNeverDisappearsWhileBeingReplaced) {
  TempDir dir;
  std::string to = dir.Write("target", "0");
  std::atomic<bool> stop{false}, missing{false};
  std::thread watcher([&] {
    for (struct stat st; !stop;)
      if (::stat(to.c_str(), &st) != 0) missing = true;
  });
  for (int i = 0; i < 300 && !missing; ++i)
    ASSERT_EQ(RenameFile(dir.Write("work", std::to_string(i)), to, true), 0u);
  stop = true;
  watcher.join();
  EXPECT_FALSE(missing);
}

TEST(RenameFile, LockedSourceOrTargetIsRefused) {
  TempDir dir;
  std::string from = dir.Write("~MVSW.MVF", "new"), to = dir.Write("target", "old");
  for (auto [locked, share] : {std::pair{from, FileShare::DenyWrite}, std::pair{to, FileShare::Exclusive}}) {
    FileHandle h;
    ASSERT_EQ(h.Open(locked, FileAccess::Read, FileCreate::OpenExisting, share), 0u);
    EXPECT_EQ(RenameFile(from, to, true), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(TempDir::Read(to), "old");
  }
  EXPECT_EQ(RenameFile(from, to, true), 0u);
  EXPECT_EQ(TempDir::Read(to), "new");
}

TEST(Folders, CreateForceAndRemove) {
  TempDir dir;
  EXPECT_EQ(ForceDirectories(dir / "a/b/c/"), 0u);
  EXPECT_EQ(ForceDirectories(dir / "a/b/c"), 0u);  // already there
  dir.Write("file", "");
  EXPECT_EQ(ForceDirectories(dir / "file/sub"), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(ForceDirectories(dir / "file"), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(CreateDirectory(dir / "sub"), 0u);
  EXPECT_EQ(CreateDirectory(dir / "sub"), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(CreateDirectory(dir / "no/sub"), ERROR_PATH_NOT_FOUND);
  dir.Write("sub/f", "");
  EXPECT_EQ(RemoveDirectory(dir / "sub"), ERROR_DIR_NOT_EMPTY);
  ASSERT_EQ(DeleteFile(dir / "sub/f"), 0u);
  EXPECT_EQ(RemoveDirectory(dir / "sub/"), 0u);
  EXPECT_EQ(RemoveDirectory(dir / "sub"), ERROR_FILE_NOT_FOUND);
}

TEST(PathExists, OnlyADefiniteAnswerCounts) {
  TempDir dir;
  std::string file = dir.Write("f", "");
  bool isDir = true;
  EXPECT_EQ(PathExists(file, &isDir), Exists::Yes);
  EXPECT_FALSE(isDir);
  EXPECT_EQ(PathExists(dir / "a", &isDir), Exists::No);
  ASSERT_EQ(ForceDirectories(dir / "a/b"), 0u);
  EXPECT_EQ(PathExists(dir / "a/b", &isDir), Exists::Yes);
  EXPECT_TRUE(isDir);
  EXPECT_EQ(PathExists(file + "/below"), Exists::No);
  // A link loop cannot be resolved: nobody can tell whether a file is there.
  ASSERT_EQ(::symlink("loop", (dir / "loop").c_str()), 0);
  EXPECT_EQ(PathExists(dir / "loop"), Exists::Unknown);
  EXPECT_TRUE(DirAccessible(dir.path()));
  EXPECT_FALSE(DirAccessible(dir / "missing/"));
  EXPECT_FALSE(DirAccessible(file));
}

}  // namespace
}  // namespace mv
