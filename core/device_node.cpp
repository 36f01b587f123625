#include "core/device_node.h"

#include <algorithm>

namespace lark {

namespace {

bool fits(size_t off, size_t len) { return off <= kDeviceNodeSize && len <= kDeviceNodeSize - off; }

struct Range {
  size_t off, len;
};
// The 32-bit pointer slots of the image: picture, parent + children, the
// eight blocks, the PLC source texts.
constexpr Range kPointerSlots[] = {
    {node_off::kPicturePtr, 4},
    {node_off::kParentPtr, 4 + 4 * kMaxChildren},
    {node_off::kBlockPtrs, 4 * kBlockKindCount},
    {node_off::kPlcSourcePtrs, 4 * kPlcPointCount},
};

struct TextField {
  size_t off, size;
};
constexpr TextField kTextFields[] = {
    {node_off::kTitle, node_off::kTitleSize}, {node_off::kLocation, node_off::kLocationSize},
    {node_off::kIp, node_off::kIpSize},       {node_off::kCommunity, node_off::kCommunitySize},
    {node_off::kCom, node_off::kComSize},
};

struct ArrayInfo {
  size_t base;
  size_t width;
  bool isSigned;
};
ArrayInfo arrayInfo(AlarmArray a) {
  using namespace node_off;
  switch (a) {
    case AlarmArray::kDelayLeft:
      return {kAlarmDelayLeft, 4, true};
    case AlarmArray::kDelayTick:
      return {kAlarmDelayTick, 4, false};
    case AlarmArray::kDelayLeftExt:
      return {kAlarmDelayLeftExt, 4, true};
    case AlarmArray::kDelayTickExt:
      return {kAlarmDelayTickExt, 4, false};
    case AlarmArray::kDelayRunning:
      return {kAlarmDelayRunning, 1, false};
    case AlarmArray::kConfirmed:
      return {kAlarmConfirmed, 1, false};
    case AlarmArray::kDelayRunningExt:
      return {kAlarmDelayRunningExt, 1, false};
    case AlarmArray::kConfirmedExt:
      return {kAlarmConfirmedExt, 1, false};
    case AlarmArray::kReactionActive:
      return {kAlarmReactionActive, 1, false};
    case AlarmArray::kSoundPlayed:
      return {kAlarmSoundPlayed, 1, false};
    case AlarmArray::kReactionActiveExt:
      return {kAlarmReactionActiveExt, 1, false};
    case AlarmArray::kSoundPlayedExt:
      return {kAlarmSoundPlayedExt, 1, false};
    case AlarmArray::kAudioRepeat:
      return {kAlarmAudioRepeat, 2, true};
  }
  return {kAlarmDelayLeft, 4, true};
}

}  // namespace

bool TouchesPointerSlot(size_t off, size_t len) {
  for (const Range& r : kPointerSlots) {
    if (off < r.off + r.len && r.off < off + len) return true;
  }
  return false;
}

size_t GroupTotalOffset(GroupTotal which) {
  // The tray's inverter summary reads S0, S1, S2, S3, S6, A0, A1 of the root
  // at 7184, 7164, 7160, 7188, 7192, 7168, 7172; S4 and S5 fill the two words
  // between.
  switch (which) {
    case GroupTotal::kS0:
      return 7184;
    case GroupTotal::kS1:
      return 7164;
    case GroupTotal::kS2:
      return 7160;
    case GroupTotal::kS3:
      return 7188;
    case GroupTotal::kS4:
      return 7176;
    case GroupTotal::kS5:
      return 7180;
    case GroupTotal::kS6:
      return 7192;
    case GroupTotal::kA0:
      return 7168;
    case GroupTotal::kA1:
      return 7172;
  }
  return 7184;
}

DeviceNode::DeviceNode() = default;

// Children are owned: a node frees its whole subtree.
DeviceNode::~DeviceNode() = default;

DeviceNode::Image DeviceNode::wireImage() const {
  Image out;
  wireImage(Bytes(out.data(), out.size()));
  return out;
}

void DeviceNode::wireImage(Bytes out) const {
  if (out.size() < kDeviceNodeSize) return;
  {
    std::lock_guard<std::mutex> lock(mu_);
    std::copy(image_.begin(), image_.end(), out.begin());
  }
  for (const Range& r : kPointerSlots) std::fill_n(out.begin() + r.off, r.len, 0);
}

void DeviceNode::loadWireImage(CBytes in) {
  if (in.size() < kDeviceNodeSize) return;
  std::lock_guard<std::mutex> lock(mu_);
  const int16_t count = lark::i16At(CBytes(image_.data(), image_.size()), node_off::kChildCount);
  std::copy_n(in.begin(), kDeviceNodeSize, image_.begin());
  Bytes b(image_.data(), image_.size());
  for (const Range& r : kPointerSlots) std::fill_n(image_.begin() + r.off, r.len, 0);
  for (const TextField& t : kTextFields) terminateField(b, t.off, t.size);
  lark::putI16(b, node_off::kChildCount, count);
  // Bytes 108..111 are the resolved address, never part of the location text;
  // an old image may carry location text there, so the location stops at 107.
}

uint8_t DeviceNode::u8(size_t off) const {
  std::lock_guard<std::mutex> lock(mu_);
  return fits(off, 1) ? image_[off] : 0;
}
uint16_t DeviceNode::u16(size_t off) const {
  std::lock_guard<std::mutex> lock(mu_);
  return fits(off, 2) ? lark::u16At(CBytes(image_.data(), image_.size()), off) : 0;
}
int16_t DeviceNode::i16(size_t off) const {
  std::lock_guard<std::mutex> lock(mu_);
  return fits(off, 2) ? lark::i16At(CBytes(image_.data(), image_.size()), off) : -1;
}
uint32_t DeviceNode::u32(size_t off) const {
  std::lock_guard<std::mutex> lock(mu_);
  return fits(off, 4) ? lark::u32At(CBytes(image_.data(), image_.size()), off) : 0;
}
int32_t DeviceNode::i32(size_t off) const {
  std::lock_guard<std::mutex> lock(mu_);
  return fits(off, 4) ? lark::i32At(CBytes(image_.data(), image_.size()), off) : -1;
}

void DeviceNode::putU8(size_t off, uint8_t v) {
  if (!fits(off, 1) || TouchesPointerSlot(off, 1)) return;
  std::lock_guard<std::mutex> lock(mu_);
  image_[off] = v;
}
void DeviceNode::putU16(size_t off, uint16_t v) {
  if (!fits(off, 2) || TouchesPointerSlot(off, 2)) return;
  std::lock_guard<std::mutex> lock(mu_);
  lark::putU16(Bytes(image_.data(), image_.size()), off, v);
}
void DeviceNode::putI16(size_t off, int16_t v) { putU16(off, static_cast<uint16_t>(v)); }
void DeviceNode::putU32(size_t off, uint32_t v) {
  if (!fits(off, 4) || TouchesPointerSlot(off, 4)) return;
  std::lock_guard<std::mutex> lock(mu_);
  lark::putU32(Bytes(image_.data(), image_.size()), off, v);
}
void DeviceNode::putI32(size_t off, int32_t v) { putU32(off, static_cast<uint32_t>(v)); }

std::string DeviceNode::text(size_t off, size_t size) const {
  if (size == 0 || !fits(off, size)) return {};
  std::lock_guard<std::mutex> lock(mu_);
  return lark::strAt(CBytes(image_.data(), image_.size()), off, size);
}
void DeviceNode::putText(size_t off, size_t size, std::string_view s) {
  if (size == 0 || !fits(off, size) || TouchesPointerSlot(off, size)) return;
  std::lock_guard<std::mutex> lock(mu_);
  lark::putStr(Bytes(image_.data(), image_.size()), off, size, s);
}

bool DeviceNode::readBytes(size_t off, Bytes out) const {
  if (!fits(off, out.size())) return false;
  std::lock_guard<std::mutex> lock(mu_);
  std::copy_n(image_.begin() + static_cast<ptrdiff_t>(off), out.size(), out.begin());
  return true;
}
bool DeviceNode::writeBytes(size_t off, CBytes in) {
  if (!fits(off, in.size()) || TouchesPointerSlot(off, in.size())) return false;
  std::lock_guard<std::mutex> lock(mu_);
  std::copy(in.begin(), in.end(), image_.begin() + static_cast<ptrdiff_t>(off));
  return true;
}

NodeRect DeviceNode::rectAt(size_t off) const {
  std::lock_guard<std::mutex> lock(mu_);
  CBytes b(image_.data(), image_.size());
  return {lark::i32At(b, off), lark::i32At(b, off + 4), lark::i32At(b, off + 8),
          lark::i32At(b, off + 12)};
}
void DeviceNode::putRect(size_t off, const NodeRect& r) {
  std::lock_guard<std::mutex> lock(mu_);
  Bytes b(image_.data(), image_.size());
  lark::putI32(b, off, r.left);
  lark::putI32(b, off + 4, r.top);
  lark::putI32(b, off + 8, r.right);
  lark::putI32(b, off + 12, r.bottom);
}

int64_t DeviceNode::alarmState(AlarmArray array, int index) const {
  if (index < 0 || index >= kAlarmRowCount) return 0;
  const ArrayInfo a = arrayInfo(array);
  const size_t off = a.base + a.width * static_cast<size_t>(index);
  switch (a.width) {
    case 1:
      return u8(off);
    case 2:
      return a.isSigned ? int64_t{i16(off)} : int64_t{u16(off)};
    default:
      return a.isSigned ? int64_t{i32(off)} : int64_t{u32(off)};
  }
}

void DeviceNode::setAlarmState(AlarmArray array, int index, int64_t value) {
  if (index < 0 || index >= kAlarmRowCount) return;
  const ArrayInfo a = arrayInfo(array);
  const size_t off = a.base + a.width * static_cast<size_t>(index);
  switch (a.width) {
    case 1:
      putU8(off, static_cast<uint8_t>(value));
      break;
    case 2:
      putU16(off, static_cast<uint16_t>(value));
      break;
    default:
      putU32(off, static_cast<uint32_t>(value));
      break;
  }
}

int64_t AlarmStates::get(AlarmArray array, int index) const {
  if (index < 0 || index >= kAlarmRowCount) return 0;
  const ArrayInfo a = arrayInfo(array);
  const size_t off = a.base - kAlarmStatesOff + a.width * static_cast<size_t>(index);
  const CBytes b(bytes_.data(), bytes_.size());
  switch (a.width) {
    case 1:
      return b[off];
    case 2:
      return a.isSigned ? int64_t{i16At(b, off)} : int64_t{u16At(b, off)};
    default:
      return a.isSigned ? int64_t{i32At(b, off)} : int64_t{u32At(b, off)};
  }
}

void AlarmStates::set(AlarmArray array, int index, int64_t value) {
  if (index < 0 || index >= kAlarmRowCount) return;
  const ArrayInfo a = arrayInfo(array);
  const size_t off = a.base - kAlarmStatesOff + a.width * static_cast<size_t>(index);
  const Bytes b(bytes_.data(), bytes_.size());
  if (get(array, index) == value) return;
  changed_ = true;
  switch (a.width) {
    case 1:
      b[off] = static_cast<uint8_t>(value);
      break;
    case 2:
      putU16(b, off, static_cast<uint16_t>(value));
      break;
    default:
      putU32(b, off, static_cast<uint32_t>(value));
      break;
  }
}

bool AlarmStates::Idle(CBytes states, bool extended) {
  if (states.size() < kAlarmStatesSize) return false;
  auto at = [&](size_t imageOff) { return states.subspan(imageOff - kAlarmStatesOff); };
  using namespace node_off;
  const CBytes running = at(extended ? kAlarmDelayRunningExt : kAlarmDelayRunning);
  const CBytes left = at(extended ? kAlarmDelayLeftExt : kAlarmDelayLeft);
  const CBytes active = at(extended ? kAlarmReactionActiveExt : kAlarmReactionActive);
  const CBytes played = at(extended ? kAlarmSoundPlayedExt : kAlarmSoundPlayed);
  const CBytes repeat = at(kAlarmAudioRepeat);
  for (size_t r = 0; r < static_cast<size_t>(kAlarmRowCount); ++r) {
    // A delay used up stays "running" with -1 left: only one counting down is work.
    if (running[r] == 1 && i32At(left, 4 * r) >= 0) return false;
    if (active[r] != 0 || played[r] != 0 || i16At(repeat, 2 * r) != -1) return false;
  }
  return true;
}

void DeviceNode::readAlarmStates(AlarmStates& out) const {
  std::lock_guard<std::mutex> lock(mu_);
  std::copy_n(image_.begin() + kAlarmStatesOff, kAlarmStatesSize, out.bytes_.begin());
  out.changed_ = false;
}

void DeviceNode::writeAlarmStates(const AlarmStates& in) {
  if (TouchesPointerSlot(kAlarmStatesOff, kAlarmStatesSize)) return;
  std::lock_guard<std::mutex> lock(mu_);
  std::copy_n(in.bytes_.begin(), kAlarmStatesSize, image_.begin() + kAlarmStatesOff);
}

bool DeviceNode::alarmsIdle(bool extended) const {
  std::lock_guard<std::mutex> lock(mu_);
  return AlarmStates::Idle(CBytes(image_.data() + kAlarmStatesOff, kAlarmStatesSize), extended);
}

uint64_t DeviceNode::eventSuppressionMask() const {
  std::lock_guard<std::mutex> lock(mu_);
  const CBytes img(image_.data(), image_.size());
  uint64_t mask = 0;
  for (size_t w = 0; w < 4; ++w) {
    mask |= uint64_t{u16At(img, node_off::kPlcUpsId + 2 * w)} << (16 * w);
  }
  return mask;
}

void DeviceNode::clearReactionActive() {
  std::lock_guard<std::mutex> lock(mu_);
  std::fill_n(image_.begin() + node_off::kAlarmReactionActive, kAlarmRowCount, 0);
  std::fill_n(image_.begin() + node_off::kAlarmReactionActiveExt, kAlarmRowCount, 0);
}

void DeviceNode::resetAudioRepeat() {
  std::lock_guard<std::mutex> lock(mu_);
  std::fill_n(image_.begin() + node_off::kAlarmAudioRepeat, 2 * kAlarmRowCount, 0xFF);
}

ScheduleWeekEntry DeviceNode::weekEntry(int index) const {
  if (index < 0 || index >= kWeekScheduleCount) return {};
  std::array<uint8_t, node_off::kWeekEntrySize> e{};
  readBytes(node_off::kWeekSchedule + node_off::kWeekEntrySize * static_cast<size_t>(index), e);
  return {lark::i16At(e, 0), e[2], e[3], e[4]};
}
void DeviceNode::setWeekEntry(int index, const ScheduleWeekEntry& w) {
  if (index < 0 || index >= kWeekScheduleCount) return;
  std::array<uint8_t, node_off::kWeekEntrySize> e{};
  lark::putI16(e, 0, w.weekday);
  e[2] = w.hour;
  e[3] = w.minute;
  e[4] = w.actionClass;
  writeBytes(node_off::kWeekSchedule + node_off::kWeekEntrySize * static_cast<size_t>(index), e);
}
ScheduleDateEntry DeviceNode::dateEntry(int index) const {
  if (index < 0 || index >= kDateScheduleCount) return {};
  std::array<uint8_t, node_off::kDateEntrySize> e{};
  readBytes(node_off::kDateSchedule + node_off::kDateEntrySize * static_cast<size_t>(index), e);
  return {lark::i16At(e, 0), e[2], e[3], e[4], e[5], e[6]};
}
void DeviceNode::setDateEntry(int index, const ScheduleDateEntry& d) {
  if (index < 0 || index >= kDateScheduleCount) return;
  std::array<uint8_t, node_off::kDateEntrySize> e{};
  lark::putI16(e, 0, d.year);
  e[2] = d.month;
  e[3] = d.day;
  e[4] = d.hour;
  e[5] = d.minute;
  e[6] = d.actionClass;
  writeBytes(node_off::kDateSchedule + node_off::kDateEntrySize * static_cast<size_t>(index), e);
}
PendingAction DeviceNode::pendingAction(int index) const {
  if (index < 0 || index >= kPendingActionCount) return {};
  std::array<uint8_t, node_off::kPendingEntrySize> e{};
  readBytes(node_off::kPendingActions + node_off::kPendingEntrySize * static_cast<size_t>(index),
            e);
  return {lark::i16At(e, 0), e[2], e[3], e[4], e[5]};
}
void DeviceNode::setPendingAction(int index, const PendingAction& p) {
  if (index < 0 || index >= kPendingActionCount) return;
  std::array<uint8_t, node_off::kPendingEntrySize> e{};
  lark::putI16(e, 0, p.year);
  e[2] = p.month;
  e[3] = p.day;
  e[4] = p.hour;
  e[5] = p.minute;
  writeBytes(node_off::kPendingActions + node_off::kPendingEntrySize * static_cast<size_t>(index),
             e);
}

int16_t DeviceNode::plcWord(size_t base, int i) const {
  if (i < 0 || i >= kPlcPointCount) return 0;
  return i16(base + 2 * static_cast<size_t>(i));
}
void DeviceNode::putPlcWord(size_t base, int i, int16_t v) {
  if (i < 0 || i >= kPlcPointCount) return;
  putI16(base + 2 * static_cast<size_t>(i), v);
}

std::string DeviceNode::plcSource(int i) const {
  if (i < 0 || i >= kPlcPointCount) return {};
  return plcSources_[static_cast<size_t>(i)];
}
void DeviceNode::setPlcSource(int i, std::string_view s) {
  if (i < 0 || i >= kPlcPointCount) return;
  plcSources_[static_cast<size_t>(i)] = std::string(s);
}

bool DeviceNode::eventSuppressionBit(int event) const {
  if (event < 0 || event >= 16 * kPlcPointCount) return false;
  const uint16_t w = u16(node_off::kPlcUpsId + 2 * static_cast<size_t>(event / 16));
  return (w >> (event % 16)) & 1u;
}
void DeviceNode::setEventSuppressionBit(int event, bool on) {
  if (event < 0 || event >= 16 * kPlcPointCount) return;
  const size_t off = node_off::kPlcUpsId + 2 * static_cast<size_t>(event / 16);
  std::lock_guard<std::mutex> lock(mu_);
  Bytes b(image_.data(), image_.size());
  uint16_t w = lark::u16At(b, off);
  const uint16_t bit = static_cast<uint16_t>(1u << (event % 16));
  w = on ? static_cast<uint16_t>(w | bit) : static_cast<uint16_t>(w & ~bit);
  lark::putU16(b, off, w);
}

DeviceNode::Head DeviceNode::head() const {
  std::lock_guard<std::mutex> lock(mu_);
  const CBytes img(image_.data(), image_.size());
  Head h;
  h.id = lark::u16At(img, node_off::kId);
  h.commType = lark::i16At(img, node_off::kCommType);
  h.nodeKind = image_[node_off::kNodeKind];
  h.mibType = image_[node_off::kMibType];
  h.upsTypeCode = image_[node_off::kUpsTypeCode];
  h.alarmLevel = image_[node_off::kAlarmLevel];
  h.sentMask = lark::u32At(img, node_off::kSentMask);
  return h;
}

void DeviceNode::setSentBits(uint32_t bits) {
  std::lock_guard<std::mutex> lock(mu_);
  Bytes b(image_.data(), image_.size());
  lark::putU32(b, node_off::kSentMask, lark::u32At(b, node_off::kSentMask) | bits);
}
void DeviceNode::clearSentBits(uint32_t bits) {
  std::lock_guard<std::mutex> lock(mu_);
  Bytes b(image_.data(), image_.size());
  lark::putU32(b, node_off::kSentMask, lark::u32At(b, node_off::kSentMask) & ~bits);
}

DeviceNode* DeviceNode::child(int index) const {
  if (index < 0 || index >= childCount()) return nullptr;
  return children_[static_cast<size_t>(index)].get();
}

void DeviceNode::syncChildCount() {
  putI16(node_off::kChildCount, static_cast<int16_t>(children_.size()));
}

DeviceNode* DeviceNode::addChild(std::unique_ptr<DeviceNode>& node) {
  return insertChild(childCount(), node);
}

DeviceNode* DeviceNode::insertChild(int index, std::unique_ptr<DeviceNode>& node) {
  if (!node || childCount() >= kMaxChildren || index < 0 || index > childCount()) return nullptr;
  DeviceNode* raw = node.get();
  raw->parent_ = this;
  children_.insert(children_.begin() + index, std::move(node));
  syncChildCount();
  return raw;
}

std::unique_ptr<DeviceNode> DeviceNode::detachChild(int index) {
  if (index < 0 || index >= childCount()) return nullptr;
  std::unique_ptr<DeviceNode> out = std::move(children_[static_cast<size_t>(index)]);
  children_.erase(children_.begin() + index);
  out->parent_ = nullptr;
  syncChildCount();
  return out;
}

int DeviceNode::indexOfChild(const DeviceNode* node) const {
  for (int i = 0; i < childCount(); ++i) {
    if (children_[static_cast<size_t>(i)].get() == node) return i;
  }
  return -1;
}

LiveDataBlock& DeviceNode::ensureBlock(BlockKind kind) {
  auto& slot = blocks_[static_cast<size_t>(kind)];
  if (!slot) slot = std::make_unique<LiveDataBlock>(kind);
  return *slot;
}
void DeviceNode::freeBlock(BlockKind kind) { blocks_[static_cast<size_t>(kind)].reset(); }
void DeviceNode::freeAllBlocks() {
  for (auto& b : blocks_) b.reset();
}
bool DeviceNode::hasAnyBlock() const {
  return std::any_of(blocks_.begin(), blocks_.end(), [](const auto& b) { return b != nullptr; });
}

BlockKind PrimaryBlockKind(const DeviceNode& node, bool* hasBlock) {
  return PrimaryBlockKindOf(node.nodeKind(), node.commType(), hasBlock);
}

BlockKind PrimaryBlockKindOf(uint8_t nodeKind, int16_t commType, bool* hasBlock) {
  bool has = true;
  BlockKind kind = BlockKind::kAscii;
  switch (nodeKind) {
    case kNodeSnmp:
      kind = BlockKind::kSnmp;
      break;
    case kNodeGprs:
      kind = BlockKind::kGprs;
      break;
    case kNodeSerial:
      switch (commType) {
        case kCommAscii:
        case kCommPlc:
          kind = BlockKind::kAscii;
          break;
        case kCommThreePhase:
          kind = BlockKind::kBinary;
          break;
        case kCommModbusUps:
        case kCommModbusTrv5200:
        case kCommModbus9315:
        case kCommInverter:
          kind = BlockKind::kModbus;
          break;
        case kCommSensor:
          kind = BlockKind::kSensor;
          break;
        case kCommMeter:
          kind = BlockKind::kMeter;
          break;
        case kCommMeterSum:
          kind = BlockKind::kMeterSum;
          break;
        default:
          has = false;
          break;
      }
      break;
    default:
      has = false;
      break;
  }
  if (hasBlock) *hasBlock = has;
  return kind;
}

LiveDataBlock* PrimaryBlock(const DeviceNode& node) {
  bool has = false;
  const BlockKind kind = PrimaryBlockKind(node, &has);
  return has ? node.block(kind) : nullptr;
}

void AllocateNodeBlocks(DeviceNode& node) {
  node.freeAllBlocks();
  switch (node.nodeKind()) {
    case kNodeSerial:
      for (BlockKind k : {BlockKind::kAscii, BlockKind::kBinary, BlockKind::kModbus,
                          BlockKind::kSensor, BlockKind::kMeter, BlockKind::kMeterSum}) {
        node.ensureBlock(k);
      }
      break;
    case kNodeSnmp:
      node.ensureBlock(BlockKind::kSnmp);
      break;
    case kNodeGprs:
      node.ensureBlock(BlockKind::kGprs);
      break;
    default:
      break;
  }
}

void KeepOnlyCommTypeBlock(DeviceNode& node) {
  bool has = false;
  const BlockKind keep = PrimaryBlockKind(node, &has);
  for (size_t i = 0; i < kBlockKindCount; ++i) {
    const auto k = static_cast<BlockKind>(i);
    if (!has || k != keep) node.freeBlock(k);
  }
  if (has) node.ensureBlock(keep);
}

}  // namespace lark
