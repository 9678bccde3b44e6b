#include "platform/datetext.h"

#include <langinfo.h>

#include <cstdio>
#include <mutex>

namespace mv {
namespace {

struct PinnedFormats {
  std::mutex mutex;
  bool pinned = false;
  std::string shortDate;
  std::string longTime;
};

PinnedFormats& Pinned() {
  static PinnedFormats p;
  return p;
}

constexpr const char* kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kLongDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
constexpr const char* kShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kLongMonths[] = {"January", "February", "March",     "April",
                                       "May",     "June",     "July",      "August",
                                       "September", "October", "November", "December"};

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool MatchesAt(const std::string& s, size_t i, const char* word) {
  for (size_t k = 0; word[k] != '\0'; ++k) {
    if (i + k >= s.size() || Upper(s[i + k]) != Upper(word[k])) return false;
  }
  return true;
}

std::string Number(int value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", digits, value);
  return buf;
}

std::string LocaleText(nl_item item, const char* fallback) {
  const char* s = nl_langinfo(item);
  return (s != nullptr && *s != '\0') ? std::string(s) : std::string(fallback);
}

// Does fmt ask for a 12-hour clock (outside quoted text)?
bool HasAmPm(const std::string& fmt) {
  for (size_t i = 0; i < fmt.size(); ++i) {
    const char c = fmt[i];
    if (c == '"' || c == '\'') {
      const size_t end = fmt.find(c, i + 1);
      if (end == std::string::npos) return false;
      i = end;
    } else if (MatchesAt(fmt, i, "am/pm") || MatchesAt(fmt, i, "a/p") ||
               MatchesAt(fmt, i, "ampm")) {
      return true;
    }
  }
  return false;
}

// The long time without its seconds and the separator before them.
std::string ShortTimeFrom(const std::string& longTime) {
  std::string out;
  for (size_t i = 0; i < longTime.size(); ++i) {
    const char c = longTime[i];
    if (c == '"' || c == '\'') {
      size_t end = longTime.find(c, i + 1);
      if (end == std::string::npos) end = longTime.size() - 1;
      out += longTime.substr(i, end - i + 1);
      i = end;
    } else if (Upper(c) == 'S') {
      while (!out.empty() && !IsAsciiLetter(out.back()) && out.back() != '"' &&
             out.back() != '\'') {
        out.pop_back();
      }
      while (i + 1 < longTime.size() && Upper(longTime[i + 1]) == 'S') ++i;
    } else {
      out += c;
    }
  }
  return out;
}

void Append(std::string& out, const std::string& fmt, const DateParts& p, int weekday,
            int depth);

void AppendDateAndTime(std::string& out, const DateParts& p, int weekday, int depth) {
  Append(out, ShortDateFormat(), p, weekday, depth + 1);
  if (p.hour != 0 || p.minute != 0 || p.second != 0 || p.msec != 0) {
    out += ' ';
    Append(out, LongTimeFormat(), p, weekday, depth + 1);
  }
}

void Append(std::string& out, const std::string& fmt, const DateParts& p, int weekday,
            int depth) {
  if (depth > 2) return;  // a pinned format that refers to itself
  const bool twelve = HasAmPm(fmt);
  char last = '\0';  // previous format letter, for "hh:mm"
  size_t i = 0;
  while (i < fmt.size()) {
    const char c = fmt[i];
    if (c == '"' || c == '\'') {
      const size_t end = fmt.find(c, i + 1);
      if (end == std::string::npos) {
        out += fmt.substr(i + 1);
        break;
      }
      out += fmt.substr(i + 1, end - i - 1);
      i = end + 1;
      continue;
    }
    if (!IsAsciiLetter(c)) {
      out += c;
      ++i;
      continue;
    }
    char token = Upper(c);
    if (token == 'A') {
      last = 'A';
      if (MatchesAt(fmt, i, "am/pm")) {
        out += p.hour < 12 ? fmt.substr(i, 2) : fmt.substr(i + 3, 2);
        i += 5;
      } else if (MatchesAt(fmt, i, "a/p")) {
        out += p.hour < 12 ? fmt[i] : fmt[i + 2];
        i += 3;
      } else if (MatchesAt(fmt, i, "ampm")) {
        out += p.hour < 12 ? LocaleText(AM_STR, "AM") : LocaleText(PM_STR, "PM");
        i += 4;
      } else {
        out += c;
        ++i;
      }
      continue;
    }
    size_t count = 1;
    while (i + count < fmt.size() && Upper(fmt[i + count]) == token) ++count;
    i += count;
    if (token == 'M' && last == 'H') token = 'N';
    last = token;
    switch (token) {
      case 'Y':
        out += count <= 2 ? Number(p.year % 100, 2) : Number(p.year, 4);
        break;
      case 'M':
        if (count <= 2) {
          out += Number(p.month, static_cast<int>(count));
        } else {
          out += count == 3 ? kShortMonths[p.month - 1] : kLongMonths[p.month - 1];
        }
        break;
      case 'D':
        if (count <= 2) {
          out += Number(p.day, static_cast<int>(count));
        } else if (count == 3) {
          out += kShortDays[weekday - 1];
        } else if (count == 4) {
          out += kLongDays[weekday - 1];
        } else {
          Append(out, ShortDateFormat(), p, weekday, depth + 1);
        }
        break;
      case 'H': {
        int hour = p.hour;
        if (twelve) {
          hour %= 12;
          if (hour == 0) hour = 12;
        }
        out += Number(hour, count >= 2 ? 2 : 1);
        break;
      }
      case 'N':
        out += Number(p.minute, count >= 2 ? 2 : 1);
        break;
      case 'S':
        out += Number(p.second, count >= 2 ? 2 : 1);
        break;
      case 'Z':
        out += Number(p.msec, count >= 3 ? 3 : 1);
        break;
      case 'T':
        Append(out, count == 1 ? ShortTimeFrom(LongTimeFormat()) : LongTimeFormat(), p, weekday,
               depth + 1);
        break;
      case 'C':
        AppendDateAndTime(out, p, weekday, depth);
        break;
      default:
        out += fmt.substr(i - count, count);
        break;
    }
  }
}

// Appends literal text so that the letter formatter copies it unchanged.
void AppendLiteral(std::string& out, char c, bool& inQuote) {
  if (IsAsciiLetter(c)) {
    if (!inQuote) out += '"';
    inQuote = true;
    out += c;
    return;
  }
  if (inQuote) out += '"';
  inQuote = false;
  if (c == '"') {
    out += "'\"'";
  } else if (c == '\'') {
    out += "\"'\"";
  } else {
    out += c;
  }
}

}  // namespace

std::string LetterFormatFromStrftime(const std::string& in) {
  std::string out;
  bool inQuote = false;
  auto emit = [&](const char* letters) {
    if (inQuote) out += '"';
    inQuote = false;
    out += letters;
  };
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '%') {
      AppendLiteral(out, in[i], inQuote);
      continue;
    }
    bool unpadded = false;
    ++i;
    while (i < in.size() && (in[i] == '-' || in[i] == '_' || in[i] == '0' || in[i] == '^' ||
                             in[i] == '#' || (in[i] >= '1' && in[i] <= '9') || in[i] == 'E' ||
                             in[i] == 'O')) {
      if (in[i] == '-') unpadded = true;
      ++i;
    }
    if (i >= in.size()) break;
    switch (in[i]) {
      case 'd': emit(unpadded ? "d" : "dd"); break;
      case 'e': emit("d"); break;
      case 'm': emit(unpadded ? "m" : "mm"); break;
      case 'y': emit("yy"); break;
      case 'Y': emit("yyyy"); break;
      case 'H':
      case 'I': emit(unpadded ? "h" : "hh"); break;
      case 'k':
      case 'l': emit("h"); break;
      case 'M': emit(unpadded ? "n" : "nn"); break;
      case 'S': emit(unpadded ? "s" : "ss"); break;
      case 'p':
      case 'P': emit("ampm"); break;
      case 'a': emit("ddd"); break;
      case 'A': emit("dddd"); break;
      case 'b':
      case 'h': emit("mmm"); break;
      case 'B': emit("mmmm"); break;
      case 'D': emit("mm/dd/yy"); break;
      case 'F': emit("yyyy-mm-dd"); break;
      case 'T': emit("hh:nn:ss"); break;
      case 'R': emit("hh:nn"); break;
      case 'r': emit("hh:nn:ss ampm"); break;
      case 'n':
      case 't': AppendLiteral(out, ' ', inQuote); break;
      case '%': AppendLiteral(out, '%', inQuote); break;
      default: break;
    }
  }
  if (inQuote) out += '"';
  return out;
}

