#include "console/link/device_data.h"

#include <vector>

#include "core/live_data.h"

namespace lark {

namespace {

// Bytes of a node's current status words in a status list: the current
// mask and, where the block has one, the extended current mask.
size_t StatusWordsSize(BlockKind kind) {
  return static_cast<size_t>(MaskBits(kind, MaskWord::kCurrent) + MaskBits(kind, MaskWord::kExtCurrent)) / 8;
}

void PutStatusWords(LiveDataBlock& block, CBytes words) {
  size_t at = 0;
  for (MaskWord w : {MaskWord::kCurrent, MaskWord::kExtCurrent}) {
    const int off = MaskOffset(block.kind(), w);
    if (off < 0) continue;
    const size_t n = static_cast<size_t>(MaskBits(block.kind(), w)) / 8;
    block.writeBytes(static_cast<size_t>(off), words.subspan(at, n));
    at += n;
  }
}

// The block a status list or push may write: none for groups and meter sums.
LiveDataBlock* StatusBlock(const DeviceNode& node) {
  if (node.isGroup()) return nullptr;
  LiveDataBlock* b = PrimaryBlock(node);
  if (b == nullptr || b->kind() == BlockKind::kMeterSum) return nullptr;
  return b;
}

int ApplyStatusList(DeviceNode& root, CBytes d) {
  int changed = 0;
  size_t at = 0;
  while (at + 2 <= d.size()) {
    DeviceNode* n = Tree_FindNodeById(be16At(d, at), &root);
    // An unknown identifier leaves no way to know how far its words reach.
    if (n == nullptr) break;
    LiveDataBlock* b = StatusBlock(*n);
    if (b == nullptr) break;
    const size_t size = StatusWordsSize(b->kind());
    if (d.size() - at - 2 < size) break;
    PutStatusWords(*b, d.subspan(at + 2, size));
    at += 2 + size;
    ++changed;
  }
  return changed;
}

int ApplyFullList(DeviceNode& root, CBytes d) {
  int changed = 0;
  size_t at = 0;
  while (at + 5 <= d.size()) {
    DeviceNode* n = Tree_FindNodeById(be16At(d, at), &root);
    if (n == nullptr) break;  // its block size is unknown: the rest cannot be placed
    if (n->isGroup()) {
      at += 5;
      continue;
    }
    bool has = false;
    const BlockKind kind = PrimaryBlockKind(*n, &has);
    const size_t size = has ? BlockSize(kind) : 0;
    if (d.size() - at - 5 < size) break;
    n->setUpsTypeCode(d[at + 3]);
    n->setMibType(d[at + 4]);
    if (has && ReplaceBlockKeepingMasks(*n, d.subspan(at + 5, size))) ++changed;
    at += 5 + size;
  }
  return changed;
}

}  // namespace

bool ReplaceBlockKeepingMasks(DeviceNode& node, CBytes image) {
  LiveDataBlock* b = PrimaryBlock(node);
  if (b == nullptr || image.size() < b->size()) return false;
  std::vector<uint8_t> copy(image.begin(), image.begin() + static_cast<ptrdiff_t>(b->size()));
  for (MaskWord w : {MaskWord::kReported, MaskWord::kExtReported}) {
    const int off = MaskOffset(b->kind(), w);
    if (off < 0) continue;
    b->readBytes(static_cast<size_t>(off),
                 Bytes(copy.data() + off, static_cast<size_t>(MaskBits(b->kind(), w)) / 8));
  }
  b->copyIn(copy);
  return true;
}

int ApplyDeviceDataForm(DeviceNode& root, DeviceNode& node, uint8_t form, CBytes data) {
  switch (form) {
    case kFormNode:
      if (data.size() < kDeviceNodeSize) return 0;
      node.setMibType(data[node_off::kMibType]);
      node.setUpsTypeCode(data[node_off::kUpsTypeCode]);
      return 1;
    case kFormBlock:
      return ReplaceBlockKeepingMasks(node, data) ? 1 : 0;
    case kFormStatusList:
    case kFormStatusListAll:
      return ApplyStatusList(root, data);
    case kFormFullList:
      return ApplyFullList(root, data);
    default:
      return 0;
  }
}

bool ApplyStatusPush(DeviceNode& node, uint8_t kindByte, CBytes data) {
  LiveDataBlock* b = StatusBlock(node);
  if (b == nullptr) return false;
  uint8_t expected = 0;
  switch (node.nodeKind()) {
    case kNodeSnmp:
      expected = 0;
      break;
    case kNodeGprs:
      expected = kindByte;  // any
      break;
    case kNodeSerial:
      switch (node.commType()) {
        case kCommAscii: expected = 1; break;
        case kCommPlc: expected = 5; break;
        case kCommThreePhase: expected = 2; break;
        case kCommModbusUps: expected = 3; break;
        case kCommModbusTrv5200: expected = 4; break;
        case kCommModbus9315: expected = 6; break;
        case kCommInverter: expected = 7; break;
        case kCommSensor: expected = 9; break;
        case kCommMeter: expected = 10; break;
        default: return false;
      }
      break;
    default:
      return false;
  }
  if (kindByte != expected) return false;
  const size_t size = StatusWordsSize(b->kind());
  if (data.size() < size) return false;
  PutStatusWords(*b, data.first(size));
  return true;
}

}  // namespace lark
