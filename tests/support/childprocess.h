#pragma once
// A program started by a test. The destructor kills and reaps it, so a failing
// test never leaves a process behind.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace mv::test {

class ChildProcess {
 public:
  // Starts argv[0] with the arguments; standard output and error go to outputFile
  // (appended) when given, else to /dev/null.
  ChildProcess(const std::vector<std::string>& argv, const std::string& outputFile = "");
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool started() const { return pid_ > 0; }
  void Signal(int sig) const;
  // Waits up to timeoutMs for the exit; the exit code, or 128+signal, or
  // nothing when it still runs.
  std::optional<int> Wait(int timeoutMs);

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// Polls cond every 20 ms until it holds or timeoutMs passed; returns cond().
template <typename Cond>
bool WaitFor(Cond cond, int timeoutMs);

}  // namespace mv::test

#include <chrono>
#include <thread>

template <typename Cond>
bool mv::test::WaitFor(Cond cond, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > deadline) return cond();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}
