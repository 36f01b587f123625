#include "core/device_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>

#include "core/tree_action_levels.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

using test::AddGroup;
using test::AddSerial;
using test::AddSnmp;
using test::BuildSampleTree;
using test::CountingPauser;
using test::FakeActionLevels;
using test::RecordingEndpoints;
using test::RecordingUpsCommands;
using test::SubtreeIds;

class TreeTest : public testing::Test {
 protected:
  CountingPauser pauser;
  RecordingEndpoints endpoints;
  DeviceTree tree{pauser, endpoints};
};

TEST_F(TreeTest, RootAfterReset) {
  const DeviceNode& r = tree.root();
  EXPECT_EQ(r.id(), 0);
  EXPECT_EQ(r.nodeKind(), kNodeGroup);
  EXPECT_EQ(r.title(), "Main");
  EXPECT_EQ(r.groupRect(), (NodeRect{0, 0, 602, 422}));
  EXPECT_EQ(r.parent(), nullptr);
  EXPECT_FALSE(r.hasAnyBlock());
  EXPECT_EQ(&tree.currentParent(), &tree.root());
}

TEST_F(TreeTest, CreateByKind) {
  DeviceNode* serial = Tree_CreateNode(tree, kNodeSerial, "");
  DeviceNode* group = Tree_CreateNode(tree, kNodeGroup, "");
  DeviceNode* snmp = Tree_CreateNode(tree, kNodeSnmp, "192.168.1.9");
  DeviceNode* gprs = Tree_CreateNode(tree, kNodeGprs, "");
  DeviceNode* odd = Tree_CreateNode(tree, 9, "");
  ASSERT_TRUE(serial && group && snmp && gprs && odd);
  EXPECT_EQ(SubtreeIds(tree.root()), (std::vector<int>{0, 1, 2, 3, 4, 5}));
  for (DeviceNode* n : {serial, group, snmp, gprs, odd}) {
    EXPECT_EQ(n->title(), "UnTitled");
    EXPECT_EQ(n->linkStatus(), kLinkUnidentified);
    EXPECT_TRUE(n->saveInDatabase());
    EXPECT_EQ(n->u16(node_off::kSaveInDatabase), 1);
    EXPECT_EQ(n->alarmState(AlarmArray::kAudioRepeat, 0), -1);
    EXPECT_EQ(n->alarmState(AlarmArray::kAudioRepeat, 199), -1);
    EXPECT_EQ(n->parent(), &tree.root());
  }
  EXPECT_EQ(serial->baud(), 2400);
  EXPECT_NE(serial->block(BlockKind::kAscii), nullptr);
  EXPECT_NE(serial->block(BlockKind::kMeterSum), nullptr);
  EXPECT_EQ(serial->block(BlockKind::kSnmp), nullptr);
  EXPECT_EQ(group->groupRect(), (NodeRect{0, 0, 602, 422}));
  EXPECT_FALSE(group->hasAnyBlock());
  EXPECT_EQ(snmp->ip(), "192.168.1.9");
  EXPECT_NE(snmp->block(BlockKind::kSnmp), nullptr);
  EXPECT_EQ(endpoints.snmpAdded, (std::vector<int>{3}));
  EXPECT_NE(gprs->block(BlockKind::kGprs), nullptr);
  EXPECT_EQ(odd->nodeKind(), kNodeSerial);
  EXPECT_FALSE(odd->hasAnyBlock());
  EXPECT_EQ(tree.nextNodeId(), 6u);
  EXPECT_EQ(pauser.depth, 0);
  EXPECT_EQ(pauser.pauses, pauser.resumes);
}

TEST_F(TreeTest, CreateRefusals) {
  // The 301st child.
  for (int i = 0; i < kMaxChildren; ++i) ASSERT_NE(Tree_CreateNode(tree, kNodeGroup, ""), nullptr);
  EXPECT_EQ(Tree_CreateNode(tree, kNodeGroup, ""), nullptr);
  EXPECT_EQ(tree.root().childCount(), 300);
  // An SNMP node the table refuses leaves nothing behind.
  tree.setCurrentParent(*tree.root().child(0));
  endpoints.refuseSnmp = true;
  const uint32_t next = tree.nextNodeId();
  EXPECT_EQ(Tree_CreateNode(tree, kNodeSnmp, "10.1.1.1"), nullptr);
  EXPECT_EQ(tree.root().child(0)->childCount(), 0);
  EXPECT_EQ(tree.nextNodeId(), next);
  // A device is no insertion point.
  endpoints.refuseSnmp = false;
  DeviceNode* device = Tree_CreateNode(tree, kNodeSerial, "");
  ASSERT_NE(device, nullptr);
  tree.setCurrentParent(*device);
  EXPECT_EQ(Tree_CreateNode(tree, kNodeSerial, ""), nullptr);
  EXPECT_EQ(device->childCount(), 0);
}

