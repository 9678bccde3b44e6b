#include <gtest/gtest.h>

#include <tuple>

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
  edited.PendingJobID = 0x2A, edited.Days = 1, edited.Queued = true, edited.LastRun = 99;

  AssignSchedule(job_, edited);
  const TTSchedule& s = *job_.Schedule;
  EXPECT_EQ(std::make_tuple(job_.JobID, s.PendingJobID, edited.PendingJobID, int(s.Days), s.Queued, s.LastRun),
            std::make_tuple(int64_t(0x2A), int64_t(0), int64_t(0), 1, true, 12.0));
  EXPECT_NE(drawn, 0x2A);

  // The editor's schedule handed its ID over: a second job keeps its own.
  TTFileThreadControl second("Other", nullptr, dir_.path(), dir_.path(), nullptr);
  const int64_t own = second.JobID;
  AssignSchedule(second, edited);
  EXPECT_EQ(std::make_pair(second.JobID, int(second.Schedule->Days)), std::make_pair(own, 1));
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
  EXPECT_EQ(std::make_pair(job_.JobID, job_.Schedule->PendingJobID), std::make_pair(int64_t(7), int64_t(0)));
}

}  // namespace
}  // namespace mv
