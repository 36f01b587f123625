// The Schedule page's rows without the page: the 472-byte block of command
// 29, the list texts, and the checks of typed times and dates.
//
// Block (little-endian):
//    0 u32 scope: 0 the device, 1 the devices of its group, 2 every device
//    4 u16 node id, 2 zero bytes   8 u32 table: 0 weekly, 1 dated
//   12 u32 weekly row count       16 30 x 6 weekly rows: i16 weekday 1..7
//                                    (1 Sunday), u8 hour, minute, class, 0
//  196 u32 dated row count       200 30 x 8 dated rows: i16 year, u8 month,
//                                    day, hour, minute, class, 0
//  440 32 zero bytes
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/device_node.h"

namespace lark {

inline constexpr size_t kScheduleBlockSize = 472;
inline constexpr int kScheduleRowsMax = 30;

enum ScheduleScope : uint32_t { kScheduleScopeDevice = 0, kScheduleScopeGroup = 1, kScheduleScopeAll = 2 };
enum ScheduleTable : uint32_t { kScheduleTableWeekly = 0, kScheduleTableDated = 1 };

struct ScheduleTables {
  std::vector<ScheduleWeekEntry> week;   // at most 30
  std::vector<ScheduleDateEntry> dated;  // at most 30
  bool operator==(const ScheduleTables&) const = default;
};

// The device's non-empty rows (weekday not 0, year not 0), gaps closed.
ScheduleTables ScheduleTablesOf(const DeviceNode& node);
// The device's tables replaced by `t` (`table` alone), the rest cleared.
void WriteScheduleTable(DeviceNode& node, ScheduleTable table, const ScheduleTables& t);

// Both tables go along; the service takes the one `table` names for scope 0
// and only the node id for the others.
std::vector<uint8_t> BuildScheduleBlock(ScheduleScope scope, uint16_t nodeId, ScheduleTable table,
                                        const ScheduleTables& t);

// The names a row is shown with: weekdays Sunday first, then the classes 0..4.
struct ScheduleNames {
  std::array<std::string, 7> weekdays;
  std::array<std::string, 5> actions;
};
// "[w-1]Weekday, Action at hh:mm", or "[w-1]Weekday, None" for class 0.
std::string WeekRowText(const ScheduleWeekEntry& r, const ScheduleNames& n);
// "yyyy/mm/dd, Action at hh:mm", or "yyyy/mm/dd, None".
std::string DateRowText(const ScheduleDateEntry& r, const ScheduleNames& n);

// Hour 0..23 and minute 0..59 as typed (whole numbers), else none.
std::optional<std::pair<int, int>> ParseScheduleTime(std::string_view hour, std::string_view minute);
// Year 1..9999, month 1..12 and a day of that month, else none.
std::optional<std::array<int, 3>> ParseScheduleDate(std::string_view year, std::string_view month,
                                                    std::string_view day);

}  // namespace lark
