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

// Every name an enumeration returns, in its order; the final error in `error`.
std::vector<std::string> List(const std::string& pattern, uint32_t attrMask, uint32_t* error = nullptr,
                              std::vector<FindData>* entries = nullptr) {
  std::vector<std::string> names;
  FindHandle h;
  FindData d;
  uint32_t rc = FindFirst(pattern, attrMask, d, h);
  while (rc == 0) {
    names.push_back(d.Name);
    if (entries) entries->push_back(d);
    rc = FindNext(h, d);
  }
  if (error) *error = rc;
  return names;
}

using Names = std::vector<std::string>;

TEST(FindFirst, StarDotStarListsNamesWithoutDotSortedByUpperCasedName) {
  test::TempDir dir;
  for (const char* name : {"Zeta", "b.txt", "ä.txt", "README", "A.txt", "c"}) dir.Write(name, "x");
  uint32_t error = 0;
  EXPECT_EQ(List(dir / "*.*", kAttrAny, &error), (Names{".", "..", "A.txt", "b.txt", "c", "README", "Zeta", "ä.txt"}));
  EXPECT_EQ(error, ERROR_NO_MORE_FILES);
  EXPECT_EQ(List(dir / "*", kAttrAny), List(dir / "*.*", kAttrAny));
}

TEST(FindFirst, OrderDoesNotDependOnCreationOrder) {
  test::TempDir one, two;
  for (const char* name : {"b", "a", "C", "d.x"}) one.Write(name, "");
  for (const char* name : {"d.x", "C", "a", "b"}) two.Write(name, "");
  EXPECT_EQ(List(one / "*", kAttrAny), (Names{".", "..", "a", "b", "C", "d.x"}));
  EXPECT_EQ(List(two / "*", kAttrAny), List(one / "*", kAttrAny));
}

TEST(FindFirst, OtherMasksMatchCaseInsensitivelyWithStarAndQuestionMark) {
  test::TempDir dir;
  for (const char* name : {"a.TXT", "b.txt", "ä.txt", "ab.txt", "notes", "x.txt.bak"}) dir.Write(name, "");
  EXPECT_EQ(List(dir / "*.txt", kAttrAny), (Names{"a.TXT", "ab.txt", "b.txt", "ä.txt"}));
  EXPECT_EQ(List(dir / "?.TXT", kAttrAny), (Names{"a.TXT", "b.txt", "ä.txt"}));  // "?" is one letter, "ä" too
  EXPECT_EQ(List(dir / "Ä.TXT", kAttrAny), (Names{"ä.txt"}));
  EXPECT_EQ(List(dir / "*s", kAttrAny), (Names{"notes"}));
  EXPECT_TRUE(MatchFindMask("abc", "a*b*c"));
  EXPECT_TRUE(MatchFindMask("aXbYc", "a*b*c"));
  EXPECT_FALSE(MatchFindMask("aXbYcZ", "a*b*c"));
  EXPECT_FALSE(MatchFindMask("readme", "*.*x"));
}

TEST(FindFirst, NothingMatchingEndsWithNoMoreFilesAndAMissingFolderWithPathNotFound) {
  test::TempDir dir;
  dir.Write("a.txt", "");
  uint32_t error = 0;
  EXPECT_TRUE(List(dir / "*.doc", kAttrAny, &error).empty());
  EXPECT_EQ(error, ERROR_NO_MORE_FILES);
  EXPECT_TRUE(List(dir / "missing/*.*", kAttrAny, &error).empty());
  EXPECT_EQ(error, ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(List(dir / "a.txt/*.*", kAttrAny, &error).empty());
  EXPECT_EQ(error, ERROR_PATH_NOT_FOUND);
}

TEST(FindFirst, EmptyFolderHasDotEntriesFlaggedAsDirectories) {
  test::TempDir dir;
  std::vector<FindData> entries;
  EXPECT_EQ(List(dir / "*.*", kAttrAny, nullptr, &entries), (Names{".", ".."}));
  for (const FindData& d : entries) EXPECT_EQ(d.Attr, kAttrDirectory) << d.Name;
}

TEST(FindFirst, AttributeMaskSelectsDirectoriesAndHiddenEntries) {
  test::TempDir dir;
  dir.Write("file", "");
  dir.Write(".hidden", "");
  ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((dir / ".hiddendir").c_str(), 0755), 0);
  EXPECT_EQ(List(dir / "*", 0), (Names{"file"}));
  EXPECT_EQ(List(dir / "*", kAttrReadOnly | kAttrArchive), (Names{"file"}));
  EXPECT_EQ(List(dir / "*", kAttrHidden), (Names{".hidden", "file"}));
  EXPECT_EQ(List(dir / "*", kAttrDirectory), (Names{".", "..", "file", "sub"}));
  EXPECT_EQ(List(dir / "*", kAttrDirectory | kAttrHidden), (Names{".", "..", ".hidden", ".hiddendir", "file", "sub"}));
}

