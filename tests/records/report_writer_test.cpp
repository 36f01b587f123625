// Period reports over one fixture written twice, as Event.log and month
// files and as database rows: both reports equal the golden files.
// LARK_UPDATE_GOLDEN=1 rewrites the golden files from the file mode.
#include "records/report_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <map>
#include <string>
#include <vector>

#include "common/sql_text.h"
#include "core/device_node.h"
#include "core/event_log.h"
#include "core/history_family.h"
#include "platform/paths.h"
#include "records/database_thread.h"
#include "records/history_files.h"
#include "records/history_rows.h"
#include "records/report_database.h"
#include "tests/support/database_fixture.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

namespace fs = std::filesystem;

const ReportPeriod kPeriod{{2023, 12, 15}, {2024, 1, 15}};

struct Stamp {
  int year, month, day, hour, minute, second;
  ReportDate date() const { return {year, month, day}; }
};

std::string DbTime(const Stamp& t, bool fraction) {
  char b[40];
  std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d%s", t.year, t.month, t.day, t.hour,
                t.minute, t.second, fraction ? ".000" : "");
  return b;
}

// The database as the report asks it: rows kept per device, answered in
// time order like "order by occurdt".
class FakeReportDatabase final : public ReportDatabase {
 public:
  std::map<int, std::vector<std::pair<Stamp, std::string>>> events, history;
  int historySelects = 0;

  std::optional<std::string> selectEvents(const ReportDevice& d, const ReportPeriod& p) override {
    return answer(events[d.id],
                  [&](const Stamp& t) { return !(t.date() < p.from) && !(p.to < t.date()); });
  }
  std::optional<std::string> selectHistoryDay(const ReportDevice& d,
                                              const ReportDate& day) override {
    ++historySelects;
    return answer(history[d.id], [&](const Stamp& t) { return t.date() == day; });
  }

 private:
  template <class F>
  static std::string answer(std::vector<std::pair<Stamp, std::string>> rows, F in) {
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
      return DbTime(a.first, false) < DbTime(b.first, false);
    });
    std::string out;  // rows joined by line ends, none after the last
    for (auto& [t, row] : rows)
      if (in(t)) out += (out.empty() ? "" : "\n") + row;
    return out;
  }
};

struct Device {
  ReportDevice d;
  int values;  // month-file values; 0: not recorded
};

const std::vector<Device> kDevices = {
    {{1, "Snmp UPS", kNodeSnmp, 0, kMibMakerUps}, 48},
    {{2, "Ascii UPS", kNodeSerial, kCommAscii, 0}, 54},
    {{3, "Three Phase", kNodeSerial, kCommThreePhase, 0}, 54},
    {{4, "TRV", kNodeSerial, kCommModbusTrv5200, 0}, 56},
    {{5, "9315", kNodeSerial, kCommModbus9315, 0}, 34},
    {{6, "Inverter", kNodeSerial, kCommInverter, 0}, 17},
    {{8, "PLC", kNodeSerial, kCommPlc, 0}, 0},
    {{9, "Sensor", kNodeSerial, kCommSensor, 0}, 7},
};

// Samples 30 s apart; item 1 is 0 once, every seventh item from 3 never has
// a value, the 10:01:30 sample is a lost link.
std::vector<int32_t> SampleValues(int items, int k, bool lost) {
  std::vector<int32_t> v(static_cast<size_t>(items), -1);
  if (lost) {
    v[0] = 10000;
    return v;
  }
  for (int i = 0; i < items; ++i) {
    if (i % 7 == 3) continue;
    v[static_cast<size_t>(i)] = (k == 1 && i == 1) ? 0 : 100 + 3 * i + 7 * k;
  }
  return v;
}

struct Fixture {
  test::TempDir dir;
  FakeReportDatabase db;
  std::string eventLog;
  ReportJob job;

