// What a report reads per device: its events of the period (counted by
// level and paired into spans) and the statistics of its history values,
// from the files or, when the database is enabled, from the database. The
// enable setting alone chooses the source.
//
// Threads: runs on the report thread over copies only: the device list,
// the tables and every answer of a source belong to the report.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/action_tables.h"
#include "core/param_tables.h"
#include "core/report_period.h"
#include "records/report_lines.h"

namespace lark {

// A device as the report copied it when it started.
struct ReportDevice {
  int16_t id = 0;
  std::string title;
  uint8_t nodeKind = 0;
  int16_t commType = 0;
  uint8_t mibType = 0;
};

// What the report asks of the database, one select per call, run by the
// thread that owns the connection. Each answer is the caller's own text of
// whole rows, columns joined by tabs (NULL as an empty column, date-times
// as "YYYY-MM-DD HH:MM:SS" with or without a fraction), rows separated by
// '\n'; nullopt when the token was refused or the select failed (the
// device's section stays empty). The default refuses everything (no
// database layer in use).
class ReportDatabase {
 public:
  virtual ~ReportDatabase() = default;
  // The device's event rows (ups_id, occurdt, level, evt_index, evt_descr)
  // "where ups_id=<id> and occurdt between '<from> 00:00:00' and
  // '<to> 23:59:59' order by occurdt".
  virtual std::optional<std::string> selectEvents(const ReportDevice& /*device*/,
                                                  const ReportPeriod& /*period*/) {
    return std::nullopt;
  }
  // The device's history rows (occurdt, val0, val1, ...) from its family's
  // history table, "where occurdt between '<day> 00:00:00' and
  // '<day> 23:59:59' order by occurdt".
  virtual std::optional<std::string> selectHistoryDay(const ReportDevice& /*device*/,
                                                      const ReportDate& /*day*/) {
    return std::nullopt;
  }
};

// Where the lines come from.
class ReportSource {
 public:
  virtual ~ReportSource() = default;
  // The device's events in the period, in the source's (time) order.
  virtual std::vector<EventRecord> events(const ReportDevice& device,
                                          const ReportPeriod& period) = 0;
  // Each history row of the device in the period's months, in time order,
  // with `items` values.
  virtual void historyRows(const ReportDevice& device, const ReportPeriod& period, int items,
                           const std::function<void(const HistoryRow&)>& f) = 0;
};

// The files: one copy of Event.log (taken by the caller once per report)
// and the month files under <history dir>/<map>.
class FileReportSource final : public ReportSource {
 public:
  FileReportSource(const std::string& eventLogCopy, const ReportPeriod& period,
                   std::string historyDir, std::string mapName);
  std::vector<EventRecord> events(const ReportDevice& device, const ReportPeriod& period) override;
  void historyRows(const ReportDevice& device, const ReportPeriod& period, int items,
                   const std::function<void(const HistoryRow&)>& f) override;

 private:
  std::unordered_map<int, std::vector<EventRecord>> events_;  // in-period lines by node ID
  std::string historyDir_;
  std::string mapName_;
};

class DatabaseReportSource final : public ReportSource {
 public:
  explicit DatabaseReportSource(ReportDatabase& db) : db_(db) {}
  std::vector<EventRecord> events(const ReportDevice& device, const ReportPeriod& period) override;
  void historyRows(const ReportDevice& device, const ReportPeriod& period, int items,
                   const std::function<void(const HistoryRow&)>& f) override;

 private:
  ReportDatabase& db_;
};

// Longest line a reader takes; a longer one is skipped whole.
inline constexpr size_t kReportMaxLine = 64 * 1024;
// Calls `f` with each whole line of the file (see ForEachWholeLine); false
// when the file cannot be opened.
bool ForEachFileLine(const std::string& path, const std::function<void(std::string_view)>& f);

bool InReportPeriod(const ReportPeriod& p, int year, int month, int day);

// ---- events ----

// The action row that gives an event index its level when counted; nullopt
// when the index is not counted for this device.
struct ActionRowRef {
  ActionFamily family;
  int row;
};
std::optional<ActionRowRef> CountedActionRow(const ReportDevice& device, int index);

struct EventCounts {
  bool any = false;  // at least one occurrence line was seen
  int serious = 0, warning = 0, information = 0;
};
EventCounts CountNodeEvents(const std::vector<EventRecord>& events, const ReportDevice& device,
                            const ActionTables& tables);

// The table and number of events a device's event list shows.
struct EventList {
  ActionFamily family;
  int events;
};
EventList ListedEvents(const ReportDevice& device);

// An occurrence and the recovery that followed it, if any.
struct EventSpan {
  EventRecord start;
  std::optional<EventRecord> end;
};
// Each occurrence `index` with the first recovery `index + 1` after it; the
// occurrences between the two are not spans of their own. Once no recovery
// follows, every occurrence left is a span without an end.
std::vector<EventSpan> FindEventSpans(const std::vector<EventRecord>& events, int index);

// ---- history statistics ----

enum class StatsKind : uint8_t { kSnmp, kRegular, kMge, kPw };
StatsKind StatsKindOf(const ReportDevice& device);
// Inverters, sensors and meters keep other values than their reader's titles
// name: their analysis has no rows.
bool HasHistoryStats(const ReportDevice& device);
int StatsItemCount(StatsKind kind);
ParamFamily StatsParamFamily(StatsKind kind);

struct StatFigure {
  double minimum = 0, maximum = 0, average = 0;
  double minAboveZero = 0;  // the lowest value above 0; 0 when none was
  int64_t count = 0;        // values seen
  void add(double x);
};

struct HistoryStats {
  std::vector<StatFigure> items;
  StatFigure total;   // SNMP and regular readers: the three output phases' sum
  double energy = 0;  // SNMP, regular: Wh of the total; mge, pw: of the energy item
};

HistoryStats EmptyHistoryStats(StatsKind kind);
// Runs the device's reader over the period.
HistoryStats ReadHistoryStats(ReportSource& source, const ReportDevice& device,
                              const ReportPeriod& period);

// Adds samples in time order; the readers' arithmetic on its own.
class HistoryStatsBuilder {
 public:
  explicit HistoryStatsBuilder(StatsKind kind);
  void add(const HistoryRow& row);
  const HistoryStats& stats() const { return stats_; }

 private:
  StatsKind kind_;
  HistoryStats stats_;
  int64_t energyTenths_ = 0;         // total rule: stored units x seconds
  std::optional<int64_t> previous_;  // seconds of the previous sample of the chain
};

}  // namespace lark
