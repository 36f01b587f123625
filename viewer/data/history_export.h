// The tab-separated month export (".xls" text a spreadsheet opens): a head
// line of the family's titles, then one row per sample, CRLF lines.
#pragma once
#include <string>

#include "core/param_tables.h"
#include "viewer/data/history_month.h"

namespace lark {

// The export text of a read month: link-lost lines left out, -1 as a blank,
// tenths as "%d.%d" with the sign once, the meter count halves as integers.
std::string ExportMonthText(const MonthData& m, const ParamTables& titles, int year, int month);

// Writes the read month to `outPath`: "Cannot open the file %s" with the
// path that failed, or "" when written. The caller reads the month first, so
// a missing month file is told with its path and leaves no empty export.
// Nothing is written to a path without ".xls" or ".XLS" in it (an empty
// file is made, as before).
std::string ExportMonth(const MonthData& m, const ParamTables& titles, int year, int month,
                        const std::string& outPath);

}  // namespace lark
