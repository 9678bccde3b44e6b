#include "platform/datetext.h"

#include <gtest/gtest.h>

namespace mv {
namespace {

DateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return EncodeDateTime({y, mo, d, h, mi, s, ms});
}

class DateText : public ::testing::Test {
 protected:
  void SetUp() override { SetDateTimeFormatsForTesting("dd.mm.yyyy", "hh:nn:ss"); }
  void TearDown() override { SetDateTimeFormatsForTesting("", ""); }
};

TEST_F(DateText, NumericLetters) {
  const DateTime t = At(2026, 3, 7, 9, 5, 4, 7);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", t), "2026-03-07 09:05:04.007");
  EXPECT_EQ(FormatDateTime("yy/m/d h:n:s z", t), "26/3/7 9:5:4 7");
  EXPECT_EQ(FormatDateTime("YYYYMMDD_HHNNSS", t), "20260307_090504");
  EXPECT_EQ(FormatDateTime("y", At(2005, 1, 1)), "05");
}

TEST_F(DateText, NamesOfDaysAndMonths) {
  const DateTime t = At(2026, 3, 29, 12);  // a Sunday
  EXPECT_EQ(FormatDateTime("ddd dd mmm", t), "Sun 29 Mar");
  EXPECT_EQ(FormatDateTime("dddd, d mmmm yyyy", t), "Sunday, 29 March 2026");
  EXPECT_EQ(FormatDateTime("dddd", At(2026, 4, 4)), "Saturday");
}

TEST_F(DateText, MinutesAfterAnHourAndLiterals) {
  const DateTime t = At(2026, 3, 7, 14, 35);
  EXPECT_EQ(FormatDateTime("hh:mm", t), "14:35");
  EXPECT_EQ(FormatDateTime("mm/dd hh:mm", t), "03/07 14:35");
  EXPECT_EQ(FormatDateTime("\"Run at\" hh:nn 'on day' d", t), "Run at 14:35 on day 7");
  EXPECT_EQ(FormatDateTime("'unterminated d", t), "unterminated d");
  EXPECT_EQ(FormatDateTime("[hh]-x", t), "[14]-x");
}

TEST_F(DateText, TwelveHourClock) {
  EXPECT_EQ(FormatDateTime("h:nn am/pm", At(2026, 1, 1, 0, 5)), "12:05 am");
  EXPECT_EQ(FormatDateTime("hh:nn AM/PM", At(2026, 1, 1, 13, 5)), "01:05 PM");
  EXPECT_EQ(FormatDateTime("h a/p", At(2026, 1, 1, 12)), "12 p");
  EXPECT_EQ(FormatDateTime("h ampm", At(2026, 1, 1, 23)), "11 PM");  // C locale text
}

TEST_F(DateText, DateTimeToStrLeavesOutMidnight) {
  EXPECT_EQ(DateTimeToStr(At(2026, 3, 29, 2, 30, 15)), "29.03.2026 02:30:15");
  EXPECT_EQ(DateTimeToStr(At(2026, 3, 29)), "29.03.2026");
  EXPECT_EQ(DateTimeToStr(At(2026, 3, 29, 0, 0, 0, 1)), "29.03.2026 00:00:00");
  EXPECT_EQ(DateToStr(At(2026, 3, 29, 18)), "29.03.2026");
  EXPECT_EQ(TimeToStr(At(2026, 3, 29)), "00:00:00");
  EXPECT_EQ(FormatDateTime("t", At(2026, 3, 29, 7, 8, 9)), "07:08");
  EXPECT_EQ(FormatDateTime("ddddd tt", At(2026, 3, 29, 7, 8, 9)), "29.03.2026 07:08:09");
}

TEST_F(DateText, SelfReferringFormatsEnd) {
  SetDateTimeFormatsForTesting("c ddddd", "tt");
  EXPECT_NO_FATAL_FAILURE(DateTimeToStr(At(2026, 3, 29, 1)));
}

TEST(DateTextLocale, CLocaleFormats) {
  SetDateTimeFormatsForTesting("", "");
  // The tests never call setlocale, so the C locale is in force.
  EXPECT_EQ(ShortDateFormat(), "mm/dd/yy");
  EXPECT_EQ(LongTimeFormat(), "hh:nn:ss");
  EXPECT_EQ(DateTimeToStr(At(2026, 3, 29, 14, 5, 6)), "03/29/26 14:05:06");
}

TEST(DateTextLocale, StrftimeFormatsConvert) {
  EXPECT_EQ(LetterFormatFromStrftime("%d.%m.%Y"), "dd.mm.yyyy");
  EXPECT_EQ(LetterFormatFromStrftime("%Y-%m-%d"), "yyyy-mm-dd");
  EXPECT_EQ(LetterFormatFromStrftime("%I:%M:%S %p"), "hh:nn:ss ampm");
  EXPECT_EQ(LetterFormatFromStrftime("%-d/%-m/%y"), "d/m/yy");
  EXPECT_EQ(LetterFormatFromStrftime("%a %e %b %Y"), "ddd d mmm yyyy");
  EXPECT_EQ(LetterFormatFromStrftime("%T"), "hh:nn:ss");
  EXPECT_EQ(LetterFormatFromStrftime("%Hh%M"), "hh\"h\"nn");
  EXPECT_EQ(LetterFormatFromStrftime("%Y\xE5\xB9\xB4%m"), "yyyy\xE5\xB9\xB4mm");
  // Literal letters survive the letter formatter.
  EXPECT_EQ(FormatDateTime(LetterFormatFromStrftime("%Hh%M, week %%"), At(2026, 1, 1, 9, 7)),
            "09h07, week %");
}

}  // namespace
}  // namespace mv
