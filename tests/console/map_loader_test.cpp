// The console's map loader against the service's own load of the same file,
// hostile map files, the map names and the port registry.
#include "console/map/map_loader.h"

#include <gtest/gtest.h>

#include "console/map/map_levels.h"
#include "core/map_file.h"
#include "platform/paths.h"
#include "tests/support/recording_event_log.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

// The service's tree of every kind, with schedules, PLC slots, pictures,
// locations and icon places.
std::string ServiceMapText() {
  DeviceTree tree;
  test::SampleTree s = test::BuildSampleTree(tree);
  DeviceNode& plc = test::AddSerial(tree, *s.ups, kCommPlc, "COM4", 7);
  plc.setPlcPointNum(3);
  plc.setPlcXBypass(1);
  plc.setPlcBypassUpsId(2);
  for (int i = 0; i < kPlcPointCount; ++i) {
    plc.setPlcUpsId(i, static_cast<int16_t>(i + 1));
    plc.setPlcYupsAlarm(i, static_cast<int16_t>(100 + i));
  }
  plc.setPlcSource(0, "Mains A");
  plc.setPlcSource(31, "Mains Z");
  DeviceNode& mge = test::AddSerial(tree, *s.ups, kCommModbusTrv5200, "COM5", 1);
  mge.setPlcUpsId(0, 0x0101);  // its event mask
  test::AddSerial(tree, *s.field, kCommModbus9315, "COM5", 2);
  test::AddSerial(tree, *s.field, kCommMeterSum, "COM6", 9);
  s.ascii->setWeekEntry(0, {2, 7, 30, 1});
  s.ascii->setWeekEntry(29, {7, 23, 59, 4});
  s.ascii->setDateEntry(0, {2027, 1, 2, 3, 4, 2});
  s.ascii->setDateEntry(29, {2030, 12, 31, 23, 59, 3});
  s.ascii->setLocation("Hall B, rack 4");
  s.ascii->setSyncDateTime(1);
  s.ascii->setLinkStatus(kLinkStopped);
  s.snmp->setCommunity("private");
  s.snmp->setPort(1161);
  s.ups->setPicture("C:\\Corvalune\\Images\\Hall.bmp");
  s.ups->setGroupRect({0, 0, 800, 600});
  s.gprs->setLocation("Station 12");
  int k = 0;
  for (DeviceNode* n : {s.ups, s.field, s.ascii, s.snmp, s.gprs, &plc}) {
    n->setIconRect({40 + 20 * k, 30 + 10 * k, 56 + 20 * k, 46 + 10 * k});
    ++k;
  }
  return BuildMapText(tree.root());
}

struct ConsoleTree {
  WorkerPauser pauser;
  test::RecordingEndpoints network;
  ConsoleTreeEndpoints endpoints{network};
  DeviceTree tree{pauser, endpoints};
  test::FakeActionLevels levels;
  ConsoleMapNames open(const std::string& path) { return OpenConsoleMap(tree, path, levels); }
};

// The node image with what the two sides set differently left out: MibType
// (the console's stays 0 until the service's data) and the alarm level.
DeviceNode::Image Comparable(const DeviceNode& n) {
  DeviceNode::Image img = n.wireImage();
  img[node_off::kMibType] = 0;
  img[node_off::kAlarmLevel] = 0;
  return img;
}

void ExpectSameTrees(const DeviceNode& service, const DeviceTree& console) {
  const DeviceNode* c = console.findById(service.id());
  ASSERT_NE(c, nullptr) << "node " << service.id();
  EXPECT_TRUE(Comparable(service) == Comparable(*c)) << "node " << service.id();
  EXPECT_EQ(service.picture(), c->picture());
  for (int i = 0; i < kPlcPointCount; ++i) EXPECT_EQ(service.plcSource(i), c->plcSource(i));
  EXPECT_EQ(c->mibType(), 0);
  EXPECT_EQ(c->alarmLevel(), kAlarmNone) << "nothing may blink before the first data";
  ASSERT_EQ(service.childCount(), c->childCount());
  for (const auto& child : service.children()) ExpectSameTrees(*child, console);
}

TEST(ConsoleMapLoaderTest, LoadsWhatTheServiceLoads) {
  test::TempDir dir;
  const std::string text = ServiceMapText();
  ASSERT_NE(text.find("\r\n"), std::string::npos);
  WriteFileAtomic(dir.file("Plant.UMF"), text);

  DeviceTree service;
  test::RecordingEventLog log;
  LoadMapText(text, service, {}, log);

  ConsoleTree console;
  console.open(dir.file("Plant.UMF"));
  ExpectSameTrees(service.root(), console.tree);
  EXPECT_EQ(console.tree.nextNodeId(), service.nextNodeId());

  // SNMP devices in the endpoint table, serial devices in the registry.
  ASSERT_EQ(console.network.snmpAdded.size(), 1u);
  EXPECT_EQ(console.tree.findById(console.network.snmpAdded[0])->ip(), "10.0.0.1");
  const auto* com4 = console.endpoints.registry.record(4);
  ASSERT_NE(com4, nullptr);
  EXPECT_EQ(com4->protocol, kCommPlc);
  ASSERT_NE(com4->devices[7], nullptr);
  EXPECT_EQ(com4->devices[7]->commType(), kCommPlc);
  // Console's own block values: the PLC's identification texts.
  EXPECT_EQ(com4->devices[7]->block(BlockKind::kAscii)->text(1011, 16), "PLC");

  // Opening another map frees this one: the registry and the table empty.
  WriteFileAtomic(dir.file("Empty.UMF"), "[Main]\r\nNumber=0\r\n");
  console.open(dir.file("Empty.UMF"));
  EXPECT_EQ(console.tree.root().childCount(), 0);
  EXPECT_EQ(console.network.snmpRemoved, console.network.snmpAdded);
  for (int p = 0; p < 256; ++p) EXPECT_EQ(console.endpoints.registry.record(p), nullptr) << p;
}

