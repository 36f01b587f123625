// The settings and control dialogs against the built Larkcore on the demo
// map (the ASCII UPS on COM1, the three-phase UPS on COM2 with its control
// log), in its own network and mount namespaces: what each change leaves in
// the service's files and the simulator's log, and what the console keeps.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "console/dialogs/settings/alarm_manage_dialog.h"
#include "console/dialogs/session/connection_dialog.h"
#include "console/dialogs/settings/history_dialog.h"
#include "console/dialogs/settings/language_dialog.h"
#include "console/dialogs/settings/protection_switch.h"
#include "console/dialogs/settings/stop_all_dialog.h"
#include "console/dialogs/settings/trace_dialogs.h"
#include "console/dialogs/settings/ups_control_dialog.h"
#include "console/link/request_payloads.h"
#include "tests/console/support/larkcore_console.h"

namespace lark {
namespace {

namespace fs = std::filesystem;

class SettingsDialogsLarkcore : public test::LarkcoreConsole {
 protected:
  SettingsDialogsLarkcore() {
    privateMounts = true;
    demoNodes = 14;
  }
  void BeforeServiceStarts() override {
    Simulate("ups_sim", {"--pty-dir", Ports(), "--com", "1", "--ups", "1"});
    Simulate("ups3_sim", {"--pty-dir", Ports(), "--com", "2", "--ups", "1", "--control-log", controlLog()});
    ASSERT_TRUE(LinesUp({1, 2}));
  }
  void ConsoleFiles() override { CopyEnglishFolder(); }
  void Install() override {
    env->networkDevices = [this] { return link->endpoints().entries().size(); };
    RegisterSettingsDialogs(*env);
  }
  // The configuration download pages the alarm tables in.
  void Linked() override {
    ASSERT_TRUE(test::Spin([&] { return link->link().session().actionTables[10].size() == kActionTablePageBytes[10]; },
                           20000));
  }
  int Answer(const std::string&, const std::string& text, unsigned flags) override {
    boxes.push_back(text);
    return int(flags & MB_YESNO ? IDYES : IDOK);
  }

  std::string controlLog() const { return service.file("ups3-control.log"); }
  std::string Managed(const char* section, const char* key) const {
    return ReadProfileString(service.file("manager.ini"), section, key, "", 256);
  }
  // Waits until `d` has no request out; false when it still waits after `ms`.
  bool Settled(DialogBase& d, int ms = 15000) {
    return test::Spin([&] { return !d.waiting(); }, ms);
  }

