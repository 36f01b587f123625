#include "viewer/data/history_database.h"

#include <algorithm>

#include "common/sql_text.h"
#include "platform/paths.h"
#include "records/history_rows.h"
#include "viewer/data/viewer_args.h"

namespace lark {

bool HistoryDbSource::Connect(const ViewerArgs& args, std::string* error) {
  if (!db_.connect(args.dataSource, args.account, args.password,
                   JoinPath(args.programFolder, "ups.db"), error))
    return false;
  db_.setQueryTimeout(kTimeoutSeconds);
  return true;
}

MonthData HistoryDbSource::ReadDays(const ViewerArgs& args, int year, int month, int firstDay,
                                    int lastDay) {
  MonthData m;
  m.deviceClass = args.deviceClass;
  m.layout = ViewerLayoutOf(args.deviceClass, args.commType, args.mibType);
  m.path = HistoryTableName(m.layout.family, args.nodeId);
  if (m.layout.valueCount == 0) {
    m.error = "no history for this kind of device";
    return m;
  }
  if (!db_.connected()) {
    m.error = "not logged in to the database";
    return m;
  }
  m.opened = true;
  const int count = std::min(m.layout.valueCount, kMaxHistoryValues);
  const int last = std::min(lastDay, DaysInMonth(year, month));
  int failedDays = 0;
  PlotSample s;
  for (int day = std::max(firstDay, 1); day <= last; ++day) {
    const std::string sql = "select * from " + m.path + " " +
                            SqlDayRangeClause({year, month, day}, {year, month, day}) +
                            " order by occurdt ASC";
    const bool ok = db_.queryRows(sql, [&](std::string_view row) {
      bool overflow = false;
      switch (ParseHistoryDbRow(row, count, s, &overflow)) {
        case LineFault::kNone:
          if (overflow) ++m.stats.outOfRange;
          m.samples.push_back(s);
          break;
        case LineFault::kBadTime:
          ++m.stats.badTime;
          break;
        case LineFault::kNotNumber:
          ++m.stats.notNumber;
          break;
      }
      return true;
    });
    if (ok) continue;
    if (db_.lastState().rfind("08", 0) == 0) {
      m.note = "the database connection is lost (" + db_.lastError() + ")";
      break;
    }
    ++failedDays;
  }
  if (failedDays > 0 && m.note.empty())
    m.note =
        std::to_string(failedDays) + " days not read from " + m.path + " (" + db_.lastError() + ")";
  SetMedianSpacing(m);
  return m;
}

}  // namespace lark
