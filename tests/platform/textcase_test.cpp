#include "platform/textcase.h"

#include <gtest/gtest.h>

#include "platform/paths.h"

namespace mv {
namespace {

TEST(UpperCase, FoldsAsciiAndLatinLetters) {
  EXPECT_EQ(UpperCase("readme.txt"), "README.TXT");
  EXPECT_EQ(UpperCase("ä"), "Ä");
  EXPECT_EQ(UpperCase("öüéçñø"), "ÖÜÉÇÑØ");
  EXPECT_EQ(UpperCase("ÿ"), "Ÿ");       // the one Latin-1 letter whose capital lies elsewhere
  EXPECT_EQ(UpperCase("łęśćž"), "ŁĘŚĆŽ");  // Latin Extended-A, both pairings
  EXPECT_EQ(UpperCase("ĳŀň"), "ĲĿŇ");
}

TEST(UpperCase, KeepsWhatHasNoSimpleCapital) {
  EXPECT_EQ(UpperCase("ß"), "ß");
  EXPECT_EQ(UpperCase("÷×"), "÷×");
  EXPECT_EQ(UpperCase("ı"), "ı");
  EXPECT_EQ(UpperCase("日本"), "日本");
  EXPECT_EQ(UpperCase("a\xC3"), "A\xC3");  // cut-off sequence kept byte for byte
  EXPECT_EQ(UpperCase("\xC3\x41"), "\xC3\x41");
}

TEST(SameTextIgnoringCase, ComparesFoldedText) {
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
