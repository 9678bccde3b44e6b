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
      {"readme.öä", "README.ÖÄ"},
      {"ÿ", "Ÿ"},       // the one Latin-1 letter whose capital lies elsewhere
      {"łĳ", "ŁĲ"},     // Latin Extended-A, both pairings
      {"ß÷日", "ß÷日"},  // no simple capital
      {"a\xC3", "A\xC3"}};  // a broken sequence kept byte for byte
  for (const auto& [in, out] : rows) EXPECT_EQ(UpperCase(in), out) << in;
  EXPECT_TRUE(SameTextIgnoringCase("Bäume.TXT", "BÄUME.txt"));
  EXPECT_FALSE(SameTextIgnoringCase("a", "ä"));
}

TEST(Paths, TrailingDelimitersAndNameParts) {
  using Fn = std::string (*)(std::string_view);
  const std::vector<std::tuple<Fn, const char*, const char*>> rows = {
      {IncludeTrailingDelim, "/data", "/data/"}, {IncludeTrailingDelim, "", ""},  // never the root by accident
      {ExcludeTrailingDelim, "/data//", "/data"}, {ExcludeTrailingDelim, "/", "/"},
      {ExtractFileName, "/data/", ""}, {ExtractFilePath, "a.txt", ""}};
  for (const auto& [fn, in, out] : rows) EXPECT_EQ(fn(in), out) << in;
}

}  // namespace
}  // namespace mv
