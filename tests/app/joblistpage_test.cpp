#include "app/joblistpage.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/mvmain.h"
#include "engine/copythread.h"
#include "jobs/jobfile.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using B = JobButton;

std::string EnabledButtons(const JoblistButtons& b) {
  std::string s;
  for (std::size_t i = 0; i < kJobButtonCount; ++i)
    if (b.Enabled[i]) s += std::string(s.empty() ? "" : ",") + JobButtonCaption(static_cast<B>(i));
  return s;
}

TEST(JoblistButtons, EnabledStatesPerJobState) {
  test::TempDir dir;
  TTFileThreadControl job("j", nullptr, dir.path(), dir.path(), nullptr, {.DrawId = false});
  TCopyThread thread(job, {});  // never started: only its pause state is read
  const struct {
    const char* state;
    bool scheduled, running, suspended;
    const char* enabled;
  } rows[] = {
      {"idle", false, false, false,
       "DELETE Job,EDIT Job,Reschedule Job,Edit a copy of this Job,Run NOW,Start"},
      {"idle, scheduled", true, false, false,
       "DELETE Job,EDIT Job,Reschedule Job,Edit a copy of this Job,Run NOW"},
      {"running", true, true, false, "Pause,Stop"},
      {"suspended", false, true, true, "DELETE Job,EDIT Job,Edit a copy of this Job,Start,Stop"},
  };
  for (const auto& r : rows) {
    job.Schedule->Hours = r.scheduled ? 1 : 0;
    job.Thread = r.running ? &thread : nullptr;
    r.suspended ? thread.Thread().Pause() : thread.Thread().Resume();
    EXPECT_EQ(EnabledButtons(ButtonsFor(&job)), r.enabled) << r.state;
  }
  job.Thread = nullptr;
  EXPECT_EQ(EnabledButtons(ButtonsFor(nullptr)), "") << "nothing selected";
}

class JoblistPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartOptions o;
    o.Base = tmp.path();
    o.UserPrompt = &prompt;
    o.LogPage = [](const std::string&) {};
    core.Startup(std::move(o));
    tmp.Write("src/a.txt", "a");
  }
  void TearDown() override {
    EXPECT_TRUE(prompt.Complete()) << testing::PrintToString(prompt.Failures());
  }
  TTFileThreadControl& Add(const std::string& name) {
    auto job = std::make_unique<TTFileThreadControl>(name, core.ProgramLog(), core.Dirs().QueueDir,
                                                     core.Dirs().ControlDir, nullptr);
    job->AddAction(std::make_unique<TTFileAction>(tmp / "src/", "*.*", tmp / ("dst-" + name + "/"),
                                                  "*.*", 0x101, JOB_COPY));
    TTFileThreadControl& ref = *job;
    core.Jobs().AddJob(std::move(job));
    return ref;
  }
  bool Drain() {
    return core.Sync().RunUntil([this] { return core.Queue()->Running() == 0; },
                                std::chrono::seconds(60));
  }
  test::TempDir tmp;
  ScriptedPrompt prompt;
  MiravaCore core;
  JoblistPageState page{core};
};

TEST_F(JoblistPageTest, RunNowAsksAndSetsExactlyTheRunRequest) {
  TTFileThreadControl& job = Add("a");
  job.Schedule->RunRequest = SCHED_REMOVE_WHEN_IDLE;
  prompt.ExpectYesNo("RUN this job NOW?", false).ExpectYesNo("RUN this job NOW?", true);
  EXPECT_FALSE(page.RunNow());
  EXPECT_EQ(job.Schedule->RunRequest, SCHED_REMOVE_WHEN_IDLE);
  EXPECT_TRUE(page.RunNow());
  EXPECT_EQ(job.Schedule->RunRequest, SCHED_RUN_NOW) << "the remove-when-idle mark is dropped";
}

TEST_F(JoblistPageTest, DeleteAsksAndRefusesAJobWithAThread) {
  TTFileThreadControl& idle = Add("idle");
  idle.Schedule->Queued = true;
  SaveToQueue(idle);
  ASSERT_TRUE(std::filesystem::exists(idle.QueueFileName()));
  TTFileThreadControl& busy = Add("busy");
  TCopyThread thread(busy, {});  // never started
  busy.Thread = &thread;
  prompt.ExpectYesNo("DELETE this job?", true)
      .ExpectYesNo("DELETE this job?", false)
      .ExpectYesNo("DELETE this job?", true);
  EXPECT_FALSE(page.DeleteJob()) << "the selected job has a thread";
  EXPECT_EQ(core.Jobs().Count(), 2);
  busy.Thread = nullptr;
  core.Jobs().Select(0);
  EXPECT_FALSE(page.DeleteJob());
  const std::string queueFile = idle.QueueFileName();
  EXPECT_TRUE(page.DeleteJob());
  EXPECT_EQ(core.Jobs().Count(), 1);
  EXPECT_FALSE(std::filesystem::exists(queueFile));
  EXPECT_EQ(core.Jobs().Selected(), 0) << "the job that took its place";
}

TEST_F(JoblistPageTest, QueueMenuCaptionsAndLoadOnlyOnce) {
  EXPECT_STREQ(page.QueueToggleCaption(), "Disable");
  page.ToggleQueue();
  EXPECT_STREQ(page.QueueToggleCaption(), "Enable");
  EXPECT_TRUE(core.Status().QueueDisabled);

  const auto writeQueueFile = [this](const std::string& name) {
    TTFileThreadControl job(name, nullptr, core.Dirs().QueueDir, core.Dirs().ControlDir, nullptr);
    job.AddAction(std::make_unique<TTFileAction>(tmp / "src/", "*.*", tmp / "dst/", "*.*", 0x101,
                                                 JOB_COPY));
    job.Schedule->Queued = true;
    SaveToQueue(job);
  };
  writeQueueFile("first");
  EXPECT_TRUE(page.QueueLoadEnabled());
  page.LoadQueue();
  EXPECT_FALSE(page.QueueLoadEnabled());
  EXPECT_EQ(core.Jobs().Count(), 1);
  writeQueueFile("second");
  page.LoadQueue();
  EXPECT_EQ(core.Jobs().Count(), 1) << "the second Load does nothing";
}

}  // namespace
}  // namespace mv