// The map loaders refuse nodes below kMaxTreeDepth, so the console may not
// build them either: a saved map must load whole.
TEST_F(TreeTest, CreateAndPasteStayWithinTheDepthAMapLoads) {
  DeviceNode* g = &tree.root();
  for (int depth = 1; depth <= kMaxTreeDepth; ++depth) {
    tree.setCurrentParent(*g);
    g = Tree_CreateNode(tree, kNodeGroup, "");
    ASSERT_NE(g, nullptr) << depth;
  }
  tree.setCurrentParent(*g);
  EXPECT_EQ(Tree_CreateNode(tree, kNodeSerial, ""), nullptr);

  // A group holding a device is two levels: it fits one level higher only.
  tree.setCurrentParent(tree.root());
  DeviceNode& top = AddGroup(tree, tree.root());
  AddSerial(tree, top, kCommAscii);
  tree.setCurrentParent(tree.root());
  ASSERT_TRUE(Tree_CutChild(tree, tree.root().indexOfChild(&top)));
  EXPECT_FALSE(Tree_PasteClipboard(tree, *g->parent()));
  ASSERT_TRUE(Tree_PasteClipboard(tree, *g->parent()->parent()));
  EXPECT_EQ(top.child(0)->parent(), &top);
}

TEST_F(TreeTest, IdsStayWithinTheFieldAndNeverRepeat) {
  Tree_CreateNode(tree, kNodeGroup, "");  // 1
  Tree_CreateNode(tree, kNodeGroup, "");  // 2
  tree.setNextNodeId(kMaxNodeId);
  DeviceNode* last = Tree_CreateNode(tree, kNodeGroup, "");
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->idU16(), kMaxNodeId);
  // Past the last id the counter does not wrap into the root's 0 or a used id.
  DeviceNode* next = Tree_CreateNode(tree, kNodeGroup, "");
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next->id(), 3);
  tree.setNextNodeId(2);  // a used id: the next free one is taken
  EXPECT_EQ(Tree_CreateNode(tree, kNodeGroup, "")->id(), 4);
  tree.setNextNodeId(70000);
  EXPECT_EQ(Tree_CreateNode(tree, kNodeGroup, "")->id(), 5);
}

TEST_F(TreeTest, FindAndCount) {
  const auto t = BuildSampleTree(tree);
  EXPECT_EQ(SubtreeIds(tree.root()), (std::vector<int>{0, 1, 4, 5, 6, 7, 2, 8, 9, 10, 11, 3}));
  EXPECT_EQ(Tree_FindNodeById(0, &tree.root()), &tree.root());
  EXPECT_EQ(Tree_FindNodeById(7, &tree.root()), t.snmp);
  EXPECT_EQ(Tree_FindNodeById(7, t.field), nullptr);
  EXPECT_EQ(Tree_FindNodeById(99, &tree.root()), nullptr);
  EXPECT_EQ(Tree_FindNodeById(-1, &tree.root()), nullptr);
  EXPECT_EQ(Tree_FindNodeById(65536, &tree.root()), nullptr);  // not 0
  EXPECT_EQ(Tree_FindNodeById(7, static_cast<DeviceNode*>(nullptr)), nullptr);
  EXPECT_EQ(Tree_FindById(&tree.root(), 9), t.inverter);
  // An id above 32767 read back from a 16-bit field still matches.
  t.meter->setId(static_cast<int16_t>(40000 - 65536));
  EXPECT_EQ(Tree_FindNodeById(40000, &tree.root()), t.meter);
  EXPECT_EQ(CountDevices(tree.root()), 8);
  EXPECT_EQ(CountDevices(*t.empty), 0);
  EXPECT_EQ(CountGroups(tree.root()), 4);
  EXPECT_EQ(CountGroups(*t.ups), 1);
}

// The id index finds what a walk of the tree finds, for every id.
void ExpectIndexMatchesWalk(DeviceTree& tree, const char* step) {
  for (int32_t id = -1; id <= 0x10000; ++id) {
    ASSERT_EQ(Tree_FindNodeById(tree, id), Tree_FindNodeById(id, &tree.root())) << step << " " << id;
  }
}

