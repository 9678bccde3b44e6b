#include <gtest/gtest.h>

#include <cmath>

#include "jobs/jobtext.h"
#include "platform/datetext.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

// Status codes and the date-time texts of a job, with pinned date formats.
class JobTimesTest : public ::testing::Test {
 protected:
  JobTimesTest() : job_("Nightly", nullptr, dir_.path(), dir_.path(), nullptr) {
    SetDateTimeFormatsForTesting("dd.mm.yyyy", "hh:nn:ss");
  }
  ~JobTimesTest() override { SetDateTimeFormatsForTesting("", ""); }
  test::TempDir dir_;
  TTFileThreadControl job_;
};

TEST_F(JobTimesTest, StatusCodeByThreadQueuedAndHeld) {
  for (bool queued : {true, false})
    for (uint16_t flags : {0x0000, 0x0004, 0x0070}) {  // 0x70 holds no job
      job_.Schedule->Queued = queued, job_.Schedule->Flags = flags;
      EXPECT_EQ(StatusCode(job_), (queued ? 6 : 8) + (flags == 4)) << queued << " " << flags;
    }
  job_.Thread = reinterpret_cast<TCopyThread*>(&dir_);  // never dereferenced
  EXPECT_EQ(StatusCode(job_), 4);
  job_.Thread = nullptr;
}

TEST_F(JobTimesTest, EndTimeOnlyAfterTheStartAndMidnightWithoutTime) {
  job_.tStarted = EncodeDateTime({2026, 12, 5, 18, 30, 15, 0});
  EXPECT_EQ(StartTimeText(job_), "05.12.2026 18:30:15");
  job_.tFinished = job_.tStarted;
  EXPECT_EQ(EndTimeText(job_), "----");
  job_.tFinished = EncodeDateTime({2026, 12, 6, 0, 0, 0, 0});
  EXPECT_EQ(EndTimeText(job_), "06.12.2026");
}

TEST_F(JobTimesTest, NextRunTextIsDueTimeShortWithLocaleTimeSeparator) {
  job_.Schedule->NextRun = 46361.75, job_.Schedule->Delay = 0.5 / 24;  // 05.12.2026 18:00 + 30 min
  EXPECT_EQ(NextRunText(job_), "18:30 05.12.");
  SetDateTimeFormatsForTesting("dd/mm/yyyy", "\"h\"hh'x'-nn-ss");
  EXPECT_EQ(NextRunText(job_), "18-30 05.12.");
  for (DateTime bad : {std::nan(""), 1e12, -1e12}) {
    job_.Schedule->NextRun = bad;
    EXPECT_EQ(NextRunText(job_), "") << bad;
  }
}

}  // namespace
}  // namespace mv
