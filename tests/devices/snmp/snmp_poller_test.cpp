// The GetRequests of each MibType, the cursor they move, and the SetRequests.
#include "devices/snmp/snmp_poller.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/live_data.h"
#include "devices/snmp/snmp_live_data.h"
#include "tests/devices/snmp/snmp_fixture.h"

namespace lark {
namespace {

using test::MakeSnmpNode;
using test::Names;
using Strings = std::vector<std::string>;

// Builds the node's request and reads it back as our decoder sees it.
Strings Poll(SnmpDeviceEntry& entry, DeviceNode& node, uint32_t tick = 0) {
  SnmpCodec codec, dec;
  SnmpRequest req;
  EXPECT_EQ(SnmpPollDevice(codec, entry, node, tick, nullptr, &req), SnmpBuild::kReady);
  EXPECT_EQ(SnmpDecodeMessage(dec, req.bytes), 0);
  EXPECT_EQ(dec.message.version, 0);
  EXPECT_EQ(dec.message.pdu, kPduGetRequest);
  for (const SnmpVarBind& b : dec.bindings()) EXPECT_EQ(b.type, kBerNull);
  return Names(dec);
}

TEST(SnmpPoll, MakerUpsWalksTheMasksWithinTheBudget) {
  DeviceNode node;
  MakeSnmpNode(node, kMibMakerUps);
  SnmpDeviceEntry entry;
  EXPECT_EQ(Poll(entry, node), (Strings{"1.2", "3.1", "4.1", "5.3", "6.2", "7.6", "8.2", "9.1", "10.1",
                                        "10.2", "10.3", "10.4", "1.2", "3.1", "4.1"}));
  Strings next = Poll(entry, node);
  EXPECT_EQ(next.front(), "5.3");
  EXPECT_EQ(next.size(), 15u);

  // Budget out of range is held to 1..40; a cursor past the groups restarts.
  struct Case {
    int16_t budget;
    uint16_t group, position;
    size_t count;
    std::string first;
  };
  for (const Case& c : std::vector<Case>{{0, 0, 0, 1, "1.2"},
                                         {-3, 0, 0, 1, "1.2"},
                                         {99, 0, 0, 40, "1.2"},
                                         {15, 12, 3, 15, "1.2"},
                                         {15, 9, 7, 15, "10.1"}}) {
    DeviceNode n;
    MakeSnmpNode(n, kMibRfc1628);
    n.block(BlockKind::kSnmp)->putI16(snmp_off::kRequestBudget, c.budget);
    n.setSnmpPollGroup(c.group);
    n.setSnmpPollPosition(c.position);
    SnmpDeviceEntry e;
    Strings got = Poll(e, n);
    EXPECT_EQ(got.size(), c.count) << c.budget;
    EXPECT_EQ(got.front(), c.first) << c.group;
  }
}

TEST(SnmpPoll, EmptyMasksComeBackAsDefaults) {
  DeviceNode node;
  MakeSnmpNode(node, kMibMakerUps);
  SnmpDeviceEntry entry;
  entry.pollMasks.fill(0);
  // Groups 1..10 and 1 again are empty; the defaults come back at group 2,
  // whose default is empty too.
  EXPECT_EQ(Poll(entry, node).front(), "3.1");
  EXPECT_EQ(entry.pollMasks, kSnmpDefaultPollMasks);

  // An agent with two objects far apart: the walk passes many empty groups
  // between them but keeps asking those two.
  entry.pollMasks.fill(0);
  entry.pollMasks[3] = 0x1;
  entry.pollMasks[5] = 0x4;
  for (const std::string& name : Poll(entry, node)) EXPECT_TRUE(name == "3.1" || name == "5.3") << name;
  EXPECT_EQ(entry.pollMasks[1], 0u);
}

TEST(SnmpPoll, DeviceMibSensorAndDiscovery) {
  DeviceNode inv;
  MakeSnmpNode(inv, kMibInverter, 3);
  SnmpDeviceEntry e1;
  Strings got = Poll(e1, inv);
  EXPECT_EQ(got, (Strings{"3.1.1", "3.1.2", "3.2.1", "3.2.2", "3.2.3", "3.2.4", "3.3.1", "3.3.2",
                          "3.3.3", "3.3.4", "3.3.5", "3.3.6", "3.3.7", "3.3.8", "3.3.9"}));
  EXPECT_EQ(Poll(e1, inv).front(), "3.3.10");
  // A maker-UPS cursor at group 7 is past the inverter's six groups.
  inv.setSnmpPollGroup(7);
  EXPECT_EQ(Poll(e1, inv).front(), "3.1.1");

  DeviceNode sensor;
  MakeSnmpNode(sensor, kMibSensor, 32);
  SnmpDeviceEntry e2;
  EXPECT_EQ(Poll(e2, sensor), (Strings{"100.2.3", "100.2.4"}));

  DeviceNode unknown;
  MakeSnmpNode(unknown, kMibUnknown);
  SnmpDeviceEntry e3;
  EXPECT_EQ(Poll(e3, unknown), (Strings{"1.3.6.1.2.1.1.2.0", "1.3.6.1.2.1.1.4.0", "1.3.6.1.2.1.1.5.0",
                                        "1.3.6.1.2.1.1.6.0", "1.100"}));
  e3.discoveryMissing = 1u << 4;
  EXPECT_EQ(Poll(e3, unknown).size(), 4u);
}

TEST(SnmpPoll, HeaderDestinationAndMonitor) {
  DeviceNode node;
  MakeSnmpNode(node, kMibSensor, 32);
  SnmpDeviceEntry entry;
  SnmpCodec codec, dec;
  SnmpRequest req;
  std::vector<std::string> tx;
  auto monitor = [&](std::string_view t, int dir) {
    EXPECT_EQ(dir, 0);
    tx.emplace_back(t);
  };
  ASSERT_EQ(SnmpPollDevice(codec, entry, node, 300500, monitor, &req), SnmpBuild::kReady);
  EXPECT_EQ(req.address, 0x0900007Fu);
  EXPECT_EQ(req.port, 16161);
  ASSERT_EQ(SnmpDecodeMessage(dec, req.bytes), 0);
  EXPECT_EQ(dec.message.requestId, 300 & 127);
  EXPECT_EQ(std::string(dec.message.community.begin(), dec.message.community.end()), "public");
  EXPECT_EQ(tx.front(), "1.3.6.1.4.1.7321.2.20.100.2.3.0=");

  node.setResolvedAddress(0);
  EXPECT_EQ(SnmpPollDevice(codec, entry, node, 0, nullptr, &req), SnmpBuild::kNoAddress);
}

TEST(SnmpSet, ObjectsValuesAndRefusals) {
  DeviceNode ups;
  MakeSnmpNode(ups, kMibMakerUps);
  DeviceNode inv;
  MakeSnmpNode(inv, kMibInverter);
  struct Case {
    DeviceNode* node;
    int group, item;
    std::string value, name;
    SnmpBuild want;
    std::string monitor;  // Tx text when built
    uint8_t type;
  };
  const std::vector<Case> cases = {
      {&ups, 8, 0, "2", "nupsTestType(r/w)", SnmpBuild::kReady, "1.3.6.1.4.1.7321.2.4.8.1.0=2", kBerInteger},
      {&ups, 2, 3, "-30", "nupsRestart", SnmpBuild::kReady, "1.3.6.1.4.1.7321.2.4.2.4.0=-30", kBerInteger},
      {&inv, 0, 4, "room\r\n2", "\"sysName", SnmpBuild::kReady, "1.3.6.1.2.1.1.5.0=room\\x0D\\x0A2",
       kBerOctetString},
      {&inv, 3, 0, "1", "nupsBuzzer", SnmpBuild::kRefused, "", 0},
      {&ups, 11, 0, "1", "x", SnmpBuild::kRefused, "", 0},
      {&ups, 8, 3, "1", "x", SnmpBuild::kRefused, "", 0},
      {&ups, 8, 0, "2x", "x", SnmpBuild::kRefused, "", 0},
      {&ups, 8, 0, "99999999999", "x", SnmpBuild::kRefused, "", 0},
  };
  for (const Case& c : cases) {
    SnmpCodec codec, dec;
    SnmpRequest req;
    std::string tx;
    SnmpBuild got = SnmpBuildSet(codec, *c.node, c.group, c.item, c.value, c.name, 5000,
                                 [&](std::string_view t, int) { tx = t; }, &req);
    EXPECT_EQ(got, c.want) << c.group << "." << c.item << " " << c.value;
    if (got != SnmpBuild::kReady) continue;
    EXPECT_EQ(tx, c.monitor);
    ASSERT_EQ(SnmpDecodeMessage(dec, req.bytes), 0);
    EXPECT_EQ(dec.message.pdu, kPduSetRequest);
    EXPECT_EQ(dec.message.version, 0);
    ASSERT_EQ(dec.bindingCount(), 1);
    EXPECT_EQ(dec.bindings()[0].type, c.type);
  }
}

}  // namespace
}  // namespace lark
