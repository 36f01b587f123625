#include "core/live_data.h"

#include <algorithm>

namespace lark {

namespace {

bool fits(size_t off, size_t len, size_t size) { return off <= size && len <= size - off; }

}  // namespace

const char* BlockKindName(BlockKind kind) {
  switch (kind) {
    case BlockKind::kSnmp:
      return "SnmpLiveData";
    case BlockKind::kAscii:
      return "AsciiLiveData";
    case BlockKind::kBinary:
      return "BinaryLiveData";
    case BlockKind::kModbus:
      return "ModbusLiveData";
    case BlockKind::kSensor:
      return "SensorLiveData";
    case BlockKind::kMeter:
      return "MeterLiveData";
    case BlockKind::kMeterSum:
      return "MeterSumLiveData";
    case BlockKind::kGprs:
      return "GprsLiveData";
  }
  return "?";
}

int MaskOffset(BlockKind kind, MaskWord word) {
  switch (kind) {
    case BlockKind::kSnmp:
      if (word == MaskWord::kReported) return 8;
      if (word == MaskWord::kCurrent) return 16;
      return -1;
    case BlockKind::kAscii:
    case BlockKind::kBinary:
    case BlockKind::kModbus:
      return static_cast<int>(word) * 8;
    case BlockKind::kGprs:
      if (word == MaskWord::kReported) return 0;
      if (word == MaskWord::kCurrent) return 8;
      return -1;
    case BlockKind::kSensor:
    case BlockKind::kMeter:
      if (word == MaskWord::kReported) return 0;
      if (word == MaskWord::kCurrent) return 1;
      return -1;
    case BlockKind::kMeterSum:
      return -1;
  }
  return -1;
}

int MaskBits(BlockKind kind, MaskWord word) {
  if (MaskOffset(kind, word) < 0) return 0;
  return (kind == BlockKind::kSensor || kind == BlockKind::kMeter) ? 8 : 64;
}

LiveDataBlock::LiveDataBlock(BlockKind kind) : kind_(kind), image_(BlockSize(kind), 0) {
  const BlockLayout l = LayoutOf(kind);
  Bytes b(image_.data(), image_.size());
  for (size_t i = 0; i < l.slotCount; ++i) lark::putI32(b, l.slotOffset + 4 * i, -1);
  if (kind == BlockKind::kSnmp) {
    lark::putI16(b, kSnmpRequestBudgetOffset, kSnmpInitialRequestBudget);
  } else if (kind == BlockKind::kGprs) {
    lark::putU16(b, kGprsReportYearOffset, kGprsInitialYear);
  }
}

int LiveDataBlock::slotCount() const {
  if (kind_ == BlockKind::kMeterSum) return static_cast<int>(kMeterSumWordCount);
  return static_cast<int>(LayoutOf(kind_).slotCount);
}

int32_t LiveDataBlock::slot(int index) const {
  if (index < 0 || index >= slotCount()) return -1;
  return i32(LayoutOf(kind_).slotOffset + 4 * static_cast<size_t>(index));
}

bool LiveDataBlock::setSlot(int index, int32_t value) {
  if (index < 0 || index >= slotCount()) return false;
  return putI32(LayoutOf(kind_).slotOffset + 4 * static_cast<size_t>(index), value);
}

int32_t LiveDataBlock::i32(size_t off) const {
  std::lock_guard<std::mutex> lock(mu_);
  if (!fits(off, 4, image_.size())) return -1;
  return lark::i32At(CBytes(image_.data(), image_.size()), off);
}
uint32_t LiveDataBlock::u32(size_t off) const {
  std::lock_guard<std::mutex> lock(mu_);
  if (!fits(off, 4, image_.size())) return 0;
  return lark::u32At(CBytes(image_.data(), image_.size()), off);
}
int16_t LiveDataBlock::i16(size_t off) const {
  std::lock_guard<std::mutex> lock(mu_);
  if (!fits(off, 2, image_.size())) return -1;
  return lark::i16At(CBytes(image_.data(), image_.size()), off);
}
uint16_t LiveDataBlock::u16(size_t off) const {
  std::lock_guard<std::mutex> lock(mu_);
  if (!fits(off, 2, image_.size())) return 0;
  return lark::u16At(CBytes(image_.data(), image_.size()), off);
}
uint8_t LiveDataBlock::u8(size_t off) const {
  std::lock_guard<std::mutex> lock(mu_);
  if (!fits(off, 1, image_.size())) return 0;
  return image_[off];
}

bool LiveDataBlock::putI32(size_t off, int32_t v) { return putU32(off, static_cast<uint32_t>(v)); }
bool LiveDataBlock::putU32(size_t off, uint32_t v) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!fits(off, 4, image_.size())) return false;
  lark::putU32(Bytes(image_.data(), image_.size()), off, v);
  return true;
}
bool LiveDataBlock::putI16(size_t off, int16_t v) { return putU16(off, static_cast<uint16_t>(v)); }
bool LiveDataBlock::putU16(size_t off, uint16_t v) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!fits(off, 2, image_.size())) return false;
  lark::putU16(Bytes(image_.data(), image_.size()), off, v);
  return true;
}
bool LiveDataBlock::putU8(size_t off, uint8_t v) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!fits(off, 1, image_.size())) return false;
  image_[off] = v;
  return true;
}

