// Polling a condition in tests that watch other threads or processes.
#pragma once
#include <chrono>
#include <thread>

namespace lark::test {

// True once `pred` holds, checked every 20 ms; false when it still does not
// after `timeoutMs`.
template <class Pred>
bool Eventually(Pred pred, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return pred();
}

}  // namespace lark::test
