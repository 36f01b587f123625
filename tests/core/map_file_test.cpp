#include "core/map_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "platform/paths.h"
#include "tests/support/recording_event_log.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

using test::RecordingEventLog;
using test::TempDir;

class RecordingEndpoints final : public TreeEndpoints {
 public:
  bool addSnmpDevice(DeviceNode& node) override {
    snmp.push_back(node.id());
    return true;
  }
  std::vector<int> snmp;
};

DeviceNode* Add(DeviceNode& parent, int16_t id, uint8_t kind, int16_t commType = 0,
                uint8_t mib = 0) {
  auto n = std::make_unique<DeviceNode>();
  n->setId(id);
  n->setNodeKind(kind);
  n->setCommType(kind == kNodeSerial ? commType : 0);
  n->setMibType(mib);
  n->setTitle("Node " + std::to_string(id));
  n->setLocation("Hall " + std::to_string(id));
  n->setIconRect({id, id + 1, id + 40, id + 41});
  n->setGroupRect({0, 0, 602 + id, 422});
  n->setSaveInDatabase(id % 2 == 0);
  n->setLinkStatus(id % 3 == 0 ? kLinkStopped : kLinkUnidentified);
  n->setBaud(kind == kNodeSerial ? 38400 : 2400);  // above 32767: stored as a signed 16-bit
  n->setCommunity("public");
  if (kind == kNodeSnmp) {
    n->setIp("10.0.0." + std::to_string(id));
    n->setPort(static_cast<uint16_t>(161 + id));
  }
  if (kind == kNodeSerial) {
    n->setCom("COM" + std::to_string(id % 4 + 1));
    n->setUpsId(static_cast<int16_t>(id));
  }
  return parent.addChild(n);
}

// A tree with nested groups, every node kind and CommType, schedules and PLC
// settings, holding only what a map file stores.
void BuildSampleTree(DeviceTree& tree, RecordingEventLog& log) {
  DeviceNode& root = tree.root();
  root.setPicture("plant.bmp");
  DeviceNode* hall = Add(root, 1, kNodeGroup);
  hall->setPicture("hall 1.jpg");
  DeviceNode* inner = Add(*hall, 2, kNodeGroup);
  int16_t id = 10;
  for (int16_t ct = 0; ct <= 9; ++ct) Add(*inner, id++, kNodeSerial, ct);
  for (uint8_t mib : {0, 5, 6, 7, 8}) Add(*hall, id++, kNodeSnmp, 0, mib);
  Add(root, id++, kNodeGprs);
  Add(root, 3, kNodeGroup);  // an empty group

  DeviceNode* ups = inner->child(0);
  ups->setSyncDateTime(1);
  ups->setWeekEntry(0, {2, 7, 30, 1});
  ups->setWeekEntry(29, {7, 23, 59, 4});
  ups->setDateEntry(4, {2024, 12, 31, 18, 5, 2});
  ups->setDateEntry(7, {2025, 1, 6, 0, 0, 0});  // no action that Monday: kept through a save
  DeviceNode* plc = inner->child(4);
  plc->setPlcPointNum(12);
  plc->setPlcXBypass(-1);
  plc->setPlcBypassUpsId(3);
  for (int i = 0; i < kPlcPointCount; ++i) {
    plc->setPlcUpsId(i, static_cast<int16_t>(i));
    plc->setPlcXtpcTrip(i, static_cast<int16_t>(100 + i));
    plc->setPlcXucbTrip(i, static_cast<int16_t>(-i));
    plc->setPlcYtpcAlarm(i, static_cast<int16_t>(i * 3));
    plc->setPlcYupsAlarm(i, static_cast<int16_t>(i * 7));
  }
  plc->setPlcSource(0, "Feeder A");
  plc->setPlcSource(31, "Feeder = Z");
  DeviceNode* trv = inner->child(3);
  for (int i = 0; i < 4; ++i) trv->setPlcUpsId(i, static_cast<int16_t>(0x1111 * (i + 1)));
  DeviceNode* snmpUps = hall->child(2);  // MibType 5
  snmpUps->setEventSuppressionBit(17, true);
  snmpUps->setEventSuppressionBit(63, true);

  MapStoreHooks hooks;
  std::vector<DeviceNode*> all{&root};
  for (size_t i = 0; i < all.size(); ++i) {
    for (const auto& c : all[i]->children()) all.push_back(c.get());
  }
  for (DeviceNode* n : all) InitNodeBlocks(tree, *n, hooks);
  Tree_ComputeNextFreeId(tree);
}

