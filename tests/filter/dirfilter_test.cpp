#include "filter/dirfilter.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "platform/profile.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

constexpr int32_t kIntMax = std::numeric_limits<int32_t>::max();

// Every field set away from its creation value.
TTDirFilter Unusual() {
  TTDirFilter f("*.TXT|*.DOC", "~*|*.TMP", "PROJECTS|WORK", "CACHE|.git", 12);
  f.AllowedAttributes = 0x31;
  f.RequiredAttributes = 0x20;
  f.ProcessSubdirs = 0;
  f.MaxSubdirLevel = 7;
  f.ReportDirLevelMin = 2;
  f.ReportDirLevel = 9;
  f.ReportPathLength = 260;
  f.ReportPathLengthEnabled = true;
  f.FileAgeMinDays = 30;
  f.DeletedFiles = 1;
  f.DeletedDateLimit = 0x5A210000;
  return f;
}

// The fourteen fields the files keep.
auto Stored(const TTDirFilter& f) {
  return std::tie(f.IncludeFileNames, f.ExcludeFileNames, f.IncludeDirNames, f.ExcludeDirNames, f.AllowedAttributes,
                  f.RequiredAttributes, f.IncludeDirLevel, f.ProcessSubdirs, f.MaxSubdirLevel, f.ReportDirLevelMin,
                  f.ReportDirLevel, f.ReportPathLength, f.ReportPathLengthEnabled, f.FileAgeMinDays);
}

TEST(DirFilter, CreationValuesCreateAndAssign) {
  TTDirFilter f = Unusual();
  f.Create("*.A", "*.B", "C", "D", kDialogIncludeDirLevel);
  EXPECT_EQ(Stored(f), std::make_tuple("*.A", "*.B", "C", "D", 0x3F, 0, 16384, 1, 255, 1, 1, -1, false, -1));
  EXPECT_EQ(f.DeletedFiles, 0);
  EXPECT_EQ(f.DeletedDateLimit, 0);
  EXPECT_EQ(TTDirFilter().IncludeDirLevel, 8);

  const TTDirFilter src = Unusual();
  TTDirFilter dst;
  dst.DeletedDateLimit = 1234;
  dst.Assign(&src);
  EXPECT_EQ(Stored(dst), Stored(src));
  EXPECT_EQ(dst.DeletedFiles, 1);
  EXPECT_EQ(dst.DeletedDateLimit, 1234);
  dst.Assign(nullptr);
  dst.Assign(&dst);
  EXPECT_EQ(Stored(dst), Stored(src));
}

TEST(DirFilter, SubdirDepthStaysInRange) {
  TTDirFilter f;
  EXPECT_EQ(f.SubdirDepth(), 255);
  f.ProcessSubdirs = 0;
  EXPECT_EQ(f.SubdirDepth(), 0);
  f.ProcessSubdirs = f.MaxSubdirLevel = kIntMax;  // hand-edited file: no overflow
  EXPECT_EQ(f.SubdirDepth(), kIntMax);
  f.ProcessSubdirs = 1;
  f.MaxSubdirLevel = -5;
  EXPECT_EQ(f.SubdirDepth(), 0);
}

