// The period of a report: two calendar dates, as a console sends them in two
// SYSTEMTIME records (16 bytes each: u16 year, month, day of week, day, hour,
// minute, second, milliseconds; only year, month and day are used).
#pragma once
#include <compare>
#include <cstddef>
#include <cstdint>

#include "common/bytes.h"
#include "common/sql_text.h"  // DaysInMonth

namespace lark {

struct ReportDate {
  int year = 0;
  int month = 0;
  int day = 0;
  auto operator<=>(const ReportDate&) const = default;
};

struct ReportPeriod {
  ReportDate from;
  ReportDate to;
};

inline constexpr size_t kSystemTimeSize = 16;
namespace systemtime_off {
inline constexpr size_t kYear = 0, kMonth = 2, kDayOfWeek = 4, kDay = 6;
}

// Year, month and day of the SYSTEMTIME at `off` (the caller checks the size).
ReportDate ReportDateAt(CBytes b, size_t off);
// A SYSTEMTIME of the date at midnight at `off`, its day of week filled in
// (0 Sunday) as a calendar gives it.
void PutReportDate(Bytes b, size_t off, const ReportDate& d);

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int year, int month, int day);
// Year 1..9999, month 1..12, a day the month has.
bool IsRealDate(const ReportDate& d);
// Real dates, `from` not after `to`, at most ten years apart.
bool IsValidReportPeriod(const ReportPeriod& p);

}  // namespace lark
