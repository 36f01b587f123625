#include "common/schedule_calc.h"

#include <algorithm>
#include <optional>

namespace lark {

namespace {

bool IsLeap(int y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

ScheduleMinute CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  ScheduleMinute t;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
  return t;
}

bool ValidTime(int hour, int minute) {
  return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59;
}

// The earliest time of the class on this day not before `earliest` (minutes
// into the day), or none.
std::optional<int> DueOnDay(const ScheduleRows& rows, int c, const ScheduleMinute& day,
                            int earliest) {
  std::optional<int> best;
  auto consider = [&](int hour, int minute) {
    if (!ValidTime(hour, minute)) return;
    const int at = hour * 60 + minute;
    if (at >= earliest && (!best || at < *best)) best = at;
  };
  bool dated = false;
  for (const ScheduleDateRow& r : rows.dated) {
    if (r.year != day.year || r.month != day.month || r.day != day.day) continue;
    if (r.actionClass == 0) return std::nullopt;  // nothing at all that date
    dated = true;
    if (r.actionClass == c) consider(r.hour, r.minute);
  }
  if (dated) return best;
  const int weekday = WeekdayOf(day.year, day.month, day.day) + 1;
  for (const ScheduleWeekRow& r : rows.week) {
    if (r.weekday == weekday && r.actionClass == c) consider(r.hour, r.minute);
  }
  return best;
}

}  // namespace

int YearLength(int year) { return IsLeap(year) ? 366 : 365; }

int ScheduleDaysInMonth(int year, int month) {
  switch (month) {
    case 2:
      return IsLeap(year) ? 29 : 28;
    case 4:
    case 6:
    case 9:
    case 11:
      return 30;
    case 1:
    case 3:
    case 5:
    case 7:
    case 8:
    case 10:
    case 12:
      return 31;
    default:
      return month;
  }
}

int WeekdayOf(int year, int month, int day) {
  const int64_t d = DaysFromCivil(year, month, day);
  return static_cast<int>(((d % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
}

int64_t MinuteNumber(const ScheduleMinute& t) {
  return DaysFromCivil(t.year, t.month, t.day) * 1440 + t.hour * 60 + t.minute;
}

ScheduleMinute FromMinuteNumber(int64_t minutes) {
  const int64_t days = (minutes >= 0 ? minutes : minutes - 1439) / 1440;
  ScheduleMinute t = CivilFromDays(days);
  const int64_t rest = minutes - days * 1440;
  t.hour = static_cast<int>(rest / 60);
  t.minute = static_cast<int>(rest % 60);
  return t;
}

ScheduleMinute NextScheduledAction(const ScheduleRows& rows, int actionClass,
                                   const ScheduleMinute& from) {
  const int64_t first = DaysFromCivil(from.year, from.month, from.day);
  for (int i = 0; i <= kScheduleDaysAhead; ++i) {
    ScheduleMinute day = CivilFromDays(first + i);
    const int earliest = i == 0 ? from.hour * 60 + from.minute : 0;
    if (auto at = DueOnDay(rows, actionClass, day, earliest)) {
      day.hour = *at / 60;
      day.minute = *at % 60;
      return day;
    }
  }
  return {};
}

bool ScheduleMatchesDay(const ScheduleRows& rows, int actionClass, int year, int month, int day) {
  ScheduleMinute d;
  d.year = year, d.month = month, d.day = day;
  return DueOnDay(rows, actionClass, d, 0).has_value();
}

int ScheduleRestartMinutes(const ScheduleMinute& restart, const ScheduleMinute& now) {
  if (restart.none()) return 0;
  const int64_t diff = MinuteNumber(restart) - MinuteNumber(now);
  return static_cast<int>(
      std::clamp<int64_t>(diff, -kScheduleMaxRestartMinutes, kScheduleMaxRestartMinutes));
}

}  // namespace lark
