// The service's database on a real loop: connecting on the tick, the lines
// and popups of failed and good attempts, quiet retries, and a backup missed
// while away that runs once the database is back.
#include "service/service_database.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "core/device_tree.h"
#include "core/language_texts.h"
#include "core/settings.h"
#include "tests/support/recording_event_log.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

struct Said {
  uint32_t level;
  int message;
  bool popup;
};

class ServiceDatabaseTest : public ::testing::Test {
 protected:
  ServiceDatabaseTest()
      : db_(loop_, clock_, settings_, tree_, log_, dir_.path(),
            [this](uint32_t level, int message, bool popup) {
              said_.push_back({level, message, popup});
            }) {
    settings_.databaseEnabled = 1;
    settings_.logTableName = "obj_log";
    Tree_ResetRoot(tree_);
    db_.start();
  }
  // Runs the loop until `done` holds (at most 5 s).
  template <class F>
  bool runUntil(F done) {
    for (int i = 0; i < 500 && !done(); ++i) loop_.runOnce(10);
    return done();
  }

  test::TempDir dir_;
  EventLoop loop_;
  FakeClock clock_{0, WallTime{2024, 3, 1, 5, 0, 0, 10, 0}};
  ServiceSettings settings_;
  DeviceTree tree_;
  test::RecordingEventLog log_;
  std::vector<Said> said_;
  ServiceDatabase db_;
};

TEST_F(ServiceDatabaseTest, FailuresAreLoudAtFirstThenQuiet) {
  // A folder that does not exist: SQLite cannot open the file.
  std::string missing = dir_.file("no/such");
  ServiceDatabase away(loop_, clock_, settings_, tree_, log_, missing,
                       [&](uint32_t l, int m, bool p) {
                         said_.push_back({l, m, p});
                       });
  away.start();
  away.connectAtStart();
  ASSERT_EQ(said_.size(), 1u);
  EXPECT_EQ(said_[0].message, kMsgDatabaseFailed);
  EXPECT_TRUE(said_[0].popup);
  // Each minute one more try: logged for the first ten minutes, then quiet.
  for (int minute = 1; minute <= 12; ++minute) {
    away.onMinute();
    away.onSecond();
    ASSERT_TRUE(runUntil([&] { return away.linkState() == kDbConnectFailed; }));
    loop_.runOnce(20);
  }
  EXPECT_EQ(said_.size(), 11u);
  away.stop();
}

TEST_F(ServiceDatabaseTest, BackupMissedWhileAwayRunsAtTheNextConnect) {
  std::atomic<int> backups{0};
  db_.setBackup([&](DatabaseSession&) { ++backups; });
  settings_.logTableName = "bad name";  // keeps it away, with one line
  db_.connectAtStart();
  EXPECT_EQ(db_.linkState(), kDbNotConnected);
  ASSERT_EQ(log_.events().size(), 1u);
  db_.onSecond();
  EXPECT_EQ(log_.events().size(), 1u);
  db_.noteMonthChange();
  settings_.logTableName = "obj_log";
  db_.onSecond();
  ASSERT_TRUE(runUntil([&] { return backups.load() == 1; }));
  EXPECT_EQ(db_.linkState(), kDbConnected);
  ASSERT_FALSE(said_.empty());
  EXPECT_EQ(said_.back().message, kMsgDatabaseConnected);
  // Connected at the next month change: the recorder runs that backup.
  db_.noteMonthChange();
  db_.askReconnect();
  db_.onSecond();
  ASSERT_TRUE(runUntil([&] { return db_.linkState() == kDbConnected; }));
  loop_.runOnce(50);
  EXPECT_EQ(backups.load(), 1);
  db_.stop();
}

}  // namespace
}  // namespace lark
