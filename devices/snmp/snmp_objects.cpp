#include "devices/snmp/snmp_objects.h"

#include <algorithm>
#include <cstdio>

#include "devices/snmp/snmp_entry.h"

namespace lark {

namespace {

constexpr uint32_t kSystemPrefix[] = {1, 3, 6, 1, 2, 1, 1};
constexpr uint32_t kEnterprises[] = {1, 3, 6, 1, 4, 1};
constexpr uint32_t kMakerUpsPrefix[] = {1, 3, 6, 1, 4, 1, kMakerEnterprise, 2, 4};
constexpr uint32_t kDevicePrefix[] = {1, 3, 6, 1, 4, 1, kMakerEnterprise, 2, 20};
constexpr uint32_t kOtherUpsEnterprise = 311;

template <size_t N>
bool HasPrefix(std::span<const uint32_t> oid, const uint32_t (&prefix)[N]) {
  return oid.size() >= N && std::equal(prefix, prefix + N, oid.begin());
}

template <size_t N>
OidRef Build(const uint32_t (&prefix)[N], std::initializer_list<uint32_t> tail) {
  OidRef r;
  for (uint32_t a : prefix) r.arcs[r.count++] = a;
  for (uint32_t a : tail) r.arcs[r.count++] = a;
  return r;
}

}  // namespace

int ClassifyOid(std::span<const uint32_t> oid) {
  if (HasPrefix(oid, kSystemPrefix)) return kOidSystem;
  if (oid.size() < 9) return kOidOther;
  if (HasPrefix(oid, kEnterprises) && oid[6] == kOtherUpsEnterprise) return kOidMakerUps;
  if (HasPrefix(oid, kMakerUpsPrefix)) return kOidMakerUps;
  if (HasPrefix(oid, kDevicePrefix)) return kOidDeviceMib;
  return kOidOther;
}

bool DeviceMibHasItem(int group, int item) {
  switch (group) {
    case 1: return item >= 1 && item <= 2;
    case 2: return item >= 1 && item <= 4;
    case 3: return item >= 2 && item <= 13;
    case 4: return item >= 1 && item <= 4;
    case 5: return item >= 1 && item <= 2;
    case 6: return item >= 1 && item <= 15;
    default: return false;
  }
}

SnmpObject ParseSnmpObject(std::span<const uint32_t> n) {
  SnmpObject o;
  if (n.size() == 9 && HasPrefix(n, kSystemPrefix) && n[8] == 0) {
    o.cls = kOidSystem;
    o.item = n[7];
  } else if (n.size() == 12 && HasPrefix(n, kMakerUpsPrefix) && n[11] == 0) {
    uint32_t g = n[9], i = n[10];
    bool known = g >= 1 && g <= kMakerGroupCount &&
                 ((i >= 1 && i <= static_cast<uint32_t>(kSnmpGroupSizes[g])) ||
                  (g == 1 && i == kMakerIdentItem));
    if (known) {
      o.cls = kOidMakerUps;
      o.group = static_cast<int>(g);
      o.item = i;
    }
  } else if (n.size() == 13 && HasPrefix(n, kDevicePrefix) && n[12] == 0) {
    uint32_t g = n[10], i = n[11];
    if (g <= kDeviceGroupCount && i <= 64 &&
        DeviceMibHasItem(static_cast<int>(g), static_cast<int>(i))) {
      o.cls = kOidDeviceMib;
      o.unit = n[9];
      o.group = static_cast<int>(g);
      o.item = i;
    }
  }
  return o;
}

OidRef SystemOid(uint32_t item) { return Build(kSystemPrefix, {item, 0}); }
OidRef MakerOid(uint32_t group, uint32_t item) { return Build(kMakerUpsPrefix, {group, item, 0}); }
OidRef DeviceOid(uint32_t unit, uint32_t group, uint32_t item) {
  return Build(kDevicePrefix, {unit, group, item, 0});
}

OidRef DiscoveryOid(int index) {
  switch (index) {
    case 0: return SystemOid(kItemSysObjectId);
    case 1: return SystemOid(kItemSysContact);
    case 2: return SystemOid(kItemSysName);
    case 3: return SystemOid(kItemSysLocation);
    default: return MakerOid(1, kMakerIdentItem);
  }
}

int DiscoveryIndex(std::span<const uint32_t> name) {
  for (int i = 0; i < kDiscoveryCount; ++i) {
    OidRef r = DiscoveryOid(i);
    if (std::ranges::equal(r.span(), name)) return i;
  }
  return -1;
}

std::string SnmpOidMonitorText(std::span<const uint32_t> name) {
  std::string s;
  for (uint32_t a : name) s += std::to_string(a) + ".";
  if (!s.empty()) s.back() = '=';
  return s;
}

std::string EscapeMonitorText(std::string_view in) {
  std::string s;
  for (unsigned char c : in) {
    if (c < 0x20 || c == 0x7F || c == '\\') {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      s += hex;
    } else {
      s += static_cast<char>(c);
    }
  }
  return s;
}

std::string SnmpValueMonitorText(const SnmpVarBind& b) {
  std::string s;
  if (IsBerIntegerFamily(b.type)) {
    s = std::to_string(b.integer);
  } else if (b.type == kBerOctetString) {
    s = EscapeMonitorText(
        std::string_view(reinterpret_cast<const char*>(b.octets.data()), b.octets.size()));
  } else if (b.type == kBerIpAddress) {
    for (uint8_t o : b.octets) s += std::to_string(o) + " ";
  } else if (b.type == kBerOid) {
    for (uint32_t a : b.oid) s += std::to_string(a) + " ";
  }
  return s;
}

}  // namespace lark
