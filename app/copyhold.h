#pragma once
// MIRAVA_HOLD_COPY_AT=<bytes>[:<marker file>]: end-to-end tests stop or kill
// the real program in the middle of a file. A copy that reaches the position
// writes the marker (the position it reached, in decimal) and waits there
// until its run is told to stop.

#include <cstdint>
#include <optional>
#include <string>

namespace mv {

struct CopyHold {
  int64_t AtBytes = 0;
  std::string Marker;  // empty: none is written
};

// The value of the variable; nothing when it is not a positive byte count.
std::optional<CopyHold> ParseCopyHold(const std::string& text);

// Installs the hold when the variable is set; otherwise copies run untouched.
void InstallCopyHoldFromEnvironment();

}  // namespace mv
