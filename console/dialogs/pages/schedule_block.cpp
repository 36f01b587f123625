#include "console/dialogs/pages/schedule_block.h"

#include <cstdio>

#include "common/bytes.h"
#include "common/schedule_calc.h"
#include "console/dialogs/pages/config_settings.h"

namespace lark {

namespace {
constexpr size_t kScopeOff = 0, kNodeOff = 4, kTableOff = 8, kWeekCountOff = 12, kWeekRowsOff = 16;
constexpr size_t kDatedCountOff = 196, kDatedRowsOff = 200;
constexpr size_t kWeekRowSize = 6, kDatedRowSize = 8;

const std::string& Name(const std::array<std::string, 5>& actions, int k) {
  static const std::string none;
  return k >= 0 && k < 5 ? actions[static_cast<size_t>(k)] : none;
}
}  // namespace

ScheduleTables ScheduleTablesOf(const DeviceNode& node) {
  ScheduleTables t;
  for (int i = 0; i < kWeekScheduleCount; ++i)
    if (node.weekEntry(i).weekday != 0) t.week.push_back(node.weekEntry(i));
  for (int i = 0; i < kDateScheduleCount; ++i)
    if (node.dateEntry(i).year != 0) t.dated.push_back(node.dateEntry(i));
  return t;
}

void WriteScheduleTable(DeviceNode& node, ScheduleTable table, const ScheduleTables& t) {
  if (table == kScheduleTableWeekly) {
    for (int i = 0; i < kWeekScheduleCount; ++i)
      node.setWeekEntry(i, static_cast<size_t>(i) < t.week.size() ? t.week[static_cast<size_t>(i)] : ScheduleWeekEntry{});
  } else {
    for (int i = 0; i < kDateScheduleCount; ++i)
      node.setDateEntry(i, static_cast<size_t>(i) < t.dated.size() ? t.dated[static_cast<size_t>(i)] : ScheduleDateEntry{});
  }
}

std::vector<uint8_t> BuildScheduleBlock(ScheduleScope scope, uint16_t nodeId, ScheduleTable table,
                                        const ScheduleTables& t) {
  std::vector<uint8_t> out(kScheduleBlockSize, 0);
  Bytes b(out.data(), out.size());
  putU32(b, kScopeOff, scope);
  putU16(b, kNodeOff, nodeId);
  putU32(b, kTableOff, table);
  const size_t weeks = std::min<size_t>(t.week.size(), kScheduleRowsMax);
  putU32(b, kWeekCountOff, static_cast<uint32_t>(weeks));
  for (size_t i = 0; i < weeks; ++i) {
    const ScheduleWeekEntry& r = t.week[i];
    const size_t at = kWeekRowsOff + i * kWeekRowSize;
    putI16(b, at, r.weekday);
    putU8(b, at + 2, r.hour);
    putU8(b, at + 3, r.minute);
    putU8(b, at + 4, r.actionClass);
  }
  const size_t dates = std::min<size_t>(t.dated.size(), kScheduleRowsMax);
  putU32(b, kDatedCountOff, static_cast<uint32_t>(dates));
  for (size_t i = 0; i < dates; ++i) {
    const ScheduleDateEntry& r = t.dated[i];
    const size_t at = kDatedRowsOff + i * kDatedRowSize;
    putI16(b, at, r.year);
    putU8(b, at + 2, r.month);
    putU8(b, at + 3, r.day);
    putU8(b, at + 4, r.hour);
    putU8(b, at + 5, r.minute);
    putU8(b, at + 6, r.actionClass);
  }
  return out;
}

std::string WeekRowText(const ScheduleWeekEntry& r, const ScheduleNames& n) {
  const int w = r.weekday;
  const std::string& day = w >= 1 && w <= 7 ? n.weekdays[static_cast<size_t>(w - 1)] : Name(n.actions, -1);
  char time[16] = "";
  if (r.actionClass != 0) std::snprintf(time, sizeof time, " at %02d:%02d", r.hour, r.minute);
  return "[" + std::to_string(w - 1) + "]" + day + ", " + Name(n.actions, r.actionClass) + time;
}

std::string DateRowText(const ScheduleDateEntry& r, const ScheduleNames& n) {
  char head[32], time[16] = "";
  std::snprintf(head, sizeof head, "%04d/%02d/%02d, ", r.year, r.month, r.day);
  if (r.actionClass != 0) std::snprintf(time, sizeof time, " at %02d:%02d", r.hour, r.minute);
  return head + Name(n.actions, r.actionClass) + time;
}

std::optional<std::pair<int, int>> ParseScheduleTime(std::string_view hour, std::string_view minute) {
  const std::optional<int32_t> h = ParseSettingNumber(hour, 0, 23);
  const std::optional<int32_t> m = ParseSettingNumber(minute, 0, 59);
  if (!h || !m) return std::nullopt;
  return std::pair<int, int>{*h, *m};
}

std::optional<std::array<int, 3>> ParseScheduleDate(std::string_view year, std::string_view month,
                                                    std::string_view day) {
  const std::optional<int32_t> y = ParseSettingNumber(year, 1, 9999);
  const std::optional<int32_t> m = ParseSettingNumber(month, 1, 12);
  if (!y || !m) return std::nullopt;
  const std::optional<int32_t> d = ParseSettingNumber(day, 1, ScheduleDaysInMonth(*y, *m));
  if (!d) return std::nullopt;
  return std::array<int, 3>{*y, *m, *d};
}

}  // namespace lark
