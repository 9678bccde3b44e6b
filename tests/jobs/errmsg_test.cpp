#include "jobs/errmsg.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/clock.h"
#include "platform/datetext.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using test::TempDir;
using Texts = std::vector<std::string>;

class ErrMsgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDateTimeFormatsForTesting("dd.mm.yyyy", "hh:nn:ss");
    const DateTime t = EncodeDateTime({2026, 12, 5, 18, 30, 0, 0});
    SetClockForTesting([t] { return t; });
  }
  void TearDown() override {
    SetClockForTesting({});
    SetDateTimeFormatsForTesting("", "");
  }
  // The one message of a fresh list, stamped with job.
  static std::string Line(int32_t tag, int32_t level, int32_t code, const std::string& text,
                          bool structured = false, int64_t job = 42, int32_t osError = 0) {
    TTErrorMsgList worker, log;
    worker.AddMsgOS(tag, level, code, osError, text);
    log.MoveJobMessages(worker, job);
    return log.Count() == 1 ? log.FormatMsg(0, structured) : "<nothing added>";
  }
  static Texts Lines(const std::string& file) {
    Texts lines;
    std::string rest = TempDir::Read(file);
    for (size_t end; (end = rest.find("\r\n")) != std::string::npos; rest.erase(0, end + 2))
      lines.push_back(rest.substr(0, end));
    if (!rest.empty()) lines.push_back("<unterminated>" + rest);
    return lines;
  }
  static std::string At1830(const std::string& job, const std::string& rest) {
    return "[" + job + "]  05.12.2026 18:30:00  " + rest;
  }
  TempDir tmp_;
};

TEST_F(ErrMsgTest, LineForms) {
  EXPECT_EQ(Line(TAG_GENERAL, LVL_ERROR, MC_OPEN_SOURCE, "C:\\DATA\\A.TXT", false, 42, 5),
            "[0000002A]  05.12.2026 18:30:00  (E5)  Cannot open source file C:\\DATA\\A.TXT");
  EXPECT_EQ(Line(TAG_GENERAL, LVL_ERROR, MC_OPEN_SOURCE, "C:\\DATA\\A.TXT", true, 42, 5),
            "@0000002A;05.12.2026 18:30:00;5;Cannot open source file C:\\DATA\\A.TXT");
  // Line breaks in a text must not split a log line.
  EXPECT_EQ(Line(TAG_GENERAL, LVL_JOB, EV_START, "a\nb\r"),
            At1830("0000002A", "JOB START (a?b?) a?b?"));
  EXPECT_EQ(JobLogFolderName(0x1000001F4LL), "000001F4");
}

TEST_F(ErrMsgTest, TablePartRules) {
  constexpr int32_t G = TAG_GENERAL, NW = TAG_NETWARE;
  const struct { int32_t tag, level, code; std::string table; } cases[] = {
      {G, LVL_DIR, 0, "  +--- "},              {G, LVL_JOB, EV_TERMINATED, "JOB TERMINATED (T)"},
      {G, LVL_JOB, 4, "<NO MESSAGE>"},         {G, LVL_LOG_ONLY, MC_DELETE_FILE, "DELETE FILE"},
      {G, LVL_WARNING, 0x0999, ""},            {G, LVL_INFO, 0x0999, "<NO MESSAGE>"},
      {NW, LVL_ERROR, MC_NW_PARSE_PATH, "NW - Parse path error"},
      {NW, LVL_WARNING, MC_OPEN_SOURCE, "<NO MESSAGE>"}};
  for (const auto& c : cases)
    EXPECT_EQ(Line(c.tag, c.level, c.code, "T", true),
              "@0000002A;05.12.2026 18:30:00;;" + c.table + " T")
        << "tag " << c.tag << " level " << c.level << " code " << std::hex << c.code;
}

TEST_F(ErrMsgTest, TwoJobsWriteTheirOwnLogFiles) {
  TTErrorMsgList log(tmp_.path(), "MIRAVA.LOG"), workerA, workerB;
  workerA.AddMsg(TAG_GENERAL, LVL_JOB, EV_START, "A");
  workerB.AddMsg(TAG_GENERAL, LVL_JOB, EV_START, "B");
  workerA.AddMsg(TAG_GENERAL, LVL_INFO, MC_COPY, "a.txt");
  log.MoveJobMessages(workerA, 0x1F4);
  log.MoveJobMessages(workerB, 0x1F5);
  log.WriteLog();
  log.WriteJobLog(0x1F4);
  log.WriteJobLog(0x1F4);
  log.WriteJobLog(0x1F5);
  workerA.AddMsg(TAG_GENERAL, LVL_JOB, EV_FINISHED, "A");
  log.MoveJobMessages(workerA, 0x1F4);
  log.WriteLog("");
  log.WriteJobLog(0x1F4);
  const Texts jobA = {At1830("000001F4", "JOB START (A) A"), At1830("000001F4", "  (COPY) a.txt"),
                      At1830("000001F4", "JOB FINISHED (A) A")};
  const Texts jobB = {At1830("000001F5", "JOB START (B) B")};
  EXPECT_EQ(Lines(tmp_ / "000001F4/000001F4.LOG"), jobA);
  EXPECT_EQ(Lines(tmp_ / "000001F4/ATT000001F4.LOG"), jobA);
  EXPECT_EQ(Lines(tmp_ / "000001F5/000001F5.LOG"), jobB);
  EXPECT_EQ(Lines(tmp_ / "MIRAVA.LOG"), (Texts{jobA[0], jobA[1], jobB[0], jobA[2]}));
}

