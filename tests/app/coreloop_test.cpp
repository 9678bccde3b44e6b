#include "app/front/coreloop.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <thread>

#include "app/mvmain.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using test::TempDir;

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "coreloop_test";
  static char* argv[] = {name, nullptr};
  // Never destroyed: at exit Qt's own thread data may already be gone.
  static QCoreApplication* app = new QCoreApplication(argc, argv);
  return *app;
}

// Runs the event loop until done() holds; false after a generous deadline.
bool SpinUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

struct Recorder : CoreObserver {
  std::vector<std::string> events;
  std::vector<JobDisplaySnapshot> snapshots;
  void JobAdded(int i) override { events.push_back("added " + std::to_string(i)); }
  void JobRemoved(int i) override { events.push_back("removed " + std::to_string(i)); }
  void JobDisplayRefresh(const TTFileThreadControl& job) override {
    if (job.Thread) snapshots.push_back(job.Thread->Display());
  }
  void LogLineAdded(const std::string& line) override { events.push_back("log " + line); }
  void StatusChanged() override { events.push_back("status"); }
};

class CoreLoopTest : public ::testing::Test {
 protected:
  void SetUp() override { App(); }
  StartOptions Options(std::vector<std::string> words) {
    StartOptions o;
    o.Base = tmp.path();
    o.Words = std::move(words);
    return o;
  }
  TempDir tmp;
};

TEST_F(CoreLoopTest, NoPassRunsWhileBusy) {
  MiravaCore core;
  CoreLoop loop(core);
  core.Startup(Options({"RUNJOB=missing"}));
  {
    CoreLoop::BusyScope dialog(loop);
    loop.JobTimerTick();
    EXPECT_EQ(loop.PassesRun(), 0);
    EXPECT_FALSE(core.PendingRunJob().empty()) << "the pass must not have run";
  }
  EXPECT_EQ(loop.Busy(), 0);
  loop.JobTimerTick();
  EXPECT_EQ(loop.PassesRun(), 1);
  EXPECT_TRUE(core.PendingRunJob().empty());
}

TEST_F(CoreLoopTest, AnInstanceWithoutItsLockClosesAtItsFirstAppTick) {
  MiravaCore first;
  CoreLoop firstLoop(first);
  first.Startup(Options({}));
  ASSERT_TRUE(first.Lock().Held());
  MiravaCore second;
  CoreLoop secondLoop(second);
  second.Startup(Options({}));
  int closed = 0;
  secondLoop.SetOnClose([&] { ++closed; });
  secondLoop.AppTimerTick();
  EXPECT_EQ(closed, 1);
  int firstClosed = 0;
  firstLoop.SetOnClose([&] { ++firstClosed; });
  firstLoop.AppTimerTick();
  EXPECT_EQ(firstClosed, 0);
}

TEST_F(CoreLoopTest, ARunIsFollowedFromAddedToRemoved) {
  tmp.Write("src/a.txt", "hello");
  tmp.Write("MVJ/T.MVJ", "[job]\r\ndescription=t\r\njobtype=0\r\noptions=257\r\n[actions]\r\n"
                         "count=1\r\nsourcepath=" + tmp / "src/" + "\r\ntargetpath=" + tmp / "dst/" +
                         "\r\nsource0=*.*\r\ntarget0=*.*\r\n");
  MiravaCore core;
  CoreLoop loop(core);
  Recorder rec;
  core.AddObserver(&rec);
  core.Startup(Options({"RUNJOB=t"}));
  loop.JobTimerTick();
  ASSERT_EQ(core.Jobs().Count(), 1);
  ASSERT_TRUE(SpinUntil([&] { return core.Jobs().JobAt(0)->Thread == nullptr; }));
  loop.JobTimerTick();
  EXPECT_TRUE(core.Jobs().Empty());
  loop.DisplayTimerTick();
  core.RemoveObserver(&rec);

  const auto at = [&](const std::string& e) {
    return std::find(rec.events.begin(), rec.events.end(), e) - rec.events.begin();
  };
  const auto n = static_cast<long>(rec.events.size());
  ASSERT_LT(at("log Loading job " + core.Dirs().JobDir + "T.MVJ"), n);
  EXPECT_LT(at("log Loading job " + core.Dirs().JobDir + "T.MVJ"), at("added 0"));
  EXPECT_LT(at("added 0"), at("removed 0"));
  EXPECT_LT(at("removed 0"), n);
  EXPECT_EQ(rec.events.back(), "status");
  ASSERT_FALSE(rec.snapshots.empty());
  EXPECT_EQ(rec.snapshots.back().BytesDone, 5) << "the last refresh shows the whole run";
}

TEST_F(CoreLoopTest, WorkersCallsRunOnTheEventLoop) {
  MiravaCore core;
  CoreLoop loop(core);
  core.Startup(Options({}));
  std::atomic<bool> ran{false};
  std::thread::id where;
  std::thread worker([&] {
    core.Sync().Synchronize([&] { where = std::this_thread::get_id(); });
    ran = true;
  });
  EXPECT_TRUE(SpinUntil([&] { return ran.load(); }));
  worker.join();
  EXPECT_EQ(where, std::this_thread::get_id());
}

}  // namespace
}  // namespace mv
