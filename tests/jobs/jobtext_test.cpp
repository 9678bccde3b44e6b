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

  void Add(int32_t type, uint32_t options, std::string source = "*.*", std::string target = "*.*",
           std::string sourcePath = "/src/", std::string targetPath = "/dst/") {
    job_.AddAction(std::make_unique<TTFileAction>(std::move(sourcePath), std::move(source),
                                                  std::move(targetPath), std::move(target), options,
                                                  type));
  }
  void Only(int32_t type, uint32_t options) {
    job_.Actions.clear();
    Add(type, options);
  }

  // The report's lines; every one goes to the mail with the same flags.
  std::vector<std::string> ReportLines() {
    std::vector<std::string> lines;
    ReportJobParameters(job_, [&](const std::string& t, uint32_t f) {
      lines.push_back(t);
      EXPECT_EQ(f, 0x40000000u) << t;
    });
    return lines;
  }

  test::TempDir dir_;
  TTFileThreadControl job_;
};

TEST(JobTextFormatters, GroupsDigitsWithoutSplittingTheSignAndNamesAttributes) {
  const std::pair<int64_t, const char*> cases[] = {
      {0, "0"},          {999, "999"},           {1000, "1,000"},         {100000, "100,000"},
      {-123, "-123"},    {-1234, "-1,234"},      {-123456, "-123,456"},   {1234567, "1,234,567"},
      {std::numeric_limits<int64_t>::max(), "9,223,372,036,854,775,807"},
      {std::numeric_limits<int64_t>::min(), "-9,223,372,036,854,775,808"}};
  for (const auto& [n, text] : cases) EXPECT_EQ(GroupedDecimal(n), text);
  // Attribute letters in fixed order, the directory bit without one.
  const std::pair<int32_t, const char*> attrs[] = {
      {0x21, "[RA]"}, {0x10, "[]"},  {0, "[]"},       {0x3F, "[RHSVA]"},
      {0x0C, "[SV]"}, {0x02, "[H]"}, {-1, "[RHSVA]"}, {0x7FFFFFC0, "[]"}};
  for (const auto& [mask, text] : attrs) EXPECT_EQ(AttrText(mask), text) << mask;
}

TEST_F(JobTextTest, ActionText) {
  EXPECT_EQ(ActionText(job_), "UNKNOWN (ERROR)");  // no actions
  EXPECT_EQ(OptionsText(job_), "UNKNOWN (ERROR)");
  const struct {
    int32_t type;
    uint32_t options;
    const char* text;
  } cases[] = {{JOB_COPY, 0x103, "Copy from source: newer files (overwrite older files)"},
               {JOB_COPY, 0x201, "Copy from target: all files (overwrite files)"},
               {JOB_COPY, 0x302, "Copy both: missed files (skip existing file)"},
               {JOB_COPY, 0x004, "UNKNOWN (ERROR): UNKNOWN (ERROR)"},
               {JOB_COPY, 0x107, "Copy from source: UNKNOWN (ERROR)"},
               {JOB_COPY, 0xFFFFF1F9, "Copy from source: all files (overwrite files)"},
               {JOB_ANALYZE, 0x103, "ANALYZE"},  {JOB_NETWARE_PURGE, 0x103, "NWPURGE"},
               {JOB_DELETE, 0x103, "DELETE files"}, {4, 0x103, "UNKNOWN (ERROR): "}};
  for (const auto& c : cases) {
    Only(c.type, c.options);
    EXPECT_EQ(ActionText(job_), c.text) << c.type << " " << std::hex << c.options;
  }
}

