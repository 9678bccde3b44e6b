#include "jobs/jobrecord.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "jobs/jobid.h"
#include "platform/profile.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using test::TempDir;

TEST(JobRecord, RemoveQueueFileOnlyForQueuedJobs) {
  TempDir dir;
  TTFileThreadControl job("q", nullptr, dir.path(), dir.path(), nullptr);
  const std::string queueFile = dir.Write(job.IdText() + ".MVQ", "[job]\r\n");
  EXPECT_EQ(job.QueueFileName(), queueFile);
  job.RemoveQueueFile();
  EXPECT_EQ(access(queueFile.c_str(), F_OK), 0) << "a job that is not queued keeps the file";
  job.Schedule->Queued = true;
  job.RemoveQueueFile();
  EXPECT_NE(access(queueFile.c_str(), F_OK), 0);
  job.RemoveQueueFile();  // already gone: no error, no crash
}

TEST(JobId, CounterStartsAtOneAndIsStoredAsDecimal) {
  TempDir dir;
  EXPECT_EQ(NewJobId(dir.path()), 1);
  EXPECT_EQ(NewJobId(dir.path()), 2);
  EXPECT_EQ(ProfileReadString(dir / "MVCTRL.MVF", "general", "jobid", ""), "2");
}

TEST(JobId, CounterKeepsOnlyTheLowThirtyTwoBits) {
  TempDir dir;
  dir.Write("MVCTRL.MVF", "[general]\r\njobid=4294967295\r\n");
  EXPECT_EQ(NewJobId(dir.path()), 4294967296LL);
  EXPECT_EQ(ProfileReadString(dir / "MVCTRL.MVF", "general", "jobid", ""), "0");
}

TEST(JobId, GarbageCounterGivesMinusOneAndLeavesTheFile) {
  TempDir dir;
  for (const std::string& bad : {std::string("12x"), std::string(100000, '7')}) {
    const std::string content = "[general]\r\njobid=" + bad + "\r\n";
    const std::string file = dir.Write("MVCTRL.MVF", content);
    EXPECT_EQ(NewJobId(dir.path()), -1) << bad.substr(0, 20);
    EXPECT_EQ(TempDir::Read(file), content);
  }
}

TEST(JobId, UnwritableControlFolderGivesMinusOne) {
  TempDir dir;
  dir.Write("file", "x");
  // A folder below a plain file cannot exist, also for root.
  EXPECT_EQ(NewJobId(dir / "file/"), -1);
}

TEST(JobId, ConcurrentProcessesNeverShareAnId) {
  TempDir dir;
  constexpr int kProcesses = 4;
  constexpr int kDraws = 40;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(fds[0]);
      for (int i = 0; i < kDraws; ++i) {
        const int64_t id = NewJobId(dir.path());
        if (write(fds[1], &id, sizeof id) != sizeof id) _exit(2);
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  close(fds[1]);
  std::multiset<int64_t> ids;
  int64_t id = 0;
  while (read(fds[0], &id, sizeof id) == sizeof id) ids.insert(id);
  close(fds[0]);
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  ASSERT_EQ(ids.size(), static_cast<size_t>(kProcesses * kDraws));
  EXPECT_EQ(ids.count(-1), 0u);
  EXPECT_EQ(std::set<int64_t>(ids.begin(), ids.end()).size(), ids.size()) << "an ID was drawn twice";
  EXPECT_EQ(*ids.rbegin(), kProcesses * kDraws);
}

}  // namespace
}  // namespace mv
