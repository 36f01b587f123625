// Live-data blocks arrive from the service whole: random blocks of every
// family (and blocks of the wrong size, as after a protocol edit) through
// every device-list column and the comparator.
#include <cstdint>
#include <cstring>

#include "console/lists/device_cells.h"
#include "console/lists/device_sort.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lark;
  if (size < 4) return 0;
  static const ActionTables actions;
  CellTexts texts;
  texts.upsStatus = {"a", "b"};
  texts.batteryCondition = {"c"};
  texts.notKnown = "?";
  texts.actions = &actions;

  // Byte 0 the family of row A, byte 1 of row B, byte 2 the MIB type, byte 3
  // the sort column and state; the rest splits into the two blocks.
  const int families = static_cast<int>(DeviceFamily::kMeterSum) + 1;
  DeviceRowData rows[2];
  const size_t half = (size - 4) / 2;
  for (int k = 0; k < 2; ++k) {
    DeviceRowData& d = rows[k];
    d.family = static_cast<DeviceFamily>(data[k] % families);
    d.mibType = data[2];
    d.alarmLevel = data[k] % 3;
    d.title = k == 0 ? "A" : "b";
    d.suppressed = data[3] * 0x0101010101010101ull;
    const uint8_t* src = data + 4 + k * half;
    const size_t n = (data[k] & 0x80) ? half : std::min(half, BlockSize(FamilyBlock(d.family)));
    d.block.assign(src, src + n);
    if (!(data[k] & 0x80)) d.block.resize(BlockSize(FamilyBlock(d.family)), 0xff);
    for (int id = -1; id <= kDeviceColumnIds; ++id) {
      const std::string cell = FormatDeviceCell(d, id, texts);
      if (cell.size() > kCellTextMax) __builtin_trap();
    }
  }
  DeviceSortState sort;
  for (int c = 0; c < (data[3] & 3); ++c) sort.click(data[3] >> 4 & 0xf);
  const DeviceColumnMap map{-1, 0, 1, 2, 5, 8, 11, 14, 15, 16};
  for (int column = 0; column < kDeviceListColumns; ++column) {
    const int ab = CompareDeviceRows(rows[0], rows[1], column, sort, map);
    const int ba = CompareDeviceRows(rows[1], rows[0], column, sort, map);
    if ((ab < 0) != (ba > 0) || (ab == 0) != (ba == 0)) __builtin_trap();  // antisymmetric
  }
  return 0;
}
