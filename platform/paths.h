#pragma once
// Path text helpers. Paths are native POSIX paths; PathDelim stands wherever
// a folder separator is meant.

#include <string>
#include <string_view>

namespace mv {

inline constexpr char PathDelim = '/';

// s with one trailing delimiter; an empty path stays empty (it must never
// turn into the root folder).
std::string IncludeTrailingDelim(std::string_view s);
// s without trailing delimiters; the root "/" stays "/".
std::string ExcludeTrailingDelim(std::string_view s);
// The part after the last delimiter ("" for "dir/").
std::string ExtractFileName(std::string_view path);
// The part up to and including the last delimiter ("" without one).
std::string ExtractFilePath(std::string_view path);

// "." and "..": the entries a walk never descends into. Other names that begin
// with a dot are ordinary (hidden) entries on Linux and are walked like any.
inline bool IsSelfOrParent(std::string_view name) { return name == "." || name == ".."; }

}  // namespace mv
