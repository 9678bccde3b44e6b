#include "filter/dirfilter.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

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

void ExpectSameStoredFields(const TTDirFilter& a, const TTDirFilter& b) {
  EXPECT_EQ(a.IncludeFileNames, b.IncludeFileNames);
  EXPECT_EQ(a.ExcludeFileNames, b.ExcludeFileNames);
  EXPECT_EQ(a.IncludeDirNames, b.IncludeDirNames);
  EXPECT_EQ(a.ExcludeDirNames, b.ExcludeDirNames);
  EXPECT_EQ(a.AllowedAttributes, b.AllowedAttributes);
  EXPECT_EQ(a.RequiredAttributes, b.RequiredAttributes);
  EXPECT_EQ(a.IncludeDirLevel, b.IncludeDirLevel);
  EXPECT_EQ(a.ProcessSubdirs, b.ProcessSubdirs);
  EXPECT_EQ(a.MaxSubdirLevel, b.MaxSubdirLevel);
  EXPECT_EQ(a.ReportDirLevelMin, b.ReportDirLevelMin);
  EXPECT_EQ(a.ReportDirLevel, b.ReportDirLevel);
  EXPECT_EQ(a.ReportPathLength, b.ReportPathLength);
  EXPECT_EQ(a.ReportPathLengthEnabled, b.ReportPathLengthEnabled);
  EXPECT_EQ(a.FileAgeMinDays, b.FileAgeMinDays);
}

// --- creation and copying ---------------------------------------------------

TEST(DirFilterCreate, DefaultConstructorGivesJobDefaults) {
  const auto f = std::make_unique<TTDirFilter>();
  EXPECT_EQ(f->IncludeFileNames, "");
  EXPECT_EQ(f->ExcludeFileNames, "");
  EXPECT_EQ(f->IncludeDirNames, "");
  EXPECT_EQ(f->ExcludeDirNames, "");
  EXPECT_EQ(f->AllowedAttributes, 0x3F);
  EXPECT_EQ(f->RequiredAttributes, 0);
  EXPECT_EQ(f->IncludeDirLevel, 8);
  EXPECT_EQ(f->ProcessSubdirs, 1);
  EXPECT_EQ(f->MaxSubdirLevel, 255);
  EXPECT_EQ(f->ReportDirLevelMin, 1);
  EXPECT_EQ(f->ReportDirLevel, 1);
  EXPECT_EQ(f->ReportPathLength, -1);
  EXPECT_FALSE(f->ReportPathLengthEnabled);
  EXPECT_EQ(f->FileAgeMinDays, -1);
  EXPECT_EQ(f->DeletedFiles, 0);
  EXPECT_EQ(f->DeletedDateLimit, 0);
}

TEST(DirFilterCreate, CreateResetsEverythingButItsArguments) {
  TTDirFilter f = Unusual();
  f.Create("*.A", "*.B", "C", "D", kDialogIncludeDirLevel);
  const TTDirFilter fresh;
  EXPECT_EQ(f.IncludeFileNames, "*.A");
  EXPECT_EQ(f.ExcludeFileNames, "*.B");
  EXPECT_EQ(f.IncludeDirNames, "C");
  EXPECT_EQ(f.ExcludeDirNames, "D");
  EXPECT_EQ(f.IncludeDirLevel, 16384);
  f.IncludeFileNames = f.ExcludeFileNames = f.IncludeDirNames = f.ExcludeDirNames = "";
  f.IncludeDirLevel = 8;
  ExpectSameStoredFields(f, fresh);
  EXPECT_EQ(f.DeletedFiles, 0);
  EXPECT_EQ(f.DeletedDateLimit, 0);
}

TEST(DirFilterAssign, CopiesAllButTheDeletedDateLimit) {
  const TTDirFilter src = Unusual();
  TTDirFilter dst;
  dst.DeletedDateLimit = 1234;
  dst.Assign(&src);
  ExpectSameStoredFields(dst, src);
  EXPECT_EQ(dst.DeletedFiles, 1);
  EXPECT_EQ(dst.DeletedDateLimit, 1234);
}

