// The report's readers: line parsers, event counts and spans, the history
// statistics and their energy chain, and the month walk over the files.
#include "records/report_readers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/device_node.h"
#include "core/history_family.h"
#include "platform/paths.h"
#include "records/history_files.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

ReportDevice Snmp(uint8_t mib = kMibMakerUps) { return {7, "S", kNodeSnmp, 0, mib}; }
ReportDevice Serial(int16_t comm) { return {7, "U", kNodeSerial, comm, 0}; }

EventRecord At(int index, int day = 1, int second = 0) {
  return {2024, 1, day, 10, 0, second, 7, index};
}

TEST(ReportLines, ParsersTakeWholeFieldsOrRefuseTheLine) {
  auto e = ParseEventLogLine("7\t2024/01/05\t10:11:12\tSerious\t18\tOn battery");
  ASSERT_TRUE(e);
  EXPECT_EQ(std::make_tuple(e->number, e->year, e->month, e->day, e->hour, e->minute, e->second,
                            e->index),
            std::make_tuple(7, 2024, 1, 5, 10, 11, 12, 18));
  for (const char* bad :
       {"", "7", "7\t2024/01/05\t10:11:12\tSerious", "x\t2024/01/05\t10:11:12\tS\t1",
        "7\t2024/13/05\t10:11:12\tS\t1", "7\t2024/02/30\t10:11:12\tS\t1",
        "7\t2024/01/05\t24:00:00\tS\t1", "7\t2024-01-05\t10:11:12\tS\t1",
        "7\t2024/01/05\t10:11\tS\t1", "7\t2024/01/05\t10:11:12\tS\t1x",
        "7\t2024/01/05\t10:11:12\tS\t99999999999"}) {
    EXPECT_FALSE(ParseEventLogLine(bad)) << bad;
  }

  for (const char* row :
       {"7\t2024-01-05 10:11:12\t0\t18\tOn battery", "7\t2024-01-05 10:11:12.000\t0\t18\t",
        "7\t2024-01-05 10:11:12.5\t0\t18"}) {
    auto r = ParseEventRow(row);
    ASSERT_TRUE(r) << row;
    EXPECT_EQ(std::make_tuple(r->day, r->second, r->index), std::make_tuple(5, 12, 18));
  }
  for (const char* bad : {"7\t2024-01-05\t0\t18", "7\t2024-01-05 10:11:12.\t0\t18",
                          "7\t2024/01/05 10:11:12\t0\t18", "7\t2024-01-05 10:11:12\t0"}) {
    EXPECT_FALSE(ParseEventRow(bad)) << bad;
  }

  // Values: missing, empty (NULL), negative or not a number read as no value.
  auto h = ParseHistoryFileLine("3\t14\t5\t0\t12\t\t-1\tx\t0", 2024, 2, 6);
  ASSERT_TRUE(h);
  EXPECT_EQ(std::make_tuple(h->year, h->month, h->day, h->hour, h->minute),
            std::make_tuple(2024, 2, 3, 14, 5));
  EXPECT_EQ(h->values, (std::vector<int32_t>{12, -1, -1, -1, 0, -1}));
  EXPECT_FALSE(ParseHistoryFileLine("30\t14\t5\t0\t1", 2024, 2, 1));  // no 30 February
  EXPECT_FALSE(ParseHistoryFileLine("3\t14\t5", 2024, 2, 1));
  EXPECT_FALSE(ParseHistoryFileLine("3,14,5,0,1", 2024, 2, 1));
  auto d = ParseHistoryDbRow("2024-02-03 14:05:30.123\t\t7", 3);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->values, (std::vector<int32_t>{-1, 7, -1}));
}

TEST(ReportEvents, CountedByTheDeviceFamilysLevelsWithinItsTable) {
  ActionTables t;
  // Level of each family's rows: snmpv4 Warning, 3phaseplus Information.
  for (auto& row : t.table(ActionFamily::Snmpv4)) row.setLevel(1);
  for (auto& row : t.table(ActionFamily::ThreePhasePlus)) row.setLevel(2);
  for (auto& row : t.table(ActionFamily::RegularPlus)) row.setLevel(1);
  struct Case {
    ReportDevice device;
    std::vector<int> indexes;
    bool any;
    int serious, warning, information;
  } cases[] = {
      {Snmp(), {1, 3, 1000, 1002}, false, 0, 0, 0},  // recoveries and system codes
      {Snmp(), {0, 70, 72, 998}, true, 0, 2, 0},     // past the 72 snmpv4 rows: not counted
      {Snmp(kMibInverter), {4}, true, 0, 1, 0},      // an SNMP inverter: snmpv4 levels
      {Serial(kCommAscii), {50, 52, 116, 118, 946}, true, 1, 2, 0},
      {Serial(kCommThreePhase), {46, 48, 150, 152}, true, 1, 0, 2},
      {Serial(kCommSensor), {2, 12}, true, 1, 0, 0},  // the sensor table's 12 rows
      {Serial(kCommMeterSum), {2}, true, 0, 0, 0},    // a family without a table
  };
  for (const Case& c : cases) {
    std::vector<EventRecord> ev;
    for (int i : c.indexes) ev.push_back(At(i));
    EventCounts n = CountNodeEvents(ev, c.device, t);
    EXPECT_EQ(std::make_tuple(n.any, n.serious, n.warning, n.information),
              std::make_tuple(c.any, c.serious, c.warning, c.information))
        << "comm " << c.device.commType << " first " << c.indexes.front();
  }
}

