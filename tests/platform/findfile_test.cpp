#include "platform/findfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <tuple>
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

TEST(FindFirst, StarDotStarListsNamesWithoutDotSortedByUpperCasedNameWhateverTheCreationOrderMasksIgnoreCase) {
  test::TempDir one, two;
  const Names names = {"Zeta", "b.txt", "ä.txt", "README", "A.txt", "c", "ab.txt", "x.txt.bak"};
  for (auto it = names.begin(); it != names.end(); ++it) one.Write(*it, "x");
  for (auto it = names.rbegin(); it != names.rend(); ++it) two.Write(*it, "x");
  uint32_t error = 0;
  EXPECT_EQ(List(one / "*.*", kAttrAny, &error),
            (Names{".", "..", "A.txt", "ab.txt", "b.txt", "c", "README", "x.txt.bak", "Zeta", "ä.txt"}));
  EXPECT_EQ(error, ERROR_NO_MORE_FILES);
  EXPECT_EQ(List(two / "*"), List(one / "*.*"));
  EXPECT_EQ(List(one / "*.TXT"), (Names{"A.txt", "ab.txt", "b.txt", "ä.txt"}));
  EXPECT_EQ(List(one / "?.txt"), (Names{"A.txt", "b.txt", "ä.txt"}));  // "?" is one letter, "ä" too
  EXPECT_EQ(List(one / "Ä.TXT"), (Names{"ä.txt"}));
  for (const char* pattern : {"*.doc", "missing/*.*", "c/*.*"})
    EXPECT_TRUE(List(one / pattern, kAttrAny, &error).empty() &&
                error == (pattern[0] == '*' ? ERROR_NO_MORE_FILES : ERROR_PATH_NOT_FOUND)) << pattern << " " << error;
}

TEST(FindFirst, ListsOnlyFilesFoldersAndLinksToFilesNeverFifosOrDirectoryLinks) {
  test::TempDir dir;
  std::string file = dir.Write("data.bin", std::string(70000, 'x'));
  const timespec t{1600000000, 500000000};
  ASSERT_EQ(SetFileWriteTime(file, t), 0u);
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0755), 0);
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
  for (const auto& [target, name] : std::vector<std::pair<const char*, const char*>>{
           {"sub", "dirlink"}, {"gone", "dangling"}, {"filelink", "filelink"}, {"data.bin", "link.bin"}})
    ASSERT_EQ(::symlink(target, (dir / name).c_str()), 0);  // "filelink" is a loop
  std::vector<FindData> entries;
  ASSERT_EQ(List(dir / "*", kAttrAny, nullptr, &entries), (Names{".", "..", "data.bin", "link.bin", "sub"}));
  for (const FindData& d : {entries[2], entries[3]}) {  // the link shows the file's data under its own name
    EXPECT_EQ(std::make_tuple(d.Size, d.WriteTime.tv_sec, d.WriteTime.tv_nsec, d.Time, d.Attr),
              std::make_tuple(int64_t(70000), t.tv_sec, t.tv_nsec, UnixToDos(t), kAttrReadOnly | kAttrArchive))
        << d.Name;
  }
}

}  // namespace
}  // namespace mv
