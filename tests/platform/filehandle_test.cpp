#include "platform/filehandle.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/oserror.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

std::string ReadAll(FileHandle& h) {
  std::string out(100, '\0');
  size_t done = 0;
  EXPECT_EQ(h.Seek(0, SeekFrom::Begin), 0u);
  EXPECT_EQ(h.Read(out.data(), out.size(), done), 0u);
  out.resize(done);
  return out;
}

TEST(FileHandle, WriteSeekReadSizeTruncate) {
  test::TempDir dir;
  FileHandle h;
  ASSERT_EQ(h.Open(dir / "f", FileAccess::ReadWrite, FileCreate::CreateNew, FileShare::Exclusive), 0u);
  ASSERT_EQ(h.Write("hello world", 11), 0u);
  int64_t size = 0, pos = 0;
  EXPECT_EQ(h.Size(size), 0u);
  EXPECT_EQ(size, 11);
  EXPECT_EQ(h.Seek(-5, SeekFrom::End, &pos), 0u);
  EXPECT_EQ(pos, 6);
  EXPECT_EQ(h.Seek(2, SeekFrom::Current, &pos), 0u);
  EXPECT_EQ(pos, 8);
  char buf[8];
  size_t done = 0;
  EXPECT_EQ(h.Read(buf, sizeof buf, done), 0u);
  EXPECT_EQ(std::string(buf, done), "rld");
  EXPECT_EQ(h.Read(buf, sizeof buf, done), 0u);
  EXPECT_EQ(done, 0u);  // end of file
  EXPECT_EQ(h.Truncate(5), 0u);
  EXPECT_EQ(ReadAll(h), "hello");
  EXPECT_EQ(h.Seek(-1, SeekFrom::Begin), ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(h.Sync(), 0u);
  EXPECT_EQ(h.Close(), 0u);
  EXPECT_FALSE(h.IsOpen());
  EXPECT_EQ(h.Read(buf, 1, done), ERROR_INVALID_HANDLE);
}

TEST(FileHandle, SeeksBeyondFourGigabytes) {
  test::TempDir dir;
  FileHandle h;
  ASSERT_EQ(h.Open(dir / "sparse", FileAccess::ReadWrite, FileCreate::CreateAlways, FileShare::DenyNone), 0u);
  const int64_t big = (int64_t{5} << 30) + 7;
  int64_t pos = 0, size = 0;
  ASSERT_EQ(h.Seek(big, SeekFrom::Begin, &pos), 0u);
  EXPECT_EQ(pos, big);
  ASSERT_EQ(h.Write("z", 1), 0u);
  EXPECT_EQ(h.Size(size), 0u);
  EXPECT_EQ(size, big + 1);
}

TEST(FileHandle, CreateModes) {
  test::TempDir dir;
  std::string file = dir.Write("f", "content");
  FileHandle h;
  EXPECT_EQ(h.Open(file, FileAccess::Write, FileCreate::CreateNew, FileShare::DenyNone), ERROR_FILE_EXISTS);
  EXPECT_EQ(h.Open(dir / "missing", FileAccess::Read, FileCreate::OpenExisting, FileShare::DenyNone),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(h.Open(dir / "nodir/missing", FileAccess::Read, FileCreate::OpenExisting, FileShare::DenyNone),
            ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(h.Open(file, FileAccess::Read, FileCreate::CreateAlways, FileShare::DenyNone), ERROR_INVALID_PARAMETER);

  ASSERT_EQ(h.Open(file, FileAccess::ReadWrite, FileCreate::OpenAlways, FileShare::DenyNone), 0u);
  EXPECT_EQ(ReadAll(h), "content");
  ASSERT_EQ(h.Open(dir / "new", FileAccess::ReadWrite, FileCreate::OpenAlways, FileShare::DenyNone), 0u);
  EXPECT_EQ(ReadAll(h), "");
  ASSERT_EQ(h.Open(file, FileAccess::ReadWrite, FileCreate::CreateAlways, FileShare::DenyNone), 0u);
  EXPECT_EQ(ReadAll(h), "");
}

TEST(FileHandle, OnlyRegularFilesOpenAndAFifoDoesNotHang) {
  test::TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
  FileHandle h;
  EXPECT_EQ(h.Open(dir / "fifo", FileAccess::Read, FileCreate::OpenExisting, FileShare::DenyNone), ERROR_ACCESS_DENIED);
  EXPECT_EQ(h.Open(dir.path(), FileAccess::Read, FileCreate::OpenExisting, FileShare::DenyNone), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(h.IsOpen());
}

struct ShareCase {
  FileShare first, second;
  uint32_t expected;
};

TEST(FileHandle, ShareModesConflictWithError32) {
  test::TempDir dir;
  std::string file = dir.Write("f", "x");
  const ShareCase cases[] = {
      {FileShare::DenyWrite, FileShare::DenyWrite, 0},
      {FileShare::DenyWrite, FileShare::Exclusive, ERROR_SHARING_VIOLATION},
      {FileShare::Exclusive, FileShare::DenyWrite, ERROR_SHARING_VIOLATION},
      {FileShare::Exclusive, FileShare::Exclusive, ERROR_SHARING_VIOLATION},
      {FileShare::DenyNone, FileShare::Exclusive, 0},
      {FileShare::Exclusive, FileShare::DenyNone, 0},
  };
  for (const ShareCase& c : cases) {
    FileHandle a, b;
    ASSERT_EQ(a.Open(file, FileAccess::Read, FileCreate::OpenExisting, c.first), 0u);
    EXPECT_EQ(b.Open(file, FileAccess::Read, FileCreate::OpenExisting, c.second), c.expected)
        << static_cast<int>(c.first) << " then " << static_cast<int>(c.second);
  }
}

TEST(FileHandle, ClosingReleasesTheLock) {
  test::TempDir dir;
  std::string file = dir.Write("f", "x");
  FileHandle a, b;
  ASSERT_EQ(a.Open(file, FileAccess::Read, FileCreate::OpenExisting, FileShare::Exclusive), 0u);
  ASSERT_EQ(b.Open(file, FileAccess::Read, FileCreate::OpenExisting, FileShare::Exclusive), ERROR_SHARING_VIOLATION);
  FileHandle moved = std::move(a);
  EXPECT_FALSE(a.IsOpen());
  ASSERT_EQ(b.Open(file, FileAccess::Read, FileCreate::OpenExisting, FileShare::Exclusive), ERROR_SHARING_VIOLATION);
  moved.Close();
  EXPECT_EQ(b.Open(file, FileAccess::Read, FileCreate::OpenExisting, FileShare::Exclusive), 0u);
}

TEST(FileHandle, RefusedTruncatingOpenLeavesTheHeldFileIntact) {
  test::TempDir dir;
  std::string file = dir.Write("target", "precious data");
  FileHandle holder, other;
  ASSERT_EQ(holder.Open(file, FileAccess::Read, FileCreate::OpenExisting, FileShare::Exclusive), 0u);
  EXPECT_EQ(other.Open(file, FileAccess::Write, FileCreate::CreateAlways, FileShare::Exclusive),
            ERROR_SHARING_VIOLATION);
  EXPECT_EQ(test::TempDir::Read(file), "precious data");
}

}  // namespace
}  // namespace mv
