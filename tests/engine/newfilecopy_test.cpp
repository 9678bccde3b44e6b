// New files are written without a name and named when complete: at no
// moment does the target show anything but finished files, a name taken
// while copying is replaced as before, and what older runs left still goes.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>

#include "engine/copybatch.h"
#include "engine/copyfile.h"
#include "engine/copythread.h"
#include "engine/walks.h"
#include "jobs/errmsg.h"
#include "jobs/jobrecord.h"
#include "jobs/jobtypes.h"
#include "platform/filehandle.h"
#include "tests/support/tempdir.h"
#include "tests/support/tree.h"

namespace mv {
namespace {

namespace fs = std::filesystem;
using test::MakeTree, test::RenderTree;

std::string Pattern(size_t size, char seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(seed + i * 11 + i / 509);
  return s;
}

// Looks at the target before every call that orders what reaches the disk
// (from the worker and from the flusher).
class WatchingOps : public CopyOps {
 public:
  explicit WatchingOps(std::function<void()> look) : look_(std::move(look)) {}
  uint32_t Write(int fd, const std::string& path, const void* data, size_t size) override {
    return Look(), CopyOps::Write(fd, path, data, size);
  }
  uint32_t CopyRange(int from, int to, const std::string& path, size_t size, size_t& done) override {
    return Look(), CopyOps::CopyRange(from, to, path, size, done);
  }
  uint32_t Flush(int fd, const std::string& path) override { return Look(), CopyOps::Flush(fd, path); }
  uint32_t FlushFileSystem(int fd, const std::vector<std::string>& paths) override {
    return Look(), CopyOps::FlushFileSystem(fd, paths);
  }
  uint32_t Rename(const TargetTree& tree, const std::string& from, const std::string& to) override {
    return Look(), CopyOps::Rename(tree, from, to);
  }
  uint32_t Link(const TargetTree& tree, int fd, const std::string& work, const std::string& to) override {
    return Look(), CopyOps::Link(tree, fd, work, to);
  }
  int looks = 0;

 private:
  void Look() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++looks, look_();
  }
  std::mutex mutex_;
  std::function<void()> look_;
};

// Parameter: whether copies are flushed before they get their names.
class NewFileCopy : public ::testing::TestWithParam<bool> {
 protected:
  void TearDown() override { SetCopyChunkHookForTesting({}); }
  void Run(CopyOps* ops = nullptr, uint32_t options = 0, const std::function<void(TTFileThreadControl&)>& state = {}) {
    job_ = std::make_unique<TTFileThreadControl>("new", nullptr, tmp_.path(), tmp_.path(), nullptr,
                                                 JobDefaults{.DrawId = false});
    job_->JobID = 0x2A;
    job_->AddAction(std::make_unique<TTFileAction>(src_, "*.*", dst_, "*.*",
                                                   OPT_DIR_TO_TARGET | OPT_OVERWRITE_ALL | options, JOB_COPY));
    if (state) state(*job_);
    CopyThreadContext context;
    context.SyncFiles = GetParam();
    context.FileOps = ops;
    context.BatchFiles = 3;  // batches end inside folders too
    thread_ = std::make_unique<TCopyThread>(*job_, context);
    thread_->ChunkSize = 4096;
    RunCopyAction(*thread_, *job_->Actions.front());
  }

  test::TempDir tmp_;
  const std::string src_ = tmp_ / "src/", dst_ = tmp_ / "dst/";
  std::unique_ptr<TTFileThreadControl> job_;
  std::unique_ptr<TCopyThread> thread_;
};

TEST_P(NewFileCopy, TheTargetShowsOnlyCompleteFilesAtEveryStep) {
  std::vector<test::TreeEntry> files;
  for (int i = 0; i < 7; ++i)
    files.push_back({(i < 4 ? "a/f" : "a/b/f") + std::to_string(i), Pattern(size_t(i) * 3000, char('a' + i))});
  MakeTree(src_, files);
  std::string fault;
  WatchingOps ops([&] {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dst_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      if (it->is_directory()) continue;
      const std::string rel = fs::relative(it->path(), dst_).string();
      if (!fs::exists(src_ + rel) || test::TempDir::Read(it->path()) != test::TempDir::Read(src_ + rel))
        fault = fault.empty() ? rel + " shown unfinished" : fault;
    }
  });
  Run(&ops);
  EXPECT_EQ(fault, "");
  EXPECT_GT(ops.looks, 14);
  EXPECT_EQ(thread_->cSuccess, 7);
  EXPECT_EQ(RenderTree(dst_), RenderTree(src_));
}

TEST_P(NewFileCopy, ANameTakenWhileTheFileIsCopiedIsReplaced) {
  const std::string data = Pattern(5 * 4096, 'n');
  MakeTree(src_, {{"d/big", data}, {"d/small", "s"}});
  SetCopyChunkHookForTesting([&](TCopyThread&, int64_t done) {
    if (done == 2 * 4096) tmp_.Write("dst/d/big", "written meanwhile");
  });
  Run();
  EXPECT_EQ(thread_->cSuccess, 2);
  EXPECT_EQ(thread_->cError, 0);
  EXPECT_EQ(test::TempDir::Read(dst_ + "d/big"), data);
  EXPECT_EQ(RenderTree(dst_), RenderTree(src_));
}

