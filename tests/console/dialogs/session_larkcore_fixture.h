// The whole console as Larkview starts it against the built Larkcore on a
// demo copy, in a private network namespace with the broadcast routed over
// loopback. A driver timer moves the console's clock on as the loop runs
// (slower while the service is awaited), watches the Connect To Server
// dialog's captions and the download dialog's names, and hands every other
// modal dialog to the test.
#pragma once
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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
#include "tests/console/support/console_peers.h"
#include "tests/support/broadcast_route.h"
#include "tests/support/demo_install.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"

namespace lark::test {

class SessionLarkcore : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
    ASSERT_TRUE(AddLoopbackBroadcastRoute());
    ASSERT_TRUE(CopyDemoInstall(service.path()));
    BeforeServiceStarts();
    larkcore = std::make_unique<ServiceProcess>(service.path());
    ASSERT_TRUE(larkcore->start());
    ASSERT_TRUE(larkcore->waitForOutput("running on", 30000)) << larkcore->output();
    MakeDirs(console.file("English"));
    WriteFileAtomic(console.file("English/language.ini"), ReadFile(SourcePath("data/English/language.ini")).value());
  }
  void TearDown() override {
    if (larkcore) kill(larkcore->pid(), SIGCONT);
    Stop();
  }
  // The service's folder is there, the service not yet started.
  virtual void BeforeServiceStarts() {}

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
    QObject::connect(&driver, &QTimer::timeout, [this] { Drive(); });
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
    onModal = nullptr;
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
  // Started with auto-connect: the session runs once the download closed.
  bool Running() {
    return Spin([&] { return Ended(kAutoLoadConfigResource) && link->link().state() == LinkState{7, 0}; }, 120000);
  }

  TempDir service, console;
  FakeClock clock{1000};
  std::unique_ptr<ServiceProcess> larkcore;
  std::unique_ptr<ConsoleContext> ctx;
  std::unique_ptr<ConsoleLink> link;
  std::shared_ptr<ConsoleMap> map;
  std::shared_ptr<ConsoleDialogs> dialogs;
  std::unique_ptr<LarkviewWindow> w;
  QTimer driver;
  std::vector<std::pair<int, int>> results;  // resource, result
  std::vector<std::string> captions;         // of the connect dialog seen last
  QWidget* watched = nullptr;
  int modalTicks = 0;  // driver ticks of the modal dialog seen last
  static constexpr int kModalGuardTicks = 5000;
  int awaitedPaceMs = 2;  // fake ms per 20 ms driver tick while the service is awaited
  std::function<void(ConnectDialog&)> onConnect;
  // Every other modal dialog, at each driver tick while it runs.
  std::function<void(QWidget&)> onModal;
  std::vector<std::string> shownNames;  // 1285, 1286 of the download dialog

 private:
  void Drive() {
    QWidget* modal = QApplication::activeModalWidget();
    // While the service is awaited its time-outs run ten times slower than
    // real time, so a loaded machine does not make them expire.
    auto* connecting = dynamic_cast<ConnectDialog*>(modal);
    auto* other = dynamic_cast<DialogBase*>(modal);
    const bool awaited =
        (connecting && connecting->step() == ConnectDialog::Step::kConnect && connecting->state() < 2) ||
        dynamic_cast<AutoLoadConfigDialog*>(modal) != nullptr || (!connecting && other && other->waiting());
    clock.advance(awaited ? awaitedPaceMs : 20);
    const bool fresh = modal != watched;
    if (fresh) {
      watched = modal;
      modalTicks = 0;
    }
    // A guard: a dialog that never reaches what the test awaits ends, so the test fails instead of hanging.
    if (auto* d = dynamic_cast<QDialog*>(modal); d && ++modalTicks > kModalGuardTicks) {
      d->reject();
      return;
    }
    if (auto* d = dynamic_cast<ConnectDialog*>(modal)) {
      if (fresh) {
        captions = {d->windowTitle().toStdString()};  // the opening steps ran before it showed
        QObject::connect(d, &QWidget::windowTitleChanged,
                         [this](const QString& t) { captions.push_back(t.toStdString()); });
      }
      if (onConnect) onConnect(*d);
    } else if (auto* a = dynamic_cast<AutoLoadConfigDialog*>(modal)) {
      shownNames = {a->Control(1285)->property("text").toString().toStdString(),
                    a->Control(1286)->property("text").toString().toStdString()};
    } else if (modal && onModal) {
      onModal(*modal);
    }
  }
};

}  // namespace lark::test
