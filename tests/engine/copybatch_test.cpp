// Copies flushed in batches: the order of writes, flushes and renames, stops,
// fatal errors and kills at every step, and what the next run makes of it.

#include "engine/copybatch.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "engine/copyfile.h"
#include "engine/copyrun.h"
#include "engine/copythread.h"
#include "engine/folderlock.h"
#include "engine/walks.h"
#include "jobs/jobtypes.h"
#include "platform/fileio.h"
#include "platform/oserror.h"
#include "platform/synchronize.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

namespace fs = std::filesystem;
constexpr timespec kOld{1600000000, 0}, kNew{1700000000, 0};

std::string Pattern(size_t size, char seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(seed + i * 13 + i / 251);
  return s;
}

bool IsWorkName(const std::string& name) { return name == "~MVSW.MVF" || IsBatchWorkFileName(name); }

// Records every ordering call (from the worker and the flusher); at call
// number `at` it stops the run, fails the call (a simulated fatal error) or
// parks the process until it is killed.
class RecordingOps : public CopyOps {
 public:
  enum Kind { kWrite, kWriteBack, kWait, kFlush, kRename };
  enum Action { kNone, kStop, kFail, kPark };
  struct Op {
    Kind kind;
    std::string path, to;
    bool failed;
    std::vector<std::string> covers;  // the copies a flush is for
  };