  Fixture() {
    job.period = kPeriod;
    job.reportDir = dir.file("Report");
    fs::create_directories(job.reportDir);
    job.rootTitle = "Plant";
    for (const Device& d : kDevices) job.devices.push_back(d.d);
    auto tables = std::make_shared<ActionTables>();
    for (const ActionFamilyInfo& f : kActionFamilies) {
      ActionTable& rows = tables->table(f.family);
      for (size_t r = 0; r < rows.size(); ++r) {
        rows[r].setTitle(std::string(f.word) + " " + std::to_string(r));
        rows[r].setLevel(static_cast<uint8_t>((r / 2) % 3));
      }
    }
    job.actions = tables;
    for (const ParamFamilyInfo& f : kParamFamilies) {
      ParamTable& t = job.params.table(f.family);
      for (size_t i = 0; i < t.capacity(); ++i)
        t.titles[i] = std::string(f.word) + " p" + std::to_string(i);
    }
    job.historyDir = dir.file("History");
    job.mapName = "Map";
    job.readEventLog = [this] { return std::optional<std::string>(eventLog); };

    const Stamp days[] = {{2023, 12, 14, 0, 0, 0},
                          {2023, 12, 15, 0, 0, 0},
                          {2023, 12, 31, 0, 0, 0},
                          {2024, 1, 15, 0, 0, 0},
                          {2024, 1, 16, 0, 0, 0}};
    const int seconds[] = {0, 30, 60, 90, 300, 330};  // from 10:00; 90 is the lost link
    for (const Device& dev : kDevices) {
      if (dev.values == 0) continue;
      const HistoryLayout layout = HistoryLayoutOf(dev.d.nodeKind, dev.d.commType, dev.d.mibType);
      for (const Stamp& day : days) {
        for (int k = 0; k < 6; ++k) {
          const Stamp t{day.year, day.month, day.day, 10, seconds[k] / 60, seconds[k] % 60};
          const auto v = SampleValues(dev.values, k, seconds[k] == 90);
          std::string line = std::to_string(t.day) + layout.separator + "10" + layout.separator +
                             std::to_string(t.minute) + layout.separator + std::to_string(t.second);
          std::string row = DbTime(t, k % 2 == 0);
          for (int32_t x : v) {
            line += layout.separator + std::to_string(x);
            row += "\t" + (x < 0 ? std::string() : std::to_string(x));  // NULL
          }
          EXPECT_TRUE(AppendHistoryLine(
              HistoryMonthFilePath(job.historyDir, "Map", dev.d.id, t.year, t.month, layout), line,
              std::to_string(dev.d.nodeKind)));
          db.history[dev.d.id].emplace_back(t, row);
        }
      }
      // Events: 0 twice, recovered once; 4 (in and out of the period); a
      // recovery alone; an index of the second table; system codes.
      const struct {
        Stamp t;
        int index;
      } events[] = {
          {{2023, 12, 14, 9, 0, 0}, 4},    {{2023, 12, 15, 10, 0, 0}, 0},
          {{2023, 12, 15, 10, 5, 0}, 1},   {{2023, 12, 20, 8, 0, 0}, 7},
          {{2023, 12, 31, 23, 59, 59}, 0}, {{2024, 1, 1, 0, 0, 1}, 4},
          {{2024, 1, 1, 0, 1, 0}, 60},     {{2024, 1, 2, 0, 0, 0}, 1000},
          {{2024, 1, 15, 23, 0, 0}, 2},    {{2024, 1, 16, 0, 0, 0}, 2},
      };
      for (const auto& e : events) {
        const WallTime w{e.t.year, e.t.month, e.t.day, 0, e.t.hour, e.t.minute, e.t.second, 0};
        eventLog += FormatEventLogLine(dev.d.id, w, "Warning", e.index, "text");
        eventLog += FormatEventLogLine(99, w, "Warning", e.index, "another node");
        db.events[dev.d.id].emplace_back(e.t, std::to_string(dev.d.id) + "\t" + DbTime(e.t, true) +
                                                  "\t1\t" + std::to_string(e.index) + "\ttext");
      }
    }
  }

  std::map<std::string, std::string> run(bool database) { return run(database, db); }
  std::map<std::string, std::string> run(bool database, ReportDatabase& source) {
    fs::remove_all(job.reportDir);
    fs::create_directories(job.reportDir);
    job.databaseEnabled = database;
    std::atomic<bool> stop{false};
    WritePeriodReport(job, source, stop);
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(job.reportDir))
      files[e.path().filename().string()] = ReadFile(e.path().string()).value_or("");
    return files;
  }
};

TEST(PeriodReport, FilesAndDatabaseGiveTheGoldenReport) {
  Fixture f;
  const auto fromFiles = f.run(false);
  const auto fromDatabase = f.run(true);
  const std::string golden = test::SourcePath("tests/records/fixtures/report");
  if (std::getenv("LARK_UPDATE_GOLDEN") != nullptr) {
    fs::remove_all(golden);
    fs::create_directories(golden);
    for (auto& [name, text] : fromFiles) ASSERT_TRUE(WriteFileAtomic(golden + "/" + name, text));
  }
  std::map<std::string, std::string> expected;
  for (const auto& e : fs::directory_iterator(golden))
    expected[e.path().filename().string()] = ReadFile(e.path().string()).value_or("");
  EXPECT_EQ(fromFiles.size(), 8u);  // seven devices and the summary; no PLC
  EXPECT_EQ(fromFiles, expected);
  EXPECT_EQ(fromDatabase, expected);
  // One select per device-day of the period.
  EXPECT_EQ(f.db.historySelects, 5 * 32);  // none for the inverter and the sensor
}