std::string LiveDataBlock::text(size_t off, size_t size) const {
  std::lock_guard<std::mutex> lock(mu_);
  if (size == 0 || !fits(off, size, image_.size())) return {};
  return lark::strAt(CBytes(image_.data(), image_.size()), off, size);
}
bool LiveDataBlock::putText(size_t off, size_t size, std::string_view s) {
  std::lock_guard<std::mutex> lock(mu_);
  if (size == 0 || !fits(off, size, image_.size())) return false;
  lark::putStr(Bytes(image_.data(), image_.size()), off, size, s);
  return true;
}

bool LiveDataBlock::readBytes(size_t off, Bytes out) const {
  std::lock_guard<std::mutex> lock(mu_);
  if (!fits(off, out.size(), image_.size())) return false;
  std::copy_n(image_.begin() + static_cast<ptrdiff_t>(off), out.size(), out.begin());
  return true;
}
bool LiveDataBlock::writeBytes(size_t off, CBytes in) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!fits(off, in.size(), image_.size())) return false;
  std::copy(in.begin(), in.end(), image_.begin() + static_cast<ptrdiff_t>(off));
  return true;
}

namespace {

uint64_t readMask(const std::vector<uint8_t>& img, BlockKind kind, MaskWord word) {
  const int off = MaskOffset(kind, word);
  if (off < 0) return 0;
  if (MaskBits(kind, word) == 8) return img[static_cast<size_t>(off)];
  return lark::u64At(CBytes(img.data(), img.size()), static_cast<size_t>(off));
}

void writeMask(std::vector<uint8_t>& img, BlockKind kind, MaskWord word, uint64_t v) {
  const int off = MaskOffset(kind, word);
  if (off < 0) return;
  if (MaskBits(kind, word) == 8) {
    img[static_cast<size_t>(off)] = static_cast<uint8_t>(v);
  } else {
    lark::putU64(Bytes(img.data(), img.size()), static_cast<size_t>(off), v);
  }
}

}  // namespace

uint64_t LiveDataBlock::mask(MaskWord word) const {
  std::lock_guard<std::mutex> lock(mu_);
  return readMask(image_, kind_, word);
}
void LiveDataBlock::setMask(MaskWord word, uint64_t value) {
  std::lock_guard<std::mutex> lock(mu_);
  writeMask(image_, kind_, word, value);
}
void LiveDataBlock::setMaskBits(MaskWord word, uint64_t bits) {
  std::lock_guard<std::mutex> lock(mu_);
  writeMask(image_, kind_, word, readMask(image_, kind_, word) | bits);
}
void LiveDataBlock::clearMaskBits(MaskWord word, uint64_t bits) {
  std::lock_guard<std::mutex> lock(mu_);
  writeMask(image_, kind_, word, readMask(image_, kind_, word) & ~bits);
}
uint64_t LiveDataBlock::updateMask(MaskWord word, const std::function<uint64_t(uint64_t)>& change) {
  std::lock_guard<std::mutex> lock(mu_);
  writeMask(image_, kind_, word, change(readMask(image_, kind_, word)));
  return readMask(image_, kind_, word);
}

std::vector<uint8_t> LiveDataBlock::copyOut() const {
  std::lock_guard<std::mutex> lock(mu_);
  return image_;
}
size_t LiveDataBlock::copyOut(Bytes out) const {
  std::lock_guard<std::mutex> lock(mu_);
  const size_t n = std::min(out.size(), image_.size());
  std::copy_n(image_.begin(), n, out.begin());
  return n;
}
void LiveDataBlock::copyIn(CBytes in) {
  std::lock_guard<std::mutex> lock(mu_);
  const size_t n = std::min(in.size(), image_.size());
  std::copy_n(in.begin(), n, image_.begin());
}

void PresetTwoPointSensor(LiveDataBlock& sensor) {
  sensor.putText(61, 80 - 61, "Norva Sensor");
  sensor.putU16(80, 4);
  sensor.putU16(82, 0);
  sensor.putU16(84, 6);
}

}  // namespace lark
