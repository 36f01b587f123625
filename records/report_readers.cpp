#include "records/report_readers.h"

#include <cstdio>
#include <memory>

#include "core/device_node.h"
#include "core/history_family.h"
#include "platform/paths.h"

namespace lark {

namespace {

constexpr int kMaxEventIndex = 1000;  // indexes from here on are system messages
constexpr int32_t kLostMark = 10000;  // the first value of a lost-link sample
constexpr int64_t kChainGap = 3600;   // a longer gap starts a new energy chain

int64_t Seconds(const HistoryRow& r) {
  return DaysFromCivil(r.year, r.month, r.day) * 86400 + r.hour * 3600 + r.minute * 60 + r.second;
}

// A database answer is complete: its last row counts without a line end.
void EndLastRow(std::string& rows) {
  if (!rows.empty() && rows.back() != '\n') rows += '\n';
}

}  // namespace

bool InReportPeriod(const ReportPeriod& p, int year, int month, int day) {
  const ReportDate d{year, month, day};
  return !(d < p.from) && !(p.to < d);
}

bool ForEachFileLine(const std::string& path, const std::function<void(std::string_view)>& f) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(OpenRegularStream(path, "rb"), &std::fclose);
  if (!file) return false;
  std::string pending;    // the line begun in an earlier chunk
  bool skipping = false;  // inside a line longer than kReportMaxLine
  char chunk[1 << 16];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
    std::string_view data(chunk, n);
    size_t pos = 0;
    for (size_t nl = data.find('\n'); nl != std::string_view::npos;
         pos = nl + 1, nl = data.find('\n', pos)) {
      if (!skipping) {
        pending.append(data.substr(pos, nl - pos));
        if (pending.size() <= kReportMaxLine) {
          std::string_view line = pending;
          if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
          f(line);
        }
      }
      pending.clear();
      skipping = false;
    }
    if (!skipping) {
      pending.append(data.substr(pos));
      if (pending.size() > kReportMaxLine) {
        pending.clear();
        skipping = true;
      }
    }
  }
  return true;  // an unfinished last line is left out
}

// ---- sources ----

FileReportSource::FileReportSource(const std::string& eventLogCopy, const ReportPeriod& period,
                                   std::string historyDir, std::string mapName)
    : historyDir_(std::move(historyDir)), mapName_(std::move(mapName)) {
  ForEachWholeLine(eventLogCopy, [&](std::string_view line) {
    auto e = ParseEventLogLine(line);
    if (e && InReportPeriod(period, e->year, e->month, e->day)) events_[e->number].push_back(*e);
  });
}

std::vector<EventRecord> FileReportSource::events(const ReportDevice& device,
                                                  const ReportPeriod& /*period*/) {
  auto it = events_.find(device.id);
  return it == events_.end() ? std::vector<EventRecord>{} : it->second;
}

void FileReportSource::historyRows(const ReportDevice& device, const ReportPeriod& period,
                                   int items, const std::function<void(const HistoryRow&)>& f) {
  const HistoryLayout layout = HistoryLayoutOf(device.nodeKind, device.commType, device.mibType);
  for (int y = period.from.year, m = period.from.month;
       y < period.to.year || (y == period.to.year && m <= period.to.month);) {
    bool first = true;  // the node kind line
    ForEachFileLine(HistoryMonthFilePath(historyDir_, mapName_, device.id, y, m, layout),
                    [&](std::string_view line) {
                      if (first) {
                        first = false;
                        return;
                      }
                      if (auto row = ParseHistoryFileLine(line, y, m, items)) f(*row);
                    });
    if (++m > 12) {
      m = 1;
      ++y;
    }
  }
}

std::vector<EventRecord> DatabaseReportSource::events(const ReportDevice& device,
                                                      const ReportPeriod& period) {
  std::vector<EventRecord> out;
  auto rows = db_.selectEvents(device, period);
  if (!rows) return out;
  EndLastRow(*rows);
  ForEachWholeLine(*rows, [&](std::string_view line) {
    auto e = ParseEventRow(line);
    if (e && e->number == device.id && InReportPeriod(period, e->year, e->month, e->day))
      out.push_back(*e);
  });
  return out;
}