void ExpectSameTree(const DeviceNode& a, const DeviceNode& b) {
  SCOPED_TRACE("node " + std::to_string(a.id()));
  EXPECT_EQ(a.wireImage(), b.wireImage());
  EXPECT_EQ(a.picture(), b.picture());
  for (int i = 0; i < kPlcPointCount; ++i) EXPECT_EQ(a.plcSource(i), b.plcSource(i));
  for (size_t k = 0; k < kBlockKindCount; ++k) {
    EXPECT_EQ(a.block(static_cast<BlockKind>(k)) != nullptr,
              b.block(static_cast<BlockKind>(k)) != nullptr)
        << "block " << k;
  }
  ASSERT_EQ(a.childCount(), b.childCount());
  for (int i = 0; i < a.childCount(); ++i) {
    EXPECT_EQ(b.child(i)->parent(), &b);
    ExpectSameTree(*a.child(i), *b.child(i));
  }
}

std::string Get(const std::string& path) { return ReadFile(path).value_or("<missing>"); }

TEST(MapFileTest, SavedTreeLoadsBackFieldByField) {
  TempDir dir;
  RecordingEventLog log;
  DeviceTree tree;
  BuildSampleTree(tree, log);
  MapStore store(dir.path(), tree, log);
  store.setCurrentMapName("plant");
  ASSERT_TRUE(store.SaveMapFile());
  const std::string text = Get(dir.file("plant.UMF"));
  EXPECT_EQ(text.rfind("[Main]\r\nIndex0.ID=0\r\nNumber=20\r\nIndex1.ID=1\r\nIndex2.ID=2\r\n", 0),
            0u);
  EXPECT_NE(text.find("Baud=-27136\r\n"), std::string::npos) << "16-bit fields written signed";

  RecordingEndpoints endpoints;
  WorkerPauser pauser;
  DeviceTree loaded(pauser, endpoints);
  int attached = 0;
  MapStore reader(dir.path(), loaded, log,
                  MapStoreHooks{[&](DeviceNode&) { ++attached; }, nullptr, nullptr, nullptr, nullptr});
  std::string name = "PLANT.umf";  // found without case
  reader.OpenMapFile(name);
  EXPECT_EQ(name, "PLANT.umf");
  EXPECT_EQ(reader.currentMapName(), "PLANT");
  ExpectSameTree(tree.root(), loaded.root());
  for (int32_t id = 0; id <= 40; ++id) {
    EXPECT_EQ(Tree_FindNodeById(loaded, id), Tree_FindNodeById(id, &loaded.root())) << id;
  }
  EXPECT_EQ(loaded.nextNodeId(), tree.nextNodeId());
  EXPECT_EQ(endpoints.snmp.size(), 5u);
  EXPECT_EQ(attached, 9) << "every serial device but the meter sum takes a port slot";
  EXPECT_TRUE(log.events().empty());

  // Saving what was loaded gives the same bytes.
  reader.setCurrentMapName("again");
  ASSERT_TRUE(reader.SaveMapFile());
  EXPECT_EQ(Get(dir.file("again.UMF")), text);
}

