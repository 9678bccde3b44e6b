#pragma once
// A notification mail and, in the same record, a set of mail settings:
// SMTP host and greeting name, sender, recipients with the outcomes they want
// to hear about, and the body lines collected for the next send.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/datetime.h"

namespace mv {

class ProfileSnapshot;

class ProfileBatch;

class TMVMailer;
class TMVMail;

// Recipient flag words: which outcomes a recipient wants to hear about.
inline constexpr uint32_t kRecipientNothingToDo = 0x01000000;
inline constexpr uint32_t kRecipientSomethingDone = 0x02000000;
inline constexpr uint32_t kRecipientAllFailed = 0x04000000;
inline constexpr uint32_t kRecipientAttachLog = 0x00100000;  // gets the attachments

// Mail classes of body lines.
inline constexpr uint32_t kMailProgramEvent = 0x00000002;
inline constexpr uint32_t kMailGeneral = 0x40000000;
inline constexpr uint32_t kMailNoWork = 0x41000000;
inline constexpr uint32_t kMailSomethingDone = 0x42000000;
inline constexpr uint32_t kMailFailures = 0x04000000;
inline constexpr uint32_t kMailTerminated = 0x20000000;
inline constexpr uint32_t kMailFinished = 0x10000000;

// Sender address used when the settings name none.
inline constexpr const char* kDefaultFromAddress = "mirava@localhost";

// The settings section of the mail keys.
inline constexpr const char* kMailSection = "smtp";

// Loading reads only the recipient keys the file really has, whatever its
// toaddresscount claims, and at most this many of them (indices 0..999).
inline constexpr int32_t kMaxMailRecipients = 1000;

// How the SMTP connection is secured (key "security"): "none" (or no key)
// the plain dialogue, "starttls" plain connect then STARTTLS, "tls" TLS from
// the first byte. Any other text is msInvalid, which sends nothing: a typo
// must never turn into plain text.
enum TMailSecurity { msNone = 0, msStartTls = 1, msTls = 2, msInvalid = 3 };
TMailSecurity MailSecurityOf(const std::string& text);

struct TMVRecipient {
  std::string Address;
  uint32_t Flags = 0;  // recipient flag word
};

struct TMVMailLine {
  std::string Text;
  uint32_t Class = 0;  // mail class
};

struct TMVMailMessage {
  std::vector<TMVRecipient> ToAddress;
  std::vector<TMVMailLine> Body;
  std::vector<std::string> Attachments;  // file paths
};

// Hands a copy of mail to the queue. Defined with the mail queue; only
// TMVMail::Send calls it, and only with a mailer.
void EnqueueMail(TMVMailer& mailer, const TMVMail& mail);

class TMVMail {
 public:
  // Created = now; no recipients, no body, Flags 0, Subject empty.
  explicit TMVMail(TMVMailer* mailer);
  TMVMail(const TMVMail&) = delete;
  TMVMail& operator=(const TMVMail&) = delete;

  // A new mail bound to source's mailer with source's Created, Host, User,
  // Flags, Subject, recipients, body and attachments; FromAddress stays empty.
  static std::unique_ptr<TMVMail> CreateCopy(const TMVMail& source);

  // Takes source's Created, Host, User, recipients and attachments; the body,
  // Subject, Flags and FromAddress stay.
  void Assign(const TMVMail& source);

  // Appends a body line; Flags |= mailClass.
  void AddLine(const std::string& text, uint32_t mailClass);

  // Appends a recipient unless the address is empty or already listed
  // (compared ignoring case). Returns whether it was added.
  bool AddRecipient(const std::string& address, uint32_t flags);
  bool HasRecipient(const std::string& address) const;

  // Hands a copy to the mailer (when there is one), then clears the body and
  // Flags; recipients, Subject and attachments stay.
  void Send() {
    if (Mailer != nullptr) EnqueueMail(*Mailer, *this);
    Message.Body.clear();
    Flags = 0;
  }

  // Reads section "smtp" of fileName into Host, User, FromAddress, the
  // security and login settings, and adds the recipients to the present ones
  // (empty and duplicate addresses skipped). A "password" key is never read.
  // 0, or -1 when the file exists but cannot be read.
  int32_t Load(const std::string& fileName);

  // Template variant: the current Host, User and FromAddress are the defaults,
  // and the recipients are replaced only when toaddresscount is above 0.
  int32_t LoadOver(const std::string& fileName);

  // Replaces section "smtp" of fileName: host, user and the security and
  // login settings when not empty, the
  // recipient count, every address and its flag word as "$" + hexadecimal.
  // A fromaddress already in the file is kept; this record's is never written.
  // Line breaks in a value end it there. 0, or -1 when a write fails.
  int32_t Save(const std::string& fileName) const;
  // The same writes into a batch that lands with the rest of a job's file
  // (fileName: where the kept fromaddress is read).
  int32_t Save(ProfileBatch& out, const std::string& fileName) const;

  // Host and User from the SMTP client's host and greeting name; the caller
  // passes them (client.Host, client.UserID).
  void TakeClientSettings(const std::string& clientHost, const std::string& clientUser);

  TMVMailer* Mailer;  // queue this mail is sent through (not owned)
  std::string Host;
  std::string User;
  std::string FromAddress;
  // Securing and login (keys "security", "cafile", "login", "passwordfile",
  // "passwordenv"); empty = not set. Used from the program-wide settings.
  std::string Security;      // "none", "starttls" or "tls"; see MailSecurityOf
  std::string CaFile;        // one CA file trusted besides the system's
  std::string Login;         // AUTH user name; empty = no login
  std::string PasswordFile;  // file holding the password, owner-only
  std::string PasswordEnv;   // or the environment variable that holds it
  DateTime Created = 0;
  TMVMailMessage Message;
  std::string Subject;  // empty = the SMTP client's default subject
  uint32_t Flags = 0;   // OR of the classes of the body lines since the last send

 private:
  int32_t ReadRecipients(const std::string& fileName, const ProfileSnapshot& in, int32_t count);
  void ReadSecurity(const ProfileSnapshot& in, bool keepDefaults);
  void CopySecurity(const TMVMail& source);
};

}  // namespace mv
