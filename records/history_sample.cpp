#include "records/history_sample.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace lark {

std::vector<int32_t> HistoryValues(const HistorySample& sample, bool lost) {
  const HistoryLayout& l = sample.layout;
  std::vector<int32_t> values(static_cast<size_t>(l.valueCount), -1);
  const bool writerLoss = l.lossBit >= 0 && ((sample.reportedMask >> l.lossBit) & 1u) != 0;
  if (!writerLoss) {
    for (int slot = 0; slot < l.sourceSlots; ++slot) {
      const int col = l.column(slot);
      if (col < 0) continue;
      int64_t v = sample.slot(slot);
      if (v > 0 && l.x10(slot)) v = std::min<int64_t>(v * 10, std::numeric_limits<int32_t>::max());
      values[static_cast<size_t>(col)] = static_cast<int32_t>(v);
    }
  }
  if ((lost || writerLoss) && !values.empty()) values[0] = kHistoryLostMark;
  return values;
}

std::string HistorySampleLine(const HistorySample& sample, bool lost, const WallTime& now) {
  const char sep = sample.layout.separator;
  std::string line;
  line.reserve(16 + 12 * static_cast<size_t>(sample.layout.valueCount));
  auto put = [&line](int64_t v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    line.append(buf, r.ptr);
  };
  put(now.day);
  for (int v : {now.hour, now.minute, now.second}) {
    line += sep;
    put(v);
  }
  for (int32_t v : HistoryValues(sample, lost)) {
    line += sep;
    put(v);
  }
  return line;
}

}  // namespace lark
