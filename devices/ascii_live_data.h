// Field layout of AsciiLiveData, the 1448-byte live-data block of the ASCII
// UPS protocol (CommType 0; the Modbus ASCII PLC keeps its own fields in the
// same block). The block is a wire image: the offsets below are format.
//
//    0 u32x2 reported EventMask        8 u32x2 current EventMask
//   16 u32x2 extended reported        24 u32x2 extended current
//  136 u8x20 "STA" debounce counters 160 u8    lost counter (0..5)
//  188 u8x33 module/battery debounce counters (188 PMS, 189..199 PFS,
//            200..214 PIS, 215 PCS, 216..220 BPA)
//  256 u32x2 capability mask         264 i32x178 value slots (-1 unknown)
//  994 char[17] manufacturer  1011 char[17] model  1028 char[17] firmware
// 1045 char[21] serial number 1068 u32 model class 1072 u16 CPU identifier
// 1074 u16 wait counter       1076 i16 query index 1078 i16 queue count
// 1080 10 x char[32] queued command texts         1400 u32x10 their lengths
// 1440 u16 checksum flag      1442 i16 event-log read-out position
//
// AsciiImage works on the bytes handed out by LiveDataBlock::withImage(), so
// an answer's fields are stored in one step under the block lock.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/bytes.h"
#include "core/live_data.h"

namespace lark {

namespace ascii_off {
inline constexpr size_t kReportedMask = 0;      // u64 (two u32, low first)
inline constexpr size_t kCurrentMask = 8;       // u64
inline constexpr size_t kExtReportedMask = 16;  // u64
inline constexpr size_t kExtCurrentMask = 24;   // u64
inline constexpr size_t kStaCounters = 136;     // u8[20]
inline constexpr size_t kLostCounter = 160;     // u8
inline constexpr size_t kModuleCounters = 188;  // u8[33]
inline constexpr size_t kCapabilities = 256;    // u64
inline constexpr size_t kSlots = 264;           // i32[178]
inline constexpr size_t kManufacturer = 994, kManufacturerSize = 17;
inline constexpr size_t kModel = 1011, kModelSize = 17;
inline constexpr size_t kFirmware = 1028, kFirmwareSize = 17;
inline constexpr size_t kSerialNumber = 1045, kSerialNumberSize = 21;
inline constexpr size_t kModelClass = 1068;        // u32
inline constexpr size_t kCpuId = 1072;             // u16
inline constexpr size_t kWaitCounter = 1074;       // u16
inline constexpr size_t kQueryIndex = 1076;        // i16
inline constexpr size_t kQueueCount = 1078;        // i16
inline constexpr size_t kQueueTexts = 1080;        // char[10][32]
inline constexpr size_t kQueueLengths = 1400;      // u32[10]
inline constexpr size_t kChecksumFlag = 1440;      // u16
inline constexpr size_t kEventLogPosition = 1442;  // i16
}  // namespace ascii_off

inline constexpr int kAsciiSlotTotal = 178;
inline constexpr int kAsciiQueueDepth = 10;
inline constexpr size_t kAsciiQueueTextSize = 32;
inline constexpr int kAsciiLostLimit = 5;  // lost counter ceiling
inline constexpr int kLinkLostBit = 24;    // current EventMask bit of a lost link

static_assert(ascii_off::kSlots == kAsciiSlotOffset);
static_assert(ascii_off::kEventLogPosition + 2 + 4 == kAsciiLiveDataSize);

// Typed access to an AsciiLiveData image. Every index is checked: slots
// outside 0..177 read -1 and ignore writes; counters outside their arrays do
// nothing.
class AsciiImage {
 public:
  explicit AsciiImage(Bytes image) : b_(image) {}

  uint64_t mask(size_t off) const { return u64At(b_, off); }
  void setMask(size_t off, uint64_t v) { putU64(b_, off, v); }
  bool maskBit(size_t off, int bit) const { return (mask(off) >> bit) & 1u; }
  void setMaskBit(size_t off, int bit, bool on) {
    uint64_t m = mask(off);
    m = on ? (m | (uint64_t{1} << bit)) : (m & ~(uint64_t{1} << bit));
    setMask(off, m);
  }

  uint64_t capabilities() const { return mask(ascii_off::kCapabilities); }
  bool capability(int bit) const {
    return bit >= 0 && bit < 64 && maskBit(ascii_off::kCapabilities, bit);
  }
  void setCapability(int bit, bool on) {
    if (bit >= 0 && bit < 64) setMaskBit(ascii_off::kCapabilities, bit, on);
  }

  int32_t slot(int i) const {
    return (i >= 0 && i < kAsciiSlotTotal)
               ? i32At(b_, ascii_off::kSlots + 4 * static_cast<size_t>(i))
               : -1;
  }
  void setSlot(int i, int32_t v) {
    if (i >= 0 && i < kAsciiSlotTotal)
      putI32(b_, ascii_off::kSlots + 4 * static_cast<size_t>(i), v);
  }
  void clearSlots(int first, int count) {
    for (int i = first; i < first + count; ++i) setSlot(i, -1);
  }

  uint8_t u8(size_t off) const { return u8At(b_, off); }
  void setU8(size_t off, uint8_t v) { putU8(b_, off, v); }
  uint16_t u16(size_t off) const { return u16At(b_, off); }
  void setU16(size_t off, uint16_t v) { putU16(b_, off, v); }
  int16_t i16(size_t off) const { return i16At(b_, off); }
  void setI16(size_t off, int16_t v) { putI16(b_, off, v); }
  uint32_t u32(size_t off) const { return u32At(b_, off); }
  void setU32(size_t off, uint32_t v) { putU32(b_, off, v); }
  std::string text(size_t off, size_t size) const { return strAt(b_, off, size); }
  void setText(size_t off, size_t size, std::string_view s) { putStr(b_, off, size, s); }

  bool checksumFlag() const { return u16(ascii_off::kChecksumFlag) != 0; }
  void setChecksumFlag(bool on) { setU16(ascii_off::kChecksumFlag, on ? 1 : 0); }
  int queryIndex() const { return i16(ascii_off::kQueryIndex); }
  void setQueryIndex(int v) { setI16(ascii_off::kQueryIndex, static_cast<int16_t>(v)); }
  uint16_t waitCounter() const { return u16(ascii_off::kWaitCounter); }
  void setWaitCounter(uint16_t v) { setU16(ascii_off::kWaitCounter, v); }
  uint8_t lostCounter() const { return u8(ascii_off::kLostCounter); }
  void setLostCounter(uint8_t v) { setU8(ascii_off::kLostCounter, v); }
  int eventLogPosition() const { return i16(ascii_off::kEventLogPosition); }
  void setEventLogPosition(int v) { setI16(ascii_off::kEventLogPosition, static_cast<int16_t>(v)); }

  // The command queue. The count read from the image is clamped to 0..10 and
  // each length to 32, so a damaged image cannot index past the queue.
  int queueCount() const;
  // Appends a command text (at most 32 bytes); false when full or too long.
  bool queuePush(std::string_view text);
  // The head command text; empty when the queue is empty.
  std::string queueHead() const;
  // Removes the head and moves the others forward.
  void queuePop();

  Bytes bytes() { return b_; }

 private:
  Bytes b_;
};

}  // namespace lark
