#pragma once
// Macros in template paths: %NAME% is the environment variable NAME, %*NAME% a
// built-in special value (desktop, program directory, first CD drive, ...).
// Resolved special values are cached for the life of the resolver; %*HALT%
// stops all further resolution. Main thread only: nothing here is locked.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/shellfolders.h"

namespace mv {

class MacroResolver {
 public:
  using Sink = std::function<void(const std::string&)>;
  using EnvFn = std::function<std::optional<std::string>(const std::string& name)>;

  // Special values come from folders (the system's when null); environment
  // variables from env (the process environment when empty).
  explicit MacroResolver(std::shared_ptr<const ShellFolders> folders = nullptr, EnvFn env = {});

  // Replaces the macros of s. Unresolvable ones stay as written (an unknown
  // special becomes its name with "*"); from the 17th macro of a text on, and
  // for everything after HALT, the text is returned unchanged.
  std::string ResolveMacros(const std::string& s);

  // name is the text between the percent signs. Returns true exactly when it
  // begins with "*"; value receives the special value, or name itself when it
  // is unknown or has no value.
  bool SolveSpecial(const std::string& name, std::string& value);

  // Receives the diagnostics (and the trace when switched on); must not throw.
  void SetDiagnosticSink(Sink sink) { sink_ = std::move(sink); }
  // Trace texts are only wanted when hunting a resolution problem.
  void SetTrace(bool on) { trace_ = on; }

  bool Stopped() const { return MacroStop; }
  int32_t Depth() const { return MacroDepth; }

 private:
  const std::string* Cached(const std::string& name) const;
  void Diagnose(const std::string& text) const;
  void Trace(const std::string& text) const;

  std::shared_ptr<const ShellFolders> folders_;
  EnvFn env_;
  Sink sink_;
  bool trace_ = false;

  // (key, value) pairs, keys "*" + upper-cased name, only ever appended.
  std::vector<std::pair<std::string, std::string>> MacroCache;
  int32_t MacroDepth = 0;
  bool MacroStop = false;
};

// The process-wide resolver (system shell folders and environment), created on
// first use and never reset.
MacroResolver& ProcessMacroResolver();

// ProcessMacroResolver().ResolveMacros(s) / .SolveSpecial(name, value).
std::string ResolveMacros(const std::string& s);
bool SolveSpecial(const std::string& name, std::string& value);

}  // namespace mv
