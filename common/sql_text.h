// Texts that go into SQL statements: string literals (quotes doubled, cut at
// a NUL and at the column width on a character boundary), table names from
// settings, date-time literals, and the selection clauses consoles send,
// accepted only in the shapes the console builds and rebuilt from their
// parsed values.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lark {

// `text` cut at its first NUL and then to at most `width` bytes without
// splitting a UTF-8 character.
std::string_view CutText(std::string_view text, size_t width);

// '...' with every ' doubled; the text is cut as by CutText first.
std::string SqlLiteral(std::string_view text, size_t width);

// A table name a setting may give: a letter, then up to 31 letters, digits
// or underscores.
bool IsSqlTableName(std::string_view name);

struct SqlDate {
  int year = 0, month = 0, day = 0;
};

// Days in a month (leap years counted); 0 for a month outside 1..12.
int DaysInMonth(int year, int month);

// '%04d-%02d-%02d %02d:%02d:%02d' with its quotes.
std::string SqlDateTime(int year, int month, int day, int hour, int minute, int second);

// "where occurdt between '<from> 00:00:00' and '<to> 23:59:59'".
std::string SqlDayRangeClause(const SqlDate& from, const SqlDate& to);

// The clause kinds a console sends with its queries.
enum class ConsoleClause {
  kOpLog,   // date range, "order by occurdt asc"
  kEvents,  // date range with an optional ups_id, "order by occurdt asc"
  kUsers,   // empty only
};

// The clause rebuilt from what was parsed out of the console's text (which
// may end in NUL bytes), or nothing when it is not of the kind's shape or
// names a date that does not exist.
std::optional<std::string> ParseConsoleClause(std::string_view text, ConsoleClause kind);

}  // namespace lark
