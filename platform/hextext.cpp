#include "platform/hextext.h"

#include <cinttypes>
#include <cstdio>

namespace mv {

std::string HexText(uint64_t value, int minDigits) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*" PRIX64, minDigits, value);
  return buf;
}

}  // namespace mv
