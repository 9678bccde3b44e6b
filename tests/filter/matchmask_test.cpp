#include "filter/matchmask.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace mv {
namespace {

struct MaskCase {
  const char* mask;
  const char* name;
  bool result;
};

std::ostream& operator<<(std::ostream& os, const MaskCase& c) {
  return os << '"' << c.mask << "\" vs \"" << c.name << '"';
}

class MaskTable : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MaskTable, GivesDocumentedResult) {
  const MaskCase& c = GetParam();
  EXPECT_EQ(MatchMask(c.mask, c.name), c.result) << c.mask << " vs " << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MaskTable,
    ::testing::Values(MaskCase{"*.TXT", "readme.txt", true},
                      MaskCase{"*.TXT", "A.TXT.BAK", false},
                      MaskCase{"*.*", "A.B", true},
                      MaskCase{"*.*", "A.", true},
                      MaskCase{"*.*", "README", false},  // no dot, no match
                      MaskCase{"AB*", "AB", true},
                      MaskCase{"A?C", "ABC", true},
                      MaskCase{"A?C", "AC", false},
                      MaskCase{"*AB", "AAB", false},  // retry goes on from the mismatch
                      MaskCase{"*B", "AAB", true},
                      MaskCase{"**", "README.TXT", false},
                      MaskCase{"**", "A", false},
                      MaskCase{"A**", "AB", false},
                      MaskCase{"A*?", "A", true},  // "?" takes the "*" the star leaves behind
                      MaskCase{"C:\\TEMP\\*.TXT", "X.TXT", false},
                      MaskCase{"/tmp/*.TXT", "X.TXT", false}));

TEST(MatchMask, IgnoresCaseOnBothSides) {
  EXPECT_TRUE(MatchMask("readme.TXT", "README.txt"));
  EXPECT_TRUE(MatchMask("r?adme.*", "ReAdMe.Md"));
  EXPECT_FALSE(MatchMask("readme.txt", "readme.txx"));
}

TEST(MatchMask, ComparesOnlyTheNamePartOfThePath) {
  EXPECT_TRUE(MatchMask("*.TXT", "/home/user/readme.txt"));
  EXPECT_TRUE(MatchMask("README.TXT", "/a/b/readme.txt"));
  EXPECT_FALSE(MatchMask("B*", "/b/readme.txt"));
  // Backslash and colon are ordinary characters of a POSIX name.
  EXPECT_TRUE(MatchMask("A\\*", "a\\b.txt"));
  EXPECT_TRUE(MatchMask("NOTE:*", "note:1.txt"));
}

TEST(MatchMask, EqualTextMatchesEvenWhenTheRulesWouldNot) {
  EXPECT_TRUE(MatchMask("**", "**"));
  EXPECT_TRUE(MatchMask("", ""));
  EXPECT_FALSE(MatchMask("", "A"));
}

TEST(MatchMask, StarsAndQuestionMarks) {
  EXPECT_TRUE(MatchMask("*", "anything.at.all"));
  EXPECT_TRUE(MatchMask("*", ""));
  EXPECT_TRUE(MatchMask("?", "x"));
  EXPECT_FALSE(MatchMask("?", "xy"));
  EXPECT_FALSE(MatchMask("??", "x"));
  EXPECT_TRUE(MatchMask("A*B*C", "AxxBxxC"));
  EXPECT_FALSE(MatchMask("A*B*C", "AxxBxxCx"));
  EXPECT_TRUE(MatchMask("**X", "X"));  // doubled star not at the end is harmless
  EXPECT_TRUE(MatchMask("*.", "A."));
}

TEST(MatchMask, PathologicalMasksFinish) {
  const std::string as(200000, 'a');
  EXPECT_FALSE(MatchMask("*a*a*a*a*a*a*a*a*a*b", as));
  EXPECT_TRUE(MatchMask("*a*a*a*a*a*a*a*a*a*b", as + "b"));
  EXPECT_FALSE(MatchMask(std::string(100000, '*'), as));
  EXPECT_TRUE(MatchMask(std::string(100000, '*') + "b", as + "b"));
  std::string mixed;
  for (int i = 0; i < 20000; ++i) mixed += "*?";
  EXPECT_TRUE(MatchMask(mixed + "b", as + "b"));
  EXPECT_FALSE(MatchMask(mixed + "c", as + "b"));
}

