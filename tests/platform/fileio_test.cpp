#include "platform/fileio.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "platform/datetime.h"
#include "platform/filehandle.h"
#include "platform/finddata.h"
#include "platform/oserror.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

uint32_t Attr(const std::string& path) {
  uint32_t attr = 0xFFFF;
  EXPECT_EQ(GetFileAttributes(path, attr), 0u) << path;
  return attr;
}

bool HasUserXattrs(const std::string& dir) {
  std::string probe = dir + ".xattr-probe";
  FileHandle h;
  if (h.Open(probe, FileAccess::Write, FileCreate::CreateAlways, FileShare::DenyNone) != 0) return false;
  bool ok = ::setxattr(probe.c_str(), "user.probe", "1", 1, 0) == 0;
  ::unlink(probe.c_str());
  return ok;
}

void Append(const std::string& path, const std::string& text) {
  FileHandle h;
  ASSERT_EQ(h.Open(path, FileAccess::Write, FileCreate::OpenExisting, FileShare::DenyNone), 0u);
  ASSERT_EQ(h.Seek(0, SeekFrom::End), 0u);
  ASSERT_EQ(h.Write(text.data(), text.size()), 0u);
}

class ArchiveBit : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HasUserXattrs(dir.path())) GTEST_SKIP() << "the temporary folder has no user extended attributes";
    file = dir.Write("doc.txt", "hello");
    ASSERT_EQ(SetFileWriteTime(file, timespec{1600000000, 0}), 0u);
  }
  test::TempDir dir;
  std::string file;
};

TEST_F(ArchiveBit, NewFileHasItAndClearingRemovesIt) {
  EXPECT_EQ(Attr(file), kAttrArchive);
  ASSERT_EQ(SetFileAttributes(file, 0), 0u);
  EXPECT_EQ(Attr(file), 0u);
}

TEST_F(ArchiveBit, ComesBackWhenTheFileIsModifiedAfterClearing) {
  ASSERT_EQ(SetFileAttributes(file, 0), 0u);
  Append(file, " world");
  EXPECT_EQ(Attr(file), kAttrArchive);
}

TEST_F(ArchiveBit, ComesBackWhenOnlyTheTimeChanges) {
  ASSERT_EQ(SetFileAttributes(file, 0), 0u);
  ASSERT_EQ(SetFileWriteTime(file, timespec{1600000000, 1}), 0u);  // one nanosecond
  EXPECT_EQ(Attr(file), kAttrArchive);
}

TEST_F(ArchiveBit, ComesBackWhenTheStampIsGone) {
  ASSERT_EQ(SetFileAttributes(file, 0), 0u);
  ASSERT_EQ(::removexattr(file.c_str(), kArchiveXattr), 0);
  EXPECT_EQ(Attr(file), kAttrArchive);
}

TEST_F(ArchiveBit, SettingItAgainDropsTheStamp) {
  ASSERT_EQ(SetFileAttributes(file, 0), 0u);
  ASSERT_EQ(SetFileAttributes(file, kAttrArchive), 0u);
  EXPECT_EQ(Attr(file), kAttrArchive);
  EXPECT_LT(::getxattr(file.c_str(), kArchiveXattr, nullptr, 0), 0);
}

TEST_F(ArchiveBit, ReadOnlyAndArchiveTogether) {
  ASSERT_EQ(SetFileAttributes(file, kAttrReadOnly), 0u);
  EXPECT_EQ(Attr(file), kAttrReadOnly);
  ASSERT_EQ(SetFileAttributes(file, kAttrReadOnly | kAttrArchive), 0u);
  EXPECT_EQ(Attr(file), kAttrReadOnly | kAttrArchive);
  ASSERT_EQ(SetFileAttributes(file, 0), 0u);
  EXPECT_EQ(Attr(file), 0u);
}

// Needs a writable folder on a file system without user extended attributes
// (e.g. a vfat mount), named by MIRAVA_NOXATTR_DIR.
TEST(ArchiveBitWithoutXattrs, EveryFileHasItAndClearingFails) {
  const char* dir = std::getenv("MIRAVA_NOXATTR_DIR");
  if (dir == nullptr) GTEST_SKIP() << "set MIRAVA_NOXATTR_DIR to a folder without user extended attributes";
  std::string file = std::string(dir) + "/mirava-noxattr.txt";
  FileHandle h;
  ASSERT_EQ(h.Open(file, FileAccess::Write, FileCreate::CreateAlways, FileShare::DenyNone), 0u);
  h.Close();
  EXPECT_NE(SetFileAttributes(file, 0), 0u);
  EXPECT_NE(Attr(file) & kAttrArchive, 0u);
  ::unlink(file.c_str());
}

