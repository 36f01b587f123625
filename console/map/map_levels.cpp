#include "console/map/map_levels.h"

#include <algorithm>

#include <cctype>

namespace lark {

namespace {

bool Bit(uint64_t m, int b) { return ((m >> b) & 1u) != 0; }

// The node's own event mask (the four PLC.UPSID words): a set bit keeps
// event i out of the level.
uint64_t ExcludedEvents(const DeviceNode& node) {
  uint64_t m = 0;
  for (int w = 0; w < 4; ++w) m |= uint64_t{static_cast<uint16_t>(node.plcUpsId(w))} << (16 * w);
  return m;
}

// The lowest level of rows 2i of the events set in `mask`, below `events`;
// `ignored(i)` gives an event contribution 2.
template <class Ignored>
uint8_t ScanLevel(uint64_t mask, int events, std::string_view family,
                  const ActionLevelSource& levels, Ignored ignored) {
  uint8_t level = kAlarmNone;
  for (int i = 0; i < events && i < 64; ++i) {
    if (!Bit(mask, i) || ignored(i)) continue;
    level = std::min(level, levels.ActionRowLevel(family, 2 * i));
  }
  return level;
}

uint8_t ScanLevel(uint64_t mask, int events, std::string_view family,
                  const ActionLevelSource& levels) {
  return ScanLevel(mask, events, family, levels, [](int) { return false; });
}

uint8_t DeviceLevel(DeviceNode& node, const ActionLevelSource& levels) {
  if (node.nodeKind() == kNodeSnmp) {
    const LiveDataBlock* b = node.block(BlockKind::kSnmp);
    if (!b) return kAlarmNone;
    const uint64_t m = b->mask(MaskWord::kReported);
    if (node.mibType() == kMibInverter) return ScanLevel(m, 17, "inverter", levels);
    const uint64_t excluded = ExcludedEvents(node);
    return ScanLevel(m, 36, "snmpv4", levels,
                     [&](int i) { return Bit(excluded, i) || (i == 16 && Bit(m, 23)); });
  }
  if (node.nodeKind() == kNodeGprs) {
    const LiveDataBlock* b = node.block(BlockKind::kGprs);
    if (!b) return kAlarmNone;
    const uint64_t m = b->mask(MaskWord::kReported);
    return ScanLevel(m, 26, "gprs", levels, [&](int i) { return i == 23 && Bit(m, 16); });
  }
  if (node.nodeKind() != kNodeSerial) return kAlarmNone;
  // A device whose block does not match its CommType (changed by an edit)
  // has no data yet: no alarm.
  bool hasBlock = false;
  const BlockKind kind = PrimaryBlockKind(node, &hasBlock);
  LiveDataBlock* b = hasBlock ? node.block(kind) : nullptr;
  if (!b) return kAlarmNone;
  const uint64_t m = b->mask(MaskWord::kReported);
  switch (node.commType()) {
    case kCommAscii:
    case kCommModbusUps: {
      const uint64_t ext = b->mask(MaskWord::kExtReported);
      const bool any = (ext & 0x0FFFFFFFu) != 0;
      b->updateMask(MaskWord::kCurrent, [&](uint64_t c) {
        return any ? (c | (uint64_t{1} << 25)) : (c & ~(uint64_t{1} << 25));
      });
      return std::min(ScanLevel(m, 26, "regular", levels, [&](int i) { return i == 23 && Bit(m, 16); }),
                      ScanLevel(ext, 33, "regularplus", levels));
    }
    case kCommThreePhase: {
      const uint64_t ext = b->mask(MaskWord::kExtReported);
      b->updateMask(MaskWord::kCurrent, [&](uint64_t c) {
        return ext != 0 ? (c | (uint64_t{1} << 15)) : (c & ~(uint64_t{1} << 15));
      });
      return std::min(ScanLevel(m, 24, "3phase", levels, [&](int i) { return i == 12 && Bit(m, 6); }),
                      ScanLevel(ext, 52, "3phaseplus", levels));
    }
    case kCommModbusTrv5200: {
      const uint64_t excluded = ExcludedEvents(node);
      return ScanLevel(m, 37, "mge", levels, [&](int i) { return Bit(excluded, i); });
    }
    case kCommPlc:
      return ScanLevel(m, 2, "plc", levels);
    case kCommModbus9315:
      return ScanLevel(m, 41, "pw", levels);
    case kCommInverter:
      return ScanLevel(m, 17, "inverter", levels);
    case kCommSensor:
      return ScanLevel(m & 0x3Fu, 6, "sensor", levels);
    case kCommMeter:
      return ScanLevel(m & 0x1u, 1, "meter", levels);
    default:
      return kAlarmNone;
  }
}

}  // namespace

uint8_t UpdateAlarmLevel(DeviceNode& node, const ActionLevelSource& levels) {
  uint8_t level = kAlarmNone;
  if (node.isGroup()) {
    for (const auto& c : node.children()) level = std::min(level, UpdateAlarmLevel(*c, levels));
  } else {
    level = DeviceLevel(node, levels);
  }
  node.setAlarmLevel(level);
  return level;
}

uint64_t NodeSupportMask(const DeviceNode& node) {
  // The service's mask but for SNMP sensors (two parameters) and serial
  // sensors (none unless of type 0).
  if (node.nodeKind() == kNodeSnmp && node.mibType() == kMibSensor) return 0x3;
  if (node.nodeKind() == kNodeSerial && node.commType() == kCommSensor) {
    return node.sensorType() == 0 ? 0x7F : 0;
  }
  return Tree_SupportedParamMask(node);
}

int IsInverterOrSensor(const DeviceNode& node) {
  if (node.nodeKind() == kNodeSerial) {
    return node.commType() == kCommInverter || node.commType() == kCommSensor ? 1 : 0;
  }
  if (node.nodeKind() == kNodeSnmp) {
    return node.mibType() == kMibInverter || node.mibType() == kMibSensor ? 1 : 0;
  }
  return 0;
}

DeviceNode* FindDeviceByIp(int32_t excludedId, std::string_view ip, DeviceNode& start) {
  const auto same = [](std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return std::tolower(static_cast<unsigned char>(x)) ==
                    std::tolower(static_cast<unsigned char>(y));
           });
  };
  if (!start.isGroup() && start.id() != static_cast<int16_t>(excludedId) && same(start.ip(), ip)) {
    return &start;
  }
  for (const auto& c : start.children()) {
    if (DeviceNode* found = FindDeviceByIp(excludedId, ip, *c)) return found;
  }
  return nullptr;
}

}  // namespace lark
