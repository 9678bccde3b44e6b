// What "<type> JOB Options" shows, allows and stores, without widgets.

#include "dialogs/joboptstate.h"

#include <gtest/gtest.h>

namespace mv {
namespace {

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
  View v;
  v.type = JOB_ANALYZE;
  v.conflict = 1;
  v.direction = OPT_DIR_BOTH;
  v.flags = OPT_NO_NEW_FILES | OPT_RESUME_FILE;
  v.filter.ReportDirLevel = 7;
  v.filter.ProcessSubdirs = 0;
  v.filter.AllowedAttributes = 0x21;
  v.mail.AddRecipient("ops@example.org", kRecipientAllFailed | 0x8);
  JobOptionsState s(v.Of());
  EXPECT_EQ(s.JobType, 1);
  EXPECT_EQ(s.Conflict, 1);
  EXPECT_EQ(s.Direction, 2);
  EXPECT_TRUE(s.Flag(OPT_NO_NEW_FILES));
  EXPECT_EQ(s.ReportMaxLevel, 7);
  EXPECT_FALSE(s.ProcessSubdirs);
  EXPECT_EQ(s.IncludeDirLevel, 16384);
  ASSERT_EQ(s.Recipients.size(), 1u);
  EXPECT_EQ(s.Recipients[0].Flags, kRecipientAllFailed | 0x8);
  EXPECT_EQ(s.Recompute().Caption, "ANALYZE JOB Options");

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
  EXPECT_EQ(v.type, JOB_DELETE);
  EXPECT_EQ(v.conflict, 2);
  EXPECT_EQ(v.direction, OPT_DIR_TO_TARGET);
  EXPECT_EQ(v.flags, OPT_MIRROR | OPT_RESUME_FILE);
  EXPECT_EQ(v.filter.ProcessSubdirs, 1);
  EXPECT_EQ(v.filter.MaxSubdirLevel, 3);
  EXPECT_EQ(v.filter.RequiredAttributes, 0x20);
  EXPECT_EQ(v.filter.AllowedAttributes, 0x21);
  EXPECT_EQ(v.filter.FileAgeMinDays, 30);
  EXPECT_EQ(v.mail.Message.ToAddress[0].Flags, kRecipientAllFailed | 0x8) << "other bits stay";
}

TEST(JobOptions, InvalidStoredValuesShowTheFirstChoice) {
  View v;
  v.type = -1;
  v.direction = 0;
  JobOptionsState s(v.Of());
  EXPECT_EQ(s.JobType, 0);
  EXPECT_EQ(s.Direction, 0);
}

TEST(JobOptions, MirrorOnlyWithSourceToTarget) {
  View v;
  v.flags = OPT_MIRROR;
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
  EXPECT_EQ(v.flags, 0u);
  EXPECT_EQ(v.direction, OPT_DIR_TO_SOURCE);
}

TEST(JobOptions, PagesFollowJobTypeAndConnection) {
  struct Case {
    int32_t type;
    bool connected, copy, analyze, filters;
  } cases[] = {{JOB_COPY, false, true, false, true},
               {JOB_ANALYZE, false, false, true, true},
               {JOB_NETWARE_PURGE, false, false, false, true},
               {JOB_DELETE, true, false, false, false},
               {JOB_COPY, true, true, false, false}};
  for (const Case& k : cases) {
    View v;
    v.type = k.type;
    v.connected = k.connected;
    const auto pages = JobOptionsState(v.Of()).Recompute().PageVisible;
    EXPECT_TRUE(pages[0] && pages[5]) << "General and Mail always";
    EXPECT_EQ(pages[1], k.copy) << k.type;
    EXPECT_EQ(pages[2], k.analyze) << k.type;
    EXPECT_EQ(pages[3], k.filters) << k.type;
    EXPECT_EQ(pages[4], k.filters) << k.type;
  }
  EXPECT_EQ(JobOptionsState::HelpContextOf(JobOptionsPage::Copy), 42);
  EXPECT_EQ(JobOptionsState::HelpContextOf(JobOptionsPage::Mail), 40);
}

TEST(JobOptions, ResumeBoxesFollowTheProgramOptionsButKeepTheirState) {
  View v;
  v.flags = OPT_RESUME_FOLDER | OPT_RESUME_FILE;
  v.enabled = 0xFFCFFFFF;
  JobOptionsState s(v.Of());
  const JobOptionsControls c = s.Recompute();
  EXPECT_FALSE(c.ResumeFolder);
  EXPECT_FALSE(c.ResumeFile);
  s.Apply();
  EXPECT_EQ(v.flags, OPT_RESUME_FOLDER | OPT_RESUME_FILE);
  v.enabled = 0xFFDFFFFF;
  EXPECT_TRUE(JobOptionsState(v.Of()).Recompute().ResumeFolder);
}

TEST(JobOptions, NameListEditsGoToTheViewFilterAtOnce) {
  View v;
  v.filter.ExcludeDirNames = "|TEMP||CACHE";
  v.filter.IncludeFileNames = "*.old";
  JobOptionsState s(v.Of());
  EXPECT_EQ(s.Names, std::vector<std::string>{"*.old"}) << "the list opens on Files Include";
  v.filter.IncludeFileNames = "";
  s.PressNameList(NameList::None);
  s.NameEntry = "*.tmp";
  s.AddName();
  EXPECT_EQ(v.filter.IncludeFileNames, "") << "no button pressed: nothing is written";
  EXPECT_FALSE(s.Recompute().NameAdd);

  s.PressNameList(NameList::FilesInclude);
  s.NameEntry = "*.tmp";
  EXPECT_TRUE(s.Recompute().NameAdd);
  s.AddName();
  s.NameEntry = "*.bak";
  s.AddName();
  EXPECT_EQ(v.filter.IncludeFileNames, "*.tmp|*.bak");
  EXPECT_TRUE(s.NameEntry.empty());
  JobOptionsControls c = s.Recompute();
  EXPECT_TRUE(c.NameLabelUnderlined[0]);
  EXPECT_FALSE(c.NameLabelUnderlined[3]);
  EXPECT_FALSE(c.NameRemove) << "nothing selected";

  s.PressNameList(NameList::DirsExclude);
  EXPECT_EQ(s.Names, (std::vector<std::string>{"", "TEMP", "", "CACHE"})) << "empty pieces kept";
  s.SelectedName = 1;
  EXPECT_TRUE(s.Recompute().NameRemove);
  s.RemoveName();
  EXPECT_EQ(s.NameEntry, "TEMP");
  EXPECT_EQ(v.filter.ExcludeDirNames, "||CACHE");

  EXPECT_FALSE(s.Recompute().IncludeDirLevel);
  s.PressNameList(NameList::DirsInclude);
  s.NameEntry = "data";
  s.AddName();
  c = s.Recompute();
  EXPECT_TRUE(c.IncludeDirLevel) << "include dirs listed: their depth matters";
  EXPECT_EQ(c.NameListFilled, (std::array<bool, 4>{true, false, true, true}));

  s.ClearAllFilters();
  EXPECT_EQ(v.filter.IncludeFileNames + v.filter.ExcludeFileNames + v.filter.IncludeDirNames +
                v.filter.ExcludeDirNames,
            "");
  EXPECT_TRUE(s.Names.empty());
}

TEST(JobOptions, NumberFieldsStayInTheirRanges) {
  View v;
  JobOptionsState s(v.Of());
  s.ReportMaxLevel = 0;
  s.ReportMinLevel = 9999;
  s.ReportPathLength = -5;
  s.FileAgeMinDays = 4000;
  s.IncludeDirLevel = 0;
  s.MaxSubdirLevel = 256;
  s.AttributesAllowed = 0x7FF;
  s.Apply();
  EXPECT_EQ(v.filter.ReportDirLevel, 1);
  EXPECT_EQ(v.filter.ReportDirLevelMin, 255);
  EXPECT_EQ(v.filter.ReportPathLength, -1);
  EXPECT_EQ(v.filter.FileAgeMinDays, 3650);
  EXPECT_EQ(v.filter.IncludeDirLevel, 1);
  EXPECT_EQ(v.filter.MaxSubdirLevel, 255);
  EXPECT_EQ(v.filter.AllowedAttributes, 0x3F);
  s.ProcessSubdirs = false;
  EXPECT_FALSE(s.Recompute().MaxSubdirLevel);
}

TEST(JobOptions, RecipientsAreCheckedWhenAdded) {
  const struct {
    const char* address;
    bool ok;
  } cases[] = {{"ops@example.org", true},
               {"Ops Team <team@example.org>", true},
               {"a@b\r\nRCPT TO:<x@y>", false},
               {"a@b\n", false},
               {"a<b@example.org", false},
               {"b@example.org>", false},
               {"<a@b> <c@d>", false},
               {"x >y< z", false},
               {"Nobody <>", false}};
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
  s.RecipientEntry = "";
  EXPECT_EQ(s.AddRecipient(), "");
  EXPECT_EQ(s.Recipients.size(), 1u);
}

TEST(JobOptions, NotificationBoxesWriteTheSelectedRecipients) {
  View v;
  v.mail.AddRecipient("a@example.org", 0x80000000u | kRecipientNothingToDo);
  v.mail.AddRecipient("b@example.org", 0);
  v.mail.AddRecipient("c@example.org", kRecipientAllFailed);
  JobOptionsState s(v.Of());
  EXPECT_FALSE(s.Recompute().MailBoxes) << "no recipient selected";
  s.ClickRecipient(0);
  EXPECT_EQ(s.MailBoxes, kRecipientNothingToDo);
  s.Recipients[1].Selected = true;  // a second one joins the selection
  EXPECT_TRUE(s.Recompute().MailBoxes);
  s.SetMailBox(kRecipientSomethingDone, true);
  s.SetMailBox(kRecipientAttachLog, true);
  EXPECT_EQ(s.Recipients[0].Flags,
            0x80000000u | kRecipientNothingToDo | kRecipientSomethingDone | kRecipientAttachLog);
  EXPECT_EQ(s.Recipients[1].Flags, kRecipientNothingToDo | kRecipientSomethingDone | kRecipientAttachLog);
  EXPECT_EQ(s.Recipients[2].Flags, kRecipientAllFailed);
  s.RemoveRecipients();
  ASSERT_EQ(s.Recipients.size(), 1u);
  s.Apply();
  ASSERT_EQ(v.mail.Message.ToAddress.size(), 1u);
  EXPECT_EQ(v.mail.Message.ToAddress[0].Address, "c@example.org");
}

}  // namespace
}  // namespace mv
