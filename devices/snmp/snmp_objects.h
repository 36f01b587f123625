// The objects the SNMP manager knows by name: the MIB-II system group, the
// maker's UPS MIB (1.3.6.1.4.1.7321.2.4.<group>.<item>.0) and the maker's
// device MIB for inverters and sensors (1.3.6.1.4.1.7321.2.20.<unit>.<group>.<item>.0),
// and the texts of object identifiers and values for the traffic monitor.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "devices/snmp/snmp_codec.h"

namespace lark {

inline constexpr uint32_t kMakerEnterprise = 7321;
inline constexpr int kMakerGroupCount = 10;        // groups 1..10 are polled
inline constexpr uint32_t kMakerIdentItem = 100;   // group 1 item 100, identification code
inline constexpr int kDeviceGroupCount = 6;
inline constexpr std::array<int, kDeviceGroupCount> kDeviceGroupSizes{2, 4, 13, 4, 2, 16};
inline constexpr uint32_t kSensorUnit = 100;   // unit arc of the sensor objects
inline constexpr int16_t kSensorUpsId = 32;    // the node that takes unit 100

// System group items (the arc after 1.3.6.1.2.1.1).
enum SysItem : uint32_t { kItemSysObjectId = 2, kItemSysContact = 4, kItemSysName = 5, kItemSysLocation = 6 };

// Classes of ClassifyOid.
enum SnmpOidClass : int { kOidOther = 0, kOidSystem = 1, kOidMakerUps = 2, kOidDeviceMib = 3 };

// By prefix, as a sysObjectID is read: 1 system group, 2 maker UPS MIB (or
// enterprise 311), 3 device MIB, 0 other.
int ClassifyOid(std::span<const uint32_t> oid);

// A binding name the handler may act on: the class, and the arcs that index
// tables. Anything but the exact shapes below is class 0.
//   1: 1.3.6.1.2.1.1.<item>.0
//   2: 1.3.6.1.4.1.7321.2.4.<group 1..10>.<item of the group, or 1.100>.0
//   3: 1.3.6.1.4.1.7321.2.20.<unit>.<group 1..6>.<item of the device table>.0
struct SnmpObject {
  int cls = kOidOther;
  uint32_t unit = 0;  // class 3
  int group = 0;      // class 2 and 3
  uint32_t item = 0;  // class 1, 2, 3
};
SnmpObject ParseSnmpObject(std::span<const uint32_t> name);

// Whether the device MIB stores group g item i.
bool DeviceMibHasItem(int group, int item);

// Arcs of the objects the poller asks for.
using OidArcs = std::array<uint32_t, 13>;
struct OidRef {
  OidArcs arcs{};
  size_t count = 0;
  std::span<const uint32_t> span() const { return {arcs.data(), count}; }
};
OidRef SystemOid(uint32_t item);
OidRef MakerOid(uint32_t group, uint32_t item);
OidRef DeviceOid(uint32_t unit, uint32_t group, uint32_t item);

// The discovery request's objects, in order: sysObjectID, sysContact, sysName,
// sysLocation and the maker's identification code.
inline constexpr int kDiscoveryCount = 5;
OidRef DiscoveryOid(int index);
// Place of `name` in the discovery request, -1 when it is none of them.
int DiscoveryIndex(std::span<const uint32_t> name);

// Traffic monitor: one call per binding with its text; direction 0 Tx, 1 Rx.
using SnmpTrafficFn = std::function<void(std::string_view text, int direction)>;

// "1.3.6.1.2.1.1.5.0=": each sub-identifier followed by ".", the last "." as "=".
std::string SnmpOidMonitorText(std::span<const uint32_t> name);
// The binding's value as the monitor shows it: INTEGER family "%d", strings
// up to their length with control bytes and "\" escaped as \xNN, IpAddress
// octets and OID arcs each "%d ", NULL nothing.
std::string SnmpValueMonitorText(const SnmpVarBind& b);
// Bytes from outside as one safe line: control bytes and "\" as \xNN.
std::string EscapeMonitorText(std::string_view s);

}  // namespace lark
