// GroupTotals: sums and averages walked up to the root, held at the largest
// i32, stored whole while another thread recomputes.
#include "core/group_totals.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <thread>

#include "platform/key_store.h"
#include "records/audio_handover.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

DeviceNode* AddGroup(DeviceNode& parent) {
  auto n = std::make_unique<DeviceNode>();
  n->setNodeKind(kNodeGroup);
  return parent.addChild(n);
}

DeviceNode* AddDevice(DeviceNode& parent, int16_t commType) {
  auto n = std::make_unique<DeviceNode>();
  n->setNodeKind(kNodeSerial);
  n->setCommType(commType);
  KeepOnlyCommTypeBlock(*n);
  return parent.addChild(n);
}

int32_t S0(const DeviceNode& g) { return ReadGroupTotals(g)[static_cast<size_t>(GroupTotal::kS0)]; }

TEST(GroupTotals, InvertersAddUpToTheRootAndTheTrayValue) {
  test::TempDir dir;
  KeyStore keys(dir.path());
  DeviceNode root;
  root.setNodeKind(kNodeGroup);
  DeviceNode* group = AddGroup(root);
  DeviceNode* a = AddDevice(*group, kCommInverter);
  DeviceNode* b = AddDevice(*group, kCommInverter);
  DeviceNode* sensor = AddDevice(*group, kCommSensor);
  a->block(BlockKind::kModbus)->setSlot(16, 1000);
  a->block(BlockKind::kModbus)->setSlot(21, 3000);
  b->block(BlockKind::kModbus)->setSlot(16, 2500);
  sensor->block(BlockKind::kSensor)->setSlot(0, 40);
  UpdateGroupTotals(a);
  EXPECT_EQ(S0(*group), 3500);
  EXPECT_EQ(S0(root), 3500);
  EXPECT_EQ(a->groupTotal(GroupTotal::kS6), 3000);
  EXPECT_EQ(root.groupTotal(GroupTotal::kS6), 3000);
  EXPECT_EQ(root.groupTotal(GroupTotal::kA0), 40);
  WriteInverterValues(keys, InverterSummary(root));
  EXPECT_EQ(keys.read(kInverterKey, "0").value_or(""), "3500");
}

TEST(GroupTotals, SumsAreHeldAtTheLargestI32AndReachADeepRoot) {
  DeviceNode root;
  root.setNodeKind(kNodeGroup);
  DeviceNode* g = &root;
  for (int i = 0; i < 20; ++i) g = AddGroup(*g);  // deeper than the old 12-level walk
  DeviceNode* a = AddDevice(*g, kCommInverter);
  DeviceNode* b = AddDevice(*g, kCommInverter);
  a->block(BlockKind::kModbus)->setSlot(16, INT32_MAX - 5);
  b->block(BlockKind::kModbus)->setSlot(16, 100);
  UpdateGroupTotals(b);
  EXPECT_EQ(S0(*g), INT32_MAX);
  EXPECT_EQ(S0(root), INT32_MAX);
}

// A poll thread recomputing while the loop reads the totals: the reader sees
// either the old or the new whole group, never a mix.
TEST(GroupTotals, ReadersNeverSeeAHalfStoredGroup) {
  DeviceNode root;
  root.setNodeKind(kNodeGroup);
  DeviceNode* a = AddDevice(root, kCommInverter);
  LiveDataBlock& blk = *a->block(BlockKind::kModbus);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; i < 2000; ++i) {
      const int32_t v = (i % 2) ? 100 : 200;
      for (int s : {16, 12, 17, 19}) blk.setSlot(s, v);
      UpdateGroupTotals(a);
    }
    stop = true;
  });
  while (!stop) {
    const GroupTotalsValues t = ReadGroupTotals(root);
    EXPECT_EQ(t[0], t[1]);
  }
  writer.join();
}

}  // namespace
}  // namespace lark