TEST(ReportEvents, SpansPairEachOccurrenceWithTheRecoveryAfterIt) {
  struct Case {
    std::vector<int> indexes;                // event 4 and its recovery 5, one line a second
    std::vector<std::pair<int, int>> spans;  // start second, end second (-1 none)
  } cases[] = {
      {{4, 5, 4}, {{0, 1}, {2, -1}}},
      {{5, 4, 6, 5}, {{1, 3}}},
      {{4, 4, 5}, {{0, 2}}},
      {{4, 4, 4}, {{0, -1}, {1, -1}, {2, -1}}},
      {{5, 7}, {}},
  };
  for (const Case& c : cases) {
    std::vector<EventRecord> ev;
    for (size_t i = 0; i < c.indexes.size(); ++i)
      ev.push_back(At(c.indexes[i], 1, static_cast<int>(i)));
    std::vector<std::pair<int, int>> got;
    for (const EventSpan& s : FindEventSpans(ev, 4))
      got.emplace_back(s.start.second, s.end ? s.end->second : -1);
    EXPECT_EQ(got, c.spans) << c.indexes.size();
  }
}

// One SNMP sample of the given time and values (others absent).
HistoryRow Sample(int day, int hour, int minute, int second,
                  std::initializer_list<std::pair<int, int32_t>> values) {
  HistoryRow r{2024, 1, day, hour, minute, second, std::vector<int32_t>(48, -1)};
  for (auto [i, v] : values) r.values[static_cast<size_t>(i)] = v;
  return r;
}

