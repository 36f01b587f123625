// The Schedule page's rows without the page: the block's bytes, the list
// texts, the checks of typed times and dates, and the device's rows read
// with their gaps closed.
#include "console/dialogs/pages/schedule_block.h"

#include <gtest/gtest.h>

#include "common/bytes.h"

namespace lark {
namespace {

std::string Hex(const std::vector<uint8_t>& b, size_t from, size_t n) {
  std::string out;
  char h[4];
  for (size_t i = from; i < from + n; ++i) {
    std::snprintf(h, sizeof h, "%02x", b[i]);
    out += h;
  }
  return out;
}

TEST(ScheduleBlock, GoldenBytes) {
  ScheduleTables t;
  t.week = {{2, 23, 59, 1}, {4, 10, 0, 3}};
  t.dated = {{2026, 12, 24, 18, 30, 4}, {2027, 1, 4, 0, 0, 0}};
  const std::vector<uint8_t> b = BuildScheduleBlock(kScheduleScopeDevice, 0x0203, kScheduleTableDated, t);
  ASSERT_EQ(b.size(), kScheduleBlockSize);
  EXPECT_EQ(Hex(b, 0, 16), "00000000" "03020000" "01000000" "02000000");
  EXPECT_EQ(Hex(b, 16, 12), "0200173b0100" "04000a000300");
  EXPECT_EQ(Hex(b, 28, 6), "000000000000");
  EXPECT_EQ(Hex(b, 196, 20), "02000000" "ea070c18121e0400" "eb07010400000000");
  for (size_t i = 216; i < kScheduleBlockSize; ++i) EXPECT_EQ(b[i], 0) << i;
  const std::vector<uint8_t> all = BuildScheduleBlock(kScheduleScopeAll, 7, kScheduleTableWeekly, {});
  EXPECT_EQ(Hex(all, 0, 16), "02000000" "07000000" "00000000" "00000000");
}

TEST(ScheduleBlock, ListTexts) {
  ScheduleNames n;
  n.weekdays = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  n.actions = {"None", "Shutdown", "Restart", "General Test", "Deep Battery Test"};
  EXPECT_EQ(WeekRowText({2, 23, 59, 1}, n), "[1]Monday, Shutdown at 23:59");
  EXPECT_EQ(WeekRowText({4, 10, 0, 3}, n), "[3]Wednesday, General Test at 10:00");
  EXPECT_EQ(WeekRowText({7, 0, 0, 0}, n), "[6]Saturday, None");
  EXPECT_EQ(DateRowText({2026, 3, 9, 6, 5, 4}, n), "2026/03/09, Deep Battery Test at 06:05");
  EXPECT_EQ(DateRowText({2026, 3, 9, 0, 0, 0}, n), "2026/03/09, None");
}

TEST(ScheduleBlock, TypedTimesAndDates) {
  struct Time {
    const char *h, *m;
    bool ok;
  } times[] = {{"23", "59", true}, {"0", "0", true},   {"24", "00", false}, {"12", "60", false},
               {"-1", "0", false}, {"ab", "0", false}, {"", "5", false},    {"1", "", false}};
  for (const Time& t : times) EXPECT_EQ(ParseScheduleTime(t.h, t.m).has_value(), t.ok) << t.h << ":" << t.m;
  struct Date {
    const char *y, *m, *d;
    bool ok;
  } dates[] = {{"2024", "2", "29", true},  {"2025", "2", "29", false}, {"2026", "4", "31", false},
               {"2026", "12", "31", true}, {"2026", "0", "1", false},  {"2026", "1", "0", false},
               {"0", "1", "1", false},     {"9999", "1", "1", true},   {"10000", "1", "1", false},
               {"2026", "13", "1", false}, {"x", "1", "1", false}};
  for (const Date& d : dates) EXPECT_EQ(ParseScheduleDate(d.y, d.m, d.d).has_value(), d.ok) << d.y << "/" << d.m << "/" << d.d;
}

TEST(ScheduleBlock, DeviceRowsWithGapsClosedAndWrittenBack) {
  DeviceNode node;
  node.setWeekEntry(0, {2, 8, 0, 1});
  node.setWeekEntry(5, {3, 9, 0, 2});  // behind a gap: still a row
  node.setDateEntry(2, {2026, 5, 1, 0, 0, 0});
  const ScheduleTables t = ScheduleTablesOf(node);
  EXPECT_EQ(t.week, (std::vector<ScheduleWeekEntry>{{2, 8, 0, 1}, {3, 9, 0, 2}}));
  EXPECT_EQ(t.dated, (std::vector<ScheduleDateEntry>{{2026, 5, 1, 0, 0, 0}}));
  WriteScheduleTable(node, kScheduleTableWeekly, t);
  EXPECT_EQ(node.weekEntry(1), (ScheduleWeekEntry{3, 9, 0, 2}));
  EXPECT_EQ(node.weekEntry(5), ScheduleWeekEntry{});
  EXPECT_EQ(node.dateEntry(2), (ScheduleDateEntry{2026, 5, 1, 0, 0, 0}));  // the other table untouched
}

}  // namespace
}  // namespace lark
