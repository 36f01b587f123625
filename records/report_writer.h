// Period reports: for each device of the tree (CommType 4 excepted) a
// tab-separated ".xls" text file with its events of the period and the
// statistics of its history values, and one summary file with a line of key
// figures per device, all in <install>/Report, CRLF lines.
//
// Threads: start() and stop() run on the loop thread. The report runs on a
// thread of its own over a ReportJob copied when it starts: it never touches
// the live tree or the current tables, and it does not hold up the history
// recorder (its readers skip a month file's unfinished last line).
#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/action_tables.h"
#include "core/device_tree.h"
#include "core/language_texts.h"
#include "core/language_texts_store.h"
#include "core/param_tables.h"
#include "core/report_period.h"
#include "records/history_recorder.h"
#include "records/report_readers.h"

namespace lark {

// Everything a report needs, copied on the loop thread when it starts.
struct ReportJob {
  ReportPeriod period;
  std::string reportDir;  // <install>/Report, made by the caller
  std::string rootTitle;
  std::vector<ReportDevice> devices;  // tree order
  std::shared_ptr<const ActionTables> actions;
  ParamTables params;
  LevelNames levelNames = EnglishLevelNames();
  bool databaseEnabled = false;
  std::string historyDir;
  std::string mapName;
  // File mode: the bytes of Event.log, read once under EventLogBusy.
  std::function<std::optional<std::string>()> readEventLog;
};

// The job of a report over the tree as it stands (loop thread; the tree is
// walked under its shared lock), the current language's tables and the
// history settings.
ReportJob MakeReportJob(const DeviceTree& tree, const LanguageTables& languages,
                        const HistorySettings& history, const ReportPeriod& period,
                        const std::string& installDir,
                        std::function<std::optional<std::string>()> readEventLog);

// The text of one device's report ("\n" line ends).
std::string DeviceReportText(const ReportJob& job, const ReportDevice& device, ReportSource& source,
                             std::string* summaryLine);
inline constexpr std::string_view kReportSummaryHeader =
    " \tKVA MAX\tKVA AVG\tKW MAX\tKW AVG\tPF AVG\tIA MAX\tIB MAX\tIC MAX\tVA MAX\tVB MAX\tVC "
    "MAX\tVDC MAX\tIDC MAX\tkWh\n";

// Writes the whole report (ThreadWriteReport's work); `stop` is looked at
// between devices. `db` answers in database mode.
void WritePeriodReport(const ReportJob& job, ReportDatabase& db, const std::atomic<bool>& stop);

// One report at a time on its own thread.
class ReportWriter {
 public:
  explicit ReportWriter(ReportDatabase& db) : db_(db) {}
  ~ReportWriter() { stop(); }
  ReportWriter(const ReportWriter&) = delete;
  ReportWriter& operator=(const ReportWriter&) = delete;

  // False while a report runs; else starts `job` on the report thread.
  bool start(ReportJob job);
  bool running() const { return busy_.load(); }
  // Ends a running report between two devices and joins its thread.
  void stop();
  // Joins a report that is running (tests).
  void wait();

 private:
  ReportDatabase& db_;
  std::atomic<bool> busy_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace lark
