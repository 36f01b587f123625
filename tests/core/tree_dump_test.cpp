#include "core/tree_dump.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/map_file.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "tests/support/recording_event_log.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

using test::TempDir;

TEST(TreeDumpTest, RootAndOneSnmpNodeMatchTheGoldenText) {
  TempDir dir;
  DeviceTree tree;
  auto n = std::make_unique<DeviceNode>();
  n->setId(3);
  n->setNodeKind(kNodeSnmp);
  n->setIp("10.0.0.3");
  n->setTitle("Roof, east");  // commas stand as they are
  DeviceNode* snmp = tree.root().addChild(n);
  test::RecordingEventLog log;
  InitNodeBlocks(tree, *snmp, MapStoreHooks{});
  snmp->block(BlockKind::kSnmp)->setSlot(28, 2300);  // parameter 0
  snmp->block(BlockKind::kSnmp)->setSlot(74, 10);    // parameter 36
  snmp->setPlcPointNum(0x0107);                      // only the low byte is the sensor type
  snmp->setRatingPower(0xFFFFFFFEu);                 // written signed

  const std::string golden =
      "0,0,1,0,,,0,Main,0,0,0,0,0\r\n"
      "3,0,2,0,10.0.0.3,,0,Roof, east,1,10,5,7,-2\r\n";
  EXPECT_EQ(BuildTreeMapText(tree.root()), golden);

  EXPECT_FALSE(WriteTreeMap(tree, dir.path(), "plant")) << "no folder, no file";
  EXPECT_FALSE(FileExists(dir.file("plant/Tree_Map.dat")));
  ASSERT_TRUE(MakeDirs(dir.file("plant")));
  ASSERT_TRUE(WriteTreeMap(tree, dir.path(), "plant"));
  EXPECT_EQ(ReadFile(dir.file("plant/Tree_Map.dat")).value_or(""), golden);
  EXPECT_FALSE(WriteTreeMap(tree, dir.path(), "../plant"));
}

TEST(TreeDumpTest, LinesFollowTheTreeDepthFirst) {
  DeviceTree tree;
  auto add = [](DeviceNode& parent, int16_t id, uint8_t kind) {
    auto n = std::make_unique<DeviceNode>();
    n->setId(id);
    n->setNodeKind(kind);
    n->setTitle("n" + std::to_string(id));
    return parent.addChild(n);
  };
  DeviceNode* g = add(tree.root(), 1, kNodeGroup);
  add(*g, 2, kNodeSerial)->setCommType(kCommThreePhase);
  add(tree.root(), 3, kNodeGprs);
  std::string text = BuildTreeMapText(tree.root());
  EXPECT_EQ(text,
            "0,0,1,0,,,0,Main,0,0,0,0,0\r\n"
            "1,0,1,0,,,0,n1,0,0,0,0,0\r\n"
            "2,1,0,1,,,0,n2,0,0,0,0,0\r\n"
            "3,0,3,0,,,0,n3,0,0,0,0,0\r\n");
}

std::string ListOf(const std::string& install) {
  Profile p(install + "/manager.ini");
  return p.getString("Images", "List", "<none>", 4096);
}

TEST(TreeDumpTest, ImageListLeavesOutFolders) {
  TempDir dir;
  EXPECT_EQ(BuildImageList(dir.path()), std::nullopt);
  ASSERT_TRUE(WriteProfileString(dir.file("manager.ini"), "Images", "List", "old.bmp;"));
  EXPECT_TRUE(SaveImageList(dir.path()));
  EXPECT_EQ(ListOf(dir.path()), "old.bmp;") << "a missing folder keeps the old value";

  ASSERT_TRUE(MakeDirs(dir.file("images/sub")));  // found without case
  EXPECT_TRUE(SaveImageList(dir.path()));
  EXPECT_EQ(ListOf(dir.path()), "") << "an empty folder gives an empty list";

  for (const char* f : {"b.jpg", "a.bmp", "ro.png", "semi;colon.bmp"}) {
    ASSERT_TRUE(WriteFileAtomic(dir.file(std::string("images/") + f), "x"));
  }
  chmod(dir.file("images/ro.png").c_str(), 0444);
  EXPECT_TRUE(SaveImageList(dir.path()));
  EXPECT_EQ(ListOf(dir.path()), "a.bmp;b.jpg;ro.png;");
}

TEST(TreeDumpTest, ImageListKeepsToItsBuffer) {
  TempDir dir;
  ASSERT_TRUE(MakeDirs(dir.file("Images")));
  for (int i = 0; i < 20; ++i) {
    std::string name = std::string(200, static_cast<char>('a' + i)) + ".bmp";
    ASSERT_TRUE(WriteFileAtomic(dir.file("Images/" + name), "x"));
  }
  std::optional<std::string> list = BuildImageList(dir.path());
  ASSERT_TRUE(list);
  EXPECT_LT(list->size(), kImageListBuffer);
  EXPECT_EQ(list->size(), 10u * 205u) << "only whole names";
  EXPECT_EQ(list->back(), ';');
}

}  // namespace
}  // namespace lark
