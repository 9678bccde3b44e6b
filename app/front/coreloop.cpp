#include "app/front/coreloop.h"

#include <cstdio>
#include <cstdlib>

#include "app/mvmain.h"

namespace mv {

int ConfiguredJobTimerMs() {
  if (const char* ms = std::getenv("MIRAVA_JOB_TIMER_MS"); ms && std::atoi(ms) > 0)
    return std::atoi(ms);
  return kJobTimerMs;
}

bool PassTraceConfigured() { return std::getenv("MIRAVA_TRACE_PASSES") != nullptr; }

CoreLoop::CoreLoop(MiravaCore& core) : core_(core) {
  core_.Sync().BindToCurrentThread();
  core_.Sync().SetNotify([this] {
    QMetaObject::invokeMethod(&anchor_, [this] { core_.Sync().RunPending(); },
                              Qt::QueuedConnection);
  });
  jobTimer_.setInterval(ConfiguredJobTimerMs());
  QObject::connect(&jobTimer_, &QTimer::timeout, &anchor_, [this] { JobTimerTick(); });
  appTimer_.setInterval(kAppTimerFirstMs);
  QObject::connect(&appTimer_, &QTimer::timeout, &anchor_, [this] { AppTimerTick(); });
  displayTimer_.setInterval(kDisplayTimerMs);
  QObject::connect(&displayTimer_, &QTimer::timeout, &anchor_, [this] { DisplayTimerTick(); });
}

CoreLoop::~CoreLoop() {
  Stop();
  // Calls queued after this are run by whoever drains the synchroniser next.
  core_.Sync().SetNotify({});
}

void CoreLoop::Start() {
  displayTimer_.start();
  appTimer_.start();
  if (core_.JobTimerArmed()) jobTimer_.start();
}

void CoreLoop::Stop() {
  jobTimer_.stop();
  appTimer_.stop();
  displayTimer_.stop();
}

void CoreLoop::JobTimerTick() {
  if (busy_ > 0 || closing_) return;
  const bool wasActive = jobTimer_.isActive();
  jobTimer_.stop();  // a pass never overlaps the next one
  ++passes_;
  if (core_.JobTimerTick()) return Close();
  if (tracePasses_)
    std::fprintf(stderr, "run-queue pass %d: %d jobs, %d mails\n", passes_, core_.Jobs().Count(),
                 core_.Status().MailCount);
  if (wasActive && core_.JobTimerArmed()) jobTimer_.start();
}

void CoreLoop::AppTimerTick() {
  const bool wasActive = appTimer_.isActive();
  appTimer_.stop();
  if (onAppTimer_) onAppTimer_();
  if (core_.AppTimerTick()) return Close();
  appTimer_.setInterval(kAppTimerMs);
  if (wasActive) appTimer_.start();
}

void CoreLoop::DisplayTimerTick() {
  const bool wasActive = displayTimer_.isActive();
  displayTimer_.stop();
  core_.DisplayTimerTick();
  if (wasActive) displayTimer_.start();
}

void CoreLoop::Close() {
  if (closing_) return;
  closing_ = true;
  Stop();
  if (onClose_) onClose_();
}

}  // namespace mv
