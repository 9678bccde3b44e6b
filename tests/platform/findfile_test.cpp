#include "platform/findfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/datetime.h"
#include "platform/fileio.h"
#include "platform/oserror.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using Names = std::vector<std::string>;

// Every name an enumeration returns, in its order; the final error in `error`.
Names List(const std::string& pattern, uint32_t attrMask = kAttrAny, uint32_t* error = nullptr,
           std::vector<FindData>* entries = nullptr) {
  Names names;
  FindHandle h;
  FindData d;
  uint32_t rc = FindFirst(pattern, attrMask, d, h);
  for (; rc == 0; rc = FindNext(h, d)) {
    names.push_back(d.Name);
    if (entries) entries->push_back(d);
  }
  if (error) *error = rc;
  return names;
}

TEST(FindFirst, StarDotStarListsNamesWithoutDotSortedByUpperCasedNameWhateverTheCreationOrder) {
  test::TempDir one, two;
  const Names names = {"Zeta", "b.txt", "ä.txt", "README", "A.txt", "c"};
  for (auto it = names.begin(); it != names.end(); ++it) one.Write(*it, "x");
  for (auto it = names.rbegin(); it != names.rend(); ++it) two.Write(*it, "x");
  uint32_t error = 0;
  EXPECT_EQ(List(one / "*.*", kAttrAny, &error),
            (Names{".", "..", "A.txt", "b.txt", "c", "README", "Zeta", "ä.txt"}));
  EXPECT_EQ(error, ERROR_NO_MORE_FILES);
  EXPECT_EQ(List(one / "*"), List(one / "*.*"));
  EXPECT_EQ(List(two / "*"), List(one / "*"));
}

TEST(FindFirst, OtherMasksMatchCaseInsensitivelyWithStarAndQuestionMark) {
  test::TempDir dir;
  for (const char* name : {"a.TXT", "b.txt", "ä.txt", "ab.txt", "notes", "x.txt.bak"}) dir.Write(name, "");
  EXPECT_EQ(List(dir / "*.txt"), (Names{"a.TXT", "ab.txt", "b.txt", "ä.txt"}));
  EXPECT_EQ(List(dir / "?.TXT"), (Names{"a.TXT", "b.txt", "ä.txt"}));  // "?" is one letter, "ä" too
  EXPECT_EQ(List(dir / "Ä.TXT"), (Names{"ä.txt"}));
  EXPECT_EQ(List(dir / "*s"), (Names{"notes"}));
  EXPECT_TRUE(MatchFindMask("aXbYc", "a*b*c"));
  EXPECT_FALSE(MatchFindMask("aXbYcZ", "a*b*c"));
  EXPECT_FALSE(MatchFindMask("readme", "*.*x"));
  uint32_t error = 0;
  for (const char* pattern : {"*.doc", "missing/*.*", "a.TXT/*.*"}) {
    EXPECT_TRUE(List(dir / pattern, kAttrAny, &error).empty());
    EXPECT_EQ(error, pattern[0] == '*' ? ERROR_NO_MORE_FILES : ERROR_PATH_NOT_FOUND) << pattern;
  }
}

TEST(FindFirst, AttributeMaskSelectsDirectoriesAndHiddenEntries) {
  test::TempDir dir;
  std::vector<FindData> entries;
  EXPECT_EQ(List(dir / "*.*", kAttrAny, nullptr, &entries), (Names{".", ".."}));
  for (const FindData& d : entries) EXPECT_EQ(d.Attr, kAttrDirectory) << d.Name;
  dir.Write("file", "");
  dir.Write(".hidden", "");
  ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((dir / ".hiddendir").c_str(), 0755), 0);
  EXPECT_EQ(List(dir / "*", 0), (Names{"file"}));
  EXPECT_EQ(List(dir / "*", kAttrReadOnly | kAttrArchive), (Names{"file"}));
  EXPECT_EQ(List(dir / "*", kAttrHidden), (Names{".hidden", "file"}));
  EXPECT_EQ(List(dir / "*", kAttrDirectory), (Names{".", "..", "file", "sub"}));
  EXPECT_EQ(List(dir / "*", kAttrDirectory | kAttrHidden),
            (Names{".", "..", ".hidden", ".hiddendir", "file", "sub"}));
}

TEST(FindFirst, ListsOnlyFilesFoldersAndLinksToFilesNeverFifosOrDirectoryLinks) {
  test::TempDir dir;
  std::string file = dir.Write("data.bin", std::string(70000, 'x'));
  const timespec t{1600000000, 500000000};
  ASSERT_EQ(SetFileWriteTime(file, t), 0u);
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0755), 0);
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
  ASSERT_EQ(::symlink("sub", (dir / "dirlink").c_str()), 0);
  ASSERT_EQ(::symlink("gone", (dir / "dangling").c_str()), 0);
  ASSERT_EQ(::symlink("filelink", (dir / "filelink").c_str()), 0);  // a loop
  ASSERT_EQ(::symlink("data.bin", (dir / "link.bin").c_str()), 0);
  std::vector<FindData> entries;
  EXPECT_EQ(List(dir / "*", kAttrAny, nullptr, &entries), (Names{".", "..", "data.bin", "link.bin", "sub"}));
  ASSERT_EQ(entries.size(), 5u);
  for (const FindData& d : {entries[2], entries[3]}) {  // the link shows the file's data under its own name
    EXPECT_EQ(d.Size, 70000) << d.Name;
    EXPECT_EQ(d.WriteTime.tv_sec, t.tv_sec);
    EXPECT_EQ(d.WriteTime.tv_nsec, t.tv_nsec);
    EXPECT_EQ(d.Time, UnixToDos(t));
    EXPECT_EQ(d.Attr, kAttrReadOnly | kAttrArchive);
  }
}

TEST(FindFirst, DriveThatIsNotReadyGivesError21WithoutTouchingTheDisk) {
  DriveReadyForTesting([](char drive) { return drive != 'X'; });
  FindData d;
  FindHandle h;
  EXPECT_EQ(FindFirst("X:/data/*.*", kAttrAny, d, h), ERROR_NOT_READY);
  EXPECT_EQ(FindFirst("x:\\data\\*.*", kAttrAny, d, h), ERROR_NOT_READY);
  EXPECT_FALSE(DirAccessible("X:/data/"));
  EXPECT_TRUE(DriveReady("Y:/"));
  EXPECT_TRUE(DriveReady("/tmp"));
  DriveReadyForTesting(nullptr);
  EXPECT_TRUE(DriveReady("X:/"));
}

TEST(FindNext, AfterTheLastEntryKeepsSayingNoMoreFiles) {
  test::TempDir dir;
  FindData d;
  FindHandle h;
  ASSERT_EQ(FindFirst(dir.Write("only", ""), kAttrAny, d, h), 0u);
  EXPECT_EQ(FindNext(h, d), ERROR_NO_MORE_FILES);
  EXPECT_EQ(FindNext(h, d), ERROR_NO_MORE_FILES);
  h.Close();
  EXPECT_EQ(FindNext(h, d), ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace mv