  uint32_t Write(int fd, const std::string& path, const void* data, size_t size) override {
    if (Step(kWrite, path) || path == failing_) return ERROR_DISK_FULL;
    return CopyOps::Write(fd, path, data, size);
  }
  uint32_t CopyRange(int from, int to, const std::string& path, size_t size, size_t& done) override {
    // A large copy begun ahead is handed over to the walk after one piece.
    if (holdHandOver && std::this_thread::get_id() != walk_ && ::lseek(to, 0, SEEK_CUR) > 0) {
      for (int i = 0; i < 30000 && !thread->Run->Ahead.HandOverAsked(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // A failing in-kernel copy falls back to plain writes, which then fail.
    if (Step(kWrite, path)) return failing_ = path, ERROR_NOT_SUPPORTED;
    return CopyOps::CopyRange(from, to, path, size, done);
  }
  void WriteBack(int fd, const std::string& path) override {
    Step(kWriteBack, path);
    CopyOps::WriteBack(fd, path);
  }
  uint32_t Flush(int fd, const std::string& path) override {
    if (Step(kFlush, path, "", {path})) return ERROR_GEN_FAILURE;
    return CopyOps::Flush(fd, path);
  }
  uint32_t WaitWritten(int fd, const std::string& path) override {
    if (Step(kWait, path)) return ERROR_GEN_FAILURE;
    return CopyOps::WaitWritten(fd, path);
  }
  uint32_t FlushFileSystem(int fd, const std::vector<std::string>& paths) override {
    if (Step(kFlush, paths.front(), "", paths)) return ERROR_GEN_FAILURE;
    return CopyOps::FlushFileSystem(fd, paths);
  }
  uint32_t Rename(const TargetTree& tree, const std::string& from, const std::string& to) override {
    if (Step(kRename, from, to)) return ERROR_ACCESS_DENIED;
    return CopyOps::Rename(tree, from, to);
  }
  // Naming an unnamed work copy is its rename.
  uint32_t Link(const TargetTree& tree, int fd, const std::string& work, const std::string& to) override {
    if (Step(kRename, work, to)) return ERROR_ACCESS_DENIED;
    return CopyOps::Link(tree, fd, work, to);
  }

  std::vector<Op> ops;
  TCopyThread* thread = nullptr;
  size_t at = SIZE_MAX;
  Action action = kNone;
  int parkedPipe = -1;
  bool holdHandOver = false;

 private:
  const std::thread::id walk_ = std::this_thread::get_id();
  std::mutex mutex_;
  std::string failing_;  // a failed in-kernel copy: the writes that follow fail too
  // True when this call is to fail.
  bool Step(Kind kind, const std::string& path, const std::string& to = "", std::vector<std::string> covers = {}) {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool here = ops.size() == at;
    const bool fail = here && action == kFail && kind != kWriteBack;
    ops.push_back({kind, path, to, fail, std::move(covers)});
    if (here && action == kStop) thread->Thread().RequestTerminate();
    if (here && action == kPark) {
      lock.unlock();
      for (; ::write(parkedPipe, "!", 1) == 1;) ::pause();
    }
    return fail;
  }
};

// Every rename of a work copy (onto its target or to the resume name) comes
// after a successful flush of that copy since its last write.
std::string OrderFault(const std::vector<RecordingOps::Op>& ops) {
  std::map<std::string, bool> flushed;  // work path -> flushed since last write
  for (size_t i = 0; i < ops.size(); ++i) {
    const auto& op = ops[i];
    switch (op.kind) {
      case RecordingOps::kWrite: flushed[op.path] = false; break;
      case RecordingOps::kFlush:
        for (const std::string& path : op.covers) flushed[path] = !op.failed;
        break;
      case RecordingOps::kRename:
        if (IsWorkName(fs::path(op.path).filename()) && !flushed[op.path])
          return "rename #" + std::to_string(i) + " of " + op.path + " before its flush";
        flushed.erase(op.path);
        break;
      case RecordingOps::kWriteBack:
      case RecordingOps::kWait: break;
    }
  }
  return "";
}

class CopyBatchTest : public ::testing::Test {
 protected:
  // d/: two older targets and a new file, d/s/: one older target, one new.
  // Sizes span several chunks of 4 KiB.
  std::map<std::string, size_t> files_ = {
      {"d/a", 9000}, {"d/b", 100}, {"d/c", 13000}, {"d/s/x", 5000}, {"d/s/y", 0}};
  std::set<std::string> older_ = {"d/a", "d/c", "d/s/y"};

  void SetUp() override {
    char seed = 'a';
    for (const auto& [name, size] : files_) {
      SetFileWriteTime(dir_.Write("src/" + name, Pattern(size, seed++)), kNew);
      if (older_.count(name)) SetFileWriteTime(dir_.Write("dst/" + name, "old " + name), kOld);
    }
    job_.AddAction(std::make_unique<TTFileAction>(dir_ / "src/", "*.*", dir_ / "dst/", "*.*",
                                                  OPT_DIR_TO_TARGET | OPT_OVERWRITE_OLDER | OPT_RESUME_FILE |
                                                      OPT_RESUME_FOLDER,
                                                  JOB_COPY));
  }
  void ResetTarget() {
    fs::remove_all(dir_ / "dst");
    for (const std::string& name : older_) SetFileWriteTime(dir_.Write("dst/" + name, "old " + name), kOld);
  }

  // One COPY action as a run makes it; the run's state stays in thread_.
  void Run(RecordingOps* ops, size_t batchFiles = 2, FolderLockTable* locks = nullptr) {
    CopyThreadContext context;
    context.CopyFilesAhead = copyAhead_;
    context.FileOps = ops;
    context.BatchFiles = batchFiles;  // 2: batches end inside folders too
    context.Locks = locks;
    thread_ = std::make_unique<TCopyThread>(job_, context);
    thread_->ChunkSize = 4096;
    if (ops) ops->thread = thread_.get(), ops->holdHandOver = copyAhead_;
    RunCopyAction(*thread_, *job_.Actions.front());
  }
  // What a run leaves for the next one (as the end of a run stores it).
  void KeepResumeState() {
    const bool stopped = thread_->TerminateRequested();
    job_.ResumePath = stopped ? thread_->CurrentFolder : "";
    job_.ResumeFile = stopped ? thread_->ResumeFile : FindData{};
    job_.ResumeFilePos = stopped ? thread_->ResumeFilePos : 0;
  }

  // Every target old or complete; beside them at most the resume file of a
  // stop, holding exactly the recorded bytes. Returns how many are new.
  int CheckTargets(bool stopped) {
    int fresh = 0;
    char seed = 'a';
    for (const auto& [name, size] : files_) {
      const std::string want = Pattern(size, seed++);
      const std::string path = dir_ / ("dst/" + name);
      if (!fs::exists(path)) {
        EXPECT_FALSE(older_.count(name)) << name;
        continue;
      }
      const std::string got = test::TempDir::Read(path);
      EXPECT_TRUE(got == want || (older_.count(name) && got == "old " + name)) << name << " " << got.size();
      fresh += got == want;
    }
    for (auto& e : fs::recursive_directory_iterator(dir_ / "dst")) {
      const std::string name = e.path().filename();
      if (e.is_directory() || files_.count(fs::relative(e.path(), dir_ / "dst").string())) continue;
      EXPECT_FALSE(IsWorkName(name)) << e.path();
      if (name == ResumeFileName(job_.JobID)) {
        EXPECT_TRUE(stopped);
        EXPECT_EQ(int64_t(fs::file_size(e.path())), thread_->ResumeFilePos);
        const std::string source = dir_ / ("src/" + fs::relative(e.path().parent_path(), dir_ / "dst").string() +
                                           "/" + thread_->ResumeFile.Name);
        EXPECT_EQ(test::TempDir::Read(e.path()), test::TempDir::Read(source).substr(0, thread_->ResumeFilePos));
      } else {
        ADD_FAILURE() << "unexpected " << e.path();
      }
    }
    return fresh;
  }
  // Stopped and failed at each of a clean run's steps: finished copies are
  // named after their flush or removed, the file in progress is resume
  // state, nothing mixed, and the next run completes. aheadRetries: a copy
  // made ahead that failed is made again the ordinary way, which then
  // reports what it meets (or succeeds).
  void StopAndFailAtEveryStep(size_t steps, size_t batchFiles, bool aheadRetries) {
    for (RecordingOps::Action action : {RecordingOps::kStop, RecordingOps::kFail}) {
      for (size_t at = 0; at < steps; ++at) {
        SCOPED_TRACE((action == RecordingOps::kStop ? "stop at #" : "fail at #") + std::to_string(at));
        ResetTarget();
        job_.ResumePath.clear(), job_.ResumeFilePos = 0;
        RecordingOps ops;
        ops.at = at, ops.action = action;
        Run(&ops, batchFiles);
        EXPECT_EQ(OrderFault(ops.ops), "");
        const int fresh = CheckTargets(action == RecordingOps::kStop);
        EXPECT_EQ(fresh, thread_->cSuccess);
        // A write-back cannot fail.
        const bool failed = action == RecordingOps::kFail && at < ops.ops.size() && ops.ops[at].failed;
        if (failed && !(aheadRetries && fresh == int(files_.size()))) {
          EXPECT_GE(thread_->cError, 1);
        }
        KeepResumeState();
        CheckNextRunCompletes();
      }
    }
  }
  // The next, undisturbed run completes and leaves nothing of ours behind.
  void CheckNextRunCompletes() {
    Run(nullptr);
    EXPECT_EQ(thread_->cError, 0);
    char seed = 'a';
    for (const auto& [name, size] : files_) EXPECT_EQ(test::TempDir::Read(dir_ / ("dst/" + name)), Pattern(size, seed++)) << name;
    for (auto& e : fs::recursive_directory_iterator(dir_ / "dst"))
      EXPECT_TRUE(e.is_directory() || files_.count(fs::relative(e.path(), dir_ / "dst").string())) << e.path();
  }

  test::TempDir dir_;
  TTFileThreadControl job_{"batch", nullptr, dir_.path(), dir_.path(), nullptr, {.DrawId = false}};
  std::unique_ptr<TCopyThread> thread_;
  // One thread copies, so every run takes the same steps in the same order.
  bool copyAhead_ = false;
};

TEST_F(CopyBatchTest, EveryRenameOfAWorkCopyFollowsItsFlush) {
  RecordingOps clean;
  Run(&clean);
  ASSERT_EQ(OrderFault(clean.ops), "");
  EXPECT_EQ(thread_->cSuccess, int(files_.size()));
  EXPECT_EQ(CheckTargets(false), int(files_.size()));
  // One flush per batch (two copies, or fewer where a folder ends), each
  // copy covered by exactly one.
  size_t flushes = 0, covered = 0;
  for (const auto& op : clean.ops) {
    if (op.kind != RecordingOps::kFlush) continue;
    ++flushes, covered += op.covers.size();
    EXPECT_EQ(std::set<std::string>(op.covers.begin(), op.covers.end()).size(), op.covers.size());
  }
  EXPECT_EQ(covered, files_.size());
  EXPECT_EQ(flushes, 3u);

  StopAndFailAtEveryStep(clean.ops.size(), 2, false);
}

// Many new files, which two threads copy ahead of the walk's turn (large
// ones taken over by the walk after the helper's first piece): the same
// order of flushes and names, the same guarantees.
class CopyAheadBatchTest : public CopyBatchTest {
 protected:
  CopyAheadBatchTest() {
    copyAhead_ = true;
    files_.clear();
    for (int i = 0; i < 14; ++i) files_["d/f" + std::to_string(i + 10)] = static_cast<size_t>(i * 290 % 4097);
    for (int i = 0; i < 6; ++i) files_["d/s/g" + std::to_string(i)] = static_cast<size_t>(100 + i);
    for (int i = 0; i < 3; ++i) files_["d/t/h" + std::to_string(i)] = static_cast<size_t>(9000 + i);
    older_ = {"d/f13", "d/s/g1"};
  }
};

TEST_F(CopyAheadBatchTest, CopiesMadeAheadGetTheirNamesOnlyAfterTheirFlushAndAStopOrFailureLosesNothing) {
  RecordingOps clean;
  Run(&clean, 5);
  ASSERT_EQ(OrderFault(clean.ops), "");
  EXPECT_EQ(thread_->cSuccess, int(files_.size()));
  EXPECT_EQ(CheckTargets(false), int(files_.size()));
  StopAndFailAtEveryStep(clean.ops.size(), 5, true);
}

// Where another job could take a folder, its replaced targets are named
// before the walk gives up its lock; alone, the whole batch waits for one
// flush.
TEST_F(CopyBatchTest, ReplacedTargetsAreNamedBeforeTheirFolderIsGivenUp) {
  const auto flushes = [](const RecordingOps& ops) {
    std::vector<size_t> covered;
    for (const auto& op : ops.ops)
      if (op.kind == RecordingOps::kFlush) covered.push_back(op.covers.size());
    return covered;
  };
  FolderLockTable table;
  RecordingOps shared;
  Run(&shared, 100, &table);
  ASSERT_EQ(OrderFault(shared.ops), "");
  EXPECT_EQ(CheckTargets(false), int(files_.size()));
  EXPECT_EQ(flushes(shared), (std::vector<size_t>{3, 2}));
  bool inSub = false;
  for (const auto& op : shared.ops) {
    inSub = inSub || op.path.find("/d/s/") != std::string::npos;
    if (op.kind == RecordingOps::kRename) {
      EXPECT_EQ(inSub, op.to.find("/d/s/") != std::string::npos) << op.to << " named after d/ was left";
    }
  }
  EXPECT_TRUE(table.Entries.empty());

  ResetTarget();
  RecordingOps alone;
  Run(&alone, 100);
  ASSERT_EQ(OrderFault(alone.ops), "");
  EXPECT_EQ(CheckTargets(false), int(files_.size()));
  EXPECT_EQ(flushes(alone), (std::vector<size_t>{5}));
}

TEST_F(CopyBatchTest, KilledAtAnyStepLeavesOldOrNewAndTheNextRunCleansUp) {
  RecordingOps clean;
  Run(&clean);
  for (size_t at = 0; at < clean.ops.size(); at += 1) {
    SCOPED_TRACE("killed at #" + std::to_string(at));
    ResetTarget();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(ready[0]);
      RecordingOps ops;
      ops.at = at, ops.action = RecordingOps::kPark, ops.parkedPipe = ready[1];
      Run(&ops);
      ::_exit(0);
    }
    {
      struct Reaper {
        pid_t pid;
        ~Reaper() { ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0); }
      } reaper{pid};
      ::close(ready[1]);
      char c;
      EXPECT_EQ(::read(ready[0], &c, 1), 1);
      ::close(ready[0]);
    }
    char seed = 'a';
    for (const auto& [name, size] : files_) {
      const std::string path = dir_ / ("dst/" + name);
      if (!fs::exists(path)) continue;
      const std::string got = test::TempDir::Read(path);
      EXPECT_TRUE(got == Pattern(size, seed) || got == "old " + name) << name;
      ++seed;
    }
    CheckNextRunCompletes();
  }
}

TEST(BatchWorkNames, OnlyTheExactPatternIsOurs) {
  struct Case { const char* name; bool batch; };
  const Case cases[] = {{"~MVSW99999.MVF", true}, {"~MVSW.MVF", false},      {"~MVSW01.MVF", false},
                        {"~MVSW100000.MVF", false}, {"~MVSW1.MVF.txt", false}, {"~mvsw1.mvf", false}};
  for (const Case& c : cases) {
    EXPECT_EQ(IsBatchWorkFileName(c.name), c.batch) << c.name;
    EXPECT_EQ(IsOwnTempFile(c.name), c.batch || std::string(c.name) == "~MVSW.MVF") << c.name;
  }
  EXPECT_EQ(BatchWorkFileName(7), "~MVSW7.MVF");
}

// Counts the synchronised calls a run makes.
class CountingSync : public Synchronizer {
 public:
  void Synchronize(std::function<void()> fn) override { ++calls, fn(); }
  int calls = 0;
};

TEST(DisplayTicks, SynchronisedCallsDoNotGrowWithTheNumberOfFiles) {
  test::TempDir dir;
  for (int i = 0; i < 300; ++i) dir.Write("src/f" + std::to_string(i), "x");
  TTFileThreadControl job("ticks", nullptr, dir.path(), dir.path(), nullptr, {.DrawId = false});
  job.AddAction(std::make_unique<TTFileAction>(dir / "src/", "*.*", dir / "dst/", "*.*",
                                               OPT_DIR_TO_TARGET | OPT_OVERWRITE_ALL, JOB_COPY));
  CountingSync sync;
  CopyThreadContext context;
  context.Sync = &sync;
  TCopyThread thread(job, context);
  const auto start = std::chrono::steady_clock::now();
  RunCopyAction(thread, *job.Actions.front());
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_EQ(thread.cSuccess, 300);
  // At most one refresh per tick (plus the first): never one per file.
  EXPECT_LE(sync.calls, 2 + ms.count() / kDisplayTickMs) << ms.count() << " ms";
}

}  // namespace
}  // namespace mv
