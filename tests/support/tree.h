#pragma once
// Trees of files with fixed timestamps for whole-tree assertions: build one
// from a short list, render one as sorted lines and compare both sides of a
// copy in a single EXPECT_EQ (GoogleTest prints a line diff).

#include <cstdint>
#include <string>
#include <vector>

namespace mv::test {

// 2020-01-01 12:00:00 UTC: the default modification time of built entries.
inline constexpr int64_t kTreeTime = 1577880000;

struct TreeEntry {
  // Relative path; a trailing "/" makes a directory.
  std::string path;
  std::string content;
  // Seconds since 1970 (UTC).
  int64_t mtime = kTreeTime;
};

// Creates the entries below root (created when missing), with missing parent
// directories. Times are set last, so writing files does not move the times
// of their directories; parents not listed get kTreeTime.
void MakeTree(const std::string& root, const std::vector<TreeEntry>& entries);

// Sorted lines, "\n"-terminated: "path size mtime hash" for files (hash: FNV-1a
// 64 of the content, 16 hex digits), "path/" for directories, "path -> target"
// for symbolic links (not followed). Names starting with one of skipPrefixes
// (relative path) are left out.
std::string RenderTree(const std::string& root, const std::vector<std::string>& skipPrefixes = {});

// Sets the modification time of an existing entry (seconds since 1970).
void SetMTime(const std::string& path, int64_t mtime);

}  // namespace mv::test
