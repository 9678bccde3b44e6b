#include "engine/copythread.h"

#include <gtest/gtest.h>

#include <tuple>

#include "engine/walks.h"
#include "jobs/jobtypes.h"
#include "platform/clock.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

TEST(TransferRate, WindowsCloseAfterThirtySecondsWhenDataMoved) {
  DateTime now = 46000.0;
  SetClockForTesting([&] { return now; });
  TTFileThreadControl job("rate", nullptr, "", "", nullptr, {.DrawId = false});
  TCopyThread t(job, CopyThreadContext{});
  const double second = 1.0 / kSecondsPerDay;

  t.DisplayRefresh();  // nothing moved yet
  EXPECT_EQ(job.PrevRateSample.Latest, 0);

  t.BytesSinceRateSample = 1000;  // the first window closes at once
  t.DisplayRefresh();
  EXPECT_EQ(std::make_tuple(job.PrevRateSample.Bytes, job.PrevRateSample.Latest, job.RateSample.Start),
            std::make_tuple(int64_t(1000), now, now));

  const DateTime opened = now;
  t.BytesSinceRateSample = 500;
  now += 10 * second;
  t.DisplayRefresh();
  EXPECT_EQ(job.PrevRateSample.Bytes, 1000) << "a window shorter than 30 s stays open";
  now = opened + 31 * second;
  t.DisplayRefresh();
  EXPECT_EQ(std::make_tuple(job.PrevRateSample.Bytes, job.PrevRateSample.Start, t.BytesSinceRateSample),
            std::make_tuple(int64_t(500), opened, int64_t(0)));
  SetClockForTesting({});
}

// Messages move in many small batches (a refresh at every entry): the program
// log and the job log still hold every one once, in the order of the run.
TEST(RunMessages, ReachTheProgramLogAndTheJobLogInOrder) {
  test::TempDir dir;
  std::vector<std::string> sources;
  for (const char* folder : {"a", "b", "c"})
    for (int i = 0; i < 40; ++i) {
      const std::string name = std::string("src/") + folder + "/f" + std::to_string(100 + i);
      dir.Write(name, "x");
      sources.push_back(dir / name);
    }
  dir.Write("logs/MIRAVA.LOG", "");
  TTErrorMsgList programLog(dir / "logs/", "MIRAVA.LOG");
  TTFileThreadControl job("order", &programLog, dir.path(), dir.path(), nullptr, {.DrawId = false});
  job.JobID = 0x51;
  job.AddAction(std::make_unique<TTFileAction>(dir / "src/", "*.*", dir / "dst/", "*.*",
                                               OPT_DIR_TO_TARGET | OPT_OVERWRITE_ALL | OPT_LOG_ONLY_COPY, JOB_COPY));
  TCopyThread thread(job, CopyThreadContext{.ProgramLog = &programLog, .DisplayTickMs = 0});
  RunCopyAction(thread, *job.Actions.front());
  EXPECT_EQ(thread.cError, 0);
  thread.DisplayRefresh();
  for (const std::string& log : {dir / "logs/MIRAVA.LOG", programLog.JobLogPath(job.JobID)}) {
    SCOPED_TRACE(log);
    const std::string text = test::TempDir::Read(log);
    size_t at = 0;
    for (const std::string& source : sources) {
      const size_t found = text.find(source + "\r\n", at);
      ASSERT_NE(found, std::string::npos) << source << " missing or out of order";
      EXPECT_EQ(text.find(source + "\r\n", found + 1), std::string::npos) << source << " twice";
      at = found;
    }
  }
}

}  // namespace
}  // namespace mv
