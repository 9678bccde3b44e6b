#include "platform/filehandle.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/oserror.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using test::TempDir;

std::string ReadAll(FileHandle& h) {
  std::string out(100, '\0');
  size_t done = 0;
  EXPECT_EQ(h.Seek(0, SeekFrom::Begin), 0u);
  EXPECT_EQ(h.Read(out.data(), out.size(), done), 0u);
  return out.substr(0, done);
}

TEST(FileHandle, WriteSeekReadSizeTruncateBeyondFourGigabytes) {
  TempDir dir;
  FileHandle h;
  ASSERT_EQ(h.Open(dir / "f", FileAccess::ReadWrite, FileCreate::CreateNew, FileShare::Exclusive), 0u);
  ASSERT_EQ(h.Write("hello world", 11), 0u);
  int64_t size = 0, pos = 0;
  EXPECT_EQ(h.Seek(-5, SeekFrom::End, &pos), 0u);
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
  const int64_t big = (int64_t{5} << 30) + 7;  // sparse
  ASSERT_EQ(h.Seek(big, SeekFrom::Begin, &pos), 0u);
  EXPECT_EQ(pos, big);
  ASSERT_EQ(h.Write("z", 1), 0u);
  EXPECT_EQ(h.Size(size), 0u);
  EXPECT_EQ(size, big + 1);
  EXPECT_EQ(h.Close(), 0u);
  EXPECT_EQ(h.Read(buf, 1, done), ERROR_INVALID_HANDLE);
}

TEST(FileHandle, CreateModesAndOnlyRegularFilesOpenSoAFifoDoesNotHang) {
  TempDir dir;
  std::string file = dir.Write("f", "content");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
  FileHandle h;
  const auto Open = [&](const std::string& path, FileAccess a, FileCreate c) {
    return h.Open(path, a, c, FileShare::DenyNone);
  };
  EXPECT_EQ(Open(file, FileAccess::Write, FileCreate::CreateNew), ERROR_FILE_EXISTS);
  EXPECT_EQ(Open(dir / "missing", FileAccess::Read, FileCreate::OpenExisting), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Open(dir / "nodir/missing", FileAccess::Read, FileCreate::OpenExisting), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(Open(file, FileAccess::Read, FileCreate::CreateAlways), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Open(dir / "fifo", FileAccess::Read, FileCreate::OpenExisting), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Open(dir.path(), FileAccess::Read, FileCreate::OpenExisting), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(h.IsOpen());
  ASSERT_EQ(Open(file, FileAccess::ReadWrite, FileCreate::OpenAlways), 0u);
  EXPECT_EQ(ReadAll(h), "content");
  ASSERT_EQ(Open(dir / "new", FileAccess::ReadWrite, FileCreate::OpenAlways), 0u);
  EXPECT_EQ(ReadAll(h), "");
  ASSERT_EQ(Open(file, FileAccess::ReadWrite, FileCreate::CreateAlways), 0u);
  EXPECT_EQ(ReadAll(h), "");
}

TEST(FileHandle, ShareModesConflictWithError32AndCloseReleasesTheLock) {
  TempDir dir;
  std::string file = dir.Write("f", "precious data");
  using S = FileShare;
  const uint32_t kConflict = ERROR_SHARING_VIOLATION;
  const struct { S first, second; uint32_t expected; } cases[] = {
      {S::DenyWrite, S::DenyWrite, 0}, {S::DenyWrite, S::Exclusive, kConflict},
      {S::Exclusive, S::DenyWrite, kConflict}, {S::Exclusive, S::Exclusive, kConflict},
      {S::DenyNone, S::Exclusive, 0}, {S::Exclusive, S::DenyNone, 0}};
  for (const auto& c : cases) {
    FileHandle a, b;
    ASSERT_EQ(a.Open(file, FileAccess::Read, FileCreate::OpenExisting, c.first), 0u);
    EXPECT_EQ(b.Open(file, FileAccess::Read, FileCreate::OpenExisting, c.second), c.expected)
        << static_cast<int>(c.first) << " then " << static_cast<int>(c.second);
  }
  FileHandle a, b;
  ASSERT_EQ(a.Open(file, FileAccess::Read, FileCreate::OpenExisting, S::Exclusive), 0u);
  // A refused truncating open must not damage the held file.
  EXPECT_EQ(b.Open(file, FileAccess::Write, FileCreate::CreateAlways, S::Exclusive), kConflict);
  EXPECT_EQ(TempDir::Read(file), "precious data");
  FileHandle moved = std::move(a);
  EXPECT_FALSE(a.IsOpen());
  EXPECT_EQ(b.Open(file, FileAccess::Read, FileCreate::OpenExisting, S::Exclusive), kConflict);
  moved.Close();
  EXPECT_EQ(b.Open(file, FileAccess::Read, FileCreate::OpenExisting, S::Exclusive), 0u);
}

}  // namespace
}  // namespace mv
