// Reading month files: the line parser's bad-input table, whole damaged
// files, the family from the first line, list positions and the titles.
#include "viewer/data/history_month.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/viewer/support/month_fixture.h"

namespace lark {
namespace {

TEST(HistoryLineTest, GoodLines) {
  PlotSample s;
  ASSERT_EQ(ParseHistoryLine("5,14,30,0,2305,-1", ',', 7, s), LineFault::kNone);
  EXPECT_EQ(s.day, 5);
  EXPECT_EQ(s.hour, 14);
  EXPECT_EQ(s.minute, 30);
  EXPECT_EQ(s.values[0], 2305);
  EXPECT_EQ(s.values[1], -1);
  EXPECT_EQ(s.values[2], -1);  // missing fields are no value, not 0
  ASSERT_EQ(ParseHistoryLine("31\t23\t59\t59\t1\t\t-25", '\t', 3, s), LineFault::kNone);
  EXPECT_EQ(s.values[1], -1);
  EXPECT_EQ(s.values[2], -25);
  bool overflow = false;
  int32_t v = 0;
  EXPECT_TRUE(ParseHistoryValue("99999999999", v, &overflow));
  EXPECT_EQ(v, -1);
  EXPECT_TRUE(overflow);
}

TEST(HistoryLineTest, BadLines) {
  struct Case {
    std::string line;
    LineFault want;
  } cases[] = {
      {"32,0,0,0,1", LineFault::kBadTime},
      {"0,0,0,0,1", LineFault::kBadTime},
      {"1,24,0,0,1", LineFault::kBadTime},
      {"1,0,60,0,1", LineFault::kBadTime},
      {"1,0,0,60,1", LineFault::kBadTime},
      {"a,0,0,0,1", LineFault::kBadTime},
      {"1,0,0", LineFault::kBadTime},
      {"", LineFault::kBadTime},
      {"-1,0,0,0", LineFault::kBadTime},
      {"1,0,0,0,12x", LineFault::kNotNumber},
      {"1,0,0,0,-", LineFault::kNotNumber},
      {std::string("1,0,0,0,1\0", 10), LineFault::kNotNumber},
      {"1,0,0,0, 5", LineFault::kNotNumber},
  };
  for (const Case& c : cases) {
    PlotSample s;
    EXPECT_EQ(ParseHistoryLine(c.line, ',', 7, s), c.want) << c.line;
  }
}

TEST(HistoryDbRowTest, Rows) {
  PlotSample s;
  ASSERT_EQ(ParseHistoryDbRow("2024-03-05 14:30:07.250\t2305.000000\t\t-25\t-5.000000", 7, s),
            LineFault::kNone);
  EXPECT_EQ(s.day, 5);
  EXPECT_EQ(s.hour, 14);
  EXPECT_EQ(s.second, 7);
  EXPECT_EQ(s.values[0], 2305);
  EXPECT_EQ(s.values[1], -1);  // NULL: no value
  EXPECT_EQ(s.values[2], -25);
  EXPECT_EQ(s.values[3], -5);
  EXPECT_EQ(s.values[4], -1);
  struct Case {
    std::string row;
    LineFault want;
  } cases[] = {
      {"2024-03-32 00:00:00\t1", LineFault::kBadTime},
      {"2024-03-01 24:00:00\t1", LineFault::kBadTime},
      {"2024-03-01T00:00:00\t1", LineFault::kBadTime},
      {"2024-03-01 00:00\t1", LineFault::kBadTime},
      {"2024-03-01 00:00:00x\t1", LineFault::kBadTime},
      {"", LineFault::kBadTime},
      {"2024-03-01 00:00:00\t1.5e3", LineFault::kNotNumber},
      {"2024-03-01 00:00:00\tabc", LineFault::kNotNumber},
      {"2024-03-01 00:00:00", LineFault::kNone},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseHistoryDbRow(c.row, 7, s), c.want) << c.row;
}

TEST(MonthFileTest, DamagedFiles) {
  test::HistoryFolder h;
  const ViewerArgs args = h.Args(0, 0, 0, test::kRegularMask);
  const std::string good = "1\t0\t0\t0\t1\t2300\r\n";
  struct Case {
    std::string name, bytes;
    size_t samples;
    std::string trouble;  // a part of the caption text
  } cases[] = {
      {"torn", "0\r\n" + good + "1\t0\t1\t0\t1\t23", 1, "1 lines skipped (1 torn)"},
      // The 700-character line is read whole (its value out of range), not cut.
      {"long",
       "0\n" + good + "1\t0\t2\t0\t1\t" + std::string(700, '7') + "\n" + "1\t0\t3\t0" +
           std::string(5000, '\t') + "\n",
       2, "1 lines skipped (1 too long); 1 lines with values out of range"},
      {"overflow", "0\r\n1\t0\t0\t0\t1\t99999999999\r\n", 1, "out of range"},
      {"day 32", "0\r\n" + good + "32\t0\t0\t0\t1\r\n", 1, "1 bad time"},
      {"hour 24", "0\r\n" + good + "1\t24\t0\t0\t1\r\n", 1, "1 bad time"},
      {"letters", "0\r\n" + good + "1\t0\t0\t0\tabc\r\n", 1, "1 not a number"},
      {"nul", "0\r\n" + good + std::string("1\t0\0\t0\t1\r\n", 11), 1, "bad time"},
      {"class 7", "7\r\n" + good, 0, "first line"},
      {"empty", "", 0, "empty"},
  };
  for (const Case& c : cases) {
    const MonthData m = ParseMonthText(args, c.bytes, "x");
    EXPECT_EQ(m.samples.size(), c.samples) << c.name;
    EXPECT_NE(DescribeMonthTrouble(m).find(c.trouble), std::string::npos)
        << c.name << ": " << DescribeMonthTrouble(m);
  }
  // A value beyond 32 bits reads -1, the line stays.
  EXPECT_EQ(ParseMonthText(args, cases[2].bytes, "x").samples[0].values[1], -1);
  const MonthData missing = ReadMonthFile(args, 2024, 3);
  EXPECT_FALSE(missing.opened);
  EXPECT_NE(DescribeMonthTrouble(missing).find("/Demo/5/2024/3.DAT"), std::string::npos);
}

TEST(MonthFileTest, PathWithoutCaseAndFamilyFromFirstLine) {
  test::HistoryFolder h;
  h.WriteMonth(2024, "3.dat", "2\n1\t0\t0\t0" + std::string(48 * 2, '\t') + "\n");
  ViewerArgs args = h.Args(0, 0, 0, test::kRegularMask);
  MonthData m = ReadMonthFile(args, 2024, 3);
  ASSERT_TRUE(m.opened) << m.error;
  EXPECT_EQ(m.deviceClass, 2);  // SNMP, for this read only
  EXPECT_EQ(m.layout.valueCount, 48);
  EXPECT_EQ(args.deviceClass, 0);
  // Text-file families take the class from the command line.
  h.WriteMonth(2024, "3.DAT.txt", "9\r\n5,14,30,0,2305,-1\r\n");
  m = ReadMonthFile(h.Args(0, 7, 0, 0x7f), 2024, 3);
  ASSERT_EQ(m.samples.size(), 1u);
  EXPECT_EQ(m.layout.valueCount, 7);
}

TEST(ParamListTest, PositionsAndBits) {
  const uint64_t mask = (1ull << 1) | (1ull << 3) | (1ull << 40);
  EXPECT_EQ(ParamIndexFromListPos(mask, 48, 0), 1);
  EXPECT_EQ(ParamIndexFromListPos(mask, 48, 1), 3);
  EXPECT_EQ(ParamIndexFromListPos(mask, 48, 2), 40);
  EXPECT_EQ(ParamIndexFromListPos(mask, 48, 3), -1);
  EXPECT_EQ(ParamIndexFromListPos(mask, 34, 2), -1);  // bit 40 is past a PW device's range
  EXPECT_EQ(ParamIndexFromListPos(mask, 48, -1), -1);
  EXPECT_EQ(ListPosOfParam(mask, 48, 40), 2);
  EXPECT_EQ(ListPosOfParam(mask, 48, 2), -1);
  EXPECT_EQ(ParamIndexFromListPos(~0ull, 56, 55), 55);
}

TEST(ParamListTest, MgeTitlesWithoutNumber) {
  test::HistoryFolder h;
  std::ofstream(h.path() + "/English/para-mge.ini", std::ios::trunc) << "[Para49]\nTitle=Last\n"
                                                                        "[Para50]\nTitle=Past\n";
  const ParamTables t = LoadViewerTitles(h.path() + "/English");
  EXPECT_EQ(t.table(ParamFamily::Mge).title(48), "Last");
  EXPECT_EQ(t.table(ParamFamily::Mge).title(49), "");
  EXPECT_EQ(t.table(ParamFamily::Regular).title(0), "Input Frequency L1");
}

}  // namespace
}  // namespace lark
