// Consoles against the real Larkcore with its default SQLite database:
// schema, login, accounts, event and operator rows read back byte-exact,
// foreign clauses refused, and a query stuck on a locked database while
// another console is answered.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/bytes.h"
#include "common/password.h"
#include "core/device_node.h"
#include "linkserver/link_frame.h"
#include "platform/paths.h"
#include "tests/support/database_fixture.h"
#include "tests/support/link_test_client.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

using V = std::vector<uint8_t>;

V Cat(V a, const V& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
V Text(const std::string& s, size_t size) {
  V v(size, 0);
  std::copy(s.begin(), s.begin() + static_cast<long>(std::min(s.size(), size)), v.begin());
  return v;
}
using test::AccountRecord;
using test::SessionUserRecord;
// The query's rows: after the sub echo, the ResultPage at 7 and its bytes.
std::string Rows(const V& reply) {
  if (reply.size() < 19) return "<no page>";
  return std::string(reply.begin() + 19, reply.end());
}

class Console {
 public:
  Console() : client_(8900) {}
  bool open() {
    if (!client_.connected()) return false;
    auto hello = client_.request(kLinkCmdHello);
    return hello && (*hello)[5] == 1;
  }
  V req(uint8_t command, const V& data = {}) {
    auto reply = client_.request(command, data);
    return reply ? *reply : V{};
  }
  bool send(uint8_t command, const V& data) {
    return client_.send(test::LinkRequestFrame(command, data));
  }
  V read() {
    auto r = client_.readFrame(8000);
    return r ? *r : V{};
  }
  // Some answer has come in and waits to be read.
  bool answerWaiting() {
    pollfd p{client_.fd(), POLLIN, 0};
    return poll(&p, 1, 0) == 1;
  }

 private:
  test::LinkTestClient client_;
};

std::string Today() {
  time_t now = time(nullptr);
  struct tm tm;
  localtime_r(&now, &tm);
  char buf[16];
  strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
  return buf;
}
V Clause(const std::string& prefix) {
  const std::string d = Today();
  std::string c = "where " + prefix + "occurdt between '" + d + " 00:00:00' and '" + d +
                  " 23:59:59' order by occurdt asc";
  V v(c.begin(), c.end());
  v.push_back(0);
  return v;
}

class DatabaseConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
    std::filesystem::copy(test::SourcePath("data/English"), dir.file("English"),
                          std::filesystem::copy_options::recursive);
    std::ofstream(dir.file("manager.ini")) << "[Database]\r\nEnable=Yes\r\n";
    service = std::make_unique<test::ServiceProcess>(dir.path());
    ASSERT_TRUE(service->start());
    ASSERT_TRUE(service->waitForOutput("running on", 30000)) << service->output();
  }
  test::TempDir dir;
  std::unique_ptr<test::ServiceProcess> service;
};

