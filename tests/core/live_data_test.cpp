#include "core/live_data.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace lark {
namespace {

struct KindCase {
  BlockKind kind;
  size_t size;
  size_t slotOffset;
  size_t slotCount;
};
const KindCase kKinds[] = {
    {BlockKind::kSnmp, 888, 240, 88},     {BlockKind::kAscii, 1448, 264, 178},
    {BlockKind::kBinary, 1184, 280, 119}, {BlockKind::kModbus, 1448, 264, 178},
    {BlockKind::kSensor, 92, 16, 7},      {BlockKind::kMeter, 52, 4, 10},
    {BlockKind::kMeterSum, 40, 0, 0},     {BlockKind::kGprs, 856, 68, 178},
};

TEST(LiveData, SizesAndInitialValues) {
  for (const KindCase& c : kKinds) {
    SCOPED_TRACE(BlockKindName(c.kind));
    LiveDataBlock b(c.kind);
    EXPECT_EQ(b.size(), c.size);
    const std::vector<uint8_t> img = b.copyOut();
    ASSERT_EQ(img.size(), c.size);
    // Exactly the slot range is 0xFF; the rest is zero but for the few extras.
    for (size_t i = 0; i < c.size; ++i) {
      const bool inSlots = c.slotCount && i >= c.slotOffset && i < c.slotOffset + 4 * c.slotCount;
      uint8_t want = inSlots ? 0xFF : 0;
      if (c.kind == BlockKind::kSnmp && i == 884) want = 15;
      if (c.kind == BlockKind::kGprs && i == 836) want = 1970 & 0xFF;
      if (c.kind == BlockKind::kGprs && i == 837) want = 1970 >> 8;
      ASSERT_EQ(img[i], want) << "byte " << i;
    }
    if (c.slotCount) {
      EXPECT_EQ(b.slot(0), -1);
      EXPECT_EQ(b.slot(static_cast<int>(c.slotCount) - 1), -1);
    }
  }
}

TEST(LiveData, AccessorsOutsideTheBlockGiveMinusOne) {
  for (const KindCase& c : kKinds) {
    SCOPED_TRACE(BlockKindName(c.kind));
    LiveDataBlock b(c.kind);
    const int count = b.slotCount();
    EXPECT_EQ(b.slot(-1), -1);
    EXPECT_EQ(b.slot(count), -1);
    EXPECT_FALSE(b.setSlot(count, 5));
    EXPECT_TRUE(b.setSlot(count - 1, 5));
    EXPECT_EQ(b.slot(count - 1), 5);
    EXPECT_EQ(b.i32(c.size - 3), -1);
    EXPECT_EQ(b.i32(c.size), -1);
    EXPECT_EQ(b.i32(SIZE_MAX - 1), -1);
    EXPECT_EQ(b.u16(c.size - 1), 0);
    EXPECT_FALSE(b.putI32(c.size - 2, 1));
    EXPECT_EQ(b.text(c.size - 4, 8), "");
    uint8_t buf[8];
    EXPECT_FALSE(b.readBytes(c.size - 4, buf));
    EXPECT_EQ(b.copyOut().size(), c.size);
  }
}

TEST(LiveData, EventMasksSitAtTheHead) {
  struct Case {
    BlockKind kind;
    MaskWord word;
    int offset;  // -1: the block has none
    int bits;
  };
  const Case cases[] = {
      {BlockKind::kSnmp, MaskWord::kReported, 8, 64},
      {BlockKind::kSnmp, MaskWord::kCurrent, 16, 64},
      {BlockKind::kSnmp, MaskWord::kExtReported, -1, 0},
      {BlockKind::kAscii, MaskWord::kReported, 0, 64},
      {BlockKind::kBinary, MaskWord::kCurrent, 8, 64},
      {BlockKind::kModbus, MaskWord::kExtReported, 16, 64},
      {BlockKind::kModbus, MaskWord::kExtCurrent, 24, 64},
      {BlockKind::kGprs, MaskWord::kReported, 0, 64},
      {BlockKind::kGprs, MaskWord::kCurrent, 8, 64},
      {BlockKind::kGprs, MaskWord::kExtCurrent, -1, 0},
      {BlockKind::kSensor, MaskWord::kReported, 0, 8},
      {BlockKind::kMeter, MaskWord::kCurrent, 1, 8},
      {BlockKind::kMeterSum, MaskWord::kReported, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << BlockKindName(c.kind) << " word " << int(c.word));
    LiveDataBlock b(c.kind);
    EXPECT_EQ(MaskOffset(c.kind, c.word), c.offset);
    EXPECT_EQ(MaskBits(c.kind, c.word), c.bits);
    const auto before = b.copyOut();
    b.setMask(c.word, 0x8000000100000003ull);
    const auto img = b.copyOut();
    if (c.offset < 0) {
      EXPECT_EQ(img, before);
      EXPECT_EQ(b.mask(c.word), 0u);
      continue;
    }
    if (c.bits == 8) {
      EXPECT_EQ(img[static_cast<size_t>(c.offset)], 0x03);
      EXPECT_EQ(b.mask(c.word), 0x03u);
    } else {
      EXPECT_EQ(u32At(img, static_cast<size_t>(c.offset)), 0x00000003u);
      EXPECT_EQ(u32At(img, static_cast<size_t>(c.offset) + 4), 0x80000001u);
    }
    b.clearMaskBits(c.word, 0x1);
    b.setMaskBits(c.word, 0x4);
    EXPECT_EQ(b.mask(c.word) & 0x7, 0x6u);
    EXPECT_EQ(b.updateMask(c.word, [](uint64_t m) { return m ^ 0x2; }) & 0x7, 0x4u);
  }
}

// Pollers store whole masks and slot pairs while a reader copies the image:
// the reader never sees half of a 64-bit mask.
TEST(LiveData, MaskWritesAreNeverSeenHalfDone) {
  LiveDataBlock b(BlockKind::kAscii);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i) {
      b.setMask(MaskWord::kCurrent, (i & 1) ? ~uint64_t{0} : 0);
      b.updateMask(MaskWord::kExtCurrent, [](uint64_t m) { return ~m; });
    }
    stop = true;
  });
  int torn = 0;
  while (!stop) {
    const auto img = b.copyOut();
    const uint32_t lo = u32At(img, 8), hi = u32At(img, 12);
    if (lo != hi) ++torn;
    const uint64_t m = b.mask(MaskWord::kExtCurrent);
    if (m != 0 && m != ~uint64_t{0}) ++torn;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
}

TEST(LiveData, CopyInReplacesWithinTheSize) {
  LiveDataBlock b(BlockKind::kMeter);
  std::vector<uint8_t> wire(100, 0x11);
  b.copyIn(wire);
  EXPECT_EQ(b.copyOut(), std::vector<uint8_t>(52, 0x11));
  const uint8_t two[2] = {0, 0};
  b.copyIn(two);
  EXPECT_EQ(b.u16(0), 0);
  EXPECT_EQ(b.u8(2), 0x11);
}

}  // namespace
}  // namespace lark