void DatabaseReportSource::historyRows(const ReportDevice& device, const ReportPeriod& period,
                                       int items, const std::function<void(const HistoryRow&)>& f) {
  ReportDate day = period.from;
  while (!(period.to < day)) {
    if (auto rows = db_.selectHistoryDay(device, day)) {
      EndLastRow(*rows);
      ForEachWholeLine(*rows, [&](std::string_view line) {
        auto row = ParseHistoryDbRow(line, items);
        if (row && row->year == day.year && row->month == day.month && row->day == day.day) f(*row);
      });
    }
    if (++day.day > DaysInMonth(day.year, day.month)) {
      day.day = 1;
      if (++day.month > 12) {
        day.month = 1;
        ++day.year;
      }
    }
  }
}

// ---- events ----

std::optional<ActionRowRef> CountedActionRow(const ReportDevice& d, int index) {
  auto in = [&](ActionFamily f, int row) -> std::optional<ActionRowRef> {
    if (row < 0 || row >= ActionFamilyOf(f).rows) return std::nullopt;
    return ActionRowRef{f, row};
  };
  switch (d.nodeKind) {
    case kNodeSnmp:
      return in(ActionFamily::Snmpv4, index);
    case kNodeGprs:
      return in(ActionFamily::Gprs, index);
    case kNodeSerial:
      break;
    default:
      return std::nullopt;
  }
  switch (d.commType) {
    case kCommAscii:
    case kCommModbusUps:
      return index < 52 ? in(ActionFamily::Regular, index)
                        : in(ActionFamily::RegularPlus, index - 52);
    case kCommThreePhase:
      return index < 48 ? in(ActionFamily::ThreePhase, index)
                        : in(ActionFamily::ThreePhasePlus, index - 48);
    case kCommModbusTrv5200:
      return in(ActionFamily::Mge, index);
    case kCommModbus9315:
      return in(ActionFamily::Pw, index);
    case kCommInverter:
      return in(ActionFamily::Inverter, index);
    case kCommSensor:
      return in(ActionFamily::Sensor, index);
    case kCommMeter:
      return in(ActionFamily::Meter, index);
    default:
      return std::nullopt;
  }
}

EventCounts CountNodeEvents(const std::vector<EventRecord>& events, const ReportDevice& device,
                            const ActionTables& tables) {
  EventCounts c;
  for (const EventRecord& e : events) {
    if (e.index < 0 || e.index >= kMaxEventIndex || e.index % 2 != 0) continue;
    c.any = true;
    auto ref = CountedActionRow(device, e.index);
    if (!ref) continue;
    const ActionTable& t = tables.table(ref->family);
    if (static_cast<size_t>(ref->row) >= t.size()) continue;
    switch (t[static_cast<size_t>(ref->row)].level()) {
      case 0:
        ++c.serious;
        break;
      case 1:
        ++c.warning;
        break;
      case 2:
        ++c.information;
        break;
      default:
        break;
    }
  }
  return c;
}

EventList ListedEvents(const ReportDevice& d) {
  if (d.nodeKind == kNodeSnmp) return {ActionFamily::Snmpv4, 36};
  if (d.nodeKind == kNodeGprs) return {ActionFamily::Gprs, 26};
  switch (d.commType) {
    case kCommThreePhase:
      return {ActionFamily::ThreePhase, 24};
    case kCommModbusTrv5200:
      return {ActionFamily::Mge, 37};
    case kCommModbus9315:
      return {ActionFamily::Pw, 41};
    case kCommInverter:
      return {ActionFamily::Inverter, 17};
    // Sensors and meters log their own family's events.
    case kCommSensor:
      return {ActionFamily::Sensor, 6};
    case kCommMeter:
      return {ActionFamily::Meter, 1};
    default:
      return {ActionFamily::Regular, 26};
  }
}

std::vector<EventSpan> FindEventSpans(const std::vector<EventRecord>& events, int index) {
  std::vector<EventSpan> spans;
  size_t pos = 0;
  while (true) {
    size_t j = pos;
    while (j < events.size() && events[j].index != index) ++j;
    if (j == events.size()) break;
    size_t k = j + 1;
    while (k < events.size() && events[k].index != index + 1) ++k;
    if (k < events.size()) {
      spans.push_back({events[j], events[k]});
      pos = k + 1;
    } else {
      // No recovery follows: each later occurrence stands on its own too.
      spans.push_back({events[j], std::nullopt});
      pos = j + 1;
    }
  }
  return spans;
}

// ---- history statistics ----

