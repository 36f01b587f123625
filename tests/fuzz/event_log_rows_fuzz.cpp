// The downloaded Event.log and the database's answer are outside text: any
// bytes through both readers and the export; every row keeps its five
// columns and the export one line per row.
#include <cstdint>
#include <string_view>

#include "console/dialogs/logs/event_log_rows.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lark;
  if (size < 1) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const EventLogChoice choice{
      static_cast<EventLogSource>(data[0] % 3), data[0] >> 2, {2026, 1, 1}, {2026, 12, 31}};
  const NodeTitleFn titles = [](int32_t id) -> std::optional<std::string> {
    if (id % 2) return "node";
    return std::nullopt;
  };
  auto check = [&](const std::vector<EventLogRow>& rows) {
    const std::string out = EventLogExportText(choice, rows);
    size_t lines = 0;
    for (char c : out) lines += c == '\n';
    if (lines != rows.size() + 5) __builtin_trap();
    for (const EventLogRow& r : rows) {
      if (r.image < 0 || r.image > kLevelImageUnknown) __builtin_trap();
    }
  };
  check(EventLogFileRows(text, choice, titles));
  check(EventLogDatabaseRows(text, data[0] & 1, titles));
  return 0;
}