TEST_F(DatabaseConsoleTest, SchemaLoginAccountsAndLogRows) {
  Console c;
  ASSERT_TRUE(c.open());
  V r = c.req(kLinkCmdUserDatabase, {2});
  ASSERT_EQ(r.size(), 7u + 68);
  EXPECT_EQ(r[7], 1);  // enabled
  EXPECT_EQ(r[8], 2);  // connected
  // A meter in the tree gets its history table with the schema.
  ASSERT_EQ(c.req(kLinkCmdAddNode, {kNodeSerial, 0, 0})[5], 25);
  V props(kDeviceNodeSize, 0);
  putI16(props, node_off::kCommType, kCommMeter);
  putStr(props, node_off::kTitle, node_off::kTitleSize, "O'Br\\ien");
  putStr(props, node_off::kCom, node_off::kComSize, "C'1");
  ASSERT_EQ(c.req(kLinkCmdSetNodeProperties, Cat({0, 0, 1}, props))[5], 27);
  EXPECT_EQ(c.req(kLinkCmdUserDatabase, {9})[5], 23);
  std::string tables;
  test::RunProgram({"/usr/bin/sqlite3", "-cmd", ".timeout 20000", dir.file("ups.db"), ".tables"},
                   tables);
  EXPECT_NE(tables.find("histmeter_1"), std::string::npos) << tables;
  // A map save refills the tree's copy; the reply does not wait for it.
  EXPECT_EQ(c.req(kLinkCmdSaveMap, Cat({1}, Text("Plant", 256)))[5], 15);
  std::string treeRows;
  for (int i = 0; i < 50 && treeRows.find("O'Br") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    test::RunProgram({"/usr/bin/sqlite3", "-cmd", ".timeout 20000", dir.file("ups.db"),
                      "select objid, grpid, title, com from tree_map order by objid"},
                     treeRows);
  }
  EXPECT_EQ(treeRows, "0|0|Main|\n1|0|O'Br\\ien|C'1\n");
  EXPECT_EQ(c.req(kLinkCmdUserDatabase, {9})[5], 24);  // every table is there already

  const std::string admin = EncodePassword("kellomar");
  r = c.req(kLinkCmdUserDatabase, Cat({7}, SessionUserRecord("admin", admin)));
  ASSERT_EQ(r[5], 23);
  EXPECT_EQ(r.back(), 1);  // supervisor
  EXPECT_EQ(c.req(kLinkCmdUserDatabase, Cat({7}, SessionUserRecord("admin' --", "x")))[5], 24);

  const std::string odd = "O'Br\\ien";
  EXPECT_EQ(c.req(kLinkCmdUserDatabase, Cat({14}, AccountRecord(odd, "pw", 2)))[5], 23);
  EXPECT_EQ(c.req(kLinkCmdUserDatabase, Cat({14}, AccountRecord("nolevel", "pw", 0)))[5], 24);
  EXPECT_EQ(c.req(kLinkCmdUserDatabase, Cat({14}, AccountRecord("toohigh", "pw", 4)))[5], 24);
  r = c.req(kLinkCmdUserDatabase, {13, 0});
  ASSERT_EQ(r[5], 23);
  EXPECT_NE(Rows(r).find(odd + "\t" + odd + "\t\t2\t"), std::string::npos) << Rows(r);
  EXPECT_EQ(c.req(kLinkCmdUserDatabase, Cat({13}, Text("where 1=1", 10)))[5], 24);
  const std::string all = Rows(r);
  // A changed password logs in, the old one no longer.
  EXPECT_EQ(c.req(kLinkCmdUserDatabase, Cat({11}, SessionUserRecord(odd, "n'ew")))[5], 23);
  V login = c.req(kLinkCmdUserDatabase, Cat({7}, SessionUserRecord(odd, "n'ew")));
  ASSERT_EQ(login[5], 23);
  EXPECT_EQ(login.back(), 2);
  EXPECT_EQ(c.req(kLinkCmdUserDatabase, Cat({7}, SessionUserRecord(odd, "pw")))[5], 24);
  // Later pieces of the last result, and none past its end (the login's
  // answer is no query).
  V page(12, 0);
  putU32(page, 4, 3);
  putU32(page, 8, 5);
  EXPECT_EQ(Rows(c.req(kLinkCmdUserDatabase, Cat({12}, page))), all.substr(3, 5));
  putU32(page, 4, static_cast<uint32_t>(all.size()));
  EXPECT_EQ(c.req(kLinkCmdUserDatabase, Cat({12}, page))[5], 24);
  // A console cannot say the database is connected.
  EXPECT_EQ(c.req(kLinkCmdUserDatabase, Cat({3}, SessionUserRecord("", "", 2)))[5], 24);

  // An event from a console and an operator record: rows with the same texts.
  V event(4 * 3, 0);
  putU32(event, 0, 42);
  putU32(event, 4, 1);
  putU32(event, 8, 7);
  EXPECT_EQ(c.req(kLinkCmdEventLog, Cat(Cat({1}, event), Text(odd, 256)))[5], 21);
  V op(6, 0);
  putU32(op, 0, 1);
  putU16(op, 4, 200);  // no message text: the detail alone
  EXPECT_EQ(c.req(kLinkCmdEventLog, Cat(Cat({0}, op), Text(odd, 258)))[5], 21);

  std::string rows;
  for (int i = 0; i < 50 && rows.find(odd) == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    rows = Rows(c.req(kLinkCmdEventLog, Cat({4}, Clause("ups_id=42 and "))));
  }
  EXPECT_NE(rows.find("42\t" + Today()), std::string::npos) << rows;
  EXPECT_NE(rows.find("\t1\t7\t" + odd + "\n"), std::string::npos) << rows;
  for (int i = 0;
       i < 50 &&
       (rows = Rows(c.req(kLinkCmdEventLog, Cat({2}, Clause(""))))).find(odd) == std::string::npos;
       ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(rows.substr(0, odd.size() + 1), odd + "\t");  // the slot's account
  EXPECT_NE(rows.find("\t1\t" + odd + "\n"), std::string::npos) << rows;

  // A console's disconnect (the supervisor's): the next ticks connect again.
  ASSERT_EQ(c.req(kLinkCmdUserDatabase, Cat({7}, SessionUserRecord("admin", admin)))[5], 23);
  EXPECT_EQ(c.req(kLinkCmdUserDatabase, {6})[5], 23);
  for (int i = 0; i < 50 && c.req(kLinkCmdUserDatabase, {2})[8] != 2; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(c.req(kLinkCmdUserDatabase, {2})[8], 2);

  // Clauses in no console's shape get the failure code.
  EXPECT_EQ(c.req(kLinkCmdEventLog, Cat({4}, Text("where 1=1; drop table usr", 30)))[5], 22);
  EXPECT_EQ(c.req(kLinkCmdEventLog, Cat({2}, Clause("ups_id=1 and ")))[5], 22);

  // New settings from a console: a text cannot add a line to manager.ini.
  // (The disconnect logged every session out.)
  ASSERT_EQ(c.req(kLinkCmdUserDatabase, Cat({7}, SessionUserRecord("admin", admin)))[5], 23);
  // (Read first, as a console does: the backup folders stay as they are.)
  const V read = c.req(kLinkCmdUserDatabase, {0});
  ASSERT_EQ(read.size(), 7u + 906);
  V settings(read.begin() + 7, read.end());
  std::fill(settings.begin() + 1, settings.begin() + 66, 0);
  settings[0] = 1;
  const std::string dsn = "Plant\r\nEnable=No";
  std::copy(dsn.begin(), dsn.end(), settings.begin() + 1);
  EXPECT_EQ(c.req(kLinkCmdUserDatabase, Cat({1}, settings))[5], 23);
  const std::string ini = ReadFile(dir.file("manager.ini")).value_or("");
  EXPECT_NE(ini.find("ODBC.Source=Plant\r\n"), std::string::npos) << ini;
  EXPECT_EQ(ini.find("\nEnable=No"), std::string::npos) << ini;
  EXPECT_EQ(service->stop(SIGTERM), 0) << service->output();
}

TEST_F(DatabaseConsoleTest, AStuckQueryDoesNotHoldOtherConsoles) {
  Console a;
  ASSERT_TRUE(a.open());
  ASSERT_EQ(a.req(kLinkCmdUserDatabase, {9})[5], 23);
  // An outside sqlite3 holds the file locked from when it has written the
  // file "locked" until the test writes a line into the pipe "hold".
  ASSERT_EQ(mkfifo(dir.file("hold").c_str(), 0600), 0);
  const std::string script =
      "begin exclusive; insert into op_log VALUES('x', '2024-01-01 "
      "00:00:00', 0, 'lock');\n.shell touch " +
      dir.file("locked") + "\n.shell read line < " + dir.file("hold") + "\ncommit;\n";
  std::ofstream(dir.file("lock.sql")) << script;
  std::string out;
  std::thread locker([&] {
    test::RunProgram(
        {"/bin/sh", "-c", "sqlite3 " + dir.file("ups.db") + " < " + dir.file("lock.sql")}, out);
  });
  ASSERT_TRUE(test::Eventually([&] { return std::filesystem::exists(dir.file("locked")); }, 30000));
  ASSERT_TRUE(a.send(kLinkCmdEventLog, Cat({4}, Clause(""))));
  Console b;
  EXPECT_TRUE(b.open());
  EXPECT_FALSE(a.answerWaiting()) << "the second console was answered only after the query";
  V r = a.read();
  ASSERT_GE(r.size(), 6u);
  EXPECT_EQ(r[5], 22);                        // the database did not answer in time
  std::ofstream(dir.file("hold")) << "go\n";  // opens once the locker waits on it
  // The session goes on afterwards.
  EXPECT_EQ(a.req(kLinkCmdUserDatabase, {2})[5], 23);
  locker.join();
  EXPECT_EQ(service->stop(SIGTERM), 0) << service->output();
}

// An event table name that is not a plain name: no connection, one line.
TEST_F(DatabaseConsoleTest, BadEventTableNameIsNotConnected) {
  ASSERT_EQ(service->stop(SIGTERM), 0);
  std::filesystem::remove(dir.file("ups.db"));
  std::ofstream(dir.file("manager.ini"))
      << "[Database]\r\nEnable=Yes\r\nODBC.LogTblName=log;drop table usr\r\n";
  service = std::make_unique<test::ServiceProcess>(dir.path());
  ASSERT_TRUE(service->start());
  ASSERT_TRUE(service->waitForOutput("running on", 30000)) << service->output();
  // The listener of a restarted service may need a few of its retries.
  std::unique_ptr<Console> c;
  ASSERT_TRUE(
      test::Eventually([&] { return (c = std::make_unique<Console>())->open(); }, 15000, 100));
  auto logged = [&] {
    size_t count = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path())) {
      if (e.path().filename() != "Event.log") continue;
      std::string log = ReadFile(e.path().string()).value_or("");
      for (size_t at = 0; (at = log.find("not a plain table name", at)) != std::string::npos; ++at)
        ++count;
    }
    return count;
  };
  ASSERT_TRUE(test::Eventually([&] { return logged() > 0; }, 30000));
  // Time for the later ticks to log it again: a bound a slow machine can
  // only make pass more easily.
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  EXPECT_EQ(c->req(kLinkCmdUserDatabase, {2})[8], 0);
  EXPECT_EQ(logged(), 1u);
  EXPECT_FALSE(std::filesystem::exists(dir.file("ups.db")));
  EXPECT_EQ(service->stop(SIGTERM), 0) << service->output();
}

