// The settings pages against the real Larkcore in a private network: the
// demo's "UPS 1" on COM1 answered by ups_sim, which logs the setting
// commands it takes and reports what they set at the next poll. A console
// linked to the service changes a setting, the clock sync and the weekly
// schedule, and the service's device, map and the simulator follow.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>
#include <chrono>

#include "console/dialogs/pages/config_tab_page.h"
#include "console/dialogs/pages/dry_contact_tab_page.h"
#include "console/dialogs/pages/schedule_tab_page.h"
#include "console/shell/dialog_texts.h"
#include "tests/console/support/larkcore_console.h"

namespace lark {
namespace {

// The simulator's third alarm list with position 17 on: capability bit 32,
// the clock sync.
constexpr const char* kAlarmList3 = "1100000000000000010000000";

// The [ID2] section of the service's map.
std::string DeviceSection(const std::string& map) {
  const size_t at = map.find("[ID2]");
  if (at == std::string::npos) return "";
  const size_t end = map.find("\n[", at + 1);
  return map.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

class SettingsPagesLarkcore : public test::LarkcoreConsole {
 protected:
  SettingsPagesLarkcore() {
    realTime = true;
    withTabs = true;
  }
  void BeforeServiceStarts() override {
    controlLog = service.file("control.log");
    Simulate("ups_sim", {"--pty-dir", Ports(), "--com", "1", "--ups", "1", "--al3", kAlarmList3, "--control-log",
                         controlLog});
    ASSERT_TRUE(LinesUp({1}));
  }
  void Install() override {
    InstallSettingsPages(*env);
    ctx->points.selectedDevice = [this] { return ctx->tree.findById(2); };
  }
  int Answer(const std::string& caption, const std::string& text, unsigned) override {
    boxes.push_back(caption + ": " + text);
    return IDOK;
  }

  // Reloads the slot's page until `ready` holds.
  bool ReloadUntil(int slot, const std::function<bool()>& ready, int ms) {
    w->detailTabSelection = slot;
    return test::Spin(
        [&] {
          if (ready()) return true;
          w->tabReloadFlag = 1;
          return false;
        },
        ms);
  }
  bool StatusBecomes(TabPage& p, const std::string& text) {
    return test::Spin([&] { return p.status().find(text) != std::string::npos; }, 15000);
  }
  std::string Map() { return DeviceSection(ReadFile(service.file("Demo.UMF")).value_or("")); }

  std::string controlLog;
  std::vector<std::string> boxes;
};

TEST_F(SettingsPagesLarkcore, ASettingTheClockSyncAndTheWeeklySchedule) {
  auto* config = w->tabPage(kTabConfiguration)->findChild<ConfigTabPage*>();
  ASSERT_NE(config, nullptr);
  auto* sensitivity = static_cast<QComboBox*>(config->Control(1209));
  ASSERT_TRUE(ReloadUntil(kTabConfiguration, [&] { return !sensitivity->isHidden(); }, 30000));
  EXPECT_EQ(sensitivity->currentText(), "Reduced");
  sensitivity->setCurrentIndex(2);  // "Low"
  config->Submit();
  ASSERT_TRUE(StatusBecomes(*config, "The settings have been changed.")) << config->status();
  // The reply comes when the service has queued the command; the device gets it at its poll.
  EXPECT_TRUE(test::Spin([&] { return ReadFile(controlLog).value_or("") == "S004VSN2\n"; }, 10000))
      << ReadFile(controlLog).value_or("");
  EXPECT_TRUE(ReloadUntil(kTabConfiguration, [&] { return sensitivity->currentText() == "Low"; }, 30000));

  auto* sync = static_cast<QCheckBox*>(config->Control(1217));
  ASSERT_FALSE(sync->isHidden());
  for (bool on : {true, false}) {
    sync->setChecked(on);
    config->Submit();
    ASSERT_TRUE(StatusBecomes(*config, "The settings have been changed.")) << config->status();
    const std::string want = on ? "Sync.DateTime=1" : "Sync.DateTime=0";
    EXPECT_TRUE(test::Spin([&] { return Map().find(want) != std::string::npos; }, 10000)) << Map();
  }

  // Contact 1 normally closed; contact 3 keeps its event 44, which no list holds.
  auto* contacts = w->tabPage(kTabDryContact)->findChild<DryContactTabPage*>();
  ASSERT_NE(contacts, nullptr);
  auto* event3 = static_cast<QComboBox*>(contacts->Control(1163));
  ASSERT_TRUE(ReloadUntil(kTabDryContact, [&] { return event3->currentText() == "(44)"; }, 30000))
      << event3->currentText().toStdString();
  static_cast<QComboBox*>(contacts->Control(1167))->setCurrentIndex(1);
  contacts->Submit();
  ASSERT_TRUE(StatusBecomes(*contacts, "The settings have been changed.")) << contacts->status();
  std::string log;
  ASSERT_TRUE(test::Spin(
      [&] {
        log = ReadFile(controlLog).value_or("");
        return log.find("S015SDC") != std::string::npos;
      },
      10000))
      << log;
  const size_t sdc = log.rfind("S015SDC");
  EXPECT_EQ(log.substr(sdc + 7, 6), std::string("\x01\x81\x02\x00\x2c\x01", 6));

  auto* schedule = w->tabPage(kTabSchedule)->findChild<ScheduleTabPage*>();
  ASSERT_NE(schedule, nullptr);
  ASSERT_TRUE(ReloadUntil(kTabSchedule, [&] { return !schedule->Control(1083)->isHidden(); }, 10000));
  auto weekly = [&](int weekday, const char* h, const char* m, int action) {
    static_cast<QComboBox*>(schedule->Control(1011))->setCurrentIndex(weekday);
    static_cast<QLineEdit*>(schedule->Control(1103))->setText(h);
    static_cast<QLineEdit*>(schedule->Control(1104))->setText(m);
    static_cast<QComboBox*>(schedule->Control(1012))->setCurrentIndex(action);
    schedule->AddWeekly(false);
  };
  weekly(1, "23", "59", 1);  // Monday, Shutdown
  weekly(3, "10", "00", 3);  // Wednesday, General Test
  schedule->Update(kScheduleTableWeekly);
  ASSERT_TRUE(StatusBecomes(*schedule, "The schedule has been changed.")) << schedule->status();
  EXPECT_TRUE(test::Spin(
      [&] {
        const std::string m = Map();
        return m.find("Week.Day1=2\r\nWeek.Hour1=23\r\nWeek.Minute1=59\r\nWeek.Event1=1\r\n"
                      "Week.Day2=4\r\nWeek.Hour2=10\r\nWeek.Minute2=0\r\nWeek.Event2=3") != std::string::npos;
      },
      10000))
      << Map();
  EXPECT_TRUE(ReloadUntil(kTabSchedule, [&] {
    return ControlText(schedule->Control(1098)).find("Next Shutdown:") == 0 &&
           ControlText(schedule->Control(1098)).find("23:59") != std::string::npos;
  }, 10000)) << ControlText(schedule->Control(1098));
}

// A service that stops answering: the page gives up after its 10 s and
// gives the buttons back, and the window's loop never stalls meanwhile.
TEST_F(SettingsPagesLarkcore, AStoppedServiceTimesOut) {
  auto* config = w->tabPage(kTabConfiguration)->findChild<ConfigTabPage*>();
  auto* sensitivity = static_cast<QComboBox*>(config->Control(1209));
  ASSERT_TRUE(ReloadUntil(kTabConfiguration, [&] { return !sensitivity->isHidden(); }, 30000));
  ASSERT_EQ(kill(larkcore->pid(), SIGSTOP), 0);
  int probes = 0;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] { ++probes; });
  probe.start(100);
  sensitivity->setCurrentIndex(2);
  config->Submit();
  EXPECT_FALSE(config->Control(1)->isEnabled());
  const auto sent = std::chrono::steady_clock::now();
  ASSERT_TRUE(StatusBecomes(*config, "The settings could not be changed.")) << config->status();
  const auto waited = std::chrono::steady_clock::now() - sent;
  // (The page's timer started a moment before `sent`.)
  EXPECT_GE(waited, std::chrono::milliseconds(9900));
  EXPECT_TRUE(config->Control(1)->isEnabled());
  EXPECT_TRUE(config->Control(2)->isEnabled());
  // About one probe per 100 ms went by: nothing blocked the loop.
  EXPECT_GE(probes, std::chrono::duration_cast<std::chrono::milliseconds>(waited).count() / 100 / 2);
}

}  // namespace
}  // namespace lark
