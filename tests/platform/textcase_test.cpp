#include "platform/textcase.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <tuple>
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
  using Fn = std::string (*)(std::string_view);
  const std::vector<std::tuple<Fn, const char*, const char*>> rows = {
      {IncludeTrailingDelim, "/data", "/data/"}, {IncludeTrailingDelim, "/data/", "/data/"},
      {IncludeTrailingDelim, "", ""},  // never the root by accident
      {ExcludeTrailingDelim, "/data//", "/data"}, {ExcludeTrailingDelim, "/", "/"},
      {ExtractFileName, "/data/sub/a.txt", "a.txt"}, {ExtractFileName, "a.txt", "a.txt"}, {ExtractFileName, "/data/", ""},
      {ExtractFilePath, "/data/sub/a.txt", "/data/sub/"}, {ExtractFilePath, "a.txt", ""}};
  for (const auto& [fn, in, out] : rows) EXPECT_EQ(fn(in), out) << in;
}

}  // namespace
}  // namespace mv
