// The viewer's database source: the device's history table read day by day
// ("order by occurdt ASC"), each row parsed as it is fetched and packed, up
// to kMaxMonthSamples a view (the caption says when it stopped there; the
// fetch ends at once). Login and each statement are limited to 5 seconds; a lost
// connection (SQLSTATE 08..., or 57P... when the server shut down) ends the
// read at once and is told.
#pragma once
#include <string>

#include "common/odbc.h"
#include "viewer/data/history_month.h"

namespace lark {

struct ViewerArgs;

class HistoryDbSource {
 public:
  static constexpr unsigned kTimeoutSeconds = 5;

  // An empty data source is the service's own SQLite file, ups.db in the
  // program folder.
  bool Connect(const ViewerArgs& args, std::string* error);
  // Days `firstDay` to `lastDay` of the month, cut to its real days.
  MonthData ReadDays(const ViewerArgs& args, int year, int month, int firstDay, int lastDay);
  OdbcConnection& connection() { return db_; }

 private:
  OdbcConnection db_;
};

}  // namespace lark
