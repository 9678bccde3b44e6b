#include "engine/copythread.h"

#include <gtest/gtest.h>

#include "engine/walks.h"
#include "jobs/jobtypes.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

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