TEST_F(JobTextTest, OptionsTextFlagsInOrderAndTrailingBarCut) {
  const uint32_t all = OPT_NO_NEW_DIRS | OPT_NO_NEW_FILES | OPT_EMPTY_DIRS | OPT_MIRROR |
                       OPT_CLEAR_ARCHIVE | OPT_LOG_ONLY_COPY | OPT_LOG_ONLY_DELETE |
                       OPT_COPY_TRUSTEES | OPT_PURGE_AFTER_DELETE | OPT_RESUME_FILE;
  const struct {
    int32_t type;
    uint32_t options;
    int32_t subdirLevel;  // 0: no subdirectories
    const char* text;
  } cases[] = {
      {JOB_COPY, 0x103, 0, ""},
      {JOB_COPY, 0x103 | all, 0,
       "Don't create new dirs | Create empty dirs | Don't create new files | Match source | "
       "Clear archive bit | DONT COPY (log) | DONT DELETE (log) "},
      {JOB_COPY, 0x103 | OPT_MIRROR | OPT_CLEAR_ARCHIVE, 0, "Match source | Clear archive bit "},
      // Nothing is cut after the closing parenthesis.
      {JOB_COPY, 0x103 | OPT_MIRROR | OPT_CLEAR_ARCHIVE, 255,
       "Match source | Clear archive bit |   (Subdir lvls: 255)"},
      {JOB_COPY, 0x103, 3, "  (Subdir lvls: 3)"},
      {JOB_DELETE, 0xA0000, 0, "DONT DELETE (log) | purge "},
      {JOB_DELETE, OPT_PURGE_AFTER_DELETE | OPT_MIRROR, 0, "purge "},
      {JOB_DELETE, 0, 0, ""},
      {JOB_NETWARE_PURGE, 0xFFFFFFFF, 0, ""},
      {7, 0x103, 0, "UNKNOWN (ERROR)"}};
  for (const auto& c : cases) {
    Only(c.type, c.options);
    job_.Filter->ProcessSubdirs = c.subdirLevel > 0;
    job_.Filter->MaxSubdirLevel = c.subdirLevel;
    EXPECT_EQ(OptionsText(job_), c.text) << c.type << " " << std::hex << c.options;
  }

  Only(JOB_ANALYZE, 0x103);
  job_.Filter->ReportDirLevelMin = 1;
  job_.Filter->ReportDirLevel = 3;
  job_.Filter->ReportPathLength = 200;
  job_.Filter->ReportPathLengthEnabled = true;
  EXPECT_EQ(OptionsText(job_), "Subfolder level: 1-3 | PathLen>200 ");
  job_.Filter->ReportPathLengthEnabled = false;
  EXPECT_EQ(OptionsText(job_), "Subfolder level: 1-3 ");
}

TEST_F(JobTextTest, IncludeFilesTextAgeOnlyForAnalyzeAndPurgeFromZeroDays) {
  job_.Filter->IncludeFileNames = "*.LOG";
  const struct {
    int32_t type, age;
    const char* text;
  } cases[] = {{JOB_ANALYZE, 0, "*.LOG [ older than 0 day(s) ]"}, {JOB_ANALYZE, -1, "*.LOG"},
               {JOB_NETWARE_PURGE, 30, "*.LOG [ older than 30 day(s) ]"}, {JOB_COPY, 30, "*.LOG"},
               {JOB_DELETE, 30, "*.LOG"}};
  for (const auto& c : cases) {
    Only(c.type, 0x103);
    job_.Filter->FileAgeMinDays = c.age;
    EXPECT_EQ(IncludeFilesText(job_), c.text) << c.type << " " << c.age;
  }
}

