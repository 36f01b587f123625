#include "viewer/data/history_database.h"

#include <algorithm>

#include "common/sql_text.h"
#include "platform/paths.h"
#include "records/history_rows.h"
#include "viewer/data/viewer_args.h"

namespace lark {

namespace {

// The driver's message on one caption line.
std::string CaptionText(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  constexpr size_t kMax = 160;
  if (text.size() > kMax) text = text.substr(0, kMax) + "...";
  return text;
}

// The connection is gone (class 08) or the server ended it (57P: shut down,
// crashed, not accepting).
bool ConnectionLost(const std::string& state) {
  return state.rfind("08", 0) == 0 || state.rfind("57P", 0) == 0;
}

}  // namespace

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
  m.samples.reset(count);
  const int last = std::min(lastDay, DaysInMonth(year, month));
  int failedDays = 0;
  bool full = false;
  PlotSample s;
  for (int day = std::max(firstDay, 1); day <= last && !full; ++day) {
    const std::string sql = "select * from " + m.path + " " +
                            SqlDayRangeClause({year, month, day}, {year, month, day}) +
                            " order by occurdt ASC";
    const bool ok = db_.queryRows(sql, [&](std::string_view row) {
      bool overflow = false;
      const LineFault fault = ParseHistoryDbRow(row, count, s, &overflow);
      full = !TakeParsedSample(m, fault, s, overflow);
      return !full;
    });
    if (ok || full) continue;
    if (ConnectionLost(db_.lastState())) {
      m.note = "the database connection is lost (" + CaptionText(db_.lastError()) + ")";
      break;
    }
    // A server that let one day time out would let every later day wait too
    // (HYT00 from the driver, 57014 when the server cancels the statement).
    if (db_.lastState().rfind("HYT", 0) == 0 || db_.lastState() == "57014") {
      m.note = "the database does not answer (" + CaptionText(db_.lastError()) + ")";
      break;
    }
    ++failedDays;
  }
  if (failedDays > 0 && m.note.empty())
    m.note =
        std::to_string(failedDays) + " days not read from " + m.path + " (" + db_.lastError() + ")";
  SetMedianSpacing(m);
  m.samples.shrink();
  return m;
}

}  // namespace lark
