#include "devices/binary/binary_reply.h"

#include <algorithm>
#include <limits>

#include "common/checksum.h"
#include "devices/binary/binary_live_data.h"
#include "devices/ups_event_log.h"

namespace lark {

std::vector<uint8_t> BuildBinaryFrame(uint8_t address, CBytes body) {
  std::vector<uint8_t> f(body.size() + 3);
  f[0] = kBinaryHeader;
  f[1] = address;
  std::copy(body.begin(), body.end(), f.begin() + 2);
  f.back() = Sum8(CBytes(f.data(), f.size() - 1));
  return f;
}

BinaryFrameState CheckBinaryFrame(CBytes rx, size_t* total) {
  if (rx.size() < 3) return BinaryFrameState::kIncomplete;
  const size_t len = rx[2];
  if (len == 0 || 4 + len > kBinaryMaxFrame) return BinaryFrameState::kBad;
  *total = 4 + len;
  return rx.size() >= *total ? BinaryFrameState::kComplete : BinaryFrameState::kIncomplete;
}

bool BinaryFrameAnswers(CBytes frame, uint8_t address, uint8_t type) {
  size_t total = 0;
  if (frame.empty() || frame[0] != kBinaryHeader ||
      CheckBinaryFrame(frame, &total) != BinaryFrameState::kComplete || frame.size() != total) {
    return false;
  }
  return Sum8(frame.first(total - 1)) == frame[total - 1] && frame[1] == address &&
         frame[3] == type;
}

namespace {

// Data bytes each type reads (data byte k is frame byte 4 + k).
size_t DataNeeded(uint8_t type) {
  switch (type) {
    case 0:
      return 32;
    case 1:
      return 24;
    case 2:
      return 20;
    case 4:
      return 2;
    case 14:
      return 3;
    case 19:
      return 20;
    case 20:
      return 12;
    case 22:
      return 15;
    case 24:
      return 3;
    case 26:
      return 2;
    case 27:
      return 1;
    case 38:
      return 9;
    default:
      return 0;
  }
}

constexpr int32_t kI32Max = std::numeric_limits<int32_t>::max();

class Reader {
 public:
  explicit Reader(CBytes data) : d_(data) {}
  int32_t word(size_t k) const {
    const uint16_t v = u16At(d_, k);
    return v == 0xFFFF ? -1 : v;
  }
  int32_t byte(size_t k) const { return d_[k] == 0xFF ? -1 : d_[k]; }
  uint8_t raw(size_t k) const { return d_[k]; }
  size_t size() const { return d_.size(); }

