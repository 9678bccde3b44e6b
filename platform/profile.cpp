#include "platform/profile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

#include "platform/textcase.h"
#include "platform/uniquefd.h"

namespace mv {
namespace {

constexpr std::string_view kEol = "\r\n";
// Editors on other systems start UTF-8 files with it; reading skips it,
// edits keep it.
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// Temporary files of a write are named file + kTempInfix + pid-counter.
constexpr std::string_view kTempInfix = ".~tmp";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// want is already folded; folding keeps the length, which spares most
// comparisons the folding of the line's name.
bool SameName(std::string_view name, const std::string& want) {
  return name.size() == want.size() && UpperCase(name) == want;
}

enum class LineKind { kBlank, kComment, kSection, kKey, kOther };

struct Line {
  std::size_t begin = 0;  // first byte of the line
  std::size_t end = 0;    // end of the text, before the terminator
  std::size_t next = 0;   // first byte after the terminator
  LineKind kind = LineKind::kBlank;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key value, trimmed, quotes still on
  bool terminated() const { return next > end; }
};

// Splits at CR LF, LF or a lone CR; one pass, no copies.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  bool Next(Line* line) {
    if (pos_ >= text_.size()) return false;
    line->begin = pos_;
    std::size_t end = text_.find_first_of("\r\n", pos_);
    if (end == std::string_view::npos) end = text_.size();
    std::size_t next = end;
    if (next < text_.size()) {
      next += (text_[next] == '\r' && next + 1 < text_.size() && text_[next + 1] == '\n') ? 2 : 1;
    }
    line->end = end;
    line->next = next;
    pos_ = next;
    std::string_view raw = text_.substr(line->begin, end - line->begin);
    if (line->begin == 0 && raw.starts_with(kUtf8Bom)) raw.remove_prefix(kUtf8Bom.size());
    Classify(raw, line);
    return true;
  }

 private:
  static void Classify(std::string_view raw, Line* line) {
    line->name = {};
    line->value = {};
    std::string_view t = Trim(raw);
    if (t.empty()) {
      line->kind = LineKind::kBlank;
    } else if (t.front() == ';') {
      line->kind = LineKind::kComment;
    } else if (t.front() == '[') {
      std::size_t close = t.find(']');
      if (close == std::string_view::npos) {
        line->kind = LineKind::kOther;
      } else {
        line->kind = LineKind::kSection;
        line->name = Trim(t.substr(1, close - 1));
      }
    } else if (std::size_t eq = t.find('='); eq != std::string_view::npos) {
      line->kind = LineKind::kKey;
      line->name = Trim(t.substr(0, eq));
      line->value = Trim(t.substr(eq + 1));
    } else {
      line->kind = LineKind::kOther;
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

struct Loaded {
  std::string text;
  bool exists = false;
  struct stat st {};
};

// Whole file. A missing file is an empty, non-existing profile; anything else
// that cannot be read (rights, not a regular file, too large) is a failure so
// that a write never replaces a file it could not read.
bool LoadFile(const std::string& path, Loaded* out) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.Valid()) {
    if (errno == ENOENT) {
      out->exists = false;
      return true;
    }
    return false;
  }
  if (::fstat(fd.Get(), &out->st) != 0 || !S_ISREG(out->st.st_mode)) return false;
  if (static_cast<unsigned long long>(out->st.st_size) > kProfileFileMax) return false;
  out->exists = true;
  out->text.clear();
  out->text.reserve(static_cast<std::size_t>(out->st.st_size));
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd.Get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    out->text.append(buf, static_cast<std::size_t>(n));
    if (out->text.size() > kProfileFileMax) return false;  // grew while we read
  }
  return true;
}

// The raw (trimmed, still quoted) value of the key in the first section of
// that name, if any.
std::optional<std::string_view> FindValue(std::string_view text, const std::string& section,
                                          const std::string& key) {
  LineReader reader(text);
  Line line;
  bool inside = false;
  while (reader.Next(&line)) {
    if (line.kind == LineKind::kSection) {
      if (inside) return std::nullopt;  // first section of that name wins
      inside = SameName(line.name, section);
    } else if (inside && line.kind == LineKind::kKey && SameName(line.name, key)) {
      return line.value;
    }
  }
  return std::nullopt;
}

