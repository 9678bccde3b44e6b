#pragma once
// The main loop both front ends share: the core's three timers on the Qt
// event loop of the main thread, and the workers' synchronised calls run on
// that loop. The headless runner and the window each make one.

#include <QObject>
#include <QTimer>
#include <functional>

namespace mv {

class MiravaCore;

// The run-queue interval: 5000 ms, or MIRAVA_JOB_TIMER_MS (end-to-end tests
// shorten it; users never need to).
int ConfiguredJobTimerMs();
// MIRAVA_TRACE_PASSES set: every pass that leaves the instance open says so
// on standard error ("run-queue pass N: J jobs, M mails", the list and the
// mail queue after it), so end-to-end tests wait for passes, not for a time.
bool PassTraceConfigured();

class CoreLoop {
 public:
  // Routes the core's synchronised calls to this thread's event loop. Make it
  // before core.Startup(), which starts the mail thread.
  explicit CoreLoop(MiravaCore& core);
  ~CoreLoop();
  CoreLoop(const CoreLoop&) = delete;
  CoreLoop& operator=(const CoreLoop&) = delete;

  // After core.Startup(): arms DisplayTimer and AppTimer, and JobTimer unless
  // the instance is a controller.
  void Start();
  // Disarms all three (shutdown).
  void Stop();

  // Called when the instance must close: at an AppTimer tick after a failed
  // role lock, or at a pass that finds a CLOSE instance idle.
  void SetOnClose(std::function<void()> onClose) { onClose_ = std::move(onClose); }
  // Called at every AppTimer tick before the close test (the window enables itself).
  void SetOnAppTimer(std::function<void()> fn) { onAppTimer_ = std::move(fn); }

  // JobTimer's busy counter: while it is above 0 (a dialog that edits a
  // schedule is open) the ticks pass without a run-queue pass.
  void BeginBusy() { ++busy_; }
  void EndBusy() {
    if (busy_ > 0) --busy_;
  }
  int Busy() const { return busy_; }
  // Raises the counter for its own lifetime.
  class BusyScope {
   public:
    explicit BusyScope(CoreLoop& loop) : loop_(loop) { loop_.BeginBusy(); }
    ~BusyScope() { loop_.EndBusy(); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

   private:
    CoreLoop& loop_;
  };

  // The ticks as the timers run them; tests call them directly.
  void JobTimerTick();
  void AppTimerTick();
  void DisplayTimerTick();

  // Run-queue passes run so far (ticks skipped while busy do not count).
  int PassesRun() const { return passes_; }
  int JobTimerInterval() const { return jobTimer_.interval(); }
  bool JobTimerActive() const { return jobTimer_.isActive(); }
  bool AppTimerActive() const { return appTimer_.isActive(); }
  bool DisplayTimerActive() const { return displayTimer_.isActive(); }

 private:
  void Close();

  MiravaCore& core_;
  QObject anchor_;  // target of the queued calls that drain the synchroniser
  QTimer jobTimer_, appTimer_, displayTimer_;
  std::function<void()> onClose_, onAppTimer_;
  int busy_ = 0;
  int passes_ = 0;
  bool closing_ = false;
  bool tracePasses_ = PassTraceConfigured();
};

}  // namespace mv
