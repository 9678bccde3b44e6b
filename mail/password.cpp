#include "mail/password.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/uniquefd.h"

namespace mv {

namespace {

bool ReadFile(const std::string& file, std::string& password, std::string& error) {
  // The checks are made on the opened file itself, so the file cannot be
  // swapped between check and read.
  const UniqueFd f(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!f.Valid()) {
    if (errno == ENOENT || errno == ENOTDIR) return error = "Password File Not Found: " + file, false;
    return error = "Password File Not Readable: " + file, false;
  }
  struct stat st {};
  if (::fstat(f.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return error = "Password File Not Readable: " + file, false;
  if (st.st_uid != ::geteuid()) return error = "Password File Not Owned: " + file, false;
  if ((st.st_mode & 077) != 0) return error = "Password File Unsafe: " + file + " may be read or written by others", false;
  if (st.st_size > static_cast<off_t>(kMaxPasswordFile)) return error = "Password File Too Long: " + file, false;
  std::string text(kMaxPasswordFile + 1, '\0');
  size_t have = 0;
  for (;;) {
    const ssize_t n = ::read(f.Get(), text.data() + have, text.size() - have);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      WipeSecret(text);
      return error = "Password File Not Readable: " + file, false;
    }
    if (n == 0) break;
    have += static_cast<size_t>(n);
    if (have > kMaxPasswordFile) {
      WipeSecret(text);
      return error = "Password File Too Long: " + file, false;
    }
  }
  const size_t end = text.find_first_of("\r\n");
  password.assign(text, 0, std::min(have, end));
  WipeSecret(text);
  if (password.empty()) return error = "Password File Empty: " + file, false;
  return true;
}

}  // namespace

void WipeSecret(std::string& text) {
  if (!text.empty()) OPENSSL_cleanse(text.data(), text.size());
  text.clear();
}

bool ReadPassword(const std::string& file, const std::string& env, std::string& password, std::string& error) {
  WipeSecret(password);
  if (!file.empty()) return ReadFile(file, password, error);
  if (env.empty()) return error = "No Password Source", false;
  const char* value = std::getenv(env.c_str());
  if (value == nullptr || *value == '\0') return error = "Password Variable Not Set: " + env, false;
  password = value;
  return true;
}

}  // namespace mv