std::string Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v.remove_prefix(1);
    v.remove_suffix(1);
  }
  if (v.size() > kProfileValueMax) {
    // Cut before a UTF-8 character the limit would split, not inside it;
    // bytes that are no UTF-8 are cut at the limit.
    constexpr std::size_t max = kProfileValueMax;
    auto byte = [&v](std::size_t i) { return static_cast<unsigned char>(v[i]); };
    std::size_t start = max;
    while (start > 0 && max - start < 3 && (byte(start) & 0xC0) == 0x80) --start;
    const unsigned char lead = byte(start);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    v = v.substr(0, start < max && lead >= 0xC0 && start + length > max ? start : max);
  }
  return std::string(v);
}

// Readers never take the write lock: a writer replaces the file by rename,
// so a reader sees the old or the new file whole.
std::optional<std::string> ReadValue(const std::string& file, const std::string& section,
                                     const std::string& key) {
  std::string_view s = Trim(section), k = Trim(key);
  if (s.empty() || k.empty()) return std::nullopt;
  Loaded loaded;
  if (!LoadFile(file, &loaded)) return std::nullopt;
  std::optional<std::string_view> raw = FindValue(loaded.text, UpperCase(s), UpperCase(k));
  if (!raw) return std::nullopt;
  return Unquote(*raw);
}

template <typename T>
std::optional<T> ParseInteger(std::string_view s) {
  using U = std::make_unsigned_t<T>;
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s.front() == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return std::nullopt;
  U u = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), u, base);
  if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
  if (base == 16) {
    // Hexadecimal is a bit pattern: "$FFFFFFFF" is -1 for a 32-bit field.
    U bits = negative ? static_cast<U>(U{0} - u) : u;
    return static_cast<T>(bits);
  }
  constexpr U kMax = static_cast<U>(std::numeric_limits<T>::max());
  if (!negative) {
    if (u > kMax) return std::nullopt;
    return static_cast<T>(u);
  }
  if (u > kMax + 1) return std::nullopt;
  return static_cast<T>(U{0} - u);
}

std::optional<double> ParseDouble(std::string_view s) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  std::string t(s);
  for (char& c : t) {
    if (c == ',') c = '.';
    // Only plain decimal notation; keeps out "inf", "nan" and hex floats.
    bool ok = (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
    if (!ok) return std::nullopt;
  }
  double d = 0;
  auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), d, std::chars_format::general);
  if (ec != std::errc() || ptr != t.data() + t.size() || !std::isfinite(d)) return std::nullopt;
  return d;
}

// Names that would change the file's structure when written are refused.
bool ValidSection(std::string_view s) {
  return !s.empty() && s.find_first_of(std::string_view("\r\n]\0", 4)) == std::string_view::npos;
}

bool ValidKey(std::string_view k) {
  return !k.empty() && k.front() != '[' && k.front() != ';' &&
         k.find_first_of(std::string_view("\r\n=\0", 4)) == std::string_view::npos;
}

// The value as it goes into the file: one line, and quoted where reading
// would otherwise lose its outer blanks or its own enclosing quotes.
std::string EncodeValue(std::string_view v) {
  std::size_t cut = v.find_first_of(std::string_view("\r\n\0", 3));
  if (cut != std::string_view::npos) v = v.substr(0, cut);
  bool quote = !v.empty() && (IsBlank(v.front()) || IsBlank(v.back()) ||
                              (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') &&
                               v.back() == v.front()));
  if (!quote) return std::string(v);
  std::string out;
  out.reserve(v.size() + 2);
  out += '"';
  out += v;
  out += '"';
  return out;
}

