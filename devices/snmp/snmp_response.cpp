#include "devices/snmp/snmp_response.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "core/live_data.h"
#include "devices/snmp/snmp_live_data.h"

namespace lark {

namespace {

using namespace snmp_off;

constexpr uint64_t Bit(int n) { return uint64_t{1} << n; }

// Value slots of the maker UPS MIB: items first..last of a group go to
// consecutive slots from `slot`.
struct MakerSlots {
  int group;
  uint32_t first, last;
  int slot;
};
constexpr MakerSlots kMakerSlots[] = {
    {1, 7, 19, 0},  {2, 1, 7, 13},  {3, 1, 7, 20}, {4, 1, 10, 27},
    {5, 1, 15, 37}, {6, 1, 11, 52}, {7, 1, 9, 63}, {8, 1, 2, 72}, {10, 1, 14, 74},
};

// Text fields of the maker UPS MIB. Group 1 texts longer than their field are
// not stored at all; the others are cut.
struct MakerText {
  int group;
  uint32_t item;
  size_t off, size;
  bool cut;
};
constexpr MakerText kMakerTexts[] = {
    {1, 1, kText1Item1, kText1Item1Size, false}, {1, 2, kText1Item2, kText1Item2Size, false},
    {1, 3, kText1Item3, kText1Item3Size, false}, {1, 4, kFirmware, kFirmwareSize, false},
    {1, 6, kText1Item6, kText1Item6Size, false}, {7, 10, kText7Item10, kText7Item10Size, true},
    {7, 11, kDateText, kDateTextSize, true},
};

std::string_view OctetsText(const SnmpVarBind& b) {
  return {reinterpret_cast<const char*>(b.octets.data()), b.octets.size()};
}

// Three answers in a row towards one side complete it: the counter climbs to
// 2 (or falls to 0) and the next answer of that side completes. Returns +1
// when the setting side completed, -1 the clearing side, else 0.
int Debounce(LiveDataBlock& blk, size_t counterOff, bool towardsSet) {
  uint8_t c = blk.u8(counterOff);
  if (towardsSet) {
    blk.putU8(counterOff, static_cast<uint8_t>(c >= 2 ? 2 : c + 1));
    return c >= 2 ? 1 : 0;
  }
  blk.putU8(counterOff, static_cast<uint8_t>(c == 0 ? 0 : c - 1));
  return c == 0 ? -1 : 0;
}

// A debounced event bit: set when the setting side completes, cleared when
// the clearing side does.
void DebounceBit(LiveDataBlock& blk, size_t counterOff, bool towardsSet, int bit) {
  int side = Debounce(blk, counterOff, towardsSet);
  if (side > 0) blk.setMaskBits(MaskWord::kCurrent, Bit(bit));
  if (side < 0) blk.clearMaskBits(MaskWord::kCurrent, Bit(bit));
}

// Nodes of these types are polled by their tables; all others by discovery.
bool PolledByDiscovery(uint8_t mib) {
  return mib != kMibMakerUps && mib != kMibRfc1628 && mib != kMibInverter && mib != kMibSensor;
}

int32_t Saturate(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// The budget a firmware text grants: 40 from version 2.1c on, else 15.
int16_t BudgetForFirmware(std::string_view fw) {
  while (!fw.empty() && (fw.front() == ' ' || fw.front() == '\t')) fw.remove_prefix(1);
  double v = 0;
  auto [end, ec] = std::from_chars(fw.data(), fw.data() + fw.size(), v);
  if (ec != std::errc()) return kSnmpInitialRequestBudget;
  bool later = v > 2.1 || (v == 2.1 && fw.size() >= 4 && static_cast<unsigned char>(fw[3]) >= 'c');
  return later ? 40 : kSnmpInitialRequestBudget;
}

// YYYYMMDD; false unless the first eight characters are digits.
bool ParseDate(std::string_view s, int* y, int* m, int* d) {
  if (s.size() < 8 || !std::all_of(s.begin(), s.begin() + 8, [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  auto num = [&](size_t at, size_t n) {
    int v = 0;
    for (size_t i = at; i < at + n; ++i) v = v * 10 + (s[i] - '0');
    return v;
  };
  *y = num(0, 4);
  *m = num(4, 2);
  *d = num(6, 2);
  return true;
}

class Applier {
 public:
  Applier(SnmpResponseContext& ctx, SnmpDeviceEntry& entry, DeviceNode& node, LiveDataBlock& blk)
      : ctx_(ctx), entry_(entry), node_(node), blk_(blk) {}

  void onError(const SnmpCodec& d) {
    entry_.unanswered = 0;
    const SnmpMessage& m = d.message;
    if (m.errorStatus != kSnmpNoSuchName || m.errorIndex < 1 || m.errorIndex > d.bindingCount()) {
      return;
    }
    std::span<const uint32_t> name = d.bindings()[static_cast<size_t>(m.errorIndex - 1)].name;
    SnmpObject o = ParseSnmpObject(name);
    if (o.cls == kOidMakerUps) dropObject(o.group, o.item);
    int disc = DiscoveryIndex(name);
    if (disc >= 0 && PolledByDiscovery(node_.mibType())) {
      entry_.discoveryMissing = static_cast<uint8_t>(entry_.discoveryMissing | (1u << disc));
    }
  }

  void binding(const SnmpVarBind& b) {
    SnmpObject o = ParseSnmpObject(b.name);
    switch (o.cls) {
      case kOidSystem:
        if (b.type == kBerNull) return;
        entry_.unanswered = 0;
        system(o.item, b);
        return;
      case kOidMakerUps:
        entry_.unanswered = 0;
        if (b.type == kBerNull) {
          dropObject(o.group, o.item);
        } else {
          maker(o.group, o.item, b);
        }
        return;
      case kOidDeviceMib:
        device(o, b);
        return;
      default:
        return;
    }
  }

 private:
  // The agent lacks maker object group.item: out of the poll masks until a
  // refresh, and the cursor starts its group again.
  void dropObject(int group, uint32_t item) {
    if (item >= 1 && item <= 64) entry_.pollMasks[group] &= ~Bit(static_cast<int>(item) - 1);
    node_.setSnmpPollPosition(0);
  }

  void system(uint32_t item, const SnmpVarBind& b) {
    if (item == kItemSysObjectId) {
      if (b.type != kBerOid) return;
      int cls = ClassifyOid(b.oid);
      if (cls == kOidMakerUps || cls == kOidDeviceMib) {
        if (cls == kOidDeviceMib) node_.setMibType(kMibInverter);
        entry_.state = kSnmpEntryActive;
        blk_.clearMaskBits(MaskWord::kCurrent, kNoResponseBit);
      } else if (node_.mibType() != kMibUnknown) {
        // Reported once: the type is now 0 until someone sets it again.
        node_.setMibType(kMibUnknown);
        std::string text = UnsupportedAgentText(node_.title());
        if (ctx_.eventLog) ctx_.eventLog->WriteEventLog(0, kLevelWarning, kSystemEventCode, text);
        if (ctx_.serviceLog) ctx_.serviceLog(text);
      }
      return;
    }
    if (b.type != kBerOctetString) return;
    if (item == kItemSysContact) blk_.putText(kSysContact, kSysContactSize, OctetsText(b));
    if (item == kItemSysName) blk_.putText(kSysName, kSysNameSize, OctetsText(b));
    if (item == kItemSysLocation) blk_.putText(kSysLocation, kSysLocationSize, OctetsText(b));
  }

  void maker(int g, uint32_t i, const SnmpVarBind& b) {
    for (const MakerText& t : kMakerTexts) {
      if (t.group != g || t.item != i) continue;
      if (b.type != kBerOctetString) return;
      std::string_view text = OctetsText(b);
      if (t.cut || text.size() < t.size) blk_.putText(t.off, t.size, text);
      if (g == 1 && i == 4) blk_.putI16(kRequestBudget, BudgetForFirmware(text));
      if (g == 7 && i == 11) dateRule(text);
      return;
    }
    if (!IsBerIntegerFamily(b.type)) return;
    const int32_t v = b.integer;
    if (g == 1 && i == kMakerIdentItem) {
      blk_.putU8(kIdentCode, static_cast<uint8_t>(v));
      return;
    }
    if (g == 9) {
      blk_.putI32(kAlarmWords + 4 * (i - 1), v);
      DebounceBit(blk_, kCounters - 1 + i, v != 0, static_cast<int>(i) - 1);
    }
    for (const MakerSlots& s : kMakerSlots) {
      if (s.group == g && i >= s.first && i <= s.last) {
        blk_.setSlot(s.slot + static_cast<int>(i - s.first), v);
      }
    }
    if (g == 1 && i == 18) node_.setStatus2(static_cast<uint8_t>(v));
    if (g == 1 && i == 19) node_.setUpsTypeCode(static_cast<uint8_t>(static_cast<uint32_t>(v) - 1));
    if (g == 10 && i >= 9 && i <= 14) {
      DebounceBit(blk_, 188 + i, v != 0, static_cast<int>(i) + 20);
    }
    widenMasks(g, i);
  }

  // Event 35: the date in the text is today or past.
  void dateRule(std::string_view text) {
    int y = 0, m = 0, d = 0;
    if (!ctx_.clock || !ParseDate(text, &y, &m, &d)) return;
    WallTime now = ctx_.clock->now();
    bool due = y < now.year || (y == now.year && (m < now.month || (m == now.month && d <= now.day)));
    if (due) {
      blk_.setMaskBits(MaskWord::kCurrent, Bit(kDateDueBit));
    } else {
      blk_.clearMaskBits(MaskWord::kCurrent, Bit(kDateDueBit));
    }
  }

  // Groups whose first answers show a condition worth watching are asked in full.
  void widenMasks(int g, uint32_t i) {
    auto widen = [&](int group) {
      if (entry_.pollMasks[group] == kSnmpDefaultPollMasks[group]) {
        entry_.pollMasks[group] = SnmpFullMask(group);
      }
    };
    const bool reported0 = blk_.mask(MaskWord::kReported) & 1;
    if (g == 3 && i == 1 && !reported0) widen(3);
    if (g == 4 && i == 1 && blk_.slot(27) > 0) widen(4);
    if (g == 5 && i == 3 && blk_.slot(39) > 0) widen(5);
    if (g == 6 && i == 2 && blk_.slot(53) > 0) widen(6);
    if (g == 7 && i == 6 && !reported0) widen(7);
    if (g == 9 && i == 1 && !reported0) widen(9);
    if (g == 10 && i == 1) widen(10);
    if (g == 3 && i == 6 && !reported0) entry_.pollMasks[3] = 0;
    if (g == 9 && i == 1 && reported0 && !(blk_.mask(MaskWord::kCurrent) & 1)) {
      SnmpSetDefaultMasks(entry_);
    }
  }

  void device(const SnmpObject& o, const SnmpVarBind& b) {
    int16_t upsId;
    if (o.unit == kSensorUnit) {
      upsId = kSensorUpsId;
    } else if (o.unit <= static_cast<uint32_t>(INT16_MAX)) {
      upsId = static_cast<int16_t>(o.unit);
    } else {
      return;
    }
    if (!ctx_.findPeer) return;
    SnmpPeer peer = ctx_.findPeer(node_.resolvedAddress(), upsId);
    if (!peer.node || !peer.entry) return;
    LiveDataBlock* pb = peer.node->block(BlockKind::kSnmp);
    if (!pb) return;
    peer.entry->unanswered = 0;
    if (b.type == kBerNull) return;
    DeviceNode& dn = *peer.node;
    LiveDataBlock& blk = *pb;
    const int g = o.group;
    const uint32_t i = o.item;
    if (g == 1 && i == 1) {
      if (b.type == kBerOctetString) blk.putText(kText1Item3, kText1Item3Size, OctetsText(b));
      return;
    }
    if (!IsBerIntegerFamily(b.type)) return;
    const int32_t v = b.integer;
    const bool sensor = dn.mibType() == kMibSensor;
    auto totals = [&] {
      if (ctx_.updateGroupTotals) ctx_.updateGroupTotals(&dn);
    };
    switch (g) {
      case 1:  // item 2: the rating
        blk.setSlot(21, v);
        blk.putText(kText1Item2, kText1Item2Size, std::to_string(v) + "W");
        return;
      case 2:
        if (i == 1 && !sensor) DebounceBit(blk, kCounters, v == 0, 0);
        if (i == 2) blk.setSlot(17, v);
        if (i == 3 && !sensor) blk.setSlot(18, v);
        if (i == 4 && !sensor) blk.setSlot(19, v);
        if (i == 3 && sensor) illumination(blk, v);
        if (i == 4 && sensor) {
          blk.setSlot(1, v);
          blk.clearMaskBits(MaskWord::kCurrent, Bit(1) | kNoResponseBit);
          blk.putU8(kSensorPollCounter2, 0);
          totals();
        }
        return;
      case 3:
        if (i <= 10) blk.setSlot(static_cast<int>(i) - 2, v);
        if (i == 11) blk.setSlot(14, v);
        if (i == 12) blk.setSlot(15, Saturate(int64_t{v} * 10));
        if (i == 13) blk.setSlot(16, v);
        return;
      case 4: {
        constexpr int kSlots[] = {20, 11, 12, 13};
        blk.setSlot(kSlots[i - 1], v);
        if (i == 3) totals();
        return;
      }
      case 5:
        blk.setSlot(i == 1 ? 9 : 10, v);
        return;
      case 6:
        if (i <= 14) {
          DebounceBit(blk, kCounters + i, v != 0, static_cast<int>(i));
        } else {
          runningState(dn, blk, v != 0, totals);
        }
        return;
      default:
        return;
    }
  }

  // Sensor illumination: slot 0 is the reading, slot 6 its integral over
  // time in value-seconds while the reading is above the minimum.
  void illumination(LiveDataBlock& blk, int32_t v) {
    blk.setSlot(0, v);
    blk.clearMaskBits(MaskWord::kCurrent, Bit(0) | kNoResponseBit);
    blk.putU8(kSensorPollCounter1, 0);
    if (!ctx_.clock) return;
    uint32_t now = ctx_.clock->tickMs();
    if (now == 0) now = 1;  // 0 means "none yet"
    uint32_t last = blk.u32(kIlluminationTick);
    if (last == 0) {
      blk.putU32(kIlluminationTick, now);
      return;
    }
    uint32_t elapsed = TickElapsed(now, last);
    if (elapsed < 1000) return;
    uint32_t seconds = elapsed / 1000;
    if (v > ctx_.illuminationMin) {
      int64_t sum = std::max<int32_t>(0, blk.slot(6));
      blk.setSlot(6, Saturate(sum + int64_t{v} * seconds));
    }
    // The part-second left over counts towards the next reading.
    uint32_t tick = last + seconds * 1000;
    blk.putU32(kIlluminationTick, tick == 0 ? 1 : tick);
  }

  // Device-MIB group 6 item 15: the unit stopped (zero) or runs (non-zero).
  template <class Totals>
  void runningState(DeviceNode& dn, LiveDataBlock& blk, bool running, Totals totals) {
    int side = Debounce(blk, kCounters + 15, running);
    if (side < 0) {
      blk.putU16(kRunMinutes, 0);
      blk.putU8(kCounters + 15, 0);
      blk.clearMaskBits(MaskWord::kCurrent, Bit(15) | Bit(16) | Bit(27));
      return;
    }
    if (side == 0 || (blk.mask(MaskWord::kCurrent) & (Bit(15) | Bit(16)))) return;
    auto lose = [&](int bit) {
      blk.setMaskBits(MaskWord::kCurrent, Bit(bit));
      for (int s = 0; s <= 16; ++s) blk.setSlot(s, -1);
      totals();
    };
    int32_t load = blk.slot(12);
    if (load < 0 || load > 150) {
      lose(16);
      return;
    }
    const uint32_t limit = 60000u / static_cast<uint32_t>(std::max(1, ctx_.snmpPollingMs));
    uint32_t minutes = blk.u16(kRunMinutes) + 1u;
    if (minutes > limit) {
      blk.putU16(kRunMinutes, static_cast<uint16_t>(limit));
      lose(15);
      return;
    }
    blk.putU16(kRunMinutes, static_cast<uint16_t>(minutes));
  }

  SnmpResponseContext& ctx_;
  SnmpDeviceEntry& entry_;
  DeviceNode& node_;
  LiveDataBlock& blk_;
};

}  // namespace

std::string UnsupportedAgentText(std::string_view title) {
  return "(" + EscapeMonitorText(title) + ") responded but Gridwarden Manager cannot support its SNMP MIB!";
}

void SnmpApplyResponse(SnmpResponseContext& ctx, const SnmpCodec& decoded, SnmpDeviceEntry& entry,
                       DeviceNode& node) {
  if (decoded.message.pdu != kPduGetResponse) return;
  LiveDataBlock* blk = node.block(BlockKind::kSnmp);
  if (!blk) return;
  if (ctx.traffic) {
    for (const SnmpVarBind& b : decoded.bindings()) {
      ctx.traffic(SnmpOidMonitorText(b.name) + SnmpValueMonitorText(b), 1);
    }
  }
  Applier a(ctx, entry, node, *blk);
  if (decoded.message.errorStatus != kSnmpNoError) {
    a.onError(decoded);
    return;
  }
  for (const SnmpVarBind& b : decoded.bindings()) a.binding(b);
}

}  // namespace lark
