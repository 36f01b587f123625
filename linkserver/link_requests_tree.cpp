// Tree commands: add, properties, group picture, cut, paste, remove; and the
// per-node schedule and icon position. Structural changes go through the
// tree's StructuralEdit (the pollers paused, the tree lock exclusive).
#include <arpa/inet.h>

#include "core/device_tree.h"
#include "core/snmp_control.h"
#include "linkserver/link_replies.h"
#include "linkserver/link_requests.h"
#include "core/map_file.h"
#include "core/schedule_runner.h"

namespace lark {

namespace {

constexpr size_t kImageOff = 8;  // command 14: DeviceNode image from byte 8
constexpr size_t kImageEnd = kImageOff + kDeviceNodeSize;
constexpr size_t kSnmpExtraOff = kImageEnd;  // 8 bytes: the last-reported event mask
constexpr size_t kPlcRecordOff = 8;
constexpr size_t kMaskWordsOff = 8, kMaskWordCount = 4;
constexpr size_t kPictureOff = 7623;
constexpr size_t kPictureMax = 259;

// Offsets of the live-data blocks the properties command writes.
constexpr size_t kBinaryIdentifiedWord = 806;

enum NodePropertySub : uint8_t {
  kPropLocalDevice = 0,
  kPropGroup = 1,
  kPropSnmp = 2,
  kPropReadPlc = 3,
  kPropWritePlc = 4,
  kPropReadMasks = 5,
  kPropWriteMasks = 6,
  kPropGprs = 7,
};

// The image fields the properties command takes, read from the frame.
struct ImageFields {
  CBytes img;
  // The terminator is forced at the field's last byte.
  std::string text(size_t off, size_t size) const { return strAt(img, off, size - 1); }
  uint16_t u16(size_t off) const { return u16At(img, off); }
  int16_t i16(size_t off) const { return i16At(img, off); }
};

// Ends a tree command's reply: the data given, then the lock record.
void TreeReply(LinkRequest& r, LinkFrameBuilder& reply, bool ok) {
  if (!ok) return BuildLinkFailureReply(r, reply);
  BeginSuccessReply(r, reply);
  PutControlLock(r, reply);
}

void SetLocalDevice(LinkRequest& r, DeviceNode& node, const ImageFields& f) {
  DeviceTree& tree = *r.services.tree;
  DeviceTree::StructuralEdit edit(tree);
  node.setSaveInDatabase(f.u16(node_off::kSaveInDatabase) != 0);
  const uint16_t status = f.u16(node_off::kLinkStatus);
  if (status != kLinkStopped) {
    node.setLinkStatus(kLinkUnidentified);
    if (LiveDataBlock* b = node.block(BlockKind::kBinary)) b->putU16(kBinaryIdentifiedWord, 0);
  } else {
    node.setLinkStatus(kLinkStopped);
  }
  tree.endpoints().detachSerialDevice(node);
  node.setTitle(f.text(node_off::kTitle, node_off::kTitleSize));
  node.setLocation(f.text(node_off::kLocation, node_off::kLocationSize));
  node.setUpsId(f.i16(node_off::kUpsId));
  node.setCom(f.text(node_off::kCom, node_off::kComSize));
  const int16_t commType = f.i16(node_off::kCommType);
  node.setCommType(commType);
  KeepOnlyCommTypeBlock(node);
  if (commType == kCommSensor && (node.plcPointNum() & 0xFF) == 0) {
    if (LiveDataBlock* b = node.block(BlockKind::kSensor)) PresetTwoPointSensor(*b);
  }
  if (commType != kCommMeterSum) {
    node.setBaud(f.u16(node_off::kBaud));
    if (r.services.maps && r.services.maps->hooks().attachSerialDevice) {
      r.services.maps->hooks().attachSerialDevice(node);
    }
  }
}

void SetSnmpDevice(LinkRequest& r, DeviceNode& node, const ImageFields& f, CBytes extra) {
  DeviceTree& tree = *r.services.tree;
  DeviceTree::StructuralEdit edit(tree);
  SnmpDeviceControl* snmp = r.services.snmp;
  if (!snmp) tree.endpoints().removeSnmpDevice(node);
  const std::string ip = f.text(node_off::kIp, node_off::kIpSize);
  node.setIp(ip);
  // A dotted address resolves to itself; a name is looked up by the SNMP
  // manager's resolver thread (nodeEdited), never here.
  in_addr addr{};
  node.setResolvedAddress(inet_pton(AF_INET, ip.c_str(), &addr) == 1 ? addr.s_addr : 0);
  node.setCommunity(f.text(node_off::kCommunity, node_off::kCommunitySize));
  node.setPort(f.u16(node_off::kPort));
  node.setUpsId(f.i16(node_off::kUpsId));
  node.setMibType(f.img[node_off::kMibType]);
  // The kept entry is reset, re-armed and activated (it clears the reported
  // mask, which the console's value then replaces).
  if (snmp) snmp->nodeEdited(node);
  LiveDataBlock& block = node.ensureBlock(BlockKind::kSnmp);
  block.setMask(MaskWord::kReported, u64At(extra, 0));
  block.putI16(kSnmpRequestBudgetOffset, kSnmpInitialRequestBudget);
  node.setLinkStatus(f.u16(node_off::kLinkStatus));
  node.setSaveInDatabase(f.u16(node_off::kSaveInDatabase) != 0);
  node.setTitle(f.text(node_off::kTitle, node_off::kTitleSize));
  node.setLocation(f.text(node_off::kLocation, node_off::kLocationSize));
  if (!snmp) tree.endpoints().addSnmpDevice(node);
}

// Does the sub fit the node's kind? PLC records belong to local devices, the
// event-mask words to local and SNMP devices.
bool SubFitsNode(uint8_t sub, const DeviceNode& node) {
  switch (sub) {
    case kPropLocalDevice:
    case kPropReadPlc:
    case kPropWritePlc:
      return node.nodeKind() == kNodeSerial;
    case kPropGroup:
      return node.nodeKind() == kNodeGroup;
    case kPropSnmp:
      return node.nodeKind() == kNodeSnmp;
    case kPropReadMasks:
    case kPropWriteMasks:
      return node.nodeKind() == kNodeSerial || node.nodeKind() == kNodeSnmp;
    case kPropGprs:
      return node.nodeKind() == kNodeGprs;
    default:
      return false;
  }
}

}  // namespace

// ---- 13 ----

void HandleAddNode(LinkRequest& r, LinkFrameBuilder& reply) {
  r.takeLock(kLinkCmdAddNode);
  if (r.services.tree == nullptr) return BuildLinkFailureReply(r, reply);
  const uint8_t kind = r.sub();
  DeviceNode* parent = FindRequestNode(r, r.frame.be16(6).value_or(0));
  if (kind > kNodeGprs || parent == nullptr || !parent->isGroup()) {
    return BuildLinkFailureReply(r, reply);
  }
  r.services.tree->setCurrentParent(*parent);
  TreeReply(r, reply, Tree_CreateNode(*r.services.tree, kind, "0.0.0.0") != nullptr);
}

// ---- 14 ----

void HandleSetNodeProperties(LinkRequest& r, LinkFrameBuilder& reply) {
  const uint8_t sub = r.sub();
  const bool read = sub == kPropReadPlc || sub == kPropReadMasks;
  if (!read) r.takeLock(kLinkCmdSetNodeProperties);
  if (r.services.tree == nullptr) return BuildLinkFailureReply(r, reply);
  auto id = r.frame.be16(6);
  DeviceNode* node = id ? FindRequestNode(r, *id) : nullptr;
  if (node == nullptr || !SubFitsNode(sub, *node)) return BuildLinkFailureReply(r, reply);

  const ImageFields f{r.frame.slice(kImageOff, kDeviceNodeSize)};
  const bool hasImage = f.img.size() == kDeviceNodeSize;
  switch (sub) {
    case kPropLocalDevice: {
      if (!hasImage) return BuildLinkFailureReply(r, reply);
      const int16_t commType = f.i16(node_off::kCommType);
      if (commType < kCommAscii || commType > kCommMeterSum) {
        return BuildLinkFailureReply(r, reply);
      }
      SetLocalDevice(r, *node, f);
      break;
    }
    case kPropGroup:
      if (!hasImage) return BuildLinkFailureReply(r, reply);
      node->setTitle(f.text(node_off::kTitle, node_off::kTitleSize));
      node->setLocation(f.text(node_off::kLocation, node_off::kLocationSize));
      break;
    case kPropSnmp: {
      CBytes extra = r.frame.slice(kSnmpExtraOff, 8);
      if (!hasImage || extra.empty()) return BuildLinkFailureReply(r, reply);
      SetSnmpDevice(r, *node, f, extra);
      break;
    }
    case kPropReadPlc: {
      BeginSuccessReply(r, reply);
      uint8_t rec[kPlcSettingsSize] = {};
      WritePlcSettings(*node, Bytes(rec, sizeof rec));
      reply.putBytes(CBytes(rec, sizeof rec));
      PutControlLock(r, reply);
      return;
    }
    case kPropWritePlc: {
      CBytes rec = r.frame.slice(kPlcRecordOff, kPlcSettingsSize);
      if (rec.empty()) return BuildLinkFailureReply(r, reply);
      // The source texts are native members: replaced with the workers paused.
      DeviceTree::StructuralEdit edit(*r.services.tree);
      ReadPlcSettings(*node, rec);
      break;
    }
    case kPropReadMasks:
      BeginSuccessReply(r, reply);
      for (int i = 0; i < static_cast<int>(kMaskWordCount); ++i) {
        const auto w = static_cast<uint16_t>(node->plcUpsId(i));
        reply.putU8(static_cast<uint8_t>(w & 0xFF));
        reply.putU8(static_cast<uint8_t>(w >> 8));
      }
      PutControlLock(r, reply);
      return;
    case kPropWriteMasks: {
      CBytes words = r.frame.slice(kMaskWordsOff, 2 * kMaskWordCount);
      if (words.empty()) return BuildLinkFailureReply(r, reply);
      for (int i = 0; i < static_cast<int>(kMaskWordCount); ++i) {
        node->setPlcUpsId(i, i16At(words, 2 * static_cast<size_t>(i)));
      }
      break;
    }
    case kPropGprs:
      if (!hasImage) return BuildLinkFailureReply(r, reply);
      node->setLinkStatus(f.u16(node_off::kLinkStatus));
      node->setSaveInDatabase(f.u16(node_off::kSaveInDatabase) != 0);
      node->setTitle(f.text(node_off::kTitle, node_off::kTitleSize));
      node->setLocation(f.text(node_off::kLocation, node_off::kLocationSize));
      break;
  }
  TreeReply(r, reply, true);
}

// ---- 15 ----

void HandleSetGroupPicture(LinkRequest& r, LinkFrameBuilder& reply) {
  r.takeLock(kLinkCmdSetGroupPicture);
  if (r.services.tree == nullptr) return BuildLinkFailureReply(r, reply);
  DeviceNode* node = FindRequestNode(r, r.frame.be16(5).value_or(-1));
  if (node == nullptr || r.frame.size() < kPictureOff) return BuildLinkFailureReply(r, reply);
  DeviceTree::StructuralEdit edit(*r.services.tree);  // the picture name is a native member
  node->setPicture(PrintableText(FrameText(r.frame, kPictureOff, kPictureMax + 1), kPictureMax));
  TreeReply(r, reply, true);
}

// ---- 16 ----

void HandleCutNode(LinkRequest& r, LinkFrameBuilder& reply) {
  r.takeLock(kLinkCmdCutNode);
  if (r.services.tree == nullptr) return BuildLinkFailureReply(r, reply);
  auto id = r.frame.be16(5);
  DeviceNode* node = id ? FindRequestNode(r, *id) : nullptr;
  DeviceNode* parent = node ? node->parent() : nullptr;
  const int index = parent ? parent->indexOfChild(node) : -1;
  if (index < 0) return BuildLinkFailureReply(r, reply);
  DeviceTree& tree = *r.services.tree;
  tree.setCurrentParent(*parent);
  TreeReply(r, reply, Tree_CutChild(tree, index));
}

// ---- 17 ----

void HandlePasteNode(LinkRequest& r, LinkFrameBuilder& reply) {
  r.takeLock(kLinkCmdPasteNode);
  if (r.services.tree == nullptr) return BuildLinkFailureReply(r, reply);
  auto id = r.frame.be16(5);
  DeviceNode* target = id ? FindRequestNode(r, *id) : nullptr;
  // An empty clipboard, a device as target or a full group: refused.
  TreeReply(r, reply, target && Tree_PasteClipboard(*r.services.tree, *target));
}

// ---- 18 ----

void HandleRemoveNode(LinkRequest& r, LinkFrameBuilder& reply) {
  r.takeLock(kLinkCmdRemoveNode);
  if (r.services.tree == nullptr) return BuildLinkFailureReply(r, reply);
  auto id = r.frame.be16(6);
  DeviceNode* node = id ? FindRequestNode(r, *id) : nullptr;
  if (node == nullptr) return BuildLinkFailureReply(r, reply);
  DeviceTree& tree = *r.services.tree;
  if (r.sub() != 0) {
    // Empties the group; the group itself stays.
    if (node->isGroup()) {
      DeviceTree::StructuralEdit edit(tree);
      tree.setCurrentParent(*node);
      while (node->childCount() > 0 && Tree_DeleteChild(tree, 0)) {
      }
    }
    return TreeReply(r, reply, true);
  }
  DeviceNode* parent = node->parent();
  const int index = parent ? parent->indexOfChild(node) : -1;
  if (index < 0) return BuildLinkFailureReply(r, reply);
  tree.setCurrentParent(*parent);
  TreeReply(r, reply, Tree_DeleteChild(tree, index));
}

// ---- 29 ----

void HandleSetSchedule(LinkRequest& r, LinkFrameBuilder& reply) {
  constexpr size_t kBlockOff = 6;
  constexpr size_t kScopeOff = 0, kKindOff = 8, kWeekCountOff = 12, kWeekRowsOff = 16,
                   kDateCountOff = 196, kDateRowsOff = 200;
  CBytes block = r.frame.slice(kBlockOff, 472);
  if (r.sub() == 0 || block.empty() || !r.services.tree) return BuildLinkFailureReply(r, reply);
  DeviceNode* node = FindRequestNode(r, i16At(block, 4));
  const uint32_t weekCount = u32At(block, kWeekCountOff), dateCount = u32At(block, kDateCountOff);
  if (node == nullptr || weekCount > kWeekScheduleCount || dateCount > kDateScheduleCount) {
    return BuildLinkFailureReply(r, reply);
  }
  const uint32_t scope = u32At(block, kScopeOff);
  DeviceTree& tree = *r.services.tree;
  DeviceNode* parent = node->parent();
  if (scope == 0) {
    if (u32At(block, kKindOff) == 0) {
      for (int i = 0; i < kWeekScheduleCount; ++i) {
        const size_t at = kWeekRowsOff + 6 * static_cast<size_t>(i);
        node->setWeekEntry(i, i < static_cast<int>(weekCount)
                                  ? ScheduleWeekEntry{i16At(block, at), u8At(block, at + 2),
                                                      u8At(block, at + 3), u8At(block, at + 4)}
                                  : ScheduleWeekEntry{});
      }
    } else {
      for (int i = 0; i < kDateScheduleCount; ++i) {
        const size_t at = kDateRowsOff + 8 * static_cast<size_t>(i);
        node->setDateEntry(
            i, i < static_cast<int>(dateCount)
                   ? ScheduleDateEntry{i16At(block, at), u8At(block, at + 2), u8At(block, at + 3),
                                       u8At(block, at + 4), u8At(block, at + 5),
                                       u8At(block, at + 6)}
                   : ScheduleDateEntry{});
      }
    }
    if (r.services.clock) FindNextScheduledActions(*node, r.services.clock->now());
    if (r.services.maps) r.services.maps->SaveMapNode(*node);
    return BeginSuccessReply(r, reply);
  }
  // Copies go to the node's siblings or to every device: the root has no parent.
  if (parent == nullptr) return BuildLinkFailureReply(r, reply);
  tree.setCurrentParent(*parent);
  if (scope == 1) {
    for (const auto& c : parent->children()) {
      if (c.get() == node || c->isGroup()) continue;
      CopySchedule(*c, *node);
      if (r.services.maps) r.services.maps->SaveMapNode(*c);
    }
  } else {
    tree.setCurrentChildIndex(parent->indexOfChild(node));
    CopyScheduleToSubtree(tree.root(), *node);
    if (r.services.maps) r.services.maps->SaveMapFile();
  }
  BeginSuccessReply(r, reply);
}

// ---- 30 ----

void HandleMoveIcon(LinkRequest& r, LinkFrameBuilder& reply) {
  CBytes rec = r.frame.slice(6, 20);
  if (r.sub() == 0 || rec.empty()) return BuildLinkFailureReply(r, reply);
  DeviceNode* node = FindRequestNode(r, i16At(rec, 0));
  if (node == nullptr) return BuildLinkFailureReply(r, reply);
  node->setIconRect(NodeRect{i32At(rec, 4), i32At(rec, 8), i32At(rec, 12), i32At(rec, 16)});
  BeginSuccessReply(r, reply);
}

}  // namespace lark
