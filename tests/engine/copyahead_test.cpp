// New files copied ahead of the walk's turn by two threads: each copy made
// complete and unnamed, problems left to the ordinary way, nothing behind
// what is not taken; and a whole run reads the same with and without it.

#include "engine/copyahead.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "engine/copybatch.h"
#include "engine/copyrun.h"
#include "engine/copythread.h"
#include "engine/walks.h"
#include "jobs/jobtypes.h"
#include "platform/fileio.h"
#include "tests/support/tempdir.h"
#include "tests/support/tree.h"

namespace mv {
namespace {

namespace fs = std::filesystem;
constexpr timespec kTime{1700000000, 250000000};

std::string Pattern(size_t size, char seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(seed + i * 5 + i / 127);
  return s;
}

size_t OpenDescriptors() {
  return static_cast<size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

std::string Contents(int fd, int64_t size) {
  std::string s(static_cast<size_t>(size), '\0');
  return ::pread(fd, s.data(), s.size(), 0) == static_cast<ssize_t>(s.size()) ? s : "(unreadable)";
}

int64_t Position(int fd) { return ::lseek(fd, 0, SEEK_CUR); }

// Waits (bounded, so a fault fails instead of hanging) until asked() holds;
// whether it did.
bool AwaitState(const std::function<bool()>& asked) {
  for (int i = 0; i < 30000 && !asked(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return asked();
}

constexpr int64_t kPiece = 4096;

// Counts write-backs. Off the walk's thread it holds a large
// copy's second piece until the walk asks for that copy (handOverAsked), so
// that the hand-over comes at a known place.
class PieceOps : public CopyOps {
 public:
  uint32_t CopyRange(int from, int to, const std::string& path, size_t size, size_t& done) override {
    const bool helper = std::this_thread::get_id() != walk_;
    if (helper && handOverAsked && Position(to) == kPiece) {
      ++helperHolding;
      if (AwaitState(handOverAsked)) ++heldPieces;
    }
    return CopyOps::CopyRange(from, to, path, size, done);
  }
  void WriteBack(int fd, const std::string& path) override {
    ++writeBacks;
    CopyOps::WriteBack(fd, path);
  }
  std::function<bool()> handOverAsked;
  // Second pieces the helper came to and held until asked.
  std::atomic<int> helperHolding{0}, heldPieces{0}, writeBacks{0};

 private:
  const std::thread::id walk_ = std::this_thread::get_id();
};

class CopyAheadTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dst_); }
  // A file of the source folder and its place in a plan.
  AheadCopy File(const std::string& name, size_t size, mode_t mode = 0644) {
    const std::string path = dir_.Write("src/" + name, Pattern(size, name[0]));
    ::chmod(path.c_str(), mode);
    SetFileWriteTime(path, kTime);
    return AheadCopy{.Name = name, .Size = static_cast<int64_t>(size), .WorkPath = dst_ + "~MVSW.MVF"};
  }
  void Begin(std::vector<AheadCopy> files, std::function<bool()> mayGoOn = {}) {
    ahead_.Begin(UniqueFd(::open(src_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)),
                 UniqueFd(::open(dst_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)), std::move(files), std::move(mayGoOn));
  }
  bool TargetEmpty() const { return fs::is_empty(dst_); }

  test::TempDir dir_;
  std::string src_ = dir_ / "src/", dst_ = dir_ / "dst/";
  CopyAhead ahead_{RealCopyOps()};
};

TEST_F(CopyAheadTest, EveryFileTakenInOrderIsCompleteDatedWithItsModeAndStillWithoutAName) {
  for (bool helper : {true, false}) {
    SCOPED_TRACE(helper ? "with the helper" : "the walk alone");
    std::vector<AheadCopy> files;
    for (int i = 0; i < 50; ++i) {
      const mode_t mode = i % 7 == 3 ? 0444 : i % 5 == 1 ? 0755 : 0640;
      files.push_back(File("f" + std::to_string(i), static_cast<size_t>(i * 97 % 5000), mode));
    }
    const size_t before = OpenDescriptors();
    Begin(std::move(files), [helper] { return helper; });
    for (size_t i = 0; i < 50; ++i) {
      AheadCopy* f = ahead_.Take(i);
      ASSERT_NE(f, nullptr);
      ASSERT_TRUE(f->Ready) << f->Name;
      EXPECT_EQ(Contents(f->Work.fd(), f->Size), test::TempDir::Read(src_ + f->Name)) << f->Name;
      struct stat st {};
      ASSERT_EQ(::fstat(f->Work.fd(), &st), 0);
      EXPECT_EQ(st.st_mtim.tv_sec, kTime.tv_sec);
      EXPECT_EQ(st.st_mtim.tv_nsec, kTime.tv_nsec);
      EXPECT_EQ(st.st_mode & 07777, i % 7 == 3 ? 0444u : i % 5 == 1 ? 0755u : 0640u) << f->Name;
      EXPECT_EQ(f->Source.st_size, f->Size);
    }
    EXPECT_TRUE(TargetEmpty());
    ahead_.End();
    EXPECT_EQ(ahead_.Take(0), nullptr);
    EXPECT_TRUE(TargetEmpty());
    EXPECT_EQ(OpenDescriptors(), before);
    fs::remove_all(src_);
  }
}

// Whatever goes wrong is the ordinary copy's to meet again and report.
TEST_F(CopyAheadTest, AProblemLeavesTheFileUnmadeAndNothingBehind) {
  std::vector<AheadCopy> files;
  files.push_back(File("good", 3000));
  files.push_back(AheadCopy{.Name = "gone", .Size = 10});
  AheadCopy grown = File("grown", 100);
  grown.Size = 99;  // listed before it grew
  files.push_back(std::move(grown));
  ASSERT_EQ(::mkfifo((src_ + "fifo").c_str(), 0644), 0);  // must not hang the open
  files.push_back(AheadCopy{.Name = "fifo", .Size = 0});
  ASSERT_EQ(::symlink((src_ + "good").c_str(), (src_ + "link").c_str()), 0);
  files.push_back(AheadCopy{.Name = "link", .Size = 3000});  // followed, as the ordinary open does
  const size_t before = OpenDescriptors();
  Begin(std::move(files));
  std::vector<std::pair<std::string, bool>> made;
  for (size_t i = 0; i < 5; ++i) made.emplace_back(ahead_.Take(i)->Name, ahead_.Take(i)->Ready);
  EXPECT_EQ(made, (std::vector<std::pair<std::string, bool>>{
                      {"good", true}, {"gone", false}, {"grown", false}, {"fifo", false}, {"link", true}}));
  for (size_t i = 1; i < 4; ++i) EXPECT_FALSE(ahead_.Take(i)->Work.IsOpen());
  ahead_.End();
  EXPECT_TRUE(TargetEmpty());
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(CopyAheadTest, CopiesPassedOverOrNotTakenVanishAndTheNextPlanBegins) {
  std::vector<AheadCopy> files;
  for (int i = 0; i < 40; ++i) files.push_back(File("p" + std::to_string(i), 200 + i));
  const size_t before = OpenDescriptors();
  Begin(std::move(files));
  for (size_t i : {0u, 17u, 39u}) {
    ASSERT_NE(ahead_.Take(i), nullptr);
    EXPECT_TRUE(ahead_.Take(i)->Ready) << i;
  }
  // A new plan ends the old one first.
  std::vector<AheadCopy> next;
  next.push_back(File("q", 10));
  Begin(std::move(next));
  EXPECT_EQ(ahead_.Take(0)->Name, "q");
  EXPECT_TRUE(ahead_.Take(0)->Ready);
  EXPECT_EQ(ahead_.Take(1), nullptr);
  ahead_.End();
  EXPECT_TRUE(TargetEmpty());
  EXPECT_EQ(OpenDescriptors(), before);

  // Ended by its owner while the helper may be at work: nothing stays.
  {
    CopyAhead short_lived{RealCopyOps()};
    std::vector<AheadCopy> many;
    for (int i = 0; i < 40; ++i) many.push_back(AheadCopy{.Name = "p" + std::to_string(i), .Size = 200 + i});
    short_lived.Begin(UniqueFd(::open(src_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)),
                      UniqueFd(::open(dst_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)), std::move(many), {});
    EXPECT_TRUE(short_lived.Take(0)->Ready);
  }
  EXPECT_TRUE(TargetEmpty());
  EXPECT_EQ(OpenDescriptors(), before);
}

// A large file goes in pieces; asked to stop between them it stays begun,
// its two files where the next piece would start.
TEST_F(CopyAheadTest, ALargeCopyStopsBetweenPiecesWithItsPlaceExactAndOtherwiseCompletes) {
  const size_t size = 3 * kPiece + 1000;
  AheadCopy f = File("large", size, 0755);
  PieceOps ops;
  int asked = 0;
  AheadPieces pieces{.Chunk = kPiece, .WriteBack = true, .KeepOn = [&] { return ++asked < 2; }};
  const UniqueFd sourceDir(::open(src_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  const UniqueFd targetDir(::open(dst_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  const size_t opened = OpenDescriptors();

  ASSERT_TRUE(MakeCopyAhead(sourceDir.Get(), targetDir.Get(), ops, f, pieces));
  EXPECT_TRUE(f.Partial);
  EXPECT_FALSE(f.Ready);
  EXPECT_EQ(f.Done, 2 * kPiece);
  EXPECT_EQ(Position(f.Work.fd()), 2 * kPiece);
  EXPECT_EQ(Position(f.SourceFile.fd()), 2 * kPiece);
  EXPECT_EQ(Contents(f.Work.fd(), f.Done), test::TempDir::Read(src_ + "large").substr(0, 2 * kPiece));
  EXPECT_EQ(ops.writeBacks, 2);
  EXPECT_TRUE(TargetEmpty());
  f.Work.Close(), f.SourceFile.Close(), f.Partial = false;
  EXPECT_EQ(OpenDescriptors(), opened);

  pieces.KeepOn = [] { return true; };
  ASSERT_TRUE(MakeCopyAhead(sourceDir.Get(), targetDir.Get(), ops, f, pieces));
  EXPECT_TRUE(f.Ready);
  EXPECT_FALSE(f.SourceFile.IsOpen());
  EXPECT_EQ(Contents(f.Work.fd(), f.Size), test::TempDir::Read(src_ + "large"));
  struct stat st {};
  ASSERT_EQ(::fstat(f.Work.fd(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  EXPECT_EQ(st.st_mtim.tv_nsec, kTime.tv_nsec);
  // One write-back per piece, and none for a file of one piece.
  EXPECT_EQ(ops.writeBacks, 2 + 4);
  AheadCopy small = File("small", kPiece);
  ASSERT_TRUE(MakeCopyAhead(sourceDir.Get(), targetDir.Get(), ops, small, pieces));
  EXPECT_EQ(ops.writeBacks, 6);
  f.Work.Close(), small.Work.Close();
  EXPECT_TRUE(TargetEmpty());
  EXPECT_EQ(OpenDescriptors(), opened);
}

// The walk reaches a large file the helper is copying: it gets the copy as
// far as the helper got (here, by the hold in PieceOps, two pieces) and
// goes on from there itself. A large file the helper has not begun is the
// walk's to copy the ordinary way.
TEST_F(CopyAheadTest, TheWalkTakesOverALargeCopyWhereTheHelperIsAndCopiesUnbegunOnesItself) {
  PieceOps ops;
  CopyAhead ahead{ops};
  std::vector<AheadCopy> files;
  files.push_back(File("a-small", 100));
  for (int i = 0; i < 3; ++i) files.push_back(File("large" + std::to_string(i), 4 * kPiece + 7 * size_t(i)));
  const size_t before = OpenDescriptors();
  std::atomic<bool> helper{true};
  ops.handOverAsked = [&ahead] { return ahead.HandOverAsked(); };
  ahead.Begin(UniqueFd(::open(src_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)),
              UniqueFd(::open(dst_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)), std::move(files),
              [&helper] { return helper.load(); }, {.Chunk = kPiece});
  EXPECT_TRUE(ahead.Take(0)->Ready);
  for (size_t i = 1; i < 4; ++i) {
    // The helper holds the file's second piece (it has the next file in
    // hand while the walk is at one).
    AwaitState([&] { return ops.helperHolding >= int(i); });
    AheadCopy* f = ahead.Take(i);
    ASSERT_NE(f, nullptr);
    const std::string want = test::TempDir::Read(src_ + f->Name);
    ASSERT_TRUE(f->Partial) << f->Name;
    EXPECT_EQ(f->Done, 2 * kPiece);
    EXPECT_EQ(Position(f->SourceFile.fd()), f->Done);
    EXPECT_EQ(Contents(f->Work.fd(), f->Done), want.substr(0, size_t(f->Done)));
    // Going on from there gives the whole file.
    size_t n = 0;
    for (int64_t done = f->Done; done < f->Size; done += int64_t(n))
      ASSERT_EQ(RealCopyOps().CopyRange(f->SourceFile.fd(), f->Work.fd(), f->WorkPath, size_t(f->Size - done), n), 0u);
    EXPECT_EQ(Contents(f->Work.fd(), f->Size), want);
  }
  EXPECT_EQ(ops.heldPieces, 3);
  EXPECT_TRUE(TargetEmpty());

  // Without the helper (stopped, paused) nothing large is made ahead.
  helper = false;
  std::vector<AheadCopy> again;
  again.push_back(File("large9", 3 * kPiece));
  ahead.Begin(UniqueFd(::open(src_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)),
              UniqueFd(::open(dst_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)), std::move(again),
              [&helper] { return helper.load(); }, {.Chunk = kPiece});
  AheadCopy* f = ahead.Take(0);
  EXPECT_FALSE(f->Ready || f->Partial || f->Work.IsOpen());
  ahead.End();
  EXPECT_EQ(OpenDescriptors(), before);
}

// Records the data copies and namings, from whichever thread. With a
// thread to watch: the walk's first copy of a file of "c/" waits until the
// helper has begun one too, and off the walk's thread a large copy's
// second piece waits until the walk asks for that copy; so the walk takes
// over a copy begun ahead.
class NamingOps : public CopyOps {
 public:
  uint32_t CopyRange(int from, int to, const std::string& path, size_t size, size_t& done) override {
    const bool helper = std::this_thread::get_id() != walk_, inC = path.find("/c/") != std::string::npos;
    if (thread && helper && inC && Position(to) == 0) ++helperBegun;
    if (thread && !helper && inC && Position(to) == 0 && !walkWaited_) {
      walkWaited_ = true;
      AwaitState([this] { return helperBegun > 0; });
    }
    if (thread && helper && Position(to) == kPiece) AwaitState([this] { return thread->Run->Ahead.HandOverAsked(); });
    // The walk going on with a copy it did not begin.
    if (!helper && Position(to) > 0 && !(to == walkTo_ && Position(to) == walkAt_)) ++takenOver;
    Note('c');
    const uint32_t error = CopyOps::CopyRange(from, to, path, size, done);
    if (!helper) walkTo_ = to, walkAt_ = Position(to);
    return error;
  }
  uint32_t Link(const TargetTree& tree, int fd, const std::string& work, const std::string& to) override {
    Note('n');
    return CopyOps::Link(tree, fd, work, to);
  }
  std::string steps;
  TCopyThread* thread = nullptr;
  std::atomic<int> helperBegun{0};
  int takenOver = 0;

 private:
  const std::thread::id walk_ = std::this_thread::get_id();
  bool walkWaited_ = false;
  int walkTo_ = -1;
  int64_t walkAt_ = 0;
  void Note(char c) {
    std::lock_guard<std::mutex> lock(mutex_);
    steps += c;
  }
  std::mutex mutex_;
};

// A whole COPY action: the same messages in the same order, the same counts
// and the same target tree, whether new files are copied ahead or not.
class CopyAheadRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 60; ++i) {
      const std::string name = "a/f" + std::to_string(100 + i);
      const std::string path = dir_.Write("src/" + name, Pattern(static_cast<size_t>(i * 73 % 4097), 'a' + i % 20));
      if (i % 9 == 4) ::chmod(path.c_str(), 0444);
      if (i % 11 == 5) ::chmod(path.c_str(), 0750);
      SetFileWriteTime(path, {kTime.tv_sec + i, 0});
    }
    SetFileWriteTime(dir_.Write("src/a/large", Pattern(9000, 'L')), kTime);  // more than a piece
    // Large files only: the helper has the next in hand while the walk copies one.
    for (int i = 0; i < 4; ++i) {
      const std::string path = dir_.Write("src/a/c/big" + std::to_string(i), Pattern(size_t(3 * kPiece + 11 * i), 'B'));
      if (i == 2) ::chmod(path.c_str(), 0555);
      SetFileWriteTime(path, {kTime.tv_sec + i, 0});
    }
    SetFileWriteTime(dir_.Write("src/a/~MVSW.MVF", "ours"), kTime);
    for (int i = 0; i < 20; ++i)
      SetFileWriteTime(dir_.Write("src/a/b/g" + std::to_string(i), Pattern(static_cast<size_t>(i * 31), 'g')), kTime);
    job_.AddAction(std::make_unique<TTFileAction>(dir_ / "src/", "*.*", dir_ / "dst/", "*.*",
                                                  OPT_DIR_TO_TARGET | OPT_OVERWRITE_OLDER, JOB_COPY));
  }
  void ResetTarget() {
    fs::remove_all(dir_ / "dst");
    // An older target is replaced, a newer one stays.
    SetFileWriteTime(dir_.Write("dst/a/f110", "older"), {kTime.tv_sec - 100, 0});
    SetFileWriteTime(dir_.Write("dst/a/f111", "newer"), {kTime.tv_sec + 100, 0});
  }
  struct Outcome {
    std::vector<std::tuple<int32_t, int32_t, std::string>> messages;
    std::vector<int32_t> counts;
    std::string tree, modes;
  };
  Outcome Run(bool ahead, bool syncFiles, NamingOps* ops) {
    ResetTarget();
    CopyThreadContext context;
    context.CopyFilesAhead = ahead;
    context.SyncFiles = syncFiles;
    context.FileOps = ops;
    TCopyThread thread(job_, context);
    thread.ChunkSize = kPiece;
    if (ops) ops->thread = &thread;
    RunCopyAction(thread, *job_.Actions.front());
    Outcome out;
    for (const TTErrorMsg& m : thread.Messages.Snapshot()) out.messages.emplace_back(m.Level, m.Code, m.Text);
    out.counts = {thread.cTotal, thread.cSuccess, thread.cSkipped, thread.cError, thread.LastResult};
    out.tree = test::RenderTree(dir_ / "dst");
    for (const auto& e : fs::recursive_directory_iterator(dir_ / "dst"))
      out.modes += e.path().filename().string() + " " + std::to_string(int(fs::status(e).permissions())) + "\n";
    return out;
  }

  test::TempDir dir_;
  TTFileThreadControl job_{"ahead", nullptr, dir_.path(), dir_.path(), nullptr, {.DrawId = false}};
};

TEST_F(CopyAheadRunTest, ARunReadsTheSameWithAndWithoutCopiesMadeAhead) {
  for (bool syncFiles : {false, true}) {
    SCOPED_TRACE(syncFiles ? "durable" : "syncfiles=0");
    const Outcome alone = Run(false, syncFiles, nullptr);
    NamingOps ops;
    const Outcome ahead = Run(true, syncFiles, &ops);
    EXPECT_EQ(ahead.messages, alone.messages);
    EXPECT_EQ(ahead.counts, alone.counts);
    EXPECT_EQ(ahead.tree, alone.tree);
    EXPECT_EQ(ahead.modes, alone.modes);
    // 86 files: one newer target and our own name skipped, the rest copied.
    EXPECT_EQ(alone.counts, (std::vector<int32_t>{86, 84, 2, 0, 0}));
    EXPECT_EQ(test::TempDir::Read(dir_ / "dst/a/f110"), test::TempDir::Read(dir_ / "src/a/f110"));
    EXPECT_EQ(test::TempDir::Read(dir_ / "dst/a/f111"), "newer");
    // Made ahead: the copies of a block are made before the first of them
    // gets its name (one by one, copy and naming would alternate).
    if (!syncFiles) {
      EXPECT_NE(ops.steps.find("cccc"), std::string::npos) << ops.steps;
    }
    // A large copy was begun ahead and taken over.
    EXPECT_GE(ops.takenOver, 1);
  }
}

}  // namespace
}  // namespace mv
