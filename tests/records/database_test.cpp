#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "common/password.h"
#include "common/sql_text.h"
#include "records/database_tables.h"
#include "records/database_thread.h"
#include "tests/support/database_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

using test::PostgresCluster;
using test::TempDir;

const WallTime kFeb29{2024, 2, 29, 4, 4, 13, 5, 0};  // a Thursday

class DatabaseDrivers : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    source_.logTable = "obj_log";
    source_.defaultFile = dir_.file("ups.db");
    if (std::string(GetParam()) == "PostgreSQL") {
      std::string why;
      PostgresCluster* pg = PostgresCluster::Shared(&why);
      if (!pg) GTEST_SKIP() << why;
      source_.source = pg->dsn();
      source_.account = pg->user();
      pg_ = pg;
    }
    std::string error;
    ASSERT_TRUE(db_.connect(source_.source, source_.account, "", source_.defaultFile, &error))
        << error;
  }
  std::string select(const std::string& sql) {
    OdbcResult r;
    EXPECT_TRUE(db_.query(sql, r)) << sql << ": " << db_.lastError();
    return r.text;
  }

  TempDir dir_;
  PostgresCluster* pg_ = nullptr;
  DatabaseSource source_;
  OdbcConnection db_;
  UpsTables tables_{db_, "obj_log"};
};

TEST_P(DatabaseDrivers, SchemaOnceThenEveryStepFails) {
  auto history = [] { return true; };
  EXPECT_EQ(tables_.CreateDatabase(kFeb29, history), 0u) << db_.lastError();
  EXPECT_EQ(tables_.CreateDatabase(kFeb29, [] { return false; }), 124u);
  // The supervisor is there once, level 1, with the stored password.
  EXPECT_EQ(tables_.CheckLogin("admin", EncodePassword("kellomar")), 1);
  EXPECT_EQ(select("select account, level from usr"), "admin\t1\n");
}

TEST_P(DatabaseDrivers, LoginNeedsAKnownAccountAndALoginLevel) {
  ASSERT_EQ(tables_.CreateDatabase(kFeb29, [] { return true; }), 0u);
  const std::string pw = EncodePassword("secret");
  struct Case {
    std::string account;
    int32_t storedLevel;
    std::string tried;
    int32_t expected;
  } cases[] = {
      {"viewer", 3, pw, 3},
      {"zero", 0, pw, 0},
      {"four", 4, pw, -1},
      {"negative", -1, pw, -1},
      {"wrongpw", 2, EncodePassword("other"), -1},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(tables_.InsertUser({c.account, "", pw, c.storedLevel, ""}, kFeb29));
    EXPECT_EQ(tables_.CheckLogin(c.account, c.tried), c.expected) << c.account;
  }
  EXPECT_EQ(tables_.CheckLogin("admin' --", ""), -1);
  EXPECT_EQ(tables_.CheckLogin("nobody", pw), -1);
}

TEST_P(DatabaseDrivers, TextsReadBackByteExact) {
  ASSERT_EQ(tables_.CreateDatabase(kFeb29, [] { return true; }), 0u);
  const std::string text = "O'Br\\ien";
  const std::string withNul = std::string("O'Br\\ien\0tail", 13);
  ASSERT_TRUE(tables_.InsertEvent(7, 1, 12, text, kFeb29));
  ASSERT_TRUE(tables_.InsertEvent(8, 2, 13, withNul, kFeb29));
  ASSERT_TRUE(tables_.InsertOpLog(text, 1, withNul, kFeb29));
  ASSERT_TRUE(tables_.InsertUser({text, text, text, 2, text}, kFeb29));
  ASSERT_TRUE(tables_.UpdatePassword(text, "new'pw"));
  OdbcResult r;
  ASSERT_TRUE(tables_.SelectEvents("order by ups_id", r));
  EXPECT_EQ(r.text,
            "7\t2024-02-29 04:13:05\t1\t12\tO'Br\\ien\n"
            "8\t2024-02-29 04:13:05\t2\t13\tO'Br\\ien\n");
  ASSERT_TRUE(tables_.SelectOpLog("", r));
  EXPECT_EQ(r.text, "O'Br\\ien\t2024-02-29 04:13:05\t1\tO'Br\\ien\n");
  EXPECT_EQ(select("select real_name, password, remark from usr where level=2"),
            "O'Br\\ien\tnew'pw\tO'Br\\ien\n");
  // Texts past their column are cut there, not refused.
  ASSERT_TRUE(tables_.InsertEvent(9, 0, 1, std::string(300, 'x'), kFeb29));
  EXPECT_EQ(select("select evt_descr from obj_log where ups_id=9"), std::string(256, 'x') + "\n");
}

TEST_P(DatabaseDrivers, TreeMapMirrorsTheTree) {
  ASSERT_EQ(tables_.CreateDatabase(kFeb29, [] { return true; }), 0u);
  test::CountingPauser pauser;
  test::RecordingEndpoints endpoints;
  DeviceTree tree{pauser, endpoints};
  DeviceNode& a = test::AddSerial(tree, tree.root(), kCommAscii, "COM1", 3);
  a.setTitle("O'Br\\ien");
  test::AddSnmp(tree, tree.root(), "10.0.0.9");
  ASSERT_TRUE(tables_.ClearTreeMap());
  ASSERT_TRUE(tables_.InsertTreeMap(TreeMapRows(tree.root())));
  const std::string root = std::to_string(tree.root().id());
  const std::string rows = select("select objid, grpid, title from tree_map order by objid");
  EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 3);
  EXPECT_NE(rows.find(std::to_string(a.id()) + "\t" + root + "\tO'Br\\ien"), std::string::npos)
      << rows;
  // Refilled, not added to.
  ASSERT_TRUE(tables_.ClearTreeMap());
  ASSERT_TRUE(tables_.InsertTreeMap(TreeMapRows(tree.root())));
  EXPECT_EQ(select("select count(*) from tree_map"), "3\n");
}