// Event.log lines of `number`, each as the event row it must have:
// "number<TAB>yyyy-mm-dd hh:mm:ss<TAB>level<TAB>code<TAB>text\n".
std::vector<std::string> EventLogRows(const std::string& dir, const std::string& number) {
  std::vector<std::string> rows;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
    if (e.path().filename() != "Event.log") continue;
    std::ifstream in(e.path());
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind(number + "\t", 0) != 0) continue;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::vector<std::string> f;
      for (size_t at = 0;;) {
        size_t tab = line.find('\t', at);
        f.push_back(line.substr(at, tab - at));
        if (tab == std::string::npos) break;
        at = tab + 1;
      }
      if (f.size() != 6) continue;
      std::replace(f[1].begin(), f[1].end(), '/', '-');
      rows.push_back(number + "\t" + f[1] + " " + f[2] + "\t2\t9\t" + f[5] + "\n");
    }
  }
  return rows;
}

std::string EventLogText(const std::string& dir) {
  std::string all;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
    if (e.path().filename() == "Event.log") all += ReadFile(e.path().string()).value_or("");
  return all;
}

V Event(int number, const std::string& text) {
  V event(12, 0);
  putU32(event, 0, static_cast<uint32_t>(number));
  putU32(event, 4, 2);
  putU32(event, 8, 9);
  return Cat(Cat({1}, event), Text(text, 256));
}

