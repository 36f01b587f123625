// Polling a condition in tests that watch other threads or processes.
#pragma once
#include <chrono>
#include <thread>

namespace lark::test {

// True once `pred` holds, checked every `stepMs`; false when it still does
// not after `timeoutMs`, a guard for a machine far slower than expected.
template <class Pred>
bool Eventually(Pred pred, int timeoutMs, int stepMs = 20) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
  }
  return pred();
}

}  // namespace lark::test
