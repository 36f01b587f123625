#include "records/history_rows.h"

#include <gtest/gtest.h>

#include "common/sql_text.h"
#include "core/device_node.h"
#include "core/live_data.h"
#include "platform/paths.h"
#include "records/database_export.h"
#include "records/database_tables.h"
#include "tests/support/database_fixture.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

using test::PostgresCluster;
using test::TempDir;

HistorySample Sample(uint8_t kind, int16_t commType, uint8_t mib, int16_t id) {
  HistorySample s;
  s.id = id;
  s.nodeKind = kind;
  s.commType = commType;
  s.mibType = mib;
  s.saveInDatabase = true;
  s.layout = HistoryLayoutOf(kind, commType, mib);
  s.slots.assign(LayoutOf(s.layout.source).slotCount, -1);
  return s;
}

TEST(HistoryRowValues, ScalingLimitsAndLostRows) {
  HistorySample snmp = Sample(kNodeSnmp, 0, kMibMakerUps, 2);
  snmp.slots[42] = 5;      // x10: column 12, an int column
  snmp.slots[43] = 40000;  // x10 -> 400000 in smallint column 13
  snmp.slots[28] = -1;
  snmp.slots[29] = 40000;  // smallint column 1
  std::vector<int32_t> v = HistoryRowValues(snmp, false);
  ASSERT_EQ(v.size(), 39u);
  EXPECT_EQ(v[12], 50);
  EXPECT_EQ(v[13], -1);
  EXPECT_EQ(v[0], -1);
  EXPECT_EQ(v[1], -1);
  // Phase powers of the three-phase protocol are not scaled (slots 42, 46, 50).
  HistorySample binary = Sample(kNodeSerial, kCommThreePhase, 0, 4);
  binary.slots[42] = 7;
  binary.slots[43] = 7;
  v = HistoryRowValues(binary, false);
  EXPECT_EQ(v[0], 7);
  EXPECT_EQ(v[1], 70);

  v = HistoryRowValues(snmp, true);
  EXPECT_EQ(v[0], kHistoryLostMark);
  EXPECT_EQ(std::count(v.begin(), v.end(), -1), 38);
  EXPECT_TRUE(HistoryRowValues(Sample(kNodeGroup, 0, 0, 1), false).empty());
}

TEST(HistoryRowValues, CreateTexts) {
  EXPECT_EQ(CreateHistoryTableSql("metergrp", 5, SqlDialect::kPostgreSql),
            "create table histmetergrp_5(occurdt timestamp,val0 int,val1 int,val2 int,val3 int)");
  const std::string snmp = CreateHistoryTableSql("snmp", 2, SqlDialect::kSqlite);
  EXPECT_NE(snmp.find(",val11 smallint,val12 int,val13 smallint"), std::string::npos);
  EXPECT_EQ(snmp.substr(snmp.size() - 16), ",val38 smallint)");
}

TEST(DatabaseExportNames, MonthsAndTitles) {
  struct Case {
    int y, m, back, ey, em;
  } cases[] = {{2024, 3, 1, 2024, 1},
               {2024, 1, 1, 2023, 11},
               {2024, 1, 0, 2023, 12},
               {2024, 1, 12, 2022, 12},
               {2024, 12, 0, 2024, 11}};
  for (const Case& c : cases) {
    int y = 0, m = 0;
    BackupMonth(c.y, c.m, c.back, y, m);
    EXPECT_EQ(y * 100 + m, c.ey * 100 + c.em) << c.y << "/" << c.m << " back " << c.back;
  }
  EXPECT_EQ(SafeTitle("../a/b\\c\td"), "_._a_b_c_d");
  EXPECT_EQ(HistoryExportPath("C:\\bak", "meter", "M1", 3, 2024, 2),
            "C:/bak/Meter_M1(id3)_2024_2.xls");
  EXPECT_EQ(HistoryExportPath("/b/", "gprs", ".x", 9, 2024, 4), "/b/GPRS__x(id9)_2024_4.xls");
}

