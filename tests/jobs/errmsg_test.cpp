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

// Pins the clock and the date formats of the locale for each test.
class ErrMsgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDateTimeFormatsForTesting("dd.mm.yyyy", "hh:nn:ss");
    SetTime(18, 30);
  }
  void TearDown() override {
    SetClockForTesting({});
    SetDateTimeFormatsForTesting("", "");
  }
  static void SetTime(int h, int mi) {
    const DateTime t = EncodeDateTime({2026, 12, 5, h, mi, 0, 0});
    SetClockForTesting([t] { return t; });
  }
  // The one message of a fresh list, stamped with job.
  static std::string Line(int32_t tag, int32_t level, int32_t code, const std::string& text,
                          bool structured = false, int64_t job = 42, int32_t osError = 0) {
    TTErrorMsgList list;
    list.AddMsgOS(tag, level, code, osError, text);
    std::optional<TTErrorMsg> m = list.At(0);
    if (!m) return "<nothing added>";
    m->JobID = job;
    return FormatMsg(*m, structured);
  }
  static Texts Lines(const std::string& file) {
    Texts lines;
    std::string rest = TempDir::Read(file);
    for (size_t end; (end = rest.find("\r\n")) != std::string::npos; rest.erase(0, end + 2))
      lines.push_back(rest.substr(0, end));
    if (!rest.empty()) lines.push_back("<unterminated>" + rest);
    return lines;
  }
  static bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
  }
  TempDir tmp_;
};

TEST_F(ErrMsgTest, LineForms) {
  const std::string text = "C:\\DATA\\A.TXT";
  EXPECT_EQ(Line(TAG_GENERAL, LVL_ERROR, MC_OPEN_SOURCE, text, false, 42, 5),
            "[0000002A]  05.12.2026 18:30:00  (E5)  Cannot open source file C:\\DATA\\A.TXT");
  EXPECT_EQ(Line(TAG_GENERAL, LVL_ERROR, MC_OPEN_SOURCE, text, true, 42, 5),
            "@0000002A;05.12.2026 18:30:00;5;Cannot open source file C:\\DATA\\A.TXT");
  EXPECT_EQ(Line(TAG_GENERAL, LVL_ERROR, MC_OPEN_SOURCE, text, false),
            "[0000002A]  05.12.2026 18:30:00  Cannot open source file C:\\DATA\\A.TXT");
  EXPECT_EQ(Line(TAG_GENERAL, LVL_ERROR, MC_OPEN_SOURCE, text, true),
            "@0000002A;05.12.2026 18:30:00;;Cannot open source file C:\\DATA\\A.TXT");
  // Line breaks in a text must not split a log line.
  EXPECT_EQ(Line(TAG_GENERAL, LVL_JOB, EV_START, "a\nb\r"),
            "[0000002A]  05.12.2026 18:30:00  JOB START (a?b?) a?b?");
  EXPECT_EQ(Line(TAG_GENERAL, LVL_INFO, 0, "x", true, 0x1000001F4LL),
            "@1000001F4;05.12.2026 18:30:00;; x");  // wide IDs keep all digits
  EXPECT_EQ(JobLogFolderName(0x1000001F4LL), "000001F4");
  SetTime(0, 0);
  EXPECT_EQ(Line(TAG_GENERAL, LVL_INFO, 0, "x"), "[0000002A]  05.12.2026   x");  // date only
}

TEST_F(ErrMsgTest, TablePartRules) {
  constexpr int32_t G = TAG_GENERAL, NW = TAG_NETWARE;
  const struct {
    int32_t tag, level, code;
    std::string table;
  } cases[] = {
      {G, LVL_DIR, 0, "  +--- "},                   {G, LVL_INFO, 0, ""},
      {G, LVL_LOG_ONLY, 0, ""},                     {5, LVL_JOB, EV_TEXT, ""},
      {G, LVL_JOB, EV_START, "JOB START (T)"},      {G, LVL_JOB, EV_FINISHED, "JOB FINISHED (T)"},
      {G, LVL_JOB, EV_TERMINATED, "JOB TERMINATED (T)"},
      {G, LVL_JOB, 4, "<NO MESSAGE>"},              {NW, LVL_JOB, 4, ""},
      {NW, LVL_ERROR, MC_ABORTED, "Operation aborted"},
      {7, LVL_ERROR, MC_TERMINATED, "Operation terminated"},
      {G, LVL_WARNING, MC_ABORTED, ""},             {G, LVL_INFO, MC_COPY, "  (COPY)"},
      {G, LVL_LOG_ONLY, MC_DELETE_FILE, "DELETE FILE"},
      {G, LVL_INFO, 0x0999, "<NO MESSAGE>"},        {G, LVL_INFO, MC_OPEN_SOURCE, "<NO MESSAGE>"},
      {G, LVL_WARNING, MC_TEMP_EXISTS, "temp file exists "},
      {G, LVL_WARNING, 0x0999, ""},                 {G, LVL_ERROR, MC_DELETE_FILE, ""},
      {1, LVL_WARNING, 0x0999, "<NO MESSAGE>"},     {G, LVL_DIR | LVL_INFO, 0, "<NO MESSAGE>"},
      {NW, LVL_ERROR, MC_NW_PARSE_PATH, "NW - Parse path error"},
      {NW, LVL_WARNING, MC_OPEN_SOURCE, "<NO MESSAGE>"},
      {NW, LVL_INFO, MC_NW_PURGE, ""}};
  for (const auto& c : cases)
    EXPECT_EQ(Line(c.tag, c.level, c.code, "T", true),
              "@0000002A;05.12.2026 18:30:00;;" + c.table + " T")
        << "tag " << c.tag << " level " << c.level << " code " << std::hex << c.code;
}

