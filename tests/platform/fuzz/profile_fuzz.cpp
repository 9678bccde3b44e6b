// Fuzz harness for the INI reader and its writes: the input is the file.
// Beyond not crashing, it checks that the one-pass snapshot and the single
// reads agree on every key, and that writing one key reads back as written
// and leaves every other key's value alone.
// ./test runs it through tests/support/fuzzdriver.cpp; with libFuzzer, from
// the source root:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. tests/platform/fuzz/profile_fuzz.cpp platform/*.cpp -o /tmp/profile_fuzz
//   /tmp/profile_fuzz -max_total_time=60 tests/platform/fuzz/seeds
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/profile.h"

namespace {

// The one file every input is written to, removed with its folder at exit.
// In memory where there is /dev/shm: every write flushes the file and its
// folder, which on a disk costs more than the rest of the run.
class FuzzFile {
 public:
  FuzzFile() {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string dir = (base / "profile_fuzz.XXXXXX").string();
    if (!::mkdtemp(dir.data())) std::abort();
    dir_ = dir;
    path_ = (dir_ / "fuzz.ini").string();
  }
  ~FuzzFile() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::string& Path() const { return path_; }

 private:
  std::filesystem::path dir_;
  std::string path_;
};

[[noreturn]] void Fail(const char* what, const uint8_t* data, size_t size) {
  std::fprintf(stderr, "profile_fuzz: %s; input:\n", what);
  for (size_t i = 0; i < size; ++i) std::fprintf(stderr, "\\x%02x", data[i]);
  std::fprintf(stderr, "\n");
  std::abort();
}

// Every key of the first section of each name, with the value a read gives.
std::vector<std::pair<std::pair<std::string, std::string>, std::string>> AllValues(const std::string& file) {
  static const std::string kMissing = "\x01missing";
  std::vector<std::pair<std::pair<std::string, std::string>, std::string>> values;
  for (const std::string& section : mv::ProfileSections(file))
    for (const std::string& key : mv::ProfileKeys(file, section))
      values.push_back({{section, key}, mv::ProfileReadString(file, section, key, kMissing)});
  return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzFile file;
  const std::string& path = file.Path();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) std::abort();
  }

  const auto before = AllValues(path);
  const mv::ProfileSnapshot snapshot(path);
  for (const auto& [name, value] : before) {
    if (name.first.empty()) continue;  // a nameless section is read by neither
    if (snapshot.ReadString(name.first, name.second, "\x01missing") != value)
      Fail("snapshot and single read differ", data, size);
    snapshot.ReadInt(name.first, name.second, 0);
    snapshot.ReadInt64(name.first, name.second, 0);
    snapshot.ReadDouble(name.first, name.second, 0);
  }
  snapshot.IgnoredLines();

  // A value from the input's first bytes, kept to what a line can hold.
  std::string value(reinterpret_cast<const char*>(data), std::min<size_t>(size, 40));
  value = value.substr(0, value.find_first_of(std::string("\r\n\0", 3)));
  if (!mv::ProfileWriteString(path, "Fuzz", "Written", value)) Fail("write failed", data, size);
  if (mv::ProfileReadString(path, "Fuzz", "Written", "\x01missing") != value)
    Fail("written value reads back otherwise", data, size);
  for (const auto& [name, old] : before) {
    if (name.first.empty()) continue;
    const bool same_key = ::strcasecmp(name.first.c_str(), "Fuzz") == 0 &&
                          ::strcasecmp(name.second.c_str(), "Written") == 0;
    if (!same_key && mv::ProfileReadString(path, name.first, name.second, "\x01missing") != old)
      Fail("a write changed another key", data, size);
  }
  return 0;
}
