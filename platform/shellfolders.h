#pragma once
// The machine-specific places the special macros stand for (desktop, documents,
// program directory, first CD drive, ...), behind one interface so that tests
// can set them.

#include <functional>
#include <map>
#include <optional>
#include <string>

namespace mv {

class ShellFolders {
 public:
  virtual ~ShellFolders() = default;

  // Value of a special folder by its upper-case name ("DESKTOP", "TEMPDIR", ...).
  // A name with no Linux counterpart gives "" (as an unreadable setting does);
  // std::nullopt means "no value at all": the name is unknown, or no Office
  // version was found for MSOFFICEVERSIONSHORT.
  virtual std::optional<std::string> Value(const std::string& upperName) const = 0;
};

// Reads the values from this machine on every call:
//   DESKTOP, PERSONAL  XDG user dirs ($XDG_CONFIG_HOME or ~/.config)/user-dirs.dirs,
//                      XDG_DESKTOP_DIR / XDG_DOCUMENTS_DIR; unset gives
//                      ~/Desktop and ~ respectively (as xdg-user-dir answers)
//   APPDATA            $XDG_CONFIG_HOME, else ~/.config
//   STARTMENU          $XDG_DATA_HOME/applications, else ~/.local/share/applications
//   TEMPDIR            $TMPDIR, else /tmp
//   EXEPATH            directory of the running program
//   FIRSTCDDRIVE       mount point of the first iso9660/udf line of the mount
//                      table, with a trailing "/"; "" when there is none
//   COOKIES FAVORITES SENDTO PROGRAMFILES WINDIR WINSYSDIR   ""
//   MSOFFICEVERSIONSHORT                                    std::nullopt
class SystemShellFolders : public ShellFolders {
 public:
  using EnvFn = std::function<std::optional<std::string>(const std::string& name)>;

  // Where the values come from; tests point these at their own files.
  struct Sources {
    EnvFn env;                                // empty: the process environment
    std::string mountTable = "/proc/mounts";  // mount table to scan for CD drives
    std::string exeLink = "/proc/self/exe";   // link to the running program
  };

  SystemShellFolders();
  explicit SystemShellFolders(Sources sources);

  std::optional<std::string> Value(const std::string& upperName) const override;

 private:
  std::optional<std::string> Env(const std::string& name) const;
  std::string Home() const;
  std::string XdgUserDir(const std::string& key, const std::string& fallback) const;
  std::string FirstCdDrive() const;
  std::string ExeDir() const;

  Sources sources_;
};

// Fixed values set by the caller (tests); unset names give std::nullopt.
class FixedShellFolders : public ShellFolders {
 public:
  void Set(const std::string& upperName, std::string value) { values_[upperName] = std::move(value); }
  void Unset(const std::string& upperName) { values_.erase(upperName); }
  std::optional<std::string> Value(const std::string& upperName) const override;

 private:
  std::map<std::string, std::string> values_;
};

// The short Office version ("12.0"): the highest v from 20 down to 10 for which
// the keys "\Software\Microsoft\Office\<v>.0\Common", "...\Word" and "...\Excel"
// all exist; std::nullopt when none qualifies.
std::optional<std::string> OfficeVersionShort(const std::function<bool(const std::string& key)>& keyExists);

}  // namespace mv
