#include "core/legacy_maps.h"

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "tests/support/recording_event_log.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

using test::RecordingEventLog;
using test::TempDir;

std::string Get(const std::string& path) { return ReadFile(path).value_or("<missing>"); }

int MaxDepth(const DeviceNode& n) {
  int d = 0;
  for (const auto& c : n.children()) d = std::max(d, 1 + MaxDepth(*c));
  return d;
}

struct OldDevice {
  std::string com = "COM1";
  int upsId = 1;
  int baud = 2400;
};

// One record of the old line format (LF line ends).
std::string Record(int version, int id, const std::string& title, int kind,
                   const std::string& picture, int count, const OldDevice* dev = nullptr) {
  std::string r = std::to_string(id) + "\n" + title + "\n";
  if (version >= 2) r += "skip\nskip\n";
  r += "10.0.0.1\n161\npublic\n" + std::to_string(kind) + "\n1,2,3,4\n0,0,602,422\n";
  r += picture + "\n" + std::to_string(count) + "\n";
  if (dev) {
    for (int i = 0; i < 12; ++i) r += "0\n";
    r += dev->com + "\n" + std::to_string(dev->upsId) + "\n0\n0\n0\n" + std::to_string(dev->baud) +
         "\n";
    for (int i = 0; i < 8; ++i) r += "0\n";
    if (version >= 3) {
      r += "4\n5\n6\n";
      for (int g = 0; g < (version == 3 ? 6 : 10); ++g) {
        for (int k = 0; k < 5; ++k) r += std::to_string(100 * (g + 1) + k) + "\n";
      }
    }
  }
  return r;
}

TEST(LegacyMapsTest, Version4FixtureIsConvertedAndKept) {
  TempDir dir;
  const std::string old = Get(test::SourcePath("tests/core/fixtures/plant_v4.UMF"));
  ASSERT_TRUE(WriteFileAtomic(dir.file("plant_v4.UMF"), old));
  RecordingEventLog log;
  DeviceTree tree;
  MapStore store(dir.path(), tree, log);
  std::string name = "plant_v4.umf";
  store.OpenMapFile(name);

  EXPECT_EQ(store.currentMapName(), "plant_v4");
  EXPECT_EQ(Get(dir.file("plant_v4.UMF.bak")), old);
  const std::string converted = Get(dir.file("plant_v4.UMF"));
  EXPECT_EQ(converted.rfind("[Main]\r\n", 0), 0u);
  EXPECT_TRUE(IsDirectory(dir.file("plant_v4")));

  const DeviceNode& root = tree.root();
  EXPECT_EQ(root.title(), "Main");
  EXPECT_EQ(root.picture(), "site.bmp");
  ASSERT_EQ(root.childCount(), 2);
  const DeviceNode& hall = *root.child(0);
  EXPECT_TRUE(hall.isGroup());
  EXPECT_EQ(hall.picture(), "hall.bmp");
  EXPECT_EQ(hall.iconRect(), (NodeRect{10, 20, 50, 60}));
  EXPECT_EQ(hall.groupRect(), (NodeRect{0, 0, 800, 600}));
  ASSERT_EQ(hall.childCount(), 3);

  const DeviceNode& rect = *hall.child(0);  // old kind 3
  EXPECT_EQ(rect.title(), "Rectifier");
  EXPECT_EQ(rect.nodeKind(), kNodeSerial);
  EXPECT_EQ(rect.commType(), kCommThreePhase);
  EXPECT_EQ(rect.baud(), 2400);
  EXPECT_EQ(rect.com(), "COM1");
  EXPECT_TRUE(rect.saveInDatabase());
  EXPECT_NE(rect.block(BlockKind::kBinary), nullptr);

  const DeviceNode& trv = *hall.child(1);  // old kind 4
  EXPECT_EQ(trv.commType(), kCommModbusTrv5200);
  EXPECT_EQ(trv.baud(), 9600);
  EXPECT_EQ(trv.upsId(), 2);

  const DeviceNode& plc = *hall.child(2);  // old kind 5
  EXPECT_EQ(plc.id(), 5);
  EXPECT_EQ(plc.commType(), kCommPlc);
  EXPECT_EQ(plc.baud(), 9600);
  EXPECT_FALSE(plc.saveInDatabase());
  EXPECT_EQ(plc.plcSource(0), "Src A");
  EXPECT_EQ(plc.plcSource(1), "");
  EXPECT_EQ(plc.plcSource(2), "Src C");
  EXPECT_EQ(plc.plcPointNum(), 4);
  EXPECT_EQ(plc.plcBypassUpsId(), 2);
  EXPECT_EQ(plc.plcUpsId(9), 90);
  EXPECT_EQ(plc.plcYupsAlarm(9), 94);

  const DeviceNode& snmp = *root.child(1);
  EXPECT_EQ(snmp.nodeKind(), kNodeSnmp);
  EXPECT_EQ(snmp.ip(), "192.168.1.20");
  EXPECT_EQ(snmp.port(), 161);
  EXPECT_EQ(snmp.community(), "private");
  EXPECT_EQ(snmp.mibType(), kMibMakerUps);
  EXPECT_EQ(tree.nextNodeId(), 6u);
  EXPECT_EQ(tree.currentChildIndex(), 0);

  // The written map reads back as the same tree, without a second conversion.
  DeviceTree again;
  MapStore reader(dir.path(), again, log);
  std::string same = "plant_v4.UMF";
  reader.OpenMapFile(same);
  EXPECT_EQ(BuildMapText(again.root()), converted);
  EXPECT_FALSE(FileExists(dir.file("plant_v4.UMF.bak.1")));
}