class HistoryDrivers : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    std::string source, user;
    if (std::string(GetParam()) == "PostgreSQL") {
      std::string why;
      PostgresCluster* pg = PostgresCluster::Shared(&why);
      if (!pg) GTEST_SKIP() << why;
      source = pg->dsn();
      user = pg->user();
    }
    std::string error;
    ASSERT_TRUE(db_.connect(source, user, "", dir_.file("ups.db"), &error)) << error;
  }
  std::string select(const std::string& sql) {
    OdbcResult r;
    EXPECT_TRUE(db_.query(sql, r)) << sql << ": " << db_.lastError();
    return r.text;
  }
  TempDir dir_;
  OdbcConnection db_;
  HistoryRows rows_{db_};
};

TEST_P(HistoryDrivers, FirstRowMakesItsTableAndIsKept) {
  HistorySample meter = Sample(kNodeSerial, kCommMeter, 0, 3);
  meter.slots[0] = 230;
  const WallTime t{2024, 2, 3, 6, 10, 0, 0, 0};
  EXPECT_TRUE(rows_.insert(meter, false, t)) << db_.lastError();
  EXPECT_TRUE(rows_.insert(meter, true, t));
  EXPECT_EQ(select("select * from histmeter_3"),
            "2024-02-03 10:00:00\t230\t-1\t-1\t-1\t-1\t-1\t-1\t-1\t-1\t-1\n"
            "2024-02-03 10:00:00\t10000\t-1\t-1\t-1\t-1\t-1\t-1\t-1\t-1\t-1\n");
  EXPECT_FALSE(rows_.insert(Sample(kNodeSerial, kCommPlc, 0, 4), false, t));
}

// A period is one transaction; a row whose table is missing rolls it back
// and the rows go one by one (the table made on the way), each stored once.
// A caller that stopped waiting gets nothing stored.
TEST_P(HistoryDrivers, APeriodIsOneTransactionFallingBackRowByRow) {
  const WallTime t{2024, 2, 3, 6, 10, 0, 0, 0};
  HistorySample kept = Sample(kNodeSerial, kCommMeter, 0, 3);
  ASSERT_TRUE(rows_.insert(kept, false, t)) << db_.lastError();
  const std::vector<HistoryPeriodRow> period = {
      {kept, false}, {Sample(kNodeSerial, kCommMeter, 0, 5), true},
      {Sample(kNodeSerial, kCommPlc, 0, 4), false}};
  EXPECT_EQ(rows_.insertPeriod(period, t, [] { return true; }),
            (std::vector<bool>{true, true, false}));
  EXPECT_EQ(select("select count(*) from histmeter_3"), "2\n");
  EXPECT_EQ(select("select val0 from histmeter_5"), "10000\n");
  EXPECT_EQ(rows_.insertPeriod(period, t, [] { return true; }),
            (std::vector<bool>{true, true, false}));
  EXPECT_EQ(select("select count(*) from histmeter_3"), "3\n");
  EXPECT_EQ(rows_.insertPeriod(period, t, [] { return false; }),
            (std::vector<bool>{false, false, false}));
  EXPECT_EQ(select("select count(*) from histmeter_5"), "2\n");
}

TEST_P(HistoryDrivers, DayTotalsRowMadeThenUpdated) {
  HistorySample inv = Sample(kNodeSerial, kCommInverter, 0, 6);
  for (int i = 17; i < 30; ++i) inv.slots[static_cast<size_t>(i)] = i;
  const WallTime day{2024, 2, 3, 6, 0, 0, 0, 0};
  EXPECT_TRUE(rows_.updateAccumulator(inv, true, day));
  EXPECT_EQ(select("select val0, val9 from histinvacc_6"), "0\t0\n");
  EXPECT_TRUE(rows_.updateAccumulator(inv, true, day));
  EXPECT_EQ(select("select val0, val1, val9 from histinvacc_6"), "17\t19\t29\n");
}