TEST(ReportStats, EnergyFollowsTheTimeStampsAndRestartsAfterALostLink) {
  // Output phases 12, 16, 20 (stored x10): 36000 in total is 3600 W.
  const auto phases = {std::pair{12, 12000}, std::pair{16, 12000}, std::pair{20, 12000}};
  auto energyOf = [&](std::vector<HistoryRow> rows) {
    HistoryStatsBuilder b(StatsKind::kSnmp);
    for (auto& r : rows) b.add(r);
    return b.stats().energy;
  };
  auto s = [&](int h, int m, int sec) { return Sample(1, h, m, sec, phases); };
  HistoryRow lost = Sample(1, 10, 2, 0, {{0, 10000}, {12, 12000}});
  struct Case {
    const char* name;
    std::vector<HistoryRow> rows;
    double wh;
  } cases[] = {
      {"minute 58 to 3", {s(9, 58, 0), s(10, 3, 0)}, 300},
      {"30 s in one minute", {s(10, 0, 10), s(10, 0, 40)}, 30},
      {"lost link restarts", {s(10, 0, 0), s(10, 1, 0), lost, s(10, 3, 0), s(10, 4, 0)}, 120},
      {"an hour's gap restarts", {s(10, 0, 0), s(11, 0, 0), s(11, 1, 0)}, 60},
      {"across midnight", {Sample(1, 23, 59, 30, phases), Sample(2, 0, 0, 30, phases)}, 60},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(energyOf(c.rows), c.wh) << c.name;

  // mge and pw integrate their energy item (43, 19) as stored; a sample
  // without it adds nothing but keeps the chain.
  for (auto [kind, item, items] : {std::tuple{StatsKind::kMge, 43, 56}, {StatsKind::kPw, 19, 34}}) {
    HistoryStatsBuilder b(kind);
    auto row = [&](int minute, int32_t v) {
      HistoryRow r{2024, 1, 1, 10, minute, 0, std::vector<int32_t>(static_cast<size_t>(items), 7)};
      r.values[static_cast<size_t>(item)] = v;
      return r;
    };
    b.add(row(0, 100));
    b.add(row(30, 100));  // 10.0 for half an hour
    b.add(row(40, -1));
    b.add(row(52, 50));  // 5.0 for 12 minutes
    EXPECT_DOUBLE_EQ(b.stats().energy, 6.0) << item;
  }
}

TEST(ReportStats, FiguresCountOnlyTheSamplesThatGaveAValue) {
  HistoryStatsBuilder b(StatsKind::kSnmp);
  b.add(Sample(1, 0, 0, 0, {{12, 100}, {16, 120}, {20, 80}, {1, 0}, {2, 50}}));
  b.add(Sample(1, 0, 1, 0, {{1, 30}, {2, 30}}));
  b.add(Sample(1, 0, 2, 0, {{1, 20}}));
  const HistoryStats& s = b.stats();
  EXPECT_DOUBLE_EQ(s.total.maximum, 30.0);  // 100 + 120 + 80, stored x10
  EXPECT_EQ(s.total.count, 1);
  const StatFigure& one = s.items[1];  // 0, 3.0, 2.0
  EXPECT_EQ(std::make_tuple(one.count, one.minimum, one.maximum, one.minAboveZero),
            std::make_tuple(int64_t{3}, 0.0, 3.0, 2.0));
  EXPECT_DOUBLE_EQ(one.average, 5.0 / 3);
  EXPECT_DOUBLE_EQ(s.items[2].average, 4.0);  // two values, not three lines
  EXPECT_EQ(s.items[3].count, 0);             // never a value: no row
  HistoryStatsBuilder zeros(StatsKind::kRegular);
  zeros.add(HistoryRow{2024, 1, 1, 0, 0, 0, {0, 0}});
  EXPECT_EQ(std::make_tuple(zeros.stats().items[0].count, zeros.stats().items[0].minAboveZero),
            std::make_tuple(int64_t{1}, 0.0));
}

TEST(ReportFiles, MonthsOfThePeriodAreReadWithTheirWholeLines) {
  test::TempDir dir;
  const ReportDevice dev = Snmp();
  const HistoryLayout layout = HistoryLayoutOf(dev.nodeKind, dev.commType, dev.mibType);
  // A line in each month from October to March, on the 1st and the 28th.
  for (auto [y, m] :
       {std::pair{2023, 10}, {2023, 11}, {2023, 12}, {2024, 1}, {2024, 2}, {2024, 3}}) {
    const std::string path = HistoryMonthFilePath(dir.path(), "Map", dev.id, y, m, layout);
    for (int day : {1, 28}) {
      std::string line = std::to_string(day) + "\t0\t0\t0";
      for (int i = 0; i < 48; ++i)
        line += "\t00000000" + std::to_string(1000 + i);  // 600+ characters
      ASSERT_TRUE(AppendHistoryLine(path, line, "2"));
    }
  }
  // An unfinished line at the end of February is being written: skipped.
  AppendHistoryLine(HistoryMonthFilePath(dir.path(), "Map", dev.id, 2024, 2, layout),
                    "28\t1\t0\t0\t5");
  {
    FILE* f =
        std::fopen(HistoryMonthFilePath(dir.path(), "Map", dev.id, 2024, 2, layout).c_str(), "ab");
    std::fputs("28\t2\t0\t0\t9", f);
    std::fclose(f);
  }
  const std::string longText(400, 'x');
  const std::string log = "7\t2023/11/02\t10:00:00\tSerious\t2\t" + longText + "\r\n" +
                          "7\t2024/03/01\t10:00:00\tSerious\t2\tafter\r\n";
  const ReportPeriod p{{2023, 11, 1}, {2024, 2, 28}};
  FileReportSource files(log, p, dir.path(), "Map");
  std::vector<std::pair<int, int>> seen;
  std::vector<int32_t> lastValues;
  files.historyRows(dev, p, 48, [&](const HistoryRow& r) {
    seen.emplace_back(r.month, r.day);
    lastValues = r.values;
  });
  EXPECT_EQ(seen,
            (std::vector<std::pair<int, int>>{
                {11, 1}, {11, 28}, {12, 1}, {12, 28}, {1, 1}, {1, 28}, {2, 1}, {2, 28}, {2, 28}}));
  EXPECT_EQ(lastValues[0], 5);
  const HistoryStats stats = ReadHistoryStats(files, dev, p);
  EXPECT_EQ(stats.items[47].count, 8);  // the 28 Feb line without the column
  EXPECT_DOUBLE_EQ(stats.items[47].maximum, 104.7);
  const auto events = files.events(dev, p);
  ASSERT_EQ(events.size(), 1u);  // the 400-character line, once; March is out
  EXPECT_EQ(events[0].month, 11);
}

TEST(ReportFiles, OverlongLinesAreSkippedWhole) {
  test::TempDir dir;
  const std::string path = dir.file("f");
  std::string text = "a\n" + std::string(kReportMaxLine + 10, 'y') + "\nb\r\nc";
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  std::vector<std::string> lines;
  EXPECT_TRUE(ForEachFileLine(path, [&](std::string_view l) { lines.emplace_back(l); }));
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "b"}));
  EXPECT_FALSE(ForEachFileLine(dir.file("missing"), [](std::string_view) {}));
}

}  // namespace
}  // namespace lark
