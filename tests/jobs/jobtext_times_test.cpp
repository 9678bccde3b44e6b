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

TEST_F(JobTimesTest, StatusCodeByThreadQueuedAndHeld) {
  TTSchedule& s = *job_.Schedule;
  // Flags 0x70 hold no job; every other bit here does.
  for (bool queued : {true, false})
    for (uint16_t flags : {0x0000, 0x0001, 0x0002, 0x0004, 0x0008, 0x0080, 0x0070}) {
      s.Queued = queued;
      s.Flags = flags;
      const bool held = flags != 0 && flags != 0x70;
      EXPECT_EQ(StatusCode(job_), (queued ? 6 : 8) + held) << queued << " " << flags;
    }
  s.Queued = true;
  s.Flags = SCHED_HOLD;
  int stand_in = 0;  // never dereferenced
  job_.Thread = reinterpret_cast<TCopyThread*>(&stand_in);
  EXPECT_EQ(StatusCode(job_), 4);
  job_.Thread = nullptr;
}

TEST_F(JobTimesTest, StartEndAndLastCompleteTimes) {
  EXPECT_EQ(StartTimeText(job_), "----");
  EXPECT_EQ(EndTimeText(job_), "----");
  EXPECT_EQ(ShowJobParameters(job_)->LastCompleteRun, "--------");
  job_.Schedule->LastRunComplete = At(2026, 11, 30, 2, 15, 0);
  EXPECT_EQ(ShowJobParameters(job_)->LastCompleteRun, "30.11.2026 02:15:00");

  job_.tStarted = At(2026, 12, 5, 18, 30, 15);
  EXPECT_EQ(StartTimeText(job_), "05.12.2026 18:30:15");
  for (DateTime end : {At(2026, 12, 4, 23, 0), job_.tStarted}) {  // not after the start
    job_.tFinished = end;
    EXPECT_EQ(EndTimeText(job_), "----");
  }
  job_.tFinished = At(2026, 12, 6, 0, 0);  // exactly midnight: date only
  EXPECT_EQ(EndTimeText(job_), "06.12.2026");
  for (DateTime bad : {-1.0, std::nan("")}) {
    job_.tStarted = bad;
    EXPECT_EQ(StartTimeText(job_), "----");
  }
}

TEST_F(JobTimesTest, NextRunTextIsDueTimeShortWithLocaleTimeSeparator) {
  job_.Schedule->NextRun = At(2026, 12, 5, 18, 0);
  job_.Schedule->Delay = 30.0 / 1440;
  EXPECT_EQ(NextRunText(job_), "18:30 05.12.");
  job_.Schedule->Delay = 0;
  job_.Schedule->NextRun = At(2027, 1, 9, 7, 5);
  EXPECT_EQ(NextRunText(job_), "07:05 09.01.");

  job_.Schedule->NextRun = At(2026, 12, 5, 18, 30);
  SetDateTimeFormatsForTesting("dd.mm.yyyy", "hh.nn.ss");
  EXPECT_EQ(NextRunText(job_), "18.30 05.12.");
  SetDateTimeFormatsForTesting("dd/mm/yyyy", "\"h\"hh'x'-nn-ss");
  EXPECT_EQ(NextRunText(job_), "18-30 05.12.");

  for (DateTime bad : {std::nan(""), 1e12, -1e12}) {
    job_.Schedule->NextRun = bad;
    EXPECT_EQ(NextRunText(job_), "") << bad;
  }
}

}  // namespace
}  // namespace mv