TEST_F(JobTextTest, CopyJobReportLinesAndPanel) {
  Add(JOB_COPY, 0x103 | OPT_MIRROR, "a.txt", "");
  Add(JOB_COPY, 0x103 | OPT_MIRROR, "", "b.txt");
  Add(JOB_COPY, 0x103 | OPT_MIRROR, "c.txt", "c.txt");
  job_.MacroSource = "HOME";
  TTDirFilter& f = *job_.Filter;
  f.ProcessSubdirs = 0;
  f.IncludeFileNames = "*.TXT";
  f.FileAgeMinDays = 5;  // no age suffix for COPY
  f.ExcludeFileNames = "*.BAK";
  f.IncludeDirNames = "docs|mail";
  f.IncludeDirLevel = 8;
  f.ExcludeDirNames = "cache";

  const std::vector<std::string> expected = {
      "Action : Copy from source: newer files (overwrite older files)",
      "Source definition: HOME", "Source : /src/", " -- a.txt", " -- c.txt", "Target : /dst/",
      " -- b.txt", " -- c.txt", "Options: Match source ", "Include Files: *.TXT",
      "Exclude Files: *.BAK", "Include Dirs : docs|mail", "Include Dirs Max Depth: 8",
      "Exclude Dirs  : cache"};
  EXPECT_EQ(ReportLines(), expected);

  f.AllowedAttributes = 0x21;
  f.RequiredAttributes = 0x20;
  job_.Mail->AddRecipient("a@example.org", kRecipientSomethingDone);
  job_.Mail->AddRecipient("b@example.org", 0);
  const auto p = ShowJobParameters(job_);
  ASSERT_TRUE(p.has_value());
  EXPECT_EQ(p->Caption, "Options for Job \"Daily\"  (ID 0000002A)");
  EXPECT_EQ(p->SourceDefinition, "HOME");
  EXPECT_EQ(p->Source, "/src/ [ a.txt ] [ c.txt ] ");
  EXPECT_EQ(p->Target, "/dst/ [ b.txt ] [ c.txt ] ");
  EXPECT_EQ(p->Action, "Copy from source: newer files (overwrite older files)");
  EXPECT_EQ(p->Options, "Match source ");
  EXPECT_EQ(p->IncludeFiles, "*.TXT allow:[RA] require:[A]");
  EXPECT_EQ(p->ExcludeFiles, "*.BAK");
  EXPECT_EQ(p->IncludeDirs, "[max depth 8]docs|mail");
  EXPECT_EQ(p->ExcludeDirs, "cache");
  EXPECT_EQ(p->MailRecipients, "a@example.org | b@example.org | ");
  EXPECT_EQ(p->LastCompleteRun, "--------");
}

TEST_F(JobTextTest, SourceOnlyJobsReportAndPanel) {
  EXPECT_TRUE(ReportLines().empty());  // no actions
  EXPECT_FALSE(ShowJobParameters(job_).has_value());
  ReportJobParameters(job_, nullptr);  // no sink is no crash

  Add(JOB_DELETE, 0xA0000);
  EXPECT_EQ(ReportLines(), (std::vector<std::string>{"Action : DELETE files", "Source : /src/",
                                                      " -- *.*",
                                                      "Options: DONT DELETE (log) | purge "}));

  Only(JOB_ANALYZE, 0);
  job_.Filter->IncludeFileNames = "*.LOG";
  job_.Filter->FileAgeMinDays = 0;
  const auto lines = ReportLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[4], "Include Files: *.LOG [ older than 0 day(s) ]");

  // The panel shows the age from 1 day on.
  auto p = ShowJobParameters(job_);
  ASSERT_TRUE(p.has_value());
  EXPECT_EQ(p->Target, "N/A");
  EXPECT_EQ(p->IncludeFiles, "*.LOG");
  EXPECT_EQ(p->IncludeDirs, "");
  EXPECT_EQ(p->MailRecipients, "");
  job_.Filter->FileAgeMinDays = 1;
  EXPECT_EQ(ShowJobParameters(job_)->IncludeFiles, "*.LOG [ older than 1 day(s) ]");
  for (int32_t type : {JOB_NETWARE_PURGE, JOB_DELETE}) {
    Only(type, 0);
    EXPECT_EQ(ShowJobParameters(job_)->Target, "N/A") << type;
  }
}

