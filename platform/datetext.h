#pragma once
// Date and time texts for logs, reports and the job display, in the format
// of the process locale (setlocale(LC_ALL, "") at start-up).
//
// Format letters (case-insensitive; any other character is copied):
//   yy / yyyy        year in two / four digits ("y" is "yy", "yyy" is "yyyy")
//   m / mm           month without / with leading zero; directly after an
//                    hour letter (h, hh) "m"/"mm" mean minutes, as in "hh:mm"
//   mmm / mmmm       English month name, short / long
//   d / dd           day without / with leading zero
//   ddd / dddd       English day name, short / long
//   ddddd            the short date format
//   h / hh           hour (12-hour clock when the format has am/pm, a/p or ampm)
//   n / nn           minute
//   s / ss           second
//   z / zzz          millisecond without / with leading zeros
//   t / tt           the short time (long time without seconds) / long time
//   c                short date, then " " + long time unless it is midnight
//   am/pm, a/p       "am"/"pm", "a"/"p" in the case written
//   ampm             the locale's AM / PM text
//   "text", 'text'   literal text
// Separators are part of the formats themselves: "/" and ":" are copied.
//
// The formats come from nl_langinfo(D_FMT) / nl_langinfo(T_FMT), converted
// to the letters above; the C locale gives "mm/dd/yy" and "hh:nn:ss".

#include <string>

#include "platform/datetime.h"

namespace mv {

// Short date + " " + long time; only the date when the time is exactly midnight.
std::string DateTimeToStr(DateTime t);
// Short date.
std::string DateToStr(DateTime t);
// Long time.
std::string TimeToStr(DateTime t);
// t in the letter format fmt (above).
std::string FormatDateTime(const std::string& fmt, DateTime t);

// The formats in use.
std::string ShortDateFormat();
std::string LongTimeFormat();

// Pins the formats for the whole process (a test seam). Two empty strings
// go back to the formats of the process locale.
void SetDateTimeFormatsForTesting(const std::string& shortDate, const std::string& longTime);

// A strftime format (as nl_langinfo gives) in the letter format above.
// Directives without a letter equivalent are dropped.
std::string LetterFormatFromStrftime(const std::string& strftimeFormat);

}  // namespace mv
