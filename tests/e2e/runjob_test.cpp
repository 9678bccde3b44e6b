// `mirava --run-job FILE`: one run in the foreground, exit codes for scripts.

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "engine/copyfile.h"
#include "engine/copythread.h"
#include "tests/support/childprocess.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using test::ChildProcess;
using test::TempDir;
using test::WaitFor;

int RunJob(const TempDir& dir, const std::string& file) {
  ChildProcess p({MIRAVA_BINARY, "--run-job", file, "--base", dir / "base"}, dir / "out.txt");
  return p.Wait(60000).value_or(-1);
}

std::string Job(const TempDir& dir, const std::string& name, const std::string& source) {
  return dir.Write(name + ".MVJ", "[job]\r\ndescription=" + name + "\r\njobtype=0\r\noptions=259\r\n"
                                  "[actions]\r\ncount=1\r\nsourcepath=" + dir.path() + source +
                                      "/\r\ntargetpath=" + dir.path() + "dst/\r\nsource0=*.*\r\ntarget0=*.*\r\n");
}

TEST(RunJobExitCodes, OkNothingToDoFailedAndUnloadable) {
  TempDir dir;
  dir.Write("src/a.txt", "alpha");
  EXPECT_EQ(RunJob(dir, Job(dir, "copy", "src")), 0);
  EXPECT_EQ(TempDir::Read(dir / "dst/a.txt"), "alpha");
  EXPECT_EQ(RunJob(dir, Job(dir, "copy", "src")), 0) << "nothing to do is a success";
  EXPECT_NE(TempDir::Read(dir / "out.txt").find("There was no work to do"), std::string::npos);
  EXPECT_EQ(RunJob(dir, Job(dir, "gone", "missing")), 2) << "every action failed";
  EXPECT_EQ(RunJob(dir, dir / "NOPE.MVJ"), 3);
  EXPECT_NE(TempDir::Read(dir / "out.txt").find("Load failed: " + dir / "NOPE.MVJ\n" + dir / "NOPE.MVJ: the file does not exist\n"),
            std::string::npos) << "stdout as ever, then the reason on stderr";
  EXPECT_EQ(RunJob(dir, dir.Write("BAD.MVJ", std::string("\0\1\2", 3))), 3);
}

TEST(RunJobExitCodes, StoppedInsideAFileFailsAndTheNextRunCopiesItWhole) {
  TempDir dir;
  const std::string content(static_cast<size_t>(3 * kCopyChunkSize), 'z');
  dir.Write("src/big.bin", content);
  const std::string job = Job(dir, "copy", "src");
  // Held one chunk into the file until the stop arrives.
  setenv("MIRAVA_HOLD_COPY_AT", (std::to_string(kCopyChunkSize) + ":" + (dir / "held")).c_str(), 1);
  auto held = std::make_unique<ChildProcess>(
      std::vector<std::string>{MIRAVA_BINARY, "--run-job", job, "--base", dir / "base"}, dir / "out.txt");
  unsetenv("MIRAVA_HOLD_COPY_AT");
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(dir / "held"); }, 60000)) << TempDir::Read(dir / "out.txt");
  held->Signal(SIGINT);
  EXPECT_EQ(held->Wait(60000), 2) << "terminated";
  EXPECT_FALSE(std::filesystem::exists(dir / "dst/big.bin")) << "no half copy under the name";
  EXPECT_EQ(RunJob(dir, job), 0);
  EXPECT_TRUE(TempDir::Read(dir / "dst/big.bin") == content);
  for (const auto& e : std::filesystem::directory_iterator(dir / "dst"))
    EXPECT_FALSE(IsOwnTempFile(e.path().filename().string())) << e.path() << " is left over";
}

// A job run started by a script or timer loads no window library, and needs
// none of the Qt program beside it; the window without that program fails
// with a clear message.
TEST(RunJobProgram, RunsWithoutTheQtProgramAndLoadsNoQt) {
  TempDir dir;
  const std::string lone = dir / "lone/mirava";
  std::filesystem::create_directories(dir / "lone");
  std::filesystem::copy_file(MIRAVA_BINARY, lone);
  dir.Write("src/a.txt", "alpha");
  ChildProcess run({lone, "--run-job", Job(dir, "copy", "src"), "--base", dir / "base"}, dir / "run.txt");
  EXPECT_EQ(run.Wait(60000), 0) << TempDir::Read(dir / "run.txt");
  EXPECT_EQ(TempDir::Read(dir / "dst/a.txt"), "alpha");

  ChildProcess headless({lone, "--headless", "--base", dir / "base"}, dir / "headless.txt");
  EXPECT_EQ(headless.Wait(60000), 2);
  EXPECT_EQ(TempDir::Read(dir / "headless.txt").rfind("mirava: cannot start " + dir / "lone/mirava-qt: ", 0), 0u)
      << TempDir::Read(dir / "headless.txt");

  std::string libraries;
  if (std::FILE* p = ::popen(("LD_TRACE_LOADED_OBJECTS=1 " + lone).c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) libraries.append(buf, n);
    ::pclose(p);
  }
  EXPECT_NE(libraries.find("libc.so"), std::string::npos) << libraries;
  EXPECT_EQ(libraries.find("libQt"), std::string::npos) << libraries;
}

}  // namespace
}  // namespace mv
