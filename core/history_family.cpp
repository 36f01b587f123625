#include "core/history_family.h"

#include <algorithm>

#include "core/device_node.h"
#include "core/device_tree.h"
#include "platform/paths.h"

namespace lark {

namespace {

constexpr uint8_t kX10General[] = {30, 34, 35, 39, 40, 45, 49, 53, 62,
                                   63, 66, 67, 70, 71, 79, 82, 85, 89};
constexpr uint8_t kX10BinaryExcept[] = {42, 46, 50, 58};
constexpr uint8_t kX10Trv5200Except[] = {50, 51, 52, 53};
constexpr uint8_t kX10Modbus9315[] = {8, 21};
constexpr uint8_t kX10Inverter[] = {2, 5, 8, 12, 13, 16};
constexpr uint8_t kX10Snmp[] = {42, 43, 46, 47, 50, 51, 56, 59, 62, 67, 70, 71, 74, 75};

constexpr uint64_t Bit(int n) { return uint64_t{1} << n; }

HistoryLayout Serial(std::string_view family, int values, BlockKind source, int slots,
                     HistorySlotMap map, std::span<const uint8_t> x10, bool allBut, int lossBit,
                     uint64_t lostBits) {
  HistoryLayout l;
  l.family = family;
  l.recorded = true;
  l.separator = '\t';
  l.valueCount = values;
  l.source = source;
  l.sourceSlots = slots;
  l.map = map;
  l.x10List = x10;
  l.x10AllBut = allBut;
  l.lossBit = lossBit;
  l.lostBits = lostBits;
  return l;
}

// Inverters, sensors, meters: commas, ".DAT.txt", same-index slots.
HistoryLayout Field(std::string_view family, int values, BlockKind source,
                    std::span<const uint8_t> x10, int lossBit, uint64_t lostBits,
                    HistoryAccumulator acc) {
  HistoryLayout l = Serial(family, values, source, values, HistorySlotMap::kSameIndex, x10, false,
                           lossBit, lostBits);
  l.separator = ',';
  l.textName = true;
  l.accumulator = acc;
  return l;
}

}  // namespace

bool HistoryLayout::x10(int slot) const {
  const bool listed = std::find(x10List.begin(), x10List.end(), slot) != x10List.end();
  return listed != x10AllBut;
}

int HistoryLayout::column(int slot) const {
  if (slot < 0 || slot >= sourceSlots) return -1;
  int c = slot;
  if (map == HistorySlotMap::kSnmp) c = SnmpSlotParameter(slot);
  if (map == HistorySlotMap::kSerial) c = GeneralSlotParameter(slot);
  return c < valueCount ? c : -1;
}

HistoryLayout HistoryLayoutOf(uint8_t nodeKind, int16_t commType, uint8_t mibType) {
  using M = HistorySlotMap;
  using A = HistoryAccumulator;
  switch (nodeKind) {
    case kNodeSnmp:
      if (mibType == kMibSensor) {
        return Field("sensor", 7, BlockKind::kSnmp, {}, -1, Bit(0) | Bit(1), A::kSensor);
      }
      if (mibType == kMibInverter) {
        return Field("inverter", 17, BlockKind::kSnmp, kX10Inverter, 16, Bit(16) | Bit(27),
                     A::kInverter);
      }
      return Serial("snmp", 48, BlockKind::kSnmp, kSnmpSlotCount, M::kSnmp, kX10Snmp, false, 0,
                    Bit(0) | Bit(28));
    case kNodeGprs:
      return Serial("gprs", 54, BlockKind::kGprs, kGprsSlotCount, M::kSerial, kX10General, false,
                    24, Bit(24));
    case kNodeSerial:
      break;
    default:
      return {};
  }
  switch (commType) {
    case kCommAscii:
      return Serial("regular", 54, BlockKind::kAscii, kAsciiSlotCount, M::kSerial, kX10General,
                    false, 24, Bit(24));
    case kCommThreePhase:
      return Serial("regular", 54, BlockKind::kBinary, kBinarySlotCount, M::kSerial,
                    kX10BinaryExcept, true, 13, Bit(13));
    case kCommModbusUps:
      return Serial("regular", 54, BlockKind::kModbus, kModbusSlotCount, M::kSerial, kX10General,
                    false, 24, Bit(24));
    case kCommModbusTrv5200:
      return Serial("mge", 56, BlockKind::kModbus, 56, M::kSameIndex, kX10Trv5200Except, true, 36,
                    Bit(36));
    case kCommPlc: {
      HistoryLayout l;
      l.family = "regular";  // a table family, but never a sample
      return l;
    }
    case kCommModbus9315:
      return Serial("pw", 34, BlockKind::kModbus, 34, M::kSameIndex, kX10Modbus9315, false, 40,
                    Bit(40));
    case kCommInverter:
      return Field("inverter", 17, BlockKind::kModbus, kX10Inverter, 16, Bit(16), A::kInverter);
    case kCommSensor:
      return Field("sensor", 7, BlockKind::kSensor, {}, -1, 0, A::kSensor);
    case kCommMeter: {
      HistoryLayout l = Field("meter", 10, BlockKind::kMeter, {}, -1, Bit(0), A::kNone);
      l.lostEveryPeriod = true;
      return l;
    }
    case kCommMeterSum:
      return Field("metergrp", 4, BlockKind::kMeterSum, {}, -1, 0, A::kNone);
    default:
      return {};
  }
}

std::string HistoryMonthFileName(const HistoryLayout& layout, int month) {
  return std::to_string(month) + (layout.textName ? ".DAT.txt" : ".DAT");
}

std::string HistoryMonthFilePath(std::string_view historyDir, std::string_view mapName, int id,
                                 int year, int month, const HistoryLayout& layout) {
  std::string path = JoinPath(ToSlash(historyDir), mapName);
  path = JoinPath(path, std::to_string(id));
  path = JoinPath(path, std::to_string(year));
  return JoinPath(path, HistoryMonthFileName(layout, month));
}

}  // namespace lark
