#include "common/sql_text.h"

#include <cstdio>

namespace lark {

std::string_view CutText(std::string_view text, size_t width) {
  size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  if (text.size() <= width) return text;
  size_t end = width;
  // Step back over continuation bytes so the cut lands before a lead byte.
  while (end > 0 && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

std::string SqlLiteral(std::string_view text, size_t width) {
  std::string_view cut = CutText(text, width);
  std::string out;
  out.reserve(cut.size() + 2);
  out += '\'';
  for (char c : cut) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
  return out;
}

bool IsSqlTableName(std::string_view name) {
  if (name.empty() || name.size() > 32) return false;
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (!letter(name[0])) return false;
  for (char c : name) {
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '_') return false;
  }
  return true;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  if (month == 2 && year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) return 29;
  return kDays[month - 1];
}

std::string SqlDateTime(int year, int month, int day, int hour, int minute, int second) {
  char buf[64];
  snprintf(buf, sizeof buf, "'%04d-%02d-%02d %02d:%02d:%02d'", year, month, day, hour, minute,
           second);
  return buf;
}

std::string SqlDayRangeClause(const SqlDate& from, const SqlDate& to) {
  return "where occurdt between " + SqlDateTime(from.year, from.month, from.day, 0, 0, 0) +
         " and " + SqlDateTime(to.year, to.month, to.day, 23, 59, 59);
}

namespace {

// A cursor over the console's text that takes the fixed words and numbers of
// its one shape; every step fails without moving past the end.
class ClauseReader {
 public:
  explicit ClauseReader(std::string_view text) : text_(text) {}
  bool word(std::string_view w) {
    if (text_.substr(pos_, w.size()) != w) return false;
    pos_ += w.size();
    return true;
  }
  bool number(int digits, int& out) {
    out = 0;
    for (int i = 0; i < digits; ++i) {
      if (pos_ >= text_.size() || text_[pos_] < '0' || text_[pos_] > '9') return false;
      out = out * 10 + (text_[pos_++] - '0');
    }
    return true;
  }
  // 1 to 9 digits, as the console prints a node ID.
  bool id(int& out) {
    size_t start = pos_;
    out = 0;
    while (pos_ < text_.size() && pos_ - start < 9 && text_[pos_] >= '0' && text_[pos_] <= '9')
      out = out * 10 + (text_[pos_++] - '0');
    return pos_ > start;
  }
  bool date(SqlDate& d, std::string_view time) {
    return word("'") && number(4, d.year) && word("-") && number(2, d.month) && word("-") &&
           number(2, d.day) && word(" ") && word(time) && word("'") && d.day >= 1 &&
           d.day <= DaysInMonth(d.year, d.month);
  }
  bool atEnd() const { return pos_ == text_.size(); }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

std::optional<std::string> ParseConsoleClause(std::string_view text, ConsoleClause kind) {
  // The console sends the text with its terminating zero; what follows the
  // first NUL is not part of it.
  size_t nul = text.find('\0');
  if (nul != std::string_view::npos) {
    if (text.find_first_not_of('\0', nul) != std::string_view::npos) return std::nullopt;
    text = text.substr(0, nul);
  }
  if (kind == ConsoleClause::kUsers) {
    if (!text.empty()) return std::nullopt;
    return std::string();
  }
  ClauseReader r(text);
  std::string prefix;
  if (!r.word("where ")) return std::nullopt;
  int upsId = 0;
  if (kind == ConsoleClause::kEvents && r.word("ups_id=")) {
    if (!r.id(upsId) || !r.word(" and ")) return std::nullopt;
    prefix = "ups_id=" + std::to_string(upsId) + " and ";
  }
  SqlDate from, to;
  if (!r.word("occurdt between ") || !r.date(from, "00:00:00") || !r.word(" and ") ||
      !r.date(to, "23:59:59") || !r.word(" order by occurdt asc") || !r.atEnd()) {
    return std::nullopt;
  }
  std::string range = SqlDayRangeClause(from, to);
  return "where " + prefix + range.substr(6) + " order by occurdt asc";
}

}  // namespace lark
