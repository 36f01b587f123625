// What a device's history sample holds, decided once per device family: the
// table family word, the month file's separator, value count and name, the
// source block and slots, the slot map, the x10 slots, the writer's own loss
// bit, the recorder's lost test and the day-totals file. The history
// recorder, the database rows and the history viewer all ask this one table.
//
// A month file (CRLF lines, fields joined by the separator):
//   0                                     first line: the NodeKind
//   3<TAB>14<TAB>5<TAB>0<TAB>v0<TAB>...   day, hour, minute, second, values
// Inverters, sensors and meters use commas and a ".DAT.txt" name.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/live_data.h"

namespace lark {

// How source slots become columns.
enum class HistorySlotMap : uint8_t {
  kSameIndex,  // slot i is column i
  kSnmp,       // SnmpSlotParameter
  kSerial,     // GeneralSlotParameter (ASCII, binary, Modbus UPS, GPRS)
};

// The day-totals file a family keeps beside its month files.
enum class HistoryAccumulator : uint8_t { kNone, kInverter, kSensor };

struct HistoryLayout {
  std::string_view family;  // table family word ("snmp", "regular", ...); empty: no family
  bool recorded = false;    // false: groups, CommType 4 and unknown kinds
  bool textName = false;    // month file named "%d.DAT.txt"
  char separator = '\t';    // ',' or '\t'
  int valueCount = 0;       // values after the four time fields
  BlockKind source = BlockKind::kAscii;
  int sourceSlots = 0;  // slots 0..sourceSlots-1 of the source block
  HistorySlotMap map = HistorySlotMap::kSameIndex;
  std::span<const uint8_t> x10List;  // source slots scaled by 10 (or every slot but these)
  bool x10AllBut = false;
  int lossBit = -1;              // the writer's own loss bit of the reported mask; -1 none
  uint64_t lostBits = 0;         // the recorder's lost test: any of these bits set
  bool lostEveryPeriod = false;  // a lost meter marks every period, not once
  HistoryAccumulator accumulator = HistoryAccumulator::kNone;

  // Whether source slot `slot` is multiplied by 10.
  bool x10(int slot) const;
  // Column of source slot `slot`, or -1 when it is not recorded.
  int column(int slot) const;
};

// The layout of a node of `nodeKind` (0 serial, 1 group, 2 SNMP, 3 GPRS).
HistoryLayout HistoryLayoutOf(uint8_t nodeKind, int16_t commType, uint8_t mibType);

// "<month>.DAT" or "<month>.DAT.txt".
std::string HistoryMonthFileName(const HistoryLayout& layout, int month);
// <history dir>/<map>/<id>/<year>/<month>.DAT[.txt]; a '\' in the folder becomes '/'.
std::string HistoryMonthFilePath(std::string_view historyDir, std::string_view mapName, int id,
                                 int year, int month, const HistoryLayout& layout);

}  // namespace lark
