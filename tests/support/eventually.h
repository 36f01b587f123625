// Polls a condition until it holds or the time is up, for tests that wait
// on another process or thread.
#pragma once
#include <chrono>
#include <thread>

namespace lark::test {

template <class Pred>
bool Eventually(Pred pred, int timeoutMs, int stepMs = 50) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
  }
  return pred();
}

}  // namespace lark::test
