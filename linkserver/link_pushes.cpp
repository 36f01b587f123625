// The device alarm-state push a console reads on its call-back connection.
//
//   offset 0  1  2-3     4  5     6-7        8 ...
//          01 01 length  01 code  node id BE  current mask [, extended current mask]
#include "core/device_tree.h"
#include "linkserver/link_server.h"

namespace lark {

namespace {

struct DevicePushShape {
  bool pushed = false;
  uint8_t code = 0;
  BlockKind block = BlockKind::kSnmp;
  size_t firstBytes = 0;  // bytes of the current mask
  bool extended = false;  // followed by the extended current mask (8 bytes)
};

DevicePushShape ShapeOf(const DeviceNode& node) {
  switch (node.nodeKind()) {
    case kNodeSnmp:
      return {true, 0, BlockKind::kSnmp, 8, false};
    case kNodeGprs:
      return {true, 11, BlockKind::kGprs, 8, false};
    case kNodeSerial:
      switch (node.commType()) {
        case kCommAscii:
          return {true, 1, BlockKind::kAscii, 8, true};
        case kCommPlc:
          return {true, 5, BlockKind::kAscii, 8, true};
        case kCommThreePhase:
          return {true, 2, BlockKind::kBinary, 8, true};
        case kCommModbusUps:
          return {true, 3, BlockKind::kModbus, 8, true};
        case kCommModbusTrv5200:
          return {true, 4, BlockKind::kModbus, 8, true};
        case kCommModbus9315:
          return {true, 6, BlockKind::kModbus, 8, true};
        case kCommInverter:
          return {true, 7, BlockKind::kModbus, 8, true};
        case kCommSensor:
          return {true, 9, BlockKind::kSensor, 1, false};
        case kCommMeter:
          return {true, 10, BlockKind::kMeter, 1, false};
        default:
          return {};
      }
    default:
      return {};  // groups are not pushed
  }
}

}  // namespace

bool BuildDeviceStatePush(const DeviceTree& tree, uint16_t nodeId, LinkFrameBuilder& out) {
  auto lock = tree.readLock();
  const DeviceNode* node = Tree_FindNodeById(tree, nodeId);
  if (node == nullptr) return false;
  const DevicePushShape shape = ShapeOf(*node);
  if (!shape.pushed) return false;
  const LiveDataBlock* block = node->block(shape.block);
  if (block == nullptr) return false;
  uint8_t masks[16] = {};
  const int current = MaskOffset(shape.block, MaskWord::kCurrent);
  if (current < 0 ||
      !block->readBytes(static_cast<size_t>(current), Bytes(masks, shape.firstBytes))) {
    return false;
  }
  size_t dataBytes = shape.firstBytes;
  if (shape.extended) {
    const int ext = MaskOffset(shape.block, MaskWord::kExtCurrent);
    if (ext < 0 || !block->readBytes(static_cast<size_t>(ext), Bytes(masks + 8, 8))) return false;
    dataBytes = 16;
  }
  out.begin(kLinkKindRequest, kLinkPushDeviceState);
  out.putU8(shape.code);
  out.putBe16(nodeId);
  out.putBytes(CBytes(masks, dataBytes));
  return !out.overflowed();
}

}  // namespace lark
