#include "console/diagram/diagram_source.h"

#include <climits>

namespace lark {
namespace {

BlockKind BlockOf(DiagramFamily f) {
  switch (f) {
    case DiagramFamily::kSnmp:
      return BlockKind::kSnmp;
    case DiagramFamily::kBinary:
      return BlockKind::kBinary;
    case DiagramFamily::kModbus:
      return BlockKind::kModbus;
    case DiagramFamily::kGprs:
      return BlockKind::kGprs;
    case DiagramFamily::kAscii:
    case DiagramFamily::kNone:
      break;
  }
  return BlockKind::kAscii;
}

}  // namespace

DiagramFamily DiagramFamilyOf(const DeviceNode& node) {
  switch (node.nodeKind()) {
    case kNodeSnmp:
      return DiagramFamily::kSnmp;
    case kNodeGprs:
      return DiagramFamily::kGprs;
    case kNodeSerial:
      switch (node.commType()) {
        case kCommAscii:
        case kCommPlc:
          return DiagramFamily::kAscii;
        case kCommThreePhase:
          return DiagramFamily::kBinary;
        case kCommModbusUps:
        case kCommModbusTrv5200:
        case kCommModbus9315:
        case kCommInverter:
          return DiagramFamily::kModbus;
        default:
          return DiagramFamily::kNone;
      }
    default:
      return DiagramFamily::kNone;
  }
}

DiagramSource::DiagramSource(const DeviceNode& node)
    : family_(DiagramFamilyOf(node)), commType_(node.commType()) {
  if (family_ != DiagramFamily::kNone) block_ = node.block(BlockOf(family_));
}

int32_t DiagramSource::slot(int n) const {
  return block_ != nullptr && n >= 0 ? block_->slot(n) : -1;
}

int32_t DiagramSource::word(size_t off) const { return block_ != nullptr ? block_->i32(off) : -1; }

uint64_t DiagramSource::mask(MaskWord w) const { return block_ != nullptr ? block_->mask(w) : 0; }

int32_t DiagramSource::batteryStatus() const {
  switch (family_) {
    case DiagramFamily::kSnmp:
      return word(500);
    case DiagramFamily::kAscii:
    case DiagramFamily::kModbus:
      return word(376);
    case DiagramFamily::kBinary:
      return word(392);
    case DiagramFamily::kGprs:
      return word(180);
    case DiagramFamily::kNone:
      break;
  }
  return -1;
}

std::string DiagramSource::date(size_t off) const {
  char d[8];
  if (block_ == nullptr || !block_->readBytes(off, Bytes(reinterpret_cast<uint8_t*>(d), 8)) ||
      d[0] == 0)
    return {};
  return std::string(d, 4) + "\\" + std::string(d + 4, 2) + "\\" + std::string(d + 6, 2);
}

bool IsSinglePhaseSource(const DiagramSource& src) {
  switch (src.family()) {
    case DiagramFamily::kSnmp:
    case DiagramFamily::kGprs:
      return true;
    case DiagramFamily::kAscii:
      return src.commType() == kCommAscii;
    case DiagramFamily::kModbus:
      return src.commType() == kCommModbusUps;
    default:
      return false;
  }
}

int32_t TimesTen(int32_t v) {
  if (v < 0) return v;
  const int64_t wide = static_cast<int64_t>(v) * 10;
  return wide > INT32_MAX ? INT32_MAX : static_cast<int32_t>(wide);
}

}  // namespace lark
