// The history folder a console may set and the files it may download from it.
#include "linkserver/data_root.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

TEST(HistoryDirectory, OnlyAWritablePlainFolderOutsideTheSystemsOwn) {
  test::TempDir dir;
  ASSERT_TRUE(MakeDirs(dir.file("hist")));
  ASSERT_TRUE(MakeDirs(dir.file("state/larkcore")));
  ASSERT_EQ(symlink(dir.file("hist").c_str(), dir.file("link").c_str()), 0);
  ASSERT_TRUE(WriteFileAtomic(dir.file("file"), "x"));
  ASSERT_TRUE(MakeDirs(dir.file("shared")));
  ASSERT_EQ(chmod(dir.file("shared").c_str(), 0777), 0);
  ASSERT_TRUE(MakeDirs(dir.file("sticky")));
  ASSERT_EQ(chmod(dir.file("sticky").c_str(), 01777), 0);
  struct Case {
    std::string dir;
    bool ok;
  } cases[] = {
      {dir.file("hist"), true},
      {dir.file("shared"), false},  // others could plant links there
      {dir.file("sticky"), true},
      {dir.file("hist") + "/", true},
      {"/etc", false},
      {"/", false},
      {"/usr/share", false},
      {"/proc/self", false},
      {"/var/lib", false},
      {"relative/dir", false},
      {"hist", false},
      {dir.file("link"), false},          // the folder is a link
      {dir.file("link") + "/..", false},  // through a link and back
      {dir.file("hist") + "/../hist", false},
      {dir.file("missing"), false},
      {dir.file("file"), false},
      {"", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(!HistoryDirectoryProblem(c.dir, dir.file("state")).has_value(), c.ok) << c.dir;
  }
  // A folder the service cannot write: only meaningful without root's rights.
  if (geteuid() != 0) {
    ASSERT_TRUE(MakeDirs(dir.file("ro")));
    chmod(dir.file("ro").c_str(), 0555);
    EXPECT_TRUE(HistoryDirectoryProblem(dir.file("ro"), "").has_value());
  }
}

TEST(BackupDirectory, AFolderToBeMadeTakesTheRuleOfItsNearestExistingFolder) {
  test::TempDir dir;
  ASSERT_TRUE(MakeDirs(dir.file("backup")));
  ASSERT_TRUE(MakeDirs(dir.file("elsewhere")));
  ASSERT_EQ(symlink(dir.file("elsewhere").c_str(), dir.file("link").c_str()), 0);
  ASSERT_EQ(symlink(dir.file("gone").c_str(), dir.file("dangling").c_str()), 0);
  ASSERT_TRUE(WriteFileAtomic(dir.file("file"), "x"));
  struct Case {
    std::string dir;
    bool ok;
  } cases[] = {
      {dir.file("backup"), true},
      {dir.file("backup") + "/upslog/", true},
      {dir.file("new/oplog/2026"), true},
      {"/etc/cron.d", false},
      {"/etc/larkcore-new/backup", false},
      {"/new-top-folder", false},
      {"/var/lib/other/x", false},
      {"relative/upslog", false},
      {"", false},
      {dir.file("link") + "/upslog", false},
      {dir.file("dangling") + "/upslog", false},
      {dir.file("new/../../etc"), false},
      {dir.file("new//x"), false},
      {dir.file("file") + "/upslog", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(!BackupDirectoryProblem(c.dir, dir.file("state")).has_value(), c.ok) << c.dir;
  }
}

TEST(DataRootFiles, OnlyTheLogMonthAndAccumulatorFilesOfAMap) {
  auto isMap = [](std::string_view folder) { return folder == "Site"; };
  struct Case {
    const char* name;
    bool ok;
  } cases[] = {
      {"Site/Event.log", true},
      {"Site/event.LOG", true},
      {"Site/12/2026/3.DAT", true},
      {"Site/12/2026/12.DAT.txt", true},
      {"Site/AccInverter_7.DAT", true},
      {"Site/AccSensor_7.DAT.txt", true},
      {"Other/Event.log", false},  // not a map
      {"Site/Tree_Map.dat", false},
      {"Site/passwd", false},
      {"Site/shadow", false},
      {"Site", false},
      {"Event.log", false},
      {"Site/12/2026/13.DAT", false},
      {"Site/12/2026/0.DAT", false},
      {"Site/12/26/3.DAT", false},
      {"Site/x/2026/3.DAT", false},
      {"Site/12/2026/3.DAT.bak", false},
      {"Site/AccInverter_.DAT", false},
      {"Site/AccInverter_-1.DAT", false},
      {"Site/12/2026/3.DAT/x", false},
      {"Site/Event.log/x", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsDataRootFileName(c.name, isMap), c.ok) << c.name;
}

}  // namespace
}  // namespace lark
