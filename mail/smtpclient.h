#pragma once
// The SMTP client of the notification mail over TSockConn, and the message
// in MIME form with base64 attachments.
//
// Security msNone is the plain dialogue: greeting, HELO, the mail, QUIT.
// msStartTls and msTls greet with EHLO (HELO when EHLO is refused) and read
// the server's extensions; msStartTls then needs STARTTLS, msTls speaks TLS
// from the first byte. With a Login, AUTH PLAIN (or AUTH LOGIN when the
// server offers only that) follows, over TLS only. Whenever TLS or a login
// was asked for and cannot be had, the connection is closed and nothing is
// sent: there is no fall-back to plain text. The password is read for each
// login (see password.h) and kept out of every error text.
//
// Beyond the bare protocol it keeps mail text from steering the dialogue:
// - CR or LF in a header value (subject, names) never starts a new header
//   line: line breaks become blanks. Attachment names also lose quotes,
//   backslashes and control characters.
// - A recipient entry with CR or LF, or with "<" or ">" other than the one
//   pair that encloses the address, is refused: no RCPT, no To/CC entry. A
//   sender address like that fails the send ("Invalid Sender Address").
// - Every line break in a body line (CR LF, LF or CR alone) is sent as CR LF,
//   then each line is dot-stuffed, so no body text can end the message.
// - Text that is not plain ASCII is taken as UTF-8: body text is declared
//   "utf-8" with 8-bit transfer encoding, and subject, sender name and
//   attachment names become RFC 2047 words. Plain ASCII mails keep the
//   classic form byte for byte.
// - A reply without a number counts as a failure, and a send that no
//   recipient accepted stops before DATA ("No Recipient Accepted").

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "mail/mvmail.h"
#include "mail/sockconn.h"

namespace mv {

enum TMailEncodeType { encMime = 0, encUU = 1 };  // only MIME is produced
enum TMailSubType { mtPlain = 0, mtEnriched = 1, mtSgml = 2, mtTabSeparated = 3, mtHtml = 4 };

struct TMailMessage {
  std::string FromName;
  std::string FromAddress;
  std::string Subject;
  std::string LocalProgram;  // X-Mailer
  std::string Date;
  std::string ReplyTo;
  std::vector<std::string> Attachments;  // file paths
  std::vector<std::string> ToAddress;
  std::vector<std::string> ToCarbonCopy;
  std::vector<std::string> ToBlindCarbonCopy;
  std::vector<std::string> Body;
};

// What the server announced in its EHLO reply.
struct TSmtpExtensions {
  bool Extended = false;  // EHLO was accepted
  bool StartTls = false;
  bool AuthPlain = false;
  bool AuthLogin = false;
  uint64_t Size = 0;  // largest message accepted; 0 = not stated
};

// Everything the program-wide mail settings decide about sending; handed to
// the client as one value (see TMVMailer::ConfigureClient).
struct TSmtpSettings {
  std::string Host;
  std::string UserID;
  std::string FromAddress;
  std::string FromName;
  std::string Subject;  // default subject
  TMailSecurity Security = msNone;
  std::string CaFile;
  std::string Login;
  std::string PasswordFile;
  std::string PasswordEnv;
};

class TSmtpClient : public TSockConn {
 public:
  TSmtpClient();

  std::string UserID;  // argument of HELO / EHLO; empty = this machine's name
  TMailMessage MailMessage;
  std::vector<std::string> FinalHeader;  // header lines of the last send
  TMailEncodeType EncodeType = encMime;
  bool ClearParams = false;  // clear recipients and attachments after a send
  TMailSubType SubType = mtPlain;
  std::string Charset = "us-ascii";
  TMailSecurity Security = msNone;
  std::string CaFile;        // trusted besides the system's store
  std::string Login;         // AUTH user; empty = no login
  std::string PasswordFile;  // where the password comes from
  std::string PasswordEnv;

  void Apply(const TSmtpSettings& settings);

  // Connects, reads the greeting and greets (HELO, or for TLS EHLO, then
  // STARTTLS and AUTH as asked for). In plain mode a refused greeting or HELO
  // leaves the connection open, so the mail can still be tried and
  // Disconnect can still say QUIT; with TLS or a login, any failure closes.
  // Errors: those of Open, ReadLn and StartTls, the greeting line,
  // "Authentication failed", "Unknown Security Mode", "Login Needs TLS",
  // "STARTTLS Not Offered", "STARTTLS Refused (reply)", "Login Not Offered",
  // "Login Failed (reply)", "Invalid Login", the errors of ReadPassword.
  bool Connect();
  // Sends MailMessage over the open connection. Errors: "Not Connected",
  // "Incomplete Header", "Invalid Sender Address", "No Recipient Accepted",
  // "Message Too Large" (above the server's SIZE),
  // a server's reply line, an attachment that cannot be read
  // ("Cannot read attachment " + path), the socket errors.
  bool SendMail();
  // QUIT and close; false when the goodbye is refused. Always closed after.
  bool Disconnect();

  // FinalHeader and the body stream for MailMessage; false when an
  // attachment cannot be read.
  bool BuildMessage(std::string& body);

  // The address RCPT TO names for a recipient entry ("" = nothing to send
  // to): the text inside "<...>", else after the first ":", else all of it.
  static std::string ExtractAddress(const std::string& entry);
  // False for entries that must not reach the dialogue (see above).
  static bool AcceptableEntry(const std::string& entry);

  // The name sent with HELO or EHLO: UserID, or this machine's host name
  // when UserID is empty (an empty HELO is refused by many relays).
  std::string GreetingName() const;
  const TSmtpExtensions& Extensions() const { return extensions_; }

 private:
  bool SendMessage();
  // Reads on while the reply in LastReply is continued; each line, the
  // first and the last included, goes to each when given.
  bool SkipContinuedLines(void (*each)(TSmtpExtensions&, std::string_view) = nullptr);
  bool Helo();
  bool Hello();  // EHLO, else HELO
  bool Authenticate();
  bool Abort(std::string text);  // closes, then Fail
  // No reply number, or one above limit.
  bool Refused(int limit) const { return ReplyNumber() < 100 || ReplyNumber() > limit; }

  TSmtpExtensions extensions_;
  bool sending_ = false;
  std::minstd_rand random_;
};

}  // namespace mv
