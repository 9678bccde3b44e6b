#include "mail/mvmail.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "platform/clock.h"
#include "platform/profile.h"
#include "platform/textcase.h"
#include "platform/uniquefd.h"

namespace mv {

namespace {

// Missing is fine (defaults); a file that is there but cannot be read is not.
bool FileReadableOrMissing(const std::string& fileName) {
  struct stat st {};
  if (::stat(fileName.c_str(), &st) != 0) return errno == ENOENT || errno == ENOTDIR;
  if (!S_ISREG(st.st_mode)) return false;
  return UniqueFd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC)).Valid();
}

// A value ends at its first line break, so it can never start a key of its own.
std::string OneLine(const std::string& s) { return s.substr(0, s.find_first_of(std::string("\r\n\0", 3))); }

std::string FlagsText(uint32_t flags) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "$%X", static_cast<unsigned>(flags));
  return buf;
}

// N of a key "toaddressN" with N written in plain decimal, or -1.
int64_t RecipientIndex(const std::string& key) {
  static const std::string prefix = "toaddress";
  if (key.size() <= prefix.size() || key.size() > prefix.size() + 10) return -1;
  if (!SameTextIgnoringCase(key.substr(0, prefix.size()), prefix)) return -1;
  std::string digits = key.substr(prefix.size());
  if (digits.size() > 1 && digits[0] == '0') return -1;
  int64_t n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

// Keys of the securing and login settings, with the fields they fill.
struct SecurityKey {
  const char* key;
  std::string TMVMail::*field;
};
constexpr SecurityKey kSecurityKeys[] = {{"security", &TMVMail::Security},
                                         {"cafile", &TMVMail::CaFile},
                                         {"login", &TMVMail::Login},
                                         {"passwordfile", &TMVMail::PasswordFile},
                                         {"passwordenv", &TMVMail::PasswordEnv}};

}  // namespace

TMailSecurity MailSecurityOf(const std::string& text) {
  if (text.empty() || SameTextIgnoringCase(text, "none")) return msNone;
  if (SameTextIgnoringCase(text, "starttls")) return msStartTls;
  if (SameTextIgnoringCase(text, "tls")) return msTls;
  return msInvalid;
}

void TMVMail::ReadSecurity(const ProfileSnapshot& in, bool keepDefaults) {
  for (const SecurityKey& k : kSecurityKeys)
    this->*k.field = in.ReadString(kMailSection, k.key, keepDefaults ? this->*k.field : "");
}

void TMVMail::CopySecurity(const TMVMail& source) {
  for (const SecurityKey& k : kSecurityKeys) this->*k.field = source.*k.field;
}

TMVMail::TMVMail(TMVMailer* mailer) : Mailer(mailer), Created(Now()) {}

std::unique_ptr<TMVMail> TMVMail::CreateCopy(const TMVMail& source) {
  auto copy = std::make_unique<TMVMail>(source.Mailer);
  copy->Created = source.Created;
  copy->Host = source.Host;
  copy->User = source.User;
  copy->CopySecurity(source);
  copy->Flags = source.Flags;
  copy->Subject = source.Subject;
  copy->Message = source.Message;
  return copy;
}

void TMVMail::Assign(const TMVMail& source) {
  if (&source == this) return;
  Created = source.Created;
  Host = source.Host;
  User = source.User;
  CopySecurity(source);
  Message.ToAddress = source.Message.ToAddress;
  Message.Attachments = source.Message.Attachments;
}

void TMVMail::AddLine(const std::string& text, uint32_t mailClass) {
  Message.Body.push_back({text, mailClass});
  Flags |= mailClass;
}

bool TMVMail::HasRecipient(const std::string& address) const {
  return std::any_of(Message.ToAddress.begin(), Message.ToAddress.end(),
                     [&](const TMVRecipient& r) { return SameTextIgnoringCase(r.Address, address); });
}

bool TMVMail::AddRecipient(const std::string& address, uint32_t flags) {
  if (address.empty() || HasRecipient(address)) return false;
  Message.ToAddress.push_back({address, flags});
  return true;
}