std::mutex& WriteMutex() {
  static std::mutex mutex;
  return mutex;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Removes the temporary files of earlier writes of path that a crash or a
// kill left behind: ours (the write lock is held, so none is in use) and
// those of processes that are gone. Another live writer's file stays.
void RemoveStaleTempFiles(const std::string& dir, std::string_view name) {
  UniqueFd dfd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dfd.Valid()) return;
  DIR* d = ::fdopendir(dfd.Get());
  if (d == nullptr) return;
  const int dirFd = dfd.Release();  // the stream owns it now
  const std::string prefix = std::string(name) + std::string(kTempInfix);
  std::vector<std::string> stale;
  while (const dirent* e = ::readdir(d)) {
    std::string_view n = e->d_name;
    if (!n.starts_with(prefix)) continue;
    n.remove_prefix(prefix.size());
    // pid "-" counter, digits only.
    const std::size_t dash = n.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash + 1 == n.size() ||
        n.find_first_not_of("0123456789-") != std::string_view::npos || n.find('-', dash + 1) != std::string_view::npos)
      continue;
    long pid = 0;
    if (std::from_chars(n.data(), n.data() + dash, pid).ec != std::errc() || pid <= 0) continue;
    if (pid != ::getpid() && !(::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)) continue;
    stale.emplace_back(e->d_name);
  }
  for (const std::string& n : stale) {
    struct stat st {};
    if (::fstatat(dirFd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
      ::unlinkat(dirFd, n.c_str(), 0);
  }
  ::closedir(d);  // closes dirFd
}

// Writes content to a temporary file beside path, syncs it and renames it
// over path. On failure path is untouched and the temporary file removed.
bool ReplaceFile(const std::string& path, std::string_view content, const Loaded& old) {
  static unsigned long counter = 0;  // guarded by WriteMutex()
  std::size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  RemoveStaleTempFiles(dir, slash == std::string::npos ? std::string_view(path) : std::string_view(path).substr(slash + 1));

  std::string tmp;
  int raw_fd = -1;
  for (int attempt = 0; attempt < 8 && raw_fd < 0; ++attempt) {
    tmp = path + std::string(kTempInfix) + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    // An existing file may hold secrets: its new content is not readable by
    // others before the final modes are set.
    raw_fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, old.exists ? 0600 : 0666);
    if (raw_fd < 0 && errno != EEXIST) return false;
  }
  UniqueFd fd(raw_fd);
  if (!fd.Valid()) return false;

  bool ok = true;
  if (old.exists) {
    // Owner first: chown clears set-id bits that the chmod then restores.
    if (::fchown(fd.Get(), old.st.st_uid, old.st.st_gid) != 0) {
      // Not permitted for an ordinary user on someone else's file; the file
      // then becomes ours, as with any editor that saves by rename.
    }
    ok = ::fchmod(fd.Get(), old.st.st_mode & 07777) == 0;
  }
  ok = ok && WriteAll(fd.Get(), content) && ::fsync(fd.Get()) == 0;
  ok = fd.Close() == 0 && ok;
  ok = ok && ::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(tmp.c_str());
    return false;
  }
  // Make the rename itself durable; the data is safe either way.
  UniqueFd dir_fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir_fd.Valid()) ::fsync(dir_fd.Get());
  return true;
}

// Read, edit, replace under the write lock. edit returns false when there is
// nothing to change (the file is then not written, nor created).
template <typename Edit>
bool ModifyFile(const std::string& file, Edit edit) {
  std::lock_guard<std::mutex> lock(WriteMutex());
  std::string path = file;
  struct stat lst {};
  if (::lstat(file.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
    // Write through a link to its target instead of replacing the link.
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(file.c_str(), nullptr), &std::free);
    if (!real) return false;
    path = real.get();
  }
  Loaded old;
  if (!LoadFile(path, &old)) return false;
  std::string out;
  if (!edit(std::string_view(old.text), &out)) return true;
  if (old.exists && out == old.text) return true;
  if (out.size() > kProfileFileMax) return false;
  return ReplaceFile(path, out, old);
}

// One edit of a file's text: false when there is nothing to change.
using Edit = std::function<bool(std::string_view text, std::string* out)>;

