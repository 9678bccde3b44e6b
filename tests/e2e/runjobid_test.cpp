// A job file without a stored ID keeps one ID across `--run-job` runs, so a
// run knows its own partial copies (and logs stay in one folder).

#include <gtest/gtest.h>

#include <filesystem>

#include "jobs/errmsg.h"
#include "jobs/jobrecord.h"
#include "tests/support/childprocess.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using test::ChildProcess;
using test::TempDir;

TEST(RunJobId, AJobFileKeepsItsIdAcrossRunsAndDrawsNoCounterId) {
  TempDir dir;
  dir.Write("src/a.txt", "alpha");
  const std::string job = dir.Write("COPY.MVJ", "[job]\r\ndescription=copy\r\njobtype=0\r\noptions=259\r\n"
                                                "[actions]\r\ncount=1\r\nsourcepath=" + dir.path() +
                                                    "src/\r\ntargetpath=" + dir.path() + "dst/\r\nsource0=*.*\r\ntarget0=*.*\r\n");
  const std::string stale = dir / ("dst/" + std::string("~MVSR") + JobIdText(JobIdForFile(job)) + ".MVF");
  for (int run = 0; run < 2; ++run) {
    dir.Write("src/b" + std::to_string(run) + ".txt", "new");  // each run has work to do
    if (run == 1) dir.Write("dst/" + std::filesystem::path(stale).filename().string(), "partial of an earlier run");
    ChildProcess p({MIRAVA_BINARY, "--run-job", job, "--base", dir / "base"}, dir / "out.txt");
    ASSERT_EQ(p.Wait(60000), 0);
  }
  std::vector<std::string> logFolders;
  for (const auto& e : std::filesystem::directory_iterator(dir / "base/LOGS"))
    if (e.is_directory()) logFolders.push_back(e.path().filename().string());
  EXPECT_EQ(logFolders, std::vector<std::string>{JobLogFolderName(JobIdForFile(job))});
  EXPECT_FALSE(std::filesystem::exists(stale)) << "no run can resume it: removed";
  EXPECT_EQ(TempDir::Read(dir / "dst/b1.txt"), "new");
  EXPECT_EQ(TempDir::Read(dir / "base/CTRL/MVCTRL.MVF").find("jobid=1"), std::string::npos);
}

}  // namespace
}  // namespace mv