// Larkcore restarted on the shared PostgreSQL cluster; a console greeted.
std::unique_ptr<Console> RestartOnPostgres(std::unique_ptr<test::ServiceProcess>& service,
                                           const test::TempDir& dir, test::PostgresCluster& pg) {
  EXPECT_EQ(service->stop(SIGTERM), 0);
  std::ofstream(dir.file("manager.ini")) << "[Database]\r\nEnable=Yes\r\nODBC.Source=" << pg.dsn()
                                         << "\r\nODBC.Account=" << pg.user() << "\r\n";
  service = std::make_unique<test::ServiceProcess>(dir.path());
  EXPECT_TRUE(service->start());
  EXPECT_TRUE(service->waitForOutput("running on", 30000)) << service->output();
  std::unique_ptr<Console> c;
  test::Eventually([&] { return (c = std::make_unique<Console>())->open(); }, 15000, 100);
  return c;
}

// A table locked from psql holds one console's query; another console is
// answered meanwhile. A foreign clause never reaches the server.
TEST_F(DatabaseConsoleTest, PostgresLockedTableAndForeignClauses) {
  std::string why;
  test::PostgresCluster* pg = test::PostgresCluster::Shared(&why);
  if (!pg) GTEST_SKIP() << why;
  std::unique_ptr<Console> a = RestartOnPostgres(service, dir, *pg);
  ASSERT_EQ(a->req(kLinkCmdUserDatabase, {9})[5], 23);
  EXPECT_EQ(a->req(kLinkCmdEventLog, Cat({4}, Text("where 1=1; drop table usr", 30)))[5], 22);
  EXPECT_EQ(a->req(kLinkCmdUserDatabase, Cat({13}, Text("where level<>99", 20)))[5], 24);
  EXPECT_EQ(pg->serverLog().find("drop table usr"), std::string::npos);
  EXPECT_EQ(pg->serverLog().find("level<>99"), std::string::npos);

  // With a data source the event table is "log". An outside session holds it
  // locked until the test lets it go.
  ASSERT_TRUE(
      pg->psql("create table if not exists release_lock (x int); delete from release_lock"));
  const int locker = pg->psqlInBackground(
      "begin;\nlock table log in access exclusive mode;\n"
      "do $$ begin while not exists (select 1 from release_lock) loop perform pg_sleep(0.05); end "
      "loop; "
      "end $$;\ncommit;\n");
  ASSERT_GT(locker, 0);
  ASSERT_TRUE(test::Eventually(
      [&] {
        return pg->psql(
            "select 1 / (select count(*) from pg_locks where relation = 'log'::regclass and "
            "granted)::int");
      },
      30000, 100));
  ASSERT_TRUE(a->send(kLinkCmdEventLog, Cat({4}, Clause(""))));
  Console b;
  EXPECT_TRUE(b.open());
  EXPECT_FALSE(a->answerWaiting()) << "the second console was answered only after the query";
  V r = a->read();
  EXPECT_TRUE(pg->psql("insert into release_lock values (1)"));
  int status = 0;
  waitpid(locker, &status, 0);
  ASSERT_GE(r.size(), 6u);
  EXPECT_EQ(r[5], 22);
  EXPECT_EQ(a->req(kLinkCmdUserDatabase, {2})[5], 23);
  EXPECT_EQ(service->stop(SIGTERM), 0) << service->output();
}

