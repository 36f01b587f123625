// One device's history sample as the walk copies it, and the month-file line
// the writer makes of it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/history_family.h"
#include "platform/clock.h"

namespace lark {

// Copied under the tree lock; the database row and the files are written
// from this copy after the lock is released.
struct HistorySample {
  int16_t id = 0;
  uint8_t nodeKind = 0;
  int16_t commType = 0;
  uint8_t mibType = 0;
  bool saveInDatabase = false;  // the node's SaveInDatabase
  HistoryLayout layout;
  uint64_t reportedMask = 0;   // the block's last-reported EventMask
  std::vector<int32_t> slots;  // every value slot of the source block

  int32_t slot(int i) const {
    return i >= 0 && static_cast<size_t>(i) < slots.size() ? slots[static_cast<size_t>(i)] : -1;
  }
};

// One device's row of a history period.
struct HistoryPeriodRow {
  HistorySample sample;
  bool lost = false;
};

// The first value of a lost-link sample.
inline constexpr int32_t kHistoryLostMark = 10000;

// The line's values: -1 where nothing comes; the source slots through the
// slot map, x10 slots above 0 scaled (kept within 32 bits); nothing copied
// when the writer's own loss bit is set; the first value 10000 when lost.
std::vector<int32_t> HistoryValues(const HistorySample& sample, bool lost);
// "day<sep>hour<sep>minute<sep>second<sep>v0<sep>..." without the line end.
std::string HistorySampleLine(const HistorySample& sample, bool lost, const WallTime& now);

}  // namespace lark
