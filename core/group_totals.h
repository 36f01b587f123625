// GroupTotals: the nine aggregates of inverter and sensor values that every
// group keeps (inverter sums S0..S5, the copied sum S6, sensor averages A0
// and A1), read by the tray hand-over, the present snapshot and the meters.
//
// Threads: the Modbus poll thread and the SNMP thread recompute them after
// their answers. One recomputation runs at a time; each group's nine values
// are computed aside and stored whole under the node's lock, so a reader
// (ReadGroupTotals) never sees a group half done. The walk follows parent
// and child links, which change only in a structural edit while the workers
// stand paused.
#pragma once
#include <array>
#include <cstdint>

#include "core/device_node.h"

namespace lark {

using GroupTotalsValues = std::array<int32_t, kGroupTotalCount>;  // by GroupTotal

// Recomputes the GroupTotals of every group from the node's parent up to the
// root. Sums are taken in 64 bits and held at the largest i32.
void UpdateGroupTotals(DeviceNode* node);

// The nine values of a group, read in one step.
GroupTotalsValues ReadGroupTotals(const DeviceNode& group);

}  // namespace lark
