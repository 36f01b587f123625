#include "core/device_node.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace lark {
namespace {

// Known values into every field the wire image carries, then the bytes at
// their offsets; the native links are populated too so that the pointer
// slots are shown to stay 0.
TEST(DeviceNode, WireImageGolden) {
  DeviceNode n;
  n.setSnmpPollPosition(0x0102);
  n.setSnmpPollGroup(0x0304);
  n.setId(0x1234);
  n.setTitle("Hall A");
  n.setLocation("Basement");
  n.setResolvedAddress(0x0A000001);
  n.setIp("10.0.0.1");
  n.setCommunity("public");
  n.setPort(161);
  n.setCom("COM7");
  n.setUpsId(-2);
  n.setBaud(9600);
  n.setCommType(kCommThreePhase);
  n.setLinkStatus(kLinkStopped);
  n.setNodeKind(kNodeSerial);
  n.setMibType(kMibRfc1628);
  n.setUpsTypeCode(0x33);
  n.setStatus2(0x44);
  n.setIconRect({1, 2, 3, 4});
  n.setGroupRect({0, 0, 602, 422});
  n.setAlarmLevel(kAlarmWarning);
  n.setLinkLostLatch(-7);
  n.setTestCountdown(300);
  n.setSyncDateTime(1);
  n.setSaveInDatabase(true);
  n.setWeekEntry(0, {3, 22, 15, 1});
  n.setDateEntry(0, {2024, 12, 24, 18, 30, 2});
  n.setPendingAction(0, {2025, 1, 2, 3, 4});
  n.setPlcPointNum(5);
  n.setSentMask(0x80000001u);
  n.setPicture("hall.bmp");
  n.setPlcSource(0, "src");
  n.ensureBlock(BlockKind::kAscii);
  auto child = std::make_unique<DeviceNode>();
  ASSERT_NE(n.addChild(child), nullptr);

  const DeviceNode::Image img = n.wireImage();
  static_assert(sizeof(img) == 7616);
  CBytes b(img);
  EXPECT_EQ(u16At(b, 0), 0x0102);
  EXPECT_EQ(u16At(b, 2), 0x0304);
  EXPECT_EQ(u16At(b, 4), 0x1234);
  EXPECT_EQ(strAt(b, 6, 35), "Hall A");
  EXPECT_EQ(strAt(b, 41, 67), "Basement");
  EXPECT_EQ(u32At(b, 108), 0x0A000001u);
  EXPECT_EQ(strAt(b, 112, 31), "10.0.0.1");
  EXPECT_EQ(strAt(b, 143, 31), "public");
  EXPECT_EQ(u16At(b, 174), 161);
  EXPECT_EQ(strAt(b, 176, 16), "COM7");
  EXPECT_EQ(i16At(b, 192), -2);
  EXPECT_EQ(u16At(b, 194), 9600);
  EXPECT_EQ(i16At(b, 196), 1);
  EXPECT_EQ(u16At(b, 198), 10);
  EXPECT_EQ(b[200], 0);
  EXPECT_EQ(b[201], 8);
  EXPECT_EQ(b[202], 0x33);
  EXPECT_EQ(b[203], 0x44);
  EXPECT_EQ(i32At(b, 208), 1);
  EXPECT_EQ(i32At(b, 220), 4);
  EXPECT_EQ(i32At(b, 232), 602);
  EXPECT_EQ(i32At(b, 236), 422);
  EXPECT_EQ(i16At(b, 244), 1);
  EXPECT_EQ(b[1452], 1);
  EXPECT_EQ(i32At(b, 6688), -7);
  EXPECT_EQ(i32At(b, 6692), 300);
  EXPECT_EQ(i32At(b, 6696), 1);
  EXPECT_EQ(u16At(b, 6700), 1);
  const uint8_t week[6] = {3, 0, 22, 15, 1, 0};
  EXPECT_TRUE(std::equal(week, week + 6, b.begin() + 6702));
  const uint8_t date[8] = {0xE8, 0x07, 12, 24, 18, 30, 2, 0};
  EXPECT_TRUE(std::equal(date, date + 8, b.begin() + 6882));
  const uint8_t pending[8] = {0xE9, 0x07, 1, 2, 3, 4, 0, 0};
  EXPECT_TRUE(std::equal(pending, pending + 8, b.begin() + 7122));
  EXPECT_EQ(i16At(b, 7156), 5);
  EXPECT_EQ(u32At(b, 7612), 0x80000001u);

  // Pointer slots: picture, parent + 300 children, 8 blocks, 32 PLC sources.
  auto zero = [&](size_t off, size_t len) {
    for (size_t i = off; i < off + len; ++i) {
      if (b[i] != 0) return false;
    }
    return true;
  };
  EXPECT_TRUE(zero(240, 4));
  EXPECT_TRUE(zero(248, 4 + 1200));
  EXPECT_TRUE(zero(6656, 32));
  EXPECT_TRUE(zero(7484, 128));
}

TEST(DeviceNode, LocationStopsBeforeResolvedAddress) {
  DeviceNode n;
  n.setResolvedAddress(0xC0A80001);
  n.setLocation(std::string(100, 'x'));
  EXPECT_EQ(n.location(), std::string(66, 'x'));
  EXPECT_EQ(n.resolvedAddress(), 0xC0A80001u);
}

TEST(DeviceNode, LoadWireImageDropsPointersAndTerminatesTexts) {
  DeviceNode::Image in;
  in.fill(0x41);  // every byte 'A': no terminators, pointer slots non-zero
  DeviceNode n;
  auto child = std::make_unique<DeviceNode>();
  n.addChild(child);
  n.loadWireImage(in);
  EXPECT_EQ(n.title(), std::string(34, 'A'));
  EXPECT_EQ(n.location(), std::string(66, 'A'));
  EXPECT_EQ(n.com(), std::string(15, 'A'));
  EXPECT_EQ(n.i16(node_off::kChildCount), 1);  // the native children hold
  const auto out = n.wireImage();
  EXPECT_EQ(u32At(out, 248), 0u);
  EXPECT_EQ(u32At(out, 6656), 0u);
  EXPECT_EQ(u32At(out, 7484 + 124), 0u);

  // A round trip keeps everything else.
  DeviceNode copy;
  copy.loadWireImage(out);
  copy.putI16(node_off::kChildCount, 1);
  EXPECT_EQ(copy.wireImage(), out);

  // A short input changes nothing.
  DeviceNode shortOne;
  shortOne.loadWireImage(CBytes(in.data(), 100));
  EXPECT_EQ(shortOne.title(), "");
}

TEST(DeviceNode, BoundsOfGenericAccessors) {
  DeviceNode n;
  EXPECT_EQ(n.i32(7613), -1);
  EXPECT_EQ(n.u32(7613), 0u);
  EXPECT_EQ(n.i16(7615), -1);
  EXPECT_EQ(n.u8(7616), 0);
  n.putU32(7614, 0xFFFFFFFF);  // ignored
  n.putU32(248, 0x12345678);   // a pointer slot: ignored
  const uint8_t four[4] = {1, 2, 3, 4};
  EXPECT_FALSE(n.writeBytes(6655, four));  // reaches into the block slots
  EXPECT_FALSE(n.writeBytes(7614, four));
  EXPECT_TRUE(n.writeBytes(6688, four));
  const auto img = n.wireImage();
  EXPECT_EQ(u32At(img, 248), 0u);
  EXPECT_EQ(u16At(img, 7614), 0u);
  EXPECT_EQ(u32At(img, 6688), 0x04030201u);
}

TEST(DeviceNode, AlarmStateArraysAtTheirOffsets) {
  struct Case {
    AlarmArray array;
    size_t base;
    size_t width;
    int64_t value;
  };
  const Case cases[] = {
      {AlarmArray::kDelayLeft, 1456, 4, -5000},     {AlarmArray::kDelayTick, 2256, 4, 0xFFFFFFF0LL},
      {AlarmArray::kDelayLeftExt, 3056, 4, 12},     {AlarmArray::kDelayTickExt, 3856, 4, 34},
      {AlarmArray::kDelayRunning, 4656, 1, 1},      {AlarmArray::kConfirmed, 4856, 1, 1},
      {AlarmArray::kDelayRunningExt, 5056, 1, 1},   {AlarmArray::kConfirmedExt, 5256, 1, 1},
      {AlarmArray::kReactionActive, 5456, 1, 1},    {AlarmArray::kSoundPlayed, 5656, 1, 1},
      {AlarmArray::kReactionActiveExt, 5856, 1, 1}, {AlarmArray::kSoundPlayedExt, 6056, 1, 1},
      {AlarmArray::kAudioRepeat, 6256, 2, -1},
  };
  for (const Case& c : cases) {
    DeviceNode n;
    n.setAlarmState(c.array, 199, c.value);
    EXPECT_EQ(n.alarmState(c.array, 199), c.value) << c.base;
    const auto img = n.wireImage();
    EXPECT_NE(img[c.base + c.width * 199], 0) << c.base;
    EXPECT_EQ(img[c.base + c.width * 199 - 1], 0) << c.base;
    n.setAlarmState(c.array, 200, 1);  // outside: nothing
    EXPECT_EQ(n.alarmState(c.array, 200), 0);
  }
  DeviceNode n;
  n.setAlarmState(AlarmArray::kReactionActive, 3, 1);
  n.setAlarmState(AlarmArray::kReactionActiveExt, 4, 1);
  n.setAlarmState(AlarmArray::kSoundPlayed, 3, 1);
  n.clearReactionActive();
  EXPECT_EQ(n.alarmState(AlarmArray::kReactionActive, 3), 0);
  EXPECT_EQ(n.alarmState(AlarmArray::kReactionActiveExt, 4), 0);
  EXPECT_EQ(n.alarmState(AlarmArray::kSoundPlayed, 3), 1);
}

// The alarm scan's copy reads and writes the same elements as the node's
// accessors; a node is idle only with nothing counting, active, played or
// repeating in the table asked about.
TEST(DeviceNode, AlarmStatesCopyAndIdle) {
  DeviceNode n;
  n.resetAudioRepeat();
  n.setAlarmState(AlarmArray::kDelayLeft, 7, -5000);
  n.setAlarmState(AlarmArray::kDelayTickExt, 199, 0xFFFFFFF0LL);
  AlarmStates st;
  n.readAlarmStates(st);
  EXPECT_EQ(st.get(AlarmArray::kDelayLeft, 7), -5000);
  EXPECT_EQ(st.get(AlarmArray::kDelayTickExt, 199), 0xFFFFFFF0LL);
  EXPECT_EQ(st.get(AlarmArray::kAudioRepeat, 0), -1);
  EXPECT_FALSE(st.changed());
  st.set(AlarmArray::kConfirmed, 3, 1);
  st.set(AlarmArray::kAudioRepeat, 200, 9);  // outside: nothing
  EXPECT_TRUE(st.changed());
  n.writeAlarmStates(st);
  EXPECT_EQ(n.alarmState(AlarmArray::kConfirmed, 3), 1);
  EXPECT_EQ(n.alarmState(AlarmArray::kDelayLeft, 7), -5000);

  struct Case {
    const char* name;
    std::vector<std::pair<AlarmArray, int64_t>> set;  // element 5 of each
    bool idleMain, idleExt;
  };
  const std::vector<Case> cases = {
      {"fresh", {}, true, true},
      {"delay used up", {{AlarmArray::kDelayRunning, 1}, {AlarmArray::kDelayLeft, -1}}, true, true},
      {"delay counting", {{AlarmArray::kDelayRunning, 1}, {AlarmArray::kDelayLeft, 0}}, false, true},
      {"extended delay counting",
       {{AlarmArray::kDelayRunningExt, 1}, {AlarmArray::kDelayLeftExt, 300}}, true, false},
      {"reaction active", {{AlarmArray::kReactionActive, 1}}, false, true},
      {"extended sound played", {{AlarmArray::kSoundPlayedExt, 1}}, true, false},
      {"sound repeating", {{AlarmArray::kAudioRepeat, 4}}, false, false},
      {"confirmed only", {{AlarmArray::kConfirmed, 1}}, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceNode node;
    node.resetAudioRepeat();
    for (const auto& [array, value] : c.set) node.setAlarmState(array, 5, value);
    EXPECT_EQ(node.alarmsIdle(false), c.idleMain);
    EXPECT_EQ(node.alarmsIdle(true), c.idleExt);
  }
}

TEST(DeviceNode, UnionRegionFields) {
  DeviceNode n;
  // Event suppression: event 17 is bit 1 of the second PLC.UPSID word.
  n.setEventSuppressionBit(17, true);
  EXPECT_EQ(n.u16(7164), 0x0002);
  EXPECT_EQ(n.plcUpsId(1), 2);
  EXPECT_TRUE(n.eventSuppressionBit(17));
  EXPECT_FALSE(n.eventSuppressionBit(16));
  n.setEventSuppressionBit(17, false);
  EXPECT_EQ(n.u16(7164), 0);
  // The PLC tables.
  n.setPlcYupsAlarm(31, -3);
  EXPECT_EQ(n.i16(7418 + 62), -3);
  n.setPlcXtpcTrip(32, 9);  // outside: nothing
  EXPECT_EQ(n.i16(7290), 0);
  // Rating power and the tray's view of the GroupTotals share the area.
  n.setRatingPower(5000);
  EXPECT_EQ(n.groupTotal(GroupTotal::kS0), 5000);
  const std::pair<GroupTotal, size_t> tray[] = {{GroupTotal::kS0, 7184}, {GroupTotal::kS1, 7164},
                                                {GroupTotal::kS2, 7160}, {GroupTotal::kS3, 7188},
                                                {GroupTotal::kS6, 7192}, {GroupTotal::kA0, 7168},
                                                {GroupTotal::kA1, 7172}};
  for (const auto& [which, off] : tray) EXPECT_EQ(GroupTotalOffset(which), off);
}

TEST(DeviceNode, ChildrenKeepTheCountAndRefuseThe301st) {
  DeviceNode g;
  for (int i = 0; i < kMaxChildren; ++i) {
    auto c = std::make_unique<DeviceNode>();
    c->setId(static_cast<int16_t>(i + 1));
    ASSERT_NE(g.addChild(c), nullptr);
  }
  auto extra = std::make_unique<DeviceNode>();
  EXPECT_EQ(g.addChild(extra), nullptr);
  EXPECT_NE(extra, nullptr);  // still the caller's
  EXPECT_EQ(g.i16(node_off::kChildCount), 300);
  auto out = g.detachChild(0);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->parent(), nullptr);
  EXPECT_EQ(g.child(0)->id(), 2);
  EXPECT_EQ(g.i16(node_off::kChildCount), 299);
  EXPECT_EQ(g.detachChild(299), nullptr);
}

TEST(DeviceNode, BlocksByKindAndCommType) {
  struct Case {
    uint8_t kind;
    int16_t commType;
    bool has;
    BlockKind primary;
  };
  const Case cases[] = {
      {kNodeSerial, kCommAscii, true, BlockKind::kAscii},
      {kNodeSerial, kCommThreePhase, true, BlockKind::kBinary},
      {kNodeSerial, kCommModbusUps, true, BlockKind::kModbus},
      {kNodeSerial, kCommModbusTrv5200, true, BlockKind::kModbus},
      {kNodeSerial, kCommPlc, true, BlockKind::kAscii},
      {kNodeSerial, kCommModbus9315, true, BlockKind::kModbus},
      {kNodeSerial, kCommInverter, true, BlockKind::kModbus},
      {kNodeSerial, kCommSensor, true, BlockKind::kSensor},
      {kNodeSerial, kCommMeter, true, BlockKind::kMeter},
      {kNodeSerial, kCommMeterSum, true, BlockKind::kMeterSum},
      {kNodeSerial, 10, false, BlockKind::kAscii},
      {kNodeSnmp, 0, true, BlockKind::kSnmp},
      {kNodeGprs, 0, true, BlockKind::kGprs},
      {kNodeGroup, 0, false, BlockKind::kAscii},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.kind) << "/" << c.commType);
    DeviceNode n;
    n.setNodeKind(c.kind);
    n.setCommType(c.commType);
    AllocateNodeBlocks(n);
    bool has = false;
    const BlockKind k = PrimaryBlockKind(n, &has);
    EXPECT_EQ(has, c.has);
    if (has) {
      EXPECT_EQ(k, c.primary);
      ASSERT_NE(PrimaryBlock(n), nullptr);
    }
    KeepOnlyCommTypeBlock(n);
    for (size_t i = 0; i < kBlockKindCount; ++i) {
      const auto bk = static_cast<BlockKind>(i);
      EXPECT_EQ(n.block(bk) != nullptr, c.has && bk == c.primary) << BlockKindName(bk);
    }
  }
  DeviceNode serial;
  serial.setNodeKind(kNodeSerial);
  AllocateNodeBlocks(serial);
  for (BlockKind k : {BlockKind::kAscii, BlockKind::kBinary, BlockKind::kModbus, BlockKind::kSensor,
                      BlockKind::kMeter, BlockKind::kMeterSum}) {
    EXPECT_NE(serial.block(k), nullptr);
  }
  EXPECT_EQ(serial.block(BlockKind::kSnmp), nullptr);
  EXPECT_EQ(serial.block(BlockKind::kGprs), nullptr);
}

}  // namespace
}  // namespace lark