  std::vector<std::string> boxes;
};

TEST_F(SettingsDialogsLarkcore, ConnectionValuesLandInPolling) {
  ConnectionDialog d(*env, nullptr);
  d.Init();
  Type(d, 1010, "1500");
  Type(d, 1013, "4");
  Type(d, 1359, "12");
  d.Ok();
  ASSERT_TRUE(test::Spin([&] { return d.closing(); }, 15000)) << Caption(d);
  EXPECT_EQ(Caption(d), "Connection - The polling settings have been changed.");
  EXPECT_EQ(Managed("Polling", "SNMP Polling"), "1500");
  EXPECT_EQ(Managed("Polling", "Serial Timeout"), "4");
  EXPECT_EQ(Managed("Polling", "GPRS Timeout"), "12");
  EXPECT_EQ(ctx->settings.service.snmpPolling, 1500);
}

TEST_F(SettingsDialogsLarkcore, AlarmManagementWritesTheServicesTablesAndSettings) {
  AlarmManageDialog d(*env, nullptr);
  d.Init();
  ASSERT_TRUE(d.Control(kUpdateEvent)->isEnabled()) << Caption(d);
  dynamic_cast<QRadioButton*>(d.Control(10))->setChecked(true);
  Type(d, 14, "5");
  Type(d, 101, "20000");
  d.UpdateEvent();
  // The maximum goes first, then the table once the service took it.
  ASSERT_TRUE(test::Spin([&] { return d.request().sub == 1; }, 15000)) << Caption(d);
  ASSERT_TRUE(Settled(d));
  EXPECT_EQ(Caption(d), "Alarm Management - The change has been written.");
  EXPECT_EQ(Managed("Main", "Max Event Log"), "20000");
  const std::string actions = service.file("English/action-snmpv4.ini");
  EXPECT_EQ(ReadProfileString(actions, "Event1", "Alarm.Level", "", 64), "Serious");
  EXPECT_EQ(ReadProfileString(actions, "Event1", "DelayTime", "", 64), "5");
  EXPECT_EQ(ctx->tables.actions()->table(ActionFamily::Snmpv4)[0].level(), 0);

  // Reactions of the Serious tab.
  dynamic_cast<QCheckBox*>(d.Control(1079))->setChecked(true);
  Type(d, 1109, "45");
  d.UpdateReactions();
  ASSERT_TRUE(Settled(d));
  EXPECT_EQ(ReadProfileString(service.file("manager.ini"), "Reaction.Serious", "SMS.Enable", "", 16), "Yes");
  EXPECT_EQ(ReadProfileString(service.file("manager.ini"), "Reaction.Serious", "Audio.Interval", "", 16), "45");

  // The service cannot write its language folder: refused, and the console's
  // level stays the service's.
  ASSERT_TRUE(test::MakeReadOnly(service.file("English")));
  dynamic_cast<QRadioButton*>(d.Control(12))->setChecked(true);
  d.UpdateEvent();
  ASSERT_TRUE(Settled(d));
  EXPECT_EQ(Caption(d), "Alarm Management - The change could not be written.");
  EXPECT_TRUE(d.Control(kUpdateEvent)->isEnabled());
  EXPECT_TRUE(d.Control(kUpdateReactions)->isEnabled());
  EXPECT_EQ(ctx->tables.actions()->table(ActionFamily::Snmpv4)[0].level(), 0);
  test::Unmount(service.file("English"));
}

TEST_F(SettingsDialogsLarkcore, UpsControlReachesTheThreePhaseUpsAndSwitchesProtection) {
  ctx->points.mapSelectedNode = [this] { return Node("Three-phase UPS"); };
  ASSERT_TRUE(ctx->points.mapSelectedNode());
  UpsControlDialog d(*env, nullptr);
  d.Init();
  dynamic_cast<QRadioButton*>(d.Control(1615))->setChecked(true);
  d.SendCommand(kSendSelected);
  ASSERT_TRUE(test::Spin([&] { return ReadFile(controlLog()).value_or("").find("taken") != std::string::npos; }, 5000));
  ASSERT_TRUE(Settled(d));
  EXPECT_EQ(Caption(d), "UPS Control - The command has been sent.");
  EXPECT_EQ(boxes, std::vector<std::string>{"The command has been sent."});
  const std::string log = ReadFile(controlLog()).value();
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;

  // An empty shutdown time is refused before anything reaches the UPS.
  dynamic_cast<QRadioButton*>(d.Control(1618))->setChecked(true);
  Type(d, 1624, "");
  d.SendCommand(kSendLayer);
  EXPECT_FALSE(d.waiting());
  EXPECT_EQ(boxes.back(), "Enter the time as a whole number of minutes, at most 35791394.");

  // The protection switch, both ways.
  auto* box = d.findChild<ProtectionSwitch*>();
  for (const char* want : {"Yes", "No"}) {
    box->click();
    ASSERT_TRUE(Settled(d));
    EXPECT_EQ(Managed("Control", "Password.Enable"), want);
    EXPECT_EQ(ctx->settings.service.controlPasswordEnabled != 0, std::string(want) == "Yes");
  }
  EXPECT_EQ(ReadFile(controlLog()).value(), log);
}

TEST_F(SettingsDialogsLarkcore, LanguageChangesBothEndsAndTheManual) {
  for (const std::string& root : {service.path(), console.path()}) {
    fs::copy(test::SourcePath("data/English"), root + "/Russian", fs::copy_options::recursive);
    ASSERT_TRUE(WriteProfileString(root + "/Russian/language.ini", "File-Menu", "Title", "&Fichier"));
  }
  WriteFileAtomic(console.file("manual.pdf"), "english");
  WriteFileAtomic(console.file("Russian/Corvalune Manager for Windows (Russian).pdf"), "russian");
  LanguageDialog d(*env, nullptr);
  d.Init();
  auto* names = dynamic_cast<QComboBox*>(d.Control(1242));
  names->setCurrentIndex(names->findText("Russian"));
  d.Ok();
  ASSERT_TRUE(test::Spin([&] { return d.result() == 1; }, 30000)) << Caption(d);
  EXPECT_EQ(Managed("Main", "Language"), "Russian");
  EXPECT_EQ(ctx->settings.service.language, "Russian");
  EXPECT_EQ(w->menuBar()->actions().front()->text().toStdString(), "&Fichier");
  EXPECT_EQ(ReadFile(console.file("manual.pdf")).value(), "russian");
}

TEST_F(SettingsDialogsLarkcore, TheServiceStoppedMidChainLeavesTheConsolesLanguage) {
  for (const std::string& root : {service.path(), console.path()})
    fs::copy(test::SourcePath("data/English"), root + "/Russian", fs::copy_options::recursive);
  const auto before = link->link().session().actionTables;
  LanguageDialog d(*env, nullptr);
  d.Init();
  auto* names = dynamic_cast<QComboBox*>(d.Control(1242));
  names->setCurrentIndex(names->findText("Russian"));
  // The service stops as soon as a later page is asked for, before the console
  // takes another event: pages are taken as they arrive, so the chain could
  // otherwise end between two looks.
  bool stopped = false;
  test::EventSpy spy([&](QObject*, QEvent*) {
    if (!stopped && d.request().command == kLinkCmdEventTables && d.request().sub >= 4)
      stopped = kill(larkcore->pid(), SIGSTOP) == 0;
  });
  d.Ok();
  ASSERT_TRUE(test::Spin([&] { return stopped; }, 20000));
  clock.advance(10001);
  ASSERT_TRUE(Settled(d, 5000));
  EXPECT_EQ(ctx->settings.service.language, "English");
  EXPECT_EQ(link->link().session().actionTables, before);
  EXPECT_TRUE(d.Control(1)->isEnabled());
}

TEST_F(SettingsDialogsLarkcore, HistorySettingsLandAndReopenAsSent) {
  const std::string folder = service.file("History");
  ASSERT_TRUE(MakeDirs(folder));
  {
    HistoryDialog d(*env, nullptr);
    d.Init();
    Type(d, 1196, "120");
    Type(d, 15, "6");
    Type(d, 1498, folder.c_str());
    d.Ok();
    ASSERT_TRUE(test::Spin([&] { return d.result() == 1; }, 15000)) << Caption(d);
  }
  EXPECT_EQ(Managed("History", "Period"), "120");
  EXPECT_EQ(Managed("History", "Storage"), "6");
  HistoryDialog again(*env, nullptr);
  again.Init();
  EXPECT_EQ(dynamic_cast<QLineEdit*>(again.Control(1498))->text().toStdString(), folder);
  Type(again, 1498, "/no such folder");
  again.Ok();
  ASSERT_TRUE(Settled(again));
  EXPECT_EQ(Caption(again), "Historical Data Management - The history settings could not be changed.");
  EXPECT_EQ(ctx->settings.service.historyDirectory, folder);
}

TEST_F(SettingsDialogsLarkcore, StopAllFromTheMenuClosesItselfAndThePauseIsLogged) {
  InstallMenuCommands(*ctx, *w, *link);
  w->SendCommand(IDM_PAUSE_REACTION);  // returns when the dialog has closed itself
  EXPECT_TRUE(test::Spin(
      [&] { return ReadFile(service.file("Demo/Event.log")).value_or("").find("Reactions paused") != std::string::npos; },
      10000));
}

TEST_F(SettingsDialogsLarkcore, TracesStartAndStop) {
  {
    SaveSerialDialog d(*env, nullptr);
    d.Init();
    dynamic_cast<QComboBox*>(d.Control(10))->setCurrentIndex(1);
    d.Ok();
    ASSERT_TRUE(test::Spin([&] { return d.closing(); }, 15000)) << Caption(d);
  }
  const auto traceFile = [&]() -> std::string {
    for (const auto& e : fs::directory_iterator(service.path()))
      if (e.path().filename().string().starts_with("SerialMonitor-")) return e.path().string();
    return "";
  };
  ASSERT_TRUE(test::Spin([&] { return ReadFile(traceFile()).value_or("").find("Tx>") != std::string::npos; }, 5000));
  {
    SaveSerialDialog d(*env, nullptr);
    d.Init();
    dynamic_cast<QCheckBox*>(d.Control(1205))->setChecked(true);
    d.Ok();
    ASSERT_TRUE(test::Spin([&] { return d.closing(); }, 15000)) << Caption(d);
  }
  // Stopped: the file does not grow while the two network traces come and go.
  const size_t stopped = ReadFile(traceFile()).value_or("").size();
  for (int i = 0; i < 2; ++i) {
    SaveNetworkDialog d(*env, nullptr);
    d.Init();
    ASSERT_TRUE(test::Spin([&] { return d.closing(); }, 15000)) << Caption(d);
    EXPECT_EQ(ctx->commands.networkSaving, i == 0);
  }
  EXPECT_TRUE(FileExists(service.file("NetworkMonitor0.txt")));
  EXPECT_EQ(ReadFile(traceFile()).value_or("").size(), stopped);
}

TEST_F(SettingsDialogsLarkcore, AStoppedServiceTimesEachDialogOutWhileTheWindowRuns) {
  ASSERT_EQ(kill(larkcore->pid(), SIGSTOP), 0);
  int probes = 0;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] { ++probes; });
  probe.start(100);
  struct Case {
    std::function<std::unique_ptr<DialogBase>()> open;
    uint32_t timeoutMs;
    std::string caption;
  };
  ctx->points.mapSelectedNode = [this] { return Node("Three-phase UPS"); };
  const Case cases[] = {
      {[&] {
         auto d = std::make_unique<ConnectionDialog>(*env, nullptr);
         d->Init();
         d->Ok();
         return d;
       },
       5000, "Connection - The polling settings could not be changed."},
      {[&] {
         auto d = std::make_unique<HistoryDialog>(*env, nullptr);
         d->Init();
         d->Ok();
         return d;
       },
       5000, "Historical Data Management - The history settings could not be changed."},
      {[&] {
         auto d = std::make_unique<UpsControlDialog>(*env, nullptr);
         d->Init();
         d->SendCommand(kSendAll);
         return d;
       },
       5000, "UPS Control - The command could not be sent."},
      {[&] {
         auto d = std::make_unique<AlarmManageDialog>(*env, nullptr);
         d->Init();
         d->UpdateReactions();
         return d;
       },
       10000, "Alarm Management - The change could not be written."},
      {[&] {
         auto d = std::make_unique<StopAllDialog>(*env, nullptr);
         d->Init();
         return d;
       },
       5000, "Stop All - The reactions could not be stopped."},
      {[&] {
         auto d = std::make_unique<SaveNetworkDialog>(*env, nullptr);
         d->Init();
         return d;
       },
       5000, "Save Network - The trace could not be changed."},
  };
  for (const Case& c : cases) {
    auto d = c.open();
    SCOPED_TRACE(d->prefix());
    ASSERT_TRUE(d->waiting());
    clock.advance(c.timeoutMs);
    const int before = probes;
    ASSERT_TRUE(test::Spin([&] { return probes >= before + 3; }, 5000));
    EXPECT_TRUE(d->waiting());  // not one millisecond early
    clock.advance(1);
    ASSERT_TRUE(Settled(*d, 5000));
    EXPECT_EQ(Caption(*d), c.caption);
  }
}

}  // namespace
}  // namespace lark
