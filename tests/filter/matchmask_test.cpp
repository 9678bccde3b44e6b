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
      {"*.TXT", "A.TXT.BAK", false}, {"*.*", "A.", true}, {"*.*", "README", false},  // no dot, no match
      {"*AB", "AAB", false},     // the retry goes on from the mismatch
      {"A*?", "A", true},        // "?" takes the "*" the star leaves behind
      {"A?C", "AC", false}, {"**", "A", false}, {"A**", "AB", false}, {"/tmp/*.TXT", "X.TXT", false},
      // Case folds on both sides; only the name part of the path counts.
      {"r?adme.*", "ReAdMe.Md", true}, {"readme.txt", "readme.txx", false}, {"README.TXT", "/a/b/readme.txt", true},
      {"B*", "/b/readme.txt", false},
      // "\" and ":" are ordinary in a POSIX name.
      {"A\\*", "a\\b.txt", true}, {"NOTE:*", "note:1.txt", true},
      // Equal text matches even where the rules would not.
      {"**", "**", true}, {"", "", true}, {"", "A", false}, {"*", "", true},
      {"??", "x", false}, {"A*B*C", "AxxBxxCx", false}, {"**X", "X", true},
      // "?" is one letter however many bytes it has; stray bytes are one each.
      {"*über*", "Bericht ÜBER alles", true}, {"??.TXT", "é.txt", false}, {"?.BIN", "\xff.bin", true},
      {"?", "\xc3x", false}, {"??", "\xc3x", true}, {"A?B", "a€b", true}, {"*\xfe*", "ab\xfd" "cd", false},
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

TEST(ContainsText, SubstringIgnoringCaseNeverEmpty) {
  for (auto [text, path, result] : {std::tuple{"ÜBER", "/home/über/", true}, {"", "", false}})
    EXPECT_EQ(ContainsText(text, path), result) << text << " in " << path;
  for (auto [texts, path, result] : {std::tuple{"TEMP|CACHE", "C:\\Data\\Cache\\", true},
                                     {"TEMP|CACHE", "/data/store/", false}, {"||tmp|", "/var/TMP/", true},
                                     {"", "/data/", false}, {"|||", "/data/", false}})
    EXPECT_EQ(ContainsAnyText(texts, path), result) << texts << " in " << path;
}

}  // namespace
}  // namespace mv
