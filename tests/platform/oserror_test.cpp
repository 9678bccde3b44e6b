#include "platform/oserror.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "tests/support/tempdir.h"

namespace mv {
namespace {

TEST(WinErrorFromErrno, MapsTheErrorsTheEngineReasonsIn) {
  const std::vector<std::pair<int, uint32_t>> rows = {
      {0, 0}, {EACCES, ERROR_ACCESS_DENIED}, {EPERM, ERROR_ACCESS_DENIED}, {EROFS, ERROR_ACCESS_DENIED},
      {ENOENT, ERROR_FILE_NOT_FOUND}, {ENOTDIR, ERROR_PATH_NOT_FOUND}, {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
      {ENOSPC, ERROR_DISK_FULL}, {EDQUOT, ERROR_DISK_FULL}, {EEXIST, ERROR_FILE_EXISTS},
      {ENOTEMPTY, ERROR_DIR_NOT_EMPTY}, {EWOULDBLOCK, ERROR_SHARING_VIOLATION}, {EBUSY, ERROR_SHARING_VIOLATION},
      {EBADF, ERROR_INVALID_HANDLE}, {EINVAL, ERROR_INVALID_PARAMETER}, {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
      {ENOMEDIUM, ERROR_NOT_READY}};
  for (const auto& [err, want] : rows) EXPECT_EQ(WinErrorFromErrno(err), want) << "errno " << err;
  EXPECT_NE(WinErrorFromErrno(123456), 0u);  // unknown is still a failure
  errno = ENOSPC;
  EXPECT_EQ(LastWinError(), ERROR_DISK_FULL);
}

TEST(IsNetworkError, RemoteFileSystemFailuresAreRetriedOthersNot) {
  for (int err : {ESTALE, ENOTCONN, ETIMEDOUT, ECONNRESET, EHOSTDOWN, EHOSTUNREACH, ENETDOWN, ENETUNREACH,
                  ECONNABORTED})
    EXPECT_TRUE(IsNetworkError(WinErrorFromErrno(err))) << "errno " << err;
  for (int err : {ENOENT, EACCES, ENOSPC, EIO, ENOTSUP, EWOULDBLOCK})
    EXPECT_FALSE(IsNetworkError(WinErrorFromErrno(err))) << "errno " << err;
  for (uint32_t code : {49u, 50u, 68u, 69u}) EXPECT_EQ(IsNetworkError(code), code == 50 || code == 68) << code;
}

TEST(WinErrorForPath, TellsAMissingFileFromAMissingFolder) {
  test::TempDir dir;
  EXPECT_EQ(WinErrorForPath(ENOENT, dir / "missing.txt"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(WinErrorForPath(ENOENT, dir / "nodir/missing.txt"), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(WinErrorForPath(EACCES, dir / "nodir/missing.txt"), ERROR_ACCESS_DENIED);
}

}  // namespace
}  // namespace mv
