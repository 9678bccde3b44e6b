// `mirava --run-job FILE`: one run in the foreground, exit codes for scripts.

#include <gtest/gtest.h>

#include "tests/support/childprocess.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using test::ChildProcess;
using test::TempDir;

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

}  // namespace
}  // namespace mv