TEST_F(TreeTest, IdIndexFollowsEveryStructuralChange) {
  BuildSampleTree(tree);
  ExpectIndexMatchesWalk(tree, "built");
  tree.setCurrentParent(tree.root());
  ASSERT_TRUE(Tree_CutChild(tree, 0));
  ExpectIndexMatchesWalk(tree, "cut");
  EXPECT_EQ(Tree_FindNodeById(tree, 4), nullptr) << "the clipboard is not in the tree";
  ASSERT_NE(Tree_CreateNode(tree, kNodeGroup, ""), nullptr);
  ExpectIndexMatchesWalk(tree, "created");
  ASSERT_TRUE(Tree_PasteClipboard(tree, *tree.root().child(tree.root().childCount() - 1)));
  ExpectIndexMatchesWalk(tree, "pasted");
  EXPECT_NE(Tree_FindNodeById(tree, 4), nullptr);
  ASSERT_TRUE(Tree_DeleteChild(tree, 0));
  ExpectIndexMatchesWalk(tree, "deleted");
  Tree_FreeSubtree(tree, *tree.root().child(0));
  ExpectIndexMatchesWalk(tree, "subtree freed");
  Tree_ClearAll(tree);
  ExpectIndexMatchesWalk(tree, "cleared");
  EXPECT_EQ(Tree_FindNodeById(tree, 0), &tree.root());
}

TEST_F(TreeTest, CutPasteAndTheClipboard) {
  const auto t = BuildSampleTree(tree);
  EXPECT_FALSE(Tree_PasteClipboard(tree, *t.empty));  // empty clipboard
  EXPECT_FALSE(Tree_CutChild(tree, -1));
  EXPECT_FALSE(Tree_CutChild(tree, 3));

  ASSERT_TRUE(Tree_CutChild(tree, 0));  // group "UPS" with the SNMP device
  ASSERT_EQ(tree.clipboard(), t.ups);
  EXPECT_EQ(tree.root().childCount(), 2);
  EXPECT_EQ(tree.currentChildIndex(), 1);
  // Kind 0 and 2 nodes leave the SNMP table; serial devices keep their slots.
  EXPECT_EQ(endpoints.snmpRemoved, (std::vector<int>{4, 5, 6, 7}));
  EXPECT_TRUE(endpoints.serialDetached.empty());

  EXPECT_FALSE(Tree_PasteClipboard(tree, *t.gprs));  // not a group
  endpoints.snmpAdded.clear();
  ASSERT_TRUE(Tree_PasteClipboard(tree, *t.empty));
  EXPECT_EQ(tree.clipboard(), nullptr);
  EXPECT_EQ(t.empty->child(0), t.ups);
  EXPECT_EQ(t.ups->parent(), t.empty);
  EXPECT_EQ(endpoints.snmpAdded, (std::vector<int>{7}));  // polled again

  // A second cut frees the first clipboard subtree with its port slots.
  tree.setCurrentParent(*t.field);
  ASSERT_TRUE(Tree_CutChild(tree, 1));  // inverter
  ASSERT_TRUE(Tree_CutChild(tree, 1));  // sensor
  EXPECT_EQ(endpoints.serialDetached, (std::vector<int>{9}));
  EXPECT_EQ(tree.clipboard(), t.sensor);
  EXPECT_EQ(pauser.depth, 0);
}

TEST_F(TreeTest, PasteRefusedIntoAFullGroup) {
  DeviceNode& g = AddGroup(tree, tree.root());
  AddGroup(tree, tree.root());
  tree.setCurrentParent(tree.root());
  ASSERT_TRUE(Tree_CutChild(tree, 1));
  tree.setCurrentParent(g);
  for (int i = 0; i < kMaxChildren; ++i) ASSERT_NE(Tree_CreateNode(tree, kNodeGroup, ""), nullptr);
  EXPECT_FALSE(Tree_PasteClipboard(tree, g));
  EXPECT_NE(tree.clipboard(), nullptr);  // kept for a later paste
}

TEST_F(TreeTest, DeleteFreesTheSubtreeAndKeepsTheIdCounter) {
  const auto t = BuildSampleTree(tree);
  EXPECT_FALSE(Tree_DeleteChild(tree, -1));
  tree.setCurrentParent(*t.field);
  ASSERT_TRUE(Tree_DeleteChild(tree, 3));  // the meter, highest id 11
  EXPECT_EQ(endpoints.serialDetached, (std::vector<int>{11}));
  EXPECT_EQ(t.field->childCount(), 3);
  EXPECT_EQ(tree.currentChildIndex(), 2);
  EXPECT_EQ(tree.nextNodeId(), 12u);
  Tree_ComputeNextFreeId(tree);
  EXPECT_EQ(tree.nextNodeId(), 11u);

  tree.setCurrentParent(tree.root());
  ASSERT_TRUE(Tree_DeleteChild(tree, 0));  // the "UPS" group
  EXPECT_EQ(endpoints.serialDetached, (std::vector<int>{11, 4, 5, 6}));
  EXPECT_EQ(endpoints.snmpRemoved, (std::vector<int>{7}));
}

