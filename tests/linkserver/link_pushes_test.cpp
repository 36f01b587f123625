// The device alarm-state push built from the tree, per kind of node.
#include <gtest/gtest.h>

#include <vector>

#include "core/device_tree.h"
#include "linkserver/link_server.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

using V = std::vector<uint8_t>;

V Push(const DeviceTree& tree, int id) {
  V buf(kLinkBufferSize);
  LinkFrameBuilder b(buf);
  if (!BuildDeviceStatePush(tree, static_cast<uint16_t>(id), b)) return {};
  size_t n = b.finish();
  return V(buf.begin(), buf.begin() + n);
}

V Le64(uint64_t v) {
  V out(8);
  putU64(out, 0, v);
  return out;
}

TEST(LinkPushesTest, EachDeviceKindCarriesItsCodeAndMasks) {
  DeviceTree tree;
  test::SampleTree s = test::BuildSampleTree(tree);
  const uint64_t cur = 0x1122334455667788ull, ext = 0x0102030405060708ull;
  struct Case {
    DeviceNode* node;
    BlockKind block;
    uint8_t code;
    bool extended;
  } cases[] = {
      {s.snmp, BlockKind::kSnmp, 0, false},        {s.ascii, BlockKind::kAscii, 1, true},
      {s.threePhase, BlockKind::kBinary, 2, true}, {s.modbus, BlockKind::kModbus, 3, true},
      {s.inverter, BlockKind::kModbus, 7, true},   {s.gprs, BlockKind::kGprs, 11, false},
  };
  for (const Case& c : cases) {
    LiveDataBlock* b = c.node->block(c.block);
    ASSERT_NE(b, nullptr) << c.node->id();
    b->setMask(MaskWord::kCurrent, cur);
    b->setMask(MaskWord::kExtCurrent, ext);
    V expected = {1,
                  1,
                  0,
                  0,
                  1,
                  c.code,
                  static_cast<uint8_t>(c.node->idU16() >> 8),
                  static_cast<uint8_t>(c.node->idU16())};
    V m = Le64(cur);
    expected.insert(expected.end(), m.begin(), m.end());
    if (c.extended) {
      m = Le64(ext);
      expected.insert(expected.end(), m.begin(), m.end());
    }
    expected[3] = static_cast<uint8_t>(expected.size() - 4);
    EXPECT_EQ(Push(tree, c.node->id()), expected) << "node " << c.node->id();
  }
  for (DeviceNode* n : {s.sensor, s.meter}) {
    LiveDataBlock* b = n->block(n == s.sensor ? BlockKind::kSensor : BlockKind::kMeter);
    ASSERT_NE(b, nullptr);
    b->setMask(MaskWord::kCurrent, 0xA5);
    EXPECT_EQ(Push(tree, n->id()),
              (V{1, 1, 0, 5, 1, static_cast<uint8_t>(n == s.sensor ? 9 : 10),
                 static_cast<uint8_t>(n->idU16() >> 8), static_cast<uint8_t>(n->idU16()), 0xA5}));
  }
}

TEST(LinkPushesTest, GroupsAndMissingNodesGiveNoPush) {
  DeviceTree tree;
  test::SampleTree s = test::BuildSampleTree(tree);
  EXPECT_TRUE(Push(tree, s.ups->id()).empty());
  EXPECT_TRUE(Push(tree, 0).empty());  // the root group
  EXPECT_TRUE(Push(tree, 30000).empty());
}

}  // namespace
}  // namespace lark
