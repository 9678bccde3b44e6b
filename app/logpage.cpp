#include "app/logpage.h"

namespace mv {

LogPageListener::~LogPageListener() = default;

namespace {

// The text up to the next ";" from pos (or to the end); pos moves past it.
std::string TakeField(const std::string& text, std::size_t& pos) {
  if (pos > text.size()) return {};
  const std::size_t end = text.find(';', pos);
  std::string field = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
  pos = end == std::string::npos ? text.size() + 1 : end + 1;
  return field;
}

}  // namespace

LogLine SplitLogLine(const std::string& text, const std::string* previousJob) {
  LogLine line;
  if (text.empty() || text[0] != '@') {
    line.Job = "0";
    line.Time = "(time)";
    line.Text = text;
    return line;
  }
  std::size_t pos = 1;
  std::string job = TakeField(text, pos);
  line.Time = TakeField(text, pos);
  line.Error = TakeField(text, pos);
  // The message keeps its own ";".
  if (pos <= text.size()) line.Text = text.substr(pos);
  if (!previousJob || *previousJob != job) line.Job = std::move(job);
  return line;
}

int32_t CellLength(const std::string& cell) {
  int32_t n = 0;
  for (unsigned char c : cell)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

int32_t LogPage::LineLength(const LogLine& line) {
  return CellLength(line.Job) + CellLength(line.Time) + CellLength(line.Error) +
         CellLength(line.Text);
}

void LogPage::AddLogLine(const std::string& text) {
  const LogLine* previous =
      lastJobSerial_ >= first_ ? &lines_[static_cast<std::size_t>(lastJobSerial_ - first_)] : nullptr;
  LogLine line = SplitLogLine(text, previous ? &previous->Job : nullptr);
  const int row = Count();
  if (listener_) listener_->LineAboutToBeAdded(row);
  chars_ += LineLength(line);
  if (!line.Job.empty()) lastJobSerial_ = first_ + row;
  lines_.push_back(std::move(line));
  if (listener_) listener_->LineAdded(row);

  if (chars_ > budget_ && !lines_.empty()) {
    if (listener_) listener_->FirstLineAboutToBeRemoved();
    chars_ -= LineLength(lines_.front());
    lines_.pop_front();
    ++first_;
    if (listener_) listener_->FirstLineRemoved();
  }
}

const LogLine* LogPage::At(int row) const {
  if (row < 0 || row >= Count()) return nullptr;
  return &lines_[static_cast<std::size_t>(row)];
}

std::string LogPage::StatusText(std::size_t errorListItems) const {
  if (lines_.empty() && first_ == 0) return kLogPageInitialStatus;
  return " Log Lines: " + std::to_string(Count()) + " Log Chars: " + std::to_string(chars_) +
         " Error list items: " + std::to_string(errorListItems);
}

}  // namespace mv
