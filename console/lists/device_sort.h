// The device list's order: the sort state of its ten columns, the header
// click that moves it, and the comparator over two rows' snapshots.
#pragma once
#include <array>
#include <cstdint>

#include "console/lists/device_cells.h"

namespace lark {

inline constexpr int kDeviceListColumns = 10;

// Per list column: 0 not the sort column, 1 ascending, 2 descending.
struct DeviceSortState {
  std::array<int, kDeviceListColumns> state{1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  // The first column with a state, -1 when none.
  int sortColumn() const;
  // A header click: the column steps 1 -> 2 -> 1 (a fresh column starts
  // ascending), every other column is cleared. Columns outside 0..9 are ignored.
  void click(int column);
};

using DeviceColumnMap = std::array<int, kDeviceListColumns>;

// The signed key of a numeric column id (2..14) for a row; 0 where the
// family has no such value or the node has no block.
int32_t DeviceSortKey(const DeviceRowData& d, int id);

// Negative puts `a` first. Compares values, never differences, so every
// pair of rows agrees with every other.
int CompareDeviceRows(const DeviceRowData& a, const DeviceRowData& b, int column,
                      const DeviceSortState& sort, const DeviceColumnMap& map);

}  // namespace lark