// The edit that writes key=value; empty when the names cannot be written.
Edit MakeWriteEdit(const std::string& section, const std::string& key, std::string_view value) {
  std::string s(Trim(section)), k(Trim(key));
  if (!ValidSection(s) || !ValidKey(k)) return {};
  std::string encoded = EncodeValue(value);
  std::string want_s = UpperCase(s), want_k = UpperCase(k);

  return [s, k, encoded, want_s, want_k](std::string_view text, std::string* out) {
    LineReader reader(text);
    Line line;
    bool inside = false, found_section = false;
    bool found_key = false;
    Line key_line;     // the key to replace
    Line insert_line;  // the new key goes after this line
    while (reader.Next(&line)) {
      if (line.kind == LineKind::kSection) {
        if (inside) break;
        if (SameName(line.name, want_s)) {
          inside = found_section = true;
          insert_line = line;
        }
      } else if (inside && line.kind == LineKind::kKey) {
        if (SameName(line.name, want_k)) {
          found_key = true;
          key_line = line;
          break;
        }
        insert_line = line;
      }
    }

    out->reserve(text.size() + s.size() + k.size() + encoded.size() + 8);
    if (found_key) {
      // Keeps the key as it is spelled in the file.
      out->append(text.substr(0, key_line.begin));
      out->append(key_line.name).append("=").append(encoded).append(kEol);
      out->append(text.substr(key_line.next));
    } else if (found_section) {
      out->append(text.substr(0, insert_line.next));
      if (!insert_line.terminated()) out->append(kEol);
      out->append(k).append("=").append(encoded).append(kEol);
      out->append(text.substr(insert_line.next));
    } else {
      out->append(text);
      if (!text.empty() && text.back() != '\n' && text.back() != '\r') out->append(kEol);
      out->append("[").append(s).append("]").append(kEol);
      out->append(k).append("=").append(encoded).append(kEol);
    }
    return true;
  };
}

bool WriteValue(const std::string& file, const std::string& section, const std::string& key,
                std::string_view value) {
  Edit edit = MakeWriteEdit(section, key, value);
  return edit && ModifyFile(file, edit);
}

}  // namespace

std::string ProfileReadString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& def) {
  std::optional<std::string> v = ReadValue(file, section, key);
  return v ? *v : def;
}

int32_t ProfileReadInt(const std::string& file, const std::string& section, const std::string& key,
                       int32_t def) {
  std::optional<std::string> v = ReadValue(file, section, key);
  if (!v) return def;
  return ParseInteger<int32_t>(*v).value_or(def);
}

int64_t ProfileReadInt64(const std::string& file, const std::string& section,
                         const std::string& key, int64_t def) {
  std::optional<std::string> v = ReadValue(file, section, key);
  if (!v) return def;
  return ParseInteger<int64_t>(*v).value_or(def);
}

double ProfileReadDouble(const std::string& file, const std::string& section,
                         const std::string& key, double def) {
  std::optional<std::string> v = ReadValue(file, section, key);
  if (!v) return def;
  return ParseDouble(*v).value_or(def);
}

bool ProfileWriteString(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value) {
  return WriteValue(file, section, key, value);
}

bool ProfileWriteInt(const std::string& file, const std::string& section, const std::string& key,
                     int64_t value) {
  return WriteValue(file, section, key, std::to_string(value));
}

namespace {

// Up to 15 significant digits with the locale's separator; nothing for an
// infinite or NaN value, a fault upstream that would read back as the default
// without anyone noticing.
std::optional<std::string> DoubleText(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  char buf[64];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  if (ec != std::errc()) return std::nullopt;
  std::string text(buf, ptr);
  const char* point = std::localeconv()->decimal_point;
  std::string sep = (point != nullptr && *point != '\0') ? point : ".";
  if (std::size_t dot = text.find('.'); dot != std::string::npos) text.replace(dot, 1, sep);
  return text;
}

}  // namespace

bool ProfileWriteDouble(const std::string& file, const std::string& section,
                        const std::string& key, double value) {
  const std::optional<std::string> text = DoubleText(value);
  return text && WriteValue(file, section, key, *text);
}

