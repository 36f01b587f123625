// The lines a report reads, from either source: Event.log lines and event
// rows of the database, history month-file lines and history rows. Every
// parser takes one whole line (no line end) and either gives all of its
// fixed fields or refuses the line; a value field that is missing, empty
// (a NULL column) or not a number reads as no value (-1), never as 0.
//
//   Event.log:   number TAB yyyy/mm/dd TAB hh:mm:ss TAB level TAB index TAB text
//   event row:   ups_id TAB yyyy-mm-dd hh:mm:ss[.fraction] TAB level TAB evt_index TAB descr
//   month file:  day TAB hour TAB minute TAB second TAB v0 TAB v1 ...
//   history row: yyyy-mm-dd hh:mm:ss[.fraction] TAB v0 TAB v1 ...
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace lark {

// EventTimeRecord: when, whose (node ID) and which event index.
struct EventRecord {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int number = 0;
  int index = 0;
};

struct HistoryRow {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  std::vector<int32_t> values;  // -1: no value
};

std::optional<EventRecord> ParseEventLogLine(std::string_view line);
std::optional<EventRecord> ParseEventRow(std::string_view row);
// A month-file line of the month `year`/`month`; `items` values are read.
std::optional<HistoryRow> ParseHistoryFileLine(std::string_view line, int year, int month,
                                               int items);
std::optional<HistoryRow> ParseHistoryDbRow(std::string_view row, int items);

// Calls `f` with each line of `text` that ends with '\n' (a CR before it is
// dropped); an unfinished last line is left out, since a writer may still be
// adding to it.
template <class F>
void ForEachWholeLine(std::string_view text, F&& f) {
  size_t pos = 0;
  for (size_t nl = text.find('\n', pos); nl != std::string_view::npos;
       pos = nl + 1, nl = text.find('\n', pos)) {
    std::string_view line = text.substr(pos, nl - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    f(line);
  }
}

}  // namespace lark
