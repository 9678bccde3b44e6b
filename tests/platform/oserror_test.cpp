#include "platform/oserror.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "tests/support/tempdir.h"

namespace mv {
namespace {

TEST(WinErrorFromErrno, MapsTheErrorsTheEngineReasonsIn) {
  EXPECT_EQ(WinErrorFromErrno(0), 0u);
  EXPECT_EQ(WinErrorFromErrno(EACCES), ERROR_ACCESS_DENIED);
  EXPECT_EQ(WinErrorFromErrno(EPERM), ERROR_ACCESS_DENIED);
  EXPECT_EQ(WinErrorFromErrno(EROFS), ERROR_ACCESS_DENIED);
  EXPECT_EQ(WinErrorFromErrno(ENOENT), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(WinErrorFromErrno(ENOTDIR), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(WinErrorFromErrno(ENAMETOOLONG), ERROR_FILENAME_EXCED_RANGE);
  EXPECT_EQ(WinErrorFromErrno(ENOSPC), ERROR_DISK_FULL);
  EXPECT_EQ(WinErrorFromErrno(EDQUOT), ERROR_DISK_FULL);
  EXPECT_EQ(WinErrorFromErrno(EEXIST), ERROR_FILE_EXISTS);
  EXPECT_EQ(WinErrorFromErrno(ENOTEMPTY), ERROR_DIR_NOT_EMPTY);
  EXPECT_EQ(WinErrorFromErrno(EWOULDBLOCK), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(WinErrorFromErrno(EBUSY), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(WinErrorFromErrno(EBADF), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WinErrorFromErrno(EINVAL), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WinErrorFromErrno(EMFILE), ERROR_TOO_MANY_OPEN_FILES);
  EXPECT_EQ(WinErrorFromErrno(ENOMEDIUM), ERROR_NOT_READY);
}

TEST(WinErrorFromErrno, UnknownErrnoIsStillAFailure) { EXPECT_NE(WinErrorFromErrno(123456), 0u); }

TEST(IsNetworkError, RemoteFileSystemFailuresAreRetriedOthersNot) {
  for (int err : {ESTALE, ENOTCONN, ETIMEDOUT, ECONNRESET, EHOSTDOWN, EHOSTUNREACH, ENETDOWN, ENETUNREACH,
                  ECONNABORTED})
    EXPECT_TRUE(IsNetworkError(WinErrorFromErrno(err))) << "errno " << err;
  for (int err : {ENOENT, EACCES, ENOSPC, EIO, ENOTSUP, EWOULDBLOCK})
    EXPECT_FALSE(IsNetworkError(WinErrorFromErrno(err))) << "errno " << err;
  EXPECT_TRUE(IsNetworkError(50));
  EXPECT_TRUE(IsNetworkError(68));
  EXPECT_FALSE(IsNetworkError(49));
  EXPECT_FALSE(IsNetworkError(69));
}

TEST(WinErrorForPath, TellsAMissingFileFromAMissingFolder) {
  test::TempDir dir;
  EXPECT_EQ(WinErrorForPath(ENOENT, dir / "missing.txt"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(WinErrorForPath(ENOENT, dir / "nodir/missing.txt"), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(WinErrorForPath(EACCES, dir / "nodir/missing.txt"), ERROR_ACCESS_DENIED);
}

TEST(LastWinError, ReadsErrno) {
  errno = ENOSPC;
  EXPECT_EQ(LastWinError(), ERROR_DISK_FULL);
}

}  // namespace
}  // namespace mv
