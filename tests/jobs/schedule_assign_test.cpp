#include <gtest/gtest.h>

#include "jobs/jobrecord.h"
#include "jobs/schedule.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

class AssignScheduleTest : public ::testing::Test {
 protected:
  test::TempDir dir_;
  TTFileThreadControl job_{"Daily", nullptr, dir_.path(), dir_.path(), nullptr};
};

TEST_F(AssignScheduleTest, PendingIdIsConsumedOnce) {
  const int64_t drawn = job_.JobID;
  job_.Schedule->LastRun = 12;
  TTSchedule edited;
  edited.PendingJobID = 0x2A;
  edited.Days = 1;
  edited.Queued = true;
  edited.LastRun = 99;

  AssignSchedule(job_, edited);
  EXPECT_EQ(job_.JobID, 0x2A);
  EXPECT_EQ(job_.Schedule->PendingJobID, 0);
  EXPECT_EQ(edited.PendingJobID, 0);
  EXPECT_EQ(job_.Schedule->Days, 1);
  EXPECT_TRUE(job_.Schedule->Queued);
  EXPECT_EQ(job_.Schedule->LastRun, 12);
  EXPECT_NE(drawn, 0x2A);

  // The editor's schedule handed its ID over: a second job keeps its own.
  TTFileThreadControl second("Other", nullptr, dir_.path(), dir_.path(), nullptr);
  const int64_t own = second.JobID;
  AssignSchedule(second, edited);
  EXPECT_EQ(second.JobID, own);
  EXPECT_EQ(second.Schedule->Days, 1);
}

TEST_F(AssignScheduleTest, WithoutPendingIdTheJobKeepsItsIdAndOwnScheduleCanBeReassigned) {
  const int64_t drawn = job_.JobID;
  TTSchedule edited;
  edited.SetHold(true);
  AssignSchedule(job_, edited);
  EXPECT_EQ(job_.JobID, drawn);
  EXPECT_TRUE(job_.Schedule->IsHold());

  job_.Schedule->PendingJobID = 7;
  AssignSchedule(job_, *job_.Schedule);
  EXPECT_EQ(job_.JobID, 7);
  EXPECT_EQ(job_.Schedule->PendingJobID, 0);
}

}  // namespace
}  // namespace mv