TEST(MapFileTest, EmptiedScheduleRowsStayGoneAfterTheUpdateForm) {
  TempDir dir;
  RecordingEventLog log;
  DeviceTree tree;
  BuildSampleTree(tree, log);
  MapStore store(dir.path(), tree, log);
  store.setCurrentMapName("plant");
  ASSERT_TRUE(store.SaveMapFile());

  DeviceNode* ups = Tree_FindNodeById(10, &tree.root());
  ups->setWeekEntry(29, {});
  ups->setDateEntry(4, {});
  ups->setTitle("Renamed");
  ASSERT_TRUE(store.SaveMapNode(*ups));
  const std::string text = Get(dir.file("plant.UMF"));
  EXPECT_EQ(text.find("Week.Day30="), std::string::npos);
  EXPECT_EQ(text.find("Specific.Year5="), std::string::npos);

  DeviceTree loaded;
  MapStore reader(dir.path(), loaded, log);
  std::string name = "plant.UMF";
  reader.OpenMapFile(name);
  DeviceNode* back = Tree_FindNodeById(10, &loaded.root());
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->title(), "Renamed");
  EXPECT_EQ(back->weekEntry(0), (ScheduleWeekEntry{2, 7, 30, 1}));
  EXPECT_EQ(back->weekEntry(29), ScheduleWeekEntry{});
  EXPECT_EQ(back->dateEntry(4), ScheduleDateEntry{});
  ExpectSameTree(tree.root(), loaded.root());
}

struct LoadResult {
  std::unique_ptr<DeviceTree> tree = std::make_unique<DeviceTree>();
  RecordingEventLog log;
  int read = 0;
};
std::unique_ptr<LoadResult> Load(const std::string& text) {
  auto r = std::make_unique<LoadResult>();
  r->read = LoadMapText(text, *r->tree, MapStoreHooks{}, r->log);
  return r;
}

TEST(MapFileTest, LoaderRules) {
  // Defaults, exact "Yes", case-sensitive keys, numbered keys from 1, values
  // after the first '=' and LF-only files.
  auto r = Load(
      "[Main]\nNumber=2\nIndex0.ID=0\nIndex1.ID=4\n"
      "[ID0]\nTitle=Site\n"
      "[ID4]\nPreviousID=0\nupsGroupSNMP=0\nComm.Stop=yes\nSaveInDatabase=yes\n"
      "title=lower case is not a key\nBitmap=a=b.bmp\n"
      "Week.Hour1=5\nWeek.Day1=3\nWeek.Minute1=15\nWeek.Event1=2\n"
      "Week.Day31=1\nWeek.Event31=1\nPLC.UPSID0=9\nPLC.UPSID1=9\nCommType\n"
      // Indexes at the ends of the number range are bad rows, not overflows.
      "Week.Day-2147483648=5\nPLC.UPSID-2147483648=5\nSpecific.Year-2147483648=1\n"
      "Week.Hour2147483648=1\nPLC.Source99999999999=x\n");
  DeviceNode& root = r->tree->root();
  EXPECT_EQ(root.title(), "Site");
  EXPECT_TRUE(root.isGroup());
  ASSERT_EQ(root.childCount(), 1);
  const DeviceNode& n = *root.child(0);
  EXPECT_EQ(n.title(), "Untitled");
  EXPECT_EQ(n.baud(), 2400);
  EXPECT_EQ(n.community(), "quorel");
  EXPECT_EQ(n.linkStatus(), kLinkUnidentified) << "only \"Yes\" stops polling";
  EXPECT_FALSE(n.saveInDatabase());
  EXPECT_EQ(n.picture(), "a=b.bmp");
  EXPECT_EQ(n.weekEntry(0), (ScheduleWeekEntry{3, 0, 15, 2})) << "Week.Day starts the row";
  EXPECT_EQ(n.plcUpsId(0), 9);
  EXPECT_EQ(r->tree->nextNodeId(), 5u);
  EXPECT_NE(n.block(BlockKind::kAscii), nullptr);
  EXPECT_EQ(n.block(BlockKind::kBinary), nullptr);
  EXPECT_EQ(n.alarmState(AlarmArray::kAudioRepeat, 199), -1);

  // CRLF is read like LF.
  auto crlf = Load("[Main]\r\nNumber=1\r\n[ID0]\r\nTitle=Site\r\nBitmap=x.bmp\r\n");
  EXPECT_EQ(crlf->tree->root().title(), "Site");
  EXPECT_EQ(crlf->tree->root().picture(), "x.bmp");
}

