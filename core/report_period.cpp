#include "core/report_period.h"

#include <algorithm>

#include "common/sql_text.h"

namespace lark {

ReportDate ReportDateAt(CBytes b, size_t off) {
  return {u16At(b, off + systemtime_off::kYear), u16At(b, off + systemtime_off::kMonth),
          u16At(b, off + systemtime_off::kDay)};
}

void PutReportDate(Bytes b, size_t off, const ReportDate& d) {
  std::fill_n(b.begin() + static_cast<ptrdiff_t>(off), kSystemTimeSize, uint8_t{0});
  putU16(b, off + systemtime_off::kYear, static_cast<uint16_t>(d.year));
  putU16(b, off + systemtime_off::kMonth, static_cast<uint16_t>(d.month));
  // 1970-01-01 was a Thursday.
  const int64_t days = DaysFromCivil(d.year, d.month, d.day);
  putU16(b, off + systemtime_off::kDayOfWeek, static_cast<uint16_t>(((days % 7) + 11) % 7));
  putU16(b, off + systemtime_off::kDay, static_cast<uint16_t>(d.day));
}

int64_t DaysFromCivil(int year, int month, int day) {
  const int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t mp = (month + 9) % 12;
  const int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

bool IsRealDate(const ReportDate& d) {
  return d.year >= 1 && d.year <= 9999 && d.day >= 1 && d.day <= DaysInMonth(d.year, d.month);
}

bool IsValidReportPeriod(const ReportPeriod& p) {
  if (!IsRealDate(p.from) || !IsRealDate(p.to) || p.to < p.from) return false;
  // Ten years ahead of `from`, with 29 February falling back to the 28th.
  ReportDate limit{p.from.year + 10, p.from.month, p.from.day};
  if (limit.day > DaysInMonth(limit.year, limit.month))
    limit.day = DaysInMonth(limit.year, limit.month);
  return p.to <= limit;
}

}  // namespace lark
