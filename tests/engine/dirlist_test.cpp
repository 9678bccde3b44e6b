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

Names NamesOf(const TTDirList& list) {
  Names out;
  for (int32_t i = 0; i < list.Count(); ++i) out.push_back(list[i].Name);
  return out;
}

const uint32_t kDos = DateTimeToDos(EncodeDateTime({2021, 3, 5, 14, 30, 0}));

void WriteAt(const test::TempDir& dir, const std::string& name, const std::string& content,
             uint32_t dos = kDos) {
  EXPECT_EQ(SetFileDosTime(dir.Write(name, content), dos), 0u);
}

uint64_t SignatureOf(const std::string& dir) {
  TTDirList list;
  EXPECT_EQ(list.Read(dir), 0);
  return list.Signature();
}

TEST(TTDirEntry, SignatureKnownValuesIgnoreNameCaseAndSkipDirectories) {
  struct Case { int32_t time, size; const char* name; uint64_t expected; };
  for (const Case& c : {Case{0, 0, "", 0xFFFFFFFFB89E32F7ull},
                        Case{0x12345678, static_cast<int32_t>(0x9ABCDEF0), "readme.txt", 0xFFFFFFFFE3C2CC77ull},
                        Case{0x12345678, static_cast<int32_t>(0x9ABCDEF0), "README.TXT", 0xFFFFFFFFE3C2CC77ull},
                        Case{0x5A8C6000, 1234, "Report.doc", 0xFFFFFFFF8198DF9Cull}}) {
    TTDirEntry e;
    e.Time = c.time, e.Size = c.size, e.Name = c.name;
    EXPECT_EQ(e.Signature(), c.expected) << c.name;
    EXPECT_EQ(TTDirEntry(FindData{.Name = c.name, .Attr = kAttrDirectory}).Signature(), 0u);
  }
}

TEST(TTDirList, SignatureFollowsNamesSizesAndTimesButNotOrderOrFolders) {
  test::TempDir a, b;
  WriteAt(a, "one.txt", "1"), WriteAt(a, "Two.dat", "22");
  WriteAt(b, "TWO.DAT", "xy"), WriteAt(b, "One.TXT", "9");
  b.Write("sub/deep.txt", "folders do not count");
  const uint64_t sig = SignatureOf(a.path());
  EXPECT_NE(sig, 0u);
  EXPECT_EQ(SignatureOf(b.path()), sig);
  // A change the signature misses would make the copy skip the folder.
  WriteAt(b, "One.TXT", "9", kDos + 1);  // two seconds later
  EXPECT_NE(SignatureOf(b.path()), sig);
  WriteAt(b, "One.TXT", "99");
  EXPECT_NE(SignatureOf(b.path()), sig);
  ASSERT_EQ(RenameFile(b / "One.TXT", b / "Uno.txt", false), 0u);
  WriteAt(b, "Uno.txt", "9");
  EXPECT_NE(SignatureOf(b.path()), sig);
}

TEST(TTDirList, ReadListsInNameOrderKeepsDotDotOnlyAndFiltersFilesOnly) {
  test::TempDir dir;
  dir.Write("b.txt", "x"), dir.Write("A.TXT", "x"), dir.Write("c.doc", "x"), dir.Write("sub/c.txt", "x");
  ASSERT_EQ(CreateDirectory(dir / "empty"), 0u);
  TTDirList list;
  ASSERT_EQ(list.Read(dir.path()), 0);
  EXPECT_EQ(NamesOf(list), (Names{"..", "A.TXT", "b.txt", "c.doc", "empty", "sub"}));
  EXPECT_EQ(list.DirCount(), 3);
  EXPECT_EQ(list.FileCount(), 3);
  TTDirFilter filter;
  filter.IncludeFileNames = "*.txt";
  EXPECT_EQ(list.AssignFilter(filter), 0);
  ASSERT_EQ(list.Read(dir.path()), 0);
  EXPECT_EQ(NamesOf(list), (Names{"..", "A.TXT", "b.txt", "empty", "sub"}));

  EXPECT_EQ(list.Read(dir / "empty"), 0);
  EXPECT_EQ(list.Path(), dir / "empty/");
  EXPECT_EQ(NamesOf(list), Names{".."});
}

TEST(TTDirList, NulEmptyMissingAndNotReadyPaths) {
  test::TempDir dir;
  dir.Write("f", "x");
  TTDirList list;
  for (const char* path : {"", "nul:", "NUL:/anything"}) {
    ASSERT_EQ(list.Read(dir.path()), 0);
    EXPECT_EQ(list.Read(path), 0) << path;
    EXPECT_EQ(list.Count(), 0) << path;
  }
  EXPECT_EQ(list.Path(), "NUL:/anything/");
  EXPECT_EQ(list.Read(dir / "missing"), -3);
  EXPECT_EQ(list.LastError(), 3);
  DriveReadyForTesting([](char drive) { return drive != 'Q'; });
  EXPECT_EQ(list.Read("q:/data"), -21);
  EXPECT_EQ(list.Path() + " " + std::to_string(list.LastError()), "Q:/data/ 21");
  DriveReadyForTesting({});
  list.SetPath("/srv/a:b/c");  // a colon inside a folder name is no drive
  EXPECT_EQ(list.Path(), "/srv/a:b/c/");
}

