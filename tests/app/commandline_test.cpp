#include "app/commandline.h"

#include <gtest/gtest.h>

namespace mv {
namespace {

const std::string kJobDir = "/data/MVJ/";

TEST(CommandWords, WordsMatchAtTheStartWhateverTheCaseAndRunJobNamesAJobFile) {
  const struct {
    std::vector<std::string> words;
    uint16_t flags;
    const char* runJob;
  } cases[] = {
      {{"close"}, MODE_CLOSE_WHEN_IDLE, ""},
      {{"/CLOSE"}, 0, ""},
      {{"CLOSEWHENDONE"}, MODE_CLOSE_WHEN_IDLE, ""},
      {{"Control", "qload", "CLOSE"}, MODE_CONTROL | MODE_QLOAD | MODE_CLOSE_WHEN_IDLE, ""},
      // Without a folder the job folder; a folder is kept; the extension is always appended.
      {{"RUNJOB=daily"}, 0, "/data/MVJ/DAILY.MVJ"},
      {{"RUNJOB=/srv/Jobs/x.mvj"}, 0, "/srv/Jobs/X.MVJ.MVJ"},
      {{"RUNJOB=a", "RUNJOB=b"}, 0, "/data/MVJ/B.MVJ"},  // the later one wins
      {{"RUNJOB=a=b"}, 0, "/data/MVJ/A=B.MVJ"},          // the text after the first "="
  };
  for (const auto& c : cases) {
    const CommandWords w = ParseCommandWords(c.words, kJobDir);
    EXPECT_EQ(w.ModeFlags, c.flags) << testing::PrintToString(c.words);
    EXPECT_EQ(w.PendingRunJob, c.runJob) << testing::PrintToString(c.words);
  }
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
  for (const char* bad : {"--base", "--base=", "--frobnicate"})
    EXPECT_FALSE(ParseProgramArguments({bad}).Error.empty()) << bad;
}

}  // namespace
}  // namespace mv
