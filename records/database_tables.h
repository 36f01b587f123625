// The fixed tables of the database "ups": the schema, user accounts with the
// login check, event rows, operator rows, and the copy of the device tree.
// Every text goes in through SqlLiteral, cut to its column's width; every
// date-time is the row's own time.
//
// Threads: used only by the database thread, which owns the connection.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/odbc.h"
#include "platform/clock.h"

namespace lark {

class DeviceNode;

// Failed-step bits of CreateDatabase.
enum SchemaStep : uint32_t {
  kSchemaUse = 2,
  kSchemaUsers = 4,
  kSchemaEvents = 8,
  kSchemaOpLog = 16,
  kSchemaTreeMap = 32,
  kSchemaHistory = 64,
};

// User levels: 1 supervisor, 2 operator, 3 viewer. 0 may log in (it is what
// an account without a level has) but no console may give it.
inline constexpr int32_t kLowestLoginLevel = 0;
inline constexpr int32_t kHighestLevel = 3;

// One tree_map row, copied from a node on the loop thread.
struct TreeMapRow {
  int32_t objid = 0, grpid = 0, kind = 0, commType = 0;
  std::string ip, com;
  int32_t upsId = 0;
  std::string title;
  uint64_t supportMask = 0;
  int32_t mibType = 0, sensorType = 0, ratingPower = 0;
};
// The node and, for a group, its subtree depth first. The caller holds the
// tree lock.
std::vector<TreeMapRow> TreeMapRows(const DeviceNode& node);

struct AccountRow {
  std::string account;   // at most 32 characters
  std::string realName;  // 32
  std::string password;  // the stored encoded form, 32
  int32_t level = 0;
  std::string remark;  // 64
};

class UpsTables {
 public:
  // `logTable` has passed IsSqlTableName.
  UpsTables(OdbcConnection& db, std::string logTable) : db_(db), log_(std::move(logTable)) {}

  // The schema steps in order; each failed step sets its bit (0 = all made).
  // The supervisor account follows the user table whatever became of it.
  // `historyTables` runs the history tables' creation; false sets its bit.
  template <class HistoryTables>
  uint32_t CreateDatabase(const WallTime& now, HistoryTables historyTables) {
    uint32_t failed = createFixedTables(now);
    if (!historyTables()) failed |= kSchemaHistory;
    return failed;
  }

  bool InsertUser(const AccountRow& a, const WallTime& now);
  bool UpdateUser(const AccountRow& a);
  bool DeleteUser(std::string_view account);
  bool UpdatePassword(std::string_view account, std::string_view password);
  bool SelectUsers(std::string_view clause, OdbcResult& out);
  // The account's level when it exists with this password and its level is
  // a login level (0..3); -1 otherwise.
  int32_t CheckLogin(std::string_view account, std::string_view password);
  // Whether the account table exists and holds an account.
  bool HasAccounts();

  bool InsertEvent(int32_t number, uint32_t level, int32_t code, std::string_view text,
                   const WallTime& when);
  bool SelectEvents(std::string_view clause, OdbcResult& out);
  bool InsertOpLog(std::string_view account, uint32_t level, std::string_view text,
                   const WallTime& when);
  bool SelectOpLog(std::string_view clause, OdbcResult& out);

  bool ClearTreeMap();
  // Every row is tried; true when all were stored.
  bool InsertTreeMap(const std::vector<TreeMapRow>& rows);

  const std::string& logTable() const { return log_; }
  void setLogTable(std::string name) { log_ = std::move(name); }

 private:
  uint32_t createFixedTables(const WallTime& now);

  OdbcConnection& db_;
  std::string log_;
};

std::string SqlDateTime(const WallTime& t);

}  // namespace lark
