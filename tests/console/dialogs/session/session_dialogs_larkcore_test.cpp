// Connect To Server and Auto-Load Configuration in the whole console against
// the built Larkcore on the demo folder, in a private network namespace with
// the broadcast routed over loopback: the first tick's search, the connect
// and hello, the download that follows by itself, and the connect dialog's
// addresses, refusals, stopped service, Cancel, the reconnection offers
// after the service was killed, and the start-up settings.
#include <QCheckBox>
#include <QComboBox>
#include <QTableView>

#include "tests/console/support/larkcore_console.h"
#include "tests/support/link_test_client.h"

namespace lark {
namespace {

using SessionDialogsLarkcore = test::SessionLarkcore;
using test::Spin;

TEST_F(SessionDialogsLarkcore, FirstTickSearchesConnectsAndTheDownloadFollowsByItself) {
  std::vector<std::string> listed;
  uint32_t connectTick = 0;
  Start("Auto Connect=0\r\n");
  onConnect = [&](ConnectDialog& d) {
    if (connectTick != 0 || !Idle(d)) return;
    auto* list = dynamic_cast<QComboBox*>(d.Control(1277));
    for (int i = 0; i < list->count(); ++i) listed.push_back(list->itemText(i).toStdString());
    listed.push_back("selected " + list->currentText().toStdString());
    connectTick = clock.tickMs();
    d.Connect();
  };
  ASSERT_TRUE(Spin([&] { return Ended(kAutoLoadConfigResource); }, 120000)) << larkcore->output();
  EXPECT_EQ(listed, (std::vector<std::string>{"LocalHost", "selected LocalHost"}));
  EXPECT_TRUE(Saw("MSG3") && Saw("MSG5") && Saw("MSG4") && Saw("MSG8") && Saw("MSG9"));
  EXPECT_EQ(results, (std::vector<std::pair<int, int>>{{146, 1}, {149, 1}}));
  EXPECT_EQ(shownNames, (std::vector<std::string>{"manager.ini", "Demo.UMF"}));
  for (const char* name : {"manager.ini", "Demo.UMF"})
    EXPECT_EQ(ReadFile(console.file(std::string("Monitor/") + name)), ReadFile(service.file(name))) << name;
  ASSERT_TRUE(Spin([&] { return link->link().state() == LinkState{7, 0}; }, 20000));
  EXPECT_GT(ctx->tree.root().childCount(), 0);
  EXPECT_GT(w->groupList()->model()->rowCount(), 0);
}

TEST_F(SessionDialogsLarkcore, AutoConnectConnectsAtOnceWithoutSearching) {
  Start("Auto Connect=1\r\nServer IP=LocalHost\r\n");
  ASSERT_TRUE(Spin([&] { return Ended(kAutoLoadConfigResource); }, 120000)) << larkcore->output();
  EXPECT_EQ(results, (std::vector<std::pair<int, int>>{{146, 1}, {149, 1}}));
  EXPECT_FALSE(Saw("MSG3"));
  EXPECT_TRUE(Saw("MSG9"));
}

TEST_F(SessionDialogsLarkcore, ConnectAddresses) {
  struct Case {
    std::string typed;
    bool clearList;
    int result;
    std::string server;  // where the link went; "" for a refusal
  };
  const Case cases[] = {{"LocalHost", false, 1, "127.0.0.1"},
                        {"localhost", false, 1, "127.0.0.1"},
                        {"127.0.0.2", false, 1, "127.0.0.2"},
                        {"myhost", false, 0, ""},
                        {"", true, 0, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    Start("Auto Connect=0\r\n");
    bool clicked = false;
    onConnect = [&](ConnectDialog& d) {
      if (clicked || !Idle(d)) return;
      clicked = true;
      Type(d, 1279, c.typed);
      if (c.clearList) dynamic_cast<QComboBox*>(d.Control(1277))->setCurrentIndex(-1);
      d.Connect();
      if (c.server.empty()) {
        EXPECT_EQ(d.windowTitle().toStdString(), Msg("MSG11"));
        EXPECT_EQ(link->link().state(), (LinkState{2, 0}));
        d.reject();
      }
    };
    ASSERT_TRUE(Spin([&] { return Ended(kConnectResource); }, 120000));
    EXPECT_EQ(ResultOf(kConnectResource), c.result);
    if (!c.server.empty()) {
      EXPECT_EQ(link->link().server(), c.server);
    }
    Stop();
  }
}

TEST_F(SessionDialogsLarkcore, TenOtherSessionsRefuseTheHello) {
  std::vector<std::unique_ptr<test::LinkTestClient>> others;
  for (int i = 0; i < 10; ++i) {
    others.push_back(std::make_unique<test::LinkTestClient>(8900));
    ASSERT_TRUE(others.back()->connected());
    const auto hello = others.back()->request(kLinkCmdHello);
    ASSERT_TRUE(hello && hello->size() > 5 && (*hello)[5] == 1) << i;
  }
  Start("Auto Connect=0\r\n");
  bool clicked = false;
  LinkState atRefusal;
  bool wanted = true, buttonsBack = false;
  onConnect = [&](ConnectDialog& d) {
    if (!clicked && Idle(d)) {
      clicked = true;
      d.Connect();
    } else if (clicked && d.windowTitle().toStdString() == Msg("MSG10")) {
      atRefusal = link->link().state();
      wanted = link->link().autoConnect();
      buttonsBack = d.Control(1288)->isEnabled();
      d.reject();
    }
  };
  ASSERT_TRUE(Spin([&] { return Ended(kConnectResource); }, 120000));
  EXPECT_TRUE(Saw("MSG10")) << ::testing::PrintToString(captions);
  EXPECT_EQ(atRefusal, (LinkState{2, 0}));
  EXPECT_FALSE(wanted);
  EXPECT_TRUE(buttonsBack);
}

TEST_F(SessionDialogsLarkcore, StoppedServiceTimesOutAndCancelGivesTheConnectionUp) {
  Start("Auto Connect=0\r\n");
  awaitedPaceMs = 20;  // the time-out is the point here
  int clicks = 0;
  onConnect = [&](ConnectDialog& d) {
    if (clicks == 0 && Idle(d)) {
      ASSERT_EQ(kill(larkcore->pid(), SIGSTOP), 0);
      Type(d, 1279, "127.0.0.1");
      ++clicks;
      d.Connect();
    } else if (clicks == 1 && d.step() == ConnectDialog::Step::kNone) {
      // Timed out: the link gave the connection up; the second try is cancelled once the hello is out.
      EXPECT_EQ(d.windowTitle().toStdString(), Msg("MSG6"));
      EXPECT_EQ(link->link().state(), (LinkState{2, 0}));
      EXPECT_FALSE(link->link().autoConnect());
      ++clicks;
      d.Connect();
    } else if (clicks == 2 && d.state() == 1) {
      ++clicks;
      d.reject();
    }
  };
  ASSERT_TRUE(Spin([&] { return Ended(kConnectResource); }, 120000));
  EXPECT_EQ(ResultOf(kConnectResource), 0);
  EXPECT_EQ(link->link().state(), (LinkState{2, 0}));
  EXPECT_FALSE(link->link().autoConnect());
  // The second steps that would connect again: none does.
  for (int s = 0; s < 15; ++s) {
    clock.advance(1000);
    link->link().secondTick();
    EXPECT_EQ(link->link().mainLink().connState, kConnClosed) << s;
  }
}

TEST_F(SessionDialogsLarkcore, ALostServiceIsOfferedAgainTwiceByItselfThenLeftToTheUser) {
  Start("Auto Connect=1\r\nServer IP=LocalHost\r\n");
  ASSERT_TRUE(Running()) << larkcore->output();
  results.clear();
  awaitedPaceMs = 20;  // the attempts' time-outs are the point here
  ASSERT_EQ(larkcore->stop(SIGKILL), 128 + SIGKILL);
  // The first offer comes at the next second, whatever the clock reads.
  ASSERT_TRUE(Spin([&] { return results.size() == 1; }, 60000));
  EXPECT_EQ(link->link().reconnectAttempts(), 1u);
  link->link().secondTick();
  EXPECT_FALSE(ctx->commands.connectDialogOpen);  // the next one waits for the period
  clock.advance(180000);
  ASSERT_TRUE(Spin([&] { return results.size() == 2; }, 60000));
  EXPECT_EQ(results, (std::vector<std::pair<int, int>>{{146, 0}, {146, 0}}));
  EXPECT_TRUE(Saw("MSG6"));
  // The third stays after its failure; the service is back and the user connects.
  clock.advance(180000);
  bool third = false;
  onConnect = [&](ConnectDialog& d) {
    if (third || d.step() != ConnectDialog::Step::kNone || d.state() != 3) return;
    third = true;
    EXPECT_EQ(link->link().reconnectAttempts(), 3u);
    EXPECT_EQ(d.windowTitle().toStdString(), Msg("MSG6"));
    ASSERT_TRUE(larkcore->start());
    ASSERT_TRUE(larkcore->waitForOutput("running on", 30000)) << larkcore->output();
    Type(d, 1279, "LocalHost");
    d.Connect();
  };
  ASSERT_TRUE(Spin([&] { return Ended(kAutoLoadConfigResource); }, 120000)) << larkcore->output();
  EXPECT_TRUE(third);
  EXPECT_EQ(results, (std::vector<std::pair<int, int>>{{146, 0}, {146, 0}, {146, 1}, {149, 1}}));
  ASSERT_TRUE(Spin([&] { return link->link().state() == LinkState{7, 0}; }, 20000));
  EXPECT_GT(ctx->tree.root().childCount(), 0);
}

TEST_F(SessionDialogsLarkcore, OkStoresTheStartupSettingsAndStaysOpen) {
  struct Case {
    bool enable;
    std::string typed;
    const char* msg;
    std::string autoConnect, serverIp;  // in monitor.ini after OK
  };
  const Case cases[] = {{true, "", "MSG12", "0", "127.0.0.9"},
                        {true, "myhost", "MSG12", "0", "127.0.0.9"},
                        {true, "127.0.0.1", "MSG13", "1", "LocalHost"},
                        {false, "127.0.0.1", nullptr, "0", "LocalHost"}};
  Start("Auto Connect=0\r\nServer IP=127.0.0.9\r\n");
  bool done = false;
  onConnect = [&](ConnectDialog& d) {
    if (done || !Idle(d)) return;
    done = true;
    for (const Case& c : cases) {
      SCOPED_TRACE(c.typed);
      const std::string before = d.windowTitle().toStdString();
      dynamic_cast<QCheckBox*>(d.Control(1245))->setChecked(c.enable);
      Type(d, 1302, c.typed);
      d.Ok();
      EXPECT_EQ(d.windowTitle().toStdString(), c.msg ? Msg(c.msg) : before);
      const Profile ini = Profile(console.file("monitor.ini"));
      EXPECT_EQ(ini.getString("Startup Config", "Auto Connect", "", 16), c.autoConnect);
      EXPECT_EQ(ini.getString("Startup Config", "Server IP", "", 16), c.serverIp);
    }
    d.reject();
  };
  ASSERT_TRUE(Spin([&] { return Ended(kConnectResource); }, 120000));
  EXPECT_TRUE(done);
}

}  // namespace
}  // namespace lark
