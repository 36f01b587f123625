#include "core/group_totals.h"

#include <algorithm>
#include <climits>
#include <mutex>
#include <span>

namespace lark {

namespace {

// The nine words lie together at 7160..7195 in the order of their offsets.
constexpr size_t kTotalsFirst = 7160;
constexpr size_t kTotalsBytes = 4 * kGroupTotalCount;

constexpr size_t Index(GroupTotal t) { return static_cast<size_t>(t); }

// Inverter slots summed into S0..S5, for serial and SNMP inverters.
constexpr int kSerialInverterSlots[] = {16, 12, 17, 19, 22, 23};
constexpr int kSnmpInverterSlots[] = {16, 12, 17, 19};
constexpr int kCopiedSlot = 21;  // into the inverter's own S6 and the group's

struct Accumulator {
  std::array<int64_t, kGroupTotalCount> sum{};
  int a0Count = 0, a1Count = 0;

  void add(GroupTotal t, int64_t v) { sum[Index(t)] += v; }
  void addAverage(GroupTotal t, int64_t v) {
    add(t, v);
    ++(t == GroupTotal::kA0 ? a0Count : a1Count);
  }
  GroupTotalsValues finish() const {
    GroupTotalsValues out{};
    for (size_t i = 0; i < out.size(); ++i) {
      int64_t v = sum[i];
      if (i == Index(GroupTotal::kA0) && a0Count) v /= a0Count;
      if (i == Index(GroupTotal::kA1) && a1Count) v /= a1Count;
      out[i] = static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    }
    return out;
  }
};

void AddInverter(Accumulator& acc, DeviceNode& child, const LiveDataBlock& b,
                 std::span<const int> slots) {
  for (size_t k = 0; k < slots.size(); ++k) {
    const int32_t v = b.slot(slots[k]);
    if (v >= 0) acc.add(static_cast<GroupTotal>(k), v);
  }
  const int32_t copied = b.slot(kCopiedSlot);
  if (copied >= 0) {
    child.setGroupTotal(GroupTotal::kS6, copied);
    acc.add(GroupTotal::kS6, copied);
  }
}

void AddSensor(Accumulator& acc, const LiveDataBlock& b, int slotA0, int slotA1) {
  if (b.slot(slotA0) >= 0) acc.addAverage(GroupTotal::kA0, b.slot(slotA0));
  if (b.slot(slotA1) >= 0) acc.addAverage(GroupTotal::kA1, b.slot(slotA1));
}

GroupTotalsValues ComputeGroup(const DeviceNode& group) {
  Accumulator acc;
  for (const auto& owned : group.children()) {
    DeviceNode& c = *owned;
    if (c.isGroup()) {
      const GroupTotalsValues t = ReadGroupTotals(c);
      for (GroupTotal s : {GroupTotal::kS0, GroupTotal::kS1, GroupTotal::kS2, GroupTotal::kS3,
                           GroupTotal::kS4, GroupTotal::kS5, GroupTotal::kS6}) {
        acc.add(s, t[Index(s)]);
      }
      if (t[Index(GroupTotal::kA0)] > 0) acc.addAverage(GroupTotal::kA0, t[Index(GroupTotal::kA0)]);
      if (t[Index(GroupTotal::kA1)] != 0)
        acc.addAverage(GroupTotal::kA1, t[Index(GroupTotal::kA1)]);
    } else if (c.nodeKind() == kNodeSerial) {
      if (c.commType() == kCommInverter) {
        if (const LiveDataBlock* b = c.block(BlockKind::kModbus)) {
          AddInverter(acc, c, *b, kSerialInverterSlots);
        }
      } else if (c.commType() == kCommSensor) {
        if (const LiveDataBlock* b = c.block(BlockKind::kSensor)) AddSensor(acc, *b, 0, 5);
      }
    } else if (c.nodeKind() == kNodeSnmp) {
      const LiveDataBlock* b = c.block(BlockKind::kSnmp);
      if (b == nullptr) continue;
      if (c.mibType() == kMibInverter) AddInverter(acc, c, *b, kSnmpInverterSlots);
      if (c.mibType() == kMibSensor) AddSensor(acc, *b, 0, 1);
    }
  }
  return acc.finish();
}

void StoreGroupTotals(DeviceNode& group, const GroupTotalsValues& t) {
  std::array<uint8_t, kTotalsBytes> img{};
  for (size_t i = 0; i < t.size(); ++i) {
    putI32(Bytes(img), GroupTotalOffset(static_cast<GroupTotal>(i)) - kTotalsFirst, t[i]);
  }
  group.writeBytes(kTotalsFirst, CBytes(img));
}

}  // namespace

GroupTotalsValues ReadGroupTotals(const DeviceNode& group) {
  std::array<uint8_t, kTotalsBytes> img{};
  group.readBytes(kTotalsFirst, Bytes(img));
  GroupTotalsValues t{};
  for (size_t i = 0; i < t.size(); ++i) {
    t[i] = i32At(CBytes(img), GroupTotalOffset(static_cast<GroupTotal>(i)) - kTotalsFirst);
  }
  return t;
}

void UpdateGroupTotals(DeviceNode* node) {
  if (node == nullptr) return;
  // Two recomputations at once could store an older sum over a newer one.
  static std::mutex totalsMu;
  std::lock_guard<std::mutex> g(totalsMu);
  for (DeviceNode* group = node->parent(); group != nullptr; group = group->parent()) {
    StoreGroupTotals(*group, ComputeGroup(*group));
  }
}

}  // namespace lark
