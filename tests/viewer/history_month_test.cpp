// Reading month files: the line parser's bad-input table, whole damaged
// files, the family from the first line, list positions and the titles.
#include "viewer/data/history_month.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <limits>

#include "platform/paths.h"

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
    // The same fed a byte at a time, and in pieces that each end mid-line.
    for (size_t piece : {size_t{1}, size_t{7}}) {
      MonthTextReader reader(args, "x");
      for (size_t at = 0; at < c.bytes.size(); at += piece)
        reader.feed(std::string_view(c.bytes).substr(at, piece));
      const MonthData fed = reader.finish();
      EXPECT_EQ(fed.samples.size(), c.samples) << c.name << " by " << piece;
      EXPECT_EQ(DescribeMonthTrouble(fed), DescribeMonthTrouble(m)) << c.name << " by " << piece;
    }
  }
  // A value beyond 32 bits reads -1, the line stays.
  EXPECT_EQ(ParseMonthText(args, cases[2].bytes, "x").samples.begin()->values[1], -1);
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

TEST(MonthFileTest, OnlyARegularFileOfAMonthsSizeIsRead) {
  test::HistoryFolder h;
  const ViewerArgs args = h.Args(0, 0, 0, test::kRegularMask);
  const std::string month = h.WriteMonth(2024, "3.DAT", test::March2024Regular());
  ASSERT_TRUE(ReadMonthFile(args, 2024, 3).opened);
  const std::string real = month + ".real";
  ASSERT_EQ(rename(month.c_str(), real.c_str()), 0);
  struct Case {
    const char* name;
    std::function<void()> plant;
    const char* says;
  };
  const Case cases[] = {
      {"FIFO", [&] { ASSERT_EQ(mkfifo(month.c_str(), 0644), 0); }, "is no regular file"},
      {"link to the real month", [&] { ASSERT_EQ(symlink(real.c_str(), month.c_str()), 0); },
       "is no regular file"},
      {"link to a device", [&] { ASSERT_EQ(symlink("/dev/zero", month.c_str()), 0); },
       "is no regular file"},
      {"larger than any month",
       [&] {
         WriteFileAtomic(month, "0\r\n");
         ASSERT_EQ(truncate(month.c_str(), static_cast<off_t>(kMaxMonthFileBytes + 1)), 0);
       },
       "is larger than any month (1024 MB)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.plant();
    const MonthData m = ReadMonthFile(args, 2024, 3);
    EXPECT_FALSE(m.opened);
    EXPECT_TRUE(m.samples.empty());
    EXPECT_NE(DescribeMonthTrouble(m).find(c.says), std::string::npos) << DescribeMonthTrouble(m);
    ASSERT_EQ(unlink(month.c_str()), 0);
  }
}

TEST(MonthFileTest, SamplesPastASecondEachOfTheMonthAreLeftOutAndSaid) {
  test::HistoryFolder h;
  const ViewerArgs args = h.Args(0, 7, 0, 0x7f);  // a sensor: 7 values
  std::string text;
  for (size_t i = 0; i < kMaxMonthSamples + 3; ++i) text += "1,0,0,0\n";
  const MonthData m = ParseMonthText(args, text, "x");
  EXPECT_EQ(m.samples.size(), kMaxMonthSamples);
  EXPECT_NE(DescribeMonthTrouble(m).find("only the first 2678400 samples"), std::string::npos)
      << DescribeMonthTrouble(m);
}

TEST(MonthSamplesTest, ValuesComeBackAsPackedAndSlowOnesTakeAByte) {
  const int32_t kMin = std::numeric_limits<int32_t>::min();
  const int32_t kMax = std::numeric_limits<int32_t>::max();
  const std::vector<std::array<int32_t, 3>> rows = {
      {-1, 0, 2300}, {kMin, kMax, 2301}, {kMax, kMin, 2299}, {-1, -1, 2300}, {0, 1, 2300}};
  MonthSamples packed(3);
  PlotSample s;
  for (size_t i = 0; i < rows.size(); ++i) {
    s.day = 31;
    s.hour = 23;
    s.minute = 59;
    s.second = static_cast<uint8_t>(i);
    std::copy(rows[i].begin(), rows[i].end(), s.values.begin());
    packed.push(s);
  }
  size_t i = 0;
  for (const PlotSample& got : packed) {
    ASSERT_LT(i, rows.size());
    EXPECT_EQ(got.stamp(), 31 * 86400 + 23 * 3600 + 59 * 60 + static_cast<int64_t>(i));
    EXPECT_EQ((std::array<int32_t, 3>{got.values[0], got.values[1], got.values[2]}), rows[i]);
    EXPECT_EQ(got.values[3], -1) << "past the sample's values";
    ++i;
  }
  EXPECT_EQ(i, rows.size());

  // A regular month that moves slowly: the 54 values take about a byte each.
  MonthSamples month(54);
  for (int n = 0; n < 1000; ++n) {
    s.values.fill(2000 + n % 7);
    month.push(s);
  }
  month.shrink();
  EXPECT_LT(month.heapBytes() / month.size(), 64u);
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
