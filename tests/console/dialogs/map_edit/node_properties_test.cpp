// The property dialogs' decisions without Qt: the image a change goes out in
// keeps what the dialog does not show, the refusals and their inputs, the
// local type list, the confirmed change applied to the console's node, the
// PLC rows and UPS choices, and the short replies.
#include "console/dialogs/map_edit/node_properties.h"

#include <gtest/gtest.h>

#include <functional>

#include "console/link/device_endpoints.h"
#include "console/map/map_registry.h"
#include "console/shell/console_settings.h"
#include "core/live_data.h"
#include "linkserver/link_replies.h"

namespace lark {
namespace {

DeviceNode* Add(DeviceTree& tree, uint8_t kind, const char* title) {
  DeviceNode* n = Tree_CreateNode(tree, kind, "0.0.0.0");
  n->setTitle(title);
  return n;
}

TEST(NodeProperties, TheImageKeepsUnitTypeAndFlagsTheDialogDoesNotShow) {
  DeviceTree tree;
  DeviceNode* inverter = Add(tree, kNodeSnmp, "Network inverter");
  inverter->setUpsId(3);
  inverter->setMibType(kMibInverter);
  inverter->setIp("127.0.0.3");
  inverter->setCommunity("public");
  inverter->setPort(161);
  DeviceNode* station = Add(tree, kNodeGprs, "Station 1");
  station->setLinkStatus(kLinkIdentified);
  station->setSaveInDatabase(true);
  DeviceNode* group = Add(tree, kNodeGroup, "Server room");
  group->setLocation("Building A");

  struct Case {
    DeviceNode* node;
    std::function<std::optional<int>(DeviceNode&)> edit;
    std::vector<std::pair<size_t, std::vector<uint8_t>>> bytes;  // offset, bytes in the image
  };
  SnmpValues snmp{"Network inverter", "Hall", "127.0.0.3", "161", "public", false, false, false, true};
  SnmpValues retyped = snmp;
  retyped.rfc1628 = true;
  retyped.mibChanged = true;
  DeviceNode* added = Add(tree, kNodeSnmp, "New");
  SnmpValues fresh{"New", "", "10.0.0.9", "161", "public"};
  fresh.newNode = true;
  const std::vector<Case> cases = {
      // Unit 3 and type 6 stay; the location is the edit.
      {inverter, [&](DeviceNode& c) { return CheckSnmpValues(snmp, *inverter, &tree.root(), c); },
       {{192, {3, 0}}, {201, {6}}, {41, {'H', 'a', 'l', 'l', 0}}, {6700, {1, 0}}}},
      // A MIB chosen anew is sent.
      {inverter, [&](DeviceNode& c) { return CheckSnmpValues(retyped, *inverter, &tree.root(), c); },
       {{192, {3, 0}}, {201, {8}}}},
      // A node just added takes the MIB shown.
      {added, [&](DeviceNode& c) { return CheckSnmpValues(fresh, *added, &tree.root(), c); }, {{201, {5}}}},
      // The station's link status and SaveInDatabase go back as they are.
      {station, [&](DeviceNode& c) { return CheckGroupValues("Station-1", "Roof", kGprsLocationChars, *station, c); },
       {{198, {1, 0}}, {6700, {1, 0}}, {200, {3}}, {6, {'S', 't', 'a', 't', 'i', 'o', 'n', '-', '1', 0}}}},
      {group, [&](DeviceNode& c) { return CheckGroupValues("Server room", "Building B", kPropertyLocationChars, *group, c); },
       {{200, {1}}, {41, {'B', 'u', 'i', 'l', 'd', 'i', 'n', 'g', ' ', 'B', 0}}}},
  };
  for (const Case& k : cases) {
    DeviceNode copy;
    LoadEditCopy(*k.node, copy);
    ASSERT_EQ(k.edit(copy), std::nullopt) << k.node->title();
    const std::vector<uint8_t> image = EditImage(copy);
    ASSERT_EQ(image.size(), kDeviceNodeSize);
    EXPECT_EQ(i16At(image, 4), k.node->id());
    for (const auto& [off, want] : k.bytes)
      EXPECT_EQ(std::vector<uint8_t>(image.begin() + off, image.begin() + off + want.size()), want)
          << k.node->title() << " at " << off;
  }
}

TEST(NodeProperties, RefusalsAndTheirInputs) {
  DeviceTree tree;
  DeviceNode* ups = Add(tree, kNodeSnmp, "Network UPS");
  ups->setIp("10.0.0.1");
  DeviceNode* other = Add(tree, kNodeSnmp, "Other");
  other->setIp("10.0.0.2");
  DeviceNode* serial = Add(tree, kNodeSerial, "UPS 1");
  DeviceNode* neighbour = Add(tree, kNodeSerial, "UPS 2");
  neighbour->setCom("COM3");
  neighbour->setUpsId(5);
  PortDeviceRegistry registry;
  registry.Register(*neighbour);

  const SnmpValues good{"Network UPS", "", "10.0.0.1", "161", "public"};
  const auto snmp = [&](auto change) {
    SnmpValues v = good;
    change(v);
    DeviceNode copy;
    return CheckSnmpValues(v, *ups, &tree.root(), copy);
  };
  EXPECT_EQ(snmp([](SnmpValues&) {}), std::nullopt);
  EXPECT_EQ(snmp([](SnmpValues& v) { v.community = ""; }), kNoCommunity);
  for (const char* port : {"0", "", "65536", "99999", "16x", "-1"})
    EXPECT_EQ(snmp([&](SnmpValues& v) { v.port = port; }), kBadPort) << port;
  EXPECT_EQ(snmp([](SnmpValues& v) { v.port = "65535"; }), std::nullopt);
  EXPECT_EQ(snmp([](SnmpValues& v) { v.ip = "10.0.0.2"; }), kIpTaken);
  EXPECT_EQ(snmp([](SnmpValues& v) { v.ip = "10.0.0.1\n"; }), kControlCharacter);
  EXPECT_EQ(snmp([](SnmpValues& v) { v.location = "Hall\t3"; }), kControlCharacter);
  for (const char* title : {"", "UPS 2", "a.b", "a\\b", "a:b", "a\x01"})
    EXPECT_EQ(snmp([&](SnmpValues& v) { v.title = title; }), kBadTitle) << title;

  // A title kept is never checked: "Server room" stays editable.
  DeviceNode* room = Add(tree, kNodeGroup, "Server room");
  DeviceNode copy;
  EXPECT_EQ(CheckGroupValues("Server room", "Building B", kPropertyLocationChars, *room, copy), std::nullopt);
  EXPECT_EQ(CheckGroupValues("Server room 2", "", kPropertyLocationChars, *room, copy), kBadTitle);

  const LocalValues goodLocal{"UPS 1", "", 2, "7", 2400, kCommAscii};
  const auto local = [&](auto change) {
    LocalValues v = goodLocal;
    change(v);
    DeviceNode c;
    return CheckLocalValues(v, *serial, &registry, c);
  };
  EXPECT_EQ(local([](LocalValues&) {}), std::nullopt);
  EXPECT_EQ(local([](LocalValues& v) { v.upsId = " "; }), kNoUpsId);
  for (const char* id : {"256", "x", "1e2", "-1", "7 7"})
    EXPECT_EQ(local([&](LocalValues& v) { v.upsId = id; }), kUpsIdOutOfRange) << id;
  EXPECT_EQ(local([](LocalValues& v) { v.comIndex = -1; }), kNoComPort);
  EXPECT_EQ(local([](LocalValues& v) { v.upsId = "5"; }), kPortAddressTaken);
  // A meter sum takes none of the disabled controls.
  EXPECT_EQ(local([](LocalValues& v) {
              v.commType = kCommMeterSum;
              v.upsId = "x";
              v.comIndex = -1;
            }),
            std::nullopt);
}

TEST(NodeProperties, MeterSumGoesOutOnCom1AtUnit0And2400) {
  DeviceTree tree;
  DeviceNode* n = Add(tree, kNodeSerial, "Meter");
  n->setCom("COM3");
  n->setUpsId(6);
  n->setBaud(9600);
  DeviceNode copy;
  LoadEditCopy(*n, copy);
  const LocalValues v{"Meter", "", 2, "6", 9600, kCommMeterSum};
  ASSERT_EQ(CheckLocalValues(v, *n, nullptr, copy), std::nullopt);
  EXPECT_EQ(copy.com(), "COM1");
  EXPECT_EQ(copy.upsId(), 0);
  EXPECT_EQ(copy.baud(), 2400);
  EXPECT_EQ(copy.commType(), kCommMeterSum);
}

TEST(NodeProperties, TypeListCarriesTypesAndAlwaysTheNodesOwn) {
  const auto types = [](const ProtocolOffers& offers, int16_t own) {
    std::vector<int16_t> out;
    for (const CommTypeChoice& c : LocalTypeChoices(offers, own)) out.push_back(c.type);
    return out;
  };
  ProtocolOffers none;
  ProtocolOffers all;
  all.trv3200 = all.plc = all.ups9315 = true;
  EXPECT_EQ(types(none, 0), (std::vector<int16_t>{0, 1, 2, 6, 7, 8, 9}));
  EXPECT_EQ(types(none, 4), (std::vector<int16_t>{0, 1, 2, 4, 6, 7, 8, 9}));
  EXPECT_EQ(types(all, 0), (std::vector<int16_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  const auto list = LocalTypeChoices(none, 0);
  EXPECT_STREQ(list[3].label, "Inverter-Norva");
  EXPECT_EQ(list[3].type, kCommInverter);
}

TEST(NodeProperties, ConfirmedChangesReachTheNodeAndItsTables) {
  DeviceTree tree;
  DeviceNode* ups = Add(tree, kNodeSerial, "UPS 1");
  ups->setCom("COM1");
  ups->setUpsId(1);
  AllocateNodeBlocks(*ups);
  PortDeviceRegistry registry;
  registry.Register(*ups);

  DeviceNode sent;
  LoadEditCopy(*ups, sent);
  ASSERT_EQ(CheckLocalValues({"UPS-A", "Rack", 3, "9", 9600, kCommModbusUps}, *ups, &registry, sent), std::nullopt);
  ApplyLocalEdit(*ups, sent, &registry);
  EXPECT_EQ(ups->title(), "UPS-A");
  EXPECT_EQ(ups->com(), "COM4");
  EXPECT_EQ(ups->baud(), 9600);
  EXPECT_FALSE(registry.IsTaken(0, "COM1", 1));
  EXPECT_TRUE(registry.IsTaken(-1, "COM4", 9));
  EXPECT_NE(ups->block(BlockKind::kModbus), nullptr);
  EXPECT_EQ(ups->block(BlockKind::kAscii), nullptr);

  // A meter sum stays out of the registry.
  LoadEditCopy(*ups, sent);
  ASSERT_EQ(CheckLocalValues({"UPS-A", "", 3, "9", 9600, kCommMeterSum}, *ups, &registry, sent), std::nullopt);
  ApplyLocalEdit(*ups, sent, &registry);
  EXPECT_FALSE(registry.IsTaken(-1, "COM4", 9));
  EXPECT_FALSE(registry.IsTaken(-1, "COM1", 0));

  DeviceNode* net = Add(tree, kNodeSnmp, "Network UPS");
  net->setIp("10.0.0.1");
  net->setMibType(kMibMakerUps);
  ConsoleEndpoints endpoints;
  endpoints.addSnmpDevice(*net);
  LoadEditCopy(*net, sent);
  ASSERT_EQ(CheckSnmpValues({"Network UPS", "", "10.0.0.9", "1161", "private"}, *net, &tree.root(), sent),
            std::nullopt);
  ApplySnmpEdit(*net, sent, 0x0000000800000001ull, endpoints);
  EXPECT_EQ(net->mibType(), kMibUnknown);
  EXPECT_EQ(net->port(), 1161);
  EXPECT_EQ(net->block(BlockKind::kSnmp)->mask(MaskWord::kReported), 0x0000000800000001ull);
  ASSERT_EQ(endpoints.entries().size(), 1u);
  EXPECT_EQ(endpoints.entries()[0].address, "10.0.0.9");
  EXPECT_EQ(endpoints.entries()[0].resolved, 0x0900000Au);
  // A host name is left to the service.
  LoadEditCopy(*net, sent);
  ASSERT_EQ(CheckSnmpValues({"Network UPS", "", "ups.example", "161", "private"}, *net, &tree.root(), sent),
            std::nullopt);
  ApplySnmpEdit(*net, sent, 0, endpoints);
  EXPECT_EQ(net->resolvedAddress(), 0u);
  EXPECT_EQ(PropertyLogText(*net),
            "(SNMP Title:Network UPS, Locaion:, id:" + std::to_string(net->id()) +
                ", IP:ups.example, Port:161, Community:private, Stop:0, Database:0)");
}

TEST(NodeProperties, PlcRowsNameTheirUpsByIdAndShowNoneAndBlanks) {
  DeviceTree tree;
  DeviceNode* ups = Add(tree, kNodeSerial, "UPS 1 (2)");
  ups->setCom("COM1");
  ups->setUpsId(1);
  DeviceNode* plc = Add(tree, kNodeSerial, "PLC 1");
  plc->setCom("COM4");
  plc->setCommType(kCommPlc);
  DeviceNode* net = Add(tree, kNodeSnmp, "Network UPS");
  net->setIp("10.0.0.1");
  PortDeviceRegistry registry;
  registry.Register(*plc);
  registry.Register(*ups);
  ConsoleEndpoints endpoints;
  endpoints.addSnmpDevice(*net);

  const std::vector<PlcUpsChoice> choices = PlcUpsChoices(tree, &registry, &endpoints);
  ASSERT_EQ(choices.size(), 3u);  // the PLC's own port is left out
  EXPECT_EQ(choices[0].text, "None");
  EXPECT_EQ(choices[1].text, "UPS 1 (2) (" + std::to_string(ups->id()) + ")");
  EXPECT_EQ(choices[1].id, ups->id());
  EXPECT_EQ(choices[2].id, net->id());

  plc->setPlcUpsId(0, net->id());
  plc->setPlcXtpcTrip(0, 32767);
  plc->setPlcSource(0, "Feeder A");
  EXPECT_EQ(PlcRowText(*plc, 0, choices), "1\t32767\t0\t0\t0\tNetwork UPS (" + std::to_string(net->id()) + ")\tFeeder A");
  EXPECT_EQ(PlcRowText(*plc, 1, choices), "2\t0\t0\t0\t0\tNone\t ");
  plc->setPlcUpsId(2, 999);  // gone from the tree
  EXPECT_EQ(PlcRowText(*plc, 2, choices), "3\t0\t0\t0\t0\tNone\t ");
}

TEST(NodeProperties, RepliesTooShortGiveNothing) {
  std::vector<uint8_t> frame(7 + kPlcSettingsSize, 0);
  EXPECT_TRUE(PlcRecordOfReply(frame));
  frame.pop_back();
  EXPECT_FALSE(PlcRecordOfReply(frame));
  for (size_t size : {0, 6, 7, 14}) EXPECT_FALSE(MaskOfReply(std::vector<uint8_t>(size, 0xFF))) << size;
  const std::vector<uint8_t> mask = {1, 2, 0, 11, 14, 27, 6, 0, 0, 0x01, 0x80, 0x08, 0, 0, 0};
  EXPECT_EQ(MaskOfReply(mask), 0x0000000880010000ull);
  uint8_t out[8];
  PutMaskWords(0x0000000880010000ull, Bytes(out, 8));
  EXPECT_EQ(std::vector<uint8_t>(out, out + 8), std::vector<uint8_t>(mask.begin() + 7, mask.end()));
  DeviceNode n;
  SetNodeMaskWords(n, 0x0000000880010000ull);
  EXPECT_EQ(NodeMaskWords(n), 0x0000000880010000ull);
  EXPECT_EQ(n.plcUpsId(2), 8);
}

}  // namespace
}  // namespace lark
