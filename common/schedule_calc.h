// The schedule calculator: from a device's weekly and dated rows, the next
// local time an action class falls due, and the restart delay of a
// scheduled shutdown. Works on plain rows, so the service and the console
// share it; the times are local civil times to the minute, without a zone.
//
// Rules: a weekly row matches its weekday (1 Sunday .. 7 Saturday); any
// dated row on a date replaces the weekly rows of that date for every class,
// and a dated row of class 0 means no action at all that date wherever it
// stands; hours above 23 or minutes above 59 never match; of several rows
// due the same day the earliest time not yet past counts.
#pragma once
#include <cstdint>
#include <vector>

namespace lark {

struct ScheduleWeekRow {
  int weekday = 0;  // 1 Sunday .. 7 Saturday
  int hour = 0, minute = 0;
  int actionClass = 0;  // 0 unused, 1..4
};
struct ScheduleDateRow {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  int actionClass = 0;  // 0: no action that date; 1..4
};
struct ScheduleRows {
  std::vector<ScheduleWeekRow> week;
  std::vector<ScheduleDateRow> dated;
};

// A local date and time to the minute; year 0 is "none".
struct ScheduleMinute {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  bool none() const { return year == 0 && month == 0 && day == 0; }
  bool operator==(const ScheduleMinute&) const = default;
};

inline constexpr int kScheduleClassShutdown = 1;
inline constexpr int kScheduleClassRestart = 2;
inline constexpr int kScheduleClassTest = 3;
inline constexpr int kScheduleClassDeepTest = 4;
inline constexpr int kScheduleDaysAhead = 30;  // today and the next 30 days
inline constexpr int kScheduleMaxRestartMinutes = 9999;

int YearLength(int year);
// 28..31; a month outside 1..12 returns the month unchanged.
int ScheduleDaysInMonth(int year, int month);
// 0 Sunday .. 6 Saturday (Gregorian).
int WeekdayOf(int year, int month, int day);
// Minutes since 1970-01-01 00:00 of a civil time (no zone).
int64_t MinuteNumber(const ScheduleMinute& t);
ScheduleMinute FromMinuteNumber(int64_t minutes);

// The first time of `actionClass` at or after `from`, on from's day or one of
// the next 30; none when there is none.
ScheduleMinute NextScheduledAction(const ScheduleRows& rows, int actionClass,
                                   const ScheduleMinute& from);

// True when `actionClass` falls due on that date at all, by the rules
// above: the calendar's marks agree with what the runner will do.
bool ScheduleMatchesDay(const ScheduleRows& rows, int actionClass, int year, int month, int day);

// Minutes from `now` until the pending restart (0 when none), across month
// and year ends, at most 9999.
int ScheduleRestartMinutes(const ScheduleMinute& restart, const ScheduleMinute& now);

}  // namespace lark