struct FakeRemote : DirListRemote {
  bool Active() const override { return true; }
  int32_t ReadRemote(const std::string& path, const std::string&, int32_t hint,
                     std::vector<FindData>& entries) override {
    seenPath = path, seenHint = hint;
    entries = {{.Name = "d", .Attr = kAttrDirectory}, {.Name = "f", .Size = 3000000000}};
    return status;
  }
  int32_t SendFilter(const TTDirFilter& f) override { return sentMasks = f.IncludeFileNames, 7; }
  int32_t status = 0, seenHint = 0;
  std::string seenPath, sentMasks;
};

TEST(TTDirList, RemoteReadAndFilterGoThroughTheClient) {
  FakeRemote remote;
  TTDirList list;
  list.SetRemote(&remote);
  list.RemoteHint = 0xFFFFFFFF00000005ull;  // only the low 32 bits travel
  TTDirFilter filter;
  filter.IncludeFileNames = "*.X";
  EXPECT_EQ(list.AssignFilter(filter), 7);
  EXPECT_EQ(remote.sentMasks + "|" + list.Filter.IncludeFileNames, "*.X|");  // not applied here
  EXPECT_EQ(list.Read("/remote/dir"), 0);
  EXPECT_EQ(remote.seenPath + " " + std::to_string(remote.seenHint), "/remote/dir 5");
  EXPECT_EQ(list.DirCount() + 10 * list.FileCount(), 11);
  EXPECT_EQ(list[1].Size64(), 3000000000);
  remote.status = -257;
  EXPECT_EQ(list.Read("/remote/dir"), -257);
  EXPECT_EQ(list.LastError(), 0);
}

TEST(TTDirList, DeletedFilesComeFromTheScannerUncounted) {
  test::TempDir dir;
  dir.Write("live.txt", "x"), dir.Write("sub/x", "x");
  auto nw = MakeUnavailableNetWareClient();
  std::string scannedPath;
  TTDirList list;
  list.Filter.DeletedFiles = 1;
  list.SetNetWare({nw.get(), true, [&](NetWareClient&, const std::string& p, const TTDirFilter&,
                                       NetWareScanContext& ctx) {
                     scannedPath = p, ctx.Connection = 4;
                     return std::vector<DeletedFileRecord>{
                         {.Sequence = 9, .Created = 100, .Modified = 200, .Deleted = 300, .Size = 0xF0000000u, .Name = "gone"},
                         {.Sequence = 10, .Created = 100, .Modified = 200, .Deleted = 250, .Name = "early"}};
                   }});
  ASSERT_EQ(list.Read(dir.path()), 0);
  EXPECT_EQ(NamesOf(list), (Names{"..", "sub", "gone", "early"}));
  EXPECT_EQ(list.DirCount() + list.FileCount(), 2);
  EXPECT_EQ(scannedPath, UpperCase(dir.path()));
  EXPECT_EQ(list.ScanContext().Connection, 4);
  EXPECT_TRUE(list[2].IsDeleted() && list[2].DeletedSequence == 9);
  EXPECT_EQ(list[2].Size64(), 0xF0000000ll);
  list.Filter.DeletedDateLimit = 260;  // existed then: made before, deleted after
  ASSERT_EQ(list.Read(dir.path()), 0);
  EXPECT_EQ(NamesOf(list), (Names{"..", "sub", "gone"}));
}

TEST(TTAnalyzeData, GroupKeysFromPathAndLevel) {
  struct Case { const char* path; int32_t level; const char* key; const char* dir; };
  for (const Case& c : {Case{"/data/a/b/*.*", 3, "/a/b/*.*", "/a/b/"}, Case{"/data/a/b/", 2, "/b/", "/b/"},
                        Case{"/data/a/b/*.*", 1, "/*.*", "/"}, Case{"/x/*.*", 9, "/x/*.*", "/x/"}}) {
    TTAnalyzeDataExtended g({}, c.level, c.path);
    EXPECT_EQ(g.AnalyzeGroupKey() + " " + g.KeyDirectory(), c.key + std::string(" ") + c.dir);
    g.SetDirLevel(1);  // no longer taken
    EXPECT_EQ(g.DirLevel(), c.level);
  }
}

TEST(TTAnalyzeData, LineFormsHaveFixedWidths) {
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
}

TEST(TTAnalyzeDataList, ThreeOrders) {
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
