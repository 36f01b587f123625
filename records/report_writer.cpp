#include "records/report_writer.h"

#include <cstdarg>
#include <cstdio>
#include <initializer_list>
#include <span>

#include "core/device_node.h"
#include "platform/paths.h"

namespace lark {

namespace {

struct StatGroup {
  std::string_view title;
  std::initializer_list<int> items;
};

constexpr StatGroup kSnmpGroups[] = {
    {"\t\tInput\n", {1, 4, 7, 2, 5, 8, 0, 3, 6}},
    {"\t\tOutput\n", {10, 14, 18, 11, 15, 19, 9, 12, 16, 20, 13, 17, 21}},
    {"\t\tBypass\n", {23, 26, 29, 24, 27, 30, 22, 25, 28, 31}},
    {"\t\tBattery\n", {32, 33, 34, 35}},
    {"\t\tEnvironment\n", {36, 37}},
};
constexpr StatGroup kMgeGroups[] = {
    {"\t\tMains1\n", {14, 15, 16, 0, 1, 2, 50}},
    {"\t\tMains2\n", {23, 24, 25, 26, 27, 28, 6, 7, 8, 52}},
    {"\t\tInverter\n", {17, 18, 19, 20, 21, 22, 3, 4, 5, 51, 13}},
    {"\t\tOutput\n", {29, 30, 31, 32, 33, 34, 9, 10, 11, 53, 37, 38, 39, 43, 45}},
    {"\t\tBattery\n", {35, 12, 54, 55}},
};
constexpr StatGroup kPwGroups[] = {
    {"\t\tBypass\n", {22, 23, 24, 25}},
    {"\t\tInput\n", {0, 1, 2, 3, 4, 5, 6, 7, 8}},
    {"\t\tInverter\n", {26, 27, 28, 29}},
    {"\t\tOutput\n", {12, 13, 14, 9, 10, 11, 15, 16, 17, 18, 19, 20, 21}},
    {"\t\tBattery\n", {30, 31, 32, 33}},
};
constexpr StatGroup kRegularGroups[] = {
    {"\t\tInput\n", {1, 5, 9, 12, 13, 14, 2, 6, 10, 0, 4, 8, 3, 7, 11}},
    {"\t\tOutput\n", {16, 20, 24, 28, 29, 30, 17, 21, 25, 15, 18, 22, 26, 19, 23, 27}},
    {"\t\tBypass\n", {32, 35, 38, 41, 42, 43, 33, 36, 39, 31, 34, 37, 40, 44}},
    {"\t\tBattery\n", {45, 46, 47, 48, 49, 50, 51, 52}},
};

std::span<const StatGroup> GroupsOf(StatsKind kind) {
  switch (kind) {
    case StatsKind::kSnmp:
      return kSnmpGroups;
    case StatsKind::kMge:
      return kMgeGroups;
    case StatsKind::kPw:
      return kPwGroups;
    case StatsKind::kRegular:
      break;
  }
  return kRegularGroups;
}

__attribute__((format(printf, 2, 3))) void Append(std::string& out, const char* fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  const int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  if (n < 0) return;
  if (static_cast<size_t>(n) < sizeof buf) {
    out.append(buf, static_cast<size_t>(n));
    return;
  }
  std::string big(static_cast<size_t>(n) + 1, '\0');
  va_start(ap, fmt);
  std::vsnprintf(big.data(), big.size(), fmt, ap);
  va_end(ap);
  big.pop_back();
  out += big;
}

void AppendTime(std::string& out, const EventRecord& r, char end) {
  Append(out, "%04d/%02d/%02d %02d:%02d:%02d%c", r.year, r.month, r.day, r.hour, r.minute, r.second,
         end);
}

// WriteStatRow: nothing for an item that never had a value.
void AppendStatRow(std::string& out, const ParamTable& titles, const HistoryStats& s, int item) {
  if (item < 0 || static_cast<size_t>(item) >= s.items.size()) return;
  const StatFigure& f = s.items[static_cast<size_t>(item)];
  if (f.count == 0) return;
  const std::string title(titles.title(static_cast<size_t>(item)));
  Append(out, "\t\t%s\t%5.1f\t%5.1f\t%5.1f\t%5.1f\n", title.c_str(), f.average, f.maximum,
         f.minAboveZero, f.minimum);
}

std::string SummaryLine(const std::string& title, StatsKind kind, const HistoryStats& s) {
  auto max = [&](int i) { return s.items[static_cast<size_t>(i)].maximum; };
  auto avg = [&](int i) { return s.items[static_cast<size_t>(i)].average; };
  std::string out;
  switch (kind) {
    case StatsKind::kSnmp:
      Append(out, "%s\t \t \t%.2f\t%.2f\t \t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\n",
             title.c_str(), s.total.maximum / 1000, s.total.average / 1000, max(11), max(15),
             max(19), max(10), max(14), max(18), max(32), max(33), s.energy / 1000);
      break;
    case StatsKind::kMge:
      Append(out,
             "%s\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%"
             ".2f\n",
             title.c_str(), max(44), avg(44), max(43), avg(43), avg(49), max(9), max(10), max(11),
             max(29), max(30), max(31), max(35), max(12), s.energy);
      break;
    case StatsKind::kPw:
      Append(out,
             "%s\t \t \t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\n",
             title.c_str(), max(19), avg(19), avg(21), max(15), max(16), max(17), max(12), max(13),
             max(14), max(30), max(31), s.energy);
      break;
    case StatsKind::kRegular:
      Append(out, "%s\t \t \t%.2f\t%.2f\t \t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\n",
             title.c_str(), s.total.maximum / 1000, s.total.average / 1000, max(17), max(21),
             max(25), max(16), max(20), max(24), max(45), max(46), s.energy / 1000);
      break;
  }
  return out;
}

// "\n" to CR LF, as the files are read by programs that expect text mode.
std::string Crlf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

bool WriteTextFile(const std::string& path, std::string_view text) {
  std::unique_ptr<FILE, int (*)(FILE*)> f(OpenRegularStream(path, "wb"), &std::fclose);
  if (!f) return false;
  const std::string bytes = Crlf(text);
  return std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
}

void CollectDevices(const DeviceNode& node, std::vector<ReportDevice>& out) {
  if (node.isGroup()) {
    for (const auto& child : node.children()) CollectDevices(*child, out);
    return;
  }
  out.push_back({node.id(), node.title(), node.nodeKind(), node.commType(), node.mibType()});
}

}  // namespace

ReportJob MakeReportJob(const DeviceTree& tree, const LanguageTables& languages,
                        const HistorySettings& history, const ReportPeriod& period,
                        const std::string& installDir,
                        std::function<std::optional<std::string>()> readEventLog) {
  ReportJob job;
  job.period = period;
  job.reportDir = JoinPath(ToSlash(installDir), "Report");
  {
    auto lock = tree.readLock();
    job.rootTitle = tree.root().title();
    CollectDevices(tree.root(), job.devices);
  }
  job.actions = languages.actions();
  if (auto snap = languages.current()) job.params = snap->params;
  if (auto levels = languages.levelNames()) job.levelNames = *levels;
  job.databaseEnabled = history.databaseEnabled;
  job.historyDir = history.directory;
  job.mapName = history.mapName;
  job.readEventLog = std::move(readEventLog);
  return job;
}

std::string DeviceReportText(const ReportJob& job, const ReportDevice& device, ReportSource& source,
                             std::string* summaryLine) {
  const ReportPeriod& p = job.period;
  std::string out;
  Append(out, "%s UPS Report    From %04d/%d/%d To %04d/%d/%d\n", device.title.c_str(), p.from.year,
         p.from.month, p.from.day, p.to.year, p.to.month, p.to.day);
  out += "\n\n";

  const std::vector<EventRecord> events = source.events(device, p);
  static const ActionTables kNoTables;
  const ActionTables& tables = job.actions ? *job.actions : kNoTables;
  const EventCounts counts = CountNodeEvents(events, device, tables);
  if (!counts.any) {
    out += "\t*Ther is no power event in this period of time.\n";
  } else {
    Append(out, "\tThere are %d of serious, %d of warning and %d of information.\n", counts.serious,
           counts.warning, counts.information);
    out += "\t*The power events are listed below:\n\n";
    out += "\t\tEvent\tAlarm Level\tOccurred\tRecovered\n";
    const EventList list = ListedEvents(device);
    const ActionTable& rows = tables.table(list.family);
    for (uint8_t level = 0; level < 3; ++level) {
      for (int e = 0; e < list.events; ++e) {
        const size_t row = static_cast<size_t>(2 * e);
        if (row >= rows.size() || rows[row].level() != level) continue;
        const std::string title = rows[row].title();
        for (const EventSpan& span : FindEventSpans(events, 2 * e)) {
          Append(out, "\t\t%s\t%s\t", title.c_str(), job.levelNames[level].c_str());
          if (span.end) {
            AppendTime(out, span.start, '\t');
            AppendTime(out, *span.end, '\n');
          } else {
            AppendTime(out, span.start, '\n');
          }
        }
      }
    }
  }
  out += "\n\n\n";
  out += "\t*UPS data analysis:\n";

  const StatsKind kind = StatsKindOf(device);
  const HistoryStats stats = ReadHistoryStats(source, device, p);
  const ParamTable& titles = job.params.table(StatsParamFamily(kind));
  bool firstGroup = true;
  for (const StatGroup& g : GroupsOf(kind)) {
    if (!firstGroup) out += "\n";
    firstGroup = false;
    out += g.title;
    out += "\t\tItem\tAverage\tMaximum\tMinimum(>0)\tMinimum\n";
    for (int item : g.items) AppendStatRow(out, titles, stats, item);
  }
  if (summaryLine) *summaryLine = SummaryLine(device.title, kind, stats);
  return out;
}

void WritePeriodReport(const ReportJob& job, ReportDatabase& db, const std::atomic<bool>& stop) {
  std::unique_ptr<ReportSource> source;
  if (job.databaseEnabled) {
    source = std::make_unique<DatabaseReportSource>(db);
  } else {
    std::optional<std::string> log = job.readEventLog ? job.readEventLog() : std::nullopt;
    source = std::make_unique<FileReportSource>(log ? *log : std::string(), job.period,
                                                job.historyDir, job.mapName);
  }
  std::string summary(kReportSummaryHeader);
  for (const ReportDevice& device : job.devices) {
    if (stop.load()) break;
    if (device.nodeKind == kNodeSerial && device.commType == kCommPlc) continue;
    const std::string path = JoinPath(
        job.reportDir, ReportFileTitle(device.title) + "_" + std::to_string(device.id) + ".xls");
    std::string line;
    if (!WriteTextFile(path, DeviceReportText(job, device, *source, &line))) continue;
    summary += line;
  }
  WriteTextFile(JoinPath(job.reportDir, ReportFileTitle(job.rootTitle) + ".xls"), summary);
}

bool ReportWriter::start(ReportJob job) {
  if (busy_.load()) return false;
  if (thread_.joinable()) thread_.join();
  stop_ = false;
  busy_ = true;
  thread_ = std::thread([this, job = std::move(job)] {
    WritePeriodReport(job, db_, stop_);
    busy_ = false;
  });
  return true;
}

void ReportWriter::stop() {
  stop_ = true;
  wait();
}

void ReportWriter::wait() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace lark