std::string ShortDateFormat() {
  {
    std::lock_guard<std::mutex> lock(Pinned().mutex);
    if (Pinned().pinned) return Pinned().shortDate;
  }
  return LetterFormatFromStrftime(LocaleText(D_FMT, "%m/%d/%y"));
}

std::string LongTimeFormat() {
  {
    std::lock_guard<std::mutex> lock(Pinned().mutex);
    if (Pinned().pinned) return Pinned().longTime;
  }
  return LetterFormatFromStrftime(LocaleText(T_FMT, "%H:%M:%S"));
}

void SetDateTimeFormatsForTesting(const std::string& shortDate, const std::string& longTime) {
  std::lock_guard<std::mutex> lock(Pinned().mutex);
  Pinned().pinned = !(shortDate.empty() && longTime.empty());
  Pinned().shortDate = shortDate;
  Pinned().longTime = longTime;
}

std::string FormatDateTime(const std::string& fmt, DateTime t) {
  std::string out;
  Append(out, fmt, DecodeDateTime(t), DayOfWeek(t), 0);
  return out;
}

std::string DateTimeToStr(DateTime t) { return FormatDateTime("c", t); }
std::string DateToStr(DateTime t) { return FormatDateTime("ddddd", t); }
std::string TimeToStr(DateTime t) { return FormatDateTime("tt", t); }

}  // namespace mv