TEST(DirFilterAssign, NullSourceLeavesFilterUnchanged) {
  TTDirFilter f = Unusual();
  f.Assign(nullptr);
  ExpectSameStoredFields(f, Unusual());
  f.Assign(&f);
  ExpectSameStoredFields(f, Unusual());
  EXPECT_EQ(f.DeletedDateLimit, 0x5A210000);
}

// --- depth ------------------------------------------------------------------

TEST(DirFilterDepth, ProductOfSwitchAndLimit) {
  TTDirFilter f;
  EXPECT_EQ(f.SubdirDepth(), 255);
  f.MaxSubdirLevel = 3;
  EXPECT_EQ(f.SubdirDepth(), 3);
  f.ProcessSubdirs = 0;
  EXPECT_EQ(f.SubdirDepth(), 0);
}

TEST(DirFilterDepth, HandEditedValuesStayInRange) {
  TTDirFilter f;
  f.ProcessSubdirs = std::numeric_limits<int32_t>::max();
  f.MaxSubdirLevel = std::numeric_limits<int32_t>::max();
  EXPECT_EQ(f.SubdirDepth(), std::numeric_limits<int32_t>::max());
  f.ProcessSubdirs = 1;
  f.MaxSubdirLevel = -5;
  EXPECT_EQ(f.SubdirDepth(), 0);
}

// --- per-entry decision -------------------------------------------------------

FindData Entry(const std::string& name, uint32_t attr) {
  FindData d;
  d.Name = name;
  d.Attr = attr;
  return d;
}

FindData File(const std::string& name) { return Entry(name, kAttrArchive); }
FindData Dir(const std::string& name) { return Entry(name, kAttrDirectory); }

TEST(DirFilterAccept, DefaultsTakeEverythingButDot) {
  const TTDirFilter f;
  EXPECT_FALSE(f.Accept(Dir("."), "/d/", false));
  EXPECT_TRUE(f.Accept(Dir(".."), "/d/", false));
  EXPECT_TRUE(f.Accept(File("a.txt"), "/d/", false));
  EXPECT_TRUE(f.Accept(Entry(".hidden", kAttrHidden | kAttrReadOnly), "/d/", false));
  EXPECT_TRUE(f.Accept(Dir("sub"), "/d/", false));
}

TEST(DirFilterAccept, IncludeMasksKeepAllDirectories) {
  TTDirFilter f;
  f.IncludeFileNames = "*.TXT";
  EXPECT_TRUE(f.Accept(File("Readme.txt"), "/d/", false));
  EXPECT_FALSE(f.Accept(File("readme.md"), "/d/", false));
  EXPECT_TRUE(f.Accept(Dir("sub"), "/d/", false));
}

TEST(DirFilterAccept, ExcludeMasksDropFilesOnly) {
  TTDirFilter f;
  f.ExcludeFileNames = "*.TMP|~*";
  EXPECT_FALSE(f.Accept(File("x.tmp"), "/d/", false));
  EXPECT_FALSE(f.Accept(File("~lock"), "/d/", false));
  EXPECT_TRUE(f.Accept(File("x.txt"), "/d/", false));
  EXPECT_TRUE(f.Accept(Dir("old.tmp"), "/d/", false));
}

TEST(DirFilterAccept, IncludeDirTextsTestTheListingPath) {
  TTDirFilter f;
  f.IncludeDirNames = "projects";
  EXPECT_TRUE(f.Accept(File("a"), "/home/Projects/x/", false));
  EXPECT_FALSE(f.Accept(File("a"), "/home/other/", false));
  EXPECT_TRUE(f.Accept(Dir("sub"), "/home/other/", false));
}

