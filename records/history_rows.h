// History rows: one table per device and family ("histsnmp_12"), created on
// demand, one row per history period with the values the month files take
// (the same family table, core/history_family.h), and the day-totals rows of
// inverters and sensors.
//
// Threads: used only by the database thread.
#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/odbc.h"
#include "platform/clock.h"
#include "records/history_sample.h"

namespace lark {

// A device as the table creation needs it.
struct HistoryDevice {
  int32_t id = 0;
  uint8_t nodeKind = 0;
  int16_t commType = 0;
  uint8_t mibType = 0;
};

std::string HistoryTableName(std::string_view family, int32_t id);
// Value columns of a family's table ("invacc" and "sensoracc" for the day
// totals); 0 for an unknown word.
int HistoryColumnCount(std::string_view family);
// "create table histmeter_5(occurdt datetime,val0 int,...)" in the dialect.
std::string CreateHistoryTableSql(std::string_view family, int32_t id, SqlDialect dialect);
// The row's values: the month file's values cut to the table's columns; a
// lost sample 10000 in val0 and -1 elsewhere; a value its column cannot hold
// -1.
std::vector<int32_t> HistoryRowValues(const HistorySample& sample, bool lost);

class HistoryRows {
 public:
  explicit HistoryRows(OdbcConnection& db) : db_(db) {}

  // The device's tables (inverters and sensors also their day totals);
  // true when the last one was made. Groups and kinds without a family: true.
  bool createTables(const HistoryDevice& device);
  // Stores the row; a missing table is made and the row stored again. False
  // when it is not stored (nothing for CommType 4 either).
  bool insert(const HistorySample& sample, bool lost, const WallTime& now);
  // A whole period in one transaction: one journal and one sync for all its
  // rows. When any row fails (a table not made yet, an engine that aborts
  // the transaction at the first error), it is rolled back and each row is
  // stored alone as insert() does. `wanted` is asked before the commit and
  // before each lone row: false leaves the rest unstored (the caller stopped
  // waiting and wrote their lines). Which rows are stored, in order.
  std::vector<bool> insertPeriod(std::span<const HistoryPeriodRow> rows, const WallTime& now,
                                 const std::function<bool()>& wanted);
  // The day-totals row of `day`, made with zeros when missing, then updated
  // from the sample when the device reports sound values.
  bool updateAccumulator(const HistorySample& sample, bool inverter, const WallTime& day);

 private:
  OdbcConnection& db_;
};

}  // namespace lark
