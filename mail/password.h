#pragma once
// Where the SMTP login's password comes from: a file of its own that only
// its owner may read (as ssh insists for keys), or an environment variable
// for services. The password is never kept in a settings file.

#include <string>

namespace mv {

// Longest password file read; a longer one is refused, not cut.
inline constexpr size_t kMaxPasswordFile = 4096;

// Reads the password: from file when given, else from the environment
// variable env. The first line of the file counts (its line break removed).
// False with a reason that names the file or variable but never the
// password: "Password File Not Found: F", "Password File Unsafe: F may be
// read or written by others", "Password File Not Owned: F", "Password
// Variable Not Set: V", "No Password Source", ...
bool ReadPassword(const std::string& file, const std::string& env, std::string& password, std::string& error);

// Overwrites the text's bytes before it is freed.
void WipeSecret(std::string& text);

}  // namespace mv
