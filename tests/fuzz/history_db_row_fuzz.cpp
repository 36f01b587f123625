// One history table row as the database text gives it, for the widest family.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "viewer/data/history_month.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lark::PlotSample s;
  bool overflow = false;
  const std::string_view row(reinterpret_cast<const char*>(data), size);
  if (lark::ParseHistoryDbRow(row, lark::kMaxHistoryValues, s, &overflow) ==
      lark::LineFault::kNone) {
    if (s.day < 1 || s.day > 31 || s.hour > 23 || s.minute > 59 || s.second > 59) __builtin_trap();
  }
  return 0;
}
