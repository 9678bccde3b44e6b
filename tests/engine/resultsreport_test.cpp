#include "engine/resultsreport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "engine/copythread.h"
#include "jobs/errmsg.h"
#include "jobs/jobtypes.h"
#include "mail/mailer.h"
#include "platform/clock.h"
#include "platform/datetext.h"
#include "platform/profile.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

constexpr double kSecond = 1.0 / kSecondsPerDay;
constexpr DateTime kNow = 46000.75;                 // the end of every run
constexpr DateTime kStarted = kNow - 10 * kSecond;  // ten seconds earlier
constexpr DateTime kDue = kNow - 1800 * kSecond;    // next run before this one, hourly
constexpr DateTime kEarlierComplete = kNow - 1;
constexpr int64_t kSignature = 1234;
const std::string kCaption = "COPY JOB 0000002A (nightly) ";
const std::string kSize = "size        : 2,000 KB";  // 2,048,000 bytes
const std::string kSpeed = "Speed       : 200 KB/s";  // in those ten seconds

struct Case {
  const char* name;
  RunCounters counters;
  int64_t bytes = 0;
  int32_t secondsSinceTracked = -1;
  bool held = false;  // as a stop by the user leaves the job
  // From the total to the last count: the same in the job log and the mail.
  std::vector<std::string> lines;
  uint32_t mailClass = 0;
  std::string subject;  // after the caption
  bool terminated = false;
  bool complete = false;             // lastruncomplete and the source signature taken
  std::vector<std::string> started;  // follow-up jobs
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

const Case kCases[] = {
    {.name = "UnchangedTree",
     .counters = {.Total = 1500, .Skipped = 1500},
     .lines = {"Total files : 1,500", "skipped     : 1,500", "There was no work to do"},
     .mailClass = 0x51000000,
     .subject = " (nothing to do) FINISHED",
     .complete = true,
     .started = {"after"}},
    {.name = "Copied",
     .counters = {.Total = 2, .Success = 2},
     .bytes = 2048000,
     .secondsSinceTracked = 7,
     .lines = {"Total files : 2", " ( age of source scan: 7 seconds,",
               "   maximum age       : 300 seconds )", "successful  : 2", kSize, kSpeed},
     .mailClass = 0x52000000,
     .subject = " FINISHED",
     .complete = true,
     .started = {"after", "afterW"}},
    {.name = "ThreeErrorsNothingCopied",
     .counters = {.Total = 3, .Error = 3},
     .lines = {"Total files : 3", "errors      : 3", "All actions failed"},
     .mailClass = 0x56000000,
     .subject = " (3 errors) (FAILED) FINISHED"},
    {.name = "SomeErrors",
     .counters = {.Total = 3, .Success = 1, .Error = 2},
     .bytes = 2048000,
     .lines = {"Total files : 3", "successful  : 1", "errors      : 2", kSize, kSpeed},
     .mailClass = 0x52000000,
     .subject = " (2 errors) FINISHED"},
    {.name = "StoppedByTheUserAfterCopying",
     .counters = {.Total = 9, .Success = 4, .LastResult = MC_TERMINATED},
     .bytes = 2048000,
     .held = true,
     .lines = {"Total files : 9", "successful  : 4", kSize, kSpeed},
     .mailClass = 0x62000000,
     .subject = " TERMINATED",
     .terminated = true},
    {.name = "NetworkAbortAfterCopying",
     .counters = {.Total = 9, .Success = 4, .LastResult = MC_READ_SOURCE_CONN_ABORT},
     .lines = {"Total files : 9", "successful  : 4", "Critical error(s) occured"},
     .mailClass = 0x66000000,
     .subject = " (FAILED) TERMINATED",
     .terminated = true},
    {.name = "DeletedOnly",
     .counters = {.Total = 2, .Skipped = 2, .Deleted = 1},
     .lines = {"Total files : 2", "skipped     : 2", "deleted     : 1"},
     .mailClass = 0x52000000,
     .subject = " FINISHED",
     .complete = true,
     .started = {"after", "afterW"}},
};

// The mail class of a results line: what was done, what failed, or general.
uint32_t ClassOf(const std::string& line) {
  for (const char* done : {"successful", "errors", "deleted", "size", "Speed"})
    if (line.starts_with(done)) return 0x42000000;
  if (line == "There was no work to do") return 0x41000000;
  if (line == "All actions failed" || line == "Critical error(s) occured") return 0x04000000;
  return 0x40000000;
}

// A job log line of job 0x2A written at kNow; table is the text the entry's
// level and code give.
std::string LogLine(const std::string& table, const std::string& text) {
  return "[0000002A]  " + DateTimeToStr(kNow) + "  " + table + " " + text + "\r\n";
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// A queued hourly COPY job with both kinds of follow-up, at the end of its run.
class ResultsReport : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    SetClockForTesting([] { return kNow; });
    std::filesystem::create_directories(dir_ / "logs");
    std::filesystem::create_directories(dir_ / "queue");
    job_.JobID = 0x2A;
    job_.AddAction(std::make_unique<TTFileAction>(dir_ / "src/", "*.*", dir_ / "dst/", "*.*",
                                                  OPT_DIR_TO_TARGET, JOB_COPY));
    job_.tStarted = kStarted;
    TTSchedule& s = *job_.Schedule;
    s.Queued = true;
    s.Hours = 1;
    s.NextRun = kDue;
    s.LastRunComplete = kEarlierComplete;
    s.RunAfterSuccessEnabled = s.RunAfterSuccessWEnabled = true;
    s.RunAfterSuccess = "after";
    s.RunAfterSuccessW = "afterW";
  }
  void TearDown() override { SetClockForTesting({}); }

