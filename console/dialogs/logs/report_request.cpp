#include "console/dialogs/logs/report_request.h"

#include <algorithm>

namespace lark {

ReportDate DefaultReportStart(const ReportDate& today) {
  ReportDate start = today;
  if (--start.month == 0) {
    start.month = 12;
    --start.year;
  }
  if (start.month == 2) start.day = std::min(start.day, 28);
  if (start.month == 4 || start.month == 6 || start.month == 9 || start.month == 11)
    start.day = std::min(start.day, 30);
  return start;
}

std::array<uint8_t, kReportRequestSize> ReportRequestPayload(const ReportPeriod& period) {
  std::array<uint8_t, kReportRequestSize> out{};
  PutReportDate(out, 0, period.from);
  PutReportDate(out, kSystemTimeSize, period.to);
  return out;
}

}  // namespace lark
