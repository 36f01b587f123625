// The live-data blocks that hang off a device node: one byte image of a fixed
// size per block kind, sent raw to the consoles and the shared memory.
//
// The protocol engines own the fields inside each block (their offsets live
// next to the engines); this file knows only the sizes, the value-slot ranges
// that start out as -1, and where the 64-bit event masks sit.
//
// Threads: the poll threads write slots and masks while the loop thread and the
// history thread read them. Every accessor takes the block's own mutex, so a
// 32-bit slot or a 64-bit mask is never seen half written, and copyOut() gives
// a consistent image for the wire. Lock order: tree lock, then node lock, then
// block lock; nothing is locked while a block lock is held.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"

namespace lark {

// The eight block kinds, in the order of the node's pointer slots (6656..6684).
enum class BlockKind : uint8_t {
  kSnmp = 0,      // SnmpLiveData, 888 bytes, SNMP devices
  kAscii = 1,     // AsciiLiveData, 1448 bytes, CommType 0 and 4
  kBinary = 2,    // BinaryLiveData, 1184 bytes, CommType 1 (three-phase)
  kModbus = 3,    // ModbusLiveData, 1448 bytes, CommType 2, 3, 5, 6
  kSensor = 4,    // SensorLiveData, 92 bytes, CommType 7
  kMeter = 5,     // MeterLiveData, 52 bytes, CommType 8
  kMeterSum = 6,  // MeterSumLiveData, 40 bytes, CommType 9
  kGprs = 7,      // GprsLiveData, 856 bytes, GPRS stations
};
inline constexpr size_t kBlockKindCount = 8;

// Size, first value slot and number of value slots that start at -1.
struct BlockLayout {
  size_t size;        // bytes of the image
  size_t slotOffset;  // byte offset of value slot 0
  size_t slotCount;   // value slots set to -1 at creation (0: none)
};

inline constexpr size_t kSnmpLiveDataSize = 888;
inline constexpr size_t kAsciiLiveDataSize = 1448;
inline constexpr size_t kBinaryLiveDataSize = 1184;
inline constexpr size_t kModbusLiveDataSize = 1448;
inline constexpr size_t kSensorLiveDataSize = 92;
inline constexpr size_t kMeterLiveDataSize = 52;
inline constexpr size_t kMeterSumLiveDataSize = 40;
inline constexpr size_t kGprsLiveDataSize = 856;

inline constexpr size_t kSnmpSlotOffset = 240, kSnmpSlotCount = 88;
inline constexpr size_t kAsciiSlotOffset = 264, kAsciiSlotCount = 178;
inline constexpr size_t kBinarySlotOffset = 280, kBinarySlotCount = 119;
inline constexpr size_t kModbusSlotOffset = 264, kModbusSlotCount = 178;
inline constexpr size_t kSensorSlotOffset = 16, kSensorSlotCount = 7;
inline constexpr size_t kMeterSlotOffset = 4, kMeterSlotCount = 10;
inline constexpr size_t kGprsSlotOffset = 68, kGprsSlotCount = 178;
// The meter-sum block has ten u32 words and no -1 slots; its words are its values.
inline constexpr size_t kMeterSumSlotOffset = 0, kMeterSumWordCount = 10;

// Other creation values.
inline constexpr size_t kSnmpRequestBudgetOffset = 884;  // i16, variable bindings per GetRequest
inline constexpr int16_t kSnmpInitialRequestBudget = 15;
inline constexpr size_t kGprsReportYearOffset = 836;  // u16, year of the last report time
inline constexpr uint16_t kGprsInitialYear = 1970;
inline constexpr size_t kBinaryModelByteOffset = 1172;  // u32, 2 = eight status types

constexpr BlockLayout LayoutOf(BlockKind kind) {
  switch (kind) {
    case BlockKind::kSnmp:
      return {kSnmpLiveDataSize, kSnmpSlotOffset, kSnmpSlotCount};
    case BlockKind::kAscii:
      return {kAsciiLiveDataSize, kAsciiSlotOffset, kAsciiSlotCount};
    case BlockKind::kBinary:
      return {kBinaryLiveDataSize, kBinarySlotOffset, kBinarySlotCount};
    case BlockKind::kModbus:
      return {kModbusLiveDataSize, kModbusSlotOffset, kModbusSlotCount};
    case BlockKind::kSensor:
      return {kSensorLiveDataSize, kSensorSlotOffset, kSensorSlotCount};
    case BlockKind::kMeter:
      return {kMeterLiveDataSize, kMeterSlotOffset, kMeterSlotCount};
    case BlockKind::kMeterSum:
      return {kMeterSumLiveDataSize, kMeterSumSlotOffset, 0};
    case BlockKind::kGprs:
      return {kGprsLiveDataSize, kGprsSlotOffset, kGprsSlotCount};
  }
  return {0, 0, 0};
}
inline constexpr size_t BlockSize(BlockKind kind) { return LayoutOf(kind).size; }
// "SnmpLiveData", "AsciiLiveData", ... for logs and test names.
const char* BlockKindName(BlockKind kind);

// The event-mask words at the head of a block (64-bit, low u32 first).
// kReported is the copy the alarm scan last acted on; kCurrent is written by
// the pollers. Sensor and meter blocks keep 8-bit masks in bytes 0 and 1;
// blocks without a word answer 0 and ignore writes.
enum class MaskWord : uint8_t { kReported = 0, kCurrent = 1, kExtReported = 2, kExtCurrent = 3 };

// Byte offset of a mask word in a block of `kind`, or -1 when the block has none.
int MaskOffset(BlockKind kind, MaskWord word);
// 8 for the byte masks of the sensor and meter blocks, 64 otherwise, 0 when absent.
int MaskBits(BlockKind kind, MaskWord word);

class LiveDataBlock {
 public:
  // Zero-filled with the kind's initial values (-1 slots and the few others).
  explicit LiveDataBlock(BlockKind kind);
  LiveDataBlock(const LiveDataBlock&) = delete;
  LiveDataBlock& operator=(const LiveDataBlock&) = delete;

