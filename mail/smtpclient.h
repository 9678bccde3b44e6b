#pragma once
// The SMTP client of the notification mail: a plain SMTP dialogue (HELO, no
// authentication, no encryption) over TSockConn, and the message in MIME
// form with base64 attachments.
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

#include <random>
#include <string>
#include <vector>

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

class TSmtpClient : public TSockConn {
 public:
  TSmtpClient();

  std::string UserID;  // argument of HELO
  TMailMessage MailMessage;
  std::vector<std::string> FinalHeader;  // header lines of the last send
  TMailEncodeType EncodeType = encMime;
  bool ClearParams = false;  // clear recipients and attachments after a send
  TMailSubType SubType = mtPlain;
  std::string Charset = "us-ascii";

  // Connects, reads the greeting and says HELO. On a refused greeting or
  // HELO the connection stays open, so Disconnect can still say QUIT.
  // Errors: those of Open and ReadLn, the greeting line, "Authentication failed".
  bool Connect();
  // Sends MailMessage over the open connection. Errors: "Not Connected",
  // "Incomplete Header", "Invalid Sender Address", "No Recipient Accepted",
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

 private:
  bool SendMessage();
  bool SkipContinuedLines();
  // No reply number, or one above limit.
  bool Refused(int limit) const { return ReplyNumber() < 100 || ReplyNumber() > limit; }

  bool sending_ = false;
  std::minstd_rand random_;
};

}  // namespace mv
