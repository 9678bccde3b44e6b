#include "mail/mailer.h"

#include "mail/mailthread.h"
#include "mail/smtpclient.h"
#include "platform/profile.h"

namespace mv {

void EnqueueMail(TMVMailer& mailer, const TMVMail& mail) { mailer.Enqueue(mail); }

TMVMailer::TMVMailer(TSmtpClient* client) : Client(client), DefaultMail(std::make_unique<TMVMail>(this)) {}

TMVMailer::~TMVMailer() = default;

void TMVMailer::Enqueue(const TMVMail& mail) {
  queue_.push_back(TMVMail::CreateCopy(mail));
  if (Thread != nullptr) Thread->Resume();
}

void TMVMailer::SendText(const std::string& text, uint32_t mailClass) {
  std::unique_ptr<TMVMail> mail = TMVMail::CreateCopy(*DefaultMail);
  mail->Message.Body.clear();
  mail->Flags = 0;
  mail->AddLine(text, mailClass);
  queue_.push_back(std::move(mail));
  if (Thread != nullptr) Thread->Resume();
}

std::unique_ptr<TMVMail> TMVMailer::FetchNext(bool terminating) {
  if (queue_.empty() || (terminating && queue_.size() > 1)) return nullptr;
  std::unique_ptr<TMVMail> mail = std::move(queue_.front());
  queue_.pop_front();
  return mail;
}

int32_t TMVMailer::LoadSettings(const std::string& fileName) {
  const int32_t result = DefaultMail->Load(fileName);
  if (LogLine && !ProfileReadString(fileName, kMailSection, "password", "").empty())
    LogLine("Mail setting password in " + fileName + " is ignored: use passwordfile or passwordenv");
  ConfigureClient();
  return result;
}

void TMVMailer::ConfigureClient() {
  const TMVMail& m = *DefaultMail;
  settings_ = {.Host = m.Host,
               .UserID = m.User,
               .FromAddress = m.FromAddress,
               .FromName = ProgramText,
               .Subject = ProgramText,
               .Security = MailSecurityOf(m.Security),
               .CaFile = m.CaFile,
               .Login = m.Login,
               .PasswordFile = m.PasswordFile,
               .PasswordEnv = m.PasswordEnv};
  if (Client == nullptr) return;
  if (Thread == nullptr) {
    Client->Apply(settings_);
    return;
  }
  std::lock_guard<std::mutex> lock(handOverMutex_);
  pending_ = settings_;
}

std::optional<TSmtpSettings> TMVMailer::TakeSettings() {
  std::lock_guard<std::mutex> lock(handOverMutex_);
  std::optional<TSmtpSettings> taken = std::move(pending_);
  pending_.reset();
  return taken;
}

}  // namespace mv
