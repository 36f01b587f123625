// What an SNMP answer does to the device: SnmpApplyResponse reads the
// bindings of one decoded GetResponse, fills the node's SnmpLiveData (values,
// texts, event bits), adjusts the entry's poll masks and identifies the agent.
//
// Threads: runs on the SNMP poll thread. Every write goes through the node's
// and the block's locked accessors, so the loop thread's readers never see a
// half-written value.
#pragma once
#include <cstdint>
#include <functional>
#include <string_view>

#include "core/device_node.h"
#include "core/event_log_sink.h"
#include "devices/snmp/snmp_codec.h"
#include "devices/snmp/snmp_entry.h"
#include "devices/snmp/snmp_objects.h"
#include "platform/clock.h"

namespace lark {

// A device-MIB answer belongs to another node behind the same address.
struct SnmpPeer {
  DeviceNode* node = nullptr;
  SnmpDeviceEntry* entry = nullptr;
};

struct SnmpResponseContext {
  const Clock* clock = nullptr;   // ticks for the illumination, local date for the date rule
  int32_t snmpPollingMs = 1000;   // "SNMP Polling"
  int32_t illuminationMin = 15;   // [Inverter] "Illumination.MinValue"
  // The SNMP node (and its entry) at this resolved address with this UPSID.
  std::function<SnmpPeer(uint32_t address, int16_t upsId)> findPeer;
  // Recomputes the totals of the node's groups; nothing when unset.
  std::function<void(DeviceNode*)> updateGroupTotals;
  EventLogSink* eventLog = nullptr;                   // the unsupported-agent line
  std::function<void(std::string_view)> serviceLog;   // the same line for the service log
  SnmpTrafficFn traffic;                              // the monitor, when on
};

// The unsupported-agent text for a node titled `title`.
std::string UnsupportedAgentText(std::string_view title);

// Applies the answer in `decoded` (SnmpDecodeMessage gave 0) to `node`,
// whose entry is `entry`. Only a GetResponse is applied. An error status
// stores nothing and resets the unanswered count; noSuchName also takes the
// object at the error index out of the following requests.
void SnmpApplyResponse(SnmpResponseContext& ctx, const SnmpCodec& decoded, SnmpDeviceEntry& entry,
                       DeviceNode& node);

}  // namespace lark
