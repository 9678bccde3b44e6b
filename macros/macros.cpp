#include "macros/macros.h"

#include <cstdlib>

#include "platform/paths.h"
#include "platform/textcase.h"

namespace mv {

namespace {

// The special macros; all but HALT and MSOFFICEVERSIONSHORT name a folder.
constexpr const char* kSpecialNames[] = {"HALT",      "APPDATA",      "COOKIES",
                                         "DESKTOP",   "EXEPATH",      "FAVORITES",
                                         "FIRSTCDDRIVE", "MSOFFICEVERSIONSHORT", "PERSONAL",
                                         "PROGRAMFILES", "SENDTO",    "STARTMENU",
                                         "WINSYSDIR", "WINDIR",       "TEMPDIR"};

bool IsSpecialName(const std::string& upperName) {
  for (const char* n : kSpecialNames)
    if (upperName == n) return true;
  return false;
}

}  // namespace

MacroResolver::MacroResolver(std::shared_ptr<const ShellFolders> folders, EnvFn env)
    : folders_(folders ? std::move(folders) : std::make_shared<SystemShellFolders>()), env_(std::move(env)) {}

const std::string* MacroResolver::Cached(const std::string& name) const {
  for (const auto& [key, value] : MacroCache)
    if (SameTextIgnoringCase(key, name)) return &value;
  return nullptr;
}

void MacroResolver::Diagnose(const std::string& text) const {
  if (!sink_) return;
  try {
    sink_(text);
  } catch (...) {
    // A failing log must not stop resolution.
  }
}

void MacroResolver::Trace(const std::string& text) const {
  if (trace_) Diagnose("     dbg--  " + text);
}

std::string MacroResolver::ResolveMacros(const std::string& s) {
  std::size_t a = s.find('%');
  if (a == std::string::npos) return s;
  std::size_t b = s.find('%', a + 1);
  if (b == std::string::npos) return s;
  if (MacroDepth > 15) {
    Diagnose("!!!FATAL: Macro-Auflösung nach 15 Versuchen beeendet!!!");
    return s;
  }
  if (MacroStop) {
    Diagnose("!!!FATAL: Stop (notwendige Auflösung fehlgeschlagen)!!!");
    return s;
  }

  ++MacroDepth;
  std::string left = s.substr(0, a);
  std::string name = s.substr(a + 1, b - a - 1);
  std::string right = s.substr(b + 1);
  Trace("Macro resolve watcher " + std::to_string(MacroDepth));
  Trace("Macro parse solve: \"" + left + "\"+SOLVE(" + name + ")+\"" + right + "\"");

  std::string value;
  if (const std::string* cached = Cached(name)) {
    value = *cached;
    Trace("Macro resolved from cache: " + name + "=" + value);
  } else if (!name.empty() && name[0] == '*') {
    SolveSpecial(name, value);
  } else {
    std::optional<std::string> env;
    if (env_) {
      env = env_(name);
    } else if (!name.empty()) {
      if (const char* v = std::getenv(name.c_str())) env = v;
    }
    value = (env && !env->empty()) ? *env : "%" + name + "%";
  }

  // The value is inserted as it is: a "%" inside it is never taken for a macro.
  std::string result = ResolveMacros(left);
  result += value;
  result += ResolveMacros(right);
  --MacroDepth;
  return result;
}

bool MacroResolver::SolveSpecial(const std::string& name, std::string& value) {
  if (name.empty() || name[0] != '*') return false;
  if (const std::string* cached = Cached(name)) {
    value = *cached;
    Trace("Macro resolved from cache (SPECIAL): " + value);
    return true;
  }
  std::string upper = UpperCase(std::string_view(name).substr(1));
  Trace("MACRO solve internal (" + name + ")");

  std::optional<std::string> found;
  if (upper == "HALT") {
    MacroStop = true;
    Diagnose("MACRO PROCESS STOPPED");
    found = std::string();
  } else if (IsSpecialName(upper)) {
    found = folders_->Value(upper);
    if (found && upper != "FIRSTCDDRIVE" && upper != "MSOFFICEVERSIONSHORT" && !found->empty())
      found = ExcludeTrailingDelim(*found);
  }
  if (!found) {
    value = name;
    return true;
  }
  value = *found;
  MacroCache.emplace_back("*" + upper, value);
  if (!MacroStop) Trace("MACRO solved (" + upper + "=" + value + ")");
  return true;
}

MacroResolver& ProcessMacroResolver() {
  static MacroResolver resolver;
  return resolver;
}

std::string ResolveMacros(const std::string& s) { return ProcessMacroResolver().ResolveMacros(s); }

bool SolveSpecial(const std::string& name, std::string& value) {
  return ProcessMacroResolver().SolveSpecial(name, value);
}

}  // namespace mv
