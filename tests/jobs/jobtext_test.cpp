#include "jobs/jobtext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/tempdir.h"

namespace mv {
namespace {

using Texts = std::vector<std::string>;

class JobTextTest : public ::testing::Test {
 protected:
  JobTextTest() : job_("Daily", nullptr, dir_.path(), dir_.path(), nullptr) { job_.JobID = 42; }

  void Add(int32_t type, uint32_t options, std::string source = "*.*", std::string target = "*.*") {
    job_.AddAction(std::make_unique<TTFileAction>("/src/", std::move(source), "/dst/",
                                                  std::move(target), options, type));
  }
  void Only(int32_t type, uint32_t options) {
    job_.Actions.clear();
    Add(type, options);
  }
  // The report's lines; every one goes to the mail with the same flags.
  Texts ReportLines() {
    Texts lines;
    ReportJobParameters(job_, [&](const std::string& t, uint32_t f) {
      lines.push_back(t);
      EXPECT_EQ(f, 0x40000000u) << t;
    });
    return lines;
  }

  test::TempDir dir_;
  TTFileThreadControl job_;
};

TEST(JobTextFormatters, GroupsDigitsWithoutSplittingTheSign) {
  const std::pair<int64_t, const char*> cases[] = {
      {999, "999"}, {-123456, "-123,456"}, {std::numeric_limits<int64_t>::min(), "-9,223,372,036,854,775,808"}};
  for (const auto& [n, text] : cases) EXPECT_EQ(GroupedDecimal(n), text);
}

TEST_F(JobTextTest, ActionText) {
  EXPECT_EQ(ActionText(job_), "UNKNOWN (ERROR)");  // no actions
  EXPECT_EQ(OptionsText(job_), "UNKNOWN (ERROR)");
  const struct { int32_t type; uint32_t options; const char* text; } cases[] = {
      {JOB_COPY, 0x004, "UNKNOWN (ERROR): UNKNOWN (ERROR)"},
      {JOB_COPY, 0xFFFFF1F9, "Copy from source: all files (overwrite files)"},
      {JOB_NETWARE_PURGE, 0, "NWPURGE"}, {4, 0, "UNKNOWN (ERROR): "}};
  for (const auto& c : cases) {
    Only(c.type, c.options);
    EXPECT_EQ(ActionText(job_), c.text) << c.type << " " << std::hex << c.options;
  }
}

TEST_F(JobTextTest, OptionsTextFlagsInOrderAndTrailingBarCut) {
  const uint32_t mirrorClear = 0x103 | OPT_MIRROR | OPT_CLEAR_ARCHIVE;
  // depth 0: no subdirectories.
  const struct { int32_t type; uint32_t options; int32_t depth; const char* text; } cases[] = {
      {JOB_COPY, 0xFFFFFFFB, 0,
       "Don't create new dirs | Create empty dirs | Don't create new files | Match source | "
       "Clear archive bit | DONT COPY (log) | DONT DELETE (log) "},
      // Nothing is cut after the closing parenthesis.
      {JOB_COPY, mirrorClear, 255, "Match source | Clear archive bit |   (Subdir lvls: 255)"},
      {JOB_DELETE, 0xA0000, 0, "DONT DELETE (log) | purge "}};
  for (const auto& c : cases) {
    Only(c.type, c.options);
    job_.Filter->ProcessSubdirs = c.depth > 0;
    job_.Filter->MaxSubdirLevel = c.depth;
    EXPECT_EQ(OptionsText(job_), c.text) << c.type << " " << std::hex << c.options;
  }
}

TEST_F(JobTextTest, CopyJobReportLinesAndPanel) {
  Add(JOB_COPY, 0x103 | OPT_MIRROR, "a.txt", "");
  Add(JOB_COPY, 0x103 | OPT_MIRROR, "", "b.txt");
  Add(JOB_COPY, 0x103 | OPT_MIRROR, "c.txt", "c.txt");
  job_.MacroSource = "HOME";
  TTDirFilter& f = *job_.Filter;
  f.ProcessSubdirs = 0, f.AllowedAttributes = 0x21, f.RequiredAttributes = 0x20;
  f.IncludeFileNames = "*.TXT", f.ExcludeFileNames = "*.BAK";
  f.FileAgeMinDays = 5;  // no age suffix for COPY
  f.IncludeDirNames = "docs|mail", f.IncludeDirLevel = 8, f.ExcludeDirNames = "cache";
  EXPECT_EQ(ReportLines(),
            (Texts{"Action : Copy from source: newer files (overwrite older files)",
                   "Source definition: HOME", "Source : /src/", " -- a.txt", " -- c.txt",
                   "Target : /dst/", " -- b.txt", " -- c.txt", "Options: Match source ",
                   "Include Files: *.TXT", "Exclude Files: *.BAK", "Include Dirs : docs|mail",
                   "Include Dirs Max Depth: 8", "Exclude Dirs  : cache"}));
  job_.Mail->AddRecipient("a@example.org", kRecipientSomethingDone);
  job_.Mail->AddRecipient("b@example.org", 0);
  const auto p = ShowJobParameters(job_);
  ASSERT_TRUE(p.has_value());
  EXPECT_EQ(std::tie(p->Caption, p->Source, p->Target, p->IncludeFiles, p->IncludeDirs, p->MailRecipients),
            std::make_tuple("Options for Job \"Daily\"  (ID 0000002A)", "/src/ [ a.txt ] [ c.txt ] ",
                            "/dst/ [ b.txt ] [ c.txt ] ", "*.TXT allow:[RA] require:[A]", "[max depth 8]docs|mail",
                            "a@example.org | b@example.org | "));
}

TEST_F(JobTextTest, SourceOnlyJobsReportAndPanel) {
  EXPECT_TRUE(ReportLines().empty());  // no actions
  EXPECT_FALSE(ShowJobParameters(job_).has_value());
  ReportJobParameters(job_, nullptr);  // no sink is no crash
  Add(JOB_ANALYZE, 0);
  TTDirFilter& f = *job_.Filter;
  f.IncludeFileNames = "*.LOG", f.FileAgeMinDays = 0;
  f.ReportDirLevelMin = 1, f.ReportDirLevel = 3, f.ReportPathLength = 200;
  f.ReportPathLengthEnabled = true;
  EXPECT_EQ(ReportLines(), (Texts{"Action : ANALYZE", "Source : /src/", " -- *.*",
                                  "Options: Subfolder level: 1-3 | PathLen>200 ",
                                  "Include Files: *.LOG [ older than 0 day(s) ]"}));
  // The panel shows the age from 1 day on, the report from 0; -1 is off.
  EXPECT_EQ(ShowJobParameters(job_)->IncludeFiles, "*.LOG");
  f.FileAgeMinDays = -1;
  EXPECT_EQ(IncludeFilesText(job_), "*.LOG");
  f.FileAgeMinDays = 1;
  for (int32_t type : {JOB_ANALYZE, JOB_NETWARE_PURGE, JOB_DELETE}) {
    Only(type, 0);
    const auto p = ShowJobParameters(job_);
    EXPECT_EQ(std::tie(p->Target, p->IncludeFiles),
              std::make_tuple("N/A", type == JOB_DELETE ? "*.LOG" : "*.LOG [ older than 1 day(s) ]")) << type;
  }
}

// Each automatic unit is taken from a shown (rounded) value of 100 on; halves round to even; a
// run of zero seconds yields inf or NaN, which shows as 0.
TEST(SpeedText, UnitsBoundariesRoundingAndUnusableRates) {
  const struct { double kbit; int32_t unit; const char* text; } cases[] = {
      {815104, kSpeedUnitAuto, "100 MB/s"},        {815103, kSpeedUnitAuto, "796 MBit/s"},
      {13653, kSpeedUnitAuto, "100 MB/min"},       {13584, kSpeedUnitAuto, "1,698 KB/s"},
      {2.5, kSpeedUnitKBitS, "2 KBit/s"},          {std::nan(""), kSpeedUnitAuto, "0 KBit/s"},
      {std::numeric_limits<double>::infinity(), kSpeedUnitMBS, "0 MB/s"},
      {1e30, kSpeedUnitKBitS, "9,223,372,036,854,775,807 KBit/s"}};
  for (const auto& c : cases) EXPECT_EQ(SpeedText(c.kbit, c.unit), c.text) << c.kbit;
}

TEST_F(JobTextTest, AverageRateOfLastCompletedWindow) {
  const DateTime t0 = 46000.5;
  job_.PrevRateSample = {1280000, t0, t0 + 10.0 / 86400};  // 1,280,000 bytes in 10 s
  job_.RateSample = {1, 1, 2};                             // the open window does not count
  TransferSample out;
  EXPECT_EQ(AverageRate(job_, &out), 1000);
  EXPECT_EQ(out.Bytes, 1280000);
  EXPECT_EQ(AverageRateText(job_), "1,000");
  // Negative bytes, window never opened, clock back, rate beyond 32 bits.
  const TransferSample bad[] = {{-5, t0, t0 + 1}, {100, 0, t0}, {100, t0 + 1, t0},
                                {std::numeric_limits<int64_t>::max(), t0, t0 + 1.0 / 86400}};
  for (const auto& s : bad) {
    job_.PrevRateSample = s;
    TransferSample untouched{7, 8, 9};
    const int32_t rate = AverageRate(job_, &untouched);
    EXPECT_EQ(std::make_tuple(rate, untouched.Bytes, AverageRateText(job_)),
              std::make_tuple(-1, int64_t(7), std::string("(no data)"))) << s.Bytes;
  }
}

}  // namespace
}  // namespace mv
