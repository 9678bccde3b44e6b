#include "filter/matchmask.h"

#include <string>
#include <vector>

#include "platform/barlist.h"
#include "platform/paths.h"
#include "platform/textcase.h"

namespace mv {
namespace {

using Units = std::vector<char32_t>;

// Splits UTF-8 into characters so that "?" takes one letter such as "Ä" as a
// whole. A byte that does not start a well-formed sequence becomes a unit of
// its own outside the Unicode range, so it only ever equals the same byte.
Units Decode(std::string_view s) {
  Units out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    int extra = 0;
    char32_t cp = 0;
    if (b < 0x80) {
      cp = b;
    } else if ((b & 0xE0) == 0xC0 && b >= 0xC2) {
      extra = 1;
      cp = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2;
      cp = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0 && b <= 0xF4) {
      extra = 3;
      cp = b & 0x07;
    } else {
      extra = -1;
    }
    bool ok = extra >= 0 && i + extra < s.size();
    for (int k = 1; ok && k <= extra; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) {
        ok = false;
      } else {
        cp = (cp << 6) | (c & 0x3F);
      }
    }
    if (ok) {
      out.push_back(cp);
      i += extra + 1;
    } else {
      out.push_back(0x110000 + b);
      ++i;
    }
  }
  return out;
}

std::string_view NamePart(std::string_view path) {
  const auto pos = path.find_last_of(PathDelim);
  return pos == std::string_view::npos ? path : path.substr(pos + 1);
}

// The comparison proper, on folded characters. Positions are 0-based here;
// s == npos stands for "no star seen yet". After a mismatch behind a star the
// retry goes on from the mismatching name position, not from where the part
// behind the star began: "*AB" does not match "AAB". Every step advances the
// name position or passes a star that is never visited again, hence linear.
bool MatchFolded(const Units& p, Units n) {
  if (p == n) return true;
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t i = 0, j = 0, s = kNone;
  bool lastStar = false;
  while (i < p.size()) {
    if (p[i] == U'*') {
      lastStar = true;
      if (i + 1 == p.size()) return i != s;
      // A star that meets the end of the name leaves one "*" behind it, which
      // a following "?" may take: "A*?" matches "A".
      if (j >= n.size()) n.push_back(U'*');
      ++i;
      s = i;
    } else {
      lastStar = false;
      if (j >= n.size()) return false;
      if (p[i] == n[j] || p[i] == U'?') {
        ++i;
        ++j;
      } else if (s == kNone) {
        return false;
      } else {
        ++j;
        i = s;
      }
    }
  }
  return lastStar || j >= n.size();
}

template <typename Fn>
bool AnyItem(std::string_view list, Fn&& test) {
  for (std::string_view item : SplitBarList(list))
    if (!item.empty() && test(item)) return true;  // a gap in the list selects nothing
  return false;
}

}  // namespace

bool MatchMask(std::string_view mask, std::string_view path) {
  return MatchFolded(Decode(UpperCase(mask)), Decode(UpperCase(NamePart(path))));
}

bool MatchAnyMask(std::string_view list, std::string_view path) {
  if (list.empty()) return false;
  const Units name = Decode(UpperCase(NamePart(path)));
  return AnyItem(list, [&](std::string_view item) {
    return MatchFolded(Decode(UpperCase(item)), name);
  });
}

bool ContainsText(std::string_view text, std::string_view s) {
  if (text.empty()) return false;
  return UpperCase(s).find(UpperCase(text)) != std::string::npos;
}

bool ContainsAnyText(std::string_view list, std::string_view s) {
  if (list.empty()) return false;
  const std::string folded = UpperCase(s);
  return AnyItem(list, [&](std::string_view item) {
    return folded.find(UpperCase(item)) != std::string::npos;
  });
}

}  // namespace mv
