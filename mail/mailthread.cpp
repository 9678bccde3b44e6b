#include "mail/mailthread.h"

#include <sys/resource.h>
#include <unistd.h>

#include "mail/mailer.h"
#include "mail/mvmail.h"
#include "mail/smtpclient.h"
#include "platform/clock.h"
#include "platform/datetext.h"

namespace mv {

namespace {
// Mails are never urgent: below every job thread, just above idle.
constexpr int kMailThreadNice = 15;
constexpr const char* kStampFormat = "dd.mm. hh:mm";
}  // namespace

TMVMailThread::TMVMailThread(TMVMailer& mailer, Synchronizer& sync) : Mailer(mailer), sync_(sync) {
  Mailer.Thread = this;
  worker_.Pause();
  worker_.Start([this](Worker& w) {
    Execute(w);
    // A main thread waiting for the end need not wait for its next look.
    ended_ = true;
    sync_.Wake();
  });
}

TMVMailThread::~TMVMailThread() {
  abandon_ = true;
  worker_.RequestTerminate();
  if (!Finished() && Mailer.Client != nullptr) Mailer.Client->Cancel();
  worker_.Join();
  if (Mailer.Thread == this) Mailer.Thread = nullptr;
}

void TMVMailThread::Terminate() {
  worker_.RequestTerminate();
  worker_.Resume();
}

std::string TMVMailThread::BannerLine(const std::string& programText) {
  return programText + " - notification";
}

void TMVMailThread::Execute(Worker& worker) {
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kMailThreadNice);
  worker.CheckPoint();  // created suspended
  while (!worker.TerminateRequested()) {
    if (!FetchNext(worker)) return;
    SendCurrent();
    worker.CheckPoint();  // parks when FetchNext found the queue empty
  }
  if (FetchNext(worker)) SendCurrent();
}

void TMVMailThread::Log(const std::string& line) {
  if (abandon_) return;
  sync_.Synchronize([&] {
    if (Mailer.LogLine) Mailer.LogLine(line);
  });
}

bool TMVMailThread::FetchNext(Worker& worker) {
  if (abandon_) return false;
  bool ran = false;
  sync_.Synchronize([&] {
    ran = true;
    const bool terminating = worker.TerminateRequested();
    Current = Mailer.FetchNext(terminating);
    // Decided here, on the main thread, where Enqueue runs too: a mail
    // queued after this resumes the thread, none can slip past.
    if (Current == nullptr && !terminating) worker.Pause();
  });
  return ran;
}

void TMVMailThread::SendCurrent() {
  std::unique_ptr<TMVMail> mail = std::move(Current);
  TSmtpClient* client = Mailer.Client;
  if (client == nullptr) return;
  if (std::optional<TSmtpSettings> settings = Mailer.TakeSettings()) client->Apply(*settings);
  if (mail == nullptr || client->Host.empty()) return;
  // The plain dialogue drops failures unseen; with TLS or a login asked for,
  // a mail that does not go out must say why.
  const bool logFailures = client->Security != msNone || !client->Login.empty();
  TMailMessage& message = client->MailMessage;
  const std::string banner = BannerLine(Mailer.ProgramText);
  for (const TMVRecipient& recipient : mail->Message.ToAddress) {
    if ((recipient.Flags & mail->Flags) == 0) continue;
    message.Body.clear();
    message.ToAddress.clear();
    message.Body.push_back(banner);
    for (const TMVMailLine& line : mail->Message.Body) message.Body.push_back(line.Text);
    message.Body.push_back("Message created " + FormatDateTime(kStampFormat, mail->Created));
    message.Body.push_back("Message sent    " + FormatDateTime(kStampFormat, Now()));
    message.Attachments.clear();
    if ((recipient.Flags & kRecipientAttachLog) != 0) message.Attachments = mail->Message.Attachments;
    message.Body.push_back(std::string(31, '='));
    message.Body.push_back(banner);
    message.Body.push_back(kMailFooterUpdates);
    message.Body.push_back(kMailFooterFeedback);
    message.ToAddress.push_back(recipient.Address);
    const std::string defaultSubject = message.Subject;
    if (!mail->Subject.empty()) message.Subject = mail->Subject;
    // Failures are dropped: the mail is not retried. Like the greeting, a
    // refused HELO still leaves the connection open, and the mail is tried.
    std::string failure;
    if (!client->Connect()) failure = client->LastError();
    if (client->Connected() && !client->SendMail() && failure.empty()) failure = client->LastError();
    client->Disconnect();
    if (logFailures && !failure.empty()) Log("Mail to " + recipient.Address + " not sent: " + failure);
    message.Subject = defaultSubject;
  }
}

}  // namespace mv
