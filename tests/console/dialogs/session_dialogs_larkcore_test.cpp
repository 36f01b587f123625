// Connect To Server and Auto-Load Configuration in the whole console against
// the built Larkcore on the demo folder, in a private network namespace with
// the broadcast routed over loopback: the first tick's search, the connect
// and hello, the download that follows by itself, and the connect dialog's
// addresses, refusals, stopped service, Cancel and start-up settings.
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QCheckBox>
#include <QTableView>
#include <QTimer>
#include <chrono>

#include "console/dialogs/config_download.h"
#include "console/dialogs/connect_dialog.h"
#include "console/dialogs/console_dialogs.h"
#include "console/lists/console_lists.h"
#include "console/map/map_module.h"
#include "console/shell/console_link.h"
#include "console/shell/larkview.h"
#include "console/shell/main_window.h"
#include "console/shell/menu_commands.h"
#include "console/shell/menu_dispatch.h"
#include "console/tabs/detail_tabs.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "tests/support/broadcast_route.h"
#include "tests/support/demo_install.h"
#include "tests/support/link_test_client.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

bool Spin(const std::function<bool()>& done, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    if (done()) return true;
  }
  return false;
}

class SessionDialogsLarkcore : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
    ASSERT_TRUE(test::AddLoopbackBroadcastRoute());
    ASSERT_TRUE(test::CopyDemoInstall(service.path()));
    larkcore = std::make_unique<test::ServiceProcess>(service.path());
    ASSERT_TRUE(larkcore->start());
    ASSERT_TRUE(larkcore->waitForOutput("running on", 30000)) << larkcore->output();
    MakeDirs(console.file("English"));
    WriteFileAtomic(console.file("English/language.ini"),
                    ReadFile(test::SourcePath("data/English/language.ini")).value());
  }
  void TearDown() override {
    if (larkcore) kill(larkcore->pid(), SIGCONT);
    Stop();
  }

  // The console as Larkview starts it, monitor.ini's [Startup Config] given.
  void Start(const std::string& startup) {
    WriteFileAtomic(console.file("monitor.ini"), "[Startup Config]\r\n" + startup);
    ctx = std::make_unique<ConsoleContext>(console.path(), clock, WorkArea{0, 0, 1280, 800});
    ctx->messageBox = [](QWidget*, const std::string&, const std::string&, unsigned) { return int(IDOK); };
    ctx->quit = [](int) {};
    link = std::make_unique<ConsoleLink>(*ctx);
    link->Wire();
    map = InstallConsoleMap(*ctx);
    map->ConnectLink(link->link());
    InstallConsoleLists(*ctx);
    InstallDetailTabs(*ctx);
    dialogs = InstallConsoleDialogs(*ctx, *link, *map);
    ctx->dialogs.opened = [this](const DialogRegistry::Call& c) { results.emplace_back(c.resource, c.result); };
    std::string failed;
    w = StartConsole(*ctx, &failed);
    ASSERT_TRUE(w) << failed;
    InstallMenuCommands(*ctx, *w, *link);
    // Time passes on the console's clock as the driver ticks.
    driver.setInterval(20);
    QObject::connect(&driver, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      // While the service is awaited its time-outs run ten times slower than
      // real time, so a loaded machine does not make them expire.
      auto* connecting = dynamic_cast<ConnectDialog*>(modal);
      const bool awaited =
          (connecting && connecting->step() == ConnectDialog::Step::kConnect && connecting->state() < 2) ||
          dynamic_cast<AutoLoadConfigDialog*>(modal) != nullptr;
      clock.advance(awaited ? awaitedPaceMs : 20);
      if (auto* d = dynamic_cast<ConnectDialog*>(modal)) {
        if (d != watched) {
          watched = d;
          modalTicks = 0;
          captions = {d->windowTitle().toStdString()};  // the opening steps ran before it showed
          QObject::connect(d, &QWidget::windowTitleChanged,
                           [this](const QString& t) { captions.push_back(t.toStdString()); });
        }
        if (onConnect) onConnect(*d);
        // A guard: a dialog that never reaches what the test awaits ends, so the test fails instead of hanging.
        if (++modalTicks > kModalGuardTicks) d->reject();
      } else if (auto* a = dynamic_cast<AutoLoadConfigDialog*>(modal)) {
        shownNames = {a->Control(1285)->property("text").toString().toStdString(),
                      a->Control(1286)->property("text").toString().toStdString()};
      }
    });
    driver.start();
  }
  void Stop() {
    driver.stop();
    if (ctx) ctx->dialogs.EndRunningDialogs();
    if (w) {
      w->SendCommand(IDM_EXIT);
      ShutdownConsole(*ctx, *w);
    }
    w.reset();
    dialogs.reset();
    map.reset();
    link.reset();
    ctx.reset();
    results.clear();
    captions.clear();
    watched = nullptr;
    onConnect = nullptr;
  }

  std::string Msg(const char* key) const {
    const Profile lang = Profile(console.file("English/language.ini"));
    return "Connection - " + lang.getString("Dialog-ConnToServ", key, "", 1024);
  }
  bool Saw(const char* key) const { return std::count(captions.begin(), captions.end(), Msg(key)) > 0; }
  bool Ended(int resource) const {
    return std::any_of(results.begin(), results.end(), [&](auto r) { return r.first == resource; });
  }
  int ResultOf(int resource) const {
    for (auto [r, result] : results)
      if (r == resource) return result;
    return -100;
  }
  // The first tick's search is over and nothing else runs.
  static bool Idle(ConnectDialog& d) { return d.step() == ConnectDialog::Step::kNone && d.state() == 2; }
  static void Type(ConnectDialog& d, int id, const std::string& text) {
    dynamic_cast<QLineEdit*>(d.Control(id))->setText(QString::fromStdString(text));
  }

  test::TempDir service, console;
  FakeClock clock{1000};
  std::unique_ptr<test::ServiceProcess> larkcore;
  std::unique_ptr<ConsoleContext> ctx;
  std::unique_ptr<ConsoleLink> link;
  std::shared_ptr<ConsoleMap> map;
  std::shared_ptr<ConsoleDialogs> dialogs;
  std::unique_ptr<LarkviewWindow> w;
  QTimer driver;
  std::vector<std::pair<int, int>> results;  // resource, result
  std::vector<std::string> captions;         // of the connect dialog seen last
  ConnectDialog* watched = nullptr;
  int modalTicks = 0;  // driver ticks of the connect dialog seen last
  static constexpr int kModalGuardTicks = 5000;
  int awaitedPaceMs = 2;  // fake ms per 20 ms driver tick while the service is awaited
  std::function<void(ConnectDialog&)> onConnect;
  std::vector<std::string> shownNames;  // 1285, 1286 of the download dialog
};

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
