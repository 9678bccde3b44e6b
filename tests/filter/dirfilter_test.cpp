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
  f.AllowedAttributes = 0x31, f.RequiredAttributes = 0x20, f.ProcessSubdirs = 0, f.MaxSubdirLevel = 7;
  f.ReportDirLevelMin = 2, f.ReportDirLevel = 9, f.ReportPathLength = 260, f.ReportPathLengthEnabled = true;
  f.FileAgeMinDays = 30, f.DeletedFiles = 1, f.DeletedDateLimit = 0x5A210000;
  return f;
}

// The fourteen fields the files keep.
auto Stored(const TTDirFilter& f) {
  return std::tie(f.IncludeFileNames, f.ExcludeFileNames, f.IncludeDirNames, f.ExcludeDirNames, f.AllowedAttributes,
                  f.RequiredAttributes, f.IncludeDirLevel, f.ProcessSubdirs, f.MaxSubdirLevel, f.ReportDirLevelMin,
                  f.ReportDirLevel, f.ReportPathLength, f.ReportPathLengthEnabled, f.FileAgeMinDays);
}

TEST(DirFilter, AssignAndSubdirDepth) {
  const TTDirFilter src = Unusual();
  TTDirFilter dst;
  dst.DeletedDateLimit = 1234;
  dst.Assign(&src);
  EXPECT_EQ(Stored(dst), Stored(src));
  EXPECT_EQ(std::tie(dst.DeletedFiles, dst.DeletedDateLimit), std::make_tuple(1, 1234));

  TTDirFilter f;
  f.ProcessSubdirs = f.MaxSubdirLevel = kIntMax;  // hand-edited file: no overflow
  EXPECT_EQ(f.SubdirDepth(), kIntMax);
  f.ProcessSubdirs = 1, f.MaxSubdirLevel = -5;
  EXPECT_EQ(f.SubdirDepth(), 0);
}

TEST(DirFilter, AcceptPerEntry) {
  TTDirFilter plain, incMask, excMask, incDir, excDir, allow, req, del1, del2;
  incMask.IncludeFileNames = "*.TXT", excMask.ExcludeFileNames = "*.TMP|~*", incDir.IncludeDirNames = "projects";
  excDir.ExcludeDirNames = "CACHE|/.git", allow.AllowedAttributes = kAttrDirectory | kAttrArchive;
  req.RequiredAttributes = kAttrArchive | kAttrReadOnly, del1.DeletedFiles = 1, del2.DeletedFiles = 2;
  constexpr uint32_t A = kAttrArchive, D = kAttrDirectory, H = kAttrHidden, R = kAttrReadOnly;
  struct Row { const TTDirFilter& f; const char* name; uint32_t attr; bool accepted;
               const char* path = "/d/"; bool deletedMode = false; };
  const std::vector<Row> rows = {
      {plain, ".", D, false}, {plain, "..", D, true}, {plain, ".h", H | R, true}, {plain, "x", A, false, "/d/", true},
      {incMask, "readme.md", A, false}, {incMask, "sub", D, true}, {excMask, "old.tmp", D, true},
      {incDir, "a", A, true, "/home/Projects/x/"}, {incDir, "a", A, false, "/x/"}, {incDir, "sub", D, true, "/x/"},
      {excDir, "x", D, false, "/data/cache/"}, {excDir, "cache.txt", A, true}, {allow, ".a", H | A, false},
      {req, "b", A, false}, {req, "sub", D, true}, {del1, "x", A, false}, {del2, "sub", D, true},
  };
  for (const Row& r : rows)
    EXPECT_EQ(r.f.Accept({.Name = r.name, .Attr = r.attr}, r.path, r.deletedMode), r.accepted) << r.name << r.path;
}

