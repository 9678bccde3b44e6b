#include "app/copyhold.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "engine/copyfile.h"
#include "engine/copythread.h"

namespace mv {
namespace {

// How long one wait for the stop lasts before the request is looked at again.
constexpr int kHoldWaitMs = 1000;

// Whoever waits for the marker never reads half of it.
void WriteMarker(const std::string& path, int64_t bytesDone) {
  const std::string temp = path + ".tmp";
  std::FILE* f = std::fopen(temp.c_str(), "w");
  if (!f) return;
  const bool written = std::fprintf(f, "%lld\n", static_cast<long long>(bytesDone)) > 0;
  if (std::fclose(f) == 0 && written) std::rename(temp.c_str(), path.c_str());
}

}  // namespace

std::optional<CopyHold> ParseCopyHold(const std::string& text) {
  const size_t colon = text.find(':');
  const std::string number = text.substr(0, colon);
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  errno = 0;
  const long long at = std::strtoll(number.c_str(), nullptr, 10);
  if (errno != 0 || at <= 0) return std::nullopt;
  return CopyHold{.AtBytes = at, .Marker = colon == std::string::npos ? "" : text.substr(colon + 1)};
}

void InstallCopyHoldFromEnvironment() {
  const char* value = std::getenv("MIRAVA_HOLD_COPY_AT");
  if (!value) return;
  const std::optional<CopyHold> hold = ParseCopyHold(value);
  if (!hold) return;
  SetCopyChunkHookForTesting([hold = *hold](TCopyThread& thread, int64_t bytesDone) {
    if (bytesDone < hold.AtBytes || thread.TerminateRequested()) return;
    if (!hold.Marker.empty()) WriteMarker(hold.Marker, bytesDone);
    // A stop lands at once, as between two chunks; a kill needs nothing.
    while (!thread.TerminateRequested()) thread.Sleep(kHoldWaitMs);
  });
}

}  // namespace mv