TEST(DirFilterAccept, ExcludeDirTextsTestPathPlusName) {
  TTDirFilter f;
  f.ExcludeDirNames = "CACHE|/.git";
  EXPECT_FALSE(f.Accept(Dir("Cache"), "/data/", false));
  EXPECT_FALSE(f.Accept(Dir(".git"), "/data/", false));
  EXPECT_FALSE(f.Accept(Dir("x"), "/data/cache/", false));
  EXPECT_TRUE(f.Accept(Dir("src"), "/data/", false));
  EXPECT_TRUE(f.Accept(File("cache.txt"), "/data/", false));
}

TEST(DirFilterAccept, AllowedAttributesApplyToDirectoriesToo) {
  TTDirFilter f;
  f.AllowedAttributes = kAttrDirectory | kAttrArchive;
  EXPECT_TRUE(f.Accept(File("a"), "/d/", false));
  EXPECT_FALSE(f.Accept(Entry(".a", kAttrHidden | kAttrArchive), "/d/", false));
  EXPECT_FALSE(f.Accept(Entry(".sub", kAttrHidden | kAttrDirectory), "/d/", false));
  EXPECT_TRUE(f.Accept(Dir("sub"), "/d/", false));
  // Bits beyond the six attribute bits take no part.
  EXPECT_TRUE(f.Accept(Entry("b", kAttrArchive | 0x80), "/d/", false));
}

TEST(DirFilterAccept, RequiredAttributesApplyToFilesOnly) {
  TTDirFilter f;
  f.RequiredAttributes = kAttrArchive | kAttrReadOnly;
  EXPECT_TRUE(f.Accept(Entry("a", kAttrArchive | kAttrReadOnly), "/d/", false));
  EXPECT_FALSE(f.Accept(Entry("b", kAttrArchive), "/d/", false));
  EXPECT_TRUE(f.Accept(Dir("sub"), "/d/", false));
}

TEST(DirFilterAccept, DeletedModeSelectsFiles) {
  TTDirFilter f;
  EXPECT_FALSE(f.Accept(File("gone"), "/d/", true));
  f.DeletedFiles = 1;
  EXPECT_TRUE(f.Accept(File("gone"), "/d/", true));
  EXPECT_FALSE(f.Accept(File("here"), "/d/", false));
  EXPECT_TRUE(f.Accept(Dir("sub"), "/d/", false));
  f.DeletedFiles = 2;
  EXPECT_FALSE(f.Accept(File("here"), "/d/", false));
  EXPECT_TRUE(f.Accept(Dir("sub"), "/d/", false));
}

// --- persistence --------------------------------------------------------------

TEST(DirFilterLoad, MissingFileGivesLoadDefaults) {
  test::TempDir dir;
  TTDirFilter f = Unusual();
  f.Load(dir / "none.MVJ", "");
  TTDirFilter expected;
  expected.IncludeDirLevel = 4;  // not the 8 of a new job
  ExpectSameStoredFields(f, expected);
  EXPECT_EQ(f.DeletedFiles, 1);
  EXPECT_EQ(f.DeletedDateLimit, 0x5A210000);
}

TEST(DirFilterLoad, SectionWithoutIncludeDirLevelGivesFour) {
  test::TempDir dir;
  const std::string file = dir.Write("job.MVJ",
                                     "[filter]\r\nincludefilenames=*.TXT\r\n"
                                     "fileattr_allowed=$31\r\nprocessdirlvl__max=0x10\r\n"
                                     "reportingPathlengthEnabled=5\r\nfileagemindays=junk\r\n");
  TTDirFilter f;
  f.Load(file, "");
  EXPECT_EQ(f.IncludeFileNames, "*.TXT");
  EXPECT_EQ(f.AllowedAttributes, 0x31);
  EXPECT_EQ(f.MaxSubdirLevel, 16);
  EXPECT_TRUE(f.ReportPathLengthEnabled);
  EXPECT_EQ(f.FileAgeMinDays, -1);
  EXPECT_EQ(f.IncludeDirLevel, 4);
  EXPECT_EQ(TTDirFilter().IncludeDirLevel, 8);
}

