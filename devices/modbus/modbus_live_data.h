// Field layout of the three live-data blocks the Modbus RTU master fills.
// The blocks are wire images (sent raw to the consoles and the shared memory,
// recorded by the history): the offsets below are format.
//
// ModbusLiveData (1448 bytes; CommType 2, 3, 5, 6):
//    0 u32x2 reported EventMask        8 u32x2 current EventMask
//   16 u32x2 extended reported        24 u32x2 extended current (CommType 2)
//  152 u8 lost count (6)  160 u8 lost count (2)  172 u8 (3)  176 u8 (5)
//  188 u8x28 module debounce counters (CommType 2)
//  216 u8 debounced states of the two sources of extended bit 0 (CommType 2)
//  256 u32x2 capability word          264 i32x178 value slots (-1 unknown)
//  976 char[9] first date  985 char[9] second date
//  994 char[17] make      1011 char[17] model      1028 char[17] third text
// 1068 u16 time-out count 1070 i16 poll step       1072 i16 queue count
// 1074 10 x 32 bytes queued PDUs                   1396 u32x10 their lengths
// 1436 i32 device subtype 1442 u16 grace count (CommType 6)
//
// SensorLiveData (92 bytes; CommType 7):
//    0 u8 reported mask  1 u8 current mask (bit i = point i lost)
//    2 u8x6 point loss counters        16 i32x7 value slots
//   61 char[17] model text             78 u16 time-out count
//   80 u16 function  82 i16 start register  84 i16 quantity
//   88 u32 tick of the last integration step (0 = none)
//
// MeterLiveData (52 bytes; CommType 8):
//    0 u8 reported mask  1 u8 current mask (bit 0 = link lost)  2 u8 lost count
//    4 i32x10 value slots  48 u16 time-out count  50 i16 poll step
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/live_data.h"

namespace lark {

namespace mb_off {
inline constexpr size_t kReportedMask = 0;       // u64
inline constexpr size_t kCurrentMask = 8;        // u64
inline constexpr size_t kExtCurrentMask = 24;    // u64
inline constexpr size_t kLostInverter = 152;     // u8
inline constexpr size_t kLostUps = 160;          // u8
inline constexpr size_t kLostTrv5200 = 172;      // u8
inline constexpr size_t kLost9315 = 176;         // u8
inline constexpr size_t kModuleCounters = 188;   // u8[28]
inline constexpr size_t kSharedBitStates = 216;  // u8: bit 0 module alarms, bit 1 module states
inline constexpr size_t kCapabilities = 256;     // u64
inline constexpr size_t kSlots = 264;            // i32[178]
inline constexpr size_t kFirstDate = 976, kSecondDate = 985, kDateSize = 9;
inline constexpr size_t kMake = 994, kModel = 1011, kThirdText = 1028, kTextSize = 17;
inline constexpr size_t kTimeoutCount = 1068;  // u16
inline constexpr size_t kPollStep = 1070;      // i16
inline constexpr size_t kQueueCount = 1072;    // i16
inline constexpr size_t kQueue = 1074;         // 10 x 32 bytes
inline constexpr size_t kQueueLengths = 1396;  // u32[10]
inline constexpr size_t kSubtype = 1436;       // i32
inline constexpr size_t kGraceCount = 1442;    // u16
}  // namespace mb_off

namespace sensor_off {
inline constexpr size_t kReportedMask = 0;   // u8
inline constexpr size_t kCurrentMask = 1;    // u8
inline constexpr size_t kPointCounters = 2;  // u8[6]
inline constexpr size_t kSlots = 16;         // i32[7]
inline constexpr size_t kModel = 61;
inline constexpr size_t kTimeoutCount = 78;  // u16
inline constexpr size_t kFunction = 80;      // u16
inline constexpr size_t kStart = 82;         // i16
inline constexpr size_t kQuantity = 84;      // i16
inline constexpr size_t kTick = 88;          // u32
}  // namespace sensor_off

namespace meter_off {
inline constexpr size_t kReportedMask = 0;   // u8
inline constexpr size_t kCurrentMask = 1;    // u8
inline constexpr size_t kLost = 2;           // u8
inline constexpr size_t kSlots = 4;          // i32[10]
inline constexpr size_t kTimeoutCount = 48;  // u16
inline constexpr size_t kPollStep = 50;      // i16
}  // namespace meter_off

inline constexpr int kModbusQueueDepth = 10;
inline constexpr size_t kModbusQueueEntrySize = 32;
inline constexpr int kModbusLostLimit = 3;  // lost count ceiling
inline constexpr int kModbusSlotTotal = 178;
inline constexpr int kSensorSlotTotal = 7;
inline constexpr int kMeterSlotTotal = 10;

static_assert(mb_off::kSlots == kModbusSlotOffset);
static_assert(mb_off::kQueueLengths ==
              mb_off::kQueue + kModbusQueueDepth * kModbusQueueEntrySize + 2);
static_assert(sensor_off::kSlots == kSensorSlotOffset &&
              sensor_off::kTick + 4 == kSensorLiveDataSize);
static_assert(meter_off::kSlots == kMeterSlotOffset &&
              meter_off::kPollStep + 2 == kMeterLiveDataSize);

}  // namespace lark
