#pragma once
// A fresh directory per test, removed with everything in it when the owner
// goes out of scope, also when the test fails.

#include <string>

namespace mv::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory, with a trailing "/".
  const std::string& path() const { return path_; }
  // path() + relative name.
  std::string operator/(const std::string& name) const { return path_ + name; }

  // Writes a file (creating missing parent directories) and returns its path.
  std::string Write(const std::string& name, const std::string& content) const;
  // Whole content of a file, or "" when it cannot be read.
  static std::string Read(const std::string& file);

 private:
  std::string path_;
};

}  // namespace mv::test
