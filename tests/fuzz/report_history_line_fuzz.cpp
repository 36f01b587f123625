// Month-file lines as the report's statistics read them: any bytes. Parsed
// lines have their time fields in range and exactly the asked values; the
// figures stay finite.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "records/report_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lark;
  if (size < 1) return 0;
  const StatsKind kind = static_cast<StatsKind>(data[0] % 4);
  const int items = StatsItemCount(kind);
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  HistoryStatsBuilder builder(kind);
  ForEachWholeLine(text, [&](std::string_view line) {
    auto row = ParseHistoryFileLine(line, 2024, 2, items);
    if (!row) return;
    if (row->day < 1 || row->day > 29 || row->hour > 23 || row->minute > 59 || row->second > 59 ||
        row->values.size() != static_cast<size_t>(items))
      abort();
    builder.add(*row);
  });
  const HistoryStats& s = builder.stats();
  if (!std::isfinite(s.energy) || s.energy < 0) abort();
  for (const StatFigure& f : s.items) {
    if (!std::isfinite(f.average) || f.minimum > f.maximum || f.minAboveZero < 0) abort();
  }
  return 0;
}
