#include "engine/copyfile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <thread>
#include <tuple>

#include "engine/copybatch.h"
#include "engine/copythread.h"
#include "jobs/jobtext.h"
#include "platform/fileio.h"
#include "platform/findfile.h"
#include "platform/textcase.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

namespace fs = std::filesystem;
constexpr timespec kTime{1700000000, 123456789};
constexpr uint32_t kAll = OPT_OVERWRITE_ALL;

std::string Pattern(size_t size, char seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(seed + i * 7 + i / 4093);
  return s;
}

// True when fn, run in a forked child, returns `expected`; the child is reaped.
bool InChild(int32_t expected, const std::function<int32_t()>& fn) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(fn() == expected ? 0 : 1);
  int status = -1;
  return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class CopyFileTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dst_), job_.JobID = 0x2A; }
  void TearDown() override { SetCopyChunkHookForTesting({}); }
  std::string Src(const std::string& name, const std::string& content, timespec t = kTime) {
    return SetFileWriteTime(dir_.Write("src/" + name, content), t), src_ + name;
  }
  std::string Dst(const std::string& name) const { return test::TempDir::Read(dst_ + name); }
  // The positions below are in 32 KiB pieces, unless a piece size is given.
  int32_t Copy(const std::string& name, uint32_t options, const std::string& target = "", CopyOps* ops = nullptr,
               int64_t chunk = 32768) {
    FindData e;
    GetFileInfo(src_ + name, e);
    thread_ = std::make_unique<TCopyThread>(job_, CopyThreadContext{.FileOps = ops});
    thread_->Options = options, thread_->ChunkSize = chunk;
    return CopyOneFile(*thread_, src_ + name, target.empty() ? dst_ + name : target, e);
  }
  void KeepResumeState() {  // as the end of a stopped run stores it
    job_.ResumePath = UpperCase(src_), job_.ResumeFile = thread_->ResumeFile, job_.ResumeFilePos = thread_->ResumeFilePos;
  }
  // The target folder holds exactly `name`.
  bool Only(const std::string& name) const {
    auto it = fs::directory_iterator(dst_);
    return it != fs::directory_iterator() && it->path().filename() == name && ++it == fs::directory_iterator();
  }
  bool Logged(int32_t level, int32_t code, const std::string& text) const {
    for (const TTErrorMsg& m : thread_->Messages.Snapshot())
      if (m.Level == level && m.Code == code && m.Text.find(text) != std::string::npos) return true;
    return false;
  }
  bool ArchiveBit(const std::string& path) const { uint32_t a = 0; return GetFileAttributes(path, a), a & kAttrArchive; }

  test::TempDir dir_;
  std::string src_ = dir_ / "src/", dst_ = dir_ / "dst/";
  TTFileThreadControl job_{"t", nullptr, dir_.path(), dir_.path(), nullptr, {.DrawId = false}};
  std::unique_ptr<TCopyThread> thread_;
};

TEST_F(CopyFileTest, ConflictRulesDecideWhetherTheTargetIsReplaced) {
  struct Case { uint32_t options; int targetAge; const char* name; const char* target; int32_t result; const char* after; };
  const Case cases[] = {  // targetAge 99: no target
      {kAll, 0, "a", "", 0, "new"},
      {OPT_OVERWRITE_OLDER, 0, "a", "", 2, "old"},   // equal DOS times
      {OPT_OVERWRITE_OLDER, -2, "a", "", 0, "new"},  // one DOS tick newer
      {kAll, 99, "~MVSW.MVF", "", 2, ""},
      {kAll, 99, "~mvsw.mvf", "", 0, "new"},  // a user's file: case is part of a name
      {kAll | OPT_LOG_ONLY_COPY | OPT_CLEAR_ARCHIVE, 0, "a", "", 0, "old"},
      {OPT_SKIP_EXISTING | OPT_CLEAR_ARCHIVE, 0, "a", "NUL:a", 0, "old"}};  // read test
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.options) + " " + c.target);
    fs::remove_all(dst_), SetUp(), Src(c.name, "new");
    if (c.targetAge != 99) SetFileWriteTime(dir_.Write("dst/" + std::string(c.name), "old"), {kTime.tv_sec + c.targetAge, 0});
    EXPECT_EQ(Copy(c.name, c.options, c.target), c.result);
    EXPECT_EQ(Dst(c.name), c.after);
    EXPECT_EQ(Logged(LVL_LOG_ONLY, MC_COPY, src_ + c.name), (c.options & OPT_LOG_ONLY_COPY) != 0);
    EXPECT_EQ(ArchiveBit(src_ + c.name), !(c.options & OPT_CLEAR_ARCHIVE));
  }
}

