// Alarm levels of the console's tree, the support mask and the node queries.
#include "console/map/map_levels.h"

#include <gtest/gtest.h>

#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

std::unique_ptr<DeviceNode> Device(uint8_t kind, int16_t commType, uint8_t mib) {
  auto n = std::make_unique<DeviceNode>();
  n->setNodeKind(kind);
  n->setCommType(commType);
  n->setMibType(mib);
  KeepOnlyCommTypeBlock(*n);
  return n;
}

struct LevelCase {
  const char* name;
  uint8_t kind;
  int16_t commType;
  uint8_t mib;
  uint64_t events;    // the first mask
  uint64_t ext;       // the second mask (CommType 0, 1, 2)
  uint16_t excluded;  // the node's event mask, first word
  std::vector<std::tuple<const char*, int, uint8_t>> rows;  // family, event, level
  uint8_t want;
};

TEST(ConsoleAlarmLevelTest, LevelTable) {
  const LevelCase cases[] = {
      {"no event", kNodeSnmp, 0, kMibMakerUps, 0, 0, 0, {{"snmpv4", 3, 0}}, 2},
      {"snmp event", kNodeSnmp, 0, kMibMakerUps, 1u << 3, 0, 0, {{"snmpv4", 3, 0}}, 0},
      {"snmp 23 hides 16", kNodeSnmp, 0, kMibMakerUps, (1u << 16) | (1u << 23), 0, 0,
       {{"snmpv4", 16, 0}, {"snmpv4", 23, 1}}, 1},
      {"snmp 16 alone", kNodeSnmp, 0, kMibMakerUps, 1u << 16, 0, 0, {{"snmpv4", 16, 0}}, 0},
      {"snmp excluded", kNodeSnmp, 0, kMibMakerUps, 1u << 3, 0, 1u << 3, {{"snmpv4", 3, 0}}, 2},
      {"snmp inverter table", kNodeSnmp, 0, kMibInverter, 1u << 3, 0, 1u << 3,
       {{"inverter", 3, 1}, {"snmpv4", 3, 0}}, 1},
      {"snmp inverter past 16", kNodeSnmp, 0, kMibInverter, 1u << 20, 0, 0, {{"inverter", 20, 0}}, 2},
      {"gprs 16 hides 23", kNodeGprs, 0, 0, (1u << 16) | (1u << 23), 0, 0,
       {{"gprs", 23, 0}, {"gprs", 16, 1}}, 1},
      {"ascii 16 hides 23", kNodeSerial, kCommAscii, 0, (1u << 16) | (1u << 23), 0, 0,
       {{"regular", 23, 0}, {"regular", 16, 1}}, 1},
      {"modbus ups extended", kNodeSerial, kCommModbusUps, 0, 0, 1u << 5, 0, {{"regularplus", 5, 1}}, 1},
      {"three-phase 6 hides 12", kNodeSerial, kCommThreePhase, 0, (1u << 6) | (1u << 12), 0, 0,
       {{"3phase", 12, 0}, {"3phase", 6, 1}}, 1},
      {"three-phase extended", kNodeSerial, kCommThreePhase, 0, 0, uint64_t{1} << 40, 0,
       {{"3phaseplus", 40, 0}}, 0},
      {"mge excluded", kNodeSerial, kCommModbusTrv5200, 0, 1u, 0, 1u, {{"mge", 0, 0}}, 2},
      {"mge", kNodeSerial, kCommModbusTrv5200, 0, 1u, 0, 0, {{"mge", 0, 0}}, 0},
      {"plc event 0 row", kNodeSerial, kCommPlc, 0, 1u, 0, 0, {{"plc", 0, 0}, {"plc", 1, 2}}, 0},
      {"plc event 1 row", kNodeSerial, kCommPlc, 0, 2u, 0, 0, {{"plc", 0, 0}, {"plc", 1, 1}}, 1},
      {"pw", kNodeSerial, kCommModbus9315, 0, uint64_t{1} << 40, 0, 0, {{"pw", 40, 1}}, 1},
      {"inverter", kNodeSerial, kCommInverter, 0, 1u << 16, 0, 0, {{"inverter", 16, 0}}, 0},
      {"sensor bit 6 is no event", kNodeSerial, kCommSensor, 0, 1u << 6, 0, 0, {{"sensor", 6, 0}}, 2},
      {"sensor", kNodeSerial, kCommSensor, 0, 1u << 5, 0, 0, {{"sensor", 5, 0}}, 0},
      {"meter", kNodeSerial, kCommMeter, 0, 1u, 0, 0, {{"meter", 0, 1}}, 1},
      {"meter sum", kNodeSerial, kCommMeterSum, 0, 0, 0, 0, {}, 2},
  };
  for (const LevelCase& c : cases) {
    auto n = Device(c.kind, c.commType, c.mib);
    LiveDataBlock* b = PrimaryBlock(*n);
    if (b && b->hasMask(MaskWord::kReported)) b->setMask(MaskWord::kReported, c.events);
    if (b && b->hasMask(MaskWord::kExtReported)) b->setMask(MaskWord::kExtReported, c.ext);
    n->setPlcUpsId(0, static_cast<int16_t>(c.excluded));
    test::FakeActionLevels levels;
    for (const auto& [family, event, level] : c.rows) levels.setEventLevel(family, event, level);
    EXPECT_EQ(UpdateAlarmLevel(*n, levels), c.want) << c.name;
    EXPECT_EQ(n->alarmLevel(), c.want) << c.name;
  }
}

