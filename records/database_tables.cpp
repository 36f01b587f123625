#include "records/database_tables.h"

#include <cstdio>
#include <cstdlib>

#include "common/password.h"
#include "common/sql_text.h"
#include "core/device_node.h"
#include "core/device_tree.h"

namespace lark {

namespace {

constexpr size_t kAccountWidth = 32;
constexpr size_t kRemarkWidth = 64;
constexpr size_t kEventTextWidth = 256;

std::string Hex(uint32_t v) {
  char buf[16];
  snprintf(buf, sizeof buf, "%X", v);
  return buf;
}

}  // namespace

std::string SqlDateTime(const WallTime& t) {
  return SqlDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

uint32_t UpsTables::createFixedTables(const WallTime& now) {
  const std::string dt = DateTimeType(db_.dialect());
  uint32_t failed = 0;
  if (db_.dialect() == SqlDialect::kSqlServer) {
    db_.exec("create database ups");  // an existing database is no error
    if (!db_.exec("use ups")) failed |= kSchemaUse;
  }
  if (!db_.exec("create table usr(account varchar(32) NOT NULL PRIMARY KEY, real_name varchar(32) "
                "NULL, password varchar(32) NOT NULL, level int DEFAULT 0 NOT NULL, createdt " +
                dt + " NOT NULL, remark varchar(64) NULL)"))
    failed |= kSchemaUsers;
  // The supervisor's password is encoded with its terminator counted.
  static const char kSupervisorPassword[] = "kellomar";
  AccountRow admin{
      "admin", "root",
      EncodePassword(std::string_view(kSupervisorPassword, sizeof kSupervisorPassword)), 1,
      "The supervisor of UPS monitoring system"};
  InsertUser(admin, now);  // refused on an existing account, which stays as it is
  if (!db_.exec("create table " + log_ + "(ups_id int NOT NULL, occurdt " + dt +
                " NOT NULL, level int DEFAULT 0 NOT NULL, evt_index int DEFAULT 0 NOT NULL, "
                "evt_descr varchar(256) NOT NULL)"))
    failed |= kSchemaEvents;
  if (!db_.exec("create table op_log(account varchar(32) NOT NULL, occurdt " + dt +
                " NOT NULL, op_level int DEFAULT 0 NOT NULL, evt_descr varchar(256) NOT NULL)"))
    failed |= kSchemaOpLog;
  if (!db_.exec("create table tree_map(objid int NOT NULL PRIMARY KEY, grpid int, upsgroupsnmp "
                "int, commType int, ip char(32), com char(10), ups_id int, title char(36), "
                "support_lo char(9), support_hi char(9), mibType int, sensorType int, ratingPower "
                "int)"))
    failed |= kSchemaTreeMap;
  return failed;
}

bool UpsTables::InsertUser(const AccountRow& a, const WallTime& now) {
  return db_.exec("insert into usr VALUES(" + SqlLiteral(a.account, kAccountWidth) + ", " +
                  SqlLiteral(a.realName, kAccountWidth) + ", " +
                  SqlLiteral(a.password, kAccountWidth) + ", " + std::to_string(a.level) + ", " +
                  SqlDateTime(now) + ", " + SqlLiteral(a.remark, kRemarkWidth) + ")");
}

bool UpsTables::UpdateUser(const AccountRow& a) {
  return db_.exec("update usr set real_name=" + SqlLiteral(a.realName, kAccountWidth) +
                  ", password=" + SqlLiteral(a.password, kAccountWidth) + ", level=" +
                  std::to_string(a.level) + ", remark=" + SqlLiteral(a.remark, kRemarkWidth) +
                  " where account=" + SqlLiteral(a.account, kAccountWidth));
}

bool UpsTables::DeleteUser(std::string_view account) {
  return db_.exec("delete from usr where account=" + SqlLiteral(account, kAccountWidth));
}

bool UpsTables::UpdatePassword(std::string_view account, std::string_view password) {
  return db_.exec("update usr set password=" + SqlLiteral(password, kAccountWidth) +
                  " where account=" + SqlLiteral(account, kAccountWidth));
}

bool UpsTables::SelectUsers(std::string_view clause, OdbcResult& out) {
  // The stored password never leaves the service: its column goes out empty.
  return db_.query("select account, real_name, '' as password, level, createdt, remark from usr " +
                       std::string(clause),
                   out);
}

int32_t UpsTables::CheckLogin(std::string_view account, std::string_view password) {
  OdbcResult r;
  if (!db_.query("select level from usr where account=" + SqlLiteral(account, kAccountWidth) +
                     " and password=" + SqlLiteral(password, kAccountWidth),
                 r) ||
      r.text.size() < 2)
    return -1;
  char* end = nullptr;
  long level = std::strtol(r.text.c_str(), &end, 10);
  if (end == r.text.c_str() || level < kLowestLoginLevel || level > kHighestLevel) return -1;
  return static_cast<int32_t>(level);
}

bool UpsTables::HasAccounts() {
  OdbcResult r;
  return db_.query("select account from usr", r) && r.text.size() >= 2;
}

bool UpsTables::InsertEvent(int32_t number, uint32_t level, int32_t code, std::string_view text,
                            const WallTime& when) {
  return db_.exec("insert into " + log_ + " VALUES(" + std::to_string(number) + ", " +
                  SqlDateTime(when) + ", " + std::to_string(level) + ", " + std::to_string(code) +
                  ", " + SqlLiteral(text, kEventTextWidth) + ")");
}

bool UpsTables::SelectEvents(std::string_view clause, OdbcResult& out) {
  return db_.query("select * from " + log_ + " " + std::string(clause), out);
}

bool UpsTables::InsertOpLog(std::string_view account, uint32_t level, std::string_view text,
                            const WallTime& when) {
  return db_.exec("insert into op_log VALUES(" + SqlLiteral(account, kAccountWidth) + ", " +
                  SqlDateTime(when) + ", " + std::to_string(level) + ", " +
                  SqlLiteral(text, kEventTextWidth) + ")");
}

bool UpsTables::SelectOpLog(std::string_view clause, OdbcResult& out) {
  return db_.query("select * from op_log " + std::string(clause), out);
}

bool UpsTables::ClearTreeMap() { return db_.exec("delete from tree_map where objid>=0"); }

namespace {

void AddTreeMapRows(const DeviceNode& node, std::vector<TreeMapRow>& rows) {
  const DeviceNode* parent = node.parent();
  rows.push_back({node.id(), parent ? parent->id() : 0, node.nodeKind(), node.commType(), node.ip(),
                  node.com(), node.upsId(), node.title(), Tree_SupportedParamMask(node),
                  node.mibType(), node.sensorType(), static_cast<int32_t>(node.ratingPower())});
  if (node.isGroup()) {
    for (const auto& child : node.children()) AddTreeMapRows(*child, rows);
  }
}

}  // namespace

std::vector<TreeMapRow> TreeMapRows(const DeviceNode& node) {
  std::vector<TreeMapRow> rows;
  AddTreeMapRows(node, rows);
  return rows;
}

bool UpsTables::InsertTreeMap(const std::vector<TreeMapRow>& rows) {
  bool ok = true;
  for (const TreeMapRow& r : rows) {
    ok = db_.exec("insert into tree_map VALUES(" + std::to_string(r.objid) + "," +
                  std::to_string(r.grpid) + "," + std::to_string(r.kind) + "," +
                  std::to_string(r.commType) + "," + SqlLiteral(r.ip, 32) + "," +
                  SqlLiteral(r.com, 10) + "," + std::to_string(r.upsId) + "," +
                  SqlLiteral(r.title, 36) + ",'" + Hex(static_cast<uint32_t>(r.supportMask)) +
                  "','" + Hex(static_cast<uint32_t>(r.supportMask >> 32)) + "'," +
                  std::to_string(r.mibType) + "," + std::to_string(r.sensorType) + "," +
                  std::to_string(r.ratingPower) + ")") &&
         ok;
  }
  return ok;
}

}  // namespace lark
