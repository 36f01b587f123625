#include "platform/clock.h"

#include <time.h>

namespace lark {

namespace {

// Floor division, so that a negative remainder borrows from the next field up.
int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

WallTime FromTm(const struct tm& tm, int millis) {
  WallTime w;
  w.year = tm.tm_year + 1900;
  w.month = tm.tm_mon + 1;
  w.day = tm.tm_mday;
  w.dayOfWeek = tm.tm_wday;
  w.hour = tm.tm_hour;
  w.minute = tm.tm_min;
  w.second = tm.tm_sec;
  w.millis = millis;
  return w;
}

}  // namespace

uint32_t SystemClock::tickMs() const {
  struct timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  // Truncation to 32 bits is the wrap the callers expect (about every 49.7 days).
  uint64_t ms =
      static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

WallTime SystemClock::now() const {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm tm {};
  time_t secs = ts.tv_sec;
  localtime_r(&secs, &tm);
  return FromTm(tm, static_cast<int>(ts.tv_nsec / 1000000));
}

WallTime FakeClock::now() const {
  std::lock_guard<std::mutex> lock(mu_);
  if (utcMode_) {
    struct tm tm {};
    time_t secs = static_cast<time_t>(FloorDiv(utcMs_, 1000));
    localtime_r(&secs, &tm);
    return FromTm(tm, static_cast<int>(utcMs_ - FloorDiv(utcMs_, 1000) * 1000));
  }
  return wall_;
}

void FakeClock::setUtc(int64_t epochSeconds) {
  std::lock_guard<std::mutex> lock(mu_);
  utcMode_ = true;
  utcMs_ = epochSeconds * 1000;
}

void FakeClock::advance(uint32_t ms) {
  std::lock_guard<std::mutex> lock(mu_);
  tick_.fetch_add(ms);
  utcMs_ += ms;
  // Carry in 64 bits: a whole u32 of milliseconds does not fit the millis field.
  int64_t total = static_cast<int64_t>(wall_.millis) + ms;
  WallTime w = wall_;
  w.second += static_cast<int>(FloorDiv(total, 1000));
  w.millis = static_cast<int>(total - FloorDiv(total, 1000) * 1000);
  wall_ = NormalizeWallTime(w);
}

void FakeClock::setWall(const WallTime& wall) {
  std::lock_guard<std::mutex> lock(mu_);
  utcMode_ = false;
  wall_ = NormalizeWallTime(wall);
}

WallTime NormalizeWallTime(const WallTime& t) {
  // The fields are local time; timegm/gmtime_r treat them as UTC, which keeps the
  // arithmetic free of time-zone and daylight-saving jumps.
  int64_t carry = FloorDiv(t.millis, 1000);
  int millis = static_cast<int>(t.millis - carry * 1000);
  struct tm tm {};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = static_cast<int>(t.second + carry);
  time_t secs = timegm(&tm);
  struct tm out {};
  gmtime_r(&secs, &out);
  return FromTm(out, millis);
}

}  // namespace lark