TEST_F(TreeTest, DeletingTheCurrentParentsAncestorResetsTheInsertionPoint) {
  DeviceNode& a = AddGroup(tree, tree.root());
  DeviceNode& b = AddGroup(tree, a);
  tree.setCurrentParent(b);
  Tree_FreeSubtree(tree, a);
  EXPECT_EQ(&tree.currentParent(), &tree.root());
}

// The clipboard's ids are never handed out again, and the clipboard goes
// with the tree.
TEST_F(TreeTest, IdsAfterCutFreeAndCreateNeverCollideWithTheClipboard) {
  const auto t = BuildSampleTree(tree);
  tree.setCurrentParent(*t.field);
  ASSERT_TRUE(Tree_CutChild(tree, 3));  // meter, id 11, the highest
  Tree_ComputeNextFreeId(tree);         // as after a map save
  EXPECT_EQ(tree.nextNodeId(), 12u);
  tree.setNextNodeId(11);  // even when a loader set it low
  DeviceNode* fresh = Tree_CreateNode(tree, kNodeSerial, "");
  ASSERT_NE(fresh, nullptr);
  EXPECT_NE(fresh->id(), 11);
  ASSERT_TRUE(Tree_PasteClipboard(tree, *t.field));
  const auto ids = SubtreeIds(tree.root());
  EXPECT_EQ(std::set<int>(ids.begin(), ids.end()).size(), ids.size());

  ASSERT_TRUE(Tree_CutChild(tree, 0));  // gprs station into the clipboard
  Tree_FreeAll(tree);
  EXPECT_EQ(tree.clipboard(), nullptr);
  EXPECT_EQ(endpoints.gprsReleased, (std::vector<int>{8}));
  EXPECT_EQ(tree.root().childCount(), 0);
  EXPECT_EQ(tree.root().title(), "Main");
  EXPECT_FALSE(Tree_PasteClipboard(tree, tree.root()));
}

TEST_F(TreeTest, FreeAllReleasesEveryEndpointOnce) {
  BuildSampleTree(tree);
  pauser.pauses = pauser.resumes = 0;
  Tree_ClearAll(tree);
  EXPECT_EQ(pauser.pauses, 1);  // one pause around the whole change
  EXPECT_EQ(pauser.resumes, 1);
  auto sorted = endpoints.serialDetached;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<int>{4, 5, 6, 9, 10, 11}));
  EXPECT_EQ(endpoints.snmpRemoved, (std::vector<int>{7}));
  EXPECT_EQ(CountGroups(tree.root()), 1);
  // The next map starts its ids again when the loader says so.
  tree.setNextNodeId(1);
  EXPECT_EQ(Tree_CreateNode(tree, kNodeGroup, "")->id(), 1);
}

// ---- the 2-second walk ----

struct LevelCase {
  const char* name;
  uint8_t kind;
  int16_t commType;
  uint8_t mibType;
  MaskWord word;
  uint64_t mask;
  const char* family;  // family whose event levels are set below
  uint8_t want;
};

