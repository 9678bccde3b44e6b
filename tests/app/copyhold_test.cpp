#include "app/copyhold.h"

#include <gtest/gtest.h>

namespace mv {
namespace {

TEST(CopyHold, ReadsThePositionAndTheMarker) {
  struct Case {
    const char* text;
    int64_t at;
    const char* marker;
  };
  for (const Case& c : {Case{"4194304:/tmp/x/held", 4194304, "/tmp/x/held"}, Case{"1", 1, ""},
                        Case{"12:", 12, ""}, Case{"7:/a:b", 7, "/a:b"}}) {
    const std::optional<CopyHold> hold = ParseCopyHold(c.text);
    ASSERT_TRUE(hold.has_value()) << c.text;
    EXPECT_EQ(hold->AtBytes, c.at) << c.text;
    EXPECT_EQ(hold->Marker, c.marker) << c.text;
  }
}

TEST(CopyHold, AnythingButAPositiveByteCountHoldsNothing) {
  for (const char* text : {"", "0", "-5", "+5", " 5", "5k", "x:/m", ":/m", "99999999999999999999"})
    EXPECT_FALSE(ParseCopyHold(text).has_value()) << text;
}

}  // namespace
}  // namespace mv