// A folder the walk made and found empty holds no target to look for; one that
// appears there anyway is replaced whole, as one that appears during the copy.
TEST_F(CopyFileTest, ATargetAppearingInAFolderFoundEmptyIsReplacedWholeOthersFollowTheRule) {
  Src("a", Pattern(70000, 'n'));
  for (bool foundEmpty : {false, true}) {
    SCOPED_TRACE(foundEmpty);
    fs::remove_all(dst_), SetUp();
    SetFileWriteTime(dir_.Write("dst/a", "theirs, newer"), {kTime.tv_sec + 3600, 0});
    FindData e;
    GetFileInfo(src_ + "a", e);
    thread_ = std::make_unique<TCopyThread>(job_, CopyThreadContext{});
    thread_->Options = OPT_OVERWRITE_OLDER;
    EXPECT_EQ(CopyOneFile(*thread_, src_ + "a", dst_ + "a", e, foundEmpty), foundEmpty ? 0 : 2);
    EXPECT_EQ(Dst("a"), foundEmpty ? Pattern(70000, 'n') : "theirs, newer");
    EXPECT_TRUE(Only("a"));
  }
}

TEST_F(CopyFileTest, CopyCarriesExactTimeAttributesAndClearsLeftovers) {
  SetFileAttributes(Src("f", Pattern(100000, 'a')), kAttrReadOnly | kAttrArchive);
  dir_.Write("dst/f", "old"), dir_.Write("dst/~MVSW.MVF", "crash leftover"), dir_.Write("dst/~MVSS.MVF", "swap");
  ASSERT_EQ(Copy("f", kAll | OPT_CLEAR_ARCHIVE), 0);
  EXPECT_EQ(Dst("f"), Pattern(100000, 'a'));
  FindData t;
  GetFileInfo(dst_ + "f", t);
  EXPECT_EQ(std::pair(t.WriteTime.tv_sec, t.WriteTime.tv_nsec), std::pair(kTime.tv_sec, kTime.tv_nsec));
  EXPECT_EQ(t.Attr & (kAttrReadOnly | kAttrArchive), kAttrReadOnly | kAttrArchive);
  EXPECT_FALSE(ArchiveBit(src_ + "f"));
  EXPECT_TRUE(Only("f"));
}

TEST_F(CopyFileTest, FailuresGiveTheirCodeAndKeepTheOldTarget) {
  const std::string p = Src("f", Pattern(4 * 32768, 'd'));
  dir_.Write("dst/f", "old");
  FileHandle other;  // another job is writing its work copy into the same folder
  other.Open(dir_.Write("dst/~MVSW.MVF", "busy"), FileAccess::Read, FileCreate::OpenExisting, FileShare::Exclusive);
  EXPECT_EQ(Copy("f", kAll), MC_TEMP_EXISTS);
  EXPECT_EQ(Dst("~MVSW.MVF"), "busy");
  other.Close(), fs::remove(dst_ + "~MVSW.MVF");
  // A target folder the run may not write to; root writes everywhere, so it runs as nobody then.
  const auto writable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(dir_.path(), fs::perms::all, fs::perm_options::add);
  fs::permissions(dst_, writable, fs::perm_options::remove);
  EXPECT_TRUE(InChild(MC_OPEN_TARGET, [&] { return ::geteuid() != 0 || ::setuid(65534) == 0 ? Copy("f", kAll) : -2; }));
  fs::permissions(dst_, fs::perms::owner_write, fs::perm_options::add);
  rlimit disk{100000, 100000};  // the disk fills up half-way
  EXPECT_TRUE(InChild(MC_WRITE_TARGET,
                      [&] { return ::signal(SIGXFSZ, SIG_IGN), ::setrlimit(RLIMIT_FSIZE, &disk) ? -2 : Copy("f", kAll); }));
  EXPECT_TRUE(Dst("f") == "old" && Only("f"));
  const std::function<void()> changes[] = {  // the source grows, shrinks or is rewritten while it is copied
      [&] { fs::resize_file(p, 4 * 32768 + 5); }, [&] { fs::resize_file(p, 32768); },
      [&] { SetFileWriteTime(p, {kTime.tv_sec + 4, 0}); }};
  for (const auto& change : changes) {
    Src("f", Pattern(4 * 32768, 'd'));
    SetCopyChunkHookForTesting([&](TCopyThread&, int64_t done) { if (done == 2 * 32768) change(); });
    EXPECT_EQ(Copy("f", kAll), MC_READ_SOURCE);
    EXPECT_TRUE(Dst("f") == "old" && Only("f"));
  }
}

