// What "<type> JOB Options" shows, allows and stores, without widgets.

#include "dialogs/joboptstate.h"

#include <gtest/gtest.h>

#include <tuple>

namespace mv {
namespace {

using std::tuple;

// The directory view's job values as the editor holds them.
struct View {
  int32_t type = JOB_COPY, conflict = 0;
  uint32_t direction = OPT_DIR_TO_TARGET, flags = 0;
  TTDirFilter filter{"", "", "", "", 16384};
  TMVMail mail{nullptr};
  bool connected = false;
  uint32_t enabled = 0xFFFFFFFF;
  JobOptionsView Of() {
    return {&type, &conflict, &direction, &flags, &filter, &mail, connected, enabled};
  }
};

TEST(JobOptions, OpeningShowsTheViewAndOkStoresTheControls) {
  View v{.type = JOB_ANALYZE, .conflict = 1, .direction = OPT_DIR_BOTH,
         .flags = OPT_NO_NEW_FILES | OPT_RESUME_FILE};
  v.filter.ReportDirLevel = 7;
  v.filter.ProcessSubdirs = 0;
  v.filter.AllowedAttributes = 0x21;
  v.mail.AddRecipient("ops@example.org", kRecipientAllFailed | 0x8);
  JobOptionsState s(v.Of());
  EXPECT_EQ(tuple(s.JobType, s.Conflict, s.Direction, s.Flag(OPT_NO_NEW_FILES), s.ReportMaxLevel,
                  s.ProcessSubdirs, s.IncludeDirLevel),
            tuple(1, 1, 2, true, 7, false, 16384));

  s.JobType = JOB_DELETE;
  s.Conflict = 2;
  s.Direction = 0;
  s.SetFlag(OPT_MIRROR, true);
  s.SetFlag(OPT_NO_NEW_FILES, false);
  s.ProcessSubdirs = true;
  s.MaxSubdirLevel = 3;
  s.AttributesRequired = 0x20;
  s.FileAgeMinDays = 30;
  s.Apply();
  EXPECT_EQ(tuple(v.type, v.conflict, v.direction, v.flags),
            tuple(JOB_DELETE, 2, OPT_DIR_TO_TARGET, OPT_MIRROR | OPT_RESUME_FILE));
  const TTDirFilter& f = v.filter;
  EXPECT_EQ(tuple(f.ProcessSubdirs, f.MaxSubdirLevel, f.RequiredAttributes, f.AllowedAttributes,
                  f.FileAgeMinDays),
            tuple(1, 3, 0x20, 0x21, 30));
  EXPECT_EQ(v.mail.Message.ToAddress[0].Flags, kRecipientAllFailed | 0x8) << "other bits stay";
}

TEST(JobOptions, MirrorOnlyWithSourceToTarget) {
  View v{.flags = OPT_MIRROR};
  JobOptionsState s(v.Of());
  JobOptionsControls c = s.Recompute();
  EXPECT_TRUE(c.Mirror);
  EXPECT_FALSE(c.DirectionGroup) << "MIRROR with ==> locks the direction";
  s.SetFlag(OPT_MIRROR, false);
  EXPECT_TRUE(s.Recompute().DirectionGroup);
  s.SetFlag(OPT_MIRROR, true);
  s.Direction = 1;  // "<=="
  c = s.Recompute();
  EXPECT_FALSE(c.Mirror);
  EXPECT_FALSE(s.Flag(OPT_MIRROR)) << "disabled MIRROR is unchecked";
  EXPECT_TRUE(c.DirectionGroup);
  s.Apply();
  EXPECT_EQ(tuple(v.flags, v.direction), tuple(0u, OPT_DIR_TO_SOURCE));
}

TEST(JobOptions, PagesFollowJobTypeAndConnection) {
  struct Case {
    int32_t type;
    bool connected, copy, analyze, filters;
  } cases[] = {{JOB_COPY, false, true, false, true},
               {JOB_ANALYZE, false, false, true, true},
               {JOB_DELETE, true, false, false, false},
               {JOB_COPY, true, true, false, false}};
  for (const Case& k : cases) {
    View v{.type = k.type, .connected = k.connected};
    const auto p = JobOptionsState(v.Of()).Recompute().PageVisible;
    // General and Mail always.
    EXPECT_EQ(p, (std::array<bool, 6>{true, k.copy, k.analyze, k.filters, k.filters, true}))
        << k.type;
  }
}

TEST(JobOptions, ResumeBoxesFollowTheProgramOptionsButKeepTheirState) {
  View v{.flags = OPT_RESUME_FOLDER | OPT_RESUME_FILE, .enabled = 0xFFCFFFFF};
  JobOptionsState s(v.Of());
  const JobOptionsControls c = s.Recompute();
  EXPECT_EQ(tuple(c.ResumeFolder, c.ResumeFile), tuple(false, false));
  s.Apply();
  EXPECT_EQ(v.flags, OPT_RESUME_FOLDER | OPT_RESUME_FILE);
  v.enabled = 0xFFDFFFFF;
  EXPECT_TRUE(JobOptionsState(v.Of()).Recompute().ResumeFolder);
}

TEST(JobOptions, NameListEditsGoToTheViewFilterAtOnce) {
  View v;
  v.filter.ExcludeDirNames = "|TEMP||CACHE";
  JobOptionsState s(v.Of());
  s.PressNameList(NameList::None);
  s.NameEntry = "*.tmp";
  s.AddName();
  EXPECT_EQ(v.filter.IncludeFileNames, "") << "no button pressed: nothing is written";
  s.PressNameList(NameList::FilesInclude);
  s.NameEntry = "*.tmp";
  s.AddName();
  s.NameEntry = "*.bak";
  s.AddName();
  EXPECT_EQ(v.filter.IncludeFileNames, "*.tmp|*.bak");

  s.PressNameList(NameList::DirsExclude);
  EXPECT_EQ(s.Names, (std::vector<std::string>{"", "TEMP", "", "CACHE"})) << "empty pieces kept";
  s.SelectedName = 1;
  EXPECT_TRUE(s.Recompute().NameRemove);
  s.RemoveName();
  EXPECT_EQ(tuple(s.NameEntry, v.filter.ExcludeDirNames), tuple("TEMP", "||CACHE"));

  EXPECT_FALSE(s.Recompute().IncludeDirLevel);
  s.PressNameList(NameList::DirsInclude);
  s.NameEntry = "data";
  s.AddName();
  EXPECT_TRUE(s.Recompute().IncludeDirLevel) << "include dirs listed: their depth matters";
  s.ClearAllFilters();
  EXPECT_EQ(v.filter.IncludeDirNames + v.filter.ExcludeDirNames, "");
}

TEST(JobOptions, NumberFieldsStayInTheirRanges) {
  View v;
  JobOptionsState s(v.Of());
  s.ReportMaxLevel = 0;
  s.ReportMinLevel = 9999;
  s.FileAgeMinDays = 4000;
  s.AttributesAllowed = 0x7FF;
  s.Apply();
  const TTDirFilter& f = v.filter;
  EXPECT_EQ(tuple(f.ReportDirLevel, f.ReportDirLevelMin, f.FileAgeMinDays, f.AllowedAttributes),
            tuple(1, 255, 3650, 0x3F));
  s.ProcessSubdirs = false;
  EXPECT_FALSE(s.Recompute().MaxSubdirLevel);
}

TEST(JobOptions, RecipientsAreCheckedWhenAdded) {
  const struct {
    const char* address;
    bool ok;
  } cases[] = {{"ops@example.org", true}, {"Ops Team <team@example.org>", true},
               {"a@b\r\nRCPT TO:<x@y>", false}, {"a<b@example.org", false},
               {"<a@b> <c@d>", false}, {"Nobody <>", false}};
  for (const auto& c : cases) {
    View v;
    JobOptionsState s(v.Of());
    s.RecipientEntry = c.address;
    const std::string problem = s.AddRecipient();
    EXPECT_EQ(problem.empty(), c.ok) << c.address << ": " << problem;
    EXPECT_EQ(s.Recipients.size(), c.ok ? 1u : 0u) << c.address;
    EXPECT_EQ(s.RecipientEntry.empty(), c.ok) << "a refused address stays for correcting";
  }
  View v;
  JobOptionsState s(v.Of());
  s.RecipientEntry = "Ops@Example.org";
  EXPECT_EQ(s.AddRecipient(), "");
  s.RecipientEntry = "ops@example.org";
  EXPECT_NE(s.AddRecipient(), "") << "listed already, ignoring case";
  EXPECT_EQ(s.Recipients.size(), 1u);
}

}  // namespace
}  // namespace mv
