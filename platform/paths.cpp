#include "platform/paths.h"

namespace mv {

std::string IncludeTrailingDelim(std::string_view s) {
  std::string out(s);
  if (!out.empty() && out.back() != PathDelim) out.push_back(PathDelim);
  return out;
}

std::string ExcludeTrailingDelim(std::string_view s) {
  size_t end = s.size();
  while (end > 1 && s[end - 1] == PathDelim) --end;
  return std::string(s.substr(0, end));
}

std::string ExtractFileName(std::string_view path) {
  size_t pos = path.rfind(PathDelim);
  return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string ExtractFilePath(std::string_view path) {
  size_t pos = path.rfind(PathDelim);
  return pos == std::string_view::npos ? std::string() : std::string(path.substr(0, pos + 1));
}

}  // namespace mv
