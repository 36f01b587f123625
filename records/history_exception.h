// The exception reporter of the guarded steps: the history walk, the
// history database steps and the service's one-second work.
#pragma once
#include <cstdint>
#include <string>

#include "core/event_log_sink.h"
#include "records/history_database.h"

namespace lark {

// Place label rows.
enum HistoryExceptionPlace : int {
  kPlaceHistoryInsert = 0,
  kPlaceInverterAccRow = 1,
  kPlaceSensorAccRow = 2,
  kPlaceHistoryWalk = 3,
  kPlaceSecondTimer = 4,
};
inline constexpr int kHistoryExceptionPlaces = 5;
const char* HistoryExceptionLabel(int row);

// The code a C++ exception shows in the log line (the code Windows gives one).
inline constexpr uint32_t kCppExceptionCode = 0xE06D7363;

// "Exception: %x, %s" with the code and the label of `row`.
std::string HistoryExceptionText(uint32_t code, int row);

// Drops the database link (the next tick connects afresh), then logs the
// line (number 0, level 2, code 1000). Returns 1: the guarded step is
// abandoned and its caller goes on. The history thread then rests 5 s on its
// own; the loop never sleeps here.
int ReportHistoryException(EventLogSink& log, HistoryDatabase& db, uint32_t code, int row);

}  // namespace lark