// Events 0..63 of every family get level 1 (Warning), except event 1 with 0
// (Serious); the plc table also has row 2 at 0.
TEST_F(TreeTest, LevelWalkOverKindsAndCommTypes) {
  const LevelCase cases[] = {
      {"snmp event 0", kNodeSnmp, 0, kMibMakerUps, MaskWord::kReported, 1u << 0, "snmpv4", 1},
      {"snmp rfc event 1", kNodeSnmp, 0, kMibRfc1628, MaskWord::kReported, 1u << 1, "snmpv4", 0},
      {"snmp inverter uses snmpv4", kNodeSnmp, 0, kMibInverter, MaskWord::kReported, 1u << 1,
       "snmpv4", 0},
      {"snmp event 35 counts", kNodeSnmp, 0, 5, MaskWord::kReported, 1ull << 35, "snmpv4", 1},
      {"snmp event 36 beyond table", kNodeSnmp, 0, 5, MaskWord::kReported, 1ull << 36, "snmpv4", 2},
      {"snmp 16 hidden by 23", kNodeSnmp, 0, 5, MaskWord::kReported, (1u << 16) | (1u << 23),
       "snmpv4", 1},
      {"snmp current mask ignored", kNodeSnmp, 0, 5, MaskWord::kCurrent, 1u << 1, "snmpv4", 2},
      {"gprs 23 hidden by 16", kNodeGprs, 0, 0, MaskWord::kReported, 1u << 23 | 1u << 16, "gprs",
       1},
      {"gprs event 1", kNodeGprs, 0, 0, MaskWord::kReported, 1u << 1, "gprs", 0},
      {"ascii event 1", kNodeSerial, 0, 0, MaskWord::kReported, 1u << 1, "regular", 0},
      {"ascii 23 alone", kNodeSerial, 0, 0, MaskWord::kReported, 1u << 23, "regular", 1},
      {"ascii ext event 1", kNodeSerial, 0, 0, MaskWord::kExtReported, 1u << 1, "regularplus", 0},
      {"ascii ext event 33 beyond", kNodeSerial, 0, 0, MaskWord::kExtReported, 1ull << 33,
       "regularplus", 2},
      {"modbus ups event 1", kNodeSerial, 2, 0, MaskWord::kReported, 1u << 1, "regular", 0},
      {"3phase 12 hidden by 6", kNodeSerial, 1, 0, MaskWord::kReported, 1u << 12 | 1u << 6,
       "3phase", 1},
      {"3phase ext event 51", kNodeSerial, 1, 0, MaskWord::kExtReported, 1ull << 51, "3phaseplus",
       1},
      {"mge event 36", kNodeSerial, 3, 0, MaskWord::kReported, 1ull << 36, "mge", 1},
      {"mge event 37 beyond", kNodeSerial, 3, 0, MaskWord::kReported, 1ull << 37, "mge", 2},
      {"plc event 0 takes row 2", kNodeSerial, 4, 0, MaskWord::kReported, 1u << 0, "plc", 0},
      {"pw event 40", kNodeSerial, 5, 0, MaskWord::kReported, 1ull << 40, "pw", 1},
      {"inverter event 1", kNodeSerial, 6, 0, MaskWord::kReported, 1u << 1, "inverter", 0},
      {"inverter event 17 beyond", kNodeSerial, 6, 0, MaskWord::kReported, 1u << 17, "inverter", 2},
      {"sensor event 5", kNodeSerial, 7, 0, MaskWord::kReported, 1u << 5, "sensor", 1},
      {"sensor bit 6 ignored", kNodeSerial, 7, 0, MaskWord::kReported, 1u << 6, "sensor", 2},
      {"sensor current byte ignored", kNodeSerial, 7, 0, MaskWord::kCurrent, 1u << 1, "sensor", 2},
      {"meter bit 0", kNodeSerial, 8, 0, MaskWord::kReported, 1u << 0, "meter", 1},
      {"meter bit 1 ignored", kNodeSerial, 8, 0, MaskWord::kReported, 1u << 1, "meter", 2},
      {"meter sum has none", kNodeSerial, 9, 0, MaskWord::kReported, ~uint64_t{0}, "meter", 2},
  };
  for (const LevelCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeActionLevels levels;
    for (int e = 0; e < 64; ++e) levels.setEventLevel(c.family, e, e == 1 ? 0 : 1);
    levels.setEventLevel("plc", 1, 0);
    RecordingUpsCommands commands;
    DeviceTree t;
    DeviceNode* group = Tree_CreateNode(t, kNodeGroup, "");
    t.setCurrentParent(*group);
    DeviceNode* n = Tree_CreateNode(t, c.kind, "10.0.0.1");
    ASSERT_NE(n, nullptr);
    n->setCommType(c.commType);
    n->setMibType(c.mibType);
    LiveDataBlock* b = PrimaryBlock(*n);
    ASSERT_NE(b, nullptr);
    b->setMask(c.word, c.mask);
    EXPECT_EQ(Tree_RunCountdowns(t.root(), levels, commands), c.want);
    EXPECT_EQ(n->alarmLevel(), c.want);
    EXPECT_EQ(group->alarmLevel(), c.want);
    EXPECT_TRUE(commands.calls.empty());
  }
}