TEST_P(HistoryDrivers, MonthExportInTimeOrderThenDelete) {
  UpsTables tables(db_, "obj_log");
  ASSERT_EQ(tables.CreateDatabase({2024, 1, 1, 1, 0, 0, 0, 0}, [] { return true; }), 0u);
  auto at = [](int month, int day, int hour) {
    return WallTime{2024, month, day, 0, hour, 0, 0, 0};
  };
  // Stored out of order; February's last day and April's first bound the month.
  ASSERT_TRUE(tables.InsertEvent(5, 0, 3, "late", at(2, 29, 23)));
  ASSERT_TRUE(tables.InsertEvent(5, 1, 4, "100% O'Br\\ien", at(2, 1, 8)));
  ASSERT_TRUE(tables.InsertEvent(5, 2, 5, "april", at(4, 1, 0)));
  ASSERT_TRUE(tables.InsertOpLog("admin", 1, "changed", at(2, 10, 9)));
  HistorySample meter = Sample(kNodeSerial, kCommMeter, 0, 3);
  meter.slots[0] = 230;
  ASSERT_TRUE(rows_.insert(meter, false, at(2, 3, 10)));
  ASSERT_TRUE(rows_.insert(meter, false, at(4, 3, 10)));

  ExportPlan plan;
  plan.year = 2024;
  plan.month = 2;
  plan.logTable = "obj_log";
  plan.upsLogDir = dir_.file("bak/ups");
  plan.opLogDir = dir_.file("bak/op") + "/";
  plan.historyDir = dir_.file("bak/hist");
  plan.upsLogDelete = plan.opLogDelete = plan.historyDelete = true;
  plan.levelNames = {"Serious", "Warning", "Information"};
  plan.devices.push_back({3, "Meter/1", "meter", {"V", "A", "", "", "", "", "", "", "", "kWh"}});
  plan.devices.push_back({7, "NoTable", "snmp", {}});
  std::vector<std::string> problems;
  EXPECT_FALSE(ExportLogs(db_, plan, problems));  // device 7 has no table: kept, named
  EXPECT_EQ(ReadFile(dir_.file("bak/ups/UPSLog_2024_2.xls")).value_or("<none>"),
            "Level:\t0=Serious, 1=Warning, 2=Information\r\n"
            "ID\tDate Time\tLevel\tEvent Index\tEvent Description\r\n"
            "5\t2024-02-01 08:00:00\t1\t4\t100% O'Br\\ien\r\n"
            "5\t2024-02-29 23:00:00\t0\t3\tlate\r\n");
  EXPECT_EQ(ReadFile(dir_.file("bak/op/OPLog_2024_2.xls")).value_or("<none>"),
            "Level:\t0=information, 1=Modification\r\n"
            "Account\tDate Time\tLevel\tEvent Description\r\n"
            "admin\t2024-02-10 09:00:00\t1\tchanged\r\n");
  EXPECT_EQ(ReadFile(dir_.file("bak/hist/Meter_Meter_1(id3)_2024_2.xls")).value_or("<none>"),
            "Unit:\t0.1\r\nTitle:\tMeter/1\r\nDate Time\tV\tA\t\t\t\t\t\t\t\tkWh\r\n"
            "2024-02-03 10:00:00\t230\t-1\t-1\t-1\t-1\t-1\t-1\t-1\t-1\t-1\r\n");
  // February went, April stays.
  EXPECT_EQ(select("select evt_descr from obj_log"), "april\n");
  EXPECT_EQ(select("select count(*) from op_log"), "0\n");
  EXPECT_EQ(select("select count(*) from histmeter_3"), "1\n");
}

TEST_P(HistoryDrivers, ADayPastTheFetchLimitDeletesNothing) {
  UpsTables tables(db_, "obj_log");
  ASSERT_EQ(tables.CreateDatabase({2024, 1, 1, 1, 0, 0, 0, 0}, [] { return true; }), 0u);
  // About 6 MB of one day's rows, made by the server itself.
  const std::string text(250, 'x');
  ASSERT_TRUE(
      db_.exec("with recursive c(n) as (select 1 union all select n + 1 from c where n < "
               "22000) insert into obj_log select n, '2024-02-05 10:00:00', 2, 1, '" +
               text + "' from c"))
      << db_.lastError();
  ExportPlan plan;
  plan.year = 2024;
  plan.month = 2;
  plan.logTable = "obj_log";
  plan.upsLogDir = dir_.file("bak");
  plan.upsLogDelete = true;
  std::vector<std::string> problems;
  EXPECT_FALSE(ExportLogs(db_, plan, problems));
  EXPECT_EQ(select("select count(*) from obj_log"), "22000\n");
}

INSTANTIATE_TEST_SUITE_P(Drivers, HistoryDrivers, ::testing::Values("SQLite", "PostgreSQL"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace lark