TEST(DirFilterLoad, PrefixedKeysOfADefinition) {
  test::TempDir dir;
  const std::string file = dir.Write("SOURCES.MVS",
                                     "[filter]\r\nincludefilenames=WRONG\r\n"
                                     "[Daily]\r\nactions_count=1\r\nincludefilenames=WRONG\r\n"
                                     "filter_includefilenames=*.DOC\r\nfilter_includedirlevel=6\r\n");
  TTDirFilter f;
  f.Load(file, "Daily");
  EXPECT_EQ(f.IncludeFileNames, "*.DOC");
  EXPECT_EQ(f.IncludeDirLevel, 6);
}

TEST(DirFilterSave, JobFileKeysInOrderWithPlainValues) {
  test::TempDir dir;
  const std::string file = dir / "job.MVJ";
  TTDirFilter f;
  f.ReportPathLengthEnabled = true;
  ASSERT_TRUE(f.Save(file, ""));
  const std::vector<std::string> keys = {
      "includefilenames",   "excludefilenames",    "includedirnames",
      "excludedirnames",    "fileattr_allowed",    "fileattr_required",
      "processdirlvl",      "processdirlvl__max",  "includedirlevel",
      "reportingdirlevelmin", "reportingdirlevel", "reportingPathlength",
      "reportingPathlengthEnabled", "fileagemindays"};
  EXPECT_EQ(ProfileKeys(file, "filter"), keys);
  const std::string text = test::TempDir::Read(file);
  EXPECT_NE(text.find("fileattr_allowed=63\r\n"), std::string::npos);
  EXPECT_NE(text.find("reportingPathlength=-1\r\n"), std::string::npos);
  EXPECT_NE(text.find("reportingPathlengthEnabled=1\r\n"), std::string::npos);
  EXPECT_NE(text.find("includedirlevel=8\r\n"), std::string::npos);
}

TEST(DirFilterSave, JobFileSectionIsRewrittenWhole) {
  test::TempDir dir;
  const std::string file = dir.Write("job.MVJ",
                                     "[job]\r\ndescription=keep\r\n"
                                     "[filter]\r\nobsolete=1\r\nincludefilenames=*.OLD\r\n");
  ASSERT_TRUE(TTDirFilter().Save(file, ""));
  EXPECT_EQ(ProfileReadString(file, "filter", "obsolete", "gone"), "gone");
  EXPECT_EQ(ProfileReadString(file, "filter", "includefilenames", "x"), "");
  EXPECT_EQ(ProfileReadString(file, "job", "description", ""), "keep");
}

TEST(DirFilterSave, DefinitionSectionKeepsItsOtherKeys) {
  test::TempDir dir;
  const std::string file = dir.Write("SOURCES.MVS",
                                     "[Daily]\r\nactions_count=2\r\nfilter_includefilenames=*.OLD\r\n");
  TTDirFilter f;
  f.IncludeFileNames = "*.NEW";
  ASSERT_TRUE(f.Save(file, "Daily"));
  EXPECT_EQ(ProfileReadInt(file, "Daily", "actions_count", 0), 2);
  EXPECT_EQ(ProfileReadString(file, "Daily", "filter_includefilenames", ""), "*.NEW");
  EXPECT_EQ(ProfileReadString(file, "Daily", "includefilenames", "absent"), "absent");
  EXPECT_TRUE(ProfileSections(file) == std::vector<std::string>{"Daily"});
}

TEST(DirFilterSave, UnwritableFileReportsFailure) {
  test::TempDir dir;
  EXPECT_FALSE(TTDirFilter().Save(dir / "missing/dir/job.MVJ", ""));
}

