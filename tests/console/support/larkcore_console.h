// A console connected to the built Larkcore: the service on a copy of the
// demo install folder in a private network namespace, the console on a
// folder of its own, started as Larkview starts it and linked to the service
// over the network until the session runs (state 7); TearDown ends the
// console through Exit, then the service, then the simulators.
//
// A suite says what differs in its constructor (the members under "What a
// suite chooses") and in the hooks; a suite that starts the service or the
// console later, from its cases, overrides SetUp and calls the steps itself.
#pragma once
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "console/diagram/diagram_module.h"
#include "console/dialogs/session/config_download.h"
#include "console/dialogs/session/connect_dialog.h"
#include "console/dialogs/console_dialogs.h"
#include "console/lists/console_lists.h"
#include "console/map/map_module.h"
#include "console/shell/console_link.h"
#include "console/shell/larkview.h"
#include "console/shell/main_window.h"
#include "console/shell/menu_commands.h"
#include "console/shell/menu_dispatch.h"
#include "console/tabs/detail_tabs.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "tests/console/support/console_peers.h"
#include "tests/support/broadcast_route.h"
#include "tests/support/demo_install.h"
#include "tests/support/mountns.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/shmns.h"
#include "tests/support/temp_dir.h"

namespace lark::test {

class LarkcoreConsole : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(Prepare());
    if (IsSkipped()) return;
    ASSERT_NO_FATAL_FAILURE(StartService());
    ASSERT_NO_FATAL_FAILURE(StartConsole());
  }
  void TearDown() override {
    if (larkcore) kill(larkcore->pid(), SIGCONT);  // a stopped service ends too
    StopConsole();
    if (larkcore) larkcore->stop(SIGTERM);
    larkcore.reset();
    simulators.clear();
  }

  // --- What a suite chooses, in its constructor.
  int demoNodes = 3;     // the demo map's nodes kept
  bool polled = true;    // false: every device stopped, its block as loaded
  bool privateShm = false;     // a /dev/shm of its own
  bool privateMounts = false;  // a mount namespace of its own (read-only folders)
  bool broadcast = false;      // the server search's broadcast routed over loopback
  std::vector<std::string> serviceEnv;  // more of the service's environment, "NAME=value"
  bool realTime = false;  // the console on the wall clock rather than on `clock`
  WorkArea workArea{0, 0, 1280, 800};
  bool withMap = false, withLists = false, withTabs = false, withDiagram = false;
  bool withMenu = false;  // the menu's commands, once the window is up
  // Where the link goes; a loopback address other than 127.0.0.1 keeps the
  // console off the shared memory, as on another computer. Null: not linked.
  const char* server = "127.0.0.2";

  // --- Hooks.
  // Files to change and simulators to start before the service starts.
  virtual void BeforeServiceStarts() {}
  // The console's folder before it starts: by default the shipped English texts.
  virtual void ConsoleFiles() {
    MakeDirs(console.file("English"));
    WriteFileAtomic(console.file("English/language.ini"),
                    ReadFile(SourcePath("data/English/language.ini")).value());
  }
  // What the console gets besides the modules chosen above, before its window
  // starts: dialogs on `env`, pages.
  virtual void Install() {}
  // Once the window is up, before the link connects.
  virtual void Started() {}
  // Once the session runs (state 7); not called with no server.
  virtual void Linked() {}
  // Every message box the console shows.
  virtual int Answer(const std::string& /*caption*/, const std::string& /*text*/, unsigned /*flags*/) {
    return IDOK;
  }

  // --- The steps, in order.
  void Prepare() {
    ASSERT_NO_FATAL_FAILURE(EnterNamespaces());
    if (IsSkipped()) return;
    ASSERT_NO_FATAL_FAILURE(MakeInstall());
  }
  void EnterNamespaces() {
    if (privateMounts && !EnterPrivateMounts()) GTEST_SKIP() << "no private mount namespace";
    if (privateShm && !EnterPrivateSharedMemory()) GTEST_SKIP() << "no private /dev/shm";
    if (!EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
    if (broadcast) {
      ASSERT_TRUE(AddLoopbackBroadcastRoute());
    }
  }
  void MakeInstall() { ASSERT_TRUE(CopyDemoInstall(service.path(), demoNodes, polled)); }
  void StartService() {
    ASSERT_NO_FATAL_FAILURE(BeforeServiceStarts());
    larkcore = std::make_unique<ServiceProcess>(service.path(), std::string(), serviceEnv);
    ASSERT_TRUE(larkcore->start());
    ASSERT_TRUE(larkcore->waitForOutput("running on", 30000)) << larkcore->output();
  }
  void StartConsole() {
    ConsoleFiles();
    ctx = std::make_unique<ConsoleContext>(console.path(), realTime ? static_cast<const Clock&>(wallClock) : clock,
                                           workArea);
    ctx->messageBox = [this](QWidget*, const std::string& caption, const std::string& text, unsigned flags) {
      return Answer(caption, text, flags);
    };
    ctx->quit = [](int) {};
    link = std::make_unique<ConsoleLink>(*ctx);
    link->Wire();
    if (withMap) {
      map = InstallConsoleMap(*ctx);
      map->ConnectLink(link->link());
    }
    if (withLists) InstallConsoleLists(*ctx);
    if (withTabs) InstallDetailTabs(*ctx);
    if (withDiagram) InstallDiagramTab(*ctx);
    env = std::make_shared<ConsoleDialogs>(*ctx, link->link(), map.get());
    ASSERT_NO_FATAL_FAILURE(Install());
    std::string failed;
    w = lark::StartConsole(*ctx, &failed);
    ASSERT_TRUE(w) << failed;
    if (withMenu) InstallMenuCommands(*ctx, *w, *link);
    ASSERT_NO_FATAL_FAILURE(Started());
    if (!server) return;
    link->link().setServer(server);
    link->link().setAutoConnect(true);
    ASSERT_TRUE(Spin([&] { return link->link().state() == LinkState{7, 0}; }, 30000)) << larkcore->output();
    ASSERT_NO_FATAL_FAILURE(Linked());
  }
  // The console's orderly end: its dialogs ended, Exit, the shutdown.
  virtual void StopConsole() {
    if (ctx) ctx->dialogs.EndRunningDialogs();
    if (w) {
      w->SendCommand(IDM_EXIT);
      ShutdownConsole(*ctx, *w);
    }
    w.reset();
    env.reset();
    map.reset();
    link.reset();
    ctx.reset();
  }

  // --- Helpers.
  // The shipped English folder whole: texts, action tables, pictures.
  void CopyEnglishFolder() {
    std::filesystem::copy(SourcePath("data/English"), console.file("English"),
                          std::filesystem::copy_options::recursive);
  }
  // The folder of the simulators' serial lines ("ports/COM<n>").
  std::string Ports() {
    MakeDirs(service.file("ports"));
    return service.file("ports");
  }
  // A simulator of tools/ for the service to find; it ends after the service.
  Simulator& Simulate(const std::string& tool, const std::vector<std::string>& args) {
    simulators.push_back(std::make_unique<Simulator>(tool, args));
    return *simulators.back();
  }
  // Waits until the simulators' lines COM<n> are there.
  bool LinesUp(std::initializer_list<int> coms) {
    return Spin(
        [&] {
          return std::all_of(coms.begin(), coms.end(),
                             [&](int n) { return FileExists(Ports() + "/COM" + std::to_string(n)); });
        },
        20000);
  }
  static std::string Caption(const QWidget& d) { return d.windowTitle().toStdString(); }
  // Types `text` into the dialog's edit field `id`.
  static void Type(DialogBase& d, int id, const std::string& text) {
    dynamic_cast<QLineEdit*>(d.Control(id))->setText(QString::fromStdString(text));
  }
  // The console's node titled `title` (the last in tree order), or null.
  DeviceNode* Node(const std::string& title) {
    DeviceNode* found = nullptr;
    std::function<void(DeviceNode&)> walk = [&](DeviceNode& n) {
      if (n.title() == title) found = &n;
      for (const auto& c : n.children()) walk(*c);
    };
    walk(ctx->tree.root());
    return found;
  }

  TempDir service, console;
  FakeClock clock{1000};
  SystemClock wallClock;
  std::vector<std::unique_ptr<Simulator>> simulators;
  std::unique_ptr<ServiceProcess> larkcore;
  std::unique_ptr<ConsoleContext> ctx;
  std::unique_ptr<ConsoleLink> link;
  std::shared_ptr<ConsoleMap> map;
  std::shared_ptr<ConsoleDialogs> env;  // the dialogs' environment
  std::unique_ptr<LarkviewWindow> w;
};

