#include "platform/oserror.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/paths.h"

namespace mv {

uint32_t WinErrorFromErrno(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case EPERM:
    case EACCES:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK: return ERROR_SHARING_VIOLATION;
    case EDEADLK:
    case ENOLCK: return ERROR_LOCK_VIOLATION;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EINVAL:
    case EOVERFLOW: return ERROR_INVALID_PARAMETER;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EMLINK: return ERROR_TOO_MANY_LINKS;
    case ELOOP: return ERROR_CANT_RESOLVE_FILENAME;
    case EILSEQ: return ERROR_INVALID_NAME;
    case ESPIPE: return ERROR_SEEK_ON_DEVICE;
    case EIO: return ERROR_IO_DEVICE;
    case ENOMEDIUM:
    case ENXIO:
    case ENODEV: return ERROR_NOT_READY;
    case EINTR:
    case ECANCELED: return ERROR_OPERATION_ABORTED;
    // Outside the network range on purpose: an unsupported operation is not
    // worth a retry.
    case ENOTSUP:
    case ENOSYS: return ERROR_INVALID_FUNCTION;
    // Remote file systems: the share went away or the server cannot be reached.
    case ESTALE:
    case ENOTCONN:
    case ECONNRESET:
    case ECONNABORTED:
    case ENETRESET:
    case ENOLINK: return ERROR_NETNAME_DELETED;
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ECONNREFUSED: return ERROR_BAD_NETPATH;
    case ETIMEDOUT:
    case ENETDOWN:
    case ECOMM:
    case EREMOTEIO:
    case EPROTO: return ERROR_UNEXP_NET_ERR;
    default: return ERROR_GEN_FAILURE;
  }
}

uint32_t LastWinError() { return WinErrorFromErrno(errno); }

uint32_t WinErrorForPath(int err, const std::string& path) {
  uint32_t error = WinErrorFromErrno(err);
  if (err != ENOENT) return error;
  std::string dir = ExcludeTrailingDelim(ExtractFilePath(ExcludeTrailingDelim(path)));
  if (dir.empty()) return error;
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
  return error;
}

bool IsNetworkError(uint32_t error) {
  return error >= ERROR_FIRST_NETWORK && error <= ERROR_LAST_NETWORK;
}

}  // namespace mv