TEST(DirFilterRoundTrip, JobFile) {
  test::TempDir dir;
  const TTDirFilter saved = Unusual();
  ASSERT_TRUE(saved.Save(dir / "job.MVJ", ""));
  TTDirFilter loaded;
  loaded.Load(dir / "job.MVJ", "");
  ExpectSameStoredFields(loaded, saved);
  EXPECT_EQ(loaded.DeletedFiles, 0);  // never stored
  EXPECT_EQ(loaded.DeletedDateLimit, 0);
}

TEST(DirFilterRoundTrip, SourceDefinitionsSideBySide) {
  test::TempDir dir;
  const std::string file = dir / "SOURCES.MVS";
  const TTDirFilter a = Unusual();
  TTDirFilter b("ä*.txt", "", "Über", "", 3);
  ASSERT_TRUE(a.Save(file, "Alpha"));
  ASSERT_TRUE(b.Save(file, "Beta"));
  TTDirFilter la, lb;
  la.Load(file, "Alpha");
  lb.Load(file, "Beta");
  ExpectSameStoredFields(la, a);
  ExpectSameStoredFields(lb, b);
}

TEST(DirFilterRoundTrip, ListsWithEmptyItemsAndExtremeNumbers) {
  test::TempDir dir;
  TTDirFilter f;
  f.IncludeFileNames = "|*.TMP||*.BAK|";
  f.FileAgeMinDays = std::numeric_limits<int32_t>::min();
  f.MaxSubdirLevel = std::numeric_limits<int32_t>::max();
  ASSERT_TRUE(f.Save(dir / "job.MVJ", ""));
  TTDirFilter loaded;
  loaded.Load(dir / "job.MVJ", "");
  ExpectSameStoredFields(loaded, f);
}

TEST(DirFilterRoundTrip, LongListKeepsWholeItems) {
  test::TempDir dir;
  TTDirFilter f;
  std::string exact;
  while (exact.size() + 8 <= kFilterValueMax) exact += "*.DOCX|";
  exact.pop_back();
  f.IncludeFileNames = exact;
  std::string longer;
  for (int i = 0; i < 1000; ++i) longer += "*.DOCX|";
  f.ExcludeFileNames = longer + "*.LAST";
  ASSERT_TRUE(f.Save(dir / "job.MVJ", ""));
  TTDirFilter loaded;
  loaded.Load(dir / "job.MVJ", "");
  EXPECT_EQ(loaded.IncludeFileNames, exact);
  ASSERT_LE(loaded.ExcludeFileNames.size(), kFilterValueMax);
  ASSERT_FALSE(loaded.ExcludeFileNames.empty());
  // No item was cut into a wider mask.
  EXPECT_EQ(loaded.ExcludeFileNames.back(), 'X');
  EXPECT_EQ(longer.compare(0, loaded.ExcludeFileNames.size(), loaded.ExcludeFileNames), 0);
  EXPECT_FALSE(MatchAnyMask(loaded.ExcludeFileNames, "a.doc"));
}

TEST(DirFilterTemplate, ChangesOnlyTheNamedKeys) {
  test::TempDir dir;
  const std::string file = dir.Write("tpl.MVT",
                                     "[filter]\r\nexcludefilenames=*.BAK\r\n"
                                     "processdirlvl=1\r\n");
  TTDirFilter f = Unusual();
  f.LoadTemplate(file);
  TTDirFilter expected = Unusual();
  expected.ExcludeFileNames = "*.BAK";
  expected.ProcessSubdirs = 1;
  ExpectSameStoredFields(f, expected);
  EXPECT_EQ(f.DeletedDateLimit, 0x5A210000);
}

TEST(DirFilterTemplate, MissingTemplateChangesNothing) {
  test::TempDir dir;
  TTDirFilter f = Unusual();
  f.LoadTemplate(dir / "none.MVT");
  ExpectSameStoredFields(f, Unusual());
}

}  // namespace
}  // namespace mv
