#include "dialogs/optionsstate.h"

#include "mail/mailer.h"

#include <gtest/gtest.h>

#include <tuple>

namespace mv {
namespace {

using std::tuple;

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

}  // namespace
}  // namespace mv