TEST(DirFilter, AcceptPerEntry) {
  TTDirFilter plain, incMask, excMask, incDir, excDir, allowed, required, deleted1, deleted2;
  incMask.IncludeFileNames = "*.TXT";
  excMask.ExcludeFileNames = "*.TMP|~*";
  incDir.IncludeDirNames = "projects";
  excDir.ExcludeDirNames = "CACHE|/.git";
  allowed.AllowedAttributes = kAttrDirectory | kAttrArchive;
  required.RequiredAttributes = kAttrArchive | kAttrReadOnly;
  deleted1.DeletedFiles = 1;
  deleted2.DeletedFiles = 2;
  constexpr uint32_t A = kAttrArchive, D = kAttrDirectory, H = kAttrHidden, R = kAttrReadOnly;
  struct Row {
    const TTDirFilter& f;
    const char* name;
    uint32_t attr;
    bool accepted;
    const char* path = "/d/";
    bool deletedMode = false;
  };
  const std::vector<Row> rows = {
      {plain, ".", D, false}, {plain, "..", D, true}, {plain, ".h", H | R, true}, {plain, "x", A, false, "/d/", true},
      {incMask, "Readme.txt", A, true}, {incMask, "readme.md", A, false}, {incMask, "sub", D, true},
      {excMask, "x.tmp", A, false}, {excMask, "~lock", A, false}, {excMask, "old.tmp", D, true},
      {incDir, "a", A, true, "/home/Projects/x/"}, {incDir, "a", A, false, "/x/"}, {incDir, "sub", D, true, "/x/"},
      {excDir, "Cache", D, false}, {excDir, ".git", D, false}, {excDir, "x", D, false, "/data/cache/"},
      {excDir, "src", D, true}, {excDir, "cache.txt", A, true},
      {allowed, "a", A, true}, {allowed, ".a", H | A, false}, {allowed, ".s", H | D, false},
      {allowed, "b", A | 0x80, true}, {required, "a", A | R, true}, {required, "b", A, false},
      {required, "sub", D, true},
      {deleted1, "x", A, true, "/d/", true}, {deleted1, "x", A, false}, {deleted1, "sub", D, true},
      {deleted2, "x", A, false}, {deleted2, "sub", D, true},
  };
  for (const Row& r : rows) {
    FindData e;
    e.Name = r.name;
    e.Attr = r.attr;
    EXPECT_EQ(r.f.Accept(e, r.path, r.deletedMode), r.accepted) << r.name << " in " << r.path;
  }
}

TEST(DirFilterLoad, MissingKeysGiveLoadDefaultsIncludeDirLevelFour) {
  test::TempDir dir;
  TTDirFilter f = Unusual();
  f.Load(dir / "none.MVJ", "");
  EXPECT_EQ(Stored(f), std::make_tuple("", "", "", "", 0x3F, 0, 4, 1, 255, 1, 1, -1, false, -1));
  EXPECT_EQ(f.DeletedFiles, 1);
  EXPECT_EQ(f.DeletedDateLimit, 0x5A210000);

  const std::string file = dir.Write("job.MVJ",
                                     "[filter]\r\nincludefilenames=*.TXT\r\nfileattr_allowed=$31\r\n"
                                     "processdirlvl__max=0x10\r\nreportingPathlengthEnabled=5\r\n"
                                     "fileagemindays=junk\r\n");
  TTDirFilter g;
  g.Load(file, "");
  EXPECT_EQ(Stored(g), std::make_tuple("*.TXT", "", "", "", 0x31, 0, 4, 1, 16, 1, 1, -1, true, -1));
}

