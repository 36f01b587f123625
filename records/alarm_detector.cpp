#include "records/alarm_detector.h"

#include <algorithm>
#include <climits>

#include "core/device_tree.h"
#include "core/event_log_sink.h"
#include "core/settings.h"
#include "devices/ascii_live_data.h"
#include "platform/clock.h"
#include "records/popup.h"

namespace lark {

namespace {

// Model fields of the serial blocks that tell whether a device has the
// extended alarm word (offsets of the protocol engines' layouts).
constexpr size_t kModbusSubtypeOffset = 1436;  // i32, register 1024

bool HasExtendedModel(int64_t v) { return v >= 3 && v <= 5; }

int MaskBitsOf(const LiveDataBlock& block) {
  int bits = MaskBits(block.kind(), MaskWord::kReported);
  return bits > 0 ? bits : 0;
}

// DelayTime is seconds from a file or a console; the countdown is an i32 of
// milliseconds. Negative delays count as none, huge ones stop at the field's
// limit (about 24 days) instead of wrapping.
int32_t DelayMs(int32_t seconds) {
  int64_t ms = static_cast<int64_t>(seconds) * 1000;
  return static_cast<int32_t>(std::clamp<int64_t>(ms, 0, INT32_MAX));
}

bool Bit(uint64_t mask, int i) { return ((mask >> i) & 1u) != 0; }

}  // namespace

std::optional<ActionFamily> MainActionFamily(const DeviceNode& node) {
  return MainActionFamilyOf(node.nodeKind(), node.commType(), node.mibType());
}

std::optional<ActionFamily> MainActionFamilyOf(uint8_t nodeKind, int16_t commType,
                                               uint8_t mibType) {
  switch (nodeKind) {
    case kNodeSnmp:
      if (mibType == kMibInverter) return ActionFamily::Inverter;
      if (mibType == kMibSensor) return ActionFamily::Sensor;
      return ActionFamily::Snmpv4;
    case kNodeGprs:
      return ActionFamily::Gprs;
    case kNodeSerial:
      switch (commType) {
        case kCommAscii:
        case kCommModbusUps:
          return ActionFamily::Regular;
        case kCommThreePhase:
          return ActionFamily::ThreePhase;
        case kCommModbusTrv5200:
          return ActionFamily::Mge;
        case kCommPlc:
          return ActionFamily::Plc;
        case kCommModbus9315:
          return ActionFamily::Pw;
        case kCommInverter:
          return ActionFamily::Inverter;
        case kCommSensor:
          return ActionFamily::Sensor;
        case kCommMeter:
          return ActionFamily::Meter;
        default:
          return std::nullopt;
      }
    default:
      return std::nullopt;
  }
}

std::optional<ActionFamily> ExtendedActionFamily(const DeviceNode& node) {
  if (node.nodeKind() != kNodeSerial) return std::nullopt;
  switch (node.commType()) {
    case kCommAscii: {
      const LiveDataBlock* b = node.block(BlockKind::kAscii);
      if (b && HasExtendedModel(b->u32(ascii_off::kModelClass))) return ActionFamily::RegularPlus;
      return std::nullopt;
    }
    case kCommModbusUps: {
      const LiveDataBlock* b = node.block(BlockKind::kModbus);
      if (b && HasExtendedModel(b->i32(kModbusSubtypeOffset))) return ActionFamily::RegularPlus;
      return std::nullopt;
    }
    case kCommThreePhase: {
      const LiveDataBlock* b = node.block(BlockKind::kBinary);
      if (b && b->u32(kBinaryModelByteOffset) == 2) return ActionFamily::ThreePhasePlus;
      return std::nullopt;
    }
    default:
      return std::nullopt;
  }
}

bool IsCommLostEvent(const DeviceNode& node, uint32_t lowWord, int event) {
  return IsCommLostEventOf(node.head(), lowWord, event);
}

bool IsCommLostEventOf(const DeviceNode::Head& node, uint32_t lowWord, int event) {
  auto bit = [lowWord](int i) { return ((lowWord >> i) & 1u) != 0; };
  switch (node.nodeKind) {
    case kNodeSnmp:
      return node.mibType != kMibInverter && event == 16 && bit(23);
    case kNodeSerial:
      switch (node.commType) {
        case kCommAscii:
        case kCommModbusUps:
          return event == 23 && bit(16);
        case kCommThreePhase:
          return event == 12 && bit(6);
        default:
          return false;
      }
    default:
      return false;
  }
}

// One pass over one table of one node: which rows, masks and state arrays.
struct AlarmDetector::TableScan {
  DeviceNode::Head node;  // the node's fields, read once
  const ActionTable* rows = nullptr;
  int events = 0;
  int rowCount = 0;
  bool extended = false;
  int base = 0;              // added to the row for the log code and the sound arrays
  uint64_t suppressed = 0;   // event-suppression bits, for nodes that keep them
  LiveDataBlock* block = nullptr;
  MaskWord reportedWord = MaskWord::kReported;
  MaskWord currentWord = MaskWord::kCurrent;
  AlarmArray delayLeft = AlarmArray::kDelayLeft;
  AlarmArray tick = AlarmArray::kDelayTick;
  AlarmArray running = AlarmArray::kDelayRunning;
  AlarmArray confirmed = AlarmArray::kConfirmed;
  AlarmArray active = AlarmArray::kReactionActive;
  AlarmArray played = AlarmArray::kSoundPlayed;