// PostgreSQL stopped while events come: S_2 when the service finds it gone,
// S_3 when it is back, and every Event.log line has its row, same time.
TEST_F(DatabaseConsoleTest, EventRowsSurvivePostgresStopped) {
  std::string why;
  test::PostgresCluster* pg = test::PostgresCluster::Shared(&why);
  if (!pg) GTEST_SKIP() << why;
  std::unique_ptr<Console> c = RestartOnPostgres(service, dir, *pg);
  ASSERT_EQ(c->req(kLinkCmdUserDatabase, {9})[5], 23);
  // (Asking for a fresh connection below is the supervisor's.)
  ASSERT_EQ(c->req(kLinkCmdUserDatabase,
                   Cat({7}, SessionUserRecord("admin", EncodePassword("kellomar"))))[5],
            23);
  EXPECT_EQ(c->req(kLinkCmdEventLog, Event(88, "before"))[5], 21);
  // The next row in a later second keeps the order by time: a floor, not a bet.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_TRUE(pg->stop());
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(c->req(kLinkCmdEventLog, Event(88, "away " + std::to_string(i)))[5], 21);
    // Rows a second apart keep their order by time: a floor, not a bet.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  }
  for (int i = 0; i < 50 && c->req(kLinkCmdUserDatabase, {2})[8] == 2; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_NE(c->req(kLinkCmdUserDatabase, {2})[8], 2);
  ASSERT_TRUE(pg->restart());
  // A console asks for the connection at once instead of the next minute.
  EXPECT_EQ(c->req(kLinkCmdUserDatabase, Cat({3}, SessionUserRecord("", "", 0)))[5], 23);
  std::string rows;
  for (int i = 0; i < 100; ++i) {
    V r = c->req(kLinkCmdEventLog, Cat({4}, Clause("ups_id=88 and ")));
    if (r.size() > 5 && r[5] == 21) rows = Rows(r);
    if (std::count(rows.begin(), rows.end(), '\n') == 4) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  const std::vector<std::string> lines = EventLogRows(dir.path(), "88");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(rows, lines[0] + lines[1] + lines[2] + lines[3]);
  const std::string log = EventLogText(dir.path());
  EXPECT_NE(log.find("Database connection failed"), std::string::npos) << log;
  // Connected at start and again after the outage.
  EXPECT_NE(log.rfind("Database connected"), log.find("Database connected")) << log;
  EXPECT_EQ(service->stop(SIGTERM), 0) << service->output();
}

// Rows of events logged while an outside sqlite3 holds the file longer than
// the driver waits: each Event.log line gets its row, with the same time.
TEST_F(DatabaseConsoleTest, EventRowsSurviveALockedDatabase) {
  Console c;
  ASSERT_TRUE(c.open());
  ASSERT_EQ(c.req(kLinkCmdUserDatabase, {9})[5], 23);
  std::ofstream(dir.file("lock.sql")) << "begin exclusive; insert into op_log VALUES('x', "
                                         "'2024-01-01 00:00:00', 0, 'lock');\n.shell touch " +
                                             dir.file("locked") + "\n.shell sleep 8\ncommit;\n";
  std::string out;
  std::thread locker([&] {
    test::RunProgram(
        {"/bin/sh", "-c", "sqlite3 " + dir.file("ups.db") + " < " + dir.file("lock.sql")}, out);
  });
  ASSERT_TRUE(test::Eventually([&] { return std::filesystem::exists(dir.file("locked")); }, 30000));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(c.req(kLinkCmdEventLog, Event(77, "locked " + std::to_string(i)))[5], 21);
    // Rows a second apart keep their order by time: a floor, not a bet.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  }
  locker.join();
  std::string rows;
  for (int i = 0; i < 100; ++i) {
    V r = c.req(kLinkCmdEventLog, Cat({4}, Clause("ups_id=77 and ")));
    if (r.size() > 5 && r[5] == 21) rows = Rows(r);
    if (std::count(rows.begin(), rows.end(), '\n') == 3) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  const std::vector<std::string> lines = EventLogRows(dir.path(), "77");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(rows, lines[0] + lines[1] + lines[2]);
  EXPECT_EQ(service->stop(SIGTERM), 0) << service->output();
}

}  // namespace
}  // namespace lark