std::map<std::string, std::string> GoldenFiles() {
  std::map<std::string, std::string> expected;
  for (const auto& e : fs::directory_iterator(test::SourcePath("tests/records/fixtures/report")))
    expected[e.path().filename().string()] = ReadFile(e.path().string()).value_or("");
  return expected;
}

// The same fixture stored by the database layer's own tables in SQLite and,
// where a server can run, PostgreSQL: absent values as NULL.
class PeriodReportDatabase : public ::testing::TestWithParam<const char*> {};

TEST_P(PeriodReportDatabase, RowsThroughTheDatabaseThreadGiveTheGoldenReport) {
  Fixture f;
  DatabaseSource source{"", "", "", "obj_log", f.dir.file("ups.db")};
  if (std::string(GetParam()) == "PostgreSQL") {
    std::string why;
    test::PostgresCluster* pg = test::PostgresCluster::Shared(&why);
    if (!pg) GTEST_SKIP() << why;
    source.source = pg->dsn();
    source.account = pg->user();
  }
  DatabaseThread thread([](DatabaseNotice) {});
  thread.start();
  std::promise<bool> connected;
  thread.requestConnect(source, [&](bool ok, const std::string&) { connected.set_value(ok); });
  ASSERT_TRUE(connected.get_future().get());
  const std::string failure =
      thread
          .call([&](DatabaseSession& s) {
            std::string error;  // the first failure's
            auto check = [&](bool ok) {
              if (!ok && error.empty()) error = s.db.lastError();
            };
            const WallTime now{2024, 2, 1, 4, 0, 0, 0, 0};
            check(s.tables.CreateDatabase(now, [] { return true; }) == 0);
            HistoryRows rows(s.db);
            for (const Device& dev : kDevices) {
              if (!HasHistoryStats(dev.d)) continue;
              check(rows.createTables({dev.d.id, dev.d.nodeKind, dev.d.commType, dev.d.mibType}));
              const HistoryLayout l =
                  HistoryLayoutOf(dev.d.nodeKind, dev.d.commType, dev.d.mibType);
              for (auto& [t, row] : f.db.history[dev.d.id]) {
                std::string sql = "insert into " + HistoryTableName(l.family, dev.d.id) +
                                  " values(" +
                                  SqlDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second);
                // The table keeps the first HistoryColumnCount values.
                const auto parsed = ParseHistoryDbRow(row, HistoryColumnCount(l.family));
                for (int32_t v : parsed->values)
                  sql += ", " + (v < 0 ? std::string("NULL") : std::to_string(v));
                check(s.db.exec(sql + ")"));
              }
            }
            for (auto& [id, events] : f.db.events) {
              for (auto& [t, row] : events) {
                check(s.tables.InsertEvent(
                    id, 1, ParseEventRow(row)->index, "text",
                    WallTime{t.year, t.month, t.day, 0, t.hour, t.minute, t.second, 0}));
              }
            }
            return error;
          })
          .get();
  ASSERT_EQ(failure, "");
  DatabaseReports reports(thread);
  EXPECT_EQ(f.run(true, reports), GoldenFiles());
  thread.stop();
}

INSTANTIATE_TEST_SUITE_P(Drivers, PeriodReportDatabase, ::testing::Values("SQLite", "PostgreSQL"));

TEST(PeriodReport, AStopEndsTheReportBetweenDevices) {
  Fixture f;
  ReportWriter writer(f.db);
  std::atomic<int> reads{0};
  f.job.readEventLog = [&] {
    ++reads;
    return std::optional<std::string>(f.eventLog);
  };
  ASSERT_TRUE(writer.start(f.job));
  EXPECT_FALSE(writer.start(f.job)) << "one report at a time";
  writer.wait();
  EXPECT_FALSE(writer.running());
  EXPECT_EQ(reads.load(), 1) << "one copy of the event log per report";
  // A stop before the first device: nothing but the summary header.
  fs::remove_all(f.job.reportDir);
  fs::create_directories(f.job.reportDir);
  std::atomic<bool> stop{true};
  WritePeriodReport(f.job, f.db, stop);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(f.job.reportDir))
    names.push_back(e.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"Plant.xls"});
  EXPECT_EQ(ReadFile(f.job.reportDir + "/Plant.xls").value_or(""),
            " \tKVA MAX\tKVA AVG\tKW MAX\tKW AVG\tPF AVG\tIA MAX\tIB MAX\tIC MAX\tVA MAX\tVB "
            "MAX\tVC MAX\tVDC MAX\tIDC MAX\tkWh\r\n");
}

}  // namespace
}  // namespace lark
