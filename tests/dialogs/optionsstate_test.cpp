#include "dialogs/optionsstate.h"

#include "app/mvmain.h"
#include "mail/mailer.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <tuple>

namespace mv {
namespace {

using std::tuple;

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
    EXPECT_EQ(tuple(o.ResumeSourcePath, o.ResumeSourceFile), tuple(c.path, c.file))
        << std::hex << c.mask;
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
  EXPECT_EQ(tuple(o.Host, o.Security), tuple("old", "starttls"));
  o.Host = "  mail.example.org:587 ";
  o.User = "backup";
  o.Security = "tls";
  o.Login = "robot";
  o.PasswordEnv = "MIRAVA_SMTP_PASSWORD";
  o.SpeedUnit = 5;
  o.ResumeSourcePath = true;
  o.ResumeSourceFile = false;
  const auto lines = ApplyProgramOptions(o, settings, mail);
  EXPECT_EQ(tuple(mail.Host, mail.User, mail.Security, mail.Login, mail.PasswordEnv),
            tuple("mail.example.org:587", "backup", "tls", "robot", "MIRAVA_SMTP_PASSWORD"));
  EXPECT_EQ(tuple(settings.dspSpeedUnit, settings.OptionsEnabled, lines.at(1)),
            tuple(5, 0xFFDFFFFFu, "FFDFFFFF"));
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
    EXPECT_EQ(tuple(core.Mailer()->Settings().Host, core.Mailer()->Settings().UserID),
              tuple("mail.example.org:2525", "backup"));
    core.Shutdown();
  }
  MiravaCore again;
  again.Startup({.Base = dir / "base"});
  EXPECT_EQ(tuple(again.Settings().OptionsEnabled, again.Settings().dspSpeedUnit),
            tuple(0xFFCFFFFFu, 3));
  const ProgramOptions o = ReadProgramOptions(again);
  EXPECT_EQ(tuple(o.Host, o.User), tuple("mail.example.org:2525", "backup"));
  again.Shutdown();
}

}  // namespace
}  // namespace mv