TEST(MapFileTest, AStopRequestEndsTheLoadBetweenNodes) {
  const std::string text =
      "[Main]\nNumber=4\nIndex0.ID=0\nIndex1.ID=1\nIndex2.ID=2\nIndex3.ID=3\n[ID0]\n"
      "[ID1]\nupsGroupSNMP=1\n[ID2]\nPreviousID=1\nupsGroupSNMP=1\n[ID3]\nupsGroupSNMP=1\n";
  for (int allowed : {0, 2, 4}) {
    DeviceTree tree;
    RecordingEventLog log;
    int asked = 0;
    MapStoreHooks hooks;
    hooks.stopRequested = [&] { return asked++ >= allowed; };
    EXPECT_EQ(LoadMapText(text, tree, hooks, log), allowed) << allowed;
    EXPECT_EQ(log.events().size(), allowed < 4 ? 1u : 0u) << allowed;
  }
}

TEST(MapFileTest, MissingEntriesAndOrderTable) {
  struct Case {
    const char* name;
    const char* text;
    int reads;
    int children;
  } cases[] = {
      {"no Number loads nothing", "[ID0]\nTitle=x\n", 0, 0},
      {"a missing index names the root, placed already",
       "[Main]\nNumber=3\nIndex0.ID=0\nIndex1.ID=1\n[ID0]\n[ID1]\nPreviousID=0\n", 2, 1},
      {"a missing header skips the place", "[Main]\nNumber=2\nIndex0.ID=0\nIndex1.ID=9\n[ID0]\n", 1,
       0},
      {"a child before its parent ends the load",
       "[Main]\nNumber=4\nIndex0.ID=0\nIndex1.ID=2\nIndex2.ID=1\nIndex3.ID=3\n[ID0]\n"
       "[ID2]\nPreviousID=1\n[ID1]\nPreviousID=0\nupsGroupSNMP=1\n[ID3]\nPreviousID=0\n",
       1, 0},
      {"headers match case-sensitively",
       "[Main]\nNumber=2\nIndex0.ID=0\nIndex1.ID=1\n[ID0]\n[id1]\n", 1, 0},
      {"an id used twice is read once",
       "[Main]\nNumber=3\nIndex0.ID=0\nIndex1.ID=1\nIndex2.ID=1\n[ID0]\n[ID1]\nPreviousID=0\n", 2,
       1},
      {"a huge Number is bounded", "[Main]\nNumber=2147483647\nIndex0.ID=0\n", 0, 0},
  };
  for (const Case& c : cases) {
    auto r = Load(c.text);
    EXPECT_EQ(r->read, c.reads) << c.name;
    EXPECT_EQ(r->tree->root().childCount(), c.children) << c.name;
  }
}

