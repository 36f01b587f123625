// The report's selects through the database thread: each is one job on the
// thread that owns the connection, and its answer (the rows' text) becomes
// the report's own. A link that is down, a failed select or an answer that
// does not come within kAnswerWait gives no rows.
//
// Threads: called on the report thread; the selects run on the database
// thread.
#pragma once
#include <chrono>
#include <functional>

#include "common/odbc.h"
#include "records/database_thread.h"
#include "records/report_readers.h"

namespace lark {

class DatabaseReports final : public ReportDatabase {
 public:
  static constexpr auto kAnswerWait = std::chrono::seconds(60);
  explicit DatabaseReports(DatabaseThread& thread) : thread_(thread) {}

  std::optional<std::string> selectEvents(const ReportDevice& device,
                                          const ReportPeriod& period) override;
  std::optional<std::string> selectHistoryDay(const ReportDevice& device,
                                              const ReportDate& day) override;

 private:
  std::optional<std::string> ask(std::function<bool(DatabaseSession&, OdbcResult&)> select);
  DatabaseThread& thread_;
};

}  // namespace lark
