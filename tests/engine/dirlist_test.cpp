#include "engine/dirlist.h"

#include <gtest/gtest.h>

#include "engine/analyzedata.h"
#include "platform/datetext.h"
#include "platform/datetime.h"
#include "platform/fileio.h"
#include "platform/textcase.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using Names = std::vector<std::string>;
const uint32_t kDos = DateTimeToDos(EncodeDateTime({2021, 3, 5, 14, 30, 0}));

Names NamesOf(const TTDirList& list) {
  Names out;
  for (int32_t i = 0; i < list.Count(); ++i) out.push_back(list[i].Name);
  return out;
}
void WriteAt(const test::TempDir& dir, const std::string& name, const std::string& content, uint32_t dos = kDos) {
  EXPECT_EQ(SetFileDosTime(dir.Write(name, content), dos), 0u);
}
uint64_t SignatureOf(const std::string& dir) { TTDirList l; EXPECT_EQ(l.Read(dir), 0); return l.Signature(); }

// A change the signature misses would make the copy skip the folder.
// Peers compare signatures across the wire: an entry's is the CRC of its
// time and size as 8 upper-case hex digits each, then its name.
TEST(TTDirEntry, SignatureIsTheCrcOfTimeSizeAndName) {
  struct Case { uint32_t time, size; const char* name; const char* text; };
  const Case cases[] = {{0x12345678u, 0x9ABCu, "Report.TXT", "1234567800009ABCReport.TXT"},
                        {0xFEDCBA98u, 0xFFFFFFFFu, "a", "FEDCBA98FFFFFFFFa"},
                        {0, 1, "", "0000000000000001"}};
  for (const Case& c : cases) {
    TTDirEntry e;
    e.Time = static_cast<int32_t>(c.time), e.Size = static_cast<int32_t>(c.size), e.Name = c.name;
    EXPECT_EQ(e.Signature(), DirSignatureCrc(c.text)) << c.text;
  }
  // The reflected CRC-32 polynomial over a 64-bit register from 0x0FFFFFFF, complemented.
  EXPECT_EQ(DirSignatureCrc("1234567800009ABCReport.TXT"), 0xFFFFFFFF219FC968ull);
  EXPECT_EQ(DirSignatureCrc(""), ~uint64_t(0x0FFFFFFF));
}

TEST(TTDirList, SignatureFollowsNamesSizesAndTimesButNotOrderOrFolders) {
  test::TempDir a, b;
  WriteAt(a, "One.TXT", "1"), WriteAt(a, "Two.dat", "22");
  WriteAt(b, "Two.dat", "xy"), WriteAt(b, "One.TXT", "9"), b.Write("sub/deep.txt", "folders do not count");
  const uint64_t sig = SignatureOf(a.path());
  EXPECT_NE(sig, 0u);
  EXPECT_EQ(SignatureOf(b.path()), sig);
  ASSERT_EQ(RenameFile(b / "Two.dat", b / "two.dat", false), 0u);  // a case-only rename is a change
  WriteAt(b, "two.dat", "xy");
  EXPECT_NE(SignatureOf(b.path()), sig);
  ASSERT_EQ(RenameFile(b / "two.dat", b / "Two.dat", false), 0u);
  WriteAt(b, "Two.dat", "xy");
  EXPECT_EQ(SignatureOf(b.path()), sig);
  WriteAt(b, "One.TXT", "9", kDos + 1);  // two seconds later
  EXPECT_NE(SignatureOf(b.path()), sig);
  WriteAt(b, "One.TXT", "99");
  EXPECT_NE(SignatureOf(b.path()), sig);
  ASSERT_EQ(RenameFile(b / "One.TXT", b / "Uno.txt", false), 0u);
  WriteAt(b, "Uno.txt", "9");
  EXPECT_NE(SignatureOf(b.path()), sig);
}

TEST(TTDirList, ReadListsInNameOrderFiltersFilesOnlyAndKnowsNulAndMissing) {
  test::TempDir dir;
  dir.Write("b.txt", "x"), dir.Write("A.TXT", "x"), dir.Write("c.doc", "x"), dir.Write("sub/c.txt", "x");
  ASSERT_EQ(CreateDirectory(dir / "empty"), 0u);
  TTDirList list;
  ASSERT_EQ(list.Read(dir.path()), 0);
  EXPECT_EQ(NamesOf(list), (Names{"..", "A.TXT", "b.txt", "c.doc", "empty", "sub"}));
  EXPECT_EQ(list.DirCount() * 10 + list.FileCount(), 33);
  EXPECT_EQ(list.AssignFilter(TTDirFilter("*.txt", "", "", "", kDefaultIncludeDirLevel)), 0);
  ASSERT_EQ(list.Read(dir.path()), 0);
  EXPECT_EQ(NamesOf(list), (Names{"..", "A.TXT", "b.txt", "empty", "sub"}));
  for (const char* path : {"", "nul:", "NUL:/anything"}) {  // read tests list nothing
    ASSERT_EQ(list.Read(dir.path()), 0);
    EXPECT_EQ(list.Read(path), 0) << path;
    EXPECT_EQ(list.Count(), 0) << path;
  }
  EXPECT_EQ(list.Read(dir / "missing"), -3);
  EXPECT_EQ(list.LastError(), 3);
}

