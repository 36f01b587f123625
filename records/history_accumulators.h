// The day-totals files of inverters and sensors (AccumulatorFile) and their
// text twins.
//
// Records, little-endian, one per day on which a sample came, in date order;
// the last one is the current day's:
//   InverterAccRecord, 48 bytes       SensorAccRecord, 24 bytes
//   0 u16 year   2 u16 month          0 u16 year   2 u16 month
//   4 u16 day    6 u16 padding (0)    4 u16 day    6 u16 padding (0)
//   8 i32[10] day values              8 i32[4]: the day total, then 0, 0, 0
// Inverter values are slots 17, 19, 22..29 of the inverter's block.
// A file cut in the middle of a record (a crash) is cut back to whole records
// before it is read or written, so every later record stays aligned.
//
// Twin (CRLF), one line per finished day:  2024/03/02,v0,v1,...
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "core/history_family.h"
#include "platform/clock.h"

namespace lark {

inline constexpr size_t kInverterAccRecordSize = 48;
inline constexpr size_t kSensorAccRecordSize = 24;
inline constexpr int kInverterAccValues = 10;
inline constexpr int kSensorAccValues = 4;
namespace acc_off {
inline constexpr size_t kYear = 0, kMonth = 2, kDay = 4, kPadding = 6, kValues = 8;
}  // namespace acc_off
// The inverter slots the ten day values come from, in record order.
inline constexpr std::array<int, kInverterAccValues> kInverterAccSlots = {17, 19, 22, 23, 24,
                                                                          25, 26, 27, 28, 29};
// The sensor's day total slot.
inline constexpr int kSensorDayTotalSlot = 6;

struct AccRecord {
  uint16_t year = 0, month = 0, day = 0;
  std::array<int32_t, kInverterAccValues> values{};  // sensors use the first four
  bool operator==(const AccRecord&) const = default;
};

// 48 for inverters, 24 for sensors (kind kNone is not a file).
size_t AccRecordSize(HistoryAccumulator kind);
int AccValueCount(HistoryAccumulator kind);
// `out` holds AccRecordSize(kind) bytes.
void EncodeAccRecord(const AccRecord& r, HistoryAccumulator kind, Bytes out);
AccRecord DecodeAccRecord(CBytes in, HistoryAccumulator kind);
// "2024/03/02,1,2,3" without the line end.
std::string AccTwinLine(const AccRecord& r, HistoryAccumulator kind);

struct AccPaths {
  std::string file;  // <dir>/<map>/AccInverter_<id>.DAT or AccSensor_<id>.DAT
  std::string twin;  // the same with ".txt"
};
AccPaths AccumulatorPaths(std::string_view historyDir, std::string_view mapName, int id,
                          HistoryAccumulator kind);

// The inverter's record for `today`. `live` holds the ten source slots;
// `fillAllowed` is false while the inverter reports itself out of service,
// and then the record keeps its values. A record of an earlier day goes to
// the twin (with its own date) and a zero record for today follows.
void UpdateInverterAccumulator(const AccPaths& paths, const WallTime& today,
                               const std::array<int32_t, kInverterAccValues>& live,
                               bool fillAllowed);

// The sensor's record for `today` from its live day total. A missing twin is
// rebuilt from the finished days first. Returns the total the live slot must
// be raised to when the record holds more (the day total survives a restart),
// else nothing. `snmp`: an SNMP sensor's first record takes the live value
// even when it is negative.
std::optional<int32_t> UpdateSensorAccumulator(const AccPaths& paths, const WallTime& today,
                                               int32_t liveTotal, bool snmp);

}  // namespace lark
