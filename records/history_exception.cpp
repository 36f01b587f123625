#include "records/history_exception.h"

#include <cstdio>

namespace lark {

namespace {

// The inverter and sensor row steps share their text.
constexpr const char* kLabels[kHistoryExceptionPlaces] = {
    "ODBC_InsertHistValueTable()",
    "UpdateAccInverterData()->ODBC_UpdateHistAccValueTable()",
    "UpdateAccInverterData()->ODBC_UpdateHistAccValueTable()",
    "ThreadSaveHistoryData()",
    "ThreadMain()",
};

}  // namespace

const char* HistoryExceptionLabel(int row) {
  return row >= 0 && row < kHistoryExceptionPlaces ? kLabels[row] : "";
}

std::string HistoryExceptionText(uint32_t code, int row) {
  char text[160];
  snprintf(text, sizeof text, "Exception: %x, %s", code, HistoryExceptionLabel(row));
  return text;
}

int ReportHistoryException(EventLogSink& log, HistoryDatabase& db, uint32_t code, int row) {
  db.dropLink();
  log.WriteEventLog(0, kLevelInformation, kSystemEventCode, HistoryExceptionText(code, row));
  return 1;
}

}  // namespace lark
