#include "records/report_database.h"

#include "common/sql_text.h"
#include "core/history_family.h"
#include "records/history_rows.h"

namespace lark {

namespace {
SqlDate Day(const ReportDate& d) { return {d.year, d.month, d.day}; }
}  // namespace

std::optional<std::string> DatabaseReports::ask(
    std::function<bool(DatabaseSession&, OdbcResult&)> select) {
  if (thread_.linkState() != kDbConnected) return std::nullopt;
  auto answer =
      thread_.call([select = std::move(select)](DatabaseSession& s) -> std::optional<std::string> {
        OdbcResult rows;
        if (!s.connected() || !select(s, rows)) return std::nullopt;
        return std::move(rows.text);
      });
  if (answer.wait_for(kAnswerWait) != std::future_status::ready) return std::nullopt;
  return answer.get();
}

std::optional<std::string> DatabaseReports::selectEvents(const ReportDevice& device,
                                                         const ReportPeriod& period) {
  const std::string clause = SqlDayRangeClause(Day(period.from), Day(period.to)) +
                             " and ups_id=" + std::to_string(device.id) + " order by occurdt";
  return ask(
      [clause](DatabaseSession& s, OdbcResult& out) { return s.tables.SelectEvents(clause, out); });
}

std::optional<std::string> DatabaseReports::selectHistoryDay(const ReportDevice& device,
                                                             const ReportDate& day) {
  const HistoryLayout layout = HistoryLayoutOf(device.nodeKind, device.commType, device.mibType);
  if (!layout.recorded) return std::nullopt;
  const std::string sql = "select * from " + HistoryTableName(layout.family, device.id) + " " +
                          SqlDayRangeClause(Day(day), Day(day)) + " order by occurdt";
  return ask([sql](DatabaseSession& s, OdbcResult& out) { return s.db.query(sql, out); });
}

}  // namespace lark
