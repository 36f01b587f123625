#include "console/dialogs/logs/event_log_rows.h"

#include <charconv>
#include <cstdio>
#include <tuple>

namespace lark {

namespace {

constexpr const char* kLevelNames[3] = {"Serious", "Warning", "Information"};
constexpr int kImageModify = 1, kImageInformation = 2;

// Fields of one line, separated by tabs; the last may be taken as the rest.
class Fields {
 public:
  explicit Fields(std::string_view line) : rest_(line) {}
  std::string_view next() {
    const size_t tab = rest_.find('\t');
    const std::string_view field = rest_.substr(0, tab);
    rest_ = tab == std::string_view::npos ? std::string_view() : rest_.substr(tab + 1);
    return field;
  }
  std::string_view rest() const { return rest_; }

 private:
  std::string_view rest_;
};

std::optional<int32_t> Number(std::string_view s) {
  int32_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
  return v;
}

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto low = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (low(a[i]) != low(b[i])) return false;
  }
  return true;
}

// The text to the end of the line: a trailing tab cut, inner tabs and
// stray CRs as blanks, so an exported row stays one line of six columns.
std::string TextCell(std::string_view rest) {
  if (!rest.empty() && rest.back() == '\t') rest.remove_suffix(1);
  std::string out(rest);
  for (char& c : out) {
    if (c == '\t' || c == '\r') c = ' ';
  }
  return out;
}

std::string TitleOf(std::optional<int32_t> number, const NodeTitleFn& titles) {
  if (!number) return "";
  if (*number == 0) return "System";
  std::optional<std::string> title = titles ? titles(*number) : std::nullopt;
  return title ? *title : "";
}

// "yyyy/mm/dd" as written; nothing without two '/' or with a part that is
// not a number.
std::optional<SqlDate> FileDate(std::string_view s) {
  const size_t a = s.find('/');
  const size_t b = a == std::string_view::npos ? a : s.find('/', a + 1);
  if (b == std::string_view::npos) return std::nullopt;
  auto y = Number(s.substr(0, a)), m = Number(s.substr(a + 1, b - a - 1)),
       d = Number(s.substr(b + 1));
  if (!y || !m || !d) return std::nullopt;
  return SqlDate{*y, *m, *d};
}

auto Key(const SqlDate& d) { return std::tie(d.year, d.month, d.day); }

// Calls `f` with every line that ends with a line feed, the CR before it cut.
template <class F>
void ForEachLine(std::string_view text, F&& f) {
  size_t pos = 0;
  for (size_t nl = text.find('\n'); nl != std::string_view::npos;
       pos = nl + 1, nl = text.find('\n', pos)) {
    std::string_view line = text.substr(pos, nl - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!f(line)) return;
  }
}

// "yyyy-mm-dd hh:mm:ss.fraction": the fraction cut, the blank a column break.
void PutDateTime(std::string_view when, EventLogRow& row) {
  when = when.substr(0, when.find('.'));
  const size_t blank = when.find(' ');
  row.cells[1] = std::string(when.substr(0, blank));
  if (blank != std::string_view::npos) row.cells[2] = std::string(when.substr(blank + 1));
}

}  // namespace

std::string EventLogQueryText(const EventLogChoice& choice) {
  std::string out = "where ";
  if (choice.source == EventLogSource::kDevice)
    out += "ups_id=" + std::to_string(choice.device) + " and ";
  // SqlDayRangeClause begins with its own "where ".
  return out + SqlDayRangeClause(choice.from, choice.to).substr(6) + " order by occurdt asc";
}

std::vector<EventLogRow> EventLogFileRows(std::string_view file, const EventLogChoice& choice,
                                          const NodeTitleFn& titles, size_t* beyond) {
  std::vector<EventLogRow> rows;
  if (beyond) *beyond = 0;
  ForEachLine(file, [&](std::string_view line) {
    Fields f(line);
    const std::optional<int32_t> number = Number(f.next());
    if (choice.source == EventLogSource::kDevice && number != choice.device) return true;
    const std::string_view dateText = f.next();
    const std::optional<SqlDate> date = FileDate(dateText);
    if (!date || Key(*date) < Key(choice.from)) return true;
    if (Key(*date) > Key(choice.to)) return false;  // the file is in time order
    if (rows.size() >= kEventRowsMax) {
      if (beyond) ++*beyond;
      return true;
    }
    EventLogRow row;
    row.cells[0] = TitleOf(number, titles);
    row.cells[1] = std::string(dateText);
    row.cells[2] = std::string(f.next());
    const std::string_view level = f.next();
    row.cells[3] = std::string(level);
    for (int i = 0; i < 3; ++i) {
      if (SameNoCase(level, kLevelNames[i])) row.image = i;
    }
    f.next();  // the event index
    row.cells[4] = TextCell(f.rest());
    rows.push_back(std::move(row));
    return true;
  });
  return rows;
}

std::vector<EventLogRow> EventLogDatabaseRows(std::string_view result, bool operations,
                                              const NodeTitleFn& titles, size_t* beyond) {
  std::vector<EventLogRow> rows;
  if (beyond) *beyond = 0;
  // The service's answer ends every row with a line feed; a last row without
  // one is still a row.
  std::string whole(result);
  if (!whole.empty() && whole.back() != '\n') whole += '\n';
  ForEachLine(whole, [&](std::string_view line) {
    if (line.empty()) return true;
    if (rows.size() >= kEventRowsMax) {
      if (beyond) ++*beyond;
      return true;
    }
    Fields f(line);
    EventLogRow row;
    const std::string_view first = f.next();
    PutDateTime(f.next(), row);
    const std::optional<int32_t> level = Number(f.next());
    if (operations) {
      row.cells[0] = std::string(first);
      const bool modify = level.value_or(0) != 0;
      row.cells[3] = modify ? "Modify" : kLevelNames[kImageInformation];
      row.image = modify ? kImageModify : kImageInformation;
    } else {
      row.cells[0] = TitleOf(Number(first), titles);
      if (level && *level >= 0 && *level <= 2) {
        row.cells[3] = kLevelNames[*level];
        row.image = *level;
      }
      f.next();  // evt_index
    }
    row.cells[4] = TextCell(f.rest());
    rows.push_back(std::move(row));
    return true;
  });
  return rows;
}

std::string EventLogExportText(const EventLogChoice& choice, const std::vector<EventLogRow>& rows) {
  char line[128];
  std::string out;
  std::snprintf(line, sizeof line,
                "Start Date:\t%04d-%02d-%02d\r\nEnd Date:\t%04d-%02d-%02d\r\n\r\n",
                choice.from.year, choice.from.month, choice.from.day, choice.to.year,
                choice.to.month, choice.to.day);
  out += line;
  switch (choice.source) {
    case EventLogSource::kOperations:
      out +=
          "Gridwarden Manager Operation Record\r\nIndex\tAccount\tDate\tTime\tEvent "
          "Level\tDescription\r\n";
      break;
    case EventLogSource::kAll:
      out += "Gridwarden Manager All Event Log\r\n";
      break;
    case EventLogSource::kDevice:
      std::snprintf(line, sizeof line, "Gridwarden Manager UPS ID%d Event Log\r\n", choice.device);
      out += line;
      break;
  }
  if (choice.source != EventLogSource::kOperations)
    out += "Index\tTitle\tDate\tTime\tEvent Level\tDescription\r\n";
  int index = 0;
  for (const EventLogRow& row : rows) {
    out += std::to_string(++index);
    for (const std::string& cell : row.cells) {
      out += '\t';
      out += cell;
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace lark