StatsKind StatsKindOf(const ReportDevice& d) {
  if (d.nodeKind == kNodeSnmp) return StatsKind::kSnmp;
  if (d.nodeKind == kNodeSerial && d.commType == kCommModbusTrv5200) return StatsKind::kMge;
  if (d.nodeKind == kNodeSerial && d.commType == kCommModbus9315) return StatsKind::kPw;
  return StatsKind::kRegular;
}

bool HasHistoryStats(const ReportDevice& d) {
  if (d.nodeKind == kNodeSnmp) return d.mibType != kMibInverter && d.mibType != kMibSensor;
  if (d.nodeKind == kNodeGprs) return true;
  return d.nodeKind == kNodeSerial && d.commType >= kCommAscii && d.commType <= kCommModbus9315 &&
         d.commType != kCommPlc;
}

int StatsItemCount(StatsKind kind) {
  switch (kind) {
    case StatsKind::kSnmp:
      return 48;
    case StatsKind::kRegular:
      return 54;
    case StatsKind::kMge:
      return 56;
    case StatsKind::kPw:
      return 34;
  }
  return 0;
}

ParamFamily StatsParamFamily(StatsKind kind) {
  switch (kind) {
    case StatsKind::kSnmp:
      return ParamFamily::Snmpv4;
    case StatsKind::kRegular:
      return ParamFamily::Regular;
    case StatsKind::kMge:
      return ParamFamily::Mge;
    case StatsKind::kPw:
      return ParamFamily::Pw;
  }
  return ParamFamily::Regular;
}

void StatFigure::add(double x) {
  ++count;
  if (count == 1) {
    minimum = maximum = average = x;
  } else {
    if (x < minimum) minimum = x;
    if (x > maximum) maximum = x;
    average += (x - average) / static_cast<double>(count);
  }
  if (x > 0 && (minAboveZero == 0 || x < minAboveZero)) minAboveZero = x;
}

HistoryStats EmptyHistoryStats(StatsKind kind) {
  HistoryStats s;
  s.items.resize(static_cast<size_t>(StatsItemCount(kind)));
  return s;
}

HistoryStatsBuilder::HistoryStatsBuilder(StatsKind kind)
    : kind_(kind), stats_(EmptyHistoryStats(kind)) {}

void HistoryStatsBuilder::add(const HistoryRow& row) {
  if (!row.values.empty() && row.values[0] >= kLostMark) {
    previous_.reset();  // a lost link: the next sample starts a new chain
    return;
  }
  for (size_t i = 0; i < stats_.items.size() && i < row.values.size(); ++i) {
    if (row.values[i] >= 0) stats_.items[i].add(row.values[i] / 10.0);
  }
  auto value = [&](int i) {
    return static_cast<size_t>(i) < row.values.size() ? row.values[static_cast<size_t>(i)] : -1;
  };
  // What the energy integrates, in stored units (tenths): the total of the
  // three output phases, or the energy item.
  std::optional<int64_t> power;
  if (kind_ == StatsKind::kSnmp || kind_ == StatsKind::kRegular) {
    const int first = kind_ == StatsKind::kSnmp ? 12 : 18;
    int64_t sum = 0;
    bool any = false;
    for (int i = first; i <= first + 8; i += 4) {
      if (value(i) >= 0) {
        sum += value(i);
        any = true;
      }
    }
    if (any) {
      stats_.total.add(static_cast<double>(sum) / 10.0);
      power = sum;
    }
  } else {
    const int v = value(kind_ == StatsKind::kMge ? 43 : 19);
    if (v >= 0) power = v;
  }
  const int64_t now = Seconds(row);
  if (previous_ && power) {
    const int64_t elapsed = now - *previous_;
    if (elapsed >= 0 && elapsed < kChainGap) {
      energyTenths_ += *power * elapsed;
      stats_.energy = static_cast<double>(energyTenths_) / 36000.0;
    }
  }
  previous_ = now;
}

HistoryStats ReadHistoryStats(ReportSource& source, const ReportDevice& device,
                              const ReportPeriod& period) {
  const StatsKind kind = StatsKindOf(device);
  HistoryStatsBuilder b(kind);
  if (!HasHistoryStats(device)) return b.stats();
  source.historyRows(device, period, StatsItemCount(kind), [&](const HistoryRow& row) {
    if (InReportPeriod(period, row.year, row.month, row.day)) b.add(row);
  });
  return b.stats();
}

}  // namespace lark
