#include "jobs/jobtext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "tests/support/tempdir.h"

namespace mv {
namespace {

// A job record with its ID counter in a temporary directory.
class JobTextTest : public ::testing::Test {
 protected:
  JobTextTest() : job_("Daily", nullptr, dir_.path(), dir_.path(), nullptr) { job_.JobID = 42; }

  void Add(int32_t type, uint32_t options, std::string source = "*.*",
           std::string target = "*.*", std::string sourcePath = "/data/src/",
           std::string targetPath = "/data/dst/") {
    job_.AddAction(std::make_unique<TTFileAction>(std::move(sourcePath), std::move(source),
                                                  std::move(targetPath), std::move(target),
                                                  options, type));
  }

  // Subdirectories off, so OptionsText shows only the option flags.
  void NoSubdirs() { job_.Filter->ProcessSubdirs = 0; }

  std::vector<std::pair<std::string, uint32_t>> ReportLines() {
    std::vector<std::pair<std::string, uint32_t>> lines;
    ReportJobParameters(job_, [&](const std::string& t, uint32_t f) { lines.emplace_back(t, f); });
    return lines;
  }

  test::TempDir dir_;
  TTFileThreadControl job_;
};

TEST(GroupedDecimal, GroupsDigitsFromTheRight) {
  EXPECT_EQ(GroupedDecimal(0), "0");
  EXPECT_EQ(GroupedDecimal(999), "999");
  EXPECT_EQ(GroupedDecimal(1000), "1,000");
  EXPECT_EQ(GroupedDecimal(1234567), "1,234,567");
  EXPECT_EQ(GroupedDecimal(100000), "100,000");
  EXPECT_EQ(GroupedDecimal(std::numeric_limits<int32_t>::max()), "2,147,483,647");
  EXPECT_EQ(GroupedDecimal(std::numeric_limits<int64_t>::max()), "9,223,372,036,854,775,807");
}

TEST(GroupedDecimal, SignIsNeverSeparatedFromTheDigits) {
  EXPECT_EQ(GroupedDecimal(-1), "-1");
  EXPECT_EQ(GroupedDecimal(-123), "-123");
  EXPECT_EQ(GroupedDecimal(-1234), "-1,234");
  EXPECT_EQ(GroupedDecimal(-123456), "-123,456");
  EXPECT_EQ(GroupedDecimal(std::numeric_limits<int64_t>::min()), "-9,223,372,036,854,775,808");
}

TEST(AttrText, LettersInFixedOrderDirectoryBitSilent) {
  EXPECT_EQ(AttrText(0x21), "[RA]");
  EXPECT_EQ(AttrText(0x10), "[]");
  EXPECT_EQ(AttrText(0), "[]");
  EXPECT_EQ(AttrText(0x3F), "[RHSVA]");
  EXPECT_EQ(AttrText(0x0C), "[SV]");
  EXPECT_EQ(AttrText(0x02), "[H]");
  EXPECT_EQ(AttrText(-1), "[RHSVA]");
  EXPECT_EQ(AttrText(0x7FFFFFC0), "[]");
}

TEST_F(JobTextTest, ActionTextWithoutActionsIsAnError) {
  EXPECT_EQ(ActionText(job_), "UNKNOWN (ERROR)");
  EXPECT_EQ(OptionsText(job_), "UNKNOWN (ERROR)");
}

TEST_F(JobTextTest, ActionTextCopyDirectionsAndConflicts) {
  EXPECT_EQ(DirectionText(0x103) + ConflictText(0x103),
            "Copy from source: newer files (overwrite older files)");
  EXPECT_EQ(DirectionText(0x201) + ConflictText(0x201),
            "Copy from target: all files (overwrite files)");
  EXPECT_EQ(DirectionText(0x302) + ConflictText(0x302),
            "Copy both: missed files (skip existing file)");
  Add(JOB_COPY, 0x103);
  EXPECT_EQ(ActionText(job_), "Copy from source: newer files (overwrite older files)");
}

TEST_F(JobTextTest, ActionTextInvalidConflictAndDirection) {
  Add(JOB_COPY, 0x004);
  EXPECT_EQ(ActionText(job_), "UNKNOWN (ERROR): UNKNOWN (ERROR)");
  for (uint32_t conflict : {0u, 4u, 5u, 6u, 7u})
    EXPECT_EQ(ConflictText(0x100 | conflict), "UNKNOWN (ERROR)") << conflict;
  EXPECT_EQ(DirectionText(0x003), "UNKNOWN (ERROR): ");
  // Flag bits around the codes do not disturb them.
  EXPECT_EQ(DirectionText(0xFFFFF1FF), "Copy from source: ");
  EXPECT_EQ(ConflictText(0xFFFFFFF9), "all files (overwrite files)");
}

TEST_F(JobTextTest, ActionTextOtherTypes) {
  const std::pair<int32_t, const char*> cases[] = {{JOB_ANALYZE, "ANALYZE"},
                                                   {JOB_NETWARE_PURGE, "NWPURGE"},
                                                   {JOB_DELETE, "DELETE files"},
                                                   {4, "UNKNOWN (ERROR): "},
                                                   {-1, "UNKNOWN (ERROR): "}};
  for (const auto& [type, text] : cases) {
    job_.Actions.clear();
    Add(type, 0x103);
    EXPECT_EQ(ActionText(job_), text) << type;
  }
}

TEST_F(JobTextTest, OptionsTextCopyWithoutSubdirsIsEmpty) {
  Add(JOB_COPY, 0x103);
  NoSubdirs();
  EXPECT_EQ(OptionsText(job_), "");
}

TEST_F(JobTextTest, OptionsTextCopyFlagsInOrder) {
  Add(JOB_COPY, 0x103 | OPT_NO_NEW_DIRS | OPT_NO_NEW_FILES | OPT_EMPTY_DIRS | OPT_MIRROR |
                    OPT_CLEAR_ARCHIVE | OPT_LOG_ONLY_COPY | OPT_LOG_ONLY_DELETE |
                    OPT_COPY_TRUSTEES | OPT_PURGE_AFTER_DELETE | OPT_RESUME_FILE);
  NoSubdirs();
  EXPECT_EQ(OptionsText(job_),
            "Don't create new dirs | Create empty dirs | Don't create new files | Match source | "
            "Clear archive bit | DONT COPY (log) | DONT DELETE (log) ");
}

TEST_F(JobTextTest, OptionsTextMirrorWithAndWithoutSubdirDepth) {
  Add(JOB_COPY, 0x103 | OPT_MIRROR | OPT_CLEAR_ARCHIVE);
  NoSubdirs();
  EXPECT_EQ(OptionsText(job_), "Match source | Clear archive bit ");
  job_.Filter->ProcessSubdirs = 1;
  job_.Filter->MaxSubdirLevel = 255;
  // Nothing is removed after the closing parenthesis.
  EXPECT_EQ(OptionsText(job_), "Match source | Clear archive bit |   (Subdir lvls: 255)");
  job_.Filter->MaxSubdirLevel = 3;
  EXPECT_EQ(OptionsText(job_), "Match source | Clear archive bit |   (Subdir lvls: 3)");
}

TEST_F(JobTextTest, OptionsTextDelete) {
  Add(JOB_DELETE, 0xA0000);
  EXPECT_EQ(OptionsText(job_), "DONT DELETE (log) | purge ");
  job_.Actions.clear();
  Add(JOB_DELETE, OPT_PURGE_AFTER_DELETE | OPT_MIRROR);
  EXPECT_EQ(OptionsText(job_), "purge ");
  job_.Actions.clear();
  Add(JOB_DELETE, 0);
  EXPECT_EQ(OptionsText(job_), "");
}

TEST_F(JobTextTest, OptionsTextAnalyzeLevelsAndPathLength) {
  Add(JOB_ANALYZE, 0x103);
  job_.Filter->ReportDirLevelMin = 1;
  job_.Filter->ReportDirLevel = 3;
  job_.Filter->ReportPathLength = 200;
  job_.Filter->ReportPathLengthEnabled = true;
  EXPECT_EQ(OptionsText(job_), "Subfolder level: 1-3 | PathLen>200 ");
  job_.Filter->ReportPathLengthEnabled = false;
  EXPECT_EQ(OptionsText(job_), "Subfolder level: 1-3 ");
}

TEST_F(JobTextTest, OptionsTextPurgeAndUnknownType) {
  Add(JOB_NETWARE_PURGE, 0xFFFFFFFF);
  EXPECT_EQ(OptionsText(job_), "");
  job_.Actions.clear();
  Add(7, 0x103);
  EXPECT_EQ(OptionsText(job_), "UNKNOWN (ERROR)");
}

TEST_F(JobTextTest, IncludeFilesTextAgeOnlyForAnalyzeAndPurge) {
  job_.Filter->IncludeFileNames = "*.LOG|*.TMP";
  job_.Filter->FileAgeMinDays = 0;
  Add(JOB_ANALYZE, 0);
  EXPECT_EQ(IncludeFilesText(job_), "*.LOG|*.TMP [ older than 0 day(s) ]");
  job_.Filter->FileAgeMinDays = -1;
  EXPECT_EQ(IncludeFilesText(job_), "*.LOG|*.TMP");

  job_.Actions.clear();
  Add(JOB_NETWARE_PURGE, 0);
  job_.Filter->FileAgeMinDays = 30;
  EXPECT_EQ(IncludeFilesText(job_), "*.LOG|*.TMP [ older than 30 day(s) ]");

  for (int32_t type : {JOB_COPY, JOB_DELETE}) {
    job_.Actions.clear();
    Add(type, 0x103);
    EXPECT_EQ(IncludeFilesText(job_), "*.LOG|*.TMP") << type;
  }
}

TEST_F(JobTextTest, SourceAndTargetTextListEveryMask) {
  Add(JOB_COPY, 0x103, "a.txt", "", "/src/", "/dst/");
  Add(JOB_COPY, 0x103, "", "b.txt", "/src/", "/dst/");
  Add(JOB_COPY, 0x103, "c.txt", "c.txt", "/src/", "/dst/");
  EXPECT_EQ(SourceText(job_), "/src/ [ a.txt ] [ c.txt ] ");
  EXPECT_EQ(TargetText(job_), "/dst/ [ b.txt ] [ c.txt ] ");
}

TEST_F(JobTextTest, ReportJobParametersCopyJobLineOrder) {
  Add(JOB_COPY, 0x103 | OPT_MIRROR, "a.txt", "", "/src/", "/dst/");
  Add(JOB_COPY, 0x103 | OPT_MIRROR, "", "b.txt", "/src/", "/dst/");
  job_.MacroSource = "HOME";
  NoSubdirs();
  job_.Filter->IncludeFileNames = "*.TXT";
  job_.Filter->FileAgeMinDays = 5;  // no age suffix for COPY
  job_.Filter->ExcludeFileNames = "*.BAK";
  job_.Filter->IncludeDirNames = "docs|mail";
  job_.Filter->IncludeDirLevel = 8;
  job_.Filter->ExcludeDirNames = "cache";

  const std::vector<std::string> expected = {
      "Action : Copy from source: newer files (overwrite older files)",
      "Source definition: HOME",
      "Source : /src/",
      " -- a.txt",
      "Target : /dst/",
      " -- b.txt",
      "Options: Match source ",
      "Include Files: *.TXT",
      "Exclude Files: *.BAK",
      "Include Dirs : docs|mail",
      "Include Dirs Max Depth: 8",
      "Exclude Dirs  : cache",
  };
  const auto lines = ReportLines();
  std::vector<std::string> texts;
  for (const auto& [text, flags] : lines) {
    texts.push_back(text);
    EXPECT_EQ(flags, 0x40000000u) << text;
  }
  EXPECT_EQ(texts, expected);
}

TEST_F(JobTextTest, ReportJobParametersMinimalAndSourceOnlyJobs) {
  Add(JOB_DELETE, 0xA0000, "*.*", "*.*", "/src/", "/dst/");
  const std::vector<std::pair<std::string, uint32_t>> expected = {
      {"Action : DELETE files", 0x40000000u},
      {"Source : /src/", 0x40000000u},
      {" -- *.*", 0x40000000u},
      {"Options: DONT DELETE (log) | purge ", 0x40000000u},
  };
  EXPECT_EQ(ReportLines(), expected);
}

TEST_F(JobTextTest, ReportJobParametersAnalyzeShowsAgeFromZeroDays) {
  Add(JOB_ANALYZE, 0, "*.*", "", "/src/", "");
  job_.Filter->IncludeFileNames = "*.LOG";
  job_.Filter->FileAgeMinDays = 0;
  const auto lines = ReportLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[4].first, "Include Files: *.LOG [ older than 0 day(s) ]");
}

TEST_F(JobTextTest, ReportJobParametersNothingWithoutActions) {
  EXPECT_TRUE(ReportLines().empty());
  ReportJobParameters(job_, nullptr);  // no sink is no crash
}

TEST_F(JobTextTest, PanelWithoutActionsIsNotFilled) {
  EXPECT_FALSE(ShowJobParameters(job_).has_value());
}

TEST_F(JobTextTest, PanelCopyJob) {
  Add(JOB_COPY, 0x201, "a.txt", "a.txt", "/src/", "/dst/");
  job_.MacroSource = "HOME";
  NoSubdirs();
  job_.Filter->IncludeFileNames = "*.TXT";
  job_.Filter->AllowedAttributes = 0x21;
  job_.Filter->RequiredAttributes = 0x20;
  job_.Filter->ExcludeFileNames = "*.BAK";
  job_.Filter->IncludeDirNames = "docs";
  job_.Filter->IncludeDirLevel = 4;
  job_.Filter->ExcludeDirNames = "cache|tmp";

  job_.Mail->AddRecipient("a@example.org", kRecipientSomethingDone);
  job_.Mail->AddRecipient("b@example.org", 0);
  const auto p = ShowJobParameters(job_);
  ASSERT_TRUE(p.has_value());
  EXPECT_EQ(p->Caption, "Options for Job \"Daily\"  (ID 0000002A)");
  EXPECT_EQ(p->SourceDefinition, "HOME");
  EXPECT_EQ(p->Source, "/src/ [ a.txt ] ");
  EXPECT_EQ(p->Target, "/dst/ [ a.txt ] ");
  EXPECT_EQ(p->Action, "Copy from target: all files (overwrite files)");
  EXPECT_EQ(p->Options, "");
  EXPECT_EQ(p->IncludeFiles, "*.TXT allow:[RA] require:[A]");
  EXPECT_EQ(p->ExcludeFiles, "*.BAK");
  EXPECT_EQ(p->IncludeDirs, "[max depth 4]docs");
  EXPECT_EQ(p->ExcludeDirs, "cache|tmp");
  EXPECT_EQ(p->MailRecipients, "a@example.org | b@example.org | ");
  EXPECT_EQ(p->LastCompleteRun, "--------");
}

TEST_F(JobTextTest, PanelSourceOnlyJobsAndAgeThreshold) {
  Add(JOB_ANALYZE, 0, "*.*", "", "/src/", "/dst/");
  job_.Filter->IncludeFileNames = "*.LOG";
  job_.Filter->FileAgeMinDays = 0;  // the panel shows ages from 1 day on
  auto p = ShowJobParameters(job_);
  ASSERT_TRUE(p.has_value());
  EXPECT_EQ(p->Target, "N/A");
  EXPECT_EQ(p->Action, "ANALYZE");
  EXPECT_EQ(p->IncludeFiles, "*.LOG");
  EXPECT_EQ(p->IncludeDirs, "");
  EXPECT_EQ(p->MailRecipients, "");
  job_.Filter->FileAgeMinDays = 1;
  p = ShowJobParameters(job_);
  EXPECT_EQ(p->IncludeFiles, "*.LOG [ older than 1 day(s) ]");

  for (int32_t type : {JOB_NETWARE_PURGE, JOB_DELETE}) {
    job_.Actions.clear();
    Add(type, 0);
    EXPECT_EQ(ShowJobParameters(job_)->Target, "N/A") << type;
  }
}

TEST(SpeedText, AutomaticUnitExamples) {
  EXPECT_EQ(SpeedText(1000000, kSpeedUnitAuto), "122 MB/s");
  EXPECT_EQ(SpeedText(50, kSpeedUnitAuto), "50 KBit/s");
  EXPECT_EQ(SpeedText(500, kSpeedUnitAuto), "500 KBit/s");
  EXPECT_EQ(SpeedText(0, kSpeedUnitAuto), "0 KBit/s");
}

TEST(SpeedText, AutomaticUnitBoundaries) {
  // Each unit is taken from a shown value of exactly 100 on.
  EXPECT_EQ(SpeedText(819200, kSpeedUnitAuto), "100 MB/s");
  EXPECT_EQ(SpeedText(819199, kSpeedUnitAuto), "800 MBit/s");
  EXPECT_EQ(SpeedText(102400, kSpeedUnitAuto), "100 MBit/s");
  EXPECT_EQ(SpeedText(102399, kSpeedUnitAuto), "750 MB/min");
  EXPECT_EQ(SpeedText(13654, kSpeedUnitAuto), "100 MB/min");
  EXPECT_EQ(SpeedText(13653, kSpeedUnitAuto), "1,707 KB/s");
  EXPECT_EQ(SpeedText(800, kSpeedUnitAuto), "100 KB/s");
  EXPECT_EQ(SpeedText(799.9, kSpeedUnitAuto), "800 KBit/s");
  EXPECT_EQ(AutoSpeedUnit(1e12), kSpeedUnitMBS);
  EXPECT_EQ(AutoSpeedUnit(799), kSpeedUnitKBitS);
}

TEST(SpeedText, FixedUnits) {
  EXPECT_EQ(SpeedText(1000000, kSpeedUnitKBitS), "1,000,000 KBit/s");
  EXPECT_EQ(SpeedText(1000000, kSpeedUnitKBS), "125,000 KB/s");
  EXPECT_EQ(SpeedText(1000000, kSpeedUnitMBitS), "977 MBit/s");
  EXPECT_EQ(SpeedText(1000000, kSpeedUnitMBS), "122 MB/s");
  EXPECT_EQ(SpeedText(1000000, kSpeedUnitMBMin), "7,324 MB/min");
  EXPECT_EQ(SpeedText(10, kSpeedUnitMBS), "0 MB/s");
}

TEST(SpeedText, HalvesRoundToEven) {
  EXPECT_EQ(SpeedText(2.5, kSpeedUnitKBitS), "2 KBit/s");
  EXPECT_EQ(SpeedText(3.5, kSpeedUnitKBitS), "4 KBit/s");
  EXPECT_EQ(SpeedText(20, kSpeedUnitKBS), "2 KB/s");  // 2.5
  EXPECT_EQ(SpeedText(28, kSpeedUnitKBS), "4 KB/s");  // 3.5
}

TEST(SpeedText, UnknownUnitAndUnusableRates) {
  EXPECT_EQ(SpeedText(1000, 6), "<speed unknown>");
  EXPECT_EQ(SpeedText(1000, -1), "<speed unknown>");
  // A run of zero seconds yields inf or NaN: nothing to show but 0.
  EXPECT_EQ(SpeedText(std::nan(""), kSpeedUnitAuto), "0 KBit/s");
  EXPECT_EQ(SpeedText(std::numeric_limits<double>::infinity(), kSpeedUnitMBS), "0 MB/s");
  EXPECT_EQ(SpeedText(-5, kSpeedUnitKBitS), "0 KBit/s");
  EXPECT_EQ(SpeedText(1e30, kSpeedUnitKBitS), "9,223,372,036,854,775,807 KBit/s");
}

TEST_F(JobTextTest, SpeedTextUsesTheJobsUnit) {
  job_.Speed = 1000000;
  job_.SpeedUnit = kSpeedUnitKBS;
  EXPECT_EQ(SpeedText(job_), "125,000 KB/s");
  job_.SpeedUnit = 9;
  EXPECT_EQ(SpeedText(job_), "<speed unknown>");
}

TEST_F(JobTextTest, AverageRateOfLastCompletedWindow) {
  const DateTime t0 = 46000.5;
  job_.PrevRateSample = {1280000, t0, t0 + 10.0 / 86400};  // 1,280,000 bytes in 10 s
  job_.RateSample = {1, 1, 2};  // the open window does not count
  TransferSample out;
  EXPECT_EQ(AverageRate(job_, &out), 1000);
  EXPECT_EQ(out.Bytes, 1280000);
  EXPECT_EQ(out.Start, t0);
  EXPECT_EQ(AverageRateText(job_), "1,000");

  job_.PrevRateSample.Bytes = 1280000LL * 2000;
  EXPECT_EQ(AverageRateText(job_), "2,000,000");
}

TEST_F(JobTextTest, AverageRateWithoutUsableWindow) {
  const DateTime t0 = 46000.5;
  const TransferSample untouched{7, 8, 9};
  const TransferSample bad[] = {
      {0, t0, t0 + 1},                                 // no bytes
      {-5, t0, t0 + 1},                                // negative bytes
      {100, 0, t0},                                    // window never opened
      {100, t0, t0},                                   // no time passed
      {100, t0 + 1, t0},                               // clock went back
      {std::numeric_limits<int64_t>::max(), t0, t0 + 1.0 / 86400},  // beyond 32 bits
  };
  for (const auto& s : bad) {
    job_.PrevRateSample = s;
    TransferSample out = untouched;
    EXPECT_EQ(AverageRate(job_, &out), -1) << s.Bytes;
    EXPECT_EQ(out.Bytes, untouched.Bytes);
    EXPECT_EQ(out.Start, untouched.Start);
    EXPECT_EQ(AverageRateText(job_), "(no data)");
  }
  // Rounds to 0: still no data to show.
  job_.PrevRateSample = {10, t0, t0 + 1};
  EXPECT_EQ(AverageRate(job_, nullptr), 0);
  EXPECT_EQ(AverageRateText(job_), "(no data)");
}

TEST_F(JobTextTest, StatusTextByThreadState) {
  EXPECT_EQ(StatusText(job_, false), "Job thread is not running");
  EXPECT_EQ(StatusText(job_, true), "Job thread is not running");
  int stand_in = 0;  // never dereferenced: only its presence counts
  job_.Thread = reinterpret_cast<TCopyThread*>(&stand_in);
  EXPECT_EQ(StatusText(job_, false), "Job thread is running");
  EXPECT_EQ(StatusText(job_, true), "Job thread is stopped");
  EXPECT_EQ(StatusCode(job_), 4);
  job_.Thread = nullptr;
}

}  // namespace
}  // namespace mv
