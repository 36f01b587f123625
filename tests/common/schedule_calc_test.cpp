// The schedule calculator on plain rows: which time comes next for a class,
// and the restart delay of a scheduled shutdown.
#include "common/schedule_calc.h"

#include <gtest/gtest.h>

namespace lark {
namespace {

ScheduleMinute At(int y, int mo, int d, int h, int mi) { return {y, mo, d, h, mi}; }

// 2023-03-06 is a Monday (weekday 2); 2023-03-12 a Sunday.
TEST(ScheduleCalc, NextTimeOfAClass) {
  struct Case {
    const char* what;
    ScheduleRows rows;
    int actionClass;
    ScheduleMinute from, want;
  };
  const Case cases[] = {
      {"due this very minute", {{{2, 8, 0, 3}}, {}}, 3, At(2023, 3, 6, 8, 0), At(2023, 3, 6, 8, 0)},
      {"a minute late: next week",
       {{{2, 8, 0, 3}}, {}},
       3,
       At(2023, 3, 6, 8, 1),
       At(2023, 3, 13, 8, 0)},
      {"earliest of the day, whatever the row order",
       {{{2, 18, 0, 3}, {2, 8, 0, 3}}, {}},
       3,
       At(2023, 3, 6, 7, 0),
       At(2023, 3, 6, 8, 0)},
      {"other class ignored", {{{2, 8, 0, 4}}, {}}, 3, At(2023, 3, 6, 7, 0), {}},
      {"class 0 date suppresses every row of the date, wherever it stands",
       {{{2, 8, 0, 3}}, {{2023, 3, 6, 9, 0, 3}, {2023, 3, 6, 0, 0, 0}}},
       3,
       At(2023, 3, 6, 7, 0),
       At(2023, 3, 13, 8, 0)},
      {"a dated row of another class suppresses the weekly row",
       {{{2, 8, 0, 1}}, {{2023, 3, 6, 9, 0, 3}}},
       1,
       At(2023, 3, 6, 7, 0),
       At(2023, 3, 13, 8, 0)},
      {"dated row on its date",
       {{}, {{2023, 3, 20, 6, 30, 2}}},
       2,
       At(2023, 3, 6, 7, 0),
       At(2023, 3, 20, 6, 30)},
      {"across the year end",
       {{{1, 0, 0, 4}}, {}},
       4,
       At(2022, 12, 31, 23, 59),
       At(2023, 1, 1, 0, 0)},
      {"hour 24 never matches", {{{2, 24, 0, 3}}, {}}, 3, At(2023, 3, 6, 7, 0), {}},
      {"minute 60 never matches", {{{2, 8, 60, 3}}, {}}, 3, At(2023, 3, 6, 7, 0), {}},
      {"weekday 8 never matches", {{{8, 8, 0, 3}}, {}}, 3, At(2023, 3, 6, 7, 0), {}},
      {"2023-02-29 is no date", {{}, {{2023, 2, 29, 10, 0, 1}}}, 1, At(2023, 2, 20, 0, 0), {}},
      {"2024-02-29 is",
       {{}, {{2024, 2, 29, 10, 0, 1}}},
       1,
       At(2024, 2, 20, 0, 0),
       At(2024, 2, 29, 10, 0)},
      {"beyond 30 days ahead", {{}, {{2023, 4, 6, 10, 0, 1}}}, 1, At(2023, 3, 6, 10, 1), {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NextScheduledAction(c.rows, c.actionClass, c.from), c.want) << c.what;
  }
}

TEST(ScheduleCalc, DaysAClassFallsDueOn) {
  // 2024-03-04 is a Monday (weekday 2).
  const std::vector<ScheduleWeekRow> week = {{2, 23, 59, 1}, {4, 10, 0, 3}, {2, 24, 0, 2}};
  struct Case {
    const char* what;
    std::vector<ScheduleDateRow> dated;
    int actionClass, day;
    bool want;
  } cases[] = {
      {"a weekly row", {}, 1, 4, true},
      {"a weekly row on the next Monday", {}, 1, 11, true},
      {"another weekday", {}, 1, 5, false},
      {"a time that never matches", {}, 2, 4, false},
      {"a dated None row cancels the day", {{2024, 3, 4, 0, 0, 0}}, 1, 4, false},
      {"... and only that day", {{2024, 3, 4, 0, 0, 0}}, 1, 11, true},
      {"a dated row replaces the day's weekly rows", {{2024, 3, 4, 8, 0, 4}}, 1, 4, false},
      {"... and is due itself", {{2024, 3, 4, 8, 0, 4}}, 4, 4, true},
      {"a dated row of another year", {{2025, 3, 4, 8, 0, 4}}, 4, 4, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScheduleMatchesDay({week, c.dated}, c.actionClass, 2024, 3, c.day), c.want) << c.what;
  }
}

TEST(ScheduleCalc, RestartMinutes) {
  struct Case {
    ScheduleMinute restart, now;
    int want;
  } cases[] = {
      {At(2023, 10, 2, 6, 0), At(2023, 9, 30, 22, 0), 1920},  // 120 + 1440 + 360
      {At(2024, 1, 2, 6, 0), At(2023, 12, 31, 22, 0), 1920},  // across the year end
      {At(2024, 3, 1, 6, 0), At(2024, 2, 29, 10, 0), 1200},
      {At(2024, 3, 1, 6, 0), At(2024, 3, 1, 6, 0), 0},
      {At(2024, 5, 1, 6, 0), At(2024, 3, 1, 6, 0), 9999},
      {{}, At(2024, 3, 1, 6, 0), 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScheduleRestartMinutes(c.restart, c.now), c.want) << c.now.month << "/" << c.now.day;
  }
}

TEST(ScheduleCalc, Calendar) {
  EXPECT_EQ(ScheduleDaysInMonth(2100, 2), 28);
  EXPECT_EQ(ScheduleDaysInMonth(2000, 2), 29);
  EXPECT_EQ(ScheduleDaysInMonth(2023, 4), 30);
  EXPECT_EQ(ScheduleDaysInMonth(2023, 13), 13);
  EXPECT_EQ(YearLength(2024), 366);
  EXPECT_EQ(YearLength(1900), 365);
  EXPECT_EQ(WeekdayOf(2023, 1, 1), 0);
  EXPECT_EQ(WeekdayOf(1969, 12, 31), 3);
  const ScheduleMinute t = At(2024, 2, 29, 23, 59);
  EXPECT_EQ(FromMinuteNumber(MinuteNumber(t) + 1), At(2024, 3, 1, 0, 0));
}

}  // namespace
}  // namespace lark
