// The requests of the SNMP manager: one GetRequest per device and polling
// interval, whose bindings depend on the node's MibType, and the SetRequests
// of the UPS command fan-out. Both build bytes in the caller's codec context
// and say where they go; the caller sends them.
#pragma once
#include <cstdint>
#include <string_view>

#include "core/device_node.h"
#include "devices/snmp/snmp_codec.h"
#include "devices/snmp/snmp_entry.h"
#include "devices/snmp/snmp_objects.h"

namespace lark {

inline constexpr uint16_t kSnmpDefaultPort = 161;
inline constexpr int kSnmpMaxBudget = kSnmpMaxBindings;  // bindings per GetRequest

// A built message and its destination. `bytes` views the codec's send
// buffer and stays valid until the codec is used again.
struct SnmpRequest {
  CBytes bytes;
  uint32_t address = 0;  // in_addr.s_addr, as the node keeps it
  uint16_t port = kSnmpDefaultPort;
};

enum class SnmpBuild {
  kReady,       // `out` holds the message
  kNoAddress,   // the node has no resolved address: nothing to send
  kDoesNotFit,  // the message does not fit its buffers
  kRefused,     // nothing to ask, or a SetRequest this device cannot take
};

// The request id of a message built at `tickMs`: its second, modulo 128.
inline int32_t SnmpRequestIdAt(uint32_t tickMs) { return static_cast<int32_t>((tickMs / 1000) & 127); }

// The node's GetRequest. MibType 5 and 8 ask the maker UPS MIB by the
// entry's poll masks, a budget of bindings at a time, from the cursor in the
// node's first two words; 6 the six device-MIB groups of its unit the same
// way; 7 the two sensor values; anything else the discovery objects. Moves
// the cursor. The traffic monitor, when set, sees each binding as Tx.
SnmpBuild SnmpPollDevice(SnmpCodec& codec, SnmpDeviceEntry& entry, DeviceNode& node,
                         uint32_t tickMs, const SnmpTrafficFn& traffic, SnmpRequest* out);

// One SetRequest: group 0 sets system item + 1; groups 1..10 set maker UPS
// item + 1 (MibType 5 only). The value is an INTEGER of the decimal text, or
// an OCTET STRING of the text when `objectName` begins with a double quote.
SnmpBuild SnmpBuildSet(SnmpCodec& codec, const DeviceNode& node, int group, int item,
                       std::string_view valueText, std::string_view objectName, uint32_t tickMs,
                       const SnmpTrafficFn& traffic, SnmpRequest* out);

}  // namespace lark
