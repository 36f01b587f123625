// The Generate Report dialog's start date a month back, and its request the
// service reads back as the same period.
#include "console/dialogs/logs/report_request.h"

#include <gtest/gtest.h>

namespace lark {
namespace {

TEST(ReportRequest, StartAMonthBack) {
  const struct {
    ReportDate today, start;
  } cases[] = {
      {{2026, 3, 31}, {2026, 2, 28}},  {{2024, 3, 30}, {2024, 2, 28}},  // 28 in a leap year too
      {{2026, 5, 31}, {2026, 4, 30}},  {{2026, 1, 15}, {2025, 12, 15}},
      {{2026, 1, 31}, {2025, 12, 31}}, {{2026, 8, 31}, {2026, 7, 31}},
      {{2026, 10, 31}, {2026, 9, 30}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DefaultReportStart(c.today), c.start) << c.today.month << "/" << c.today.day;
}

TEST(ReportRequest, PayloadReadsBackAsThePeriod) {
  const ReportPeriod one{{2026, 12, 11}, {2026, 12, 11}};  // one day
  const auto payload = ReportRequestPayload(one);
  EXPECT_EQ(ReportDateAt(payload, 0), one.from);
  EXPECT_EQ(ReportDateAt(payload, kSystemTimeSize), one.to);
  EXPECT_TRUE(
      IsValidReportPeriod({ReportDateAt(payload, 0), ReportDateAt(payload, kSystemTimeSize)}));
}

}  // namespace
}  // namespace lark