// Indexes that would place an id a second time, the root's included, or
// wrap onto it through the 16-bit cast: each refused with a log line before
// its section is looked up, so a hostile map loads in time linear in its size.
TEST(MapFileTest, HostileIndexesAreRefusedTable) {
  auto rootEverywhere = [](int places) {
    std::string t = "[Main]\nNumber=" + std::to_string(places) + "\n";
    for (int i = 0; i < places; ++i) t += "Index" + std::to_string(i) + ".ID=0\n";
    return t + "[ID0]\nTitle=Site\n";
  };
  struct Case {
    const char* name;
    std::string text;
    int reads;
    int children;
    size_t logLines;
    const char* firstLine;
  } cases[] = {
      {"the root named at every place", rootEverywhere(4), 1, 0, 3, "the id 0 is used twice"},
      {"ids that wrap onto the root",
       "[Main]\nNumber=4\nIndex0.ID=0\nIndex1.ID=65536\nIndex2.ID=131072\nIndex3.ID=-65536\n[ID0]"
       "\n",
       1, 0, 3, "the id 65536 is out of range"},
      {"an id past the largest node id",
       "[Main]\nNumber=2\nIndex0.ID=0\nIndex1.ID=32768\n[ID0]\n[ID-32768]\nPreviousID=0\n", 1, 0, 1,
       "the id 32768 is out of range"},
      {"a child named twice",
       "[Main]\nNumber=3\nIndex0.ID=0\nIndex1.ID=7\nIndex2.ID=7\n[ID0]\n[ID7]\nPreviousID=0\n", 2,
       1, 1, "Map index 2: the id 7 is used twice"},
      // The log takes the first refusals and one line counting the rest.
      {"the root named 65536 times", rootEverywhere(65536), 1, 0, 21,
       "Map index 1: the id 0 is used twice"},
  };
  for (const Case& c : cases) {
    auto r = Load(c.text);
    EXPECT_EQ(r->read, c.reads) << c.name;
    EXPECT_EQ(r->tree->root().childCount(), c.children) << c.name;
    const auto events = r->log.events();
    ASSERT_EQ(events.size(), c.logLines) << c.name;
    EXPECT_NE(events[0].text.find(c.firstLine), std::string::npos)
        << c.name << ": " << events[0].text;
  }
}

TEST(MapFileTest, UnknownKindsAreSkippedWithALogLine) {
  auto r = Load(
      "[Main]\nNumber=6\nIndex0.ID=0\nIndex1.ID=1\nIndex2.ID=2\nIndex3.ID=3\nIndex4.ID=4\n"
      "Index5.ID=5\n"
      "[ID0]\n"
      "[ID1]\nPreviousID=0\nupsGroupSNMP=7\n"
      "[ID2]\nPreviousID=0\nupsGroupSNMP=0\nCommType=12\n"
      "[ID3]\nPreviousID=0\nupsGroupSNMP=1\n"
      "[ID4]\nPreviousID=3\nupsGroupSNMP=0\nCommType=-1\n"
      "[ID5]\nPreviousID=3\nupsGroupSNMP=2\nIP=10.1.1.1\n");
  const DeviceNode& root = r->tree->root();
  ASSERT_EQ(root.childCount(), 1);
  EXPECT_EQ(root.child(0)->id(), 3);
  ASSERT_EQ(root.child(0)->childCount(), 1);
  EXPECT_EQ(root.child(0)->child(0)->id(), 5);
  auto events = r->log.events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_NE(events[0].text.find("unknown node kind 7"), std::string::npos);
  EXPECT_NE(events[1].text.find("unknown communication type 12"), std::string::npos);
  EXPECT_EQ(events[1].level, kLevelWarning);
}

TEST(MapFileTest, NestingIsBoundedForTheTreeWalks) {
  std::string text = "[Main]\nNumber=201\n";
  for (int i = 0; i <= 200; ++i)
    text += "Index" + std::to_string(i) + ".ID=" + std::to_string(i) + "\n";
  text += "[ID0]\n";
  for (int i = 1; i <= 200; ++i) {
    text +=
        "[ID" + std::to_string(i) + "]\nPreviousID=" + std::to_string(i - 1) + "\nupsGroupSNMP=1\n";
  }
  auto r = Load(text);
  int depth = 0;
  for (const DeviceNode* n = &r->tree->root(); n->childCount() > 0; n = n->child(0)) ++depth;
  EXPECT_EQ(depth, kMaxMapDepth);
  EXPECT_FALSE(r->log.events().empty());
}

