// Alarm levels of the console's tree, from the event masks the service's data
// set and the language's alarm-action tables, and the small node queries of
// the map and the lists.
#pragma once
#include <cstdint>
#include <string_view>

#include "core/device_tree.h"

namespace lark {

// Recomputes and stores the level of the node and, for a group, of its whole
// subtree (0 Serious, 1 Warning, 2 none); returns the node's level.
uint8_t UpdateAlarmLevel(DeviceNode& node, const ActionLevelSource& levels);
// Bit n set: history parameter n of the node's family has a live value.
uint64_t NodeSupportMask(const DeviceNode& node);
// 1 for serial CommType 6 and 7 and SNMP MibType 6 and 7.
int IsInverterOrSensor(const DeviceNode& node);
// Depth first from `start` (itself first): the first device of another id
// whose address text equals `ip` without regard to case.
DeviceNode* FindDeviceByIp(int32_t excludedId, std::string_view ip, DeviceNode& start);

}  // namespace lark
