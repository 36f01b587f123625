// Tree operations. Sections: the tree object and its edit guard; reset,
// create, find, count; cut, paste, delete, free; endpoints and ids; the
// supported-parameter mask; the 2-second walk; the clock push and daily resets.
#include "core/device_tree.h"

#include <algorithm>
#include <bitset>
#include <cstdio>
#include <vector>

namespace lark {

namespace {

WorkerPauser& defaultPauser() {
  static WorkerPauser none;
  return none;
}
TreeEndpoints& defaultEndpoints() {
  static TreeEndpoints none;
  return none;
}

constexpr NodeRect kDefaultGroupRect{0, 0, 602, 422};

// The root's own fields; its children and blocks are already gone.
void resetRootImage(DeviceNode& root) {
  root.freeAllBlocks();
  root.setPicture("");
  for (int i = 0; i < kPlcPointCount; ++i) root.setPlcSource(i, "");
  static const DeviceNode::Image kZero{};
  root.loadWireImage(kZero);
  root.setId(0);
  root.setNodeKind(kNodeGroup);
  root.setTitle("Main");
  root.setIconRect({});
  root.setGroupRect(kDefaultGroupRect);
}

}  // namespace

// ---- the tree object ----

DeviceTree::DeviceTree() : DeviceTree(defaultPauser(), defaultEndpoints()) {}

DeviceTree::DeviceTree(WorkerPauser& pauser, TreeEndpoints& endpoints)
    : pauser_(&pauser), endpoints_(&endpoints), root_(std::make_unique<DeviceNode>()) {
  currentParent_ = root_.get();
  resetRootImage(*root_);
  rebuildIndex();
}

DeviceTree::~DeviceTree() = default;

DeviceTree::StructuralEdit::StructuralEdit(DeviceTree& tree)
    : tree_(tree), outer_(tree.editDepth_ == 0) {
  if (outer_) {
    tree_.pauser_->pauseAll();
    tree_.mu_.lock();
    tree_.generation_.fetch_add(1, std::memory_order_acq_rel);
  }
  ++tree_.editDepth_;
}

DeviceTree::StructuralEdit::~StructuralEdit() {
  --tree_.editDepth_;
  if (outer_) {
    tree_.mu_.unlock();
    tree_.pauser_->resumeAll();
  }
}

// ---- the id index ----

DeviceNode* DeviceTree::findById(int32_t id) const {
  if (id < 0 || id > 0xFFFF) return nullptr;
  auto it = ids_.find(static_cast<uint16_t>(id));
  return it == ids_.end() ? nullptr : it->second;
}

void DeviceTree::indexSubtree(DeviceNode& node) {
  ids_.emplace(node.idU16(), &node);  // an id already held keeps its node
  for (const auto& c : node.children()) indexSubtree(*c);
}

void DeviceTree::unindexNode(const DeviceNode& node) {
  auto it = ids_.find(node.idU16());
  if (it != ids_.end() && it->second == &node) ids_.erase(it);
}

void DeviceTree::unindexSubtree(const DeviceNode& node) {
  unindexNode(node);
  for (const auto& c : node.children()) unindexSubtree(*c);
}

void DeviceTree::rebuildIndex() {
  ids_.clear();
  indexSubtree(*root_);
}

// ---- reset, create, find, count ----

void Tree_ResetRoot(DeviceTree& tree) {
  DeviceTree::StructuralEdit edit(tree);
  DeviceNode& root = tree.root();
  if (root.childCount() > 0) Tree_FreeSubtree(tree, root);
  resetRootImage(root);
  tree.setCurrentParent(root);
  tree.rebuildIndex();
}

namespace {

void collectIds(const DeviceNode& node, std::bitset<65536>& used) {
  used.set(node.idU16());
  for (const auto& c : node.children()) collectIds(*c, used);
}

// The id for a new node: NextNodeId when it is free and within range, else
// the next free id above it, wrapping to 1; 0 when every id is taken. The
// tree's ids come from the index; only the clipboard is walked.
uint32_t chooseNodeId(const DeviceTree& tree) {
  std::bitset<65536> clipped;
  if (tree.clipboard()) collectIds(*tree.clipboard(), clipped);
  uint32_t start = tree.nextNodeId();
  if (start == 0 || start > kMaxNodeId) start = 1;
  for (uint32_t n = 0; n < kMaxNodeId; ++n) {
    const uint32_t id = (start - 1 + n) % kMaxNodeId + 1;
    if (!clipped.test(id) && tree.findById(static_cast<int32_t>(id)) == nullptr) return id;
  }
  return 0;
}

int depthOf(const DeviceNode& node) {
  int d = 0;
  for (const DeviceNode* p = node.parent(); p; p = p->parent()) ++d;
  return d;
}

int heightOf(const DeviceNode& node) {
  int h = 0;
  for (const auto& c : node.children()) h = std::max(h, 1 + heightOf(*c));
  return h;
}

}  // namespace

DeviceNode* Tree_CreateNode(DeviceTree& tree, uint8_t kind, std::string_view ipText) {
  DeviceTree::StructuralEdit edit(tree);
  DeviceNode& parent = tree.currentParent();
  // Only groups hold children; a device as insertion point is a caller's slip.
  if (!parent.isGroup() || parent.childCount() >= kMaxChildren) return nullptr;
  if (depthOf(parent) + 1 > kMaxTreeDepth) return nullptr;
  const uint32_t id = chooseNodeId(tree);
  if (id == 0) return nullptr;

  auto node = std::make_unique<DeviceNode>();
  node->setTitle("UnTitled");
  node->setLinkStatus(kLinkUnidentified);
  node->setSaveInDatabase(true);
  switch (kind) {
    case kNodeSerial:
      node->setNodeKind(kNodeSerial);
      node->setBaud(2400);
      break;
    case kNodeGroup:
      node->setNodeKind(kNodeGroup);
      node->setIconRect({});
      node->setGroupRect(kDefaultGroupRect);
      break;
    case kNodeSnmp:
      node->setNodeKind(kNodeSnmp);
      node->setIp(ipText);
      break;
    case kNodeGprs:
      node->setNodeKind(kNodeGprs);
      break;
    default:
      node->setNodeKind(kNodeSerial);
      break;
  }
  if (kind <= kNodeGprs) AllocateNodeBlocks(*node);
  node->setSnmpPollPosition(0);
  node->setSnmpPollGroup(0);
  node->resetAudioRepeat();
  node->setId(static_cast<int16_t>(static_cast<uint16_t>(id)));

  DeviceNode* raw = parent.addChild(node);
  if (!raw) return nullptr;
  if (kind == kNodeSnmp && !tree.endpoints().addSnmpDevice(*raw)) {
    parent.detachChild(parent.childCount() - 1);
    return nullptr;
  }
  tree.indexSubtree(*raw);
  tree.setNextNodeId(id + 1);
  return raw;
}

DeviceNode* Tree_FindNodeById(const DeviceTree& tree, int32_t id) { return tree.findById(id); }

DeviceNode* Tree_FindNodeById(int32_t id, DeviceNode* start) {
  if (!start || id < 0 || id > 0xFFFF) return nullptr;
  if (start->idU16() == static_cast<uint16_t>(id)) return start;
  for (const auto& c : start->children()) {
    if (DeviceNode* found = Tree_FindNodeById(id, c.get())) return found;
  }
  return nullptr;
}

const DeviceNode* Tree_FindNodeById(int32_t id, const DeviceNode* start) {
  return Tree_FindNodeById(id, const_cast<DeviceNode*>(start));
}

DeviceNode* Tree_FindById(DeviceNode* start, int16_t id) {
  return Tree_FindNodeById(static_cast<uint16_t>(id), start);
}

int CountDevices(const DeviceNode& node) {
  int n = 0;
  for (const auto& c : node.children()) {
    if (!c->isGroup()) ++n;
    n += CountDevices(*c);
  }
  return n;
}

const std::vector<DeviceNode*>& DeviceTree::devices() {
  const uint64_t now = structureGeneration();
  if (devicesGeneration_ == now) return devices_;
  devices_.clear();
  auto walk = [this](DeviceNode& node, auto& self) -> void {
    for (const auto& c : node.children()) {
      if (c->isGroup()) {
        self(*c, self);
      } else {
        devices_.push_back(c.get());
      }
    }
  };
  walk(*root_, walk);
  // The generation moves at an edit's start only: a list made inside one
  // is not kept past it.
  devicesGeneration_ = inStructuralEdit() ? UINT64_MAX : now;
  return devices_;
}

size_t DeviceTree::roundCursor(int channel) {
  if (channel < 0 || channel >= static_cast<int>(rounds_.size())) return 0;
  const RoundCursor& r = rounds_[static_cast<size_t>(channel)];
  return r.generation == structureGeneration() ? r.next : 0;
}

void DeviceTree::setRoundCursor(int channel, size_t next) {
  if (channel < 0 || channel >= static_cast<int>(rounds_.size())) return;
  rounds_[static_cast<size_t>(channel)] =
      RoundCursor{inStructuralEdit() ? UINT64_MAX : structureGeneration(), next};
}

int CountGroups(const DeviceNode& node) {
  int n = 1;
  for (const auto& c : node.children()) {
    if (c->isGroup()) n += CountGroups(*c);
  }
  return n;
}

// ---- cut, paste, delete, free ----

namespace {

void freeClipboard(DeviceTree& tree) {
  if (!tree.clipboard()) return;
  Tree_FreeSubtree(tree, *tree.clipboard());
  tree.setClipboard(nullptr);
}

void afterRemoval(DeviceTree& tree, DeviceNode& parent) {
  if (parent.childCount() > 0) tree.setCurrentChildIndex(parent.childCount() - 1);
}

}  // namespace

bool Tree_CutChild(DeviceTree& tree, int index) {
  DeviceNode& parent = tree.currentParent();
  if (!parent.child(index)) return false;
  DeviceTree::StructuralEdit edit(tree);
  freeClipboard(tree);
  std::unique_ptr<DeviceNode> child = parent.detachChild(index);
  tree.unindexSubtree(*child);
  Tree_RemoveEndpoints(tree, *child);
  tree.setClipboard(std::move(child));
  afterRemoval(tree, parent);
  return true;
}

bool Tree_PasteClipboard(DeviceTree& tree, DeviceNode& group) {
  if (!tree.clipboard() || !group.isGroup() || group.childCount() >= kMaxChildren) return false;
  if (depthOf(group) + 1 + heightOf(*tree.clipboard()) > kMaxTreeDepth) return false;
  DeviceTree::StructuralEdit edit(tree);
  std::unique_ptr<DeviceNode> node = tree.takeClipboard();
  DeviceNode* raw = group.addChild(node);
  if (!raw) {
    tree.setClipboard(std::move(node));
    return false;
  }
  tree.indexSubtree(*raw);
  Tree_AddEndpoints(tree, *raw);
  return true;
}

bool Tree_DeleteChild(DeviceTree& tree, int index) {
  DeviceNode& parent = tree.currentParent();
  DeviceNode* child = parent.child(index);
  if (!child) return false;
  DeviceTree::StructuralEdit edit(tree);
  tree.unindexNode(*child);
  Tree_FreeSubtree(tree, *child);
  parent.detachChild(index);
  afterRemoval(tree, parent);
  return true;
}

void Tree_FreeSubtree(DeviceTree& tree, DeviceNode& node) {
  DeviceTree::StructuralEdit edit(tree);
  // The insertion point must not be left inside a freed subtree.
  for (const DeviceNode* p = &tree.currentParent(); p; p = p->parent()) {
    if (p == &node) {
      tree.setCurrentParent(tree.root());
      break;
    }
  }
  switch (node.nodeKind()) {
    case kNodeSnmp:
      tree.endpoints().removeSnmpDevice(node);
      break;
    case kNodeSerial:
      tree.endpoints().detachSerialDevice(node);
      break;
    case kNodeGprs:
      tree.endpoints().releaseGprsStation(node);
      break;
    default:
      break;
  }
  node.setPicture("");
  node.freeAllBlocks();
  for (const auto& c : node.children()) {
    tree.unindexNode(*c);  // each level drops its own children
    Tree_FreeSubtree(tree, *c);
  }
  while (node.childCount() > 0) node.detachChild(node.childCount() - 1);
}

void Tree_FreeAll(DeviceTree& tree) {
  DeviceTree::StructuralEdit edit(tree);
  // The clipboard goes with the tree: its serial devices would otherwise stay
  // in the port table and a later paste would bring ids of another map.
  freeClipboard(tree);
  Tree_FreeSubtree(tree, tree.root());
  Tree_ResetRoot(tree);
}

void Tree_ClearAll(DeviceTree& tree) {
  tree.setCurrentParent(tree.root());
  Tree_FreeAll(tree);
}

// ---- endpoints and ids ----

void Tree_RemoveEndpoints(DeviceTree& tree, DeviceNode& node) {
  DeviceTree::StructuralEdit edit(tree);
  if (node.nodeKind() == kNodeSerial || node.nodeKind() == kNodeSnmp) {
    tree.endpoints().removeSnmpDevice(node);
  }
  for (const auto& c : node.children()) Tree_RemoveEndpoints(tree, *c);
}

void Tree_AddEndpoints(DeviceTree& tree, DeviceNode& node) {
  DeviceTree::StructuralEdit edit(tree);
  if (node.nodeKind() == kNodeSnmp) tree.endpoints().addSnmpDevice(node);
  for (const auto& c : node.children()) Tree_AddEndpoints(tree, *c);
}

void Tree_FindMaxId(const DeviceNode& node, uint32_t& highest) {
  highest = std::max<uint32_t>(highest, node.idU16());
  for (const auto& c : node.children()) Tree_FindMaxId(*c, highest);
}

void Tree_ComputeNextFreeId(DeviceTree& tree) {
  uint32_t highest = 0;
  Tree_FindMaxId(tree.root(), highest);
  // The clipboard's ids come back with a paste: never hand them out again.
  if (tree.clipboard()) Tree_FindMaxId(*tree.clipboard(), highest);
  tree.setNextNodeId(highest + 1);
}

// ---- queries ----

int SnmpSlotParameter(int slot) {
  if (slot >= 28 && slot <= 36) return slot - 28;
  if (slot == 38) return 9;
  if (slot >= 40 && slot <= 52) return slot - 40 + 10;
  if (slot >= 54 && slot <= 62) return slot - 54 + 23;
  if (slot == 67) return 38;
  if (slot >= 68 && slot <= 71) return slot - 68 + 32;
  if (slot >= 74 && slot <= 75) return slot - 74 + 36;
  return -1;
}

int GeneralSlotParameter(int slot) {
  switch (slot) {
    case 30:
      return 53;
    case 32:
      return 45;
    case 33:
      return 46;
    case 34:
      return 48;
    case 35:
      return 47;
    case 37:
      return 49;
    case 38:
      return 50;
    case 39:
      return 52;
    case 40:
      return 51;
    case 58:
      return 15;
    default:
      break;
  }
  if (slot >= 42 && slot <= 56) return slot - 42;
  if (slot >= 60 && slot <= 75) return slot - 60 + 16;
  if (slot >= 77 && slot <= 89) return slot - 77 + 32;
  return -1;
}

namespace {

constexpr uint64_t lowBits(int n) { return n >= 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1; }

uint64_t maskThrough(const LiveDataBlock* block, int slots, int (*map)(int)) {
  if (!block) return 0;
  uint64_t m = 0;
  for (int s = 0; s < slots; ++s) {
    const int p = map(s);
    if (p >= 0 && block->slot(s) >= 0) m |= uint64_t{1} << p;
  }
  return m;
}

}  // namespace

uint64_t Tree_SupportedParamMask(const DeviceNode& node) {
  switch (node.nodeKind()) {
    case kNodeSnmp:
      if (node.mibType() == kMibSensor) return lowBits(7);
      if (node.mibType() == kMibInverter) return lowBits(17);
      return maskThrough(node.block(BlockKind::kSnmp), kSnmpSlotCount, SnmpSlotParameter);
    case kNodeGprs:
      return maskThrough(node.block(BlockKind::kGprs), kGprsSlotCount, GeneralSlotParameter);
    case kNodeSerial:
      switch (node.commType()) {
        case kCommAscii:
          return maskThrough(node.block(BlockKind::kAscii), kAsciiSlotCount, GeneralSlotParameter);
        case kCommThreePhase:
          return maskThrough(node.block(BlockKind::kBinary), kBinarySlotCount,
                             GeneralSlotParameter);
        case kCommModbusUps:
          return maskThrough(node.block(BlockKind::kModbus), kModbusSlotCount,
                             GeneralSlotParameter);
        case kCommModbusTrv5200:
          return lowBits(56);
        case kCommModbus9315:
          return lowBits(34);
        case kCommInverter:
          return lowBits(17);
        case kCommSensor:
          return lowBits(7);
        case kCommMeter:
          return lowBits(10);
        case kCommMeterSum:
          return lowBits(4);
        default:
          return 0;
      }
    default:
      return 0;
  }
}

int Tree_IsInverterSensorOrMeter(const DeviceNode& node) {
  if (node.nodeKind() == kNodeSerial) {
    const int16_t c = node.commType();
    return (c >= kCommInverter && c <= kCommMeterSum) ? 1 : 0;
  }
  if (node.nodeKind() == kNodeSnmp) {
    return (node.mibType() == kMibInverter || node.mibType() == kMibSensor) ? 1 : 0;
  }
  return 0;
}

bool Tree_IsEventSuppressed(const DeviceNode& node, int event) {
  const bool applies = (node.nodeKind() == kNodeSerial && node.commType() == kCommModbusTrv5200) ||
                       (node.nodeKind() == kNodeSnmp && node.mibType() == kMibMakerUps);
  return applies && node.eventSuppressionBit(event);
}

// ---- the 2-second walk ----

namespace {

// The lowest level of the action rows 2i of the events set in `mask`;
// `ignored(i, mask)` drops an event whose condition another event covers.
template <class Ignored>
uint8_t scanLevel(uint64_t mask, int events, std::string_view family,
                  const ActionLevelSource& levels, Ignored ignored) {
  uint8_t level = kAlarmNone;
  for (int i = 0; i < events && i < 64; ++i) {
    if (!((mask >> i) & 1u) || ignored(i, mask)) continue;
    level = std::min(level, levels.ActionRowLevel(family, 2 * i));
  }
  return level;
}

uint8_t scanLevel(uint64_t mask, int events, std::string_view family,
                  const ActionLevelSource& levels) {
  return scanLevel(mask, events, family, levels, [](int, uint64_t) { return false; });
}

uint8_t deviceLevel(DeviceNode& node, const ActionLevelSource& levels) {
  const auto none = [](int, uint64_t) { return false; };
  const auto bit = [](uint64_t m, int b) { return ((m >> b) & 1u) != 0; };
  if (node.nodeKind() == kNodeSnmp) {
    const LiveDataBlock* b = node.block(BlockKind::kSnmp);
    if (!b) return kAlarmNone;
    return scanLevel(b->mask(MaskWord::kReported), 36, "snmpv4", levels,
                     [&](int i, uint64_t m) { return i == 16 && bit(m, 23); });
  }
  if (node.nodeKind() == kNodeGprs) {
    const LiveDataBlock* b = node.block(BlockKind::kGprs);
    if (!b) return kAlarmNone;
    return scanLevel(b->mask(MaskWord::kReported), 26, "gprs", levels,
                     [&](int i, uint64_t m) { return i == 23 && bit(m, 16); });
  }
  if (node.nodeKind() != kNodeSerial) return kAlarmNone;
  LiveDataBlock* b = PrimaryBlock(node);
  if (!b) return kAlarmNone;
  switch (node.commType()) {
    case kCommAscii:
    case kCommModbusUps: {
      // The summary bit of the extended alarm word, kept in the current mask.
      const uint64_t ext = b->mask(MaskWord::kExtReported);
      const bool any = (ext & 0x0FFFFFFFu) != 0;
      b->updateMask(MaskWord::kCurrent, [&](uint64_t m) {
        return any ? (m | (uint64_t{1} << 25)) : (m & ~(uint64_t{1} << 25));
      });
      const uint8_t main = scanLevel(b->mask(MaskWord::kReported), 26, "regular", levels,
                                     [&](int i, uint64_t m) { return i == 23 && bit(m, 16); });
      return std::min(main, scanLevel(ext, 33, "regularplus", levels, none));
    }
    case kCommThreePhase: {
      const uint64_t ext = b->mask(MaskWord::kExtReported);
      b->updateMask(MaskWord::kCurrent, [&](uint64_t m) {
        return ext != 0 ? (m | (uint64_t{1} << 15)) : (m & ~(uint64_t{1} << 15));
      });
      const uint8_t main = scanLevel(b->mask(MaskWord::kReported), 24, "3phase", levels,
                                     [&](int i, uint64_t m) { return i == 12 && bit(m, 6); });
      return std::min(main, scanLevel(ext, 52, "3phaseplus", levels, none));
    }
    case kCommModbusTrv5200:
      return scanLevel(b->mask(MaskWord::kReported), 37, "mge", levels);
    case kCommPlc:
      // Either PLC event takes the level of event 1's occurred row.
      return (b->mask(MaskWord::kReported) & 0x3u) ? levels.ActionRowLevel("plc", 2)
                                                   : uint8_t{kAlarmNone};
    case kCommModbus9315:
      return scanLevel(b->mask(MaskWord::kReported), 41, "pw", levels);
    case kCommInverter:
      return scanLevel(b->mask(MaskWord::kReported), 17, "inverter", levels);
    case kCommSensor:
      return scanLevel(b->mask(MaskWord::kReported) & 0x3Fu, 6, "sensor", levels);
    case kCommMeter:
      return scanLevel(b->mask(MaskWord::kReported) & 0x1u, 1, "meter", levels);
    default:
      return kAlarmNone;
  }
}

}  // namespace

uint8_t Tree_RunCountdowns(DeviceNode& node, const ActionLevelSource& levels,
                           UpsCommandSink& commands) {
  int32_t countdown = node.testCountdown();
  if (countdown > 0) {
    countdown -= 2;
    if (countdown < 1) {
      countdown = 0;
      if (node.isGroup() && !node.parent()) {
        commands.SendAllControl(kUpsCommandCancelTest, 0, 0);
      } else if (node.isGroup()) {
        commands.SendGroupControl(node, kUpsCommandCancelTest, 0, 0);
      } else {
        commands.SendDeviceControl(node, kUpsCommandCancelTest, 0, 0);
      }
    }
    node.setTestCountdown(countdown);
  }

  uint8_t level = kAlarmNone;
  if (node.isGroup()) {
    for (const auto& c : node.children()) {
      level = std::min(level, Tree_RunCountdowns(*c, levels, commands));
    }
  } else {
    level = deviceLevel(node, levels);
  }
  node.setAlarmLevel(level);
  return level;
}

// ---- clock push and daily resets ----

std::string ClockCommandText(const WallTime& now) {
  // Two digits per field keep the declared length 020 true.
  char buf[32];
  std::snprintf(buf, sizeof buf, "S020SDT%02d;%02d;%02d;%02d;%02d;%02d",
                ((now.year - 2000) % 100 + 100) % 100, now.month % 100, now.day % 100,
                now.hour % 100, now.minute % 100, now.second % 100);
  return buf;
}

std::array<uint8_t, 8> ClockCommandFrame(const WallTime& now) {
  return {7,
          9,
          static_cast<uint8_t>(now.year - 2000),
          static_cast<uint8_t>(now.month),
          static_cast<uint8_t>(now.day),
          static_cast<uint8_t>(now.hour),
          static_cast<uint8_t>(now.minute),
          static_cast<uint8_t>(now.second)};
}

void Tree_PushDateTime(DeviceNode& node, const WallTime& now, UpsCommandSink& commands) {
  if (node.isGroup()) {
    for (const auto& c : node.children()) Tree_PushDateTime(*c, now, commands);
    return;
  }
  if (node.nodeKind() != kNodeSerial || node.syncDateTime() == 0) return;
  if (node.commType() == kCommAscii && node.block(BlockKind::kAscii)) {
    commands.QueueAsciiCommand(node, ClockCommandText(now));
  } else if (node.commType() == kCommThreePhase) {
    const LiveDataBlock* b = node.block(BlockKind::kBinary);
    if (b && b->u32(kBinaryModelByteOffset) == 2) {
      const auto frame = ClockCommandFrame(now);
      commands.QueueBinaryFrame(node, frame);
    }
  }
}

void Tree_ResetDailyValues(DeviceNode& node) {
  if (node.isGroup()) {
    for (const auto& c : node.children()) Tree_ResetDailyValues(*c);
    return;
  }
  if (node.nodeKind() == kNodeSnmp) {
    LiveDataBlock* b = node.block(BlockKind::kSnmp);
    if (!b) return;
    if (node.mibType() == kMibInverter) {
      for (int s : {17, 18, 22}) b->setSlot(s, -1);
    } else if (node.mibType() == kMibSensor) {
      b->setSlot(6, 0);
    }
  } else if (node.nodeKind() == kNodeSerial) {
    if (node.commType() == kCommInverter) {
      if (LiveDataBlock* b = node.block(BlockKind::kModbus)) {
        for (int s : {17, 18, 22}) b->setSlot(s, -1);
      }
    } else if (node.commType() == kCommSensor) {
      if (LiveDataBlock* b = node.block(BlockKind::kSensor)) b->setSlot(6, 0);
    }
  }
}

}  // namespace lark
