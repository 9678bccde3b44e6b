#include "platform/shellfolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <vector>

namespace mv {

namespace {

// Names the resolver asks for that have no Linux meaning: an unreadable value.
bool IsWindowsOnlyFolder(const std::string& name) {
  return name == "COOKIES" || name == "FAVORITES" || name == "SENDTO" || name == "PROGRAMFILES" ||
         name == "WINDIR" || name == "WINSYSDIR";
}

// The mount table writes blanks, tabs, newlines and backslashes as \ooo.
std::string UnescapeMountField(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' && s[i + 2] >= '0' &&
        s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
      out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

SystemShellFolders::SystemShellFolders() : SystemShellFolders(Sources{}) {}

SystemShellFolders::SystemShellFolders(Sources sources) : sources_(std::move(sources)) {}

std::optional<std::string> SystemShellFolders::Env(const std::string& name) const {
  if (sources_.env) return sources_.env(name);
  const char* v = std::getenv(name.c_str());
  if (v == nullptr) return std::nullopt;
  return std::string(v);
}

std::string SystemShellFolders::Home() const {
  std::optional<std::string> home = Env("HOME");
  if (home && !home->empty()) return *home;
  if (sources_.env) return "";  // a substituted environment must not see the real user
  std::vector<char> buf(16384);
  passwd pw{};
  passwd* result = nullptr;
  if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &result) == 0 && result != nullptr &&
      result->pw_dir != nullptr)
    return result->pw_dir;
  return "";
}

// Same rules as xdg-user-dirs' own lookup: the value is quoted and starts with
// $HOME or "/" (anything else is ignored), backslash escapes one character,
// and the last assignment wins.
std::string SystemShellFolders::XdgUserDir(const std::string& key, const std::string& fallback) const {
  std::string home = Home();
  if (home.empty()) return "";
  std::optional<std::string> configHome = Env("XDG_CONFIG_HOME");
  std::string dir = (configHome && !configHome->empty() && (*configHome)[0] == '/') ? *configHome : home + "/.config";
  std::ifstream in(dir + "/user-dirs.dirs");
  std::string result;
  bool found = false;
  std::string line;
  while (std::getline(in, line)) {
    std::size_t p = line.find_first_not_of(" \t");
    if (p == std::string::npos || line.compare(p, key.size(), key) != 0) continue;
    p = line.find_first_not_of(" \t", p + key.size());
    if (p == std::string::npos || line[p] != '=') continue;
    p = line.find_first_not_of(" \t", p + 1);
    if (p == std::string::npos || line[p] != '"') continue;
    ++p;
    std::string value;
    if (line.compare(p, 5, "$HOME") == 0 && (p + 5 >= line.size() || line[p + 5] == '/' || line[p + 5] == '"')) {
      value = home;
      p += 5;
    } else if (p >= line.size() || line[p] != '/') {
      continue;
    }
    while (p < line.size() && line[p] != '"') {
      if (line[p] == '\\' && p + 1 < line.size()) ++p;
      value += line[p++];
    }
    result = value;
    found = true;
  }
  return found ? result : fallback;
}

std::string SystemShellFolders::FirstCdDrive() const {
  std::ifstream in(sources_.mountTable);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::size_t p = 0;
    while (fields.size() < 3) {
      std::size_t b = line.find_first_not_of(" \t", p);
      if (b == std::string::npos) break;
      std::size_t e = line.find_first_of(" \t", b);
      fields.push_back(line.substr(b, e == std::string::npos ? std::string::npos : e - b));
      if (e == std::string::npos) break;
      p = e;
    }
    if (fields.size() < 3 || (fields[2] != "iso9660" && fields[2] != "udf")) continue;
    std::string mountPoint = UnescapeMountField(fields[1]);
    if (mountPoint.empty() || mountPoint.back() != '/') mountPoint += '/';
    return mountPoint;
  }
  return "";
}

std::string SystemShellFolders::ExeDir() const {
  std::vector<char> buf(4096);
  for (;;) {
    ssize_t n = ::readlink(sources_.exeLink.c_str(), buf.data(), buf.size());
    if (n < 0) return "";
    if (static_cast<std::size_t>(n) < buf.size()) {
      std::string path(buf.data(), static_cast<std::size_t>(n));
      std::size_t slash = path.rfind('/');
      if (slash == std::string::npos) return "";
      return slash == 0 ? "/" : path.substr(0, slash);
    }
    if (buf.size() >= (1u << 20)) return "";
    buf.resize(buf.size() * 2);
  }
}

std::optional<std::string> SystemShellFolders::Value(const std::string& upperName) const {
  if (upperName == "DESKTOP") {
    std::string home = Home();
    return XdgUserDir("XDG_DESKTOP_DIR", home.empty() ? "" : home + "/Desktop");
  }
  if (upperName == "PERSONAL") return XdgUserDir("XDG_DOCUMENTS_DIR", Home());
  if (upperName == "APPDATA") {
    std::optional<std::string> v = Env("XDG_CONFIG_HOME");
    if (v && !v->empty() && (*v)[0] == '/') return *v;
    std::string home = Home();
    return home.empty() ? "" : home + "/.config";
  }
  if (upperName == "STARTMENU") {
    std::optional<std::string> v = Env("XDG_DATA_HOME");
    if (v && !v->empty() && (*v)[0] == '/') return *v + "/applications";
    std::string home = Home();
    return home.empty() ? "" : home + "/.local/share/applications";
  }
  if (upperName == "TEMPDIR") {
    std::optional<std::string> v = Env("TMPDIR");
    return (v && !v->empty()) ? *v : std::string("/tmp");
  }
  if (upperName == "EXEPATH") return ExeDir();
  if (upperName == "FIRSTCDDRIVE") return FirstCdDrive();
  if (upperName == "MSOFFICEVERSIONSHORT") return OfficeVersionShort([](const std::string&) { return false; });
  if (IsWindowsOnlyFolder(upperName)) return std::string();
  return std::nullopt;
}

std::optional<std::string> FixedShellFolders::Value(const std::string& upperName) const {
  auto it = values_.find(upperName);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> OfficeVersionShort(const std::function<bool(const std::string& key)>& keyExists) {
  for (int v = 20; v >= 10; --v) {
    std::string base = "\\Software\\Microsoft\\Office\\" + std::to_string(v) + ".0\\";
    if (keyExists(base + "Common") && keyExists(base + "Word") && keyExists(base + "Excel"))
      return std::to_string(v) + ".0";
  }
  return std::nullopt;
}

}  // namespace mv
