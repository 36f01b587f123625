#include "records/database_export.h"

#include "common/sql_text.h"
#include "platform/paths.h"
#include "records/history_rows.h"

namespace lark {

namespace {

struct FamilyFile {
  std::string_view family, prefix;
};
constexpr FamilyFile kFamilyFiles[] = {
    {"inverter", "INV_"}, {"sensor", "Sensor_"},   {"snmp", "SNMP_"},
    {"pw", "PW_"},        {"regular", "Regular_"}, {"metergrp", "MeterGrp_"},
    {"meter", "Meter_"},  {"mge", "MGE_"},         {"gprs", "GPRS_"},
};

std::string Folder(const std::string& dir) {
  std::string f = ToSlash(dir);
  if (!f.empty() && f.back() != '/') f += '/';
  return f;
}

std::string Crlf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// The rows of one month from `select` day by day, in time order; false when
// a day could not be read whole.
bool MonthRows(OdbcConnection& db, const std::string& select, int year, int month,
               std::string& text, std::vector<std::string>& problems) {
  bool whole = true;
  for (int day = 1; day <= DaysInMonth(year, month); ++day) {
    OdbcResult r;
    const std::string clause = SqlDayRangeClause({year, month, day}, {year, month, day});
    if (!db.query(select + " " + clause + " order by occurdt", r)) {
      problems.push_back(select + ", day " + std::to_string(day) + ": " + db.lastError());
      whole = false;
      continue;
    }
    if (r.overflow) {
      problems.push_back(select + ", day " + std::to_string(day) + ": more rows than one fetch");
      whole = false;
    }
    text += Crlf(r.text);
  }
  return whole;
}

// Writes the file (folders made) and, when everything went in and
// `deleteAfter` is set, deletes the month's rows of `table`.
void Finish(OdbcConnection& db, const std::string& path, const std::string& content, bool whole,
            bool deleteAfter, const std::string& table, int year, int month,
            std::vector<std::string>& problems) {
  const size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) MakeDirs(path.substr(0, slash));
  if (!WriteFileAtomic(path, content)) {
    problems.push_back("cannot write " + path);
    return;
  }
  if (!whole || !deleteAfter) return;
  const std::string clause =
      SqlDayRangeClause({year, month, 1}, {year, month, DaysInMonth(year, month)});
  if (!db.exec("delete from " + table + " " + clause))
    problems.push_back("delete from " + table + ": " + db.lastError());
}

}  // namespace

void BackupMonth(int year, int month, int monthsBack, int& outYear, int& outMonth) {
  int index = year * 12 + (month - 1) - (monthsBack + 1);
  outYear = index / 12;
  outMonth = index % 12 + 1;
}

std::string SafeTitle(std::string_view title) {
  std::string out(title);
  for (size_t i = 0; i < out.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(out[i]);
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\' || (i == 0 && c == '.')) out[i] = '_';
  }
  return out;
}

std::string HistoryExportPath(const std::string& dir, const std::string& family,
                              const std::string& title, int32_t id, int year, int month) {
  for (const FamilyFile& f : kFamilyFiles) {
    if (f.family == family) {
      return Folder(dir) + std::string(f.prefix) + SafeTitle(title) + "(id" + std::to_string(id) +
             ")_" + std::to_string(year) + "_" + std::to_string(month) + ".xls";
    }
  }
  return {};
}

bool ExportLogs(OdbcConnection& db, const ExportPlan& plan, std::vector<std::string>& problems) {
  const size_t before = problems.size();
  const int y = plan.year, m = plan.month;
  const std::string ym = std::to_string(y) + "_" + std::to_string(m) + ".xls";
  if (!plan.upsLogDir.empty()) {
    std::string text = "Level:\t0=" + plan.levelNames[0] + ", 1=" + plan.levelNames[1] +
                       ", 2=" + plan.levelNames[2] +
                       "\r\nID\tDate Time\tLevel\tEvent Index\tEvent Description\r\n";
    const bool whole = MonthRows(db, "select * from " + plan.logTable, y, m, text, problems);
    Finish(db, Folder(plan.upsLogDir) + "UPSLog_" + ym, text, whole, plan.upsLogDelete,
           plan.logTable, y, m, problems);
  }
  if (!plan.opLogDir.empty()) {
    std::string text =
        "Level:\t0=information, 1=Modification\r\nAccount\tDate Time\tLevel\tEvent Description\r\n";
    const bool whole = MonthRows(db, "select * from op_log", y, m, text, problems);
    Finish(db, Folder(plan.opLogDir) + "OPLog_" + ym, text, whole, plan.opLogDelete, "op_log", y, m,
           problems);
  }
  if (!plan.historyDir.empty()) {
    for (const ExportPlan::Device& d : plan.devices) {
      const std::string path = HistoryExportPath(plan.historyDir, d.family, d.title, d.id, y, m);
      if (path.empty()) continue;
      const std::string table = HistoryTableName(d.family, d.id);
      std::string text = "Unit:\t0.1\r\nTitle:\t" + d.title + "\r\nDate Time";
      for (const std::string& t : d.titles) text += "\t" + t;
      text += "\r\n";
      const bool whole = MonthRows(db, "select * from " + table, y, m, text, problems);
      Finish(db, path, text, whole, plan.historyDelete, table, y, m, problems);
    }
  }
  return problems.size() == before;
}

}  // namespace lark
