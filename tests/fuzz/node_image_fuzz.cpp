// Node and block images from a console: the node's wire image is taken in
// and written out again with every pointer slot 0 and every text terminated,
// and each live-data block takes the same bytes within its own size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/device_node.h"
#include "core/live_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lark::CBytes in(data, size);
  lark::DeviceNode node;
  auto child = std::make_unique<lark::DeviceNode>();
  node.addChild(child);
  node.loadWireImage(in);  // a short image changes nothing
  // Inputs are mostly shorter than a node: the rest of the image stays zero.
  std::vector<uint8_t> image(lark::kDeviceNodeSize, 0);
  std::copy_n(data, std::min(size, image.size()), image.begin());
  node.loadWireImage(image);
  const lark::DeviceNode::Image out = node.wireImage();
  if (node.childCount() != 1 || lark::i16At(out, lark::node_off::kChildCount) != 1) {
    __builtin_trap();
  }
  for (size_t off = 0; off < lark::kDeviceNodeSize; off += 4) {
    if (lark::TouchesPointerSlot(off, 4) && lark::u32At(out, off) != 0) __builtin_trap();
  }
  // Every text field ends inside its width.
  if (node.title().size() >= lark::node_off::kTitleSize ||
      node.location().size() >= lark::node_off::kLocationSize ||
      node.ip().size() >= lark::node_off::kIpSize ||
      node.community().size() >= lark::node_off::kCommunitySize ||
      node.com().size() >= lark::node_off::kComSize) {
    __builtin_trap();
  }
  for (size_t k = 0; k < lark::kBlockKindCount; ++k) {
    lark::LiveDataBlock block(static_cast<lark::BlockKind>(k));
    block.copyIn(in);
    if (block.copyOut().size() != lark::BlockSize(block.kind())) __builtin_trap();
    block.slot(block.slotCount());
    block.mask(lark::MaskWord::kExtCurrent);
  }
  return 0;
}