bool ProfileDeleteKey(const std::string& file, const std::string& section,
                      const std::string& key) {
  std::string_view s = Trim(section), k = Trim(key);
  if (s.empty() || k.empty()) return true;
  const std::string want_s = UpperCase(s), want_k = UpperCase(k);
  return ModifyFile(file, [&](std::string_view text, std::string* out) {
    // Every copy of the key in the section goes, so a duplicate further down
    // does not surface as the value after the delete.
    LineReader reader(text);
    Line line;
    bool inside = false, seen = false, removed = false;
    out->reserve(text.size());
    while (reader.Next(&line)) {
      if (line.kind == LineKind::kSection) {
        inside = !seen && SameName(line.name, want_s);
        seen = seen || inside;
      } else if (inside && line.kind == LineKind::kKey && SameName(line.name, want_k)) {
        removed = true;
        continue;
      }
      out->append(text.substr(line.begin, line.next - line.begin));
    }
    return removed;
  });
}

namespace {

// The edit that removes every section of that name; empty for an empty name.
Edit MakeEraseEdit(const std::string& section) {
  std::string_view s = Trim(section);
  if (s.empty()) return {};
  std::string want = UpperCase(s);
  return [want](std::string_view text, std::string* out) {
    // Every section of that name goes, so none reappears after the erase.
    LineReader reader(text);
    Line line;
    bool inside = false, removed = false;
    out->reserve(text.size());
    while (reader.Next(&line)) {
      if (line.kind == LineKind::kSection) inside = SameName(line.name, want);
      if (inside) {
        removed = true;
        continue;
      }
      out->append(text.substr(line.begin, line.next - line.begin));
    }
    return removed;
  };
}

}  // namespace

bool ProfileEraseSection(const std::string& file, const std::string& section) {
  Edit edit = MakeEraseEdit(section);
  return !edit || ModifyFile(file, edit);
}

std::vector<std::string> ProfileSections(const std::string& file) {
  std::vector<std::string> names;
  Loaded loaded;
  if (!LoadFile(file, &loaded)) return names;
  std::unordered_set<std::string> seen;
  LineReader reader(loaded.text);
  Line line;
  while (reader.Next(&line)) {
    if (line.kind == LineKind::kSection && seen.insert(UpperCase(line.name)).second)
      names.emplace_back(line.name);
  }
  return names;
}

std::vector<std::string> ProfileKeys(const std::string& file, const std::string& section) {
  std::vector<std::string> names;
  std::string_view s = Trim(section);
  Loaded loaded;
  if (s.empty() || !LoadFile(file, &loaded)) return names;
  const std::string want = UpperCase(s);
  std::unordered_set<std::string> seen;
  LineReader reader(loaded.text);
  Line line;
  bool inside = false;
  while (reader.Next(&line)) {
    if (line.kind == LineKind::kSection) {
      if (inside) break;
      inside = SameName(line.name, want);
    } else if (inside && line.kind == LineKind::kKey && !line.name.empty() &&
               seen.insert(UpperCase(line.name)).second) {
      names.emplace_back(line.name);
    }
  }
  return names;
}

struct ProfileSnapshot::Index {
  // Upper-cased section -> upper-cased key -> unquoted value and its line
  // (from 1); the first section of a name and the first key in it win, as for
  // the single reads.
  struct Entry {
    std::string value;
    int line = 0;
  };
  struct Section {
    int line = 0;
    std::unordered_map<std::string, Entry> keys;
  };
  std::unordered_map<std::string, Section> sections;
  std::vector<IgnoredLine> ignored;
};

ProfileSnapshot::ProfileSnapshot(const std::string& file) : index_(std::make_unique<Index>()) {
  Loaded loaded;
  if (!LoadFile(file, &loaded)) return;
  LineReader reader(loaded.text);
  Line line;
  Index::Section* current = nullptr;
  bool inSection = false;
  std::vector<IgnoredLine>& ignored = index_->ignored;
  for (int number = 1; reader.Next(&line); ++number) {
    if (line.kind == LineKind::kSection) {
      auto [it, fresh] = index_->sections.try_emplace(UpperCase(line.name), Index::Section{number, {}});
      current = fresh ? &it->second : nullptr;
      inSection = true;
      if (!fresh)
        ignored.push_back({number, IgnoredLine::kRepeatedSection, std::string(line.name), it->second.line});
    } else if (line.kind == LineKind::kKey) {
      if (!current) {
        if (!inSection) ignored.push_back({number, IgnoredLine::kOutsideSection, std::string(line.name), 0});
        continue;
      }
      auto [it, fresh] =
          current->keys.try_emplace(UpperCase(line.name), Index::Entry{Unquote(line.value), number});
      if (!fresh)
        ignored.push_back({number, IgnoredLine::kRepeatedKey, std::string(line.name), it->second.line});
    } else if (line.kind == LineKind::kOther) {
      ignored.push_back({number, IgnoredLine::kNotAKeyLine, "", 0});
    }
  }
}

