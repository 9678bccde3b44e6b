#include "platform/datetext.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mv {
namespace {

DateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return EncodeDateTime({y, mo, d, h, mi, s, ms});
}

struct Row {
  std::string format;
  DateTime time;
  std::string expected;
};

TEST(DateText, FormatLettersNamesLiteralsAndTwelveHourClock) {
  SetDateTimeFormatsForTesting("dd.mm.yyyy", "hh:nn:ss");
  const DateTime t = At(2026, 3, 7, 9, 5, 4, 7), pm = At(2026, 3, 7, 14, 35), sunday = At(2026, 3, 29, 7, 8, 9);
  const std::vector<Row> rows = {
      {"yyyy-mm-dd hh:nn:ss.zzz", t, "2026-03-07 09:05:04.007"}, {"yy/m/d h:n:s z", t, "26/3/7 9:5:4 7"},
      {"dddd, d mmmm yyyy ddd mmm", sunday, "Sunday, 29 March 2026 Sun Mar"},
      {"mm/dd hh:mm", pm, "03/07 14:35"},  // "mm" after an hour is the minute
      {"\"Run at\" hh:nn 'on day' d", pm, "Run at 14:35 on day 7"}, {"'unterminated d", pm, "unterminated d"},
      {"h:nn am/pm", At(2026, 1, 1, 0, 5), "12:05 am"}, {"h a/p", At(2026, 1, 1, 12), "12 p"},
      {"ddddd tt", sunday, "29.03.2026 07:08:09"}};
  for (const Row& r : rows) EXPECT_EQ(FormatDateTime(r.format, r.time), r.expected) << r.format;
  // DateTimeToStr leaves out midnight.
  EXPECT_EQ(DateTimeToStr(At(2026, 3, 29, 2, 30, 15)), "29.03.2026 02:30:15");
  EXPECT_EQ(DateTimeToStr(At(2026, 3, 29)), "29.03.2026");
  EXPECT_EQ(DateTimeToStr(At(2026, 3, 29, 0, 0, 0, 1)), "29.03.2026 00:00:00");
  SetDateTimeFormatsForTesting("c ddddd", "tt");
  EXPECT_NO_FATAL_FAILURE(DateTimeToStr(At(2026, 3, 29, 1)));  // self-referring formats end
  SetDateTimeFormatsForTesting("", "");
  // The tests never call setlocale, so the C locale is in force.
  EXPECT_EQ(ShortDateFormat(), "mm/dd/yy");
  EXPECT_EQ(LongTimeFormat(), "hh:nn:ss");
  EXPECT_EQ(DateTimeToStr(At(2026, 3, 29, 14, 5, 6)), "03/29/26 14:05:06");
}

TEST(DateText, StrftimeFormatsConvert) {
  const std::vector<std::pair<const char*, const char*>> rows = {
      {"%d.%m.%Y", "dd.mm.yyyy"}, {"%I:%M:%S %p", "hh:nn:ss ampm"}, {"%-d/%-m/%y", "d/m/yy"},
      {"%T", "hh:nn:ss"}, {"%Hh%M", "hh\"h\"nn"}};
  for (const auto& [strftime, letters] : rows) EXPECT_EQ(LetterFormatFromStrftime(strftime), letters) << strftime;
  // Literal letters survive the letter formatter.
  EXPECT_EQ(FormatDateTime(LetterFormatFromStrftime("%Hh%M, week %%"), At(2026, 1, 1, 9, 7)), "09h07, week %");
}

}  // namespace
}  // namespace mv