TEST_F(TreeTest, GroupsTakeTheWorstChildAndEmptyGroupsNone) {
  const auto t = BuildSampleTree(tree);
  FakeActionLevels levels;
  levels.setEventLevel("gprs", 2, kAlarmWarning);
  levels.setEventLevel("regular", 3, kAlarmSerious);
  RecordingUpsCommands commands;
  t.gprs->block(BlockKind::kGprs)->setMask(MaskWord::kReported, 1u << 2);
  EXPECT_EQ(Tree_RunCountdowns(tree.root(), levels, commands), kAlarmWarning);
  EXPECT_EQ(t.field->alarmLevel(), kAlarmWarning);
  EXPECT_EQ(t.ups->alarmLevel(), kAlarmNone);
  EXPECT_EQ(t.empty->alarmLevel(), kAlarmNone);
  t.modbus->block(BlockKind::kModbus)->setMask(MaskWord::kReported, 1u << 3);
  EXPECT_EQ(Tree_RunCountdowns(tree.root(), levels, commands), kAlarmSerious);
  EXPECT_EQ(t.ups->alarmLevel(), kAlarmSerious);
  EXPECT_EQ(tree.root().alarmLevel(), kAlarmSerious);
  // Recovery brings the levels back.
  t.modbus->block(BlockKind::kModbus)->setMask(MaskWord::kReported, 0);
  t.gprs->block(BlockKind::kGprs)->setMask(MaskWord::kReported, 0);
  EXPECT_EQ(Tree_RunCountdowns(tree.root(), levels, commands), kAlarmNone);
  EXPECT_EQ(t.field->alarmLevel(), kAlarmNone);
}

TEST_F(TreeTest, SummaryBitsOfTheExtendedAlarmWords) {
  const auto t = BuildSampleTree(tree);
  FakeActionLevels levels;
  RecordingUpsCommands commands;
  LiveDataBlock& ascii = *t.ascii->block(BlockKind::kAscii);
  LiveDataBlock& bin = *t.threePhase->block(BlockKind::kBinary);
  ascii.setMask(MaskWord::kCurrent, 1u << 3);
  ascii.setMask(MaskWord::kExtReported, 1u << 28);  // outside bits 0..27
  bin.setMask(MaskWord::kExtReported, 1ull << 40);
  Tree_RunCountdowns(tree.root(), levels, commands);
  EXPECT_EQ(ascii.mask(MaskWord::kCurrent), 1u << 3);
  EXPECT_EQ(bin.mask(MaskWord::kCurrent), 1u << 15);
  ascii.setMask(MaskWord::kExtReported, 1u << 27);
  bin.setMask(MaskWord::kExtReported, 0);
  Tree_RunCountdowns(tree.root(), levels, commands);
  EXPECT_EQ(ascii.mask(MaskWord::kCurrent), (1u << 3) | (1u << 25));
  EXPECT_EQ(bin.mask(MaskWord::kCurrent), 0u);
}

TEST_F(TreeTest, TestCountdownSendsCancelWhenItRunsOut) {
  const auto t = BuildSampleTree(tree);
  FakeActionLevels levels;
  RecordingUpsCommands commands;
  t.ascii->setTestCountdown(3);
  t.ups->setTestCountdown(2);
  tree.root().setTestCountdown(1);
  Tree_RunCountdowns(tree.root(), levels, commands);
  EXPECT_EQ(t.ascii->testCountdown(), 1);
  EXPECT_EQ(t.ups->testCountdown(), 0);
  EXPECT_EQ(tree.root().testCountdown(), 0);
  ASSERT_EQ(commands.calls.size(), 2u);
  EXPECT_EQ(commands.calls[0].what, "all");
  EXPECT_EQ(commands.calls[0].code, 1614);
  EXPECT_EQ(commands.calls[1].what, "group");
  EXPECT_EQ(commands.calls[1].nodeId, t.ups->id());
  commands.calls.clear();
  Tree_RunCountdowns(tree.root(), levels, commands);
  EXPECT_EQ(t.ascii->testCountdown(), 0);
  ASSERT_EQ(commands.calls.size(), 1u);
  EXPECT_EQ(commands.calls[0].what, "device");
  EXPECT_EQ(commands.calls[0].nodeId, t.ascii->id());
  commands.calls.clear();
  Tree_RunCountdowns(tree.root(), levels, commands);  // stays at 0, nothing more
  EXPECT_TRUE(commands.calls.empty());
}

// The walk runs while a poller rewrites the current mask of the same block.
TEST_F(TreeTest, WalkAndPollerShareTheCurrentMask) {
  const auto t = BuildSampleTree(tree);
  FakeActionLevels levels;
  RecordingUpsCommands commands;
  LiveDataBlock& ascii = *t.ascii->block(BlockKind::kAscii);
  ascii.setMask(MaskWord::kExtReported, 1);
  std::atomic<bool> stop{false};
  std::thread poller([&] {
    do {  // at least once, however late the thread starts
      ascii.setMaskBits(MaskWord::kCurrent, 1u << 4);
    } while (!stop);
  });
  for (int i = 0; i < 2000; ++i) {
    auto lock = tree.readLock();
    Tree_RunCountdowns(tree.root(), levels, commands);
  }
  stop = true;
  poller.join();
  EXPECT_EQ(ascii.mask(MaskWord::kCurrent), (1u << 4) | (1u << 25));
}