  const ActionRow* row(int r) const {
    if (r < 0 || static_cast<size_t>(r) >= rows->size()) return nullptr;
    return &(*rows)[static_cast<size_t>(r)];
  }
};

AlarmDetector::AlarmDetector(ServiceSettings& settings, const ActionTables& tables,
                             OutgoingMessages& outgoing, EventLogSink& log, const Clock& clock,
                             AlarmReactionSinks sinks)
    : settings_(settings),
      tables_(tables),
      outgoing_(outgoing),
      log_(&log),
      clock_(clock),
      sinks_(std::move(sinks)) {}

AlarmDetector::AlarmDetector(ServiceSettings& settings, const ActionTables& tables,
                             OutgoingMessages& outgoing, const Clock& clock,
                             AlarmReactionSinks sinks, AlarmDetectorOptions options)
    : settings_(settings),
      tables_(tables),
      outgoing_(outgoing),
      log_(nullptr),
      clock_(clock),
      sinks_(std::move(sinks)),
      options_(options) {}

std::span<RecipientItem> AlarmDetector::recipients() const {
  return options_.recipients.empty() ? std::span<RecipientItem>(settings_.recipients)
                                     : options_.recipients;
}

void AlarmDetector::onSecondTick() {
  for (auto& c : repeat_) {
    if (c > 0) --c;
  }
  rollQueueFullLines();
}

void AlarmDetector::queueFullLine(int dropped) {
  if (log_ == nullptr) return;
  rollQueueFullLines();
  if (!queueFullLines_.allow()) return;
  log_->WriteEventLog(0, kLevelWarning, kSystemEventCode,
                      "SMS queue full: " + std::to_string(dropped) +
                          " waiting SMS dropped, the oldest first");
}

void AlarmDetector::rollQueueFullLines() {
  if (log_ == nullptr) return;
  if (const int held = queueFullLines_.roll(clock_.tickMs()); held > 0)
    log_->WriteEventLog(0, kLevelWarning, kSystemEventCode,
                        std::to_string(held) + " more SMS queue full lines");
}

void AlarmDetector::scan(DeviceNode& root) {
  scanNodeAlarms(root, root);
  scanNodeAlarmsExtended(root, root);
}

void AlarmDetector::scanNodeAlarms(DeviceNode& root, DeviceNode& node) {
  const DeviceNode::Head h = node.head();
  if (h.isGroup()) {
    for (const auto& child : node.children()) scanNodeAlarms(root, *child);
    return;
  }
  auto family = MainActionFamilyOf(h.nodeKind, h.commType, h.mibType);
  bool has = false;
  const BlockKind kind = PrimaryBlockKindOf(h.nodeKind, h.commType, &has);
  LiveDataBlock* block = has ? node.block(kind) : nullptr;
  if (!family || block == nullptr) return;
  // Each mask is read once: what the pollers write after this read is seen
  // by the next scan, never lost by the copy below.
  const uint64_t reported = block->mask(MaskWord::kReported);
  const uint64_t current = block->mask(MaskWord::kCurrent);
  // Most nodes most of the time: no change and nothing counting.
  if (reported == current && node.alarmsIdle(false)) return;
  TableScan t;
  t.node = h;
  t.rows = &tables_.table(*family);
  t.rowCount = std::min<int>(static_cast<int>(t.rows->size()), kRepeatCounterCount);
  t.events = std::min(t.rowCount / 2, MaskBitsOf(*block));
  t.block = block;
  const bool suppression = (h.nodeKind == kNodeSerial && h.commType == kCommModbusTrv5200) ||
                           (h.nodeKind == kNodeSnmp && h.mibType == kMibMakerUps);
  if (suppression) t.suppressed = node.eventSuppressionMask();
  scanTable(root, node, t, reported, current);
}

void AlarmDetector::scanNodeAlarmsExtended(DeviceNode& root, DeviceNode& node) {
  const DeviceNode::Head h = node.head();
  if (h.isGroup()) {
    for (const auto& child : node.children()) scanNodeAlarmsExtended(root, *child);
    return;
  }
  auto mainFamily = MainActionFamilyOf(h.nodeKind, h.commType, h.mibType);
  if (!mainFamily || h.nodeKind != kNodeSerial) return;
  auto family = ExtendedActionFamily(node);
  LiveDataBlock* block = PrimaryBlock(node);
  if (!family || block == nullptr || !block->hasMask(MaskWord::kExtReported)) return;
  const uint64_t reported = block->mask(MaskWord::kExtReported);
  const uint64_t current = block->mask(MaskWord::kExtCurrent);
  if (reported == current && node.alarmsIdle(true)) return;
  TableScan t;
  t.node = h;
  t.rows = &tables_.table(*family);
  t.extended = true;
  t.base = static_cast<int>(ActionFamilyOf(*mainFamily).rows);
  t.rowCount = std::min<int>(static_cast<int>(t.rows->size()), kRepeatCounterCount - t.base);
  t.events = std::min(t.rowCount / 2, 64);
  t.block = block;
  t.reportedWord = MaskWord::kExtReported;
  t.currentWord = MaskWord::kExtCurrent;
  t.delayLeft = AlarmArray::kDelayLeftExt;
  t.tick = AlarmArray::kDelayTickExt;
  t.running = AlarmArray::kDelayRunningExt;
  t.confirmed = AlarmArray::kConfirmedExt;
  t.active = AlarmArray::kReactionActiveExt;
  t.played = AlarmArray::kSoundPlayedExt;
  scanTable(root, node, t, reported, current);
}

// The node's alarm states are worked on as one copy, read and put back
// under one lock each (the scan is their only writer besides the loop's
// "stop all alarms", which never runs inside it).
void AlarmDetector::scanTable(DeviceNode& root, DeviceNode& node, const TableScan& t,
                              uint64_t reported, uint64_t current) {
  AlarmStates st;
  node.readAlarmStates(st);
  detectChanges(root, node, t, st, reported, current);
  if (reported != current) t.block->setMask(t.reportedWord, current);
  audioScan(t, st, static_cast<uint32_t>(current));
  if (st.changed()) node.writeAlarmStates(st);
}

void AlarmDetector::detectChanges(DeviceNode& root, DeviceNode& node, const TableScan& t,
                                  AlarmStates& st, uint64_t reported, uint64_t current) {
  const uint32_t now = clock_.tickMs();
  // The loss bit may arrive in the same poll as the events it drags along,
  // and leave with them: the events stay silent while the bit is set before
  // or after the change.
  const uint32_t lossWord = static_cast<uint32_t>(reported | current);
  for (int i = 0; i < t.events; ++i) {
    if (Bit(t.suppressed, i)) continue;
    const bool silent = !t.extended && IsCommLostEventOf(t.node, lossWord, i);
    const int occ = 2 * i;
    const int rec = 2 * i + 1;

    if (Bit(reported, i) != Bit(current, i)) {
      const bool began = Bit(current, i);
      const int r = began ? occ : rec;
      const int other = began ? rec : occ;
      const ActionRow* row = t.row(r);
      st.set(t.delayLeft, r, row ? DelayMs(row->delayTime()) : 0);
      st.set(t.tick, r, now);
      st.set(t.running, r, 1);
      st.set(t.running, other, 0);
      if (!silent && row != nullptr && log_ != nullptr) {
        // Extended rows follow the main rows in the readers' numbering.
        log_->WriteEventLog(node.id(), row->level(), t.base + r, row->message());
      }
      if (!silent && row != nullptr && options_.popupAtChange && !t.extended &&
          popupWanted(*row)) {
        sinks_.popup("(" + node.title() + ") " + row->message());
      }
    }

    // Count the running delay down; a change fires once its delay is used up.
    int r = -1;
    if (st.get(t.running, occ) == 1 && st.get(t.delayLeft, occ) >= 0) {
      r = occ;
    } else if (st.get(t.running, rec) == 1 && st.get(t.delayLeft, rec) >= 0) {
      r = rec;
    }
    if (r < 0) continue;
    const uint32_t stamp = static_cast<uint32_t>(st.get(t.tick, r));
    const int64_t left = st.get(t.delayLeft, r) - TickElapsed(now, stamp);
    st.set(t.tick, r, now);
    if (left > 0) {
      st.set(t.delayLeft, r, left);
      continue;
    }
    st.set(t.delayLeft, r, -1);  // used up: fires once
    if (r == occ) {
      st.set(t.confirmed, occ, 1);
      react(root, node, t, st, i, true, silent);
    } else if (st.get(t.confirmed, occ) == 1) {
      // A recovery is reported only for an occurrence that was.
      st.set(t.confirmed, occ, 0);
      react(root, node, t, st, i, false, silent);
    }
  }
}

void AlarmDetector::react(DeviceNode& root, DeviceNode& node, const TableScan& t,
                          AlarmStates& st, int event, bool occurred, bool silent) {
  const int occ = 2 * event;
  const int rec = occ + 1;
  const int r = occurred ? occ : rec;
  st.set(t.active, r, 1);
  st.set(t.active, occurred ? rec : occ, 0);
  st.set(t.played, occurred ? rec : occ, 0);

  const ActionRow* row = t.row(r);
  const uint32_t level = row ? row->level() : uint32_t{kAlarmNone};
  const uint32_t mask = (!silent && level <= 2) ? settings_.reactionMasks[level] : 0;
  const std::string title = node.title();
  const std::string message = row ? row->message() : std::string();

  int smsDropped = 0;
  outgoing_.withLock([&](OutgoingState& state) {
    SlotFlags flags = assignLocked(state, root, node.id());
    if (row == nullptr) return;
    if (mask & kReactEmail) {
      std::string text = "UPS Title: " + title + "\nMessage: " + message +
                         "\nTime: " + LongDateTime(clock_.now()) + "\n";
      AddMailReaction(state, row->title(), text, flags, settings_.emailList.count > 0,
                      options_.tags);
    }
    if (mask & kReactSms) {
      smsDropped = AddSmsReaction(state, t.base + r, title, row->smsMessage(), flags, options_.tags);
    }
  });
  if (smsDropped > 0) queueFullLine(smsDropped);
  // With popups at the change the standard rows have shown theirs already.
  const bool popup = options_.popupAtChange ? t.extended && row != nullptr && popupWanted(*row)
                                            : (mask & kReactBroadcast) && sinks_.popup;
  if (popup) {
    sinks_.popup("(" + title + ") " + message);
  }
  // Sounds are handed over by the audio scan.
}

bool AlarmDetector::popupWanted(const ActionRow& row) const {
  const uint32_t level = row.level();
  return sinks_.popup && level <= 2 && (settings_.reactionMasks[level] & kReactBroadcast) != 0 &&
         !row.message().empty();
}

void AlarmDetector::audioScan(const TableScan& t, AlarmStates& st, uint32_t lowWord) {
  auto otherCounterSet = [&](int self) {
    for (int k = t.base; k < t.base + t.rowCount; ++k) {
      if (k != self && repeat_[static_cast<size_t>(k)] != 0) return true;
    }
    return false;
  };
  for (int r = 0; r < t.rowCount; ++r) {
    const ActionRow* row = t.row(r);
    if (row == nullptr) break;
    const int idx = t.base + r;
    // The suppression words are per event: both rows of a suppressed event stay quiet.
    if (Bit(t.suppressed, r / 2)) continue;
    const uint32_t level = row->level();
    const bool validLevel = level <= 2;
    const int cycle = validLevel ? settings_.audioCycle[level] : 0;
    if (st.get(t.played, r) != 0) {
      if (cycle == 0) continue;
      st.set(t.played, r, 0);
    }
    if (st.get(t.active, r) == 0 || !validLevel ||
        (settings_.reactionMasks[level] & kReactAudio) == 0) {
      st.set(AlarmArray::kAudioRepeat, idx, -1);
      continue;
    }
    const int64_t countdown = st.get(AlarmArray::kAudioRepeat, idx);
    if (countdown >= 0) {
      st.set(AlarmArray::kAudioRepeat, idx, countdown - 2);
      continue;
    }
    const bool silent = !t.extended && IsCommLostEventOf(t.node, lowWord, r / 2);
    const std::string file = row->audioFile();
    if (cycle != 0) {
      const int32_t interval = settings_.audioInterval[level];
      if (interval < 1) continue;
      if (otherCounterSet(idx)) continue;
      st.set(AlarmArray::kAudioRepeat, idx, std::min<int32_t>(interval, INT16_MAX));
      if (repeat_[static_cast<size_t>(idx)] != 0 || silent) continue;
      if (!file.empty() && sinks_.sound) sinks_.sound(file);
      repeat_[static_cast<size_t>(idx)] = kSoundRepeatHold;
    } else {
      // Wait while any sound, this row's included, was handed over in the
      // last seconds, so a one-time sound is delayed rather than lost.
      if (otherCounterSet(idx) || repeat_[static_cast<size_t>(idx)] != 0) continue;
      if (!silent && !file.empty() && sinks_.sound) sinks_.sound(file);
      repeat_[static_cast<size_t>(idx)] = kSoundRepeatHold;
      st.set(t.played, r, 1);
    }
  }
}

SlotFlags AlarmDetector::assignRecipientSlots(const DeviceNode& root, int16_t nodeId) {
  return outgoing_.withLock(
      [&](OutgoingState& state) { return assignLocked(state, root, nodeId); });
}

SlotFlags AlarmDetector::assignLocked(OutgoingState& state, const DeviceNode& root,
                                      int16_t nodeId) {
  SlotFlags flags;
  flags.fill(-1);
  for (auto& item : recipients()) {
    if (item.name.empty()) continue;
    bool contains = false;
    for (int16_t id : item.nodeIds) {
      if (id == -1) continue;
      const DeviceNode* named = Tree_FindNodeById(id, &root);
      if (named == nullptr) continue;
      if (named->id() == nodeId) {
        contains = true;
      } else if (named->isGroup()) {
        // A group stands for its direct children only.
        for (const auto& child : named->children()) {
          if (child->id() == nodeId) {
            contains = true;
            break;
          }
        }
      }
      if (contains) break;
    }
    if (!contains) continue;
    const int slot = item.outgoingSlot;
    if (slot >= 0 && slot < kOutgoingSlotCount &&
        state.slots[static_cast<size_t>(slot)].name == item.name) {
      flags[static_cast<size_t>(slot)] = 1;
      continue;
    }
    // The slot was given back (or went to another item meanwhile): leave it
    // to its new owner and take a fresh one, so this reaction still goes out.
    item.outgoingSlot = -1;
    const int claimed = ClaimSlot(state, item.name);
    if (claimed >= 0) {
      item.outgoingSlot = claimed;
      flags[static_cast<size_t>(claimed)] = 1;
    }
  }
  return flags;
}

}  // namespace lark