TEST(ConsoleMapLoaderTest, HostileFilesLeaveAConsistentTree) {
  // A line read in pieces would start a piece at "Comm.Stop=Yes".
  std::string longTitle(248, 'T');
  std::string hostile = "[Main]\nNumber=400\nIndex0.ID=0\n";
  for (int i = 1; i < 400; ++i) hostile += "Index" + std::to_string(i) + ".ID=" + std::to_string(i) + "\n";
  hostile += "[ID0]\nTitle=Main\n";
  // 1: a group with very long lines and extreme rectangles; 2: unknown
  // kind; 3: unknown CommType with a child; then 301 children of group 1.
  hostile += "[ID1]\nPreviousID=0\nupsGroupSNMP=1\nTitle=" + longTitle + "Comm.Stop=Yes\n" +
             "iconRect.left=2147483647\niconRect.top=-2147483648\niconRect.right=-5\n"
             "iconRect.bottom=99999999999\n";
  hostile += "[ID2]\nPreviousID=0\nupsGroupSNMP=9\n";
  hostile += "[ID3]\nPreviousID=0\nupsGroupSNMP=0\nCommType=42\n";
  hostile += "[ID4]\nPreviousID=3\nupsGroupSNMP=0\nCommType=0\n";
  for (int i = 5; i < 400; ++i) {
    hostile += "[ID" + std::to_string(i) + "]\nPreviousID=1\nupsGroupSNMP=0\nCommType=0\nCOM=COM999\n"
               "UPSID=70000\nWeek.Day31=5\nPLC.UPSID33=1\n";
  }
  test::TempDir dir;
  WriteFileAtomic(dir.file("Bad.UMF"), hostile);
  ConsoleTree console;
  console.open(dir.file("Bad.UMF"));
  const DeviceNode& root = console.tree.root();
  ASSERT_EQ(root.childCount(), 1);
  const DeviceNode& group = *root.child(0);
  EXPECT_EQ(group.childCount(), kMaxChildren);
  EXPECT_EQ(group.title().size(), node_off::kTitleSize - 1);
  EXPECT_EQ(group.linkStatus(), kLinkUnidentified);
  EXPECT_EQ(group.child(0)->weekEntry(29), ScheduleWeekEntry{});
  EXPECT_EQ(console.tree.findById(2), nullptr);
  EXPECT_EQ(console.tree.findById(4), nullptr) << "the child of a skipped node is skipped too";
  // Ports and bus addresses outside 0..255 stay out of the registry.
  for (int p = 0; p < 256; ++p) EXPECT_EQ(console.endpoints.registry.record(p), nullptr) << p;
  // The levels and a paint walk it (ASan watches the rest).
  UpdateAlarmLevel(console.tree.root(), console.levels);
}

TEST(ConsoleMapLoaderTest, NamesAndPaths) {
  struct Case {
    std::string path, title, display;
  } cases[] = {
      {"", "Gridwarden Manager-Untitled", "Untitled"},
      {"/opt/x/Monitor/a.b.UMF", "Gridwarden Manager-a.b.UMF", "a.b"},
      {"C:\\Maps\\Demo.UMF", "Gridwarden Manager-Demo.UMF", "Demo"},
      {"Plain", "Gridwarden Manager-Plain", "Plain"},
  };
  for (const Case& c : cases) {
    const ConsoleMapNames n = MapNamesOf(c.path);
    EXPECT_EQ(n.title, c.title) << c.path;
    EXPECT_EQ(n.displayName, c.display) << c.path;
  }
  EXPECT_EQ(ConsoleMapPath("/inst", "Demo.UMF"), "/inst/Monitor/Demo.UMF");
  for (const char* bad : {"", "../x.UMF", "a/b.UMF", "..", "C:x.UMF"}) {
    EXPECT_EQ(ConsoleMapPath("/inst", bad), std::nullopt) << bad;
  }
}

TEST(PortDeviceRegistryTest, SlotsAndRecords) {
  DeviceNode a, b, c;
  a.setId(1), a.setCom("COM3"), a.setUpsId(5), a.setCommType(kCommAscii);
  b.setId(2), b.setCom("COM3"), b.setUpsId(5), b.setCommType(kCommModbusUps);
  c.setId(3), c.setCom("COMx"), c.setUpsId(0), c.setCommType(kCommMeter);
  PortDeviceRegistry r;
  r.Register(a);
  r.Register(b);
  EXPECT_EQ(r.record(3)->devices[5], &b) << "the second in the slot wins";
  EXPECT_EQ(r.record(3)->protocol, kCommAscii) << "the first device's CommType stays";
  EXPECT_TRUE(r.IsTaken(1, "COM3", 5));
  EXPECT_FALSE(r.IsTaken(2, "COM3", 5));
  r.Unregister(a);
  EXPECT_EQ(r.record(3), nullptr) << "either leaving empties the slot, the last frees the record";
  r.Register(b);
  EXPECT_EQ(r.record(3)->protocol, kCommModbusUps);
  r.Register(c);
  EXPECT_EQ(r.record(0)->devices[0], &c) << "no number: entry 0";

  struct Name {
    const char* com;
    int port;
  } names[] = {{"COM1", 1}, {"COM255", 255}, {"COM256", -1}, {"COM", 0}, {"", 0}, {"COM0", 0}, {"COM7x", 7}};
  for (const Name& n : names) EXPECT_EQ(PortDeviceRegistry::PortNumberOf(n.com), n.port) << n.com;
}

}  // namespace
}  // namespace lark