TEST_P(DatabaseDrivers, ThreadKeepsRowsInOrderUntilConnected) {
  ASSERT_EQ(tables_.CreateDatabase(kFeb29, [] { return true; }), 0u);
  db_.disconnect();
  DatabaseThread thread([](DatabaseNotice) {});
  thread.start();
  WallTime t = kFeb29;
  for (int i = 0; i < 30; ++i) {
    t.second = i;
    thread.queueEvent(t, i, 2, 1000, "row " + std::to_string(i));
  }
  thread.queueOpLog(t, "admin", 1, "changed");
  EXPECT_EQ(thread.outboxSize(), 31u);  // nobody connected yet
  std::promise<bool> connected;
  thread.requestConnect(source_, [&](bool ok, const std::string&) { connected.set_value(ok); });
  ASSERT_TRUE(connected.get_future().get());
  EXPECT_EQ(thread.linkState(), kDbConnected);
  auto count = thread.call([](DatabaseSession& s) {
    OdbcResult r;
    s.db.query("select ups_id, occurdt from obj_log order by occurdt", r);
    return r.text;
  });
  for (int i = 0; i < 200 && thread.outboxSize() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(thread.outboxSize(), 0u);
  auto rows = thread
                  .call([](DatabaseSession& s) {
                    OdbcResult r;
                    s.tables.SelectEvents("order by occurdt", r);
                    return r.text;
                  })
                  .get();
  EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 30);
  EXPECT_EQ(rows.substr(0, rows.find('\n')), "0\t2024-02-29 04:13:00\t2\t1000\trow 0");
  count.get();
  thread.stop();
}

INSTANTIATE_TEST_SUITE_P(Drivers, DatabaseDrivers, ::testing::Values("SQLite", "PostgreSQL"),
                         [](const auto& info) { return std::string(info.param); });

TEST(DatabaseThreadTest, BadTableNameRefusesTheConnection) {
  TempDir dir;
  DatabaseThread thread([](DatabaseNotice) {});
  thread.start();
  std::promise<std::string> report;
  thread.requestConnect({"", "", "", "log;drop table usr", dir.file("ups.db")},
                        [&](bool ok, const std::string& detail) {
                          report.set_value((ok ? "ok " : "failed ") + detail);
                        });
  EXPECT_EQ(report.get_future().get().substr(0, 7), "failed ");
  EXPECT_EQ(thread.linkState(), kDbConnectFailed);
}

TEST(DatabaseThreadTest, FullOutboxDropsTheOldestWithOneNotice) {
  std::atomic<int> notices{0};
  DatabaseThread thread([&](DatabaseNotice n) {
    if (n == DatabaseNotice::kOutboxDropped) ++notices;
  });
  for (size_t i = 0; i < DatabaseThread::kOutboxLimit + 5; ++i)
    thread.queueEvent(kFeb29, 0, 2, 1000, "x");
  EXPECT_EQ(thread.outboxSize(), DatabaseThread::kOutboxLimit);
  EXPECT_EQ(notices.load(), 1);
}

}  // namespace
}  // namespace lark

namespace lark {
namespace {

// The server goes away while rows keep coming: each row waits with its own
// time and is stored once the connection is back.
TEST(DatabaseOutage, PostgresStoppedRowsWaitWithTheirTimes) {
  std::string why;
  PostgresCluster* pg = PostgresCluster::Shared(&why);
  if (!pg) GTEST_SKIP() << why;
  DatabaseSource source{pg->dsn(), pg->user(), "", "obj_log", ""};
  std::atomic<int> lost{0};
  DatabaseThread thread([&](DatabaseNotice n) {
    if (n == DatabaseNotice::kLinkLost) ++lost;
  });
  thread.start();
  auto connect = [&] {
    std::promise<bool> ok;
    thread.requestConnect(source, [&](bool r, const std::string&) { ok.set_value(r); });
    return ok.get_future().get();
  };
  ASSERT_TRUE(connect());
  ASSERT_EQ(thread
                .call([](DatabaseSession& s) {
                  return s.tables.CreateDatabase(kFeb29, [] { return true; });
                })
                .get(),
            0u);
  WallTime t = kFeb29;
  auto queue = [&](int from, int to) {
    for (int i = from; i < to; ++i) {
      t.second = i;
      thread.queueEvent(t, i, 2, 1000, "row " + std::to_string(i));
    }
  };
  queue(0, 5);
  for (int i = 0; i < 100 && thread.outboxSize() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(pg->stop());
  queue(5, 10);
  for (int i = 0; i < 250 && thread.linkState() == kDbConnected; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(thread.linkState(), kDbNotConnected);
  EXPECT_EQ(lost.load(), 1);
  EXPECT_FALSE(connect());  // still away
  EXPECT_EQ(thread.outboxSize(), 5u);
  ASSERT_TRUE(pg->restart());
  ASSERT_TRUE(connect());
  for (int i = 0; i < 250 && thread.outboxSize() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const std::string rows =
      thread
          .call([](DatabaseSession& s) {
            OdbcResult r;
            s.db.query("select ups_id, occurdt from obj_log order by ups_id", r);
            return r.text;
          })
          .get();
  std::string expected;
  for (int i = 0; i < 10; ++i) {
    char line[64];
    snprintf(line, sizeof line, "%d\t2024-02-29 04:13:%02d\n", i, i);
    expected += line;
  }
  EXPECT_EQ(rows, expected);
  thread.stop();
}

}  // namespace
}  // namespace lark