// Each automatic unit is taken from a shown value of exactly 100 on; halves round to even; a
// run of zero seconds yields inf or NaN, which shows as 0.
TEST(SpeedText, UnitsBoundariesRoundingAndUnusableRates) {
  const struct {
    double kbit;
    int32_t unit;
    const char* text;
  } cases[] = {
      {1000000, kSpeedUnitAuto, "122 MB/s"},       {50, kSpeedUnitAuto, "50 KBit/s"},
      {819200, kSpeedUnitAuto, "100 MB/s"},        {819199, kSpeedUnitAuto, "800 MBit/s"},
      {102400, kSpeedUnitAuto, "100 MBit/s"},      {102399, kSpeedUnitAuto, "750 MB/min"},
      {13654, kSpeedUnitAuto, "100 MB/min"},       {13653, kSpeedUnitAuto, "1,707 KB/s"},
      {800, kSpeedUnitAuto, "100 KB/s"},           {799.9, kSpeedUnitAuto, "800 KBit/s"},
      {1000000, kSpeedUnitKBitS, "1,000,000 KBit/s"}, {1000000, kSpeedUnitKBS, "125,000 KB/s"},
      {1000000, kSpeedUnitMBitS, "977 MBit/s"},    {1000000, kSpeedUnitMBMin, "7,324 MB/min"},
      {10, kSpeedUnitMBS, "0 MB/s"},               {2.5, kSpeedUnitKBitS, "2 KBit/s"},
      {3.5, kSpeedUnitKBitS, "4 KBit/s"},          {20, kSpeedUnitKBS, "2 KB/s"},
      {1000, 6, "<speed unknown>"},                {1000, -1, "<speed unknown>"},
      {std::nan(""), kSpeedUnitAuto, "0 KBit/s"},  {-5, kSpeedUnitKBitS, "0 KBit/s"},
      {std::numeric_limits<double>::infinity(), kSpeedUnitMBS, "0 MB/s"},
      {1e30, kSpeedUnitKBitS, "9,223,372,036,854,775,807 KBit/s"}};
  for (const auto& c : cases) EXPECT_EQ(SpeedText(c.kbit, c.unit), c.text) << c.kbit;
  EXPECT_EQ(AutoSpeedUnit(1e12), kSpeedUnitMBS);
  EXPECT_EQ(AutoSpeedUnit(799), kSpeedUnitKBitS);
}

TEST_F(JobTextTest, SpeedAndStatusOfTheJob) {
  job_.Speed = 1000000;
  job_.SpeedUnit = kSpeedUnitKBS;
  EXPECT_EQ(SpeedText(job_), "125,000 KB/s");
  job_.SpeedUnit = 9;
  EXPECT_EQ(SpeedText(job_), "<speed unknown>");

  EXPECT_EQ(StatusText(job_, false), "Job thread is not running");
  EXPECT_EQ(StatusText(job_, true), "Job thread is not running");
  int stand_in = 0;  // never dereferenced: only its presence counts
  job_.Thread = reinterpret_cast<TCopyThread*>(&stand_in);
  EXPECT_EQ(StatusText(job_, false), "Job thread is running");
  EXPECT_EQ(StatusText(job_, true), "Job thread is stopped");
  job_.Thread = nullptr;
}

TEST_F(JobTextTest, AverageRateOfLastCompletedWindow) {
  const DateTime t0 = 46000.5;
  job_.PrevRateSample = {1280000, t0, t0 + 10.0 / 86400};  // 1,280,000 bytes in 10 s
  job_.RateSample = {1, 1, 2};                             // the open window does not count
  TransferSample out;
  EXPECT_EQ(AverageRate(job_, &out), 1000);
  EXPECT_EQ(out.Bytes, 1280000);
  EXPECT_EQ(out.Start, t0);
  EXPECT_EQ(AverageRateText(job_), "1,000");
  job_.PrevRateSample.Bytes = 1280000LL * 2000;
  EXPECT_EQ(AverageRateText(job_), "2,000,000");

  // No bytes, negative bytes, window never opened, no time passed, clock went back, rate
  // beyond 32 bits.
  const TransferSample bad[] = {
      {0, t0, t0 + 1},   {-5, t0, t0 + 1},
      {100, 0, t0},      {100, t0, t0},
      {100, t0 + 1, t0}, {std::numeric_limits<int64_t>::max(), t0, t0 + 1.0 / 86400}};
  for (const auto& s : bad) {
    job_.PrevRateSample = s;
    TransferSample untouched{7, 8, 9};
    EXPECT_EQ(AverageRate(job_, &untouched), -1) << s.Bytes;
    EXPECT_EQ(untouched.Bytes, 7);
    EXPECT_EQ(untouched.Start, 8);
    EXPECT_EQ(AverageRateText(job_), "(no data)");
  }
  job_.PrevRateSample = {10, t0, t0 + 1};  // rounds to 0: still no data to show
  EXPECT_EQ(AverageRate(job_, nullptr), 0);
  EXPECT_EQ(AverageRateText(job_), "(no data)");
}

}  // namespace
}  // namespace mv