TEST(ConsoleAlarmLevelTest, GroupsSummaryBitsAndMissingBlocks) {
  DeviceTree tree;
  DeviceNode& outer = test::AddGroup(tree, tree.root());
  DeviceNode& inner = test::AddGroup(tree, outer);
  test::AddGroup(tree, outer, "Empty");
  DeviceNode& ups = test::AddSerial(tree, inner, kCommAscii);
  test::FakeActionLevels levels;
  levels.setEventLevel("regularplus", 3, 1);
  ups.block(BlockKind::kAscii)->setMask(MaskWord::kExtReported, 1u << 3);
  EXPECT_EQ(UpdateAlarmLevel(tree.root(), levels), kAlarmWarning);
  EXPECT_EQ(outer.alarmLevel(), kAlarmWarning);
  EXPECT_EQ(outer.child(1)->alarmLevel(), kAlarmNone);
  EXPECT_TRUE(ups.block(BlockKind::kAscii)->mask(MaskWord::kCurrent) & (1u << 25));
  ups.block(BlockKind::kAscii)->setMask(MaskWord::kExtReported, 0);
  UpdateAlarmLevel(tree.root(), levels);
  EXPECT_FALSE(ups.block(BlockKind::kAscii)->mask(MaskWord::kCurrent) & (1u << 25));

  // A CommType changed without its block: read as no alarm, never through null.
  KeepOnlyCommTypeBlock(ups);
  ups.block(BlockKind::kAscii)->setMask(MaskWord::kExtReported, 1u << 3);
  ups.setCommType(kCommThreePhase);
  ASSERT_EQ(ups.block(BlockKind::kBinary), nullptr);
  EXPECT_EQ(UpdateAlarmLevel(ups, levels), kAlarmNone);
}

TEST(NodeSupportMaskTest, MaskTable) {
  struct Case {
    const char* name;
    uint8_t kind;
    int16_t commType;
    uint8_t mib;
    int slot;  // a value set in this slot, -1 none
    int16_t sensorType;
    uint64_t want;
  } cases[] = {
      {"snmp inverter", kNodeSnmp, 0, kMibInverter, -1, 0, 0x1FFFF},
      {"snmp sensor", kNodeSnmp, 0, kMibSensor, -1, 0, 0x3},
      {"snmp ups nothing", kNodeSnmp, 0, kMibMakerUps, -1, 0, 0},
      {"snmp slot 28", kNodeSnmp, 0, kMibMakerUps, 28, 0, 1},
      {"snmp slot 67", kNodeSnmp, 0, kMibMakerUps, 67, 0, uint64_t{1} << 38},
      {"snmp slot 37 unlisted", kNodeSnmp, 0, kMibMakerUps, 37, 0, 0},
      {"gprs slot 42", kNodeGprs, 0, 0, 42, 0, 1},
      {"ascii slot 30", kNodeSerial, kCommAscii, 0, 30, 0, uint64_t{1} << 53},
      {"modbus ups slot 89", kNodeSerial, kCommModbusUps, 0, 89, 0, uint64_t{1} << 44},
      {"three-phase slot 35", kNodeSerial, kCommThreePhase, 0, 35, 0, uint64_t{1} << 47},
      {"mge", kNodeSerial, kCommModbusTrv5200, 0, -1, 0, (uint64_t{1} << 56) - 1},
      {"pw", kNodeSerial, kCommModbus9315, 0, -1, 0, (uint64_t{1} << 34) - 1},
      {"inverter", kNodeSerial, kCommInverter, 0, -1, 0, 0x1FFFF},
      {"sensor type 0", kNodeSerial, kCommSensor, 0, -1, 0, 0x7F},
      {"sensor type 1", kNodeSerial, kCommSensor, 0, -1, 1, 0},
      {"meter", kNodeSerial, kCommMeter, 0, -1, 0, 0x3FF},
      {"meter sum", kNodeSerial, kCommMeterSum, 0, -1, 0, 0xF},
      {"plc", kNodeSerial, kCommPlc, 0, -1, 0, 0},
      {"group", kNodeGroup, 0, 0, -1, 0, 0},
  };
  for (const Case& c : cases) {
    auto n = Device(c.kind, c.commType, c.mib);
    n->setSensorType(c.sensorType);
    if (c.slot >= 0) {
      ASSERT_TRUE(PrimaryBlock(*n)->setSlot(c.slot, 5)) << c.name;
    }
    EXPECT_EQ(NodeSupportMask(*n), c.want) << c.name;
  }
}

TEST(NodeQueriesTest, InverterOrSensorAndAddressSearch) {
  EXPECT_EQ(IsInverterOrSensor(*Device(kNodeSerial, kCommInverter, 0)), 1);
  EXPECT_EQ(IsInverterOrSensor(*Device(kNodeSerial, kCommSensor, 0)), 1);
  EXPECT_EQ(IsInverterOrSensor(*Device(kNodeSerial, kCommMeter, 0)), 0);
  EXPECT_EQ(IsInverterOrSensor(*Device(kNodeSnmp, 0, kMibSensor)), 1);
  EXPECT_EQ(IsInverterOrSensor(*Device(kNodeSnmp, 0, kMibMakerUps)), 0);

  DeviceTree tree;
  test::SampleTree s = test::BuildSampleTree(tree);
  s.field->setIp("10.0.0.1");  // groups never count
  EXPECT_EQ(FindDeviceByIp(0, "10.0.0.1", tree.root()), s.snmp);
  EXPECT_EQ(FindDeviceByIp(s.snmp->id(), "10.0.0.1", tree.root()), nullptr);
  s.gprs->setIp("Host.Example");
  EXPECT_EQ(FindDeviceByIp(0, "host.EXAMPLE", tree.root()), s.gprs);
}

}  // namespace
}  // namespace lark
