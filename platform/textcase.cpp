#include "platform/textcase.h"

namespace mv {

namespace {

// Upper case of a code point in U+00C0..U+017F; letters without a simple
// upper-case partner (ß, ı, ĸ, ŉ, ſ) map to themselves.
char32_t UpperLatin(char32_t c) {
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c < 0x100 || c > 0x17F) return c;
  auto lowerIsOdd = [c] { return (c & 1) ? c - 1 : c; };
  auto lowerIsEven = [c] { return (c & 1) ? c : c - 1; };
  if (c <= 0x12F || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return lowerIsOdd();
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return lowerIsEven();
  return c;
}

}  // namespace

std::string UpperCase(std::string_view s) {
  // Every letter folded here keeps its length in UTF-8, so the copy is
  // changed in place: names are folded by the thousand in every listing.
  std::string out(s);
  for (size_t i = 0; i < out.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(out[i]);
    if (b < 0x80) {
      if (b >= 'a' && b <= 'z') out[i] = static_cast<char>(b - 'a' + 'A');
      continue;
    }
    const unsigned char next = i + 1 < out.size() ? static_cast<unsigned char>(out[i + 1]) : 0;
    if (b >= 0xC3 && b <= 0xC5 && (next & 0xC0) == 0x80) {
      const char32_t c = UpperLatin((char32_t(b & 0x1F) << 6) | (next & 0x3F));
      out[i] = static_cast<char>(0xC0 | (c >> 6));
      out[i + 1] = static_cast<char>(0x80 | (c & 0x3F));
      ++i;
    }
  }
  return out;
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b) { return UpperCase(a) == UpperCase(b); }

}  // namespace mv
