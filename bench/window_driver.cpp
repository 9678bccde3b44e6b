// Times the Joblist and Log pages on a full list: a run-queue pass plus a
// display refresh of every job (models and offscreen views repainted), and
// sorting by "Time", with the Log page at its character budget.
// Usage: window_driver BASE_DIR JOBS REPS
// Prints "pass MS", "pass_time_sorted MS", "sort_time MS" (medians) and
// "log_lines N", "log_chars N".

#include <QApplication>
#include <QTableView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "app/gui/joblistmodel.h"
#include "app/gui/logmodel.h"
#include "app/joblistpage.h"
#include "app/logpage.h"
#include "app/mvmain.h"
#include "platform/clock.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: window_driver BASE_DIR JOBS REPS\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int jobs = std::atoi(argv[2]);
  const int reps = std::max(1, std::atoi(argv[3]));

  mv::MiravaCore core;
  mv::LogPage log;
  core.AddObserver(&log);
  mv::StartOptions options;
  options.Base = argv[1];
  options.LogPage = [](const std::string&) {};
  core.Startup(std::move(options));
  mv::JoblistPageState page(core);

  // Scheduled copy jobs, none due within the run, next runs spread over a year.
  std::mt19937 random(42);
  const mv::DateTime now = mv::Now();
  for (int i = 0; i < jobs; ++i) {
    auto job = std::make_unique<mv::TTFileThreadControl>(
        "Job " + std::to_string(random() % 100000), core.ProgramLog(), core.Dirs().QueueDir,
        core.Dirs().ControlDir, nullptr, mv::JobDefaults{.DrawId = false});
    job->JobID = i + 1;
    job->AddAction(std::make_unique<mv::TTFileAction>("/nonexistent/src/", "*.*",
                                                      "/nonexistent/dst/", "*.*", 0x103, 0));
    job->Schedule->Hours = 24;
    job->Schedule->NextRun = now + 1 + (random() % 365);
    core.Jobs().AddJob(std::move(job));
  }

  mv::JobListModel jobModel(core);
  mv::LogModel logModel(log);
  QTableView jobView, logView;
  jobView.setModel(&jobModel);
  logView.setModel(&logModel);
  jobView.resize(600, 400);
  logView.resize(800, 300);
  jobView.show();
  logView.show();

  // The Log page at its budget: structured lines of one run, as a job writes them.
  for (int i = 0; log.Chars() <= log.Budget(); ++i)
    log.AddLogLine("@0000002A;07.12.2026 15:00:00;;Copied /data/projects/report-" +
                   std::to_string(i) + ".odt");
  QApplication::processEvents();

  const auto passAndRefresh = [&] {
    const auto t0 = Clock::now();
    core.JobTimerTick();
    for (int32_t i = 0; i < core.Jobs().Count(); ++i)
      page.RefreshJobDisplay(*core.Jobs().JobAt(i));
    core.AddLogLine("@0000002B;07.12.2026 15:00:05;;Copied one more file");
    jobView.viewport()->repaint();
    logView.viewport()->repaint();
    return Ms(t0);
  };

  std::vector<double> pass, passSorted, sortTime;
  page.SortBy(0);
  for (int r = 0; r < reps; ++r) pass.push_back(passAndRefresh());
  page.SortBy(1);
  for (int r = 0; r < reps; ++r) passSorted.push_back(passAndRefresh());
  for (int r = 0; r < reps; ++r) {
    jobModel.sort(mv::kJobColumn);  // so that the next sort has to move every row
    jobView.viewport()->repaint();
    const auto t0 = Clock::now();
    jobModel.sort(mv::kTimeColumn);
    jobView.viewport()->repaint();
    sortTime.push_back(Ms(t0));
  }

  std::printf("pass %.2f\npass_time_sorted %.2f\nsort_time %.2f\nlog_lines %d\nlog_chars %d\n",
              Median(pass), Median(passSorted), Median(sortTime), log.Count(), log.Chars());
  const bool started = core.RunningJobThreads.load() != 0;
  return started ? 1 : 0;
}
