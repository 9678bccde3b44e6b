#include "platform/filehandle.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <string>

#include "platform/oserror.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using test::TempDir;
using S = FileShare;

TEST(FileHandle, SeekAndSizeBeyondFourGigabytes) {
  TempDir dir;
  FileHandle h;
  ASSERT_EQ(h.Open(dir / "f", FileAccess::ReadWrite, FileCreate::CreateNew, S::Exclusive), 0u);
  int64_t size = 0;
  EXPECT_EQ(h.Seek(-1, SeekFrom::Begin), ERROR_NEGATIVE_SEEK);
  const int64_t big = (int64_t{5} << 30) + 7;  // sparse
  ASSERT_EQ(h.Seek(big, SeekFrom::Begin), 0u);
  ASSERT_EQ(h.Write("z", 1), 0u);
  EXPECT_EQ(h.Size(size), 0u);
  EXPECT_EQ(size, big + 1);
}

TEST(FileHandle, CreateModesAndOnlyRegularFilesOpenSoAFifoDoesNotHang) {
  TempDir dir;
  std::string file = dir.Write("f", "content");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
  FileHandle h;
  EXPECT_EQ(h.Open(dir / "fifo", FileAccess::Read, FileCreate::OpenExisting, S::DenyNone), ERROR_ACCESS_DENIED);
  EXPECT_EQ(h.Open(file, FileAccess::Write, FileCreate::CreateNew, S::DenyNone), ERROR_FILE_EXISTS);
  EXPECT_EQ(h.Open(dir / "fifo", FileAccess::Write, FileCreate::CreateNew, S::DenyNone), ERROR_FILE_EXISTS);
  ASSERT_EQ(h.Open(file, FileAccess::ReadWrite, FileCreate::OpenAlways, S::DenyNone), 0u);
  EXPECT_EQ(TempDir::Read(file), "content");
  // The status the open found, and a handle that blocks like any other.
  EXPECT_TRUE(S_ISREG(h.OpenedStatus().st_mode));
  EXPECT_EQ(h.OpenedStatus().st_size, 7);
  EXPECT_EQ(::fcntl(h.fd(), F_GETFL) & O_NONBLOCK, 0);
  ASSERT_EQ(h.Open(dir / "new", FileAccess::ReadWrite, FileCreate::CreateNew, S::Exclusive), 0u);
  EXPECT_TRUE(S_ISREG(h.OpenedStatus().st_mode));
  EXPECT_EQ(h.OpenedStatus().st_size, 0);
  EXPECT_EQ(::fcntl(h.fd(), F_GETFL) & O_NONBLOCK, 0);
  EXPECT_NE(h.Open(dir / "fifo", FileAccess::Read, FileCreate::OpenExisting, S::DenyNone), 0u);
  EXPECT_FALSE(S_ISREG(h.OpenedStatus().st_mode)) << "a refused open leaves no status behind";
  ASSERT_EQ(h.Open(file, FileAccess::ReadWrite, FileCreate::OpenAlways, S::DenyNone), 0u);
  ASSERT_EQ(h.Open(file, FileAccess::ReadWrite, FileCreate::CreateAlways, S::DenyNone), 0u);
  EXPECT_EQ(TempDir::Read(file), "");
}

TEST(FileHandle, ShareModesConflictWithError32AndCloseReleasesTheLock) {
  TempDir dir;
  std::string file = dir.Write("f", "precious data");
  const uint32_t k32 = ERROR_SHARING_VIOLATION;
  auto Open = [&](FileHandle& h, S s) { return h.Open(file, FileAccess::Read, FileCreate::OpenExisting, s); };
  const struct { S first, second; uint32_t expected; } cases[] = {
      {S::DenyWrite, S::DenyWrite, 0}, {S::DenyWrite, S::Exclusive, k32}, {S::Exclusive, S::DenyWrite, k32},
      {S::Exclusive, S::Exclusive, k32}, {S::DenyNone, S::Exclusive, 0}, {S::Exclusive, S::DenyNone, 0}};
  for (const auto& c : cases) {
    FileHandle a, b;
    ASSERT_EQ(Open(a, c.first), 0u);
    EXPECT_EQ(Open(b, c.second), c.expected) << static_cast<int>(c.first) << " then " << static_cast<int>(c.second);
  }
  FileHandle a, b;
  ASSERT_EQ(Open(a, S::Exclusive), 0u);
  // A refused truncating open must not damage the held file.
  EXPECT_EQ(b.Open(file, FileAccess::Write, FileCreate::CreateAlways, S::Exclusive), k32);
  EXPECT_EQ(TempDir::Read(file), "precious data");
  a.Close();
  EXPECT_EQ(Open(b, S::Exclusive), 0u);
}

}  // namespace
}  // namespace mv