TEST(MapFileTest, InitNodeBlocksTable) {
  struct Case {
    uint8_t kind;
    int16_t commType;
    BlockKind block;
    size_t minusOneAt;
  } cases[] = {
      {kNodeSnmp, 0, BlockKind::kSnmp, 240},     {kNodeSerial, 0, BlockKind::kAscii, 264},
      {kNodeSerial, 1, BlockKind::kBinary, 280}, {kNodeSerial, 2, BlockKind::kModbus, 264},
      {kNodeSerial, 3, BlockKind::kModbus, 264}, {kNodeSerial, 4, BlockKind::kAscii, 264},
      {kNodeSerial, 5, BlockKind::kModbus, 264}, {kNodeSerial, 6, BlockKind::kModbus, 264},
      {kNodeSerial, 7, BlockKind::kSensor, 16},  {kNodeSerial, 8, BlockKind::kMeter, 4},
      {kNodeGprs, 0, BlockKind::kGprs, 68},
  };
  RecordingEventLog log;
  for (const Case& c : cases) {
    DeviceTree tree;
    DeviceNode* n = Add(tree.root(), 1, c.kind, c.commType);
    InitNodeBlocks(tree, *n, MapStoreHooks{});
    SCOPED_TRACE(std::to_string(c.kind) + "/" + std::to_string(c.commType));
    int blocks = 0;
    for (size_t k = 0; k < kBlockKindCount; ++k)
      blocks += n->block(static_cast<BlockKind>(k)) ? 1 : 0;
    EXPECT_EQ(blocks, 1);
    ASSERT_NE(n->block(c.block), nullptr);
    EXPECT_EQ(n->block(c.block)->i32(c.minusOneAt), -1);
  }
  DeviceTree tree;
  DeviceNode* sensor = Add(tree.root(), 1, kNodeSerial, kCommSensor);
  DeviceNode* plc = Add(tree.root(), 2, kNodeSerial, kCommPlc);
  DeviceNode* snmp = Add(tree.root(), 3, kNodeSnmp);
  DeviceNode* sum = Add(tree.root(), 4, kNodeSerial, kCommMeterSum);
  for (DeviceNode* n : {sensor, plc, snmp, sum}) InitNodeBlocks(tree, *n, MapStoreHooks{});
  EXPECT_EQ(sensor->block(BlockKind::kSensor)->text(61, 19), "Norva Sensor");
  EXPECT_EQ(sensor->block(BlockKind::kSensor)->u16(80), 4);
  EXPECT_EQ(sensor->block(BlockKind::kSensor)->u16(84), 6);
  EXPECT_EQ(plc->block(BlockKind::kAscii)->text(994, 17), "Norva");
  EXPECT_EQ(plc->block(BlockKind::kAscii)->text(1011, 16), "PLC");
  EXPECT_EQ(snmp->mibType(), kMibMakerUps);
  EXPECT_EQ(snmp->block(BlockKind::kSnmp)->i16(884), 15);
  ASSERT_NE(sum->block(BlockKind::kMeterSum), nullptr);
  EXPECT_EQ(sum->block(BlockKind::kMeterSum)->i32(0), 0);
}

TEST(MapFileTest, MissingMapStartsUntitledAndClearsTheName) {
  TempDir dir;
  RecordingEventLog log;
  DeviceTree tree;
  Add(tree.root(), 1, kNodeGroup);
  MapStore store(dir.path(), tree, log);
  for (const char* bad : {"absent.UMF", "../etc.UMF", "a/b.UMF"}) {
    std::string name = bad;
    store.OpenMapFile(name);
    EXPECT_EQ(name, "") << bad;
    EXPECT_EQ(store.currentMapName(), "Untitled");
    EXPECT_EQ(tree.root().childCount(), 1) << "the tree is left as it is";
  }
  EXPECT_TRUE(IsDirectory(dir.file("Untitled")));
}

