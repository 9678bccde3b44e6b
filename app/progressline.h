#pragma once
// The one line a run started from a terminal shows while it works, rewritten
// in place; scripts and logs (not a terminal) never see it.

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

namespace mv {

struct ProgressFigures {
  int32_t FilesDone = 0;
  int32_t FilesKnown = 0;  // files met so far, the one being copied included
  int64_t Bytes = 0;
  std::string Rate;         // in the job's speed unit, e.g. "122 MB/s"
  std::string CurrentFile;  // path of the entry being worked on, may be empty
};

// "1.5 MB": bytes in B, KB, MB, GB or TB (1024 each), one decimal below 100.
std::string ByteCountText(int64_t bytes);

// "12/40 files  3.4 MB  22 MB/s  /src/.../name" in at most columns - 1
// characters (the last column would wrap on some terminals). A long path
// loses its start, since the end names the file; without room it is left out.
std::string ProgressLineText(const ProgressFigures& figures, int columns);

// Columns of the terminal on fd; $COLUMNS, else 80, when it does not say.
int TerminalColumns(int fd);

class TerminalProgress {
 public:
  TerminalProgress(std::ostream& out, int columns, std::chrono::milliseconds minInterval)
      : out_(out), columns_(columns), minInterval_(minInterval) {}
  void SetColumns(int columns) { columns_ = columns; }
  // Redraws the line unless the last one is younger than the interval.
  void Show(const ProgressFigures& figures, std::chrono::steady_clock::time_point now);
  // Blanks the line so the next text starts at its beginning.
  void Clear();

 private:
  std::ostream& out_;
  int columns_;
  std::chrono::milliseconds minInterval_;
  std::chrono::steady_clock::time_point last_{};
  bool drawn_ = false;
  std::size_t shownLength_ = 0;  // characters of the line on screen
};

}  // namespace mv
