#pragma once
// SIGINT and SIGTERM as an event of the Qt loop, so that both front ends end
// through the normal shutdown sequence. The handler only writes a byte to a
// pipe; the loop reads it and calls the function.

#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace mv {

class QuitSignals {
 public:
  // Installs the handlers (once per process) and calls onQuit on the loop of
  // the creating thread for every signal that arrives.
  explicit QuitSignals(std::function<void()> onQuit);
  ~QuitSignals();
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

 private:
  std::function<void()> onQuit_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace mv