// Only the indices the file really has keys for are read, so a count of two
// billion costs no more than the file's own size.
int32_t TMVMail::ReadRecipients(const std::string& fileName, const ProfileSnapshot& in, int32_t count) {
  if (count <= 0) return 0;
  count = std::min(count, kMaxMailRecipients);
  std::vector<int64_t> indices;
  for (const std::string& key : ProfileKeys(fileName, kMailSection)) {
    int64_t n = RecipientIndex(key);
    if (n >= 0 && n < count) indices.push_back(n);
  }
  std::sort(indices.begin(), indices.end());
  indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
  for (int64_t n : indices) {
    std::string address = in.ReadString(kMailSection, "toaddress" + std::to_string(n), "");
    int64_t flags = in.ReadInt64(kMailSection, "toaddressflags" + std::to_string(n), 0);
    // A flag word is 32 bits; "-1" is all of them, anything wider is garbage.
    if (flags < INT32_MIN || flags > static_cast<int64_t>(UINT32_MAX)) flags = 0;
    AddRecipient(address, static_cast<uint32_t>(flags));
  }
  return 0;
}

int32_t TMVMail::Load(const std::string& fileName) {
  if (!FileReadableOrMissing(fileName)) return -1;
  const ProfileSnapshot in(fileName);
  Host = in.ReadString(kMailSection, "host", "");
  User = in.ReadString(kMailSection, "user", "");
  FromAddress = in.ReadString(kMailSection, "fromaddress", kDefaultFromAddress);
  ReadSecurity(in, false);
  return ReadRecipients(fileName, in, in.ReadInt(kMailSection, "toaddresscount", 0));
}

int32_t TMVMail::LoadOver(const std::string& fileName) {
  if (!FileReadableOrMissing(fileName)) return -1;
  const ProfileSnapshot in(fileName);
  Host = in.ReadString(kMailSection, "host", Host);
  User = in.ReadString(kMailSection, "user", User);
  FromAddress = in.ReadString(kMailSection, "fromaddress", FromAddress);
  ReadSecurity(in, true);
  int32_t count = in.ReadInt(kMailSection, "toaddresscount", 0);
  if (count <= 0) return 0;
  Message.ToAddress.clear();
  return ReadRecipients(fileName, in, count);
}

int32_t TMVMail::Save(const std::string& fileName) const {
  ProfileBatch out(fileName);
  return Save(out, fileName) == 0 && out.Commit() ? 0 : -1;
}

int32_t TMVMail::Save(ProfileBatch& out, const std::string& fileName) const {
  // Nothing in the program edits the sender address; erasing the section must
  // not lose the one the user put into the file.
  std::optional<std::string> keptFrom;
  for (const std::string& key : ProfileKeys(fileName, kMailSection))
    if (SameTextIgnoringCase(key, "fromaddress")) keptFrom = ProfileReadString(fileName, kMailSection, key, "");

  out.EraseSection(kMailSection);
  bool ok = true;
  auto write = [&](const std::string& key, const std::string& value) {
    if (ok) ok = out.WriteString(kMailSection, key, OneLine(value));
  };
  if (keptFrom) write("fromaddress", *keptFrom);
  if (!Host.empty()) write("host", Host);
  if (!User.empty()) write("user", User);
  for (const SecurityKey& k : kSecurityKeys)
    if (!(this->*k.field).empty()) write(k.key, this->*k.field);
  write("toaddresscount", std::to_string(Message.ToAddress.size()));
  for (std::size_t i = 0; i < Message.ToAddress.size(); ++i) {
    write("toaddress" + std::to_string(i), Message.ToAddress[i].Address);
    write("toaddressflags" + std::to_string(i), FlagsText(Message.ToAddress[i].Flags));
  }
  return ok ? 0 : -1;
}

void TMVMail::TakeClientSettings(const std::string& clientHost, const std::string& clientUser) {
  Host = clientHost;
  User = clientUser;
}

}  // namespace mv
