#include "dialogs/optionsstate.h"

#include "app/mvmain.h"
#include "mail/mailer.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>


namespace mv {
namespace {

TEST(ProgramOptions, ResumeSwitchesShowTheirBits) {
  struct Case {
    uint32_t mask;
    bool path, file;
  } cases[] = {{0xFFFFFFFF, true, true},
               {0xFFCFFFFF, false, false},
               {0xFFDFFFFF, true, false},
               {0x00200000, false, true}};
  TMVMail mail(nullptr);
  for (const Case& c : cases) {
    ProgramSettings settings;
    settings.OptionsEnabled = c.mask;
    const ProgramOptions o = ReadProgramOptions(settings, mail);
    EXPECT_EQ(o.ResumeSourcePath, c.path) << std::hex << c.mask;
    EXPECT_EQ(o.ResumeSourceFile, c.file) << std::hex << c.mask;
  }
}

TEST(ProgramOptions, OkWithBothResumeBoxesUncheckedLogsFFCFFFFF) {
  ProgramSettings settings;  // first start: -1, automatic unit
  TMVMail mail(nullptr);
  ProgramOptions o = ReadProgramOptions(settings, mail);
  EXPECT_EQ(o.SpeedUnit, 0);
  EXPECT_TRUE(o.ResumeSourcePath && o.ResumeSourceFile);
  o.ResumeSourcePath = o.ResumeSourceFile = false;
  o.User = "mirava-host";
  const auto lines = ApplyProgramOptions(o, settings, mail);
  EXPECT_EQ(settings.OptionsEnabled, 0xFFCFFFFFu);
  EXPECT_EQ(lines, (std::vector<std::string>{"mirava-host", "FFCFFFFF"}));
}

TEST(ProgramOptions, OkWritesTheMailSettingsAndTheUnit) {
  ProgramSettings settings;
  settings.OptionsEnabled = 0x12345678;  // every other bit comes back set
  TMVMail mail(nullptr);
  mail.Host = "old";
  mail.Security = "starttls";
  ProgramOptions o = ReadProgramOptions(settings, mail);
  EXPECT_EQ(o.Host, "old");
  EXPECT_EQ(o.Security, "starttls");
  o.Host = "  mail.example.org:587 ";
  o.User = "backup";
  o.Security = "tls";
  o.Login = "robot";
  o.PasswordEnv = "MIRAVA_SMTP_PASSWORD";
  o.SpeedUnit = 5;
  o.ResumeSourcePath = true;
  o.ResumeSourceFile = false;
  const auto lines = ApplyProgramOptions(o, settings, mail);
  EXPECT_EQ(mail.Host, "mail.example.org:587");
  EXPECT_EQ(mail.User, "backup");
  EXPECT_EQ(mail.Security, "tls");
  EXPECT_EQ(mail.Login, "robot");
  EXPECT_EQ(mail.PasswordEnv, "MIRAVA_SMTP_PASSWORD");
  EXPECT_EQ(settings.dspSpeedUnit, 5);
  EXPECT_EQ(settings.OptionsEnabled, 0xFFDFFFFFu);
  EXPECT_EQ(lines[1], "FFDFFFFF");
}

TEST(ProgramOptions, NoSecuritySettingStaysUnset) {
  ProgramSettings settings;
  TMVMail mail(nullptr);
  ProgramOptions o = ReadProgramOptions(settings, mail);
  EXPECT_EQ(o.Security, "none");
  ApplyProgramOptions(o, settings, mail);
  EXPECT_EQ(mail.Security, "");
  // A text the program does not know is shown and kept, never quietly replaced.
  mail.Security = "ssl";
  o = ReadProgramOptions(settings, mail);
  EXPECT_EQ(o.Security, "ssl");
  ApplyProgramOptions(o, settings, mail);
  EXPECT_EQ(mail.Security, "ssl");
}

}  // namespace
}  // namespace mv

namespace mv {
namespace {

TEST(ProgramOptionsOnCore, OkAppliesLogsAndSavesForTheNextStart) {
  test::TempDir dir;
  std::vector<std::string> lines;
  {
    MiravaCore core;
    core.Startup({.Base = dir / "base", .LogPage = [&](const std::string& l) { lines.push_back(l); }});
    ProgramOptions o = ReadProgramOptions(core);
    EXPECT_TRUE(o.ResumeSourcePath && o.ResumeSourceFile);
    o.Host = "mail.example.org:2525";
    o.User = "backup";
    o.SpeedUnit = 3;
    o.ResumeSourcePath = o.ResumeSourceFile = false;
    lines.clear();
    ASSERT_TRUE(ApplyProgramOptions(core, o));
    EXPECT_EQ(lines, (std::vector<std::string>{"backup", "FFCFFFFF"}));
    EXPECT_EQ(core.Settings().OptionsEnabled, 0xFFCFFFFFu);
    EXPECT_EQ(core.Mailer()->Settings().Host, "mail.example.org:2525");
    EXPECT_EQ(core.Mailer()->Settings().UserID, "backup");
    core.Shutdown();
  }
  MiravaCore again;
  again.Startup({.Base = dir / "base"});
  EXPECT_EQ(again.Settings().OptionsEnabled, 0xFFCFFFFFu);
  EXPECT_EQ(again.Settings().dspSpeedUnit, 3);
  const ProgramOptions o = ReadProgramOptions(again);
  EXPECT_EQ(o.Host, "mail.example.org:2525");
  EXPECT_EQ(o.User, "backup");
  again.Shutdown();
}

}  // namespace
}  // namespace mv
