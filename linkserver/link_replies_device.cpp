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

size_t StatusSize(const DeviceNode::Head& h, int channel) {
  if (h.isGroup()) return 0;
  bool has = false;
  const BlockKind kind = PrimaryBlockKindOf(h.nodeKind, h.commType, &has);
  if (channel % 2 == 1) return 2 + (has ? ShortFormSize(kind) : 0);
  return 5 + (has ? BlockSize(kind) : 0);
}

// One leaf's status from the fields `h` read of it under one lock.
bool AppendStatus(const DeviceNode& node, const DeviceNode::Head& h, ByteWriter& out,
                  int channel) {
  if (h.isGroup()) return true;
  if (StatusSize(h, channel) > out.room()) return false;
  bool has = false;
  const BlockKind kind = PrimaryBlockKindOf(h.nodeKind, h.commType, &has);
  const LiveDataBlock* block = has ? node.block(kind) : nullptr;
  out.putBe16(h.id);
  if (channel % 2 == 1) {
    if (!has) return true;
    if (block == nullptr) {
      out.putZeros(ShortFormSize(kind));
      return true;
    }
    block->withImage([&](CBytes image) {
      for (const ByteRange& r : ShortFormRanges(kind)) {
        if (r.off + r.size <= image.size()) {
          out.putBytes(image.subspan(r.off, r.size));
        } else {
          out.putZeros(r.size);
        }
      }
    });
    return true;
  }
  out.putU8(static_cast<uint8_t>(h.commType & 0xFF));
  out.putU8(h.upsTypeCode);
  out.putU8(h.mibType);
  if (!has) return true;
  if (block) {
    block->withImage([&](CBytes image) { out.putBytes(image); });
  } else {
    out.putZeros(BlockSize(kind));
  }
  return true;
}

}  // namespace

size_t NodeStatusSize(const DeviceNode& node, int channel) {
  return StatusSize(node.head(), channel);
}

bool AppendNodeStatus(const DeviceNode& node, ByteWriter& out, int channel) {
  return AppendStatus(node, node.head(), out, channel);
}

bool AppendUnsentLeaves(DeviceNode& node, int& count, ByteWriter& out, int channel) {
  if (count <= 0) return true;
  const DeviceNode::Head h = node.head();
  if (!h.isGroup()) {
    const uint32_t bit = 1u << channel;
    if (h.sentMask & bit) return true;
    if (!AppendStatus(node, h, out, channel)) return false;
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

void ClearSentBits(DeviceTree& tree, int c) {
  ClearSentBits(tree.root(), c);
  for (int channel = 0; channel < 32; ++channel) {
    if (c == 0 || channel == c - 1) tree.setRoundCursor(channel, 0);
  }
}

namespace {

// Up to `count` unsent devices of the round from the channel's cursor on,
// so a round walks the tree once, not once per request.
void AppendRoundDevices(DeviceTree& tree, int count, ByteWriter& out, int channel) {
  const std::vector<DeviceNode*>& devices = tree.devices();
  if (devices.empty()) return;
  const uint32_t bit = 1u << channel;
  size_t i = tree.roundCursor(channel);
  int left = count;
  bool complete = true;
  for (; i < devices.size() && left > 0; ++i) {
    DeviceNode& node = *devices[i];
    const DeviceNode::Head h = node.head();
    if (h.sentMask & bit) continue;
    if (!AppendStatus(node, h, out, channel)) {
      complete = false;
      break;
    }
    node.setSentBits(bit);
    --left;
  }
  // Fewer devices than asked: the round is over. An answer that ran out of
  // room is not the end of the round.
  if (complete && left > 0) {
    ClearSentBits(tree, channel + 1);
  } else {
    tree.setRoundCursor(channel, i);
  }
}

}  // namespace

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
        const DeviceNode::Head h = child->head();
        if (!h.isGroup() && !AppendStatus(*child, h, out, 1)) break;
      }
      return true;
    case 3:
    case 4: {
      AppendRoundDevices(tree, count, out, sub == 3 ? channels.longForm : channels.shortForm);
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
