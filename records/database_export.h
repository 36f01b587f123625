// The monthly backup: the event table, op_log and every device's history
// table of one month into tab-separated ".xls" text files (CRLF, rows in time
// order, folders made as needed). Rows are deleted only when their whole
// file was written and flushed; a failed day select, a fetch past the limit
// or a failed write keeps them and is named in the problems.
//
// Threads: ExportLogs runs on the database thread; the plan is made where
// the settings, the texts and the tree can be read.
#pragma once
#include <array>
#include <string>
#include <vector>

#include "common/odbc.h"

namespace lark {

struct ExportPlan {
  int year = 0, month = 0;                      // the month exported
  std::string logTable;                         // the event table
  std::string upsLogDir, opLogDir, historyDir;  // "" = that export is off
  bool upsLogDelete = false, opLogDelete = false, historyDelete = false;
  std::array<std::string, 3> levelNames;  // Serious, Warning, Information in the language
  struct Device {
    int32_t id = 0;
    std::string title;
    std::string family;               // history family word
    std::vector<std::string> titles;  // column heads, one per value column
  };
  std::vector<Device> devices;
};

// The month `monthsBack` + 1 months before (year, month).
void BackupMonth(int year, int month, int monthsBack, int& outYear, int& outMonth);

// A title as part of a file name: separators, control characters and a
// leading dot become "_".
std::string SafeTitle(std::string_view title);

// "<dir>/<prefix>_<title>(id<n>)_<y>_<m>.xls" of a history family; "" when
// the family has no export.
std::string HistoryExportPath(const std::string& dir, const std::string& family,
                              const std::string& title, int32_t id, int year, int month);

// Runs every export of the plan; false with `problems` filled when anything
// was left out (its rows stay in the database).
bool ExportLogs(OdbcConnection& db, const ExportPlan& plan, std::vector<std::string>& problems);

}  // namespace lark
