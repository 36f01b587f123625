// The device list's cells: one pure formatter from a snapshot of the node
// (kind, protocol, texts and its family's live-data block) to the text of a
// column, and the families the formatter and the sort keys tell apart.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "core/action_tables.h"
#include "core/device_node.h"

namespace lark {

// The column kinds a device-list column can show.
enum DeviceColumnId : int {
  kColTitle = 0,
  kColModel = 1,
  kColRatingVa = 2,
  kColUpsStatus = 3,
  kColBattStatus = 4,
  kColInVolt = 5,
  kColInAmp = 6,
  kColOutVolt = 7,
  kColOutAmp = 8,
  kColOutPower = 9,
  kColOutLoading = 10,
  kColBattVolt = 11,
  kColBattAmp = 12,
  kColBattCapacity = 13,
  kColBattRemaining = 14,
  kColAlarm = 15,
  kColLocation = 16,
};
inline constexpr int kDeviceColumnIds = 17;
inline constexpr size_t kCellTextMax = 255;

// Device families as the list tells them apart.
enum class DeviceFamily : uint8_t {
  kNone,  // a group, or a kind/protocol the list does not know
  kSnmp,
  kGprs,
  kAscii,     // CommType 0
  kPlc,       // CommType 4 (AsciiLiveData)
  kBinary,    // CommType 1
  kModbus,    // CommType 2
  kTrv5200,   // CommType 3
  kPw9315,    // CommType 5
  kInverter,  // CommType 6
  kSensor,    // CommType 7
  kMeter,     // CommType 8
  kMeterSum,  // CommType 9
};
DeviceFamily FamilyOf(uint8_t nodeKind, int16_t commType);
// The block kind a family's values are read from.
BlockKind FamilyBlock(DeviceFamily f);

// What the formatter and the comparator read of a node, copied once per
// refresh so a row's cells come from one consistent image of its block.
struct DeviceRowData {
  DeviceFamily family = DeviceFamily::kNone;
  uint8_t mibType = 0;
  uint8_t alarmLevel = kAlarmNone;
  std::string title;
  std::string location;
  uint64_t suppressed = 0;     // per-node alarm mask (event i skipped when bit i is set)
  std::vector<uint8_t> block;  // the family's block; empty when the node has none
};
DeviceRowData ReadDeviceRow(const DeviceNode& node);

// Cuts `s` to at most `max` bytes without splitting a UTF-8 sequence.
std::string CutText(std::string s, size_t max);

// Signed 32-bit value of the block at `off`; -1 past its end.
int32_t BlockValue(const DeviceRowData& d, size_t off);
// The text at `off` up to its terminator, the block's end or `max` bytes,
// cut at a character boundary.
std::string BlockText(const DeviceRowData& d, size_t off, size_t max);

// The texts the cells take from the language.
struct CellTexts {
  std::vector<std::string> upsStatus;         // eight, by UPS status code
  std::vector<std::string> batteryCondition;  // three, by battery code A
  std::vector<std::string> batteryLevel;      // three, by battery code B
  std::string notKnown;                       // [Summary] S_2
  const ActionTables* actions = nullptr;      // null: no alarm titles
};

// The text of column `id` for the row; "" for an id outside 0..16.
std::string FormatDeviceCell(const DeviceRowData& d, int id, const CellTexts& t);

}  // namespace lark
