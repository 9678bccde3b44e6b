#pragma once
// The Log page's lines: four cells per line ("Job", "Time", "Error", "Text")
// within a budget of 64,000 characters.
//
// Usage (window): make one LogPage, add it as an observer of the core before
// core.Startup() so that the start-up lines arrive too
// (core.AddObserver(&page)), and put a LogModel (app/gui/logmodel.h) over it.
// The status label shows StatusText(core.ProgramLog() ? ProgramLog()->Count() : 0)
// after each line; LogPageListener::LineAdded says when the view should
// select its last line.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "app/coreobserver.h"

namespace mv {

// Characters the cells of the page may hold before the oldest line goes.
inline constexpr int32_t kLogPageBudget = 64000;
inline constexpr const char* kLogPageInitialStatus = "<no message>";

struct LogLine {
  std::string Job, Time, Error, Text;
};

// Who follows the page's changes (a Qt model). Calls come after the change.
class LogPageListener {
 public:
  virtual ~LogPageListener();
  // About to append a line at row (the current count).
  virtual void LineAboutToBeAdded(int /*row*/) {}
  virtual void LineAdded(int /*row*/) {}
  // The first line is about to go / has gone (the budget); the view then
  // selects its last line.
  virtual void FirstLineAboutToBeRemoved() {}
  virtual void FirstLineRemoved() {}
};

// The four cells of a line as the page shows it. previousJob is the "Job"
// cell of the last line that has one (nullptr: there is none): a structured
// line "@job;time;code;message" shows its job only when it differs.
LogLine SplitLogLine(const std::string& text, const std::string* previousJob);

// Characters of a cell (UTF-8 code points, as the user sees them).
int32_t CellLength(const std::string& cell);

class LogPage : public CoreObserver {
 public:
  explicit LogPage(int32_t budget = kLogPageBudget) : budget_(budget) {}

  // One listener (null: none); not owned.
  void SetListener(LogPageListener* listener) { listener_ = listener; }

  // Appends the line; when the cells then hold more than the budget, the
  // first line goes: one line per added line, never more.
  void AddLogLine(const std::string& text);
  void LogLineAdded(const std::string& line) override { AddLogLine(line); }

  int Count() const { return static_cast<int>(lines_.size()); }
  // Null outside 0..Count()-1.
  const LogLine* At(int row) const;
  // Characters held in all cells.
  int32_t Chars() const { return chars_; }
  int32_t Budget() const { return budget_; }

  // " Log Lines: N Log Chars: N Error list items: N"; before the first line
  // the label shows kLogPageInitialStatus.
  std::string StatusText(std::size_t errorListItems) const;

 private:
  static int32_t LineLength(const LogLine& line);

  std::deque<LogLine> lines_;
  int32_t chars_ = 0;
  int32_t budget_;
  // Serial number of the last line whose "Job" cell is not empty (-1:
  // none); serials count every line ever added, first_ is the first's.
  int64_t lastJobSerial_ = -1;
  int64_t first_ = 0;
  LogPageListener* listener_ = nullptr;
};

}  // namespace mv
