// An Event.log copy as a report reads it: any bytes, lines of any length.
// Parsed lines hold real dates and times; counts and spans stay within the
// lines given.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/device_node.h"
#include "records/report_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lark;
  const std::string text(reinterpret_cast<const char*>(data), size);
  size_t lines = 0;
  ForEachWholeLine(text, [&](std::string_view line) {
    ++lines;
    if (auto e = ParseEventLogLine(line)) {
      if (!IsRealDate(ReportDate{e->year, e->month, e->day}) || e->hour > 23 || e->minute > 59 ||
          e->second > 59 || e->hour < 0)
        abort();
    }
  });
  static const ActionTables tables;
  const ReportPeriod period{{1, 1, 1}, {9999, 12, 31}};
  FileReportSource source(text, period, "/nonexistent", "Map");
  for (uint8_t kind : {kNodeSerial, kNodeSnmp, kNodeGprs}) {
    for (int16_t comm = 0; comm < 10; ++comm) {
      const ReportDevice device{static_cast<int16_t>(size % 4), "d", kind, comm, 0};
      const auto events = source.events(device, period);
      if (events.size() > lines) abort();
      const EventCounts c = CountNodeEvents(events, device, tables);
      if (static_cast<size_t>(c.serious + c.warning + c.information) > events.size()) abort();
      if (FindEventSpans(events, 0).size() > events.size()) abort();
    }
  }
  return 0;
}
