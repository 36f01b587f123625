#include "core/tray_handover.h"

#include <gtest/gtest.h>

#include "platform/key_store.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

TEST(TrayRegistryOp, KeepAliveCountsOnAndRestartsFromBadValues) {
  test::TempDir dir;
  KeyStore keys(dir.path());
  TrayRegistryOp(keys, 0, nullptr);
  struct Case {
    std::optional<std::string> before;
    std::string after;
  } cases[] = {
      {std::nullopt, "0"}, {"41", "42"},        {"abc", "0"},
      {"-5", "0"},         {"2147483647", "0"}, {" 7x", "8"},
  };
  for (const auto& c : cases) {
    if (c.before) {
      keys.write(kTrayKey, kKeepAliveValue, *c.before);
    } else {
      keys.remove(kTrayKey, kKeepAliveValue);
    }
    EXPECT_TRUE(TrayRegistryOp(keys, 2, nullptr));
    std::string read;
    EXPECT_TRUE(TrayRegistryOp(keys, 3, &read));
    EXPECT_EQ(read, c.after) << c.before.value_or("(missing)");
  }
  EXPECT_FALSE(TrayRegistryOp(keys, 6, nullptr));
}

TEST(TrayRegistryOp, CommandIsReadAndClearedInOneStep) {
  test::TempDir dir;
  KeyStore keys(dir.path());
  std::string cmd = "0";
  ASSERT_TRUE(TrayRegistryOp(keys, 4, &cmd));
  std::string got;
  EXPECT_TRUE(TrayRegistryOp(keys, 5, &got));
  EXPECT_EQ(got, "0");
  got = "stale";
  EXPECT_FALSE(TrayRegistryOp(keys, 5, &got)) << "read once";
  TrayRegistryOp(keys, 1, nullptr);
  EXPECT_FALSE(TrayRegistryOp(keys, 3, &got));
}

class TrayHandOverTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  KeyStore keys{dir.path()};
  int stops = 0;
  std::vector<std::string> reloads;
  std::string openMap = "Plant";
  TrayHandOver tray{keys,
                    {[this] {
                       ++stops;
                       return openMap;
                     },
                     [this](const std::string& f) { reloads.push_back(f); }}};

  void trayWrites(const char* command) {
    std::string c = command;
    TrayRegistryOp(keys, 4, &c);
  }
  std::string keepAlive() { return keys.read(kTrayKey, kKeepAliveValue).value_or("(none)"); }
};

TEST_F(TrayHandOverTest, StopThenStartAndKeepAliveOnlyWhileMonitoring) {
  tray.start();
  tray.onSecondTick();
  tray.onSecondTick();
  EXPECT_EQ(keepAlive(), "1");

  trayWrites("0");
  tray.onSecondTick();
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(tray.monitoringState(), kMonitoringStopped);
  EXPECT_EQ(tray.savedMapFile(), "Plant.UMF");
  EXPECT_FALSE(keys.read(kTrayKey, kTrayCommandValue)) << "the command is consumed";

  trayWrites("0");  // a second stop does nothing
  tray.onSecondTick();
  tray.onSecondTick();
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(keepAlive(), "2") << "raised on the stopping tick only";

  trayWrites("1");
  tray.onSecondTick();
  EXPECT_EQ(reloads, std::vector<std::string>{"Plant.UMF"});
  EXPECT_TRUE(tray.monitoring());
  tray.onSecondTick();
  EXPECT_EQ(keepAlive(), "3");
}

TEST_F(TrayHandOverTest, StartWhileMonitoringIsIgnored) {
  tray.start();
  tray.runCommand("1");
  EXPECT_TRUE(reloads.empty()) << "reloading would empty the tree: no map was saved";
  EXPECT_TRUE(tray.monitoring());
  tray.runCommand("7");
  tray.runCommand("x");  // not a number: counts as stop
  EXPECT_EQ(stops, 1);
}

TEST_F(TrayHandOverTest, FinishRemovesTheValues) {
  tray.start();
  tray.onSecondTick();
  tray.finish();
  EXPECT_FALSE(keys.read(kTrayKey, kKeepAliveValue));
}

}  // namespace
}  // namespace lark
