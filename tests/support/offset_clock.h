// Real time that a test can move forward: for end-to-end runs whose loop
// timers fire in real time while the code's time-outs read this clock.
#pragma once
#include <atomic>

#include "platform/clock.h"

namespace lark::test {

class OffsetClock final : public Clock {
 public:
  uint32_t tickMs() const override { return base_.tickMs() + offset_.load(); }
  WallTime now() const override { return base_.now(); }
  void skip(uint32_t ms) { offset_ += ms; }

 private:
  SystemClock base_;
  std::atomic<uint32_t> offset_{0};
};

}  // namespace lark::test