TEST_F(CopyFileTest, TerminatedCopyResumesByteExactlyUnlessTheSourceChanged) {
  const std::string data = Pattern(10 * 32768 + 123, 'r'), changed = Pattern(data.size(), 'c');
  Src("big", data), dir_.Write("dst/big", "old");
  auto stopAt = [&](int64_t pos) {  // terminates there and keeps what the run stores
    SetCopyChunkHookForTesting([pos](TCopyThread& t, int64_t done) { if (done == pos) t.Thread().RequestTerminate(); });
    EXPECT_EQ(Copy("big", kAll | OPT_RESUME_FILE), MC_TERMINATED);
    SetCopyChunkHookForTesting({});
    KeepResumeState();
  };
  stopAt(3 * 32768);
  EXPECT_EQ(job_.ResumeFilePos, 3 * 32768);
  EXPECT_EQ(test::TempDir::Read(dst_ + ResumeFileName(0x2A)), data.substr(0, 3 * 32768));
  EXPECT_EQ(Dst("big"), "old");
  ASSERT_EQ(Copy("big", kAll | OPT_RESUME_FILE), 0);
  EXPECT_TRUE(Logged(LVL_INFO, 0, "File copy resumed at 98,304"));
  EXPECT_EQ(Dst("big"), data);
  EXPECT_TRUE(Only("big"));
  stopAt(5 * 32768);
  Src("big", changed, {kTime.tv_sec + 10, 0});
  ASSERT_EQ(Copy("big", kAll | OPT_RESUME_FILE), 0);
  EXPECT_FALSE(Logged(LVL_INFO, 0, "File copy resumed"));
  EXPECT_EQ(Dst("big"), changed);
  EXPECT_TRUE(Only("big"));
}

// At the default piece size data moves inside the kernel, and a stop between
// two pieces keeps exactly the bytes done, from which the next run goes on.
TEST_F(CopyFileTest, StopBetweenInKernelPiecesKeepsTheExactPosition) {
  struct CountingOps : CopyOps {
    int ranges = 0, writes = 0;
    uint32_t CopyRange(int from, int to, const std::string& path, size_t size, size_t& done) override {
      return ++ranges, CopyOps::CopyRange(from, to, path, size, done);
    }
    uint32_t Write(int fd, const std::string& path, const void* data, size_t size) override {
      return ++writes, CopyOps::Write(fd, path, data, size);
    }
  } ops;
  const std::string data = Pattern((9 << 20) + 5, 'q');
  Src("big", data);
  int64_t stoppedAt = 0;
  SetCopyChunkHookForTesting([&](TCopyThread& t, int64_t done) {
    if (stoppedAt == 0) stoppedAt = done, t.Thread().RequestTerminate();
  });
  ASSERT_EQ(Copy("big", kAll | OPT_RESUME_FILE, "", &ops, kCopyChunkSize), MC_TERMINATED);
  SetCopyChunkHookForTesting({});
  EXPECT_EQ(std::make_tuple(ops.ranges, ops.writes, thread_->ResumeFilePos), std::make_tuple(1, 0, stoppedAt));
  EXPECT_TRUE(stoppedAt > 0 && stoppedAt <= kCopyChunkSize) << stoppedAt;
  EXPECT_EQ(test::TempDir::Read(dst_ + ResumeFileName(0x2A)), data.substr(0, size_t(stoppedAt)));
  KeepResumeState();
  ASSERT_EQ(Copy("big", kAll | OPT_RESUME_FILE), 0);
  EXPECT_TRUE(Logged(LVL_INFO, 0, "File copy resumed at " + GroupedDecimal(stoppedAt)));
  EXPECT_EQ(Dst("big"), data);
  EXPECT_TRUE(Only("big"));
}

// Killed at any moment: the old or the new content under the target name, only own temp files beside it.
TEST_F(CopyFileTest, KilledCopyNeverDamagesTheTarget) {
  const std::string data = Pattern(64 << 20, 'k');
  Src("big", data);
  const int64_t chunks = int64_t(data.size()) / 32768;
  for (int64_t stopChunk : {int64_t(1), chunks / 2, chunks - 1, chunks, int64_t(-1)}) {
    SCOPED_TRACE(stopChunk);
    dir_.Write("dst/big", "old");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
      SetCopyChunkHookForTesting([&](TCopyThread&, int64_t done) {  // parked there until killed
        for (; done == stopChunk * 32768 && ::write(ready[1], "!", 1) == 1;) ::pause();
      });
      ::_exit(Copy("big", kAll) & 0);
    }
    {
      struct Reaper { pid_t pid; ~Reaper() { ::kill(pid, SIGKILL); ::waitpid(pid, nullptr, 0); } } reaper{pid};
      ::close(ready[1]);
      char c;
      if (stopChunk > 0) { EXPECT_EQ(::read(ready[0], &c, 1), 1); }
      // Free running: killed as the work copy nears completion (or after); WNOWAIT keeps the pid ours.
      siginfo_t ex{};
      struct stat st {};
      for (int i = 0; stopChunk < 0 && i < 300000 && ::waitid(P_PID, pid, &ex, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                      !ex.si_pid && !(::stat((dst_ + "~MVSW.MVF").c_str(), &st) == 0 &&
                                      st.st_size >= int64_t(data.size()) - (1 << 20)); ++i)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      ::close(ready[0]);
    }
    const std::string after = Dst("big");
    EXPECT_TRUE(after == "old" || after == data) << after.size();
    for (auto& e : fs::directory_iterator(dst_))
      EXPECT_TRUE(e.path().filename() == "big" || IsOwnTempFile(e.path().filename().string())) << e.path();
    ASSERT_EQ(Copy("big", kAll), 0);  // clears the leftover
    EXPECT_TRUE(Only("big"));
  }
}

}  // namespace
}  // namespace mv
