// Status codes and the date-time texts of a job, with pinned date formats.

#include <gtest/gtest.h>

#include <cmath>

#include "jobs/jobtext.h"
#include "platform/datetext.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

class JobTimesTest : public ::testing::Test {
 protected:
  JobTimesTest() : job_("Nightly", nullptr, dir_.path(), dir_.path(), nullptr) {
    SetDateTimeFormatsForTesting("dd.mm.yyyy", "hh:nn:ss");
    job_.AddAction(std::make_unique<TTFileAction>("/src/", "*.*", "/dst/", "*.*", 0x103, JOB_COPY));
  }
  ~JobTimesTest() override { SetDateTimeFormatsForTesting("", ""); }

  static DateTime At(int y, int mo, int d, int h, int mi, int s = 0) {
    return EncodeDateTime({y, mo, d, h, mi, s, 0});
  }

  test::TempDir dir_;
  TTFileThreadControl job_;
};

TEST_F(JobTimesTest, StatusCodeByQueuedAndHeld) {
  TTSchedule& s = *job_.Schedule;
  s.Queued = true;
  s.Flags = SCHED_HOLD;
  EXPECT_EQ(StatusCode(job_), 7);
  s.Flags = 0;
  EXPECT_EQ(StatusCode(job_), 6);
  s.Queued = false;
  EXPECT_EQ(StatusCode(job_), 8);
  for (uint16_t bit : {0x0001, 0x0002, 0x0004, 0x0008, 0x0080}) {
    s.Flags = bit;
    EXPECT_EQ(StatusCode(job_), 9) << bit;
  }
  s.Flags = 0x0070;  // bits that do not hold a job
  EXPECT_EQ(StatusCode(job_), 8);
}

TEST_F(JobTimesTest, StatusCodeOfRunningJobIgnoresSchedule) {
  job_.Schedule->Queued = true;
  job_.Schedule->Flags = SCHED_HOLD;
  int stand_in = 0;  // never dereferenced
  job_.Thread = reinterpret_cast<TCopyThread*>(&stand_in);
  EXPECT_EQ(StatusCode(job_), 4);
  job_.Thread = nullptr;
}

TEST_F(JobTimesTest, StartAndEndTimes) {
  EXPECT_EQ(StartTimeText(job_), "----");
  EXPECT_EQ(EndTimeText(job_), "----");

  job_.tStarted = At(2026, 12, 5, 18, 30, 15);
  EXPECT_EQ(StartTimeText(job_), "05.12.2026 18:30:15");
  job_.tFinished = At(2026, 12, 4, 23, 0);  // an earlier run's end
  EXPECT_EQ(EndTimeText(job_), "----");
  job_.tFinished = job_.tStarted;
  EXPECT_EQ(EndTimeText(job_), "----");
  job_.tFinished = At(2026, 12, 6, 0, 0);  // exactly midnight: date only
  EXPECT_EQ(EndTimeText(job_), "06.12.2026");

  job_.tStarted = -1;
  EXPECT_EQ(StartTimeText(job_), "----");
  job_.tStarted = std::nan("");
  EXPECT_EQ(StartTimeText(job_), "----");
}

TEST_F(JobTimesTest, NextRunTextIsDueTimeShort) {
  job_.Schedule->NextRun = At(2026, 12, 5, 18, 0);
  job_.Schedule->Delay = 30.0 / 1440;
  EXPECT_EQ(NextRunText(job_), "18:30 05.12.");
  job_.Schedule->Delay = 0;
  job_.Schedule->NextRun = At(2027, 1, 9, 7, 5);
  EXPECT_EQ(NextRunText(job_), "07:05 09.01.");
}

TEST_F(JobTimesTest, NextRunTextUsesLocaleTimeSeparator) {
  SetDateTimeFormatsForTesting("dd.mm.yyyy", "hh.nn.ss");
  job_.Schedule->NextRun = At(2026, 12, 5, 18, 30);
  EXPECT_EQ(NextRunText(job_), "18.30 05.12.");
  SetDateTimeFormatsForTesting("dd/mm/yyyy", "\"h\"hh'x'-nn-ss");
  EXPECT_EQ(NextRunText(job_), "18-30 05.12.");
}

TEST_F(JobTimesTest, NextRunTextEmptyWhenUnformattable) {
  job_.Schedule->NextRun = std::nan("");
  EXPECT_EQ(NextRunText(job_), "");
  job_.Schedule->NextRun = 1e12;
  EXPECT_EQ(NextRunText(job_), "");
  job_.Schedule->NextRun = -1e12;
  EXPECT_EQ(NextRunText(job_), "");
}

TEST_F(JobTimesTest, PanelShowsLastCompleteRun) {
  EXPECT_EQ(ShowJobParameters(job_)->LastCompleteRun, "--------");
  job_.Schedule->LastRunComplete = At(2026, 11, 30, 2, 15, 0);
  EXPECT_EQ(ShowJobParameters(job_)->LastCompleteRun, "30.11.2026 02:15:00");
}

}  // namespace
}  // namespace mv