TEST(MatchMask, NonAsciiNames) {
  EXPECT_TRUE(MatchMask("ÄRGER*.TXT", "ärger-2024.txt"));
  EXPECT_TRUE(MatchMask("*über*", "Bericht ÜBER alles"));
  // "?" takes one letter, however many bytes it has.
  EXPECT_TRUE(MatchMask("?.TXT", "é.txt"));
  EXPECT_FALSE(MatchMask("??.TXT", "é.txt"));
  EXPECT_TRUE(MatchMask("A?B", "a€b"));
  // Bytes that are not UTF-8 still take part, one character each.
  EXPECT_TRUE(MatchMask("?.BIN", "\xff.bin"));
  EXPECT_TRUE(MatchMask("*\xfe*", "ab\xfe" "cd"));
  EXPECT_FALSE(MatchMask("*\xfe*", "ab\xfd" "cd"));
  EXPECT_TRUE(MatchMask("?", "\xc3"));  // a cut-off sequence is one character
  EXPECT_TRUE(MatchMask("??", "\xc3x"));
  EXPECT_FALSE(MatchMask("?", "\xc3x"));
}

TEST(MatchAnyMask, SkipsEmptyItems) {
  const char* list = "|*.TMP||*.BAK|";
  EXPECT_TRUE(MatchAnyMask(list, "a.tmp"));
  EXPECT_TRUE(MatchAnyMask(list, "b.bak"));
  EXPECT_FALSE(MatchAnyMask(list, "c.txt"));
  EXPECT_FALSE(MatchAnyMask(list, ""));  // empty items never match the empty name
  EXPECT_FALSE(MatchAnyMask("||", ""));
}

TEST(MatchAnyMask, EmptyListMatchesNothing) {
  EXPECT_FALSE(MatchAnyMask("", "a.txt"));
  EXPECT_FALSE(MatchAnyMask("", ""));
}

TEST(MatchAnyMask, AnyItemSuffices) {
  EXPECT_TRUE(MatchAnyMask("*.DOC|*.TXT|README", "readme"));
  EXPECT_TRUE(MatchAnyMask("*.DOC|*.TXT|README", "/x/y/notes.txt"));
  EXPECT_FALSE(MatchAnyMask("*.DOC|*.TXT|README", "readme.md"));
}

TEST(MatchAnyMask, VeryLongList) {
  std::string list;
  for (int i = 0; i < 50000; ++i) list += "*." + std::to_string(i) + "|";
  list += "*.LAST";
  EXPECT_TRUE(MatchAnyMask(list, "file.last"));
  EXPECT_TRUE(MatchAnyMask(list, "file.49999"));
  EXPECT_FALSE(MatchAnyMask(list, "file.none"));
}

TEST(ContainsText, SubstringIgnoringCase) {
  EXPECT_TRUE(ContainsText("cache", "/data/Cache/x"));
  EXPECT_TRUE(ContainsText("/DATA/", "/data/"));
  EXPECT_FALSE(ContainsText("caches", "/data/Cache/"));
  EXPECT_TRUE(ContainsText("ÜBER", "/home/über/"));
}

TEST(ContainsText, EmptyTextNeverHolds) {
  EXPECT_FALSE(ContainsText("", "/data/"));
  EXPECT_FALSE(ContainsText("", ""));
}

TEST(ContainsAnyText, ListAgainstPath) {
  EXPECT_TRUE(ContainsAnyText("TEMP|CACHE", "C:\\Data\\Cache\\"));
  EXPECT_TRUE(ContainsAnyText("TEMP|CACHE", "/data/cache/"));
  EXPECT_FALSE(ContainsAnyText("TEMP|CACHE", "/data/store/"));
  EXPECT_TRUE(ContainsAnyText("||tmp|", "/var/TMP/"));
}

TEST(ContainsAnyText, EmptyListOrItemsNeverHold) {
  EXPECT_FALSE(ContainsAnyText("", "/data/"));
  EXPECT_FALSE(ContainsAnyText("|||", "/data/"));
}

}  // namespace
}  // namespace mv
