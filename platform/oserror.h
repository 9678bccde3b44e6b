#pragma once
// Operating-system errors in the numbering the engine reasons in (the
// Windows error numbers), translated from errno in one table.

#include <cstdint>
#include <string>

namespace mv {

inline constexpr uint32_t ERROR_SUCCESS = 0;
inline constexpr uint32_t ERROR_INVALID_FUNCTION = 1;
inline constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr uint32_t ERROR_PATH_NOT_FOUND = 3;
inline constexpr uint32_t ERROR_TOO_MANY_OPEN_FILES = 4;
inline constexpr uint32_t ERROR_ACCESS_DENIED = 5;
inline constexpr uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr uint32_t ERROR_NOT_SAME_DEVICE = 17;
inline constexpr uint32_t ERROR_NO_MORE_FILES = 18;
inline constexpr uint32_t ERROR_NOT_READY = 21;
inline constexpr uint32_t ERROR_GEN_FAILURE = 31;
inline constexpr uint32_t ERROR_SHARING_VIOLATION = 32;
inline constexpr uint32_t ERROR_LOCK_VIOLATION = 33;
inline constexpr uint32_t ERROR_HANDLE_EOF = 38;
inline constexpr uint32_t ERROR_HANDLE_DISK_FULL = 39;
// Network range (50..68).
inline constexpr uint32_t ERROR_NOT_SUPPORTED = 50;
inline constexpr uint32_t ERROR_REM_NOT_LIST = 51;
inline constexpr uint32_t ERROR_BAD_NETPATH = 53;
inline constexpr uint32_t ERROR_NETWORK_BUSY = 54;
inline constexpr uint32_t ERROR_DEV_NOT_EXIST = 55;
inline constexpr uint32_t ERROR_BAD_NET_RESP = 58;
inline constexpr uint32_t ERROR_UNEXP_NET_ERR = 59;
inline constexpr uint32_t ERROR_NETNAME_DELETED = 64;
inline constexpr uint32_t ERROR_NETWORK_ACCESS_DENIED = 65;
inline constexpr uint32_t ERROR_BAD_NET_NAME = 67;
inline constexpr uint32_t ERROR_FIRST_NETWORK = 50;
inline constexpr uint32_t ERROR_LAST_NETWORK = 68;

inline constexpr uint32_t ERROR_FILE_EXISTS = 80;
inline constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr uint32_t ERROR_DISK_FULL = 112;
inline constexpr uint32_t ERROR_INVALID_NAME = 123;
inline constexpr uint32_t ERROR_NEGATIVE_SEEK = 131;
inline constexpr uint32_t ERROR_SEEK_ON_DEVICE = 132;
inline constexpr uint32_t ERROR_DIR_NOT_EMPTY = 145;
inline constexpr uint32_t ERROR_ALREADY_EXISTS = 183;
inline constexpr uint32_t ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr uint32_t ERROR_FILE_TOO_LARGE = 223;
inline constexpr uint32_t ERROR_DIRECTORY = 267;
inline constexpr uint32_t ERROR_OPERATION_ABORTED = 995;
inline constexpr uint32_t ERROR_IO_DEVICE = 1117;
inline constexpr uint32_t ERROR_TOO_MANY_LINKS = 1142;
inline constexpr uint32_t ERROR_CANT_RESOLVE_FILENAME = 1921;

// The error number for an errno value (0 for 0). ENOENT gives
// ERROR_FILE_NOT_FOUND; use WinErrorForPath where the path is known.
uint32_t WinErrorFromErrno(int err);

// WinErrorFromErrno(errno).
uint32_t LastWinError();

// As WinErrorFromErrno, but ENOENT on `path` becomes ERROR_PATH_NOT_FOUND
// when the directory part of the path is missing too, as the engine tells a
// missing file from a missing folder.
uint32_t WinErrorForPath(int err, const std::string& path);

// True for the network errors (50..68), which the engine retries.
bool IsNetworkError(uint32_t error);

}  // namespace mv