TEST_F(ErrMsgTest, MovingStampsTheJobAndShowsAllButLevel32) {
  TTErrorMsgList log, worker;
  Texts shown;
  log.SetDisplaySink([&](const std::string& line) {
    shown.push_back(line);
    log.Count();  // the sink may use the list
  });
  worker.AddMsg(TAG_GENERAL, LVL_INFO, MC_COPY, "shown");
  worker.AddMsg(TAG_GENERAL, LVL_LOG_ONLY, MC_COPY, "hidden");
  worker.AddMsgOS(TAG_GENERAL, LVL_WARNING, MC_OPEN_TARGET, 32, "busy");
  EXPECT_EQ(log.MoveJobMessages(worker, 7), 3u);
  EXPECT_EQ(shown, (Texts{"@00000007;05.12.2026 18:30:00;;  (COPY) shown",
                          "@00000007;05.12.2026 18:30:00;32;Cannot open target file busy"}));
  ASSERT_EQ(log.Count(), 3u);
  EXPECT_EQ(log.At(1)->Text, "hidden");
}

// FinishJob writes the job's last lines, then drops the job; the other job stays in order.
TEST_F(ErrMsgTest, FinishingAJobKeepsOtherJobsAndOnlyTheLastRunInTheAttachmentLog) {
  TTErrorMsgList log(tmp_.path() + "LOGS/", "MIRAVA.LOG"), worker;
  for (int i = 0; i < 4; ++i)
    log.Append({.JobID = i % 2 ? 8 : 9, .Level = LVL_INFO, .Text = std::to_string(i)});
  for (const char* run : {"run 1", "run 2"}) {
    log.DeleteAttachmentLog(9);
    EXPECT_NE(::access((tmp_ / "LOGS/00000009/ATT00000009.LOG").c_str(), F_OK), 0);
    worker.AddMsg(TAG_GENERAL, LVL_JOB, EV_START, run);
    log.MoveJobMessages(worker, 9);
    log.FinishJob(9);
  }
  Texts left;
  for (const TTErrorMsg& m : log.Snapshot()) left.push_back(m.Text);
  EXPECT_EQ(left, (Texts{"1", "3"}));
  EXPECT_EQ(Lines(tmp_ / "LOGS/00000009/00000009.LOG").size(), 4u);
  EXPECT_EQ(Lines(tmp_ / "LOGS/00000009/ATT00000009.LOG"),
            (Texts{At1830("00000009", "JOB START (run 2) run 2")}));
  log.Close();
  EXPECT_EQ(log.Count(), 0u);
  EXPECT_EQ(Lines(tmp_ / "LOGS/MIRAVA.LOG").size(), 2u);
}

TEST_F(ErrMsgTest, UnwritableLogDirIsRetriedLater) {
  // A plain file where the log folder should be: nothing below it can be made.
  const std::string blocker = tmp_.Write("LOGS", "not a folder");
  TTErrorMsgList log(tmp_.path() + "LOGS", "MIRAVA.LOG"), worker;
  worker.AddMsg(TAG_GENERAL, LVL_ERROR, MC_WRITE_TARGET, "x");
  log.MoveJobMessages(worker, 5);
  log.WriteJobLog(5);
  log.DeleteAttachmentLog(5);
  EXPECT_GE(log.WriteFailures(), 1u);
  ASSERT_EQ(::unlink(blocker.c_str()), 0);
  ASSERT_EQ(::mkdir(blocker.c_str(), 0777), 0);
  log.WriteJobLog(5);
  log.WriteJobLog(5);
  EXPECT_EQ(Lines(tmp_ / "LOGS/00000005/00000005.LOG").size(), 1u);
  EXPECT_EQ(Lines(tmp_ / "LOGS/00000005/ATT00000005.LOG").size(), 1u);
}

TEST_F(ErrMsgTest, AFileThatFillsUpMidLineIsCutBackToWholeLines) {
  TTErrorMsgList log(tmp_.path(), "MIRAVA.LOG");
  for (int i = 1; i <= 3; ++i) log.AddMsg(TAG_GENERAL, LVL_INFO, 0, "line" + std::to_string(i));
  const std::string line1 = At1830("00000000", " line1");
  // The file size limit stands in for a full disk: room for two lines and part of the third.
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
  const rlimit small{2 * (line1.size() + 2) + 10, old.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  log.WriteLog();
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldSignal);
  EXPECT_EQ(Lines(tmp_ / "MIRAVA.LOG").size(), 2u);
  EXPECT_EQ(log.WriteFailures(), 1u);
  log.WriteLog();
  EXPECT_EQ(Lines(tmp_ / "MIRAVA.LOG"),
            (Texts{line1, At1830("00000000", " line2"), At1830("00000000", " line3")}));
}

TEST_F(ErrMsgTest, ConcurrentAddsAndMovesLoseNothing) {
  constexpr int kThreads = 4, kEach = 5000;
  TTErrorMsgList log, shared;
  std::atomic<int> running{kThreads};
  std::vector<std::jthread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i)
        shared.AddMsg(t, LVL_INFO, 0, std::to_string(t) + ":" + std::to_string(i));
      --running;
    });
  size_t moved = 0;
  while (running > 0) moved += log.MoveJobMessages(shared, 1);
  threads.clear();
  moved += log.MoveJobMessages(shared, 1);
  EXPECT_EQ(moved, static_cast<size_t>(kThreads * kEach));
  ASSERT_EQ(log.Count(), static_cast<size_t>(kThreads * kEach));
  std::vector<int> next(kThreads, 0);
  for (const TTErrorMsg& m : log.Snapshot())
    ASSERT_EQ(m.Text, std::to_string(m.Tag) + ":" + std::to_string(next[m.Tag]++));
}

}  // namespace
}  // namespace mv