TEST(TTDirList, DeletedFilesComeFromTheScannerUncounted) {
  test::TempDir dir;
  dir.Write("live.txt", "x"), dir.Write("sub/x", "x");
  auto nw = MakeUnavailableNetWareClient();
  TTDirList list;
  list.Filter.DeletedFiles = 1;
  list.SetNetWare({nw.get(), true, [&](NetWareClient&, const std::string& p, const TTDirFilter&, NetWareScanContext&) {
                     EXPECT_EQ(p, UpperCase(dir.path()));
                     return std::vector<DeletedFileRecord>{
                         {.Sequence = 9, .Created = 100, .Modified = 200, .Deleted = 300, .Size = 0xF0000000u, .Name = "gone"},
                         {.Sequence = 10, .Created = 100, .Modified = 200, .Deleted = 250, .Name = "early"}};
                   }});
  ASSERT_EQ(list.Read(dir.path()), 0);
  EXPECT_EQ(NamesOf(list), (Names{"..", "sub", "gone", "early"}));
  EXPECT_EQ(list.DirCount() + list.FileCount(), 2);
  EXPECT_TRUE(list[2].IsDeleted() && list[2].DeletedSequence == 9 && list[2].Size64() == 0xF0000000ll);
  list.Filter.DeletedDateLimit = 260;  // existed then: made before, deleted after
  ASSERT_EQ(list.Read(dir.path()), 0);
  EXPECT_EQ(NamesOf(list), (Names{"..", "sub", "gone"}));
}

TEST(TTAnalyzeData, GroupKeysLineFormsAndOrders) {
  for (auto [path, level, key] : {std::tuple{"/data/a/b/", 2, "/b/ /b/"}, {"/x/*.*", 9, "/x/*.* /x/"}}) {
    TTAnalyzeDataExtended g({}, level, path);
    EXPECT_EQ(g.AnalyzeGroupKey() + " " + g.KeyDirectory(), key);
  }
  SetDateTimeFormatsForTesting("dd.mm.yyyy", "hh:nn:ss");
  TTAnalyzeData d{.TotalBytes = 1234567, .LargestFile = 1000000, .SmallestFile = 100, .FileCount = 3,
                  .NewestDate = static_cast<int32_t>(kDos), .LongestDirPath = 42, .LongestFileName = 57};
  TTAnalyzeDataExtended g(d, 3, "/data/a/b/*.*");
  EXPECT_EQ(g.Line(0, ","), "05.03.2021 14:30:00          1,234,567 /a/b/");
  EXPECT_EQ(g.Line(1, "."), " files:         3 avg size:        411.522 smallest:         100 largest:      1.000.000 /a/b/");
  EXPECT_EQ(g.Line(2, ","), "        3        411,522         100      1,000,000  42  57 /a/b/");
  EXPECT_EQ(AnalyzeHeaderLine(), "    files       avg size    smallest        largest mpl mfl");
  g.NewestDate = 0;
  EXPECT_EQ(g.Line(0, ","), "INVALID FILEDATE          1,234,567 /a/b/");
  g.TotalBytes = 0;
  EXPECT_EQ(g.Line(2, ","), "NO DATA /a/b/");
  SetDateTimeFormatsForTesting("", "");
  TTAnalyzeDataList list;
  for (auto [path, bytes, date] : {std::tuple{"/t/b/", 30, 3}, {"/t/C/", 10, 1}, {"/t/a/", 20, 2}})
    list.Add(std::make_unique<TTAnalyzeDataExtended>(TTAnalyzeData{.TotalBytes = bytes, .NewestDate = date}, 2, path));
  for (auto [order, expected] : {std::pair{AnalyzeOrder::ByDirectory, "/a/ /b/ /C/ "},
                                 {AnalyzeOrder::ByNewestDate, "/C/ /a/ /b/ "}, {AnalyzeOrder::BySize, "/b/ /a/ /C/ "}}) {
    list.Sort(order);
    std::string dirs;
    for (int32_t i = 0; i < list.Count(); ++i) dirs += list[i].KeyDirectory() + " ";
    EXPECT_EQ(dirs, expected);
  }
}

}  // namespace
}  // namespace mv
