#include "platform/clock.h"

#include <gtest/gtest.h>

namespace lark {
namespace {

WallTime At(int year, int month, int day, int hour, int minute, int second, int millis) {
  WallTime w;
  w.year = year;
  w.month = month;
  w.day = day;
  w.hour = hour;
  w.minute = minute;
  w.second = second;
  w.millis = millis;
  return NormalizeWallTime(w);
}

TEST(Clock, TickWrapsAndElapsedCrossesTheWrap) {
  FakeClock clock(0xFFFFFF00u);
  const uint32_t start = clock.tickMs();
  clock.advance(0x200);
  EXPECT_EQ(clock.tickMs(), 0x100u);
  EXPECT_EQ(TickElapsed(clock.tickMs(), start), 0x200u);
}

TEST(Clock, FakeAdvanceAcrossMidnightChangesDayAndWeekday) {
  struct Case {
    const char* what;
    WallTime from;
    uint32_t advanceMs;
    int year, month, day, dayOfWeek, hour, minute, second, millis;
  };
  const Case cases[] = {
      // 2024-02-28 is a Wednesday; 2024 is a leap year.
      {"into a leap day", At(2024, 2, 28, 23, 59, 59, 500), 600, 2024, 2, 29, 4, 0, 0, 0, 100},
      {"out of a leap day", At(2024, 2, 29, 23, 59, 59, 999), 1, 2024, 3, 1, 5, 0, 0, 0, 0},
      {"new year", At(2023, 12, 31, 23, 0, 0, 0), 3600000, 2024, 1, 1, 1, 0, 0, 0, 0},
      {"whole days at once", At(2023, 2, 27, 12, 0, 0, 0), 2 * 86400000u, 2023, 3, 1, 3, 12, 0, 0,
       0},
      {"largest step", At(2020, 1, 1, 0, 0, 0, 0), 0xFFFFFFFFu, 2020, 2, 19, 3, 17, 2, 47, 295},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeClock clock(7, c.from);
    clock.advance(c.advanceMs);
    const WallTime w = clock.now();
    EXPECT_EQ(w.year, c.year);
    EXPECT_EQ(w.month, c.month);
    EXPECT_EQ(w.day, c.day);
    EXPECT_EQ(w.dayOfWeek, c.dayOfWeek);
    EXPECT_EQ(w.hour, c.hour);
    EXPECT_EQ(w.minute, c.minute);
    EXPECT_EQ(w.second, c.second);
    EXPECT_EQ(w.millis, c.millis);
    EXPECT_EQ(clock.tickMs(), 7u + c.advanceMs);
  }
}

TEST(Clock, NormalizeBorrowsForNegativeFields) {
  WallTime w = At(2024, 3, 1, 0, 0, 0, 0);
  w.millis = -1;
  const WallTime n = NormalizeWallTime(w);
  EXPECT_EQ(n.month, 2);
  EXPECT_EQ(n.day, 29);
  EXPECT_EQ(n.hour, 23);
  EXPECT_EQ(n.second, 59);
  EXPECT_EQ(n.millis, 999);
  EXPECT_EQ(n.dayOfWeek, 4);
}

TEST(Clock, SystemClockGivesPlausibleFields) {
  SystemClock clock;
  const WallTime w = clock.now();
  EXPECT_GE(w.year, 2020);
  EXPECT_TRUE(w.month >= 1 && w.month <= 12 && w.day >= 1 && w.day <= 31);
  EXPECT_TRUE(w.dayOfWeek >= 0 && w.dayOfWeek <= 6);
  EXPECT_TRUE(w.millis >= 0 && w.millis <= 999);
}

}  // namespace
}  // namespace lark