TEST(MapFileTest, SaveAsMovesTheMapAndReplacesTheFileFoundWithoutCase) {
  TempDir dir;
  RecordingEventLog log;
  DeviceTree tree;
  BuildSampleTree(tree, log);
  MapStore store(dir.path(), tree, log);
  std::string name;
  store.OpenMapFile(name);  // Untitled
  ASSERT_TRUE(store.SaveMapFile());
  ASSERT_TRUE(WriteFileAtomic(dir.file("Other.umf"), "stale"));

  ASSERT_TRUE(store.SaveMapFile(true, "OTHER.UMF"));
  EXPECT_EQ(store.currentMapName(), "OTHER");
  EXPECT_NE(Get(dir.file("Other.umf")), "stale");
  EXPECT_FALSE(FileExists(dir.file("OTHER.UMF"))) << "no second file beside the old one";
  EXPECT_TRUE(FileExists(dir.file("Untitled.UMF"))) << "the old map stays";
  EXPECT_TRUE(IsDirectory(dir.file("OTHER")));
  EXPECT_FALSE(IsDirectory(dir.file("Untitled"))) << "the data folder follows the map";

  EXPECT_FALSE(store.SaveMapFile(true, "../escape.UMF"));
  EXPECT_EQ(store.currentMapName(), "OTHER");
}

TEST(MapFileTest, NewMapIsSavedEmptyAndRefusesAnExistingFile) {
  TempDir dir;
  RecordingEventLog log;
  DeviceTree tree;
  BuildSampleTree(tree, log);
  MapStore store(dir.path(), tree, log);
  ASSERT_TRUE(store.NewMap("fresh"));
  EXPECT_EQ(store.currentMapName(), "fresh");
  EXPECT_EQ(tree.root().childCount(), 0);
  EXPECT_EQ(Get(dir.file("fresh.UMF")).rfind("[Main]\r\nIndex0.ID=0\r\nNumber=1\r\n[ID0]\r\n", 0),
            0u);
  EXPECT_FALSE(store.NewMap("FRESH.umf"));
}

// A process killed between writing the temp file and the rename leaves the
// old map whole.
TEST(MapFileTest, KillDuringSaveLeavesTheOldMapOrTheNewOne) {
  TempDir dir;
  RecordingEventLog log;
  DeviceTree tree;
  BuildSampleTree(tree, log);
  MapStore store(dir.path(), tree, log);
  store.setCurrentMapName("plant");
  ASSERT_TRUE(store.SaveMapFile());
  const std::string oldText = Get(dir.file("plant.UMF"));
  tree.root().child(0)->setTitle("Changed before the crash");
  const std::string newText = BuildMapText(tree.root());
  ASSERT_NE(oldText, newText);

  for (bool killFirst : {true, false}) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (killFirst) {
        store.hooks().beforeRename = [] {
          raise(SIGKILL);
          return true;
        };
      }
      _exit(store.SaveMapFile() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    if (killFirst) {
      ASSERT_TRUE(WIFSIGNALED(status));
      EXPECT_EQ(WTERMSIG(status), SIGKILL);
      EXPECT_EQ(Get(dir.file("plant.UMF")), oldText);
    } else {
      ASSERT_TRUE(WIFEXITED(status));
      EXPECT_EQ(WEXITSTATUS(status), 0);
      EXPECT_EQ(Get(dir.file("plant.UMF")), newText);
    }
    DeviceTree loaded;
    MapStore reader(dir.path(), loaded, log);
    std::string name = "plant.UMF";
    reader.OpenMapFile(name);
    EXPECT_EQ(loaded.root().childCount(), tree.root().childCount());
  }
}

TEST(MapFileTest, UpdateFormKeepsTheOldFileWhenTheWriteFails) {
  TempDir dir;
  RecordingEventLog log;
  DeviceTree tree;
  BuildSampleTree(tree, log);
  MapStore store(dir.path(), tree, log);
  store.setCurrentMapName("plant");
  ASSERT_TRUE(store.SaveMapFile());
  const std::string oldText = Get(dir.file("plant.UMF"));
  store.hooks().beforeRename = [] { return false; };
  tree.root().child(0)->setTitle("Lost");
  EXPECT_FALSE(store.SaveMapNode(*tree.root().child(0)));
  EXPECT_FALSE(store.SaveMapFile());
  EXPECT_EQ(Get(dir.file("plant.UMF")), oldText);
  EXPECT_FALSE(log.events().empty());
}

}  // namespace
}  // namespace lark
