#pragma once
// INI ("profile") files with the behaviour of the classic profile functions:
// sections and keys case-insensitive, first match wins, blanks around keys and
// values trimmed, one pair of enclosing quotes stripped on read, values cut at
// 2047 characters, a missing file reads as empty. Every write goes to disk at
// once through a temporary file and rename, so a crash leaves the old or the
// new file, never a mix. Written lines end in CR LF; reading accepts LF and CR.
// Thread-safe: calls on one file from several threads are serialised.

#include <cstdint>
#include <functional>
#include <string_view>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mv {

// Longest value a read returns (the classic 2048-byte buffer).
inline constexpr std::size_t kProfileValueMax = 2047;

// Largest file taken as a profile. Beyond it the file is damage or a wrong
// path: reads give the defaults and writes fail, leaving it untouched.
inline constexpr std::size_t kProfileFileMax = std::size_t{16} << 20;

// The value of key in section, or def when the file, section or key is missing.
std::string ProfileReadString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& def);

// Integer read: decimal with optional "-"; "$hex", "0xhex" and "0Xhex" are hexadecimal.
// An empty or malformed value, or one outside 32 bits, gives def.
int32_t ProfileReadInt(const std::string& file, const std::string& section,
                       const std::string& key, int32_t def);

// 64-bit decimal read ("$" or "0x" hexadecimal accepted); malformed or missing gives def.
int64_t ProfileReadInt64(const std::string& file, const std::string& section,
                         const std::string& key, int64_t def);

// Floating-point read accepting "." or "," as separator; malformed, missing,
// infinite or NaN gives def.
double ProfileReadDouble(const std::string& file, const std::string& section,
                         const std::string& key, double def);

// Writes key=value: replaces an existing key in place, appends a new key at the
// end of its section, appends a missing section at the end of the file.
// A value containing CR or LF is cut at the first one (one key, one line).
// Returns false when the file cannot be written (the old file stays intact).
bool ProfileWriteString(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value);
bool ProfileWriteInt(const std::string& file, const std::string& section,
                     const std::string& key, int64_t value);
// Writes with up to 15 significant digits and the locale's decimal separator.
bool ProfileWriteDouble(const std::string& file, const std::string& section,
                        const std::string& key, double value);

// Removes a key; the section header stays even when it was the last key.
// A missing file, section or key is success.
bool ProfileDeleteKey(const std::string& file, const std::string& section,
                      const std::string& key);

// Removes a section with all its keys. A missing section is success.
bool ProfileEraseSection(const std::string& file, const std::string& section);

// Section names in file order (as written in the file).
std::vector<std::string> ProfileSections(const std::string& file);

// Key names of a section in file order.
std::vector<std::string> ProfileKeys(const std::string& file, const std::string& section);

// Several writes to one file that land together: the file is read, every
// edit applied in order, and the result written once (temporary file and
// rename). A save of many keys then costs one write, and a crash leaves the
// whole old or the whole new file. The edits apply to the file as it is at
// Commit, under the same lock as the single writes.
class ProfileBatch {
 public:
  explicit ProfileBatch(std::string file);
  ~ProfileBatch();
  ProfileBatch(const ProfileBatch&) = delete;
  ProfileBatch& operator=(const ProfileBatch&) = delete;

  // False when the write can never succeed (a name that cannot be written, a
  // non-finite number); nothing is queued then.
  bool WriteString(const std::string& section, const std::string& key, const std::string& value);
  bool WriteInt(const std::string& section, const std::string& key, int64_t value);
  bool WriteDouble(const std::string& section, const std::string& key, double value);
  void EraseSection(const std::string& section);
  // Writes the file; false when it cannot be written (the old file stays).
  bool Commit();

 private:
  bool Add(std::function<bool(std::string_view, std::string*)> edit);
  std::string file_;
  struct Edits;
  std::unique_ptr<Edits> edits_;
};

// One file read once, for loads that ask for many keys (a job file with
// thousands of actions would otherwise be parsed once per key). Same reading
// rules as the functions above; a missing or unreadable file reads as empty.
class ProfileSnapshot {
 public:
  explicit ProfileSnapshot(const std::string& file);
  ~ProfileSnapshot();
  ProfileSnapshot(ProfileSnapshot&&) noexcept;
  ProfileSnapshot& operator=(ProfileSnapshot&&) noexcept;

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) const;
  int32_t ReadInt(const std::string& section, const std::string& key, int32_t def) const;
  int64_t ReadInt64(const std::string& section, const std::string& key, int64_t def) const;
  double ReadDouble(const std::string& section, const std::string& key, double def) const;
  // Line (from 1) of the key a read of section and key returns; 0 when none.
  int KeyLine(const std::string& section, const std::string& key) const;

  // A line no read ever returns anything of, in file order.
  struct IgnoredLine {
    enum Reason {
      kNotAKeyLine,      // neither [section], key=value, comment nor blank
      kOutsideSection,   // key=value before the first [section]
      kRepeatedSection,  // a second [section] of a name: its keys are not read
      kRepeatedKey,      // a second key of a name in its section
    };
    int Line = 0;
    Reason Why = kNotAKeyLine;
    std::string Name;   // of the section or key
    int FirstLine = 0;  // of the section or key that is read instead
  };
  const std::vector<IgnoredLine>& IgnoredLines() const;

 private:
  std::optional<std::string> Value(const std::string& section, const std::string& key) const;
  struct Index;
  std::unique_ptr<Index> index_;
};

}  // namespace mv