TEST(DirFilterLoad, MissingKeysGiveLoadDefaultsIncludeDirLevelFour) {
  test::TempDir dir;
  TTDirFilter f = Unusual();
  f.Load(dir / "none.MVJ", "");
  EXPECT_EQ(Stored(f), std::make_tuple("", "", "", "", 0x3F, 0, 4, 1, 255, 1, 1, -1, false, -1));
  EXPECT_EQ(std::tie(f.DeletedFiles, f.DeletedDateLimit), std::make_tuple(1, 0x5A210000));
  f.Load(dir.Write("j.MVJ", "[filter]\r\nincludefilenames=*.TXT\r\nfileattr_allowed=$31\r\n"
                            "processdirlvl__max=0x10\r\nreportingPathlengthEnabled=5\r\nfileagemindays=junk\r\n"), "");
  EXPECT_EQ(Stored(f), std::make_tuple("*.TXT", "", "", "", 0x31, 0, 4, 1, 16, 1, 1, -1, true, -1));
}

TEST(DirFilterSave, JobFileSectionRewrittenWhole) {
  test::TempDir dir;
  const std::string file =
      dir.Write("job.MVJ", "[job]\r\ndescription=keep\r\n[filter]\r\nobsolete=1\r\nincludefilenames=*.OLD\r\n");
  TTDirFilter f;
  f.ReportPathLengthEnabled = true;
  ASSERT_TRUE(f.Save(file, ""));
  EXPECT_EQ(ProfileReadString(file, "filter", "obsolete", "gone"), "gone");
  const std::string text = test::TempDir::Read(file);
  for (const char* line : {"fileattr_allowed=63\r\n", "reportingPathlength=-1\r\n", "reportingPathlengthEnabled=1\r\n",
                           "includefilenames=\r\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  EXPECT_EQ(ProfileReadString(file, "job", "description", ""), "keep");
}

TEST(DirFilterRoundTrip, JobFileAndDefinitionsSideBySide) {
  test::TempDir dir;
  const std::string defs = dir.Write("SOURCES.MVS", "[filter]\r\nincludefilenames=WRONG\r\n"
                                     "[Alpha]\r\nactions_count=2\r\nfilter_includefilenames=*.OLD\r\n");
  const TTDirFilter a = Unusual();
  TTDirFilter b("ä*.txt", "|*.TMP||*.BAK|", "Über", "", 3), job, la, lb;
  b.FileAgeMinDays = std::numeric_limits<int32_t>::min(), b.MaxSubdirLevel = kIntMax;
  ASSERT_TRUE(a.Save(dir / "job.MVJ", "") && a.Save(defs, "Alpha") && b.Save(defs, "Beta"));
  job.Load(dir / "job.MVJ", ""), la.Load(defs, "Alpha"), lb.Load(defs, "Beta");
  EXPECT_EQ(Stored(job), Stored(a));
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
  std::string longer;
  for (int i = 0; i < 1000; ++i) longer += "*.DOCX|";
  const std::string exact = longer.substr(0, (kFilterValueMax + 1) / 7 * 7 - 1);  // as many whole items as fit
  ASSERT_TRUE(TTDirFilter(exact, longer + "*.LAST", "", "", 8).Save(dir / "job.MVJ", ""));
  TTDirFilter loaded;
  loaded.Load(dir / "job.MVJ", "");
  EXPECT_EQ(loaded.IncludeFileNames, exact);
  // The longer list is cut after its last whole item, never into a wider mask.
  const std::string& cut = loaded.ExcludeFileNames;
  ASSERT_TRUE(!cut.empty() && cut.size() <= kFilterValueMax);
  EXPECT_EQ(cut.back(), 'X');
  EXPECT_EQ(longer.compare(0, cut.size(), cut), 0);
}

TEST(DirFilterTemplate, ChangesOnlyTheNamedKeys) {
  test::TempDir dir;
  TTDirFilter f = Unusual(), expected = Unusual();
  f.LoadTemplate(dir.Write("tpl.MVT", "[filter]\r\nexcludefilenames=*.BAK\r\nprocessdirlvl=1\r\n"));
  expected.ExcludeFileNames = "*.BAK", expected.ProcessSubdirs = 1;
  EXPECT_EQ(Stored(f), Stored(expected));
  EXPECT_EQ(f.DeletedDateLimit, 0x5A210000);
}

}  // namespace
}  // namespace mv
