#include "tests/support/tree.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <system_error>

namespace mv::test {

namespace fs = std::filesystem;

namespace {

std::string Hash(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  uint64_t h = 1469598103934665603ULL;
  char buf[65536];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    for (std::streamsize i = 0; i < in.gcount(); ++i) {
      h ^= static_cast<unsigned char>(buf[i]);
      h *= 1099511628211ULL;
    }
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016" PRIx64, h);
  return text;
}

}  // namespace

void SetMTime(const std::string& path, int64_t mtime) {
  timespec times[2] = {{static_cast<time_t>(mtime), 0}, {static_cast<time_t>(mtime), 0}};
  ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

void MakeTree(const std::string& root, const std::vector<TreeEntry>& entries) {
  fs::path base(root);
  std::error_code ec;
  fs::create_directories(base, ec);
  // Directory -> time; parents not listed get the default, a listed time wins.
  std::map<std::string, int64_t> dirTimes;
  for (const TreeEntry& e : entries) {
    bool isDir = !e.path.empty() && e.path.back() == '/';
    fs::path p = base / (isDir ? e.path.substr(0, e.path.size() - 1) : e.path);
    for (fs::path parent = p.parent_path(); parent.string().size() > base.string().size();
         parent = parent.parent_path())
      dirTimes.emplace(parent.string(), kTreeTime);
    fs::create_directories(isDir ? p : p.parent_path(), ec);
    if (isDir) {
      dirTimes[p.string()] = e.mtime;
    } else {
      std::ofstream(p, std::ios::binary | std::ios::trunc) << e.content;
      SetMTime(p.string(), e.mtime);
    }
  }
  // Reverse order puts children before their parents.
  for (auto it = dirTimes.rbegin(); it != dirTimes.rend(); ++it) SetMTime(it->first, it->second);
}

std::string RenderTree(const std::string& root, const std::vector<std::string>& skipPrefixes) {
  std::vector<std::string> lines;
  std::error_code ec;
  fs::path base(root);
  for (auto it = fs::recursive_directory_iterator(base, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    std::string rel = fs::relative(it->path(), base, ec).generic_string();
    bool skip = std::any_of(skipPrefixes.begin(), skipPrefixes.end(),
                            [&](const std::string& s) { return rel.compare(0, s.size(), s) == 0; });
    if (skip) {
      if (it->is_directory(ec) && !it->is_symlink(ec)) it.disable_recursion_pending();
      continue;
    }
    struct stat st {};
    if (::lstat(it->path().c_str(), &st) != 0) continue;
    if (S_ISLNK(st.st_mode)) {
      lines.push_back(rel + " -> " + fs::read_symlink(it->path(), ec).string());
    } else if (S_ISDIR(st.st_mode)) {
      lines.push_back(rel + "/");
    } else {
      lines.push_back(rel + " " + std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + " " +
                      Hash(it->path().string()));
    }
  }
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

}  // namespace mv::test
