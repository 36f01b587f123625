#include "console/lists/device_sort.h"

#include <algorithm>
#include <string>

namespace lark {

int DeviceSortState::sortColumn() const {
  for (int c = 0; c < kDeviceListColumns; ++c)
    if (state[c] > 0) return c;
  return -1;
}

void DeviceSortState::click(int column) {
  if (column < 0 || column >= kDeviceListColumns) return;
  int s = state[column] + 1;
  if (s > 2) s = 1;
  state.fill(0);
  state[column] = s;
}

namespace {

// Key offsets by family for the numeric ids Rating VA (2) .. Batt Remaining (14).
using KeyRow = std::array<uint16_t, 13>;
constexpr KeyRow kSnmpKeys{240, 388, 520, 356, 360, 400, 404, 408, 412, 512, 516, 520, 508};
constexpr KeyRow kSnmpInverterKeys{0, 300, 304, 284, 288, 292, 308, 316, 276, 280, 312, 0, 0};
constexpr KeyRow kSnmpSensorKeys{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 240};
constexpr KeyRow kGprsKeys{84, 296, 208, 240, 244, 308, 312, 316, 320, 196, 200, 208, 188};
constexpr KeyRow kAsciiKeys{280, 492, 404, 436, 440, 504, 508, 512, 516, 392, 396, 404, 384};
constexpr KeyRow kBinaryKeys{296, 508, 420, 452, 456, 520, 524, 528, 532, 408, 412, 420, 0};
constexpr KeyRow kInverterKeys{348, 324, 328, 308, 312, 316, 332, 340, 300, 304, 336, 0, 0};
constexpr KeyRow kSensorKeys{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16};

const KeyRow* KeysOf(const DeviceRowData& d) {
  switch (d.family) {
    case DeviceFamily::kSnmp:
      return d.mibType == kMibInverter ? &kSnmpInverterKeys
             : d.mibType == kMibSensor ? &kSnmpSensorKeys
                                       : &kSnmpKeys;
    case DeviceFamily::kGprs:
      return &kGprsKeys;
    case DeviceFamily::kAscii:
    case DeviceFamily::kPlc:
    case DeviceFamily::kModbus:
    case DeviceFamily::kTrv5200:
    case DeviceFamily::kPw9315:
      return &kAsciiKeys;  // the Modbus families take the same offsets
    case DeviceFamily::kBinary:
      return &kBinaryKeys;
    case DeviceFamily::kInverter:
      return &kInverterKeys;
    case DeviceFamily::kSensor:
      return &kSensorKeys;
    default:
      return nullptr;
  }
}

// The low word of the alarm mask the column sorts by.
uint32_t AlarmKey(const DeviceRowData& d) {
  switch (d.family) {
    case DeviceFamily::kSnmp:
      return static_cast<uint32_t>(BlockValue(d, 8));
    case DeviceFamily::kGprs:
    case DeviceFamily::kAscii:
    case DeviceFamily::kPlc:
    case DeviceFamily::kBinary:
    case DeviceFamily::kModbus:
    case DeviceFamily::kTrv5200:
    case DeviceFamily::kPw9315:
      return d.block.size() >= 4 ? static_cast<uint32_t>(BlockValue(d, 0)) : 0;
    default:
      return 0;
  }
}

std::string SortText(const DeviceRowData& d, int id) {
  if (id == kColTitle) return d.title;
  if (id == kColLocation) return FormatDeviceCell(d, kColLocation, CellTexts());
  return FormatDeviceCell(d, kColModel, CellTexts());  // empty for families without one
}

// Byte-wise comparison with ASCII letters folded to lower case.
int CompareNoCase(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    auto lower = [](char c) -> int {
      const auto u = static_cast<unsigned char>(c);
      return u >= 'A' && u <= 'Z' ? u + 32 : u;
    };
    if (const int r = lower(a[i]) - lower(b[i]); r != 0) return r < 0 ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

template <class T>
int Order(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

int32_t DeviceSortKey(const DeviceRowData& d, int id) {
  if (id < kColRatingVa || id > kColBattRemaining) return 0;
  const KeyRow* keys = KeysOf(d);
  if (keys == nullptr) return 0;
  const uint16_t off = (*keys)[static_cast<size_t>(id - kColRatingVa)];
  if (off == 0 || off + 4u > d.block.size()) return 0;
  return BlockValue(d, off);
}

int CompareDeviceRows(const DeviceRowData& a, const DeviceRowData& b, int column,
                      const DeviceSortState& sort, const DeviceColumnMap& map) {
  if (column < 0 || column >= kDeviceListColumns) return 0;
  const int d = sort.state[column] == 1 ? 1 : -1;
  if (column == 0) return d * Order(a.alarmLevel, b.alarmLevel);
  const int id = map[column];
  if (id < 0 || id > kColLocation) return 0;
  switch (id) {
    case kColTitle:
    case kColModel:
    case kColLocation: {
      return d * CompareNoCase(SortText(a, id), SortText(b, id));
    }
    case kColAlarm:
      return d * Order(AlarmKey(a), AlarmKey(b));
    default:
      return d * Order(DeviceSortKey(a, id), DeviceSortKey(b, id));
  }
}

}  // namespace lark
