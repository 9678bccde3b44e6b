#pragma once
// Which directory entries a job processes: name masks for files, path texts
// for directories, attribute masks, descent depth, and the analysis and purge
// limits. Every job record owns one; threads and listings work on copies.

#include <cstdint>
#include <string>
#include <string_view>

#include "filter/matchmask.h"
#include "platform/finddata.h"

namespace mv {

class ProfileBatch;

// Depth from which IncludeDirNames limits the descent, for job records,
// worker threads and listings.
inline constexpr int32_t kDefaultIncludeDirLevel = 8;
// The same for the filter the job options dialog edits.
inline constexpr int32_t kDialogIncludeDirLevel = 16384;

// Only these attribute bits take part in the attribute tests.
inline constexpr int32_t kFilterAttrBits = 0x3F;

// Longest value the job files keep; longer name lists are saved up to their
// last whole item that fits.
inline constexpr std::size_t kFilterValueMax = 2047;

class TTDirFilter {
 public:
  // Creation values with four empty lists and kDefaultIncludeDirLevel.
  TTDirFilter();
  TTDirFilter(std::string includeFileNames, std::string excludeFileNames,
              std::string includeDirNames, std::string excludeDirNames,
              int32_t includeDirLevel);

  // Sets the four lists and IncludeDirLevel, every other field to its
  // creation value.
  void Create(std::string includeFileNames, std::string excludeFileNames,
              std::string includeDirNames, std::string excludeDirNames,
              int32_t includeDirLevel);

  // Copies every field but DeletedDateLimit; a null source changes nothing.
  void Assign(const TTDirFilter* source);

  // Job files: empty section = section "filter" with bare keys. Source
  // definitions: section = the definition's name, keys prefixed "filter_".
  // A missing key gives its load default (note includedirlevel 4, not 8).
  // DeletedFiles and DeletedDateLimit are not touched.
  void Load(const std::string& file, const std::string& section);

  // Template variant: section "filter", each key defaulting to the current
  // value, so a template changes only what it names.
  void LoadTemplate(const std::string& file);

  // Empty section: erases section "filter", then writes the bare keys.
  // Otherwise writes the prefixed keys into section, erasing nothing.
  // False (and nothing written) when the file cannot be written.
  bool Save(const std::string& file, const std::string& section) const;
  // The same writes into a batch that lands with the rest of a job's file.
  bool Save(ProfileBatch& out, const std::string& section) const;

  // Depth limit the walks receive: ProcessSubdirs x MaxSubdirLevel, 0 when
  // subdirectories are not processed. Never negative and never overflows,
  // whatever a hand-edited file holds.
  int32_t SubdirDepth() const;

  // The per-entry decision of a directory listing. listingPath is the
  // listing's directory with its trailing "/"; deletedMode is true for
  // entries from a deleted-file scan. "." is rejected, ".." is not.
  bool Accept(const FindData& entry, std::string_view listingPath, bool deletedMode) const;

  std::string IncludeFileNames;  // "|"-joined masks; if set, a file must match one
  std::string ExcludeFileNames;  // "|"-joined masks; a matching file is dropped
  std::string IncludeDirNames;   // "|"-joined texts; if set, files only from dirs containing one
  std::string ExcludeDirNames;   // "|"-joined texts; a subdirectory containing one is dropped
  int32_t AllowedAttributes = kFilterAttrBits;  // bits an entry may have
  int32_t RequiredAttributes = 0;               // bits a file must have all of
  int32_t IncludeDirLevel = kDefaultIncludeDirLevel;
  int32_t ProcessSubdirs = 1;          // 1 = descend, 0 = this directory only
  int32_t MaxSubdirLevel = 255;        // 0..255
  int32_t ReportDirLevelMin = 1;       // analysis: shallowest depth reported
  int32_t ReportDirLevel = 1;          // analysis: deepest depth reported, 1..255
  int32_t ReportPathLength = -1;       // analysis: path-length threshold, -1..300
  bool ReportPathLengthEnabled = false;
  int32_t FileAgeMinDays = -1;         // analysis and purge: -1 = no age limit
  int32_t DeletedFiles = 0;            // 0 ordinary, 1 also deleted, 2 only directories
  int32_t DeletedDateLimit = 0;        // packed DOS date-time, 0 = none
};

}  // namespace mv
