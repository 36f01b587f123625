#include "devices/snmp/snmp_poll_thread.h"

#include <algorithm>
#include <chrono>

namespace lark {

namespace {
constexpr int kWaitStepMs = 5;
// A pause is answered within a round; this bounds a wait on a thread that is
// stuck for good (the requester goes on without it).
constexpr int kPauseTries = 20000 / kWaitStepMs;
}  // namespace

uint32_t SnmpNextDeadline(uint32_t deadline, uint32_t now) {
  uint32_t next = deadline + kSnmpRoundMs;
  if (static_cast<int32_t>(now - next) > kSnmpRoundMs) next = now;
  return next;
}

void SnmpPollThread::start() {
  if (thread_.joinable()) return;
  control_.resume();
  thread_ = std::thread([this] { run(); });
}

void SnmpPollThread::pause() {
  if (!thread_.joinable() || pauseDepth_++ > 0) return;
  control_.requestAndWait(WorkerControl::kPause, WorkerControl::kPaused, kPauseTries, kWaitStepMs);
}

void SnmpPollThread::resume() {
  if (!thread_.joinable() || pauseDepth_ == 0 || --pauseDepth_ > 0) return;
  control_.resume();
}

void SnmpPollThread::stop() {
  if (!thread_.joinable()) return;
  control_.word.store(WorkerControl::kStop);
  thread_.join();
  pauseDepth_ = 0;
}

bool SnmpPollThread::sleepUntil(uint32_t deadline) {
  for (;;) {
    const int w = control_.word.load();
    if (w != WorkerControl::kRun) return false;
    const int32_t left = static_cast<int32_t>(deadline - clock_.tickMs());
    if (left <= 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(left, kWaitStepMs)));
  }
}

void SnmpPollThread::run() {
  uint32_t deadline = clock_.tickMs();
  for (;;) {
    if (!control_.checkpoint(kWaitStepMs)) return;
    table_.round();
    deadline = SnmpNextDeadline(deadline, clock_.tickMs());
    if (!sleepUntil(deadline)) {
      // Paused or stopped: the checkpoint answers; after a pause the pace
      // starts again from the moment of the resume.
      if (!control_.checkpoint(kWaitStepMs)) return;
      deadline = clock_.tickMs();
    }
  }
}

}  // namespace lark
