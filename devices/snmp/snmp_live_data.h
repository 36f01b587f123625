// Field offsets of SnmpLiveData, the 888-byte block of an SNMP device. The
// block is sent raw to the consoles, so these offsets are a shared format.
//
//   0 u8 identification code     8 u64 last-reported mask  16 u64 current mask
//  24 i32[28] maker alarm words  168 u8[35] debounce and poll counters
// 240 i32[88] value slots        592..876 texts (below)
// 878 u16 running-state minutes  880 u32 illumination tick  884 i16 request budget
#pragma once
#include <cstddef>
#include <cstdint>

namespace lark::snmp_off {

inline constexpr size_t kIdentCode = 0;       // u8, maker group 1 item 100
inline constexpr size_t kAlarmWords = 24;     // i32[28], maker group 9 items 1..28
inline constexpr size_t kCounters = 168;      // u8[35]
inline constexpr size_t kCountersEnd = 203;
inline constexpr size_t kSensorPollCounter1 = 168;  // u8, MibType 7
inline constexpr size_t kSensorPollCounter2 = 169;  // u8, MibType 7
inline constexpr size_t kText7Item10 = 592, kText7Item10Size = 9;
inline constexpr size_t kDateText = 601, kDateTextSize = 9;  // YYYYMMDD
inline constexpr size_t kText1Item1 = 610, kText1Item1Size = 17;
inline constexpr size_t kText1Item2 = 627, kText1Item2Size = 17;  // inverter: "%dW"
inline constexpr size_t kText1Item3 = 644, kText1Item3Size = 17;  // inverter: model text
inline constexpr size_t kFirmware = 661, kFirmwareSize = 16;
inline constexpr size_t kText1Item6 = 677, kText1Item6Size = 65;
inline constexpr size_t kSysName = 742, kSysNameSize = 32;
inline constexpr size_t kSysLocation = 780, kSysLocationSize = 65;
inline constexpr size_t kSysContact = 845, kSysContactSize = 33;
inline constexpr size_t kRunMinutes = 878;        // u16, MibType 6
inline constexpr size_t kIlluminationTick = 880;  // u32, MibType 7; 0 = none yet
inline constexpr size_t kRequestBudget = 884;     // i16

// Current-mask bits the SNMP code names.
inline constexpr uint64_t kNoResponseBit = uint64_t{1} << 28;
inline constexpr int kDateDueBit = 35;

}  // namespace lark::snmp_off