  BlockKind kind() const { return kind_; }
  size_t size() const { return image_.size(); }

  // Value slots counted from the block's first value slot. -1 (no value)
  // outside the block; setSlot outside the block does nothing and says false.
  int32_t slot(int index) const;
  bool setSlot(int index, int32_t value);
  // Number of value slots of this kind (the meter sum's ten words count).
  int slotCount() const;

  // Typed reads at a byte offset; a read past the end gives -1 for the signed
  // accessors and 0 for the unsigned ones. Writes past the end do nothing.
  int32_t i32(size_t off) const;
  uint32_t u32(size_t off) const;
  int16_t i16(size_t off) const;
  uint16_t u16(size_t off) const;
  uint8_t u8(size_t off) const;
  bool putI32(size_t off, int32_t v);
  bool putU32(size_t off, uint32_t v);
  bool putI16(size_t off, int16_t v);
  bool putU16(size_t off, uint16_t v);
  bool putU8(size_t off, uint8_t v);
  // NUL-terminated text field of `size` bytes; empty when out of range.
  std::string text(size_t off, size_t size) const;
  bool putText(size_t off, size_t size, std::string_view s);
  // Raw byte ranges; false (and nothing copied) when the range leaves the block.
  bool readBytes(size_t off, Bytes out) const;
  bool writeBytes(size_t off, CBytes in);

  // Event masks, each read and written whole under the block lock.
  uint64_t mask(MaskWord word) const;
  void setMask(MaskWord word, uint64_t value);
  void setMaskBits(MaskWord word, uint64_t bits);
  void clearMaskBits(MaskWord word, uint64_t bits);
  // Read-modify-write of one mask as a single step; returns the stored value.
  uint64_t updateMask(MaskWord word, const std::function<uint64_t(uint64_t)>& change);
  bool hasMask(MaskWord word) const { return MaskOffset(kind_, word) >= 0; }

  // Runs `f` on the whole image under the block lock, for a decoder that
  // stores several fields of one answer at once. `f` must not call back into
  // this block's accessors (the lock is not recursive).
  template <class F>
  auto withImage(F&& f) {
    std::lock_guard<std::mutex> lock(mu_);
    return f(Bytes(image_.data(), image_.size()));
  }
  template <class F>
  auto withImage(F&& f) const {
    std::lock_guard<std::mutex> lock(mu_);
    return f(CBytes(image_.data(), image_.size()));
  }

  // A consistent copy of the image for the wire.
  std::vector<uint8_t> copyOut() const;
  // Copies into `out` (at most size() bytes); returns the bytes copied.
  size_t copyOut(Bytes out) const;
  // Replaces the image from the wire (the console's mirror, tests); a shorter
  // input leaves the rest as it was, a longer one is cut.
  void copyIn(CBytes in);

 private:
  BlockKind kind_;
  mutable std::mutex mu_;       // guards image_
  std::vector<uint8_t> image_;  // exactly BlockSize(kind_) bytes
};

// A new two-point sensor: the model text "Norva Sensor" at byte 61 and the
// Modbus read it is polled with (function 4, start 0, quantity 6) at 80..85.
void PresetTwoPointSensor(LiveDataBlock& sensor);

}  // namespace lark
