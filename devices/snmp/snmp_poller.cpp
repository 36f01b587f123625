#include "devices/snmp/snmp_poller.h"

#include <algorithm>
#include <charconv>

#include "core/live_data.h"
#include "devices/snmp/snmp_live_data.h"

namespace lark {

namespace {

// Header of every request we send: version 0 (SNMPv1) whatever arrived last.
void StartMessage(SnmpCodec& codec, std::string_view community, uint8_t pdu, uint32_t tickMs) {
  codec.reset();
  codec.message = SnmpMessage{};
  codec.message.community =
      CBytes(reinterpret_cast<const uint8_t*>(community.data()), community.size());
  codec.message.pdu = pdu;
  codec.message.requestId = SnmpRequestIdAt(tickMs);
}

void LogTx(const SnmpTrafficFn& traffic, const OidRef& oid, std::string_view value = {}) {
  if (traffic) traffic(SnmpOidMonitorText(oid.span()) + EscapeMonitorText(value), 0);
}

bool AskNull(SnmpCodec& codec, const OidRef& oid, const SnmpTrafficFn& traffic) {
  LogTx(traffic, oid);
  return codec.addNull(oid.span());
}

SnmpBuild Finish(SnmpCodec& codec, const DeviceNode& node, SnmpRequest* out) {
  CBytes bytes;
  if (SnmpEncodeMessage(codec, &bytes) != 0) return SnmpBuild::kDoesNotFit;
  out->bytes = bytes;
  out->address = node.resolvedAddress();
  out->port = node.port() ? node.port() : kSnmpDefaultPort;
  return SnmpBuild::kReady;
}

int RequestBudget(const DeviceNode& node) {
  const LiveDataBlock* blk = node.block(BlockKind::kSnmp);
  int b = blk ? blk->i16(snmp_off::kRequestBudget) : kSnmpInitialRequestBudget;
  return std::clamp(b, 1, kSnmpMaxBudget);
}

// The cursor walk shared by the maker UPS and the device MIB: whole groups
// (from the cursor's place in the current one) while they fit the budget,
// then the rest of the budget from the group where it stopped. `count(j)`
// is how many objects group index j asks; `add(j, n)` adds its n-th (from 1).
// `onEmpty` runs at the 11th empty group in a row, i.e. when every group is
// empty: an agent that has only a few of the objects keeps being asked for
// those instead of starting over with the defaults whenever the walk passes
// the empty groups between them.
template <class Count, class Add, class OnEmpty>
bool WalkGroups(DeviceNode& node, int groups, int budget, Count count, Add add, OnEmpty onEmpty) {
  int p = node.snmpPollPosition();
  int j = node.snmpPollGroup();
  if (j >= groups) {  // a cursor from another MibType or a bad map
    j = 0;
    p = 0;
  }
  int filled = 0, empty = 0;
  for (;;) {
    int c = count(j);
    if (c == 0) {
      j = (j + 1) % groups;
      p = 0;
      if (++empty == 11) onEmpty();
      if (empty > groups + 11) return false;  // nothing to ask even after the defaults
      continue;
    }
    empty = 0;
    if (c < p) p = 0;
    if (filled + (c - p) > budget) break;
    for (int n = p + 1; n <= c; ++n) {
      if (!add(j, n)) return false;
    }
    filled += c - p;
    j = (j + 1) % groups;
    p = 0;
  }
  while (filled < budget) {
    ++p;
    if (!add(j, p)) return false;
    ++filled;
  }
  node.setSnmpPollPosition(static_cast<uint16_t>(p));
  node.setSnmpPollGroup(static_cast<uint16_t>(j));
  return true;
}

}  // namespace

SnmpBuild SnmpPollDevice(SnmpCodec& codec, SnmpDeviceEntry& entry, DeviceNode& node,
                         uint32_t tickMs, const SnmpTrafficFn& traffic, SnmpRequest* out) {
  if (node.resolvedAddress() == 0) return SnmpBuild::kNoAddress;
  std::string community = node.community();
  StartMessage(codec, community, kPduGetRequest, tickMs);
  const uint8_t mib = node.mibType();
  bool ok = true;
  if (mib == kMibMakerUps || mib == kMibRfc1628) {
    ok = WalkGroups(
        node, kMakerGroupCount, RequestBudget(node),
        [&](int j) { return SnmpCountMaskBits(entry, j + 1); },
        [&](int j, int n) {
          int bit = SnmpNthMaskBit(entry, j + 1, n);
          return bit >= 0 && AskNull(codec, MakerOid(j + 1, bit + 1), traffic);
        },
        [&] { SnmpSetDefaultMasks(entry); });
  } else if (mib == kMibInverter) {
    uint32_t unit = static_cast<uint32_t>(std::max<int16_t>(0, node.upsId()));
    ok = WalkGroups(
        node, kDeviceGroupCount, RequestBudget(node), [](int j) { return kDeviceGroupSizes[j]; },
        [&](int j, int n) { return AskNull(codec, DeviceOid(unit, j + 1, n), traffic); }, [] {});
  } else if (mib == kMibSensor) {
    ok = AskNull(codec, DeviceOid(kSensorUnit, 2, 3), traffic) &&
         AskNull(codec, DeviceOid(kSensorUnit, 2, 4), traffic);
  } else {
    for (int i = 0; i < kDiscoveryCount && ok; ++i) {
      if (!(entry.discoveryMissing & (1u << i))) ok = AskNull(codec, DiscoveryOid(i), traffic);
    }
    if (codec.bindingCount() == 0) return SnmpBuild::kRefused;
  }
  if (!ok) return SnmpBuild::kRefused;
  return Finish(codec, node, out);
}

SnmpBuild SnmpBuildSet(SnmpCodec& codec, const DeviceNode& node, int group, int item,
                       std::string_view valueText, std::string_view objectName, uint32_t tickMs,
                       const SnmpTrafficFn& traffic, SnmpRequest* out) {
  OidRef oid;
  if (group == 0 && item >= 0 && item < 255) {
    oid = SystemOid(static_cast<uint32_t>(item) + 1);
  } else if (group >= 1 && group <= kMakerGroupCount && node.mibType() == kMibMakerUps &&
             item >= 0 && item < kSnmpGroupSizes[group]) {
    oid = MakerOid(static_cast<uint32_t>(group), static_cast<uint32_t>(item) + 1);
  } else {
    return SnmpBuild::kRefused;
  }
  if (node.resolvedAddress() == 0) return SnmpBuild::kNoAddress;
  std::string community = node.community();
  StartMessage(codec, community, kPduSetRequest, tickMs);
  bool added;
  if (!objectName.empty() && objectName[0] == '"') {
    added = codec.addOctets(oid.span(),
                            CBytes(reinterpret_cast<const uint8_t*>(valueText.data()), valueText.size()));
  } else {
    int32_t v = 0;
    auto [end, ec] = std::from_chars(valueText.data(), valueText.data() + valueText.size(), v);
    if (ec != std::errc() || end != valueText.data() + valueText.size()) return SnmpBuild::kRefused;
    added = codec.addInteger(oid.span(), v);
  }
  if (!added) return SnmpBuild::kDoesNotFit;
  LogTx(traffic, oid, valueText);
  return Finish(codec, node, out);
}

}  // namespace lark
