#include "mail/mailer.h"

#include "mail/mailthread.h"
#include "mail/smtpclient.h"

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
  ConfigureClient();
  return result;
}

void TMVMailer::ConfigureClient() {
  if (Client == nullptr) return;
  Client->Host = DefaultMail->Host;
  Client->UserID = DefaultMail->User;
  Client->MailMessage.FromAddress = DefaultMail->FromAddress;
  Client->MailMessage.FromName = ProgramText;
  Client->MailMessage.Subject = ProgramText;
}

}  // namespace mv
