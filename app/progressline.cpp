#include "app/progressline.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace mv {
namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::size_t CharCount(const std::string& utf8) {
  std::size_t n = 0;
  for (char c : utf8) n += !IsContinuationByte(c);
  return n;
}

// The last n characters of utf8.
std::string LastChars(const std::string& utf8, std::size_t n) {
  std::size_t pos = utf8.size();
  for (std::size_t kept = 0; pos > 0 && kept < n;) {
    --pos;
    if (!IsContinuationByte(utf8[pos])) ++kept;
  }
  return utf8.substr(pos);
}

// The first n characters of utf8.
std::string FirstChars(const std::string& utf8, std::size_t n) {
  std::size_t pos = 0;
  for (std::size_t kept = 0; pos < utf8.size(); ++pos) {
    if (!IsContinuationByte(utf8[pos]) && kept++ == n) break;
  }
  return utf8.substr(0, pos);
}

}  // namespace

std::string ByteCountText(int64_t bytes) {
  static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
  if (bytes < 1024) return std::to_string(bytes < 0 ? 0 : bytes) + " B";
  double value = static_cast<double>(bytes) / 1024;
  int unit = 0;
  for (; value >= 1024 && unit < 3; ++unit) value /= 1024;
  char text[32];
  std::snprintf(text, sizeof text, value < 100 ? "%.1f %s" : "%.0f %s", value, kUnits[unit]);
  return text;
}

std::string ProgressLineText(const ProgressFigures& f, int columns) {
  std::string line = std::to_string(f.FilesDone) + "/" + std::to_string(f.FilesKnown) +
                     " files  " + ByteCountText(f.Bytes) + "  " + f.Rate;
  const std::size_t width = columns > 1 ? static_cast<std::size_t>(columns - 1) : 0;
  if (CharCount(line) > width) return FirstChars(line, width);
  const std::size_t room = width - CharCount(line);
  constexpr std::size_t kGap = 2;
  const std::string kEllipsis = "...";
  if (f.CurrentFile.empty() || room < kGap + kEllipsis.size() + 4) return line;
  line += std::string(kGap, ' ');
  if (CharCount(f.CurrentFile) <= room - kGap) return line + f.CurrentFile;
  return line + kEllipsis + LastChars(f.CurrentFile, room - kGap - kEllipsis.size());
}

int TerminalColumns(int fd) {
  winsize ws{};
  if (::ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  if (const char* c = std::getenv("COLUMNS"); c && std::atoi(c) > 0) return std::atoi(c);
  return 80;
}

void TerminalProgress::Show(const ProgressFigures& figures,
                            std::chrono::steady_clock::time_point now) {
  if (drawn_ && now - last_ < minInterval_) return;
  const std::string line = ProgressLineText(figures, columns_);
  const std::size_t length = CharCount(line);
  // After a resize to fewer columns blanks beyond the width would wrap.
  shownLength_ = std::min(shownLength_, static_cast<std::size_t>(columns_ > 1 ? columns_ - 1 : 0));
  // Blanks over what a longer line left, rather than an escape sequence a
  // plain terminal may not know.
  out_ << '\r' << line
       << std::string(shownLength_ > length ? shownLength_ - length : 0, ' ') << std::flush;
  shownLength_ = length;
  last_ = now;
  drawn_ = true;
}

void TerminalProgress::Clear() {
  if (shownLength_ > 0) out_ << '\r' << std::string(shownLength_, ' ') << '\r' << std::flush;
  shownLength_ = 0;
}

}  // namespace mv