TEST_F(ErrMsgTest, AddMsgReturnsCodeAndRecordsOnlyWithALevel) {
  TTErrorMsgList list;
  EXPECT_EQ(list.AddMsg(TAG_GENERAL, LVL_NONE, MC_OPEN_SOURCE, "x"), MC_OPEN_SOURCE);
  EXPECT_EQ(list.AddMsg(TAG_GENERAL, 0x10000, MC_OPEN_SOURCE, "x"), MC_OPEN_SOURCE);
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(list.AddMsg(TAG_NETWARE, LVL_WARNING, MC_NW_PURGE, "y"), MC_NW_PURGE);
  ASSERT_EQ(list.Count(), 1u);
  const TTErrorMsg m = *list.At(0);
  EXPECT_EQ(m.JobID, 0);
  EXPECT_EQ(m.State, 0);
  EXPECT_EQ(m.OsError, 0);
  EXPECT_EQ(m.Tag, TAG_NETWARE);
  EXPECT_EQ(m.Text, "y");
  EXPECT_DOUBLE_EQ(m.Time, Now());
  EXPECT_EQ(list.FormatMsg(1, false), "");
  EXPECT_EQ(list.FormatMsg(-1, true), "");

  errno = EACCES;  // -1 stands for the thread's last error
  list.AddMsgOS(TAG_GENERAL, LVL_ERROR, MC_OPEN_TARGET, -1, "f");
  errno = ENOSPC;
  list.AddMsgOS(TAG_GENERAL, LVL_NONE, MC_OPEN_TARGET, -1, "f");
  EXPECT_EQ(list.Count(), 2u);
  EXPECT_EQ(list.At(1)->OsError, 5);
}

TEST_F(ErrMsgTest, ProgramLogGetsEachMessageOnce) {
  TTErrorMsgList list(tmp_.path() + "LOGS", "MIRAVA.LOG");
  EXPECT_EQ(list.Dir(), tmp_.path() + "LOGS/");
  ASSERT_EQ(::mkdir((tmp_ / "LOGS").c_str(), 0777), 0);
  list.WriteLog();  // empty list: no file
  EXPECT_FALSE(Exists(tmp_ / "LOGS/MIRAVA.LOG"));

  list.AddMsg(TAG_GENERAL, LVL_INFO, 0, "one");
  list.AddMsg(TAG_GENERAL, LVL_LOG_ONLY, MC_MAKE_DIR, "two");
  list.WriteLog();
  list.WriteLog();
  list.AddMsg(TAG_GENERAL, LVL_ERROR, MC_READ_SOURCE, "three");
  list.WriteLog("");
  list.WriteLog();
  EXPECT_EQ(Lines(tmp_ / "LOGS/MIRAVA.LOG"),
            (Texts{"[00000000]  05.12.2026 18:30:00   one",
                   "[00000000]  05.12.2026 18:30:00  MAKE DIR two",
                   "[00000000]  05.12.2026 18:30:00  Error reading source file three"}));
  for (const TTErrorMsg& m : list.Snapshot()) EXPECT_EQ(m.State, MS_PROGRAM_LOG);
  EXPECT_EQ(list.WriteFailures(), 0u);

  // A worker's list has no file of its own; an explicit file is appended to.
  const std::string file = tmp_.Write("other.log", "kept\r\n");
  TTErrorMsgList worker;
  worker.AddMsg(TAG_GENERAL, LVL_INFO, 0, "a");
  worker.WriteLog();
  EXPECT_EQ(worker.At(0)->State, 0);
  worker.WriteLog(file);
  worker.WriteLog(file);
  EXPECT_EQ(Lines(file), (Texts{"kept", "[00000000]  05.12.2026 18:30:00   a"}));
}

