// Injected time: a monotonic millisecond tick that wraps like the 32-bit
// tick count the design is written around, and the local wall time.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

namespace lark {

// Local time broken into fields, as the clock-driven work compares them.
struct WallTime {
  int year = 1970;
  int month = 1;      // 1..12
  int day = 1;        // 1..31
  int dayOfWeek = 4;  // 0 Sunday .. 6 Saturday
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millis = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary start, wrapping at 2^32.
  virtual uint32_t tickMs() const = 0;
  virtual WallTime now() const = 0;
};

// Elapsed milliseconds from `since` to `now` across a wrap of the tick.
inline uint32_t TickElapsed(uint32_t now, uint32_t since) { return now - since; }

class SystemClock final : public Clock {
 public:
  uint32_t tickMs() const override;
  WallTime now() const override;
};

// A clock that moves only when told; shared safely between threads.
class FakeClock final : public Clock {
 public:
  explicit FakeClock(uint32_t tick = 0, WallTime wall = {}) : tick_(tick), wall_(wall) {}
  uint32_t tickMs() const override { return tick_.load(); }
  WallTime now() const override;
  // Moves the tick and the wall time forward together.
  void advance(uint32_t ms);
  void setTick(uint32_t tick) { tick_.store(tick); }
  void setWall(const WallTime& wall);
  // From now on the wall time is this UTC instant (seconds since 1970) run
  // through the process's local-time conversion (TZ), as the system clock's
  // is; advance() moves the instant. setWall() leaves this mode.
  void setUtc(int64_t epochSeconds);

 private:
  std::atomic<uint32_t> tick_;
  mutable std::mutex mu_;
  WallTime wall_;
  bool utcMode_ = false;
  int64_t utcMs_ = 0;  // in UTC mode: milliseconds since 1970
};

// Normalises a wall time after field arithmetic (carries, day of week), via timegm.
WallTime NormalizeWallTime(const WallTime& t);

}  // namespace lark
