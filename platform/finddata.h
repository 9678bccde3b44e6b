#pragma once
// One entry of a directory enumeration: what listings, resume state and
// job files keep of a file.

#include <cstdint>
#include <ctime>
#include <string>

namespace mv {

// Attribute bits.
inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrSystem = 0x04;
inline constexpr uint32_t kAttrVolume = 0x08;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
// Attribute mask that lists every kind of entry.
inline constexpr uint32_t kAttrAny = 0x3F;

struct FindData {
  std::string Name;          // entry name, no directory
  uint32_t Attr = 0;         // attribute bits above
  int64_t Size = 0;          // bytes; 0 for directories
  uint32_t Time = 0;         // packed local DOS date-time of the last write
  timespec CreationTime{};   // POSIX instants (creation = status change on Linux)
  timespec AccessTime{};
  timespec WriteTime{};
};

}  // namespace mv
