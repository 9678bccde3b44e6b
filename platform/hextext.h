#pragma once
// Upper-case hexadecimal texts, as job IDs, signatures and status codes are shown.

#include <cstdint>
#include <string>

namespace mv {

// value in upper-case hexadecimal, zero-padded to at least minDigits.
std::string HexText(uint64_t value, int minDigits);

}  // namespace mv