TEST(DirFilterSave, JobFileSectionRewrittenWholeInKeyOrder) {
  test::TempDir dir;
  const std::string file = dir.Write("job.MVJ",
                                     "[job]\r\ndescription=keep\r\n"
                                     "[filter]\r\nobsolete=1\r\nincludefilenames=*.OLD\r\n");
  TTDirFilter f;
  f.ReportPathLengthEnabled = true;
  ASSERT_TRUE(f.Save(file, ""));
  EXPECT_EQ(ProfileKeys(file, "filter"),
            (std::vector<std::string>{"includefilenames", "excludefilenames", "includedirnames", "excludedirnames",
                                      "fileattr_allowed", "fileattr_required", "processdirlvl", "processdirlvl__max",
                                      "includedirlevel", "reportingdirlevelmin", "reportingdirlevel",
                                      "reportingPathlength", "reportingPathlengthEnabled", "fileagemindays"}));
  const std::string text = test::TempDir::Read(file);
  for (const char* line : {"fileattr_allowed=63\r\n", "reportingPathlength=-1\r\n", "reportingPathlengthEnabled=1\r\n",
                           "includefilenames=\r\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  EXPECT_EQ(ProfileReadString(file, "job", "description", ""), "keep");
}

TEST(DirFilterRoundTrip, JobFileAndDefinitionsSideBySide) {
  test::TempDir dir;
  const std::string defs = dir.Write("SOURCES.MVS",
                                     "[filter]\r\nincludefilenames=WRONG\r\n"
                                     "[Alpha]\r\nactions_count=2\r\nfilter_includefilenames=*.OLD\r\n");
  const TTDirFilter a = Unusual();
  TTDirFilter b("ä*.txt", "|*.TMP||*.BAK|", "Über", "", 3);
  b.FileAgeMinDays = std::numeric_limits<int32_t>::min();
  b.MaxSubdirLevel = kIntMax;
  ASSERT_TRUE(a.Save(dir / "job.MVJ", ""));
  ASSERT_TRUE(a.Save(defs, "Alpha"));
  ASSERT_TRUE(b.Save(defs, "Beta"));
  TTDirFilter job, la, lb;
  job.Load(dir / "job.MVJ", "");
  la.Load(defs, "Alpha");
  lb.Load(defs, "Beta");
  EXPECT_EQ(Stored(job), Stored(a));
  EXPECT_EQ(job.DeletedFiles, 0);  // never stored
  EXPECT_EQ(Stored(la), Stored(a));
  EXPECT_EQ(Stored(lb), Stored(b));
  // A definition keeps its other keys and gets only prefixed ones.
  EXPECT_EQ(ProfileReadInt(defs, "Alpha", "actions_count", 0), 2);
  EXPECT_EQ(ProfileReadString(defs, "Alpha", "includefilenames", "absent"), "absent");
  EXPECT_EQ(ProfileReadString(defs, "filter", "includefilenames", ""), "WRONG");
  EXPECT_FALSE(a.Save(dir / "missing/dir/job.MVJ", ""));  // failure is reported
}

TEST(DirFilterRoundTrip, LongListKeepsWholeItems) {
  test::TempDir dir;
  std::string exact, longer;
  while (exact.size() + 8 <= kFilterValueMax) exact += "*.DOCX|";
  exact.pop_back();
  for (int i = 0; i < 1000; ++i) longer += "*.DOCX|";
  ASSERT_TRUE(TTDirFilter(exact, longer + "*.LAST", "", "", 8).Save(dir / "job.MVJ", ""));
  TTDirFilter loaded;
  loaded.Load(dir / "job.MVJ", "");
  EXPECT_EQ(loaded.IncludeFileNames, exact);
  // The longer list is cut after its last whole item, never into a wider mask.
  ASSERT_LE(loaded.ExcludeFileNames.size(), kFilterValueMax);
  ASSERT_FALSE(loaded.ExcludeFileNames.empty());
  EXPECT_EQ(loaded.ExcludeFileNames.back(), 'X');
  EXPECT_EQ(longer.compare(0, loaded.ExcludeFileNames.size(), loaded.ExcludeFileNames), 0);
}

TEST(DirFilterTemplate, ChangesOnlyTheNamedKeys) {
  test::TempDir dir;
  const std::string file = dir.Write("tpl.MVT", "[filter]\r\nexcludefilenames=*.BAK\r\nprocessdirlvl=1\r\n");
  TTDirFilter f = Unusual();
  f.LoadTemplate(dir / "none.MVT");
  EXPECT_EQ(Stored(f), Stored(Unusual()));
  f.LoadTemplate(file);
  TTDirFilter expected = Unusual();
  expected.ExcludeFileNames = "*.BAK";
  expected.ProcessSubdirs = 1;
  EXPECT_EQ(Stored(f), Stored(expected));
  EXPECT_EQ(f.DeletedDateLimit, 0x5A210000);
}

}  // namespace
}  // namespace mv
