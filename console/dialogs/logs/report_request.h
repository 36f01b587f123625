// The Generate Report dialog's dates, without Qt: the start it offers and
// the payload of command 22 sub 2.
#pragma once
#include <array>
#include <cstdint>

#include "core/report_period.h"

namespace lark {

inline constexpr size_t kReportRequestSize = 2 * kSystemTimeSize;

// A month before `today`: January goes back to December of the year before,
// and the day is held to 28 in February and to 30 in the months of 30 days.
ReportDate DefaultReportStart(const ReportDate& today);

// Two SYSTEMTIME records: the first and the last day of the report.
std::array<uint8_t, kReportRequestSize> ReportRequestPayload(const ReportPeriod& period);

}  // namespace lark
