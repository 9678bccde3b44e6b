#include "platform/textcase.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "platform/paths.h"

namespace mv {
namespace {

TEST(UpperCase, FoldsAsciiAndLatinLettersKeepsTheRest) {
  const std::vector<std::pair<const char*, const char*>> rows = {
      {"readme.txt", "README.TXT"}, {"öüéçñøä", "ÖÜÉÇÑØÄ"},
      {"ÿ", "Ÿ"},  // the one Latin-1 letter whose capital lies elsewhere
      {"łęśćž", "ŁĘŚĆŽ"}, {"ĳŀň", "ĲĿŇ"},  // Latin Extended-A, both pairings
      {"ß÷×ı日本", "ß÷×ı日本"},  // no simple capital
      {"a\xC3", "A\xC3"}, {"\xC3\x41", "\xC3\x41"}};  // broken sequences kept byte for byte
  for (const auto& [in, out] : rows) EXPECT_EQ(UpperCase(in), out) << in;
  EXPECT_TRUE(SameTextIgnoringCase("Bäume.TXT", "BÄUME.txt"));
  EXPECT_FALSE(SameTextIgnoringCase("a", "ä"));
}

TEST(Paths, TrailingDelimitersAndNameParts) {
  EXPECT_EQ(IncludeTrailingDelim("/data"), "/data/");
  EXPECT_EQ(IncludeTrailingDelim("/data/"), "/data/");
  EXPECT_EQ(IncludeTrailingDelim(""), "");  // never the root by accident
  EXPECT_EQ(ExcludeTrailingDelim("/data//"), "/data");
  EXPECT_EQ(ExcludeTrailingDelim("/"), "/");
  EXPECT_EQ(ExtractFileName("/data/sub/a.txt"), "a.txt");
  EXPECT_EQ(ExtractFileName("a.txt"), "a.txt");
  EXPECT_EQ(ExtractFileName("/data/"), "");
  EXPECT_EQ(ExtractFilePath("/data/sub/a.txt"), "/data/sub/");
  EXPECT_EQ(ExtractFilePath("a.txt"), "");
}

}  // namespace
}  // namespace mv
