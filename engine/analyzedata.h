#pragma once
// Per-directory statistics of an analysis run, the list of reported groups
// with its three orders, and the one-line texts of the analysis logs.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mv {

// Smallest file size before the first file is seen.
inline constexpr int64_t kAnalyzeNoSmallest = 4294967295;

struct TTAnalyzeData {
  int64_t TotalBytes = 0;
  int64_t LargestFile = 0;
  int64_t SmallestFile = kAnalyzeNoSmallest;
  int64_t FileCount = 0;
  int32_t NewestDate = 0;       // packed local DOS date-time
  int32_t LongestDirPath = 0;   // length of the longest directory path
  int32_t LongestFileName = 0;  // length of the longest full file name

  // Adds these totals to a parent directory's (longest lengths excepted).
  void AddTo(TTAnalyzeData& parent) const;
};

// One reported directory.
class TTAnalyzeDataExtended : public TTAnalyzeData {
 public:
  TTAnalyzeDataExtended() = default;
  TTAnalyzeDataExtended(const TTAnalyzeData& data, int32_t dirLevel, const std::string& path);

  // The directory path + mask; rebuilds the key.
  void SetPath(const std::string& path);
  const std::string& Path() const { return path_; }
  // Taken only while the level is still below 2; rebuilds the key.
  void SetDirLevel(int32_t level);
  int32_t DirLevel() const { return dirLevel_; }

  // The last DirLevel components of the path, each after a "/":
  // "/data/a/b/*.*" at level 3 gives "/a/b/*.*".
  const std::string& AnalyzeGroupKey() const { return key_; }
  // The key up to and including its last "/" ("/a/b/").
  std::string KeyDirectory() const;

  // The group's line in form 0 (date, total bytes), 1 (labelled numbers) or
  // 2 (columns), ending in " " + KeyDirectory(). `thousandsSep` groups the
  // digits of every number.
  std::string Line(int form, const std::string& thousandsSep) const;
  std::string Line(int form) const;

 private:
  void BuildKey();

  int32_t dirLevel_ = 1;
  std::string path_;
  std::string key_;
};

enum class AnalyzeOrder {
  ByDirectory,   // KeyDirectory upper-cased, ascending
  ByNewestDate,  // ascending
  BySize,        // total bytes, descending
};

class TTAnalyzeDataList {
 public:
  TTAnalyzeDataExtended& Add(std::unique_ptr<TTAnalyzeDataExtended> group);
  void Clear() { groups_.clear(); }
  int32_t Count() const { return static_cast<int32_t>(groups_.size()); }
  bool Empty() const { return groups_.empty(); }
  TTAnalyzeDataExtended& operator[](int32_t i) { return *groups_[static_cast<size_t>(i)]; }
  const TTAnalyzeDataExtended& operator[](int32_t i) const { return *groups_[static_cast<size_t>(i)]; }
  // Stable: groups that compare equal keep their order.
  void Sort(AnalyzeOrder order);

 private:
  std::vector<std::unique_ptr<TTAnalyzeDataExtended>> groups_;
};

// Column titles above the form-2 lines.
std::string AnalyzeHeaderLine();

// The thousands separator of the process locale; "," where the locale has
// none (the C locale), as in the other report lines.
std::string LocaleThousandsSeparator();

}  // namespace mv
