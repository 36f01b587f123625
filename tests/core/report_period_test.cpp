// A report period from a console: real dates, in order, at most ten years.
#include "core/report_period.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace lark {
namespace {

TEST(ReportPeriod, RealDatesInOrderAtMostTenYearsApart) {
  const struct {
    ReportPeriod p;
    bool valid;
  } cases[] = {
      {{{2024, 1, 1}, {2024, 1, 31}}, true},
      {{{2024, 1, 15}, {2024, 1, 15}}, true},
      {{{2024, 2, 29}, {2024, 3, 1}}, true},
      {{{2023, 2, 29}, {2023, 3, 1}}, false},  // no 29 February in 2023
      {{{2024, 13, 1}, {2024, 12, 1}}, false},
      {{{2024, 0, 1}, {2024, 12, 1}}, false},
      {{{2024, 1, 40}, {2024, 2, 1}}, false},
      {{{2024, 4, 31}, {2024, 5, 1}}, false},
      {{{0, 1, 1}, {1, 1, 1}}, false},
      {{{2024, 2, 1}, {2024, 1, 31}}, false},  // from after to
      {{{2010, 1, 1}, {2020, 1, 1}}, true},
      {{{2010, 1, 1}, {2020, 1, 2}}, false},
      {{{2016, 2, 29}, {2026, 2, 28}}, true},
      {{{2016, 2, 29}, {2026, 3, 1}}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsValidReportPeriod(c.p), c.valid)
        << c.p.from.year << "-" << c.p.from.month << "-" << c.p.from.day << " .. " << c.p.to.year
        << "-" << c.p.to.month << "-" << c.p.to.day;
  }
}

TEST(ReportPeriod, DatesFromSystemTimeRecords) {
  // SYSTEMTIME 2024-02-29 (Thursday) 13:14:15.016, little-endian words.
  const uint8_t b[] = {0xE8, 0x07, 2, 0, 4, 0, 29, 0, 13, 0, 14, 0, 15, 0, 16, 0};
  EXPECT_EQ(ReportDateAt(CBytes(b, sizeof b), 0), (ReportDate{2024, 2, 29}));
  // Written back at midnight, as a calendar gives a day.
  uint8_t out[20];
  std::fill_n(out, sizeof out, 0xAA);
  PutReportDate(Bytes(out, sizeof out), 2, {2024, 2, 29});
  const uint8_t golden[] = {0xAA, 0xAA, 0xE8, 0x07, 2, 0, 4, 0, 29,   0,
                            0,    0,    0,    0,    0, 0, 0, 0, 0xAA, 0xAA};
  EXPECT_TRUE(std::equal(out, out + sizeof out, golden));
  PutReportDate(Bytes(out, sizeof out), 0, {1969, 12, 28});  // a Sunday before 1970
  EXPECT_EQ(u16At(CBytes(out, sizeof out), systemtime_off::kDayOfWeek), 0);
  EXPECT_EQ(DaysFromCivil(2024, 3, 1) - DaysFromCivil(2024, 2, 28), 2);
  EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
}

}  // namespace
}  // namespace lark