TEST(LegacyMapsTest, AnOldNameIsReplacedByTheNewMapFile) {
  TempDir dir;
  OldDevice dev{"COM4", 3, 1200};
  const std::string old =
      "Version1\n" + Record(1, 0, "Root", 1, "", 1) + Record(1, 7, "Old UPS", 9, "", -1, &dev);
  ASSERT_TRUE(WriteFileAtomic(dir.file("site.map"), old));
  RecordingEventLog log;
  DeviceTree tree;
  MapStore store(dir.path(), tree, log);
  std::string name = "site.map";
  store.OpenMapFile(name);
  EXPECT_EQ(name, "site.UMF") << "the caller's auto-load name follows the map";
  EXPECT_EQ(Get(dir.file("site.map.bak")), old);
  EXPECT_FALSE(FileExists(dir.file("site.map")));
  EXPECT_TRUE(FileExists(dir.file("site.UMF")));
  ASSERT_EQ(tree.root().childCount(), 1);
  const DeviceNode& ups = *tree.root().child(0);
  EXPECT_EQ(ups.commType(), kCommAscii) << "any other old kind is an ASCII serial device";
  EXPECT_EQ(ups.baud(), 1200);
  EXPECT_EQ(ups.com(), "COM4");
}

TEST(LegacyMapsTest, ReadersDifferAsTheVersionsDo) {
  const std::string title33(33, 'T');
  OldDevice dev;
  struct Case {
    int version;
    std::string text;
  } cases[] = {
      {1, Record(1, 0, "Root", 1, "7\nskip\nroot.bmp", 1) + Record(1, 1, title33, 3, "", -1, &dev)},
      {2, Record(2, 0, "Root", 1, "7\nskip\nroot.bmp", 1) + Record(2, 1, title33, 3, "", -1, &dev)},
      {3, Record(3, 0, "Root", 1, "7\nskip\nroot.bmp", 1) + Record(3, 1, title33, 3, "", -1, &dev)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    DeviceTree tree;
    RecordingEventLog log;
    ReadOldMapText(c.version, "Version" + std::to_string(c.version) + "\n" + c.text, tree,
                   MapStoreHooks{}, log);
    EXPECT_EQ(tree.root().picture(), "root.bmp") << "a picture line starting with a digit";
    ASSERT_EQ(tree.root().childCount(), 1);
    const DeviceNode& n = *tree.root().child(0);
    EXPECT_EQ(Tree_FindNodeById(tree, n.id()), &n) << "the id index follows the old reader";
    EXPECT_EQ(n.title(), std::string(c.version == 1 ? 32 : 31, 'T'));
    EXPECT_EQ(n.commType(), kCommThreePhase);
    EXPECT_EQ(n.plcPointNum(), c.version >= 3 ? 4 : 0);
    EXPECT_EQ(n.plcUpsId(5), c.version >= 3 ? 600 : 0);
    EXPECT_EQ(n.plcUpsId(6), 0) << "version 3 has six PLC groups";
  }
}

TEST(LegacyMapsTest, UnknownVersionIsLeftToTheNormalLoader) {
  TempDir dir;
  const std::string text = "Version7\n[Main]\nNumber=1\n[ID0]\nTitle=Plain\n";
  ASSERT_TRUE(WriteFileAtomic(dir.file("x.UMF"), text));
  RecordingEventLog log;
  DeviceTree tree;
  MapStore store(dir.path(), tree, log);
  std::string name = "x.UMF";
  EXPECT_FALSE(MigrateOldMap(store, tree, name));
  store.OpenMapFile(name);
  EXPECT_EQ(tree.root().title(), "Plain");
  EXPECT_EQ(Get(dir.file("x.UMF")), text);
  EXPECT_FALSE(FileExists(dir.file("x.UMF.bak")));
  for (const char* t : {"", "Versio", "Version", "version4\n", "Version0\n", "Version5\n"}) {
    EXPECT_EQ(OldMapVersion(t), 0) << t;
  }
  EXPECT_EQ(OldMapVersion("Version4 extra\r\n"), 4);
}

TEST(LegacyMapsTest, BrokenOldMapsBuildNoPhantomNodes) {
  OldDevice dev;
  // Deep nesting: every group holds the next one.
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += Record(4, i, "G", 1, "", 1);
  deep += Record(4, 5000, "leaf", 3, "", -1, &dev);
  struct Case {
    const char* name;
    std::string text;
    int children;
  } cases[] = {
      {"a group promising children at the end of the file", Record(4, 0, "Root", 1, "", 100000), 0},
      {"a record cut short", Record(4, 0, "Root", 1, "", 2) + "1\nHalf", 1},
      {"ids out of range or twice",
       Record(4, 0, "Root", 1, "", 3) + Record(4, 0, "zero", 3, "", -1, &dev) +
           Record(4, 2, "a", 3, "", -1, &dev) + Record(4, 2, "again", 3, "", -1, &dev),
       1},
      {"nesting deeper than the tree walks allow", deep, 1},
  };
  for (const Case& c : cases) {
    DeviceTree tree;
    RecordingEventLog log;
    ReadOldMapText(4, "Version4\n" + c.text, tree, MapStoreHooks{}, log);
    EXPECT_EQ(tree.root().childCount(), c.children) << c.name;
    EXPECT_LE(MaxDepth(tree.root()), kMaxMapDepth) << c.name;
  }
}

// A group that is read but not kept (a bad id) must take its devices out of
// the port and SNMP tables again: they would point at freed nodes.
TEST(LegacyMapsTest, ASkippedGroupLeavesNoDeviceRegistered) {
  OldDevice dev;
  const std::string text =
      "Version4\n" + Record(4, 0, "Root", 1, "", 2) + Record(4, 0, "bad id", 1, "", 2) +
      Record(4, 5, "snmp", 0, "", -1, &dev) + Record(4, 6, "serial", 3, "", -1, &dev) +
      Record(4, 5, "kept", 3, "", -1, &dev);
  test::RecordingEndpoints endpoints;
  WorkerPauser pauser;
  DeviceTree tree(pauser, endpoints);
  std::vector<int> attached;
  MapStoreHooks hooks;
  hooks.attachSerialDevice = [&](DeviceNode& n) { attached.push_back(n.id()); };
  RecordingEventLog log;
  ReadOldMapText(4, text, tree, hooks, log);
  EXPECT_EQ(endpoints.snmpAdded, (std::vector<int>{5}));
  EXPECT_EQ(endpoints.snmpRemoved, (std::vector<int>{5}));
  EXPECT_EQ(attached, (std::vector<int>{6, 5}));
  EXPECT_EQ(endpoints.serialDetached, (std::vector<int>{6}));
  ASSERT_EQ(tree.root().childCount(), 1);
  EXPECT_EQ(tree.root().child(0)->title(), "kept") << "the dropped group's ids are free again";
}

}  // namespace
}  // namespace lark