TEST(FindFirst, ListsOnlyFilesFoldersAndLinksToFiles) {
  test::TempDir dir;
  dir.Write("data.bin", "0123456789");
  ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0755), 0);
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
  ASSERT_EQ(::symlink("sub", (dir / "dirlink").c_str()), 0);
  ASSERT_EQ(::symlink("gone", (dir / "dangling").c_str()), 0);
  ASSERT_EQ(::symlink("filelink", (dir / "filelink").c_str()), 0);  // a loop
  ASSERT_EQ(::symlink("data.bin", (dir / "link.bin").c_str()), 0);
  std::vector<FindData> entries;
  EXPECT_EQ(List(dir / "*", kAttrAny, nullptr, &entries), (Names{".", "..", "data.bin", "link.bin", "sub"}));
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[3].Size, 10);  // the linked file's data under the link's name
  EXPECT_EQ(entries[3].Attr & kAttrDirectory, 0u);
  EXPECT_EQ(entries[3].Time, entries[2].Time);
}

TEST(FindFirst, RecordCarriesSizeTimesAndAttributes) {
  test::TempDir dir;
  std::string file = dir.Write("big.dat", std::string(70000, 'x'));
  timespec t{1600000000, 500000000};
  ASSERT_EQ(SetFileWriteTime(file, t), 0u);
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  std::vector<FindData> entries;
  List(dir / "big.dat", kAttrAny, nullptr, &entries);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Size, 70000);
  EXPECT_EQ(entries[0].WriteTime.tv_sec, t.tv_sec);
  EXPECT_EQ(entries[0].WriteTime.tv_nsec, t.tv_nsec);
  EXPECT_EQ(entries[0].Time, UnixToDos(t));
  EXPECT_EQ(entries[0].Attr, kAttrReadOnly | kAttrArchive);
}

TEST(FindFirst, DriveThatIsNotReadyGivesError21WithoutTouchingTheDisk) {
  DriveReadyForTesting([](char drive) { return drive != 'X'; });
  FindData d;
  FindHandle h;
  EXPECT_EQ(FindFirst("X:/data/*.*", kAttrAny, d, h), ERROR_NOT_READY);
  EXPECT_EQ(FindFirst("x:\\data\\*.*", kAttrAny, d, h), ERROR_NOT_READY);
  EXPECT_FALSE(DirAccessible("X:/data/"));
  EXPECT_FALSE(DriveReady("X:\\"));
  EXPECT_TRUE(DriveReady("Y:/"));
  EXPECT_TRUE(DriveReady("/tmp"));
  DriveReadyForTesting(nullptr);
  EXPECT_TRUE(DriveReady("X:/"));
}

TEST(FindNext, AfterTheLastEntryKeepsSayingNoMoreFiles) {
  test::TempDir dir;
  dir.Write("only", "");
  FindData d;
  FindHandle h;
  ASSERT_EQ(FindFirst(dir / "only", kAttrAny, d, h), 0u);
  EXPECT_EQ(FindNext(h, d), ERROR_NO_MORE_FILES);
  EXPECT_EQ(FindNext(h, d), ERROR_NO_MORE_FILES);
  h.Close();
  EXPECT_EQ(FindNext(h, d), ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace mv