TEST(FileAttributes, ReadOnlyIsTheOwnersWritePermission) {
  test::TempDir dir;
  std::string file = dir.Write("f", "x");
  ASSERT_EQ(::chmod(file.c_str(), 0664), 0);
  ASSERT_EQ(SetFileAttributes(file, kAttrReadOnly | kAttrArchive), 0u);
  struct stat st;
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);  // every write bit gone
  EXPECT_NE(Attr(file) & kAttrReadOnly, 0u);
  ASSERT_EQ(SetFileAttributes(file, kAttrArchive), 0u);
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);  // the owner's comes back
  EXPECT_EQ(Attr(file) & kAttrReadOnly, 0u);
}

TEST(FileAttributes, HiddenFollowsTheNameAndCannotBeSet) {
  test::TempDir dir;
  std::string hidden = dir.Write(".profile", "");
  std::string plain = dir.Write("profile", "");
  EXPECT_NE(Attr(hidden) & kAttrHidden, 0u);
  ASSERT_EQ(SetFileAttributes(plain, kAttrHidden | kAttrArchive), 0u);
  EXPECT_EQ(Attr(plain) & kAttrHidden, 0u);
}

TEST(FileAttributes, FoldersStayWritableWhateverIsSet) {
  test::TempDir dir;
  std::string sub = dir / "sub";
  ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
  EXPECT_EQ(Attr(sub), kAttrDirectory);
  EXPECT_EQ(SetFileAttributes(sub, kAttrDirectory | kAttrReadOnly), 0u);
  struct stat st;
  ASSERT_EQ(::stat(sub.c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IWUSR, 0u);
}

TEST(FileAttributes, MissingFileOrFolder) {
  test::TempDir dir;
  uint32_t attr;
  EXPECT_EQ(GetFileAttributes(dir / "missing", attr), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetFileAttributes(dir / "nodir/missing", attr), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(SetFileAttributes(dir / "missing", 0), ERROR_FILE_NOT_FOUND);
}

TEST(FileDosTime, IsTheLocalDosTimeOfTheLastWrite) {
  test::TempDir dir;
  std::string file = dir.Write("f", "x");
  DateParts p;
  p.year = 2021, p.month = 6, p.day = 15, p.hour = 13, p.minute = 45, p.second = 31;
  timespec t = DateTimeToUnix(EncodeDateTime(p));
  t.tv_nsec = 123456789;
  ASSERT_EQ(SetFileWriteTime(file, t), 0u);
  const uint32_t expected = (41u << 25) | (6u << 21) | (15u << 16) | (13u << 11) | (45u << 5) | 15u;
  EXPECT_EQ(static_cast<uint32_t>(FileDosTime(file)), expected);
  struct stat st;
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, t.tv_sec);
  EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);  // exact, not rounded to DOS seconds

  ASSERT_EQ(SetFileDosTime(file, expected - 1), 0u);
  EXPECT_EQ(static_cast<uint32_t>(FileDosTime(file)), expected - 1);
}

TEST(FileDosTime, MinusOneForMissingFilesAndFolders) {
  test::TempDir dir;
  uint32_t error = 0;
  EXPECT_EQ(FileDosTime(dir / "missing", &error), -1);
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(FileDosTime(dir.path(), &error), -1);
  EXPECT_EQ(error, ERROR_DIRECTORY);
}

TEST(DeleteFile, MissingFileCountsAsDeleted) {
  test::TempDir dir;
  EXPECT_EQ(DeleteFile(dir / "missing"), 0u);
  EXPECT_EQ(DeleteFile(dir / "nodir/missing"), 0u);
}

TEST(DeleteFile, DeletesReadOnlyFilesButNotFolders) {
  test::TempDir dir;
  std::string file = dir.Write("ro", "x");
  ASSERT_EQ(SetFileAttributes(file, kAttrReadOnly), 0u);
  EXPECT_EQ(DeleteFile(file), 0u);
  EXPECT_EQ(PathExists(file), Exists::No);
  ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0755), 0);
  EXPECT_EQ(DeleteFile(dir / "sub"), ERROR_ACCESS_DENIED);
}