 private:
  CBytes d_;
};

// A period in the reply becomes a frequency; unknown or 0 stays unknown.
int32_t FromPeriod(int32_t v) { return v <= 0 ? -1 : 10000000 / v; }
int32_t Product(int32_t a, int32_t b) {
  if (a < 0 || b < 0) return -1;
  return static_cast<int32_t>(std::min<int64_t>(int64_t{a} * b, kI32Max));
}
int32_t Tenfold(int32_t v) { return v < 0 ? -1 : v * 10; }

void Words(BinaryImage& img, const Reader& r, std::initializer_list<std::pair<size_t, int>> map) {
  for (auto [k, slot] : map) img.setSlot(slot, r.word(k));
}

void ApplyStatusWord(BinaryImage& img, uint32_t w) {
  using namespace bin_off;
  auto bit = [w](int b) { return ((w >> b) & 1u) != 0; };
  for (int b : {11, 12, 10, 0}) img.setMaskBit(kCurrentMask, b, false);
  img.setSlot(57, 0);
  img.setSlot(28, 0);
  if (bit(10) && bit(11) && !bit(6)) {
    img.setMaskBit(kCurrentMask, 11, true);
    img.setSlot(57, 5);
  } else if (bit(9) && !bit(10)) {
    img.setMaskBit(kCurrentMask, 12, true);
    img.setSlot(57, 2);
  } else if (bit(0) && bit(6) && !bit(9)) {
    img.setMaskBit(kCurrentMask, 10, true);
    img.setMaskBit(kCurrentMask, 0, true);
    img.setSlot(57, 1);
    img.setSlot(28, 3);
  }
  img.setMaskBit(kCurrentMask, 2, bit(7));
  img.setMaskBit(kCurrentMask, 7, bit(8));
  img.setMaskBit(kCurrentMask, 9, bit(3));
  img.setSlot(27, bit(3) ? 1 : 0);
  img.setMaskBit(kCurrentMask, 8, bit(5));
  img.setMaskBit(kCurrentMask, 4, bit(2));
  img.setMaskBit(kCurrentMask, 1, bit(1));
  img.setSlot(90, bit(12) ? 2 : 1);
  if (bit(13)) img.setSlot(90, 4);
  img.setMaskBit(kCurrentMask, 14, bit(13));
  if (img.modelByte() == 2) img.setMaskBit(kCurrentMask, 6, bit(14));
  const int32_t s60 = img.slot(60);
  img.setMaskBit(kCurrentMask, 3,
                 !img.maskBit(kCurrentMask, kBinaryLinkLostBit) &&
                     (img.slot(32) != 0 || img.slot(33) != 0) && s60 != -1 && s60 < 50);
}

// Bits of data byte `k` to extended current bits: {source bit, mask bit}.
void Flags(BinaryImage& img, const Reader& r, size_t k,
           std::initializer_list<std::pair<int, int>> bits) {
  for (auto [from, to] : bits) {
    img.setMaskBit(bin_off::kExtCurrentMask, to, ((r.raw(k) >> from) & 1u) != 0);
  }
}

void ApplyAlarmFlags(BinaryImage& img, const Reader& r) {
  for (int b = 0; b < 8; ++b) {
    img.setMaskBit(bin_off::kExtCurrentMask, b, ((r.raw(1) >> b) & 1u) != 0);
    img.setMaskBit(bin_off::kExtCurrentMask, 8 + b, ((r.raw(3) >> b) & 1u) != 0);
    img.setMaskBit(bin_off::kExtCurrentMask, 16 + b, ((r.raw(5) >> b) & 1u) != 0);
  }
  Flags(img, r, 7, {{1, 24}, {3, 25}, {4, 26}, {6, 33}, {7, 34}});
  Flags(img, r, 13, {{0, 35}, {1, 36}, {4, 39}, {5, 40}, {6, 45}});
  Flags(img, r, 9, {{2, 37}, {3, 38}, {6, 41}, {7, 42}});
  Flags(img, r, 11, {{6, 43}, {7, 44}});
  Flags(img, r, 14, {{2, 46}, {3, 47}, {4, 48}, {5, 49}, {6, 50}, {7, 51}});
}

// A state code sets one of current bits 16..23 and clears the others.
void ApplyStateCode(BinaryImage& img, int32_t code) {
  if (code < 0) return;
  static constexpr int kCodes[8] = {28, 30, 32, 34, 36, 38, 42, 46};
  for (int i = 0; i < 8; ++i) img.setMaskBit(bin_off::kCurrentMask, 16 + i, code == kCodes[i]);
}

void ApplyLogBlock(BinaryImage& img, const Reader& r, CBytes data, BinaryReplyEffects* fx) {
  const int pos = img.logPosition();
  const int block = r.raw(0);
  // Only the block asked for is taken, and only into the buffer.
  if (block != pos || block < 1 || block > kBinaryLogBlocks) return;
  const size_t n = std::min(data.size() - 1, UpsEventLogBuffer::kEntrySize);
  fx->logWrite = true;
  fx->logOffset = static_cast<size_t>(block - 1) * UpsEventLogBuffer::kEntrySize;
  fx->logBytes.assign(data.begin() + 1, data.begin() + 1 + static_cast<std::ptrdiff_t>(n));
  const int64_t count = img.slot(kBinaryLogCountSlot);
  const int64_t blocks = std::min<int64_t>((count * 9 + 199) / 200, kBinaryLogBlocks);
  const int next = pos + 1;
  if (next <= blocks) {
    img.setLogPosition(next);
    fx->queueFrame = {2, kBinLogBlock, static_cast<uint8_t>(next)};
  } else {
    img.setLogPosition(kBinaryLogBlocks);
  }
}

}  // namespace

bool DecodeBinaryReply(Bytes image, CBytes frame, BinaryReplyEffects* fx) {
  size_t total = 0;
  if (CheckBinaryFrame(frame, &total) != BinaryFrameState::kComplete) return false;
  const uint8_t type = frame[3];
  const CBytes data = frame.subspan(4, total - 5);
  if (data.size() < DataNeeded(type)) return false;
  BinaryImage img(image);
  const Reader r(data);
  switch (type) {
    case 0: {
      std::string model(reinterpret_cast<const char*>(data.data()) + 1, 30);
      model.resize(std::min(model.find('\0'), model.size()));
      putStr(image, bin_off::kModel, bin_off::kModelSize, model);
      img.setModelByte(r.raw(31));
      fx->operatingState = 3;
      break;
    }
    case 1:
      img.setSlot(41, 3);
      Words(img, r,
            {{0, 54},
             {2, 55},
             {4, 56},
             {6, 43},
             {8, 47},
             {10, 51},
             {12, 44},
             {14, 48},
             {16, 52},
             {20, 33},
             {22, 32}});
      img.setSlot(42, FromPeriod(r.word(18)));
      break;
    case 2:
      img.setSlot(59, 3);
      Words(img, r,
            {{0, 72}, {2, 73}, {4, 74}, {6, 60}, {8, 64}, {10, 68}, {12, 61}, {14, 65}, {16, 69}});
      img.setSlot(58, FromPeriod(r.word(18)));
      img.setSlot(62, Product(img.slot(60), img.slot(61)));
      img.setSlot(66, Product(img.slot(64), img.slot(65)));
      img.setSlot(70, Product(img.slot(68), img.slot(69)));
      break;
    case 4:
      ApplyStatusWord(img, u16At(data, 0));
      break;
    case 14:
      img.setSlot(63, r.byte(0));
      img.setSlot(67, r.byte(1));
      img.setSlot(71, r.byte(2));
      break;
    case 19:
      img.setSlot(76, 3);
      Words(img, r, {{0, 86}, {2, 87}, {4, 88}, {6, 77}, {8, 80}, {10, 83}});
      img.setSlot(75, FromPeriod(r.word(18)));
      break;
    case 20:
      for (int i = 0; i < 6; ++i) img.setSlot(98 + i, r.word(2 * size_t(i)));
      break;
    case 22:
      for (auto [k, slot] :
           {std::pair<size_t, int>{0, 91}, {2, 92}, {4, 93}, {8, 94}, {10, 95}, {12, 34}}) {
        img.setSlot(slot, r.byte(k));
      }
      img.setSlot(96, r.raw(6) == 0xFF ? -1 : r.raw(6) & 0x0F);
      img.setSlot(97, r.raw(6) == 0xFF ? -1 : r.raw(6) >> 4);
      ApplyAlarmFlags(img, r);
      break;
    case 24:
      img.setSlot(104, r.byte(0));
      img.setSlot(105, r.word(1));
      break;
    case kBinLogSize:
      img.setSlot(kBinaryLogCountSlot, r.word(0));
      img.setLogPosition(1);
      fx->queueFrame = {2, kBinLogBlock, 1};
      break;
    case kBinLogBlock:
      ApplyLogBlock(img, r, data, fx);
      break;
    case 38:
      img.setSlot(117, r.byte(1));
      img.setSlot(107, Tenfold(r.byte(2)));
      img.setSlot(115, r.byte(3));
      img.setSlot(109, Tenfold(r.byte(4)));
      img.setSlot(111, r.word(5));
      img.setSlot(113, r.word(7));
      ApplyStateCode(img, r.byte(3));
      if (frame[2] >= 19) {
        img.setSlot(118, r.byte(10));
        img.setSlot(108, Tenfold(r.byte(11)));
        img.setSlot(116, r.byte(12));
        img.setSlot(110, Tenfold(r.byte(13)));
        img.setSlot(112, r.word(14));
        img.setSlot(114, r.word(16));
        ApplyStateCode(img, r.byte(12));
      }
      break;
    default:
      break;
  }
  return true;
}

// ---- the queue ----

int BinaryImage::queueCount() const {
  return std::clamp<int>(i16At(b_, bin_off::kQueueCount), 0, kBinaryQueueDepth);
}

bool BinaryImage::queuePush(CBytes frame) {
  const int n = queueCount();
  if (n >= kBinaryQueueDepth || frame.empty() || frame.size() > kBinaryQueueFrameSize) {
    return false;
  }
  const size_t at = bin_off::kQueueFrames + kBinaryQueueFrameSize * size_t(n);
  std::fill_n(b_.begin() + static_cast<std::ptrdiff_t>(at), kBinaryQueueFrameSize, 0);
  std::copy(frame.begin(), frame.end(), b_.begin() + static_cast<std::ptrdiff_t>(at));
  putU32(b_, bin_off::kQueueLengths + 4 * size_t(n), static_cast<uint32_t>(frame.size()));
  putI16(b_, bin_off::kQueueCount, static_cast<int16_t>(n + 1));
  return true;
}

std::vector<uint8_t> BinaryImage::queueHead() const {
  if (queueCount() == 0) return {};
  const size_t len = std::min<size_t>(u32At(b_, bin_off::kQueueLengths), kBinaryQueueFrameSize);
  auto first = b_.begin() + static_cast<std::ptrdiff_t>(bin_off::kQueueFrames);
  return std::vector<uint8_t>(first, first + static_cast<std::ptrdiff_t>(len));
}

void BinaryImage::queuePop() {
  const int n = queueCount();
  if (n == 0) return;
  for (int i = 1; i < n; ++i) {
    const size_t from = bin_off::kQueueFrames + kBinaryQueueFrameSize * size_t(i);
    std::copy_n(b_.begin() + static_cast<std::ptrdiff_t>(from), kBinaryQueueFrameSize,
                b_.begin() + static_cast<std::ptrdiff_t>(from - kBinaryQueueFrameSize));
    putU32(b_, bin_off::kQueueLengths + 4 * size_t(i - 1),
           u32At(b_, bin_off::kQueueLengths + 4 * size_t(i)));
  }
  const size_t last = bin_off::kQueueFrames + kBinaryQueueFrameSize * size_t(n - 1);
  std::fill_n(b_.begin() + static_cast<std::ptrdiff_t>(last), kBinaryQueueFrameSize, 0);
  putU32(b_, bin_off::kQueueLengths + 4 * size_t(n - 1), 0);
  putI16(b_, bin_off::kQueueCount, static_cast<int16_t>(n - 1));
}

}  // namespace lark
