// The Event Log dialog's rows, without Qt: the query text it sends, the
// lines of the downloaded Event.log and the rows of a database answer turned
// into the list's five columns, and the text Save As writes.
//
//   Event.log line:  number TAB yyyy/mm/dd TAB hh:mm:ss TAB level TAB index TAB text
//   event row:       ups_id TAB yyyy-mm-dd hh:mm:ss[.fraction] TAB level TAB evt_index TAB descr
//   operation row:   account TAB yyyy-mm-dd hh:mm:ss[.fraction] TAB op_level TAB descr
//
// Lines are taken whole (CRLF or LF), however long; a text runs to the end of
// its line, tabs inside it shown as blanks.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/sql_text.h"
#include "console/link/result_pages.h"

namespace lark {

enum class EventLogSource : uint8_t {
  kOperations,  // the operation record (database only)
  kAll,         // every device and the service itself
  kDevice,      // one device
};

struct EventLogChoice {
  EventLogSource source = EventLogSource::kAll;
  int32_t device = -1;  // the node ID of kDevice
  SqlDate from;         // first day shown
  SqlDate to;           // last day shown
};

// The row images: the level, or "Modify" (1) of an operation.
inline constexpr int kLevelImageUnknown = 3;
inline constexpr int kEventLogColumns = 5;

// The rows a list holds at most: the result cap over the shortest real row
// (its date, time and a short text), so rows of a byte or two cannot turn a
// 5 MB answer into gigabytes of cells.
inline constexpr size_t kEventRowMinBytes = 48;
inline constexpr size_t kEventRowsMax = kResultTextMax / kEventRowMinBytes;

struct EventLogRow {
  std::array<std::string, kEventLogColumns> cells;  // title or account, date, time, level, text
  int image = kLevelImageUnknown;
  bool operator==(const EventLogRow&) const = default;
};

// A device's title by node ID; nothing when the console's tree has no such node.
using NodeTitleFn = std::function<std::optional<std::string>(int32_t id)>;

// The selection clause of 11/2 (operations) or 11/4 (events), with the shape
// the service accepts.
std::string EventLogQueryText(const EventLogChoice& choice);

// The rows of the downloaded Event.log within the chosen days: lines of other
// numbers are left out when a device is chosen; the first line after the last
// day ends the reading. An unfinished last line (a write under way) is left out.
// At most kEventRowsMax rows are kept; the rest are counted in `beyond`.
std::vector<EventLogRow> EventLogFileRows(std::string_view file, const EventLogChoice& choice,
                                          const NodeTitleFn& titles, size_t* beyond = nullptr);

// The rows of a database answer (one row a line), at most kEventRowsMax.
std::vector<EventLogRow> EventLogDatabaseRows(std::string_view result, bool operations,
                                              const NodeTitleFn& titles, size_t* beyond = nullptr);

// What Save As writes: the range, a title and a heading line, then the rows
// numbered from 1, CRLF line ends.
std::string EventLogExportText(const EventLogChoice& choice, const std::vector<EventLogRow>& rows);

}  // namespace lark
