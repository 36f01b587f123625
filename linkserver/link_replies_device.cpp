// Device data replies (command 6) and the status walks of the sentMask
// rounds, which the shared-memory status exchange uses too.
#include <vector>

#include "common/byte_writer.h"
#include "core/device_tree.h"
#include "linkserver/link_replies.h"
#include "linkserver/link_requests.h"

namespace lark {

namespace {

constexpr size_t kDeviceDataIdOff = 6;
constexpr size_t kDeviceDataCountOff = 8;

// The event-mask byte ranges of the short form, by block kind.
struct ByteRange {
  size_t off, size;
};
std::vector<ByteRange> ShortFormRanges(BlockKind kind) {
  switch (kind) {
    case BlockKind::kSnmp:
      return {{16, 8}};
    case BlockKind::kGprs:
      return {{8, 8}};
    case BlockKind::kAscii:
    case BlockKind::kBinary:
    case BlockKind::kModbus:
      return {{8, 8}, {24, 8}};
    case BlockKind::kSensor:
    case BlockKind::kMeter:
      return {{1, 1}};
    case BlockKind::kMeterSum:
      return {};
  }
  return {};
}

size_t ShortFormSize(BlockKind kind) {
  size_t n = 0;
  for (const ByteRange& r : ShortFormRanges(kind)) n += r.size;
  return n;
}

bool IsLeaf(const DeviceNode& node) { return !node.isGroup(); }

// The live-data block of the node's kind and CommType, whole (sub 1).
void PutLiveBlock(const DeviceNode& node, ByteWriter& out) {
  bool has = false;
  const BlockKind kind = PrimaryBlockKind(node, &has);
  if (!has) return;
  const LiveDataBlock* block = node.block(kind);
  if (block) {
    out.putBytes(block->copyOut());
  } else {
    out.putZeros(BlockSize(kind));
  }
}

}  // namespace

size_t NodeStatusSize(const DeviceNode& node, int channel) {
  if (!IsLeaf(node)) return 0;
  bool has = false;
  const BlockKind kind = PrimaryBlockKind(node, &has);
  if (channel % 2 == 1) return 2 + (has ? ShortFormSize(kind) : 0);
  return 5 + (has ? BlockSize(kind) : 0);
}

bool AppendNodeStatus(const DeviceNode& node, ByteWriter& out, int channel) {
  if (!IsLeaf(node)) return true;
  if (NodeStatusSize(node, channel) > out.room()) return false;
  bool has = false;
  const BlockKind kind = PrimaryBlockKind(node, &has);
  const LiveDataBlock* block = has ? node.block(kind) : nullptr;
  out.putBe16(node.idU16());
  if (channel % 2 == 1) {
    if (!has) return true;
    std::vector<uint8_t> image =
        block ? block->copyOut() : std::vector<uint8_t>(BlockSize(kind), 0);
    for (const ByteRange& r : ShortFormRanges(kind)) {
      out.putBytes(CBytes(image.data() + r.off, r.size));
    }
    return true;
  }
  out.putU8(static_cast<uint8_t>(node.commType() & 0xFF));
  out.putU8(node.upsTypeCode());
  out.putU8(node.mibType());
  if (!has) return true;
  if (block) {
    out.putBytes(block->copyOut());
  } else {
    out.putZeros(BlockSize(kind));
  }
  return true;
}

bool AppendUnsentLeaves(DeviceNode& node, int& count, ByteWriter& out, int channel) {
  if (count <= 0) return true;
  if (IsLeaf(node)) {
    const uint32_t bit = 1u << channel;
    if (node.sentMask() & bit) return true;
    if (!AppendNodeStatus(node, out, channel)) return false;
    node.setSentBits(bit);
    --count;
    return true;
  }
  for (const auto& child : node.children()) {
    if (count <= 0) break;
    if (!AppendUnsentLeaves(*child, count, out, channel)) return false;
  }
  return true;
}

void ClearSentBits(DeviceNode& node, int c) {
  if (c == 0) {
    node.setSentMask(0);
  } else if (c >= 1 && c <= 32) {
    node.clearSentBits(1u << (c - 1));
  }
  for (const auto& child : node.children()) ClearSentBits(*child, c);
}

bool PutDeviceData(DeviceTree& tree, const DeviceNode& node, uint8_t sub, uint16_t count,
                   StatusChannels channels, ByteWriter& out) {
  switch (sub) {
    case 0: {
      uint8_t image[kDeviceNodeSize];
      node.wireImage(Bytes(image, sizeof image));
      out.putBytes(CBytes(image, sizeof image));
      return true;
    }
    case 1:
      PutLiveBlock(node, out);
      return true;
    case 2:
      for (const auto& child : node.children()) {
        if (!child->isGroup() && !AppendNodeStatus(*child, out, 1)) break;
      }
      return true;
    case 3:
    case 4: {
      const int channel = sub == 3 ? channels.longForm : channels.shortForm;
      DeviceNode& root = tree.root();
      if (CountDevices(root) == 0) return true;
      int left = count;
      const bool complete = AppendUnsentLeaves(root, left, out, channel);
      // Fewer leaves than asked: the round is over. An answer that ran out of
      // room is not the end of the round.
      if (complete && left > 0) ClearSentBits(root, channel + 1);
      return true;
    }
    default:
      return false;
  }
}

void HandleGetDeviceData(LinkRequest& r, LinkFrameBuilder& reply) {
  auto id = r.frame.be16(kDeviceDataIdOff);
  if (!id || r.services.tree == nullptr) return BuildLinkFailureReply(r, reply);
  DeviceTree& tree = *r.services.tree;
  DeviceNode* node = Tree_FindNodeById(tree, *id);
  const uint8_t sub = r.sub();
  if (!node || sub > 4) return BuildLinkFailureReply(r, reply);
  // Subs 3 and 4 read the leaf count; it must be inside the request.
  std::optional<uint16_t> count;
  if (sub == 3 || sub == 4) {
    count = r.frame.be16(kDeviceDataCountOff);
    if (!count) return BuildLinkFailureReply(r, reply);
  }
  BeginSuccessReply(r, reply);
  reply.putBe16(node->idU16());
  ByteWriter data(reply.spare(LinkReplyRoom(reply)));
  PutDeviceData(tree, *node, sub, count.value_or(0),
                StatusChannels{LongChannelOf(r.slot), ShortChannelOf(r.slot)}, data);
  reply.advance(data.size());
}

}  // namespace lark
