// A bound on the event-log lines of one kind that strangers can cause
// (console connections, refused GPRS callers): at most a number a minute;
// the lines past it are counted and said in one line when the minute ends.
#pragma once
#include <cstdint>

#include "platform/clock.h"

namespace lark {

class MinuteLineLimit {
 public:
  explicit MinuteLineLimit(int perMinute) : perMinute_(perMinute) {}

  void start(uint32_t now) {
    start_ = now;
    written_ = held_ = 0;
  }
  // Whether a line may be written now (after roll); one that may not is
  // counted for the minute's closing line when `counted`.
  bool allow(bool counted = true) {
    if (written_ < perMinute_) {
      ++written_;
      return true;
    }
    if (counted) ++held_;
    return false;
  }
  // Once a minute has passed since its start, begins the next one and
  // returns the lines held back in the last (0: none, no line to write).
  int roll(uint32_t now) {
    if (TickElapsed(now, start_) < 60000) return 0;
    const int held = held_;
    start(now);
    return held;
  }

 private:
  int perMinute_;
  uint32_t start_ = 0;
  int written_ = 0;
  int held_ = 0;
};

}  // namespace lark