// ---- clock push, daily resets, masks ----

TEST_F(TreeTest, HourlyClockPush) {
  const auto t = BuildSampleTree(tree);
  RecordingUpsCommands commands;
  const WallTime now{2024, 3, 9, 6, 14, 5, 7, 0};
  t.ascii->setSyncDateTime(1);
  t.threePhase->setSyncDateTime(1);
  t.modbus->setSyncDateTime(1);  // other protocols get nothing
  Tree_PushDateTime(tree.root(), now, commands);
  ASSERT_EQ(commands.calls.size(), 1u);  // the three-phase model byte is not 2 yet
  EXPECT_EQ(commands.calls[0].what, "ascii");
  EXPECT_EQ(commands.calls[0].nodeId, t.ascii->id());
  EXPECT_EQ(commands.calls[0].text, "S020SDT24;03;09;14;05;07");

  t.threePhase->block(BlockKind::kBinary)->putU32(kBinaryModelByteOffset, 2);
  t.ascii->setSyncDateTime(0);
  commands.calls.clear();
  Tree_PushDateTime(tree.root(), now, commands);
  ASSERT_EQ(commands.calls.size(), 1u);
  EXPECT_EQ(commands.calls[0].what, "binary");
  EXPECT_EQ(commands.calls[0].frame, (std::vector<uint8_t>{7, 9, 24, 3, 9, 14, 5, 7}));
}

TEST_F(TreeTest, DailyResets) {
  const auto t = BuildSampleTree(tree);
  DeviceNode& snmpInv = AddSnmp(tree, *t.field, "10.0.0.2", kMibInverter);
  DeviceNode& snmpSensor = AddSnmp(tree, *t.field, "10.0.0.3", kMibSensor);
  auto fill = [](LiveDataBlock* b) {
    for (int s = 0; s < b->slotCount(); ++s) b->setSlot(s, 100);
  };
  for (DeviceNode* n : {&snmpInv, &snmpSensor}) fill(n->block(BlockKind::kSnmp));
  fill(t.inverter->block(BlockKind::kModbus));
  fill(t.sensor->block(BlockKind::kSensor));
  fill(t.snmp->block(BlockKind::kSnmp));
  Tree_ResetDailyValues(tree.root());
  for (LiveDataBlock* b :
       {snmpInv.block(BlockKind::kSnmp), t.inverter->block(BlockKind::kModbus)}) {
    EXPECT_EQ(b->slot(16), 100);
    EXPECT_EQ(b->slot(17), -1);
    EXPECT_EQ(b->slot(18), -1);
    EXPECT_EQ(b->slot(22), -1);
  }
  EXPECT_EQ(snmpSensor.block(BlockKind::kSnmp)->slot(6), 0);
  EXPECT_EQ(t.sensor->block(BlockKind::kSensor)->slot(6), 0);
  EXPECT_EQ(t.sensor->block(BlockKind::kSensor)->slot(5), 100);
  EXPECT_EQ(t.snmp->block(BlockKind::kSnmp)->slot(17), 100);  // a UPS keeps its values
}

