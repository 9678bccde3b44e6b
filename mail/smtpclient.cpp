#include "mail/smtpclient.h"

#include <unistd.h>

#include <algorithm>
#include <climits>

#include "mail/base64.h"
#include "mail/password.h"
#include "platform/textcase.h"

namespace mv {

namespace {

constexpr const char* kBoundaryStem = "====================54535";
constexpr const char* kSubTypeNames[] = {"text/plain", "text/enriched", "text/sgml",
                                         "text/tab-separated-values", "text/html"};
// Bounds for a greeting or HELO reply spread over many lines.
constexpr int kMaxContinuedLines = 100;
constexpr int kMaxHeloRepeats = 5;

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool AllAscii(const std::vector<std::string>& lines) {
  return std::all_of(lines.begin(), lines.end(), [](const std::string& s) { return IsAscii(s); });
}

// A header value on one line.
std::string OneLine(std::string_view s) {
  std::string out(s);
  std::replace_if(out.begin(), out.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; }, ' ');
  return out;
}

// RFC 2047 "B" words of at most 45 bytes each (75 characters with the
// frame), never splitting a UTF-8 sequence, joined by separator.
std::string EncodedWords(std::string_view text, std::string_view separator) {
  std::string out;
  while (!text.empty()) {
    size_t n = std::min<size_t>(text.size(), 45);
    while (n < text.size() && n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    if (n == 0) n = std::min<size_t>(text.size(), 45);
    if (!out.empty()) out += separator;
    out += "=?UTF-8?B?" + TBase64Encoder::Encode(text.substr(0, n)) + "?=";
    text.remove_prefix(n);
  }
  return out;
}

// A header value: plain ASCII as it is, anything else as folded words.
std::string HeaderText(std::string_view value) {
  std::string line = OneLine(value);
  return IsAscii(line) ? line : EncodedWords(line, "\r\n ");
}

// The attachment's name as it may stand between double quotes.
std::string AttachmentName(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '"' || c == '\\') c = '_';
  return IsAscii(name) ? name : EncodedWords(name, " ");
}

// The acceptable entries for a To or CC line; a name that is not plain
// ASCII in front of "<address>" becomes RFC 2047 words.
std::string Joined(const std::vector<std::string>& entries) {
  std::string out;
  for (const std::string& e : entries) {
    if (!TSmtpClient::AcceptableEntry(e)) continue;
    if (!out.empty()) out += ",";
    const size_t lt = e.find('<');
    const std::string_view name = std::string_view(e).substr(0, lt == std::string::npos ? 0 : lt);
    if (IsAscii(name)) {
      out += e;
    } else {
      out += EncodedWords(name.substr(0, name.find_last_not_of(' ') + 1), " ") + " " + e.substr(lt);
    }
  }
  return out;
}

// Body lines with every line break as CR LF, dot-stuffed.
void AppendBodyLines(const std::vector<std::string>& lines, std::string& out) {
  for (const std::string& text : lines) {
    size_t start = 0;
    for (;;) {
      const size_t end = text.find_first_of("\r\n", start);
      const std::string_view line = std::string_view(text).substr(start, end - start);
      if (!line.empty() && line[0] == '.') out += '.';
      out.append(line);
      out += "\r\n";
      if (end == std::string::npos) break;
      start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
  }
}

// One line of an EHLO reply: "250-STARTTLS", "250 AUTH PLAIN LOGIN", ...
void ReadExtension(TSmtpExtensions& ext, std::string_view line) {
  if (line.size() < 4) return;
  line.remove_prefix(4);
  std::vector<std::string> words;
  for (size_t i = 0; i < line.size();) {
    const size_t end = std::min(line.find(' ', i), line.size());
    if (end > i) words.push_back(UpperCase(std::string(line.substr(i, end - i))));
    i = end + 1;
  }
  if (words.empty()) return;
  if (words[0] == "STARTTLS") ext.StartTls = true;
  if (words[0] == "AUTH" || words[0] == "AUTH=LOGIN") {
    for (const std::string& w : words) {
      if (w == "PLAIN") ext.AuthPlain = true;
      if (w == "LOGIN" || w == "AUTH=LOGIN") ext.AuthLogin = true;
    }
  }
  if (words[0] == "SIZE" && words.size() > 1 && words[1].size() < 19 &&
      std::all_of(words[1].begin(), words[1].end(), [](char c) { return c >= '0' && c <= '9'; }))
    ext.Size = std::stoull(words[1]);
}

// A server reply with the login's secrets, should it echo them, blanked out.
std::string Scrubbed(std::string reply, const std::vector<const std::string*>& secrets) {
  for (const std::string* secret : secrets) {
    if (secret->empty()) continue;
    for (size_t at; (at = reply.find(*secret)) != std::string::npos;) reply.replace(at, secret->size(), "***");
  }
  return reply;
}

}  // namespace

TSmtpClient::TSmtpClient() : random_(std::random_device{}()) { Port = 25; }

std::string TSmtpClient::ExtractAddress(const std::string& entry) {
  const size_t lt = entry.find('<');
  if (lt != std::string::npos) {
    const size_t end = entry.find_first_of("<>", lt + 1);
    return entry.substr(lt + 1, end == std::string::npos ? std::string::npos : end - lt - 1);
  }
  const size_t colon = entry.find(':');
  if (colon != std::string::npos) {
    const size_t end = entry.find(':', colon + 1);
    return entry.substr(colon + 1, end == std::string::npos ? std::string::npos : end - colon - 1);
  }
  return entry;
}

bool TSmtpClient::AcceptableEntry(const std::string& entry) {
  if (entry.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return false;
  const auto lts = std::count(entry.begin(), entry.end(), '<');
  const auto gts = std::count(entry.begin(), entry.end(), '>');
  if (lts == 0) return gts == 0;
  const size_t lt = entry.find('<');
  return lts == 1 && gts == 1 && entry.find('>') > lt;
}

void TSmtpClient::Apply(const TSmtpSettings& settings) {
  Host = settings.Host;
  UserID = settings.UserID;
  MailMessage.FromAddress = settings.FromAddress;
  MailMessage.FromName = settings.FromName;
  MailMessage.Subject = settings.Subject;
  Security = settings.Security;
  CaFile = settings.CaFile;
  Login = settings.Login;
  PasswordFile = settings.PasswordFile;
  PasswordEnv = settings.PasswordEnv;
}

std::string TSmtpClient::GreetingName() const {
  // A name cannot add a command of its own.
  std::string name = UserID.substr(0, UserID.find_first_of("\r\n"));
  if (!name.empty()) return name;
  char host[HOST_NAME_MAX + 1] = {};
  if (::gethostname(host, sizeof host - 1) == 0) name = host;
  name = name.substr(0, name.find_first_of(std::string("\r\n \0", 4)));
  return name.empty() ? "localhost" : name;
}

bool TSmtpClient::Abort(std::string text) {
  Close();
  return Fail(std::move(text));
}

bool TSmtpClient::SkipContinuedLines(void (*each)(TSmtpExtensions&, std::string_view)) {
  std::string line;
  size_t bytes = 0;
  if (each) each(extensions_, LastReply());
  for (int n = 0; !LastReply().empty() && (LastReply()[0] == ' ' || (LastReply().size() > 3 && LastReply()[3] == '-'));
       ++n) {
    bytes += LastReply().size();
    if (n >= kMaxContinuedLines || bytes > 16 * kMaxReplyLine) {
      Close();
      return Fail("Reply Too Long");
    }
    if (!ReadLn(line)) return false;
    TakeReply(line);
    if (each) each(extensions_, LastReply());
  }
  return true;
}

bool TSmtpClient::Helo() {
  const std::string helo = "HELO " + GreetingName();
  for (int i = 0; i < kMaxHeloRepeats; ++i) {
    if (!Transaction(helo) || !SkipContinuedLines()) return false;
    if (ReplyNumber() != 299) break;
  }
  if (Refused(299)) return Fail("Authentication failed");
  return true;
}

bool TSmtpClient::Hello() {
  extensions_ = {};
  if (!Transaction("EHLO " + GreetingName())) return false;
  if (Refused(299)) {
    if (!SkipContinuedLines()) return false;
    return Helo();
  }
  if (!SkipContinuedLines(ReadExtension)) return false;
  extensions_.Extended = true;
  return true;
}

bool TSmtpClient::Connect() {
  extensions_ = {};
  if (Security == msInvalid) return Fail("Unknown Security Mode");
  if (Security == msNone && !Login.empty()) return Fail("Login Needs TLS");
  const bool strict = Security != msNone;
  if (!Open()) return false;
  if (Security == msTls && !StartTls(CaFile)) return false;
  std::string line;
  if (!ReadLn(line)) return false;
  TakeReply(line);
  if (!SkipContinuedLines()) return false;
  if (Refused(399)) return strict ? Abort(LastReply()) : Fail(LastReply());
  if (!strict) return Helo();

  if (!Hello()) return Abort(LastError());
  if (Security == msStartTls) {
    if (!extensions_.StartTls) return Abort("STARTTLS Not Offered");
    if (!Transaction("STARTTLS")) return false;
    if (ReplyNumber() != 220) return Abort("STARTTLS Refused (" + LastReply() + ")");
    if (!StartTls(CaFile)) return false;
    // What was said before the handshake no longer counts.
    if (!Hello()) return Abort(LastError());
  }
  return Login.empty() || Authenticate();
}

bool TSmtpClient::Authenticate() {
  if (!Secure()) return Abort("Login Needs TLS");
  if (!extensions_.AuthPlain && !extensions_.AuthLogin) return Abort("Login Not Offered");
  if (Login.find('\0') != std::string::npos) return Abort("Invalid Login");
  std::string password, error;
  if (!ReadPassword(PasswordFile, PasswordEnv, password, error)) return Abort(error);

  std::string token, command;
  bool sent = false, accepted = false;
  if (extensions_.AuthPlain) {
    token = TBase64Encoder::Encode(std::string(1, '\0') + Login + std::string(1, '\0') + password);
    command = "AUTH PLAIN " + token;
    sent = Transaction(command);
  } else {
    token = TBase64Encoder::Encode(password);
    sent = Transaction("AUTH LOGIN") && (ReplyNumber() != 334 || Transaction(TBase64Encoder::Encode(Login))) &&
           (ReplyNumber() != 334 || Transaction(token));
  }
  if (sent) accepted = ReplyNumber() == 235;
  const std::string reply = Scrubbed(LastReply(), {&password, &token});
  WipeSecret(password);
  WipeSecret(token);
  WipeSecret(command);
  if (!sent) return Abort(LastError());
  if (!accepted) return Abort("Login Failed (" + reply + ")");
  return true;
}

bool TSmtpClient::BuildMessage(std::string& body) {
  const TMailMessage& m = MailMessage;
  FinalHeader.clear();
  const std::string name = HeaderText(m.FromName);
  FinalHeader.push_back("From: " + name + (IsAscii(m.FromName) ? "" : " ") + "<" + OneLine(m.FromAddress) + ">");
  if (const std::string to = Joined(m.ToAddress); !to.empty()) FinalHeader.push_back("To: " + to);
  if (const std::string cc = Joined(m.ToCarbonCopy); !cc.empty()) FinalHeader.push_back("CC: " + cc);
  const std::pair<const char*, const std::string*> fields[] = {
      {"Subject", &m.Subject}, {"X-Mailer", &m.LocalProgram}, {"Reply-To", &m.ReplyTo}, {"Date", &m.Date}};
  for (const auto& [field, value] : fields)
    if (!value->empty()) FinalHeader.push_back(std::string(field) + ": " + HeaderText(*value));
  FinalHeader.push_back("Mime-Version: 1.0");

  const bool utf8 = !AllAscii(m.Body);
  const std::string textType =
      std::string("Content-Type: ") + kSubTypeNames[SubType] + "; charset=" + (utf8 ? "utf-8" : Charset);
  const std::string eightBit = "Content-Transfer-Encoding: 8bit";

  body.clear();
  if (m.Attachments.empty()) {
    FinalHeader.push_back(textType);
    if (utf8) FinalHeader.push_back(eightBit);
    AppendBodyLines(m.Body, body);
    return true;
  }
  std::string boundary = kBoundaryStem;
  for (int i = 0; i < 6; ++i) boundary += static_cast<char>('a' + random_() % 25);
  boundary += "====";
  FinalHeader.push_back("Content-Type: multipart/mixed; boundary=\"" + boundary + "\"");
  body += "--" + boundary + "\r\n" + textType + "\r\n" + (utf8 ? eightBit + "\r\n" : "") + "\r\n";
  AppendBodyLines(m.Body, body);
  for (const std::string& path : m.Attachments) {
    const std::string fileName = AttachmentName(path);
    body += "--" + boundary + "\r\n";
    body += "Content-Type: application/octet-stream; name=\"" + fileName + "\"\r\n";
    body += "Content-Transfer-Encoding: base64\r\n";
    body += "Content-Disposition: attachment; filename=\"" + fileName + "\"\r\n\r\n";
    if (!TBase64Encoder::EncodeFile(path, body)) return Fail("Cannot read attachment " + path);
  }
  body += "--" + boundary + "--\r\n";
  return true;
}

bool TSmtpClient::SendMail() {
  if (sending_) return Fail("Send In Progress");
  sending_ = true;
  const bool ok = SendMessage();
  if (ok && ClearParams) {
    MailMessage.ToAddress.clear();
    MailMessage.ToCarbonCopy.clear();
    MailMessage.ToBlindCarbonCopy.clear();
    MailMessage.Attachments.clear();
  }
  sending_ = false;
  return ok;
}

bool TSmtpClient::SendMessage() {
  const TMailMessage& m = MailMessage;
  std::string body;
  if (!BuildMessage(body)) return false;
  if (!Connected()) return Fail("Not Connected");
  if (m.FromAddress.empty() || (m.ToAddress.empty() && m.ToCarbonCopy.empty() && m.ToBlindCarbonCopy.empty()))
    return Fail("Incomplete Header");
  if (m.FromAddress.find_first_of(std::string("\r\n<>\0", 5)) != std::string::npos)
    return Fail("Invalid Sender Address");
  if (extensions_.Size > 0) {
    uint64_t size = body.size() + 4;
    for (const std::string& line : FinalHeader) size += line.size() + 2;
    if (size > extensions_.Size) return Fail("Message Too Large");
  }

  if (!Transaction("RSET")) return false;
  if (Refused(399)) return Fail(LastReply());
  if (!Transaction("MAIL FROM:<" + m.FromAddress + ">")) return false;
  if (Refused(399)) return Fail(LastReply());
  int accepted = 0;
  for (const auto* list : {&m.ToAddress, &m.ToCarbonCopy, &m.ToBlindCarbonCopy}) {
    for (const std::string& entry : *list) {
      const std::string address = ExtractAddress(entry);
      if (address.empty() || !AcceptableEntry(entry)) continue;
      if (!Transaction("RCPT TO:<" + address + ">")) return false;
      if (!Refused(300)) ++accepted;  // a refused recipient is simply left out
    }
  }
  if (accepted == 0) return Fail("No Recipient Accepted");
  if (!Transaction("DATA")) return false;
  if (Refused(399)) return Fail(LastReply());

  std::string head;
  for (const std::string& line : FinalHeader) head += line + "\r\n";
  head += "\r\n\r\n";
  if (!Write(head) || !SendStream(body) || !Transaction(".")) return false;
  if (Refused(399)) return Fail(LastReply());
  return true;
}

bool TSmtpClient::Disconnect() {
  if (!Connected()) return true;
  bool ok = Transaction("QUIT");
  if (ok && Refused(339)) ok = Fail(LastReply());
  Close();
  return ok;
}

}  // namespace mv
