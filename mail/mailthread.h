#pragma once
// The mail thread: takes queued mails one at a time and sends each, through
// the mailer's SMTP client, separately to every recipient whose flag word
// shares a bit with the mail's classes. Every delivery failure is dropped.

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "platform/synchronize.h"
#include "platform/worker.h"

namespace mv {

class TMVMail;
class TMVMailer;

// The two closing lines of every mail.
inline constexpr const char* kMailFooterUpdates = "Updates:  https://mirava.example.org/download";
inline constexpr const char* kMailFooterFeedback = "Feedback: feedback@mirava.example.org";

class TMVMailThread {
 public:
  // Registers as mailer.Thread and starts suspended, at a low priority: the
  // first Enqueue wakes it. sync runs FetchNext on the main thread.
  TMVMailThread(TMVMailer& mailer, Synchronizer& sync);
  // Stops at once: no further fetch, a send in progress is cancelled through
  // the client (which stays cancelled), then the thread is joined. The thread
  // must not be inside a call to sync then: let it finish (WaitFinished while
  // the main loop runs) or shut the synchronizer down first.
  ~TMVMailThread();
  TMVMailThread(const TMVMailThread&) = delete;
  TMVMailThread& operator=(const TMVMailThread&) = delete;

  // Asks the thread to end: it then fetches once more, so a last mail still
  // goes out when it is the only one queued. Does not wait.
  void Terminate();
  bool TerminateRequested() const { return worker_.TerminateRequested(); }
  // Wakes the thread when it is suspended.
  void Resume() { worker_.Resume(); }
  bool Suspended() const { return worker_.Paused(); }
  // Nothing is left to send, log or fetch (the thread may still be leaving).
  bool Finished() const { return ended_ || worker_.Finished(); }
  bool WaitFinished(std::chrono::milliseconds timeout) const { return worker_.WaitFinished(timeout); }

  // Program name and version, the first and the closing line of every mail.
  static std::string BannerLine(const std::string& programText);

  TMVMailer& Mailer;

 private:
  void Execute(Worker& worker);
  // Runs the mailer's FetchNext on the main thread; false when the main loop
  // no longer runs calls.
  bool FetchNext(Worker& worker);
  void SendCurrent();
  // Hands a line to the mailer's LogLine on the main thread.
  void Log(const std::string& line);

  Synchronizer& sync_;
  std::atomic<bool> abandon_{false};  // set by the destructor
  std::atomic<bool> ended_{false};
  std::unique_ptr<TMVMail> Current;
  Worker worker_;  // last: joined before the members above go
};

}  // namespace mv