TEST_F(TreeTest, SupportedParameterMask) {
  const auto t = BuildSampleTree(tree);
  LiveDataBlock& snmp = *t.snmp->block(BlockKind::kSnmp);
  EXPECT_EQ(Tree_SupportedParamMask(*t.snmp), 0u);
  snmp.setSlot(37, 5);  // maps to nothing
  snmp.setSlot(28, 0);  // parameter 0: zero is a value
  snmp.setSlot(67, 1);  // parameter 38
  snmp.setSlot(75, 1);  // parameter 37
  EXPECT_EQ(Tree_SupportedParamMask(*t.snmp), (1ull << 0) | (1ull << 38) | (1ull << 37));
  t.snmp->setMibType(kMibInverter);
  EXPECT_EQ(Tree_SupportedParamMask(*t.snmp), (1ull << 17) - 1);
  t.snmp->setMibType(kMibSensor);
  EXPECT_EQ(Tree_SupportedParamMask(*t.snmp), (1ull << 7) - 1);

  LiveDataBlock& ascii = *t.ascii->block(BlockKind::kAscii);
  ascii.setSlot(30, 1);  // 53
  ascii.setSlot(42, 1);  // 0
  ascii.setSlot(89, 1);  // 44
  ascii.setSlot(90, 1);  // nothing from 90 up
  ascii.setSlot(31, 1);  // nothing
  EXPECT_EQ(Tree_SupportedParamMask(*t.ascii), (1ull << 53) | 1ull | (1ull << 44));
  t.gprs->block(BlockKind::kGprs)->setSlot(58, 7);
  EXPECT_EQ(Tree_SupportedParamMask(*t.gprs), 1ull << 15);
  t.threePhase->block(BlockKind::kBinary)->setSlot(77, 7);
  EXPECT_EQ(Tree_SupportedParamMask(*t.threePhase), 1ull << 32);

  const std::pair<int16_t, uint64_t> fixed[] = {
      {kCommModbusTrv5200, (1ull << 56) - 1},
      {kCommModbus9315, (1ull << 34) - 1},
      {kCommInverter, (1ull << 17) - 1},
      {kCommSensor, (1ull << 7) - 1},
      {kCommMeter, (1ull << 10) - 1},
      {kCommMeterSum, 0xF},
      {kCommPlc, 0},
  };
  for (const auto& [comm, want] : fixed) {
    t.meter->setCommType(comm);
    EXPECT_EQ(Tree_SupportedParamMask(*t.meter), want) << comm;
  }
  EXPECT_EQ(Tree_SupportedParamMask(*t.ups), 0u);
}

TEST_F(TreeTest, NodeQueries) {
  const auto t = BuildSampleTree(tree);
  EXPECT_EQ(Tree_IsInverterSensorOrMeter(*t.inverter), 1);
  EXPECT_EQ(Tree_IsInverterSensorOrMeter(*t.meter), 1);
  EXPECT_EQ(Tree_IsInverterSensorOrMeter(*t.ascii), 0);
  EXPECT_EQ(Tree_IsInverterSensorOrMeter(*t.snmp), 0);
  t.snmp->setMibType(kMibSensor);
  EXPECT_EQ(Tree_IsInverterSensorOrMeter(*t.snmp), 1);
  EXPECT_EQ(Tree_IsInverterSensorOrMeter(*t.ups), 0);

  // Suppression applies to CommType 3 and MibType 5 nodes only.
  t.snmp->setMibType(kMibMakerUps);
  t.snmp->setEventSuppressionBit(20, true);
  EXPECT_TRUE(Tree_IsEventSuppressed(*t.snmp, 20));
  EXPECT_FALSE(Tree_IsEventSuppressed(*t.snmp, 21));
  t.snmp->setMibType(kMibRfc1628);
  EXPECT_FALSE(Tree_IsEventSuppressed(*t.snmp, 20));
  t.modbus->setCommType(kCommModbusTrv5200);
  t.modbus->setEventSuppressionBit(63, true);
  EXPECT_TRUE(Tree_IsEventSuppressed(*t.modbus, 63));
  t.modbus->setCommType(kCommModbusUps);
  EXPECT_FALSE(Tree_IsEventSuppressed(*t.modbus, 63));
}

// The walk reads the level bytes of the loaded action tables.
TEST_F(TreeTest, LevelsFromTheActionTables) {
  ActionTables tables;
  tables.table(ActionFamily::Gprs)[2 * 3].setLevel(kAlarmWarning);
  tables.table(ActionFamily::Gprs)[2 * 4].setLevel(7);  // a raw byte from a console
  const ActionTablesLevelSource source(tables);
  EXPECT_EQ(source.ActionRowLevel("gprs", 6), kAlarmWarning);
  EXPECT_EQ(source.ActionRowLevel("gprs", 8), kAlarmNone);
  EXPECT_EQ(source.ActionRowLevel("gprs", 0), kAlarmSerious);  // never loaded: zero-filled
  EXPECT_EQ(source.ActionRowLevel("gprs", 52), kAlarmNone);
  EXPECT_EQ(source.ActionRowLevel("gprs", -1), kAlarmNone);
  EXPECT_EQ(source.ActionRowLevel("nosuch", 0), kAlarmNone);

  const auto t = BuildSampleTree(tree);
  RecordingUpsCommands commands;
  t.gprs->block(BlockKind::kGprs)->setMask(MaskWord::kReported, 1u << 3);
  EXPECT_EQ(Tree_RunCountdowns(tree.root(), source, commands), kAlarmWarning);
}

}  // namespace
}  // namespace lark
