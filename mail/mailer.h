#pragma once
// The mail queue: notifications waiting for the mail thread, oldest first.
// The queue belongs to the main thread: producers append there, and the mail
// thread takes mails only through FetchNext, which it runs there too.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "mail/mvmail.h"
#include "mail/smtpclient.h"

namespace mv {

class TMVMailThread;

class TMVMailer {
 public:
  // Empty queue, DefaultMail bound to this mailer, no thread.
  explicit TMVMailer(TSmtpClient* client);
  ~TMVMailer();
  TMVMailer(const TMVMailer&) = delete;
  TMVMailer& operator=(const TMVMailer&) = delete;

  // Queues a copy of mail and wakes a suspended thread.
  void Enqueue(const TMVMail& mail);
  // Queues a copy of DefaultMail whose body is the one line text with
  // mailClass (the program events), and wakes the thread.
  void SendText(const std::string& text, uint32_t mailClass);
  size_t Count() const { return queue_.size(); }

  // Takes the oldest mail off the queue, or nothing when it is empty. While
  // terminating, a mail is taken only when it is the last one left, so at
  // shutdown a backlog is dropped rather than holding the program.
  std::unique_ptr<TMVMail> FetchNext(bool terminating);

  // Loads DefaultMail from section "smtp" of the settings file, then
  // ConfigureClient. 0, or -1 as TMVMail::Load.
  int32_t LoadSettings(const std::string& fileName);
  // The client sends as the program-wide settings say: host, HELO name,
  // security and login from DefaultMail, its sender address, and
  // ProgramText as sender name and default subject. Main thread; call it
  // again after changing DefaultMail. The client belongs to the mail thread
  // while it runs, so the settings are handed over as one value, which the
  // thread takes before its next mail; without a thread they apply at once.
  void ConfigureClient();
  // The settings last handed over (main thread).
  const TSmtpSettings& Settings() const { return settings_; }
  // The settings handed over since the last call, if any (any thread).
  std::optional<TSmtpSettings> TakeSettings();

  TSmtpClient* Client;                    // not owned
  std::unique_ptr<TMVMail> DefaultMail;   // the program-wide settings
  TMVMailThread* Thread = nullptr;        // set by the thread itself
  std::string ProgramText = "Mirava";     // program name and version
  // Where the mail thread's log lines go (called on the main thread): only
  // failures of mails sent with TLS or a login are logged.
  std::function<void(const std::string&)> LogLine;

 private:
  std::deque<std::unique_ptr<TMVMail>> queue_;
  TSmtpSettings settings_;
  std::mutex handOverMutex_;  // guards pending_
  std::optional<TSmtpSettings> pending_;
};

}  // namespace mv
