#include "platform/oserror.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "tests/support/tempdir.h"

namespace mv {
namespace {

TEST(WinErrorFromErrno, AnUnknownErrorIsStillAFailure) {
  EXPECT_EQ(WinErrorFromErrno(0), 0u);
  EXPECT_NE(WinErrorFromErrno(123456), 0u);
  errno = ENOSPC;
  EXPECT_EQ(LastWinError(), ERROR_DISK_FULL);
}

TEST(IsNetworkError, RemoteFileSystemFailuresAreRetriedOthersNot) {
  for (int err : {ESTALE, ENOTCONN, ECONNRESET}) EXPECT_TRUE(IsNetworkError(WinErrorFromErrno(err))) << "errno " << err;
  for (int err : {ENOENT, EIO, EWOULDBLOCK}) EXPECT_FALSE(IsNetworkError(WinErrorFromErrno(err))) << "errno " << err;
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