TEST_F(ErrMsgTest, TwoJobsWriteTheirOwnLogFiles) {
  TTErrorMsgList log(tmp_.path(), "MIRAVA.LOG");
  TTErrorMsgList workerA, workerB;
  workerA.AddMsg(TAG_GENERAL, LVL_JOB, EV_START, "A");
  workerB.AddMsg(TAG_GENERAL, LVL_JOB, EV_START, "B");
  workerA.AddMsg(TAG_GENERAL, LVL_INFO, MC_COPY, "a.txt");
  log.MoveJobMessages(workerA, 0x1F4);
  log.MoveJobMessages(workerB, 0x1F5);
  EXPECT_EQ(workerA.Count(), 0u);
  log.WriteLog();
  log.WriteJobLog(0x1F4);
  log.WriteJobLog(0x1F4);
  log.WriteJobLog(0x1F5);
  workerA.AddMsg(TAG_GENERAL, LVL_JOB, EV_FINISHED, "A");
  log.MoveJobMessages(workerA, 0x1F4);
  log.WriteLog();
  log.WriteJobLog(0x1F4);

  const Texts jobA = {"[000001F4]  05.12.2026 18:30:00  JOB START (A) A",
                      "[000001F4]  05.12.2026 18:30:00    (COPY) a.txt",
                      "[000001F4]  05.12.2026 18:30:00  JOB FINISHED (A) A"};
  const Texts jobB = {"[000001F5]  05.12.2026 18:30:00  JOB START (B) B"};
  EXPECT_EQ(log.JobLogPath(0x1F4), tmp_ / "000001F4/000001F4.LOG");
  EXPECT_EQ(log.AttachmentLogPath(0x1F4), tmp_ / "000001F4/ATT000001F4.LOG");
  EXPECT_EQ(Lines(tmp_ / "000001F4/000001F4.LOG"), jobA);
  EXPECT_EQ(Lines(tmp_ / "000001F4/ATT000001F4.LOG"), jobA);
  EXPECT_EQ(Lines(tmp_ / "000001F5/000001F5.LOG"), jobB);
  EXPECT_EQ(Lines(tmp_ / "000001F5/ATT000001F5.LOG"), jobB);
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
  for (const TTErrorMsg& m : log.Snapshot()) EXPECT_EQ(m.JobID, 7);
  EXPECT_EQ(log.At(1)->Text, "hidden");
}

TEST_F(ErrMsgTest, RemovingOrFinishingAJobKeepsOtherJobsInOrder) {
  TTErrorMsgList log(tmp_.path(), "MIRAVA.LOG");
  for (int i = 0; i < 6; ++i) {
    TTErrorMsg m;
    m.JobID = i % 2 ? 1 : 2;
    m.Level = LVL_INFO;
    m.Text = std::to_string(i);
    log.Append(m);
  }
  log.RemoveJobMessages(2);
  log.RemoveJobMessages(3);
  Texts left;
  for (const TTErrorMsg& m : log.Snapshot()) left.push_back(m.Text);
  EXPECT_EQ(left, (Texts{"1", "3", "5"}));

  // FinishJob writes the job's last lines, then drops the job.
  TTErrorMsgList worker;
  worker.AddMsg(TAG_GENERAL, LVL_JOB, EV_START, "K");
  log.MoveJobMessages(worker, 4);
  log.FinishJob(1);
  EXPECT_EQ(Lines(tmp_ / "00000001/00000001.LOG").size(), 3u);
  ASSERT_EQ(log.Count(), 1u);
  log.Close();
  EXPECT_EQ(log.Count(), 0u);
  EXPECT_EQ(Lines(tmp_ / "MIRAVA.LOG"),
            (Texts{"[00000004]  05.12.2026 18:30:00  JOB START (K) K"}));
}