// The console with its lists and detail tabs on the shipped English files,
// on the wall clock, its window painted once; the cases make the install
// folder, start their simulators, then the service and the console.
class DetailTabsLarkcore : public LarkcoreConsole {
 protected:
  DetailTabsLarkcore() {
    realTime = true;
    withLists = withTabs = true;
  }
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(EnterNamespaces()); }
  void ConsoleFiles() override { CopyEnglishFolder(); }
  void Started() override { w->grab(); }  // the first paint makes the back buffer
};

// The whole console as Larkview starts it, with the session's own dialogs
// (Connect To Server, the configuration download) and the broadcast routed
// over loopback; a case starts it with its monitor.ini. A driver timer moves
// the console's clock on as the loop runs (slower while the service is
// awaited), watches the Connect To Server dialog's captions and the download
// dialog's names, and hands every other modal dialog to the test.
class SessionLarkcore : public LarkcoreConsole {
 protected:
  SessionLarkcore() {
    broadcast = true;
    withMap = withLists = withTabs = withMenu = true;
    server = nullptr;  // the session's dialogs connect
  }
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(Prepare());
    if (IsSkipped()) return;
    ASSERT_NO_FATAL_FAILURE(StartService());
  }
  void Install() override {
    env = InstallConsoleDialogs(*ctx, *link, *map);
    ctx->dialogs.opened = [this](const DialogRegistry::Call& c) { results.emplace_back(c.resource, c.result); };
  }
  void Started() override {
    // Time passes on the console's clock as the driver ticks.
    driver.setInterval(20);
    QObject::connect(&driver, &QTimer::timeout, [this] { Drive(); });
    driver.start();
  }
  void StopConsole() override {
    driver.stop();
    LarkcoreConsole::StopConsole();
    results.clear();
    captions.clear();
    watched = nullptr;
    onConnect = nullptr;
    onModal = nullptr;
  }

  // The console as Larkview starts it, monitor.ini's [Startup Config] given.
  void Start(const std::string& startup) {
    WriteFileAtomic(console.file("monitor.ini"), "[Startup Config]\r\n" + startup);
    StartConsole();
  }
  void Stop() { StopConsole(); }

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
  // Started with auto-connect: the session runs once the download closed.
  bool Running() {
    return Spin([&] { return Ended(kAutoLoadConfigResource) && link->link().state() == LinkState{7, 0}; }, 120000);
  }

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
  std::vector<std::string> shownNames;  // 1285, 1286 of the download dialog, as it closed
  // The download may end between two driver ticks: the names are read as the dialog hides.
  EventSpy namesSpy{[this](QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Hide) return;
    if (auto* a = dynamic_cast<AutoLoadConfigDialog*>(watched))
      shownNames = {a->Control(1285)->property("text").toString().toStdString(),
                    a->Control(1286)->property("text").toString().toStdString()};
  }};

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
    } else if (dynamic_cast<AutoLoadConfigDialog*>(modal)) {
      // its names are read as it hides (namesSpy)
    } else if (modal && onModal) {
      onModal(*modal);
    }
  }
};

}  // namespace lark::test