// Made with the source's permissions where possible, changed where the umask took some.
TEST_P(NewFileCopy, NewFilesGetTheSourcesPermissionsWhateverTheUmask) {
  const std::vector<std::pair<const char*, mode_t>> files = {
      {"d/private", 0600}, {"d/tool", 0755}, {"d/shared", 0666}, {"d/group", 0640}, {"d/readonly", 0444}};
  for (const auto& [name, mode] : files) {
    MakeTree(src_, {{name, name}});
    ASSERT_EQ(::chmod((src_ + name).c_str(), mode), 0);
  }
  for (mode_t mask : {mode_t(022), mode_t(077), mode_t(0)}) {
    SCOPED_TRACE(mask);
    fs::remove_all(dst_);
    const mode_t before = ::umask(mask);
    Run();
    ::umask(before);
    EXPECT_EQ(thread_->cSuccess, 5);
    for (const auto& [name, mode] : files) {
      struct stat st {};
      ASSERT_EQ(::stat((dst_ + name).c_str(), &st), 0) << name;
      EXPECT_EQ(st.st_mode & 07777, mode) << name;
    }
  }
}

TEST_P(NewFileCopy, WorkCopiesLeftByACrashGoAndOneInUseStays) {
  MakeTree(src_, {{"d/x", "x"}, {"e/y", "y"}});
  MakeTree(dst_, {{"d/~MVSW.MVF", "crash"}, {"d/~MVSW4.MVF", "crash"}, {"d/~mvsw5.mvf", "user's"},
                  {"e/~MVSW.MVF", "busy"}});
  FileHandle other;  // another job's work copy
  ASSERT_EQ(other.Open(dst_ + "e/~MVSW.MVF", FileAccess::Read, FileCreate::OpenExisting, FileShare::Exclusive), 0u);
  Run();
  EXPECT_EQ(thread_->cSuccess, 2);
  EXPECT_EQ(RenderTree(dst_, {"d/~mvsw5.mvf", "e/~MVSW.MVF"}), RenderTree(src_));
  EXPECT_EQ(test::TempDir::Read(dst_ + "d/~mvsw5.mvf"), "user's");
  EXPECT_EQ(test::TempDir::Read(dst_ + "e/~MVSW.MVF"), "busy");
}

// A stop inside a new file keeps exactly the bytes done as the resume file,
// from which the next run goes on.
TEST_P(NewFileCopy, AStopInsideANewFileLeavesItsResumeFile) {
  const std::string data = Pattern(6 * 4096, 'r');
  MakeTree(src_, {{"big", data}});
  SetCopyChunkHookForTesting([](TCopyThread& t, int64_t done) {
    if (done == 2 * 4096) t.Thread().RequestTerminate();
  });
  Run(nullptr, OPT_RESUME_FILE);
  SetCopyChunkHookForTesting({});
  const std::string resume = ResumeFileName(job_->JobID);
  EXPECT_EQ(test::TempDir::Read(dst_ + resume), data.substr(0, 2 * 4096));
  EXPECT_EQ(RenderTree(dst_, {resume}), "");
  Run(nullptr, OPT_RESUME_FILE | OPT_RESUME_FOLDER,
      [path = thread_->CurrentFolder, file = thread_->ResumeFile, pos = thread_->ResumeFilePos](TTFileThreadControl& j) {
        j.ResumePath = path, j.ResumeFile = file, j.ResumeFilePos = pos;
      });
  bool resumed = false;
  for (const TTErrorMsg& m : thread_->Messages.Snapshot()) resumed = resumed || m.Text == "File copy resumed at 8,192";
  EXPECT_TRUE(resumed);
  EXPECT_EQ(RenderTree(dst_), RenderTree(src_));
}

// Sources open by their names in their folder: a link there is followed as
// its path would be, and the copy is the file it names.
TEST_P(NewFileCopy, ALinkInTheSourceIsCopiedAsTheFileItNames) {
  MakeTree(src_, {{"d/plain", "p"}});
  MakeTree(tmp_ / "elsewhere/", {{"real", "the real content"}});
  fs::create_symlink("../../elsewhere/real", src_ + "d/link");
  Run();
  EXPECT_EQ(thread_->cSuccess, 2);
  EXPECT_FALSE(fs::is_symlink(dst_ + "d/link"));
  EXPECT_EQ(test::TempDir::Read(dst_ + "d/link"), "the real content");
  EXPECT_EQ(test::TempDir::Read(dst_ + "d/plain"), "p");
}

INSTANTIATE_TEST_SUITE_P(Flush, NewFileCopy, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Flushed" : "NotFlushed"; });

}  // namespace
}  // namespace mv