TEST_F(ErrMsgTest, DeleteAttachmentLogKeepsTheJobLog) {
  TTErrorMsgList log(tmp_.path() + "LOGS/", "MIRAVA.LOG"), worker;
  log.DeleteAttachmentLog(9);  // nothing there yet: creates the folder
  struct stat st;
  ASSERT_EQ(::stat((tmp_ / "LOGS/00000009").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  for (const char* run : {"run 1", "run 2"}) {
    log.DeleteAttachmentLog(9);
    EXPECT_FALSE(Exists(tmp_ / "LOGS/00000009/ATT00000009.LOG"));
    worker.AddMsg(TAG_GENERAL, LVL_JOB, EV_START, run);
    log.MoveJobMessages(worker, 9);
    log.FinishJob(9);
  }
  EXPECT_EQ(Lines(tmp_ / "LOGS/00000009/00000009.LOG").size(), 2u);
  EXPECT_EQ(Lines(tmp_ / "LOGS/00000009/ATT00000009.LOG"),
            (Texts{"[00000009]  05.12.2026 18:30:00  JOB START (run 2) run 2"}));
}

TEST_F(ErrMsgTest, UnwritableLogDirIsRetriedLater) {
  // A plain file where the log folder should be: nothing below it can be made.
  const std::string blocker = tmp_.Write("LOGS", "not a folder");
  TTErrorMsgList log(tmp_.path() + "LOGS", "MIRAVA.LOG"), worker;
  worker.AddMsg(TAG_GENERAL, LVL_ERROR, MC_WRITE_TARGET, "x");
  log.MoveJobMessages(worker, 5);
  log.WriteLog();
  log.WriteJobLog(5);
  log.DeleteAttachmentLog(5);
  EXPECT_GE(log.WriteFailures(), 2u);
  EXPECT_EQ(log.At(0)->State, 0);

  ASSERT_EQ(::unlink(blocker.c_str()), 0);
  ASSERT_EQ(::mkdir(blocker.c_str(), 0777), 0);
  for (int i = 0; i < 2; ++i) {
    log.WriteLog();
    log.WriteJobLog(5);
  }
  EXPECT_EQ(Lines(tmp_ / "LOGS/MIRAVA.LOG").size(), 1u);
  EXPECT_EQ(Lines(tmp_ / "LOGS/00000005/00000005.LOG").size(), 1u);
  EXPECT_EQ(Lines(tmp_ / "LOGS/00000005/ATT00000005.LOG").size(), 1u);
}

TEST_F(ErrMsgTest, AFailedAttachmentLogDoesNotRepeatJobLogLines) {
  TTErrorMsgList log(tmp_.path(), "MIRAVA.LOG"), worker;
  // A folder in place of the attachment log makes only that file fail.
  ASSERT_EQ(::mkdir((tmp_ / "00000006").c_str(), 0777), 0);
  ASSERT_EQ(::mkdir((tmp_ / "00000006/ATT00000006.LOG").c_str(), 0777), 0);
  worker.AddMsg(TAG_GENERAL, LVL_INFO, 0, "first");
  log.MoveJobMessages(worker, 6);
  log.WriteJobLog(6);
  EXPECT_EQ(log.WriteFailures(), 1u);
  ASSERT_EQ(::rmdir((tmp_ / "00000006/ATT00000006.LOG").c_str()), 0);
  worker.AddMsg(TAG_GENERAL, LVL_INFO, 0, "second");
  log.MoveJobMessages(worker, 6);
  log.WriteJobLog(6);
  const Texts both = {"[00000006]  05.12.2026 18:30:00   first",
                      "[00000006]  05.12.2026 18:30:00   second"};
  EXPECT_EQ(Lines(tmp_ / "00000006/00000006.LOG"), both);
  EXPECT_EQ(Lines(tmp_ / "00000006/ATT00000006.LOG"), both);
}

TEST_F(ErrMsgTest, AFileThatFillsUpMidLineIsCutBackToWholeLines) {
  TTErrorMsgList log(tmp_.path(), "MIRAVA.LOG");
  for (int i = 1; i <= 3; ++i) log.AddMsg(TAG_GENERAL, LVL_INFO, 0, "line" + std::to_string(i));
  const std::string line1 = "[00000000]  05.12.2026 18:30:00   line1";
  // The file size limit stands in for a full disk: room for two lines and part of the third.
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 2 * (line1.size() + 2) + 10;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  log.WriteLog();
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldSignal);

  EXPECT_EQ(Lines(tmp_ / "MIRAVA.LOG").size(), 2u);
  EXPECT_EQ(log.WriteFailures(), 1u);
  log.WriteLog();
  EXPECT_EQ(Lines(tmp_ / "MIRAVA.LOG"),
            (Texts{line1, "[00000000]  05.12.2026 18:30:00   line2",
                   "[00000000]  05.12.2026 18:30:00   line3"}));
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
  for (const TTErrorMsg& m : log.Snapshot()) {
    ASSERT_EQ(m.Text, std::to_string(m.Tag) + ":" + std::to_string(next[m.Tag]));
    ++next[m.Tag];
  }
}

}  // namespace
}  // namespace mv