  test::TempDir dir_;
  TTErrorMsgList programLog_{dir_ / "logs/", "MIRAVA.LOG"};
  TMVMailer mailer_{nullptr};
  TTFileThreadControl job_{"nightly", &programLog_, dir_ / "queue/", dir_.path(), &mailer_,
                           {.DrawId = false}};
  TTFileThreadControl after_{"after", nullptr, "", "", nullptr, {.DrawId = false}};
  TTFileThreadControl afterW_{"afterW", nullptr, "", "", nullptr, {.DrawId = false}};
};

TEST_P(ResultsReport, WritesTheOutcomeToLogMailAndQueueFile) {
  const Case& c = GetParam();
  job_.SecondsSinceTracked = c.secondsSinceTracked;
  if (c.held) job_.Schedule->SetHold(true);
  CopyThreadContext context;
  context.ProgramLog = &programLog_;
  TCopyThread thread(job_, context);
  job_.Thread = &thread;
  thread.cTotal = c.counters.Total;
  thread.cSuccess = c.counters.Success;
  thread.cError = c.counters.Error;
  thread.cSkipped = c.counters.Skipped;
  thread.cDeleted = c.counters.Deleted;
  thread.LastResult = c.counters.LastResult;
  thread.CompletedBytes = c.bytes;
  thread.SourceSignatureSum = kSignature;

  std::vector<std::string> shown;
  const ReportEnvironment env{
      .FindJobByName = [&](const std::string& name) -> TTFileThreadControl* {
        for (TTFileThreadControl* job : {&after_, &afterW_})
          if (job->Description == name) return job;
        return nullptr;
      },
      .LogLine = [&](const std::string& line) { shown.push_back(line); }};
  ReportJobResults(thread, env);

  const std::string ending = c.terminated ? " TERMINATED" : " FINISHED";
  const std::string flags = c.held ? "1" : "0";
  std::string log = LogLine("", std::string(41, '_')) + LogLine("", "JOB RESULTS (nightly)");
  for (const std::string& line : c.lines) log += LogLine("", line);
  log += LogLine("JOB" + ending + " (nightly)", "nightly");
  log += LogLine("", std::string(35, '='));
  log += LogLine("JOB FINISHED (" + flags + ")", flags);
  const std::string jobLog = dir_ / "logs/0000002A/0000002A.LOG";
  const std::string attachment = dir_ / "logs/0000002A/ATT0000002A.LOG";
  EXPECT_EQ(test::TempDir::Read(jobLog), log);
  EXPECT_EQ(test::TempDir::Read(attachment), log);
  EXPECT_EQ(programLog_.Count(), 0u) << "the job's messages stay in the program log list";

  std::unique_ptr<TMVMail> mail = mailer_.FetchNext(false);
  ASSERT_NE(mail, nullptr);
  EXPECT_EQ(mailer_.FetchNext(false), nullptr) << "more than one mail queued";
  std::vector<std::pair<std::string, uint32_t>> body = {{std::string(41, '_'), 0x40000000},
                                                        {kCaption + "JOB RESULTS :", 0x40000000}};
  for (const std::string& line : c.lines) body.emplace_back(line, ClassOf(line));
  body.emplace_back(kCaption + ending, c.terminated ? 0x20000000 : 0x10000000);
  body.emplace_back(std::string(35, '='), 0x40000000);
  std::vector<std::pair<std::string, uint32_t>> sent;
  for (const TMVMailLine& line : mail->Message.Body) sent.emplace_back(line.Text, line.Class);
  EXPECT_EQ(sent, body);
  EXPECT_EQ(mail->Flags, c.mailClass) << std::hex << mail->Flags;
  EXPECT_EQ(mail->Subject, kCaption + c.subject);
  EXPECT_EQ(mail->Message.Attachments, std::vector<std::string>{attachment});
  EXPECT_TRUE(job_.Mail->Message.Body.empty()) << "the sent body stays with the job";

  std::vector<std::string> expectShown;
  for (const std::string& name : c.started) expectShown.push_back("trigger execution of " + name);
  expectShown.push_back("Attachment " + attachment);
  EXPECT_EQ(shown, expectShown);
  EXPECT_EQ(after_.Schedule->RunRequest, Contains(c.started, "after") ? SCHED_RUN_NOW : 0);
  EXPECT_EQ(afterW_.Schedule->RunRequest, Contains(c.started, "afterW") ? SCHED_RUN_NOW : 0);

  const std::string queue = dir_ / "queue/0000002A.MVQ";
  const double ms = kSecond / 1000;
  EXPECT_NEAR(ProfileReadDouble(queue, kScheduleSection, "lastrun", 0), kNow, ms);
  EXPECT_NEAR(ProfileReadDouble(queue, kScheduleSection, "lastruncomplete", 0),
              c.complete ? kNow : kEarlierComplete, ms);
  // A held job keeps its next run; otherwise the first hourly step after now.
  EXPECT_NEAR(ProfileReadDouble(queue, kScheduleSection, "nextrun", 0),
              c.held ? kDue : kNow + 1800 * kSecond, ms);
  EXPECT_EQ(job_.SourceSignature, c.complete ? kSignature : 0);
  EXPECT_EQ(job_.tFinished, kNow);
  EXPECT_EQ(job_.Thread, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Outcomes, ResultsReport, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace mv
