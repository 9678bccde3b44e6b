#include "app/jobstatustext.h"

#include <gtest/gtest.h>

#include "platform/datetext.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

class JobStatusTextTest : public ::testing::Test {
 protected:
  JobStatusTextTest() : job_("Nightly", nullptr, dir_.path(), dir_.path(), nullptr, {.DrawId = false}) {
    SetDateTimeFormatsForTesting("dd.mm.yyyy", "hh:nn:ss");
  }
  ~JobStatusTextTest() override { SetDateTimeFormatsForTesting("", ""); }
  test::TempDir dir_;
  TTFileThreadControl job_;
};

TEST_F(JobStatusTextTest, TimeColumnShowsTheNextRunOnlyWithASchedule) {
  job_.Schedule->NextRun = EncodeDateTime({2026, 12, 5, 18, 30, 0, 0});
  EXPECT_EQ(JobTimeColumnText(job_), "no schedule");
  job_.Schedule->Minutes = 15;
  EXPECT_EQ(JobTimeColumnText(job_), "18:30 05.12.");
  job_.Schedule->Minutes = 0;
  job_.Schedule->RunOnce = true;
  EXPECT_EQ(JobTimeColumnText(job_), "18:30 05.12.");
}

TEST_F(JobStatusTextTest, SpeedFollowsTheJobsUnitWithAutomaticChoice) {
  const struct {
    double kbit;
    int32_t unit;
    const char* text;
  } cases[] = {
      {500, 0, "500 KBit/s"},     {1000000, 0, "122 MB/s"}, {500, 2, "62 KB/s"},
      {1000000, 5, "7,324 MB/min"}, {500, 6, "<speed unknown>"},
  };
  for (const auto& c : cases) {
    job_.Speed = c.kbit, job_.SpeedUnit = c.unit;
    EXPECT_EQ(MakeJobStatusTexts(job_).Speed, c.text) << c.kbit << " unit " << c.unit;
  }
}

}  // namespace
}  // namespace mv
