// Field layout of BinaryLiveData, the 1184-byte live-data block of the
// three-phase binary protocol (CommType 1). The block is a wire image: the
// offsets below are format.
//
//    0 u32x2 reported EventMask        8 u32x2 current EventMask (bit 13 lost)
//   16 u32x2 extended reported        24 u32x2 extended current
//  141 u8    lost counter (0..3)     280 i32x119 value slots (-1 unknown)
//  756 char[31] model text           804 u16 wait counter
//  806 i16 query index               808 u16 status-poll counter
//  810 i16 queue count               812 10 x 32 bytes queued control frames
// 1132 u32x10 their lengths         1172 u32 model byte (2: eight status types)
// 1176 u16 event-log block position
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/bytes.h"
#include "core/live_data.h"

namespace lark {

namespace bin_off {
inline constexpr size_t kReportedMask = 0;
inline constexpr size_t kCurrentMask = 8;
inline constexpr size_t kExtReportedMask = 16;
inline constexpr size_t kExtCurrentMask = 24;
inline constexpr size_t kLostCounter = 141;
inline constexpr size_t kSlots = 280;
inline constexpr size_t kModel = 756, kModelSize = 31;
inline constexpr size_t kWaitCounter = 804;
inline constexpr size_t kQueryIndex = 806;
inline constexpr size_t kStatusPolls = 808;
inline constexpr size_t kQueueCount = 810;
inline constexpr size_t kQueueFrames = 812;
inline constexpr size_t kQueueLengths = 1132;
inline constexpr size_t kModelByte = 1172;
inline constexpr size_t kLogPosition = 1176;
}  // namespace bin_off

inline constexpr int kBinarySlotTotal = 119;
inline constexpr int kBinaryQueueDepth = 10;
inline constexpr size_t kBinaryQueueFrameSize = 32;
inline constexpr int kBinaryLostLimit = 3;
inline constexpr int kBinaryLinkLostBit = 13;
inline constexpr int kBinaryReidentifyAfter = 60;  // status polls before identifying again
inline constexpr int kBinaryLogBlocks = 24;        // blocks of the shared UPS event-log buffer
inline constexpr int kBinaryLogCountSlot = 106;    // record count of the device's event log

static_assert(bin_off::kSlots == kBinarySlotOffset);
static_assert(bin_off::kModelByte == kBinaryModelByteOffset);
static_assert(bin_off::kLogPosition + 2 + 6 == kBinaryLiveDataSize);

// Typed access to a BinaryLiveData image. Slots outside 0..118 read -1 and
// ignore writes; the queue count and lengths read from the image are clamped,
// so a damaged image cannot index past the queue.
class BinaryImage {
 public:
  explicit BinaryImage(Bytes image) : b_(image) {}

  uint64_t mask(size_t off) const { return u64At(b_, off); }
  bool maskBit(size_t off, int bit) const { return (mask(off) >> bit) & 1u; }
  void setMaskBit(size_t off, int bit, bool on) {
    const uint64_t m = mask(off);
    putU64(b_, off, on ? (m | (uint64_t{1} << bit)) : (m & ~(uint64_t{1} << bit)));
  }

  int32_t slot(int i) const {
    return (i >= 0 && i < kBinarySlotTotal) ? i32At(b_, bin_off::kSlots + 4 * size_t(i)) : -1;
  }
  void setSlot(int i, int32_t v) {
    if (i >= 0 && i < kBinarySlotTotal) putI32(b_, bin_off::kSlots + 4 * size_t(i), v);
  }

  uint8_t lostCounter() const { return u8At(b_, bin_off::kLostCounter); }
  void setLostCounter(uint8_t v) { putU8(b_, bin_off::kLostCounter, v); }
  uint16_t waitCounter() const { return u16At(b_, bin_off::kWaitCounter); }
  void setWaitCounter(uint16_t v) { putU16(b_, bin_off::kWaitCounter, v); }
  int queryIndex() const { return i16At(b_, bin_off::kQueryIndex); }
  void setQueryIndex(int v) { putI16(b_, bin_off::kQueryIndex, static_cast<int16_t>(v)); }
  uint16_t statusPolls() const { return u16At(b_, bin_off::kStatusPolls); }
  void setStatusPolls(uint16_t v) { putU16(b_, bin_off::kStatusPolls, v); }
  uint32_t modelByte() const { return u32At(b_, bin_off::kModelByte); }
  void setModelByte(uint32_t v) { putU32(b_, bin_off::kModelByte, v); }
  int logPosition() const { return u16At(b_, bin_off::kLogPosition); }
  void setLogPosition(int v) { putU16(b_, bin_off::kLogPosition, static_cast<uint16_t>(v)); }

  int queueCount() const;
  // Appends a frame (length byte on, at most 32 bytes); false when full or too long.
  bool queuePush(CBytes frame);
  // The head frame; empty when the queue is empty.
  std::vector<uint8_t> queueHead() const;
  void queuePop();

 private:
  Bytes b_;
};

}  // namespace lark
