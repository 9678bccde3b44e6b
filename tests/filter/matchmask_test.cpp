#include "filter/matchmask.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace mv {
namespace {

TEST(MatchMask, Table) {
  struct Row { const char* mask; const char* name; bool result; };
  const std::vector<Row> rows = {
      {"*.TXT", "readme.txt", true}, {"*.TXT", "A.TXT.BAK", false}, {"*.*", "A.B", true}, {"*.*", "A.", true},
      {"*.*", "README", false},  // no dot, no match
      {"*AB", "AAB", false},     // the retry goes on from the mismatch
      {"A*?", "A", true},        // "?" takes the "*" the star leaves behind
      {"AB*", "AB", true}, {"A?C", "ABC", true}, {"A?C", "AC", false}, {"*B", "AAB", true},
      {"**", "README.TXT", false}, {"**", "A", false}, {"A**", "AB", false},
      {"C:\\TEMP\\*.TXT", "X.TXT", false}, {"/tmp/*.TXT", "X.TXT", false},
      // Case folds on both sides; only the name part of the path counts.
      {"r?adme.*", "ReAdMe.Md", true}, {"readme.txt", "readme.txx", false}, {"README.TXT", "/a/b/readme.txt", true},
      {"B*", "/b/readme.txt", false},
      // "\" and ":" are ordinary in a POSIX name.
      {"A\\*", "a\\b.txt", true}, {"NOTE:*", "note:1.txt", true},
      // Equal text matches even where the rules would not.
      {"**", "**", true}, {"", "", true}, {"", "A", false}, {"*", "", true}, {"*", "anything.at.all", true},
      {"?", "xy", false}, {"??", "x", false}, {"A*B*C", "AxxBxxC", true}, {"A*B*C", "AxxBxxCx", false},
      {"**X", "X", true},
      // "?" is one letter however many bytes it has; stray bytes are one each.
      {"ÄRGER*.TXT", "ärger-2024.txt", true}, {"*über*", "Bericht ÜBER alles", true}, {"?.TXT", "é.txt", true},
      {"??.TXT", "é.txt", false}, {"?.BIN", "\xff.bin", true}, {"*\xfe*", "ab\xfd" "cd", false}, {"?", "\xc3", true},
      {"?", "\xc3x", false}, {"??", "\xc3x", true}, {"A?B", "a€b", true}, {"*\xfe*", "ab\xfe" "cd", true},
  };
  for (const Row& r : rows) EXPECT_EQ(MatchMask(r.mask, r.name), r.result) << r.mask << " vs " << r.name;
}

TEST(MatchMask, PathologicalMasksFinish) {
  const std::string as(200000, 'a');
  EXPECT_FALSE(MatchMask("*a*a*a*a*a*a*a*a*a*b", as));
  EXPECT_TRUE(MatchMask("*a*a*a*a*a*a*a*a*a*b", as + "b"));
  EXPECT_FALSE(MatchMask(std::string(100000, '*'), as));
  std::string mixed;
  for (int i = 0; i < 20000; ++i) mixed += "*?";
  EXPECT_TRUE(MatchMask(mixed + "b", as + "b"));
  EXPECT_FALSE(MatchMask(mixed + "c", as + "b"));
}

TEST(MatchAnyMask, EmptyItemsAndListsMatchNothing) {
  const char* list = "|*.TMP||*.BAK|";
  for (auto [masks, name, result] : {std::tuple{list, "a.tmp", true}, {list, "/x/b.bak", true}, {list, "c.txt", false},
                                     {list, "", false}, {"", "", false}})
    EXPECT_EQ(MatchAnyMask(masks, name), result) << masks << " vs " << name;
}

TEST(MatchAnyMask, VeryLongList) {
  std::string list;
  for (int i = 0; i < 50000; ++i) list += "*." + std::to_string(i) + "|";
  EXPECT_TRUE(MatchAnyMask(list + "*.LAST", "file.last"));
  EXPECT_FALSE(MatchAnyMask(list, "file.none"));
}

TEST(ContainsText, SubstringIgnoringCaseNeverEmpty) {
  for (auto [text, path, result] : {std::tuple{"cache", "/data/Cache/x", true}, {"caches", "/data/Cache/", false},
                                    {"ÜBER", "/home/über/", true}, {"", "", false}})
    EXPECT_EQ(ContainsText(text, path), result) << text << " in " << path;
  for (auto [texts, path, result] : {std::tuple{"TEMP|CACHE", "C:\\Data\\Cache\\", true},
                                     {"TEMP|CACHE", "/data/store/", false}, {"||tmp|", "/var/TMP/", true},
                                     {"", "/data/", false}, {"|||", "/data/", false}})
    EXPECT_EQ(ContainsAnyText(texts, path), result) << texts << " in " << path;
}

}  // namespace
}  // namespace mv
