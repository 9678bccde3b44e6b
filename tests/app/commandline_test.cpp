#include "app/commandline.h"

#include <gtest/gtest.h>

namespace mv {
namespace {

const std::string kJobDir = "/data/MVJ/";

TEST(CommandWords, WordsMatchOnlyAtTheStartWhateverTheCase) {
  EXPECT_EQ(ParseCommandWords({"close"}, kJobDir).ModeFlags, MODE_CLOSE_WHEN_IDLE);
  EXPECT_EQ(ParseCommandWords({"/CLOSE"}, kJobDir).ModeFlags, 0);
  EXPECT_EQ(ParseCommandWords({"-close"}, kJobDir).ModeFlags, 0);
  EXPECT_EQ(ParseCommandWords({"CLOSEWHENDONE"}, kJobDir).ModeFlags, MODE_CLOSE_WHEN_IDLE);
  EXPECT_EQ(ParseCommandWords({"Control", "qload", "CLOSE"}, kJobDir).ModeFlags,
            MODE_CONTROL | MODE_QLOAD | MODE_CLOSE_WHEN_IDLE);
  EXPECT_EQ(ParseCommandWords({}, kJobDir).ModeFlags, 0);
}

TEST(CommandWords, RunJobWithoutFolderLooksInTheJobFolder) {
  const CommandWords w = ParseCommandWords({"RUNJOB=daily"}, kJobDir);
  EXPECT_EQ(w.PendingRunJob, "/data/MVJ/DAILY.MVJ");
  EXPECT_EQ(w.ModeFlags, 0);
  EXPECT_EQ(ParseCommandWords({"runjob=nightly"}, kJobDir).PendingRunJob, "/data/MVJ/NIGHTLY.MVJ");
}

TEST(CommandWords, RunJobWithFolderKeepsTheFolderAndAlwaysAppendsTheExtension) {
  const CommandWords w = ParseCommandWords({"RUNJOB=/srv/Jobs/x.mvj"}, kJobDir);
  EXPECT_EQ(w.PendingRunJob, "/srv/Jobs/X.MVJ.MVJ");
  EXPECT_EQ(ParseCommandWords({"RUNJOB=sub/a"}, kJobDir).PendingRunJob, "sub/A.MVJ");
}

TEST(CommandWords, LaterRunJobReplacesEarlier) {
  EXPECT_EQ(ParseCommandWords({"RUNJOB=a", "RUNJOB=b"}, kJobDir).PendingRunJob, "/data/MVJ/B.MVJ");
}

TEST(CommandWords, RunJobTakesTheTextAfterTheFirstEquals) {
  EXPECT_EQ(ParseCommandWords({"RUNJOB=a=b"}, kJobDir).PendingRunJob, "/data/MVJ/A=B.MVJ");
}

TEST(ProgramArguments, OptionsAreSeparatedFromCommandWords) {
  const ProgramArguments a =
      ParseProgramArguments({"--headless", "--base", "close", "QLOAD", "RUNJOB=x"});
  EXPECT_TRUE(a.Headless);
  ASSERT_TRUE(a.Base);
  EXPECT_EQ(*a.Base, "close") << "a --base value is never a command word";
  EXPECT_EQ(a.Words, (std::vector<std::string>{"QLOAD", "RUNJOB=x"}));
  EXPECT_TRUE(a.Error.empty());
  EXPECT_EQ(*ParseProgramArguments({"--base=/tmp/b"}).Base, "/tmp/b");
}

TEST(ProgramArguments, BadArgumentsGiveAClearError) {
  EXPECT_FALSE(ParseProgramArguments({"--base"}).Error.empty());
  EXPECT_FALSE(ParseProgramArguments({"--base="}).Error.empty());
  EXPECT_FALSE(ParseProgramArguments({"--frobnicate"}).Error.empty());
}

}  // namespace
}  // namespace mv