ProfileSnapshot::~ProfileSnapshot() = default;
ProfileSnapshot::ProfileSnapshot(ProfileSnapshot&&) noexcept = default;
ProfileSnapshot& ProfileSnapshot::operator=(ProfileSnapshot&&) noexcept = default;

std::optional<std::string> ProfileSnapshot::Value(const std::string& section,
                                                  const std::string& key) const {
  const auto s = index_->sections.find(UpperCase(Trim(section)));
  if (s == index_->sections.end()) return std::nullopt;
  const auto k = s->second.keys.find(UpperCase(Trim(key)));
  if (k == s->second.keys.end()) return std::nullopt;
  return k->second.value;
}

int ProfileSnapshot::KeyLine(const std::string& section, const std::string& key) const {
  const auto s = index_->sections.find(UpperCase(Trim(section)));
  if (s == index_->sections.end()) return 0;
  const auto k = s->second.keys.find(UpperCase(Trim(key)));
  return k == s->second.keys.end() ? 0 : k->second.line;
}

const std::vector<ProfileSnapshot::IgnoredLine>& ProfileSnapshot::IgnoredLines() const {
  return index_->ignored;
}

std::string ProfileSnapshot::ReadString(const std::string& section, const std::string& key,
                                        const std::string& def) const {
  return Value(section, key).value_or(def);
}

int32_t ProfileSnapshot::ReadInt(const std::string& section, const std::string& key,
                                 int32_t def) const {
  const std::optional<std::string> v = Value(section, key);
  return v ? ParseInteger<int32_t>(*v).value_or(def) : def;
}

int64_t ProfileSnapshot::ReadInt64(const std::string& section, const std::string& key,
                                   int64_t def) const {
  const std::optional<std::string> v = Value(section, key);
  return v ? ParseInteger<int64_t>(*v).value_or(def) : def;
}

double ProfileSnapshot::ReadDouble(const std::string& section, const std::string& key,
                                   double def) const {
  const std::optional<std::string> v = Value(section, key);
  return v ? ParseDouble(*v).value_or(def) : def;
}

struct ProfileBatch::Edits {
  std::vector<Edit> edits;
};

ProfileBatch::ProfileBatch(std::string file)
    : file_(std::move(file)), edits_(std::make_unique<Edits>()) {}
ProfileBatch::~ProfileBatch() = default;

bool ProfileBatch::Add(std::function<bool(std::string_view, std::string*)> edit) {
  if (!edit) return false;
  edits_->edits.push_back(std::move(edit));
  return true;
}

bool ProfileBatch::WriteString(const std::string& section, const std::string& key,
                               const std::string& value) {
  return Add(MakeWriteEdit(section, key, value));
}

bool ProfileBatch::WriteInt(const std::string& section, const std::string& key, int64_t value) {
  return Add(MakeWriteEdit(section, key, std::to_string(value)));
}

bool ProfileBatch::WriteDouble(const std::string& section, const std::string& key, double value) {
  const std::optional<std::string> text = DoubleText(value);
  return text && Add(MakeWriteEdit(section, key, *text));
}

void ProfileBatch::EraseSection(const std::string& section) {
  if (Edit edit = MakeEraseEdit(section)) edits_->edits.push_back(std::move(edit));
}

bool ProfileBatch::Commit() {
  std::vector<Edit> edits = std::move(edits_->edits);
  edits_->edits.clear();
  if (edits.empty()) return true;
  return ModifyFile(file_, [&](std::string_view text, std::string* out) {
    std::string current(text);
    bool changed = false;
    for (const Edit& edit : edits) {
      std::string next;
      if (edit(current, &next)) {
        current = std::move(next);
        changed = true;
      }
    }
    *out = std::move(current);
    return changed;
  });
}

}  // namespace mv
