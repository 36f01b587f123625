#include "records/history_rows.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

#include "common/sql_text.h"
#include "core/device_node.h"
#include "records/database_tables.h"

namespace lark {

namespace {

struct FamilyTable {
  std::string_view family;
  int columns;
  bool allInt;
  std::array<uint8_t, 9> intColumns;  // 0xFF ends the list
};

constexpr uint8_t kEnd = 0xFF;
constexpr FamilyTable kTables[] = {
    {"snmp", 39, false, {12, 16, 20, 25, 28, 31, kEnd}},
    {"inverter", 17, true, {kEnd}},
    {"invacc", 10, true, {kEnd}},
    {"sensor", 7, true, {kEnd}},
    {"sensoracc", 4, true, {kEnd}},
    {"mge", 56, false, {37, 38, 39, 40, 41, 42, 43, 44, kEnd}},
    {"pw", 34, false, {kEnd}},
    {"meter", 10, true, {kEnd}},
    {"metergrp", 4, true, {kEnd}},
    {"regular", 54, false, {3, 7, 11, 18, 22, 26, 34, 37, 40}},
    {"gprs", 54, false, {3, 7, 11, 18, 22, 26, 34, 37, 40}},
};

const FamilyTable* FindTable(std::string_view family) {
  for (const FamilyTable& t : kTables)
    if (t.family == family) return &t;
  return nullptr;
}

bool IntColumn(const FamilyTable& t, int column) {
  if (t.allInt) return true;
  for (uint8_t c : t.intColumns) {
    if (c == kEnd) break;
    if (c == column) return true;
  }
  return false;
}

std::string DayLiteral(const WallTime& d) { return SqlDateTime(d.year, d.month, d.day, 0, 0, 0); }

std::string ZeroRow(std::string_view table, int columns, const WallTime& day) {
  std::string sql = "insert into " + std::string(table) + " VALUES(" + DayLiteral(day);
  for (int i = 0; i < columns; ++i) sql += ",0";
  return sql + ")";
}

// Inverter day totals: source slots by column (SNMP inverters carry four).
constexpr int kInvAccSlots[] = {17, 19, 22, 23, 24, 25, 26, 27, 28, 29};

}  // namespace

std::string HistoryTableName(std::string_view family, int32_t id) {
  return "hist" + std::string(family) + "_" + std::to_string(id);
}

int HistoryColumnCount(std::string_view family) {
  const FamilyTable* t = FindTable(family);
  return t ? t->columns : 0;
}

std::string CreateHistoryTableSql(std::string_view family, int32_t id, SqlDialect dialect) {
  const FamilyTable* t = FindTable(family);
  if (!t) return {};
  std::string sql =
      "create table " + HistoryTableName(family, id) + "(occurdt " + DateTimeType(dialect);
  for (int c = 0; c < t->columns; ++c)
    sql += ",val" + std::to_string(c) + (IntColumn(*t, c) ? " int" : " smallint");
  return sql + ")";
}

std::vector<int32_t> HistoryRowValues(const HistorySample& sample, bool lost) {
  const FamilyTable* t = FindTable(sample.layout.family);
  if (!t) return {};
  std::vector<int32_t> values;
  if (lost) {
    values.assign(static_cast<size_t>(t->columns), -1);
    values[0] = kHistoryLostMark;
    return values;
  }
  values = HistoryValues(sample, false);
  values.resize(static_cast<size_t>(t->columns), -1);
  for (int c = 0; c < t->columns; ++c) {
    int32_t& v = values[static_cast<size_t>(c)];
    if (!IntColumn(*t, c) &&
        (v < std::numeric_limits<int16_t>::min() || v > std::numeric_limits<int16_t>::max()))
      v = -1;
  }
  return values;
}

bool HistoryRows::createTables(const HistoryDevice& d) {
  const HistoryLayout layout = HistoryLayoutOf(d.nodeKind, d.commType, d.mibType);
  if (layout.family.empty()) return true;
  bool ok = db_.exec(CreateHistoryTableSql(layout.family, d.id, db_.dialect()));
  if (layout.accumulator == HistoryAccumulator::kInverter)
    ok = db_.exec(CreateHistoryTableSql("invacc", d.id, db_.dialect()));
  else if (layout.accumulator == HistoryAccumulator::kSensor)
    ok = db_.exec(CreateHistoryTableSql("sensoracc", d.id, db_.dialect()));
  return ok;
}

namespace {

// The row's statement; empty when the sample has none (CommType 4).
std::string InsertSql(const HistorySample& s, bool lost, const WallTime& now) {
  if (!s.layout.recorded) return {};
  const std::vector<int32_t> values = HistoryRowValues(s, lost);
  if (values.empty()) return {};
  std::string sql =
      "insert into " + HistoryTableName(s.layout.family, s.id) + " VALUES(" + SqlDateTime(now);
  for (int32_t v : values) sql += "," + std::to_string(v);
  sql += ")";
  return sql;
}

}  // namespace

std::vector<bool> HistoryRows::insertPeriod(std::span<const HistoryPeriodRow> rows,
                                            const WallTime& now,
                                            const std::function<bool()>& wanted) {
  std::vector<bool> stored(rows.size(), false);
  if (db_.begin()) {
    bool failed = false;
    for (size_t i = 0; i < rows.size() && !failed; ++i) {
      const std::string sql = InsertSql(rows[i].sample, rows[i].lost, now);
      if (sql.empty()) continue;
      stored[i] = db_.exec(sql);
      failed = !stored[i];
    }
    if (!failed && wanted() && db_.commit()) return stored;
    db_.rollback();
    stored.assign(rows.size(), false);
  }
  for (size_t i = 0; i < rows.size() && wanted(); ++i) {
    stored[i] = insert(rows[i].sample, rows[i].lost, now);
  }
  return stored;
}

bool HistoryRows::insert(const HistorySample& s, bool lost, const WallTime& now) {
  const std::string sql = InsertSql(s, lost, now);
  if (sql.empty()) return false;
  if (db_.exec(sql)) return true;
  // The table may be missing: made, and the sample stored after all.
  createTables({s.id, s.nodeKind, s.commType, s.mibType});
  return db_.exec(sql);
}

bool HistoryRows::updateAccumulator(const HistorySample& s, bool inverter, const WallTime& day) {
  const std::string table = HistoryTableName(inverter ? "invacc" : "sensoracc", s.id);
  const int columns = inverter ? 10 : 4;
  const std::string where = " where occurdt=" + DayLiteral(day);
  OdbcResult r;
  if (!db_.query("select val0 from " + table + where, r)) {
    createTables({s.id, s.nodeKind, s.commType, s.mibType});
    return db_.exec(ZeroRow(table, columns, day));
  }
  if (r.text.empty()) return db_.exec(ZeroRow(table, columns, day));
  const bool snmp = s.nodeKind == kNodeSnmp;
  const uint64_t mask = s.reportedMask;
  auto bit = [mask](int b) { return ((mask >> b) & 1u) != 0; };
  std::string set;
  if (inverter) {
    const int n = snmp ? 4 : 10;
    if (snmp ? (bit(0) || bit(15) || bit(16) || bit(27))
             : (bit(15) || bit(16) || (s.slot(17) <= 0 && s.slot(19) <= 0)))
      return true;
    for (int c = 0; c < n; ++c)
      set +=
          (c ? ", val" : "val") + std::to_string(c) + "=" + std::to_string(s.slot(kInvAccSlots[c]));
  } else {
    if (!snmp && s.slot(6) <= 0) return true;
    set = "val0=" + std::to_string(s.slot(6));
  }
  return db_.exec("update " + table + " set " + set + where);
}

}  // namespace lark
