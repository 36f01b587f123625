// The monthly backup as the month changes on a fake clock: the plan from the
// settings and the tree, then the export through the recorder's database, on
// both drivers: February, then April, to the same golden bytes.
#include <gtest/gtest.h>

#include <future>

#include "core/device_tree.h"
#include "core/live_data.h"
#include "core/settings.h"
#include "platform/paths.h"
#include "records/database_history.h"
#include "records/database_tables.h"
#include "records/history_rows.h"
#include "service/service_database.h"
#include "tests/support/database_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

constexpr WallTime At(int month, int day, int hour) { return {2024, month, day, 0, hour, 0, 0, 0}; }

HistorySample SampleOf(const DeviceNode& node, int32_t first) {
  HistorySample s;
  s.id = node.id();
  s.nodeKind = node.nodeKind();
  s.commType = node.commType();
  s.mibType = node.mibType();
  s.layout = HistoryLayoutOf(s.nodeKind, s.commType, s.mibType);
  s.slots.assign(LayoutOf(s.layout.source).slotCount, -1);
  s.slots[s.layout.map == HistorySlotMap::kSnmp ? 28 : 0] = first;
  return s;
}

class DatabaseBackup : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    DatabaseSource source{"", "", "", "obj_log", dir_.file("ups.db")};
    if (std::string(GetParam()) == "PostgreSQL") {
      std::string why;
      test::PostgresCluster* pg = test::PostgresCluster::Shared(&why);
      if (!pg) GTEST_SKIP() << why;
      source.source = pg->dsn();
      source.account = pg->user();
    }
    thread_.start();
    std::promise<bool> ok;
    thread_.requestConnect(source, [&](bool r, const std::string&) { ok.set_value(r); });
    ASSERT_TRUE(ok.get_future().get());
  }
  void TearDown() override { thread_.stop(); }

  test::TempDir dir_;
  DatabaseThread thread_{[](DatabaseNotice) {}};
};

TEST_P(DatabaseBackup, MonthChangesExportTheMonthBeforeLast) {
  test::CountingPauser pauser;
  test::RecordingEndpoints endpoints;
  DeviceTree tree{pauser, endpoints};
  DeviceNode& snmp = test::AddSnmp(tree, tree.root(), "10.0.0.2");
  snmp.setTitle("Rack A");
  DeviceNode& meter = test::AddSerial(tree, tree.root(), kCommMeter, "COM2", 1);
  meter.setTitle("Feed");
  ServiceSettings settings;
  settings.logTableName = "obj_log";
  settings.upsLogBackupDir = dir_.file("bak");
  settings.opLogBackupDir = dir_.file("bak");
  settings.historyBackupDir = dir_.file("bak/hist");
  settings.upsLogDelete = settings.opLogDelete = settings.historyDelete = 1;
  settings.upsLogMonths = 1;

  thread_
      .call([&](DatabaseSession& s) {
        s.tables.CreateDatabase(At(1, 1, 0), [] { return true; });
        HistoryRows rows(s.db);
        for (int month : {2, 3, 4}) {
          s.tables.InsertEvent(snmp.id(), 1, 4, "alarm " + std::to_string(month), At(month, 9, 8));
          s.tables.InsertOpLog("admin", 1, "op " + std::to_string(month), At(month, 9, 9));
          rows.insert(SampleOf(snmp, 2300 + month), false, At(month, 9, 10));
          rows.insert(SampleOf(meter, 230 + month), false, At(month, 9, 10));
        }
      })
      .get();

  FakeClock clock(0, At(4, 1, 0));
  DatabaseHistory history(thread_, clock, {{}, {}, [&](DatabaseSession& s) {
                                             std::vector<std::string> problems;
                                             const ExportPlan plan = MakeExportPlan(
                                                 settings, nullptr, tree, clock.now());
                                             EXPECT_TRUE(ExportLogs(s.db, plan, problems))
                                                 << (problems.empty() ? "" : problems.front());
                                           }});
  history.exportLogs();
  clock.setWall(At(6, 1, 0));
  history.exportLogs();

  for (int month : {2, 4}) {
    const std::string m = std::to_string(month);
    EXPECT_EQ(ReadFile(dir_.file("bak/UPSLog_2024_" + m + ".xls")).value_or("<none>"),
              "Level:\t0=Serious, 1=Warning, 2=Information\r\n"
              "ID\tDate Time\tLevel\tEvent Index\tEvent Description\r\n" +
                  std::to_string(snmp.id()) + "\t2024-0" + m + "-09 08:00:00\t1\t4\talarm " + m +
                  "\r\n");
    EXPECT_EQ(ReadFile(dir_.file("bak/OPLog_2024_" + m + ".xls")).value_or("<none>"),
              "Level:\t0=information, 1=Modification\r\nAccount\tDate Time\tLevel\tEvent "
              "Description\r\nadmin\t2024-0" +
                  m + "-09 09:00:00\t1\top " + m + "\r\n");
    const std::string snmpFile =
        ReadFile(dir_.file("bak/hist/SNMP_Rack A(id" + std::to_string(snmp.id()) + ")_2024_" + m +
                           ".xls"))
            .value_or("<none>");
    std::string snmpHead =
        "Unit:\t0.1\r\nTitle:\tRack A\r\nDate Time" + std::string(39, '\t') + "\r\n";
    std::string snmpRow = "2024-0" + m + "-09 10:00:00\t230" + m;
    for (int c = 1; c < 39; ++c) snmpRow += "\t-1";
    EXPECT_EQ(snmpFile, snmpHead + snmpRow + "\r\n");
    EXPECT_EQ(ReadFile(dir_.file("bak/hist/Meter_Feed(id" + std::to_string(meter.id()) + ")_2024_" +
                                 m + ".xls"))
                  .value_or("<none>"),
              "Unit:\t0.1\r\nTitle:\tFeed\r\nDate Time" + std::string(10, '\t') + "\r\n2024-0" + m +
                  "-09 10:00:00\t23" + m + "\t-1\t-1\t-1\t-1\t-1\t-1\t-1\t-1\t-1\r\n");
  }
  // Only March is left in every table.
  const std::string left = thread_
                               .call([&](DatabaseSession& s) {
                                 std::string all;
                                 for (const std::string& t : std::vector<std::string>{
                                          "obj_log", "op_log", HistoryTableName("snmp", snmp.id()),
                                          HistoryTableName("meter", meter.id())}) {
                                   OdbcResult r;
                                   s.db.query("select occurdt from " + t, r);
                                   all += r.text;
                                 }
                                 return all;
                               })
                               .get();
  EXPECT_EQ(left,
            "2024-03-09 08:00:00\n2024-03-09 09:00:00\n2024-03-09 10:00:00\n2024-03-09 10:00:00\n");
}

INSTANTIATE_TEST_SUITE_P(Drivers, DatabaseBackup, ::testing::Values("SQLite", "PostgreSQL"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace lark
