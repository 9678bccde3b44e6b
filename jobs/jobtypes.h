#pragma once
// Job types and the options word of a file action.

#include <cstdint>
#include <string>

namespace mv {

inline constexpr int32_t JOB_COPY = 0;
inline constexpr int32_t JOB_ANALYZE = 1;
inline constexpr int32_t JOB_NETWARE_PURGE = 2;
inline constexpr int32_t JOB_DELETE = 3;

// Conflict mode: a number in the three low bits, not flags.
inline constexpr uint32_t OPT_CONFLICT_MASK = 0x00000007;
inline constexpr uint32_t OPT_OVERWRITE_ALL = 1;
inline constexpr uint32_t OPT_SKIP_EXISTING = 2;
inline constexpr uint32_t OPT_OVERWRITE_OLDER = 3;

inline constexpr uint32_t OPT_NO_NEW_DIRS = 0x00000008;
inline constexpr uint32_t OPT_NO_NEW_FILES = 0x00000010;
inline constexpr uint32_t OPT_EMPTY_DIRS = 0x00000020;
inline constexpr uint32_t OPT_MIRROR = 0x00000040;
inline constexpr uint32_t OPT_CLEAR_ARCHIVE = 0x00000080;

// Direction: a number in bits 8 and 9.
inline constexpr uint32_t OPT_DIR_MASK = 0x00000300;
inline constexpr uint32_t OPT_DIR_TO_TARGET = 0x00000100;
inline constexpr uint32_t OPT_DIR_TO_SOURCE = 0x00000200;
inline constexpr uint32_t OPT_DIR_BOTH = 0x00000300;

inline constexpr uint32_t OPT_LOG_ONLY_COPY = 0x00010000;
inline constexpr uint32_t OPT_LOG_ONLY_DELETE = 0x00020000;
inline constexpr uint32_t OPT_COPY_TRUSTEES = 0x00040000;
inline constexpr uint32_t OPT_PURGE_AFTER_DELETE = 0x00080000;
inline constexpr uint32_t OPT_RESUME_FOLDER = 0x00100000;
inline constexpr uint32_t OPT_RESUME_FILE = 0x00200000;

// "COPY", "ANALYZE", "NETWARE PURGE", "DELETE"; "<unknown>" for any other code.
std::string JobTypeName(int32_t code);

// True for the types that work on the source tree only (ANALYZE, PURGE, DELETE).
bool IsSourceOnlyType(int32_t code);

}  // namespace mv
