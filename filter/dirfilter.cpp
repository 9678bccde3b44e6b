#include "filter/dirfilter.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "platform/profile.h"

namespace mv {
namespace {

constexpr int32_t kLoadIncludeDirLevel = 4;

// Where the keys live: job files use section "filter" with bare keys, source
// definitions their own section with every key prefixed.
struct Place {
  std::string section;
  std::string prefix;
  std::string Key(const char* key) const { return prefix + key; }
};

Place PlaceFor(const std::string& section) {
  if (section.empty()) return {"filter", ""};
  return {section, "filter_"};
}

// Values longer than the files keep would come back cut in the middle of a
// mask ("*.docx" read back as "*"), silently widening the filter. Keep whole
// items instead. A single item that does not fit is cut at a character
// boundary: no real name can match such a mask either way.
std::string FitList(const std::string& list) {
  if (list.size() <= kFilterValueMax) return list;
  const auto bar = list.rfind(kListSeparator, kFilterValueMax);
  if (bar != std::string::npos) return list.substr(0, bar);
  std::size_t cut = kFilterValueMax;
  while (cut > 0 && (static_cast<unsigned char>(list[cut]) & 0xC0) == 0x80) --cut;
  return list.substr(0, cut);
}

// Reads all fourteen keys in their file order; a missing key takes the value
// of defaults.
void LoadKeys(TTDirFilter& f, const std::string& file, const Place& at,
              const TTDirFilter& defaults) {
  const ProfileSnapshot in(file);
  auto str = [&](const char* key, const std::string& def) { return in.ReadString(at.section, at.Key(key), def); };
  auto num = [&](const char* key, int32_t def) { return in.ReadInt(at.section, at.Key(key), def); };
  f.IncludeFileNames = str("includefilenames", defaults.IncludeFileNames);
  f.ExcludeFileNames = str("excludefilenames", defaults.ExcludeFileNames);
  f.IncludeDirNames = str("includedirnames", defaults.IncludeDirNames);
  f.ExcludeDirNames = str("excludedirnames", defaults.ExcludeDirNames);
  f.AllowedAttributes = num("fileattr_allowed", defaults.AllowedAttributes);
  f.RequiredAttributes = num("fileattr_required", defaults.RequiredAttributes);
  f.ProcessSubdirs = num("processdirlvl", defaults.ProcessSubdirs);
  f.MaxSubdirLevel = num("processdirlvl__max", defaults.MaxSubdirLevel);
  f.IncludeDirLevel = num("includedirlevel", defaults.IncludeDirLevel);
  f.ReportDirLevelMin = num("reportingdirlevelmin", defaults.ReportDirLevelMin);
  f.ReportDirLevel = num("reportingdirlevel", defaults.ReportDirLevel);
  f.ReportPathLength = num("reportingPathlength", defaults.ReportPathLength);
  f.ReportPathLengthEnabled =
      num("reportingPathlengthEnabled", defaults.ReportPathLengthEnabled ? 1 : 0) != 0;
  f.FileAgeMinDays = num("fileagemindays", defaults.FileAgeMinDays);
}

}  // namespace

TTDirFilter::TTDirFilter() { Create({}, {}, {}, {}, kDefaultIncludeDirLevel); }

TTDirFilter::TTDirFilter(std::string includeFileNames, std::string excludeFileNames,
                         std::string includeDirNames, std::string excludeDirNames,
                         int32_t includeDirLevel) {
  Create(std::move(includeFileNames), std::move(excludeFileNames), std::move(includeDirNames),
         std::move(excludeDirNames), includeDirLevel);
}

void TTDirFilter::Create(std::string includeFileNames, std::string excludeFileNames,
                         std::string includeDirNames, std::string excludeDirNames,
                         int32_t includeDirLevel) {
  IncludeFileNames = std::move(includeFileNames);
  ExcludeFileNames = std::move(excludeFileNames);
  IncludeDirNames = std::move(includeDirNames);
  ExcludeDirNames = std::move(excludeDirNames);
  IncludeDirLevel = includeDirLevel;
  AllowedAttributes = kFilterAttrBits;
  RequiredAttributes = 0;
  ProcessSubdirs = 1;
  MaxSubdirLevel = 255;
  ReportDirLevelMin = 1;
  ReportDirLevel = 1;
  ReportPathLength = -1;
  ReportPathLengthEnabled = false;
  FileAgeMinDays = -1;
  DeletedFiles = 0;
  DeletedDateLimit = 0;
}

void TTDirFilter::Assign(const TTDirFilter* source) {
  if (source == nullptr || source == this) return;
  const int32_t keepLimit = DeletedDateLimit;
  *this = *source;
  DeletedDateLimit = keepLimit;
}

void TTDirFilter::Load(const std::string& file, const std::string& section) {
  const TTDirFilter defaults({}, {}, {}, {}, kLoadIncludeDirLevel);
  LoadKeys(*this, file, PlaceFor(section), defaults);
}

void TTDirFilter::LoadTemplate(const std::string& file) {
  const TTDirFilter current = *this;
  LoadKeys(*this, file, PlaceFor({}), current);
}

bool TTDirFilter::Save(const std::string& file, const std::string& section) const {
  ProfileBatch out(file);
  return Save(out, section) && out.Commit();
}

bool TTDirFilter::Save(ProfileBatch& out, const std::string& section) const {
  const Place at = PlaceFor(section);
  // A job file's section is rewritten whole, so keys of older versions go;
  // a definition's section holds other keys too and is only overwritten.
  if (section.empty()) out.EraseSection(at.section);
  const std::pair<const char*, std::string> values[] = {
      {"includefilenames", FitList(IncludeFileNames)},
      {"excludefilenames", FitList(ExcludeFileNames)},
      {"includedirnames", FitList(IncludeDirNames)},
      {"excludedirnames", FitList(ExcludeDirNames)},
      {"fileattr_allowed", std::to_string(AllowedAttributes)},
      {"fileattr_required", std::to_string(RequiredAttributes)},
      {"processdirlvl", std::to_string(ProcessSubdirs)},
      {"processdirlvl__max", std::to_string(MaxSubdirLevel)},
      {"includedirlevel", std::to_string(IncludeDirLevel)},
      {"reportingdirlevelmin", std::to_string(ReportDirLevelMin)},
      {"reportingdirlevel", std::to_string(ReportDirLevel)},
      {"reportingPathlength", std::to_string(ReportPathLength)},
      {"reportingPathlengthEnabled", ReportPathLengthEnabled ? "1" : "0"},
      {"fileagemindays", std::to_string(FileAgeMinDays)},
  };
  for (const auto& [key, value] : values) {
    if (!out.WriteString(at.section, at.Key(key), value)) return false;
  }
  return true;
}

int32_t TTDirFilter::SubdirDepth() const {
  const int64_t depth = int64_t{ProcessSubdirs} * MaxSubdirLevel;
  return static_cast<int32_t>(
      std::clamp<int64_t>(depth, 0, std::numeric_limits<int32_t>::max()));
}

bool TTDirFilter::Accept(const FindData& entry, std::string_view listingPath,
                         bool deletedMode) const {
  if (entry.Name == ".") return false;
  const auto attr = static_cast<int32_t>(entry.Attr) & kFilterAttrBits;
  const bool isDir = (attr & static_cast<int32_t>(kAttrDirectory)) != 0;
  const int32_t required = RequiredAttributes & kFilterAttrBits;
  if (!isDir && (attr & required) != required) return false;
  if (!isDir && (DeletedFiles > 0) != deletedMode) return false;
  if ((attr & ~AllowedAttributes) != 0) return false;
  if (!isDir) {
    if (!IncludeFileNames.empty() && !MatchAnyMask(IncludeFileNames, entry.Name)) return false;
    if (!ExcludeFileNames.empty() && MatchAnyMask(ExcludeFileNames, entry.Name)) return false;
    if (!IncludeDirNames.empty() && !ContainsAnyText(IncludeDirNames, listingPath)) return false;
  } else if (!ExcludeDirNames.empty()) {
    std::string full(listingPath);
    full += entry.Name;
    if (ContainsAnyText(ExcludeDirNames, full)) return false;
  }
  return true;
}

}  // namespace mv
