#include "engine/analyzedata.h"

#include <algorithm>
#include <clocale>
#include <cmath>

#include "platform/datetext.h"
#include "platform/datetime.h"
#include "platform/paths.h"
#include "platform/textcase.h"

namespace mv {

namespace {

std::string Grouped(int64_t n, const std::string& sep) {
  uint64_t magnitude = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
  const std::string digits = std::to_string(magnitude);
  std::string out = n < 0 ? "-" : "";
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += sep;
    out += digits[i];
  }
  return out;
}

// Right-aligned in `width` characters; a separator such as a narrow
// no-break space is one character, not three bytes.
std::string Pad(const std::string& s, size_t width) {
  size_t chars = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++chars;
  return chars >= width ? s : std::string(width - chars, ' ') + s;
}

}  // namespace

void TTAnalyzeData::AddTo(TTAnalyzeData& parent) const {
  parent.TotalBytes += TotalBytes;
  parent.SmallestFile = std::min(parent.SmallestFile, SmallestFile);
  parent.LargestFile = std::max(parent.LargestFile, LargestFile);
  parent.FileCount += FileCount;
  parent.NewestDate = std::max(parent.NewestDate, NewestDate);
}

TTAnalyzeDataExtended::TTAnalyzeDataExtended(const TTAnalyzeData& data, int32_t dirLevel,
                                             const std::string& path)
    : TTAnalyzeData(data) {
  SetDirLevel(dirLevel);
  SetPath(path);
}

void TTAnalyzeDataExtended::SetPath(const std::string& path) {
  path_ = path;
  BuildKey();
}

void TTAnalyzeDataExtended::SetDirLevel(int32_t level) {
  if (dirLevel_ >= 2) return;
  dirLevel_ = level;
  BuildKey();
}

void TTAnalyzeDataExtended::BuildKey() {
  key_.clear();
  std::string rest = path_;
  // Stops early when the path has fewer components than the level asks for.
  for (int32_t i = 0; i < dirLevel_ && !rest.empty(); ++i) {
    size_t delim = rest.rfind(PathDelim);
    if (delim == std::string::npos) {
      key_ = PathDelim + rest + key_;
      break;
    }
    key_ = PathDelim + rest.substr(delim + 1) + key_;
    rest.erase(delim);
  }
}

std::string TTAnalyzeDataExtended::KeyDirectory() const { return ExtractFilePath(key_); }

std::string TTAnalyzeDataExtended::Line(int form) const { return Line(form, LocaleThousandsSeparator()); }

std::string TTAnalyzeDataExtended::Line(int form, const std::string& thousandsSep) const {
  auto num = [&](int64_t n, size_t width) { return Pad(Grouped(n, thousandsSep), width); };
  std::string numbers;
  if (TotalBytes == 0 && NewestDate == 0) {
    numbers = "NO DATA";
  } else if (form == 0) {
    DateTime newest = DosToDateTime(static_cast<uint32_t>(NewestDate));
    numbers = (newest == 0 ? std::string("INVALID FILEDATE") : DateTimeToStr(newest)) + " " +
              num(TotalBytes, 18);
  } else {
    const int64_t average =
        FileCount > 0 ? std::llround(static_cast<long double>(TotalBytes) / FileCount) : 0;
    if (form == 1) {
      numbers = " files: " + num(FileCount, 9) + " avg size:" + num(average, 15) + " smallest:" +
                num(SmallestFile, 12) + " largest:" + num(LargestFile, 15);
    } else {
      numbers = num(FileCount, 9) + num(average, 15) + num(SmallestFile, 12) + num(LargestFile, 15) +
                num(LongestDirPath, 4) + num(LongestFileName, 4);
    }
  }
  return numbers + " " + KeyDirectory();
}

TTAnalyzeDataExtended& TTAnalyzeDataList::Add(std::unique_ptr<TTAnalyzeDataExtended> group) {
  groups_.push_back(std::move(group));
  return *groups_.back();
}

void TTAnalyzeDataList::Sort(AnalyzeOrder order) {
  using Ptr = std::unique_ptr<TTAnalyzeDataExtended>;
  switch (order) {
    case AnalyzeOrder::ByDirectory: {
      // Fold each key once, not once per comparison.
      std::vector<std::pair<std::string, Ptr>> keyed;
      keyed.reserve(groups_.size());
      for (Ptr& g : groups_) keyed.emplace_back(UpperCase(g->KeyDirectory()), std::move(g));
      std::stable_sort(keyed.begin(), keyed.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
      for (size_t i = 0; i < keyed.size(); ++i) groups_[i] = std::move(keyed[i].second);
      break;
    }
    case AnalyzeOrder::ByNewestDate:
      std::stable_sort(groups_.begin(), groups_.end(),
                       [](const Ptr& a, const Ptr& b) { return a->NewestDate < b->NewestDate; });
      break;
    case AnalyzeOrder::BySize:
      std::stable_sort(groups_.begin(), groups_.end(),
                       [](const Ptr& a, const Ptr& b) { return a->TotalBytes > b->TotalBytes; });
      break;
  }
}

std::string AnalyzeHeaderLine() {
  return Pad("files", 9) + Pad("avg size", 15) + Pad("smallest", 12) + Pad("largest", 15) +
         Pad("mpl", 4) + Pad("mfl", 4);
}

std::string LocaleThousandsSeparator() {
  const lconv* lc = std::localeconv();
  if (lc == nullptr || lc->thousands_sep == nullptr || *lc->thousands_sep == '\0') return ",";
  return lc->thousands_sep;
}

}  // namespace mv
