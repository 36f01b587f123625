#include "records/report_lines.h"

#include "core/report_period.h"

namespace lark {

namespace {

// Splits at `sep`; each call gives the next field, nullopt past the end.
class Fields {
 public:
  Fields(std::string_view text, char sep) : text_(text), sep_(sep) {}
  std::optional<std::string_view> next() {
    if (done_) return std::nullopt;
    const size_t at = text_.find(sep_, pos_);
    std::string_view f = text_.substr(pos_, at == std::string_view::npos ? at : at - pos_);
    if (at == std::string_view::npos) {
      done_ = true;
    } else {
      pos_ = at + 1;
    }
    return f;
  }

 private:
  std::string_view text_;
  char sep_;
  size_t pos_ = 0;
  bool done_ = false;
};

// Decimal digits with an optional leading '-', nothing else; at most nine
// digits after the leading zeros, so the value fits.
std::optional<int> Number(std::string_view s) {
  bool negative = false;
  if (!s.empty() && s.front() == '-') {
    negative = true;
    s.remove_prefix(1);
  }
  if (s.empty()) return std::nullopt;
  while (s.size() > 1 && s.front() == '0') s.remove_prefix(1);
  if (s.size() > 9) return std::nullopt;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return negative ? -v : v;
}

// "a<sep>b<sep>c" with exactly three numbers.
bool Triple(std::string_view s, char sep, int& a, int& b, int& c) {
  Fields f(s, sep);
  auto x = f.next(), y = f.next(), z = f.next();
  if (!z || f.next()) return false;
  auto nx = Number(*x), ny = Number(*y), nz = Number(*z);
  if (!nx || !ny || !nz) return false;
  a = *nx;
  b = *ny;
  c = *nz;
  return true;
}

bool ValidTime(int h, int m, int s) {
  return h >= 0 && h <= 23 && m >= 0 && m <= 59 && s >= 0 && s <= 59;
}

bool ValidDate(int y, int m, int d) { return IsRealDate(ReportDate{y, m, d}); }

// "yyyy-mm-dd hh:mm:ss", optionally followed by '.' and a fraction.
bool DateTime(std::string_view s, int& y, int& mo, int& d, int& h, int& mi, int& sec) {
  const size_t blank = s.find(' ');
  if (blank == std::string_view::npos) return false;
  std::string_view time = s.substr(blank + 1);
  if (const size_t dot = time.find('.'); dot != std::string_view::npos) {
    const std::string_view frac = time.substr(dot + 1);
    if (frac.empty() || frac.size() > 9 || !Number(frac) || frac.front() == '-') return false;
    time = time.substr(0, dot);
  }
  return Triple(s.substr(0, blank), '-', y, mo, d) && Triple(time, ':', h, mi, sec) &&
         ValidDate(y, mo, d) && ValidTime(h, mi, sec);
}

// Values after the fixed fields: `items` of them, -1 where none is given.
std::vector<int32_t> Values(Fields& f, int items) {
  std::vector<int32_t> v(static_cast<size_t>(items > 0 ? items : 0), -1);
  for (auto& slot : v) {
    auto field = f.next();
    if (!field) break;
    if (auto n = Number(*field)) slot = *n;
  }
  return v;
}

}  // namespace

std::optional<EventRecord> ParseEventLogLine(std::string_view line) {
  Fields f(line, '\t');
  auto number = f.next(), date = f.next(), time = f.next();
  f.next();  // the level word: the report takes levels from the action table
  auto index = f.next();
  if (!index) return std::nullopt;
  EventRecord r;
  auto n = Number(*number), i = Number(*index);
  if (!n || !i || !Triple(*date, '/', r.year, r.month, r.day) ||
      !Triple(*time, ':', r.hour, r.minute, r.second) || !ValidDate(r.year, r.month, r.day) ||
      !ValidTime(r.hour, r.minute, r.second))
    return std::nullopt;
  r.number = *n;
  r.index = *i;
  return r;
}

std::optional<EventRecord> ParseEventRow(std::string_view row) {
  Fields f(row, '\t');
  auto id = f.next(), when = f.next();
  f.next();  // level
  auto index = f.next();
  if (!index) return std::nullopt;
  EventRecord r;
  auto n = Number(*id), i = Number(*index);
  if (!n || !i || !DateTime(*when, r.year, r.month, r.day, r.hour, r.minute, r.second))
    return std::nullopt;
  r.number = *n;
  r.index = *i;
  return r;
}

std::optional<HistoryRow> ParseHistoryFileLine(std::string_view line, int year, int month,
                                               int items) {
  Fields f(line, '\t');
  int t[4];
  for (int& x : t) {
    auto field = f.next();
    if (!field) return std::nullopt;
    auto n = Number(*field);
    if (!n) return std::nullopt;
    x = *n;
  }
  if (!ValidDate(year, month, t[0]) || !ValidTime(t[1], t[2], t[3])) return std::nullopt;
  HistoryRow r{year, month, t[0], t[1], t[2], t[3], {}};
  r.values = Values(f, items);
  return r;
}

std::optional<HistoryRow> ParseHistoryDbRow(std::string_view row, int items) {
  Fields f(row, '\t');
  auto when = f.next();
  HistoryRow r;
  if (!DateTime(*when, r.year, r.month, r.day, r.hour, r.minute, r.second)) return std::nullopt;
  r.values = Values(f, items);
  return r;
}

}  // namespace lark
