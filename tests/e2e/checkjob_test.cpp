// `mirava --check-job FILE` explains a hand-written job file and writes nothing.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/childprocess.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using test::ChildProcess;
using test::TempDir;

struct Checked {
  std::optional<int> exitCode;
  std::string output;
};

Checked Check(const TempDir& dir, const std::string& file) {
  const std::string out = dir / "check.txt";
  std::filesystem::remove(out);
  ChildProcess p({MIRAVA_BINARY, "--check-job", file, "--base", dir / "base"}, out);
  Checked c;
  c.exitCode = p.Wait(30000);
  c.output = TempDir::Read(out);
  return c;
}

TEST(CheckJob, ValidJobIsDescribedAndNothingIsWritten) {
  TempDir dir;
  const std::string job = dir.Write(
      "DAILY.MVQ",
      "[job]\r\ndescription=Daily\r\njobtype=0\r\noptions=259\r\n"
      "[schedule]\r\njobID=500\r\ndays=1\r\nhold=1\r\nrunaftersuccess=Next\r\n"
      "[actions]\r\ncount=1\r\nsourcepath=/src/\r\ntargetpath=/dst/\r\nsource0=*.*\r\ntarget0=*.*\r\n");
  const std::string before = TempDir::Read(job);
  const Checked c = Check(dir, job);
  EXPECT_EQ(c.exitCode, 0) << c.output;
  EXPECT_NE(c.output.find("load result: 0\n"), std::string::npos);
  EXPECT_NE(c.output.find("ID: 000001F4"), std::string::npos);
  EXPECT_NE(c.output.find("interval: every 1 day\n"), std::string::npos);
  EXPECT_NE(c.output.find("next due: held\n"), std::string::npos);
  EXPECT_NE(c.output.find("after success: Next (disabled)\n"), std::string::npos);
  EXPECT_NE(c.output.find("Source : /src/"), std::string::npos) << c.output;
  EXPECT_NE(c.output.find("valid: yes\n"), std::string::npos);
  EXPECT_EQ(TempDir::Read(job), before);
  EXPECT_FALSE(std::filesystem::exists(dir / "base")) << "a check writes no data";
}

TEST(CheckJob, LinesNoLoadReadsAreNamed) {
  TempDir dir;
  const std::string job = dir.Write("TYPO.MVJ",
                                    "options=3\n[job]\ndescription=t\n[actions\ncount=1\nsourcepath=/a/\n"
                                    "[job]\ndescription=u\n[actions]\ncount=2\ncount=3\n");
  const Checked c = Check(dir, job);
  EXPECT_EQ(c.exitCode, 0) << "still a job the program runs";
  for (const char* warning :
       {":1: warning: options= before the first [section]; ignored", ":4: warning: not a [section] or key=value line; ignored",
        ":7: warning: section [job] begins at line 2 already; its keys are ignored",
        ":11: warning: count= is given at line 10 already; ignored"})
    EXPECT_NE(c.output.find(job + warning + "\n"), std::string::npos) << warning << "\n" << c.output;
}

TEST(CheckJob, BadFilesAreInvalidWithAReason) {
  TempDir dir;
  const Checked missing = Check(dir, dir / "NOPE.MVJ");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.output.find("load result: 1\n"), std::string::npos);
  EXPECT_NE(missing.output.find("valid: no"), std::string::npos);
  EXPECT_NE(missing.output.find(dir / "NOPE.MVJ: the file does not exist\n"), std::string::npos);

  const Checked garbage =
      Check(dir, dir.Write("BIN.MVJ", std::string("\x7f" "ELF\x00\x01\x02\n[actions]\ncount=-5\n", 27)));
  EXPECT_EQ(garbage.exitCode, 1);

  // The problem is named with its file and line, as editors jump to it.
  struct Case {
    const char* content;
    std::string message;
  } cases[] = {
      {"[job]\ndescription=h\n\n[actions]\ncount=2000000000\n",
       ":5: count=2000000000: a job may have at most 4096 actions"},
      {"[job]\r\ndescription=\r\n[actions]\r\ncount=1\r\n", ":2: the description is empty"},
  };
  for (const Case& c : cases) {
    const std::string file = dir.Write("CASE.MVJ", c.content);
    const Checked r = Check(dir, file);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find(file + c.message + "\n"), std::string::npos) << r.output;
  }
}

}  // namespace
}  // namespace mv
