#include "dialogs/optionsstate.h"

#include "mail/mailer.h"

#include <gtest/gtest.h>

#include <tuple>

namespace mv {
namespace {

using std::tuple;

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