TEST(DeleteFile, FileHeldWithAShareLockIsRefused) {
  test::TempDir dir;
  std::string file = dir.Write("~MVSW.MVF", "work");
  for (FileShare share : {FileShare::DenyWrite, FileShare::Exclusive}) {
    FileHandle h;
    ASSERT_EQ(h.Open(file, FileAccess::Read, FileCreate::OpenExisting, share), 0u);
    EXPECT_EQ(DeleteFile(file), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(PathExists(file), Exists::Yes);
  }
  EXPECT_EQ(DeleteFile(file), 0u);
  EXPECT_EQ(PathExists(file), Exists::No);
}

TEST(RenameFile, ReplaceSwapsInTheNewFile) {
  test::TempDir dir;
  std::string from = dir.Write("new", "new content");
  std::string to = dir.Write("target", "old");
  struct stat before;
  ASSERT_EQ(::stat(from.c_str(), &before), 0);
  EXPECT_EQ(RenameFile(from, to, true), 0u);
  EXPECT_EQ(test::TempDir::Read(to), "new content");
  EXPECT_EQ(PathExists(from), Exists::No);
  struct stat after;
  ASSERT_EQ(::stat(to.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);  // moved, not copied
}

TEST(RenameFile, TargetNameNeverDisappearsWhileBeingReplaced) {
  test::TempDir dir;
  std::string to = dir.Write("target", "0");
  std::atomic<bool> stop{false}, missing{false};
  std::thread watcher([&] {
    struct stat st;
    while (!stop)
      if (::stat(to.c_str(), &st) != 0) missing = true;
  });
  for (int i = 0; i < 300 && !missing; ++i) {
    std::string from = dir.Write("work", std::to_string(i));
    ASSERT_EQ(RenameFile(from, to, true), 0u);
  }
  stop = true;
  watcher.join();
  EXPECT_FALSE(missing);
}

TEST(RenameFile, WithoutReplaceAnExistingTargetIsKept) {
  test::TempDir dir;
  std::string from = dir.Write("a", "A");
  std::string to = dir.Write("b", "B");
  EXPECT_EQ(RenameFile(from, to, false), ERROR_FILE_EXISTS);
  EXPECT_EQ(test::TempDir::Read(from), "A");
  EXPECT_EQ(test::TempDir::Read(to), "B");
  EXPECT_EQ(RenameFile(from, dir / "c", false), 0u);
  EXPECT_EQ(test::TempDir::Read(dir / "c"), "A");
}

TEST(RenameFile, LockedSourceOrTargetIsRefused) {
  test::TempDir dir;
  std::string from = dir.Write("~MVSW.MVF", "new");
  std::string to = dir.Write("target", "old");
  {
    FileHandle h;
    ASSERT_EQ(h.Open(from, FileAccess::Read, FileCreate::OpenExisting, FileShare::DenyWrite), 0u);
    EXPECT_EQ(RenameFile(from, to, true), ERROR_SHARING_VIOLATION);
  }
  {
    FileHandle h;
    ASSERT_EQ(h.Open(to, FileAccess::Read, FileCreate::OpenExisting, FileShare::Exclusive), 0u);
    EXPECT_EQ(RenameFile(from, to, true), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(test::TempDir::Read(to), "old");
  }
  EXPECT_EQ(RenameFile(from, to, true), 0u);
  EXPECT_EQ(test::TempDir::Read(to), "new");
}

TEST(RenameFile, MissingSource) {
  test::TempDir dir;
  EXPECT_EQ(RenameFile(dir / "missing", dir / "b", true), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RenameFile(dir / "missing", dir / "b", false), ERROR_FILE_NOT_FOUND);
}

TEST(Folders, ForceDirectoriesCreatesMissingParents) {
  test::TempDir dir;
  EXPECT_EQ(ForceDirectories(dir / "a/b/c/"), 0u);
  bool isDir = false;
  EXPECT_EQ(PathExists(dir / "a/b/c", &isDir), Exists::Yes);
  EXPECT_TRUE(isDir);
  EXPECT_EQ(ForceDirectories(dir / "a/b/c"), 0u);  // already there
  dir.Write("file", "");
  EXPECT_EQ(ForceDirectories(dir / "file/sub"), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(ForceDirectories(dir / "file"), ERROR_ALREADY_EXISTS);
}

TEST(Folders, CreateAndRemove) {
  test::TempDir dir;
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
  test::TempDir dir;
  std::string file = dir.Write("f", "");
  bool isDir = true;
  EXPECT_EQ(PathExists(file, &isDir), Exists::Yes);
  EXPECT_FALSE(isDir);
  EXPECT_EQ(PathExists(dir.path(), &isDir), Exists::Yes);
  EXPECT_TRUE(isDir);
  EXPECT_EQ(PathExists(dir / "missing"), Exists::No);
  EXPECT_EQ(PathExists(file + "/below"), Exists::No);
  // A link loop cannot be resolved: nobody can tell whether a file is there.
  ASSERT_EQ(::symlink("loop", (dir / "loop").c_str()), 0);
  EXPECT_EQ(PathExists(dir / "loop"), Exists::Unknown);
}

TEST(DirAccessible, ExistingListableFolderOnly) {
  test::TempDir dir;
  std::string file = dir.Write("f", "");
  EXPECT_TRUE(DirAccessible(dir.path()));
  EXPECT_FALSE(DirAccessible(dir / "missing/"));
  EXPECT_FALSE(DirAccessible(file));
}

}  // namespace
}  // namespace mv
