// The Configuration page on a started console: what a reload shows for each
// device family and right, Submit sending only what the operator changed to
// the device the page was loaded from, and the reply, the time-out and a
// displacing request.
#include "console/dialogs/pages/config_tab_page.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>

#include "common/bytes.h"
#include "linkserver/link_frame.h"
#include "tests/console/dialogs/pages/settings_page_fixture.h"

namespace lark {
namespace {

// An ASCII UPS as the simulator reports it: the input low limit below its
// range, the high limit's range inverted and empty, the bypass ranges
// inverted, and a frequency tolerance off the trackbar's step.
void FillAscii(DeviceNode& d) {
  LiveDataBlock& b = *d.block(BlockKind::kAscii);
  const std::pair<int, int32_t> reported[] = {
      {7, 2350}, {8, 2650}, {9, 3000}, {10, 2400}, {11, 0},   {12, 1},    {18, 50},  {20, 1800},
      {21, 2640}, {22, 1700}, {23, 2000}, {24, 2500}, {25, 2700}, {91, 0}, {92, 3},  {93, 1},
      {94, 10},   {95, 1},    {96, 32},   {97, 10},   {173, 10},  {174, 220}};
  for (auto [n, v] : reported) b.setSlot(n, v);
  b.putU32(256, (1u << 4) | (1u << 18));
  b.putU32(260, (1u << 0) | (1u << 30));  // bits 32 and 62
}

struct Fixture : test::SettingsPageConsole {
  Fixture() {
    p = page<ConfigTabPage>(kTabConfiguration);
    ups = add(5, kNodeSerial, kCommAscii);
    FillAscii(*ups);
  }
  QWidget* c(int id) { return p->Control(id); }
  std::vector<uint8_t> submit() {
    queued();
    p->Submit();
    return headPayload();
  }
  // The operation records (command 11) queued since the last look.
  std::vector<std::string> logs() {
    std::vector<std::string> out;
    for (const auto& e : queued())
      if (e.size() > 12 && e[4] == kLinkCmdEventLog)
        out.push_back(std::to_string(u16At(e, 10)) + " " + strAt(e, 12, e.size() - 12));
    return out;
  }
  ConfigTabPage* p = nullptr;
  DeviceNode* ups = nullptr;
};

std::vector<size_t> Flags(const std::vector<uint8_t>& b) {
  std::vector<size_t> out;
  for (size_t off : {4, 12, 20, 28, 36, 44, 52, 64, 76, 88, 96, 104})
    if (b.size() >= kConfigSettingsSize && u32At(b, off) != 0) out.push_back(off);
  return out;
}

TEST(ConfigTabPage, OnlyTheChangedSettingGoesOutAndIsKeptOnSuccess) {
  Fixture f;
  ASSERT_NE(f.p, nullptr);
  f.reload(*f.p, f.ups);
  EXPECT_EQ(f.w->tabReloadFlag, 0);
  // The reported values stand, even where their ranges did not hold them.
  EXPECT_EQ(static_cast<QSlider*>(f.c(1107))->value(), 2350);
  EXPECT_EQ(static_cast<QSlider*>(f.c(1108))->value(), 2650);
  EXPECT_EQ(ControlText(f.c(1109)), "2350");
  EXPECT_EQ(static_cast<QComboBox*>(f.c(1211))->currentText(), "Weekly");
  EXPECT_FALSE(f.c(1)->isHidden());

  static_cast<QComboBox*>(f.c(1209))->setCurrentIndex(2);  // "Low"
  const std::vector<uint8_t> block = f.submit();
  ASSERT_EQ(block.size(), kConfigSettingsSize);
  EXPECT_EQ(u16At(block, 0), 5);
  EXPECT_EQ(Flags(block), (std::vector<size_t>{4}));
  EXPECT_EQ(i32At(block, 8), 2);
  EXPECT_EQ(f.p->status(), "Voltage Sensitivity: - sending");
  EXPECT_FALSE(f.c(1)->isEnabled());
  EXPECT_FALSE(f.c(2)->isEnabled());

  f.reply(kLinkCmdDeviceSettings, {55, 0});
  f.p->OnOwnTimer();
  EXPECT_EQ(f.p->status(), "Voltage Sensitivity: - done");
  EXPECT_TRUE(f.c(1)->isEnabled());
  EXPECT_EQ(f.logs(), (std::vector<std::string>{"70 Volt-Sens=2 "}));
  EXPECT_EQ(f.p->values()[kCfgVoltageSensitivity], 2);

  // Nothing changed since: a block with every flag 0.
  EXPECT_EQ(Flags(f.submit()), std::vector<size_t>{});
}

TEST(ConfigTabPage, AnEmptyPageFillsWhenTheFirstReportArrives) {
  Fixture f;
  DeviceNode* fresh = f.add(6, kNodeSerial, kCommAscii);  // nothing reported yet
  f.reload(*f.p, fresh);
  EXPECT_TRUE(f.c(1209)->isHidden());
  f.p->OnSecondTick();  // no reload asked, still nothing to show
  EXPECT_TRUE(f.c(1209)->isHidden());
  FillAscii(*fresh);
  f.p->OnSecondTick();
  EXPECT_FALSE(f.c(1209)->isHidden());
  EXPECT_EQ(f.w->tabReloadFlag, 0);
}

TEST(ConfigTabPage, TrackbarsEditsAndTheClockSync) {
  Fixture f;
  f.reload(*f.p, f.ups);
  auto* freq = static_cast<QSlider*>(f.c(1118));
  EXPECT_EQ(freq->value(), 6);  // 32 tenths shown on the step below
  freq->setValue(7);
  EXPECT_EQ(ControlText(f.c(1119)), "3.5");
  static_cast<QLineEdit*>(f.c(1218))->setText("45");
  static_cast<QCheckBox*>(f.c(1217))->setChecked(true);
  std::vector<uint8_t> block = f.submit();
  EXPECT_EQ(Flags(block), (std::vector<size_t>{52, 96, 104}));
  EXPECT_EQ(i32At(block, 108), 35);
  EXPECT_EQ(i32At(block, 56), 30);
  EXPECT_EQ(i32At(block, 100), 1);
  f.reply(kLinkCmdDeviceSettings, {55, 0});
  f.p->OnOwnTimer();
  EXPECT_EQ(f.ups->syncDateTime(), 1);  // the console's node follows
  EXPECT_EQ(f.logs(), (std::vector<std::string>{"70 Battery Test=(30,220) ", "70 Sync-Time=1 ", "70 Tx-Freq=3.5 "}));

  // Unchecking goes out as off.
  static_cast<QCheckBox*>(f.c(1217))->setChecked(false);
  block = f.submit();
  EXPECT_EQ(Flags(block), (std::vector<size_t>{96}));
  EXPECT_EQ(i32At(block, 100), 0);

  // A changed edit that is no whole number in its range is refused; nothing goes out.
  f.reply(kLinkCmdDeviceSettings, {56, 0});
  f.p->OnOwnTimer();
  for (const char* text : {"-1", "", "ab", "70000"}) {
    f.boxes.clear();
    static_cast<QLineEdit*>(f.c(1214))->setText(text);
    EXPECT_EQ(f.submit(), std::vector<uint8_t>{}) << text;
    EXPECT_EQ(f.boxes, (std::vector<std::string>{"Gridwarden Manager: Boot Delay: must be a whole number from 0 to 65535."}))
        << text;
  }
}

TEST(ConfigTabPage, RefusalTimeOutAndDisplacementKeepTheChangePending) {
  Fixture f;
  f.reload(*f.p, f.ups);
  auto* sens = static_cast<QComboBox*>(f.c(1209));
  sens->setCurrentIndex(1);
  struct Step {
    const char* name;
    std::function<void()> end;
  } steps[] = {
      {"refused", [&] { f.reply(kLinkCmdDeviceSettings, {56, 0}); }},
      {"timed out", [&] { f.clock.advance(10001); }},
      {"displaced", [&] { f.link.sendServiceRequest(0, kLinkCmdEventLog, 2, 5000, {}); }},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    EXPECT_EQ(Flags(f.submit()), (std::vector<size_t>{4}));  // still a change
    s.end();
    f.p->OnOwnTimer();
    EXPECT_EQ(f.p->status(), "Voltage Sensitivity: - failed");
    EXPECT_TRUE(f.c(1)->isEnabled());
    EXPECT_FALSE(f.p->waiting());
    EXPECT_EQ(f.p->values()[kCfgVoltageSensitivity], 0);
  }
  // A reply that comes after the displacement is not taken.
  f.reply(kLinkCmdDeviceSettings, {55, 0});
  f.p->OnOwnTimer();
  EXPECT_EQ(f.logs(), std::vector<std::string>{});
}

TEST(ConfigTabPage, SubmitGoesToTheLoadedDevice) {
  Fixture f;
  f.reload(*f.p, f.ups);
  DeviceNode* other = f.add(9, kNodeSerial, kCommAscii);
  f.selected = other;  // selected, not yet reloaded
  static_cast<QComboBox*>(f.c(1209))->setCurrentIndex(1);
  EXPECT_EQ(u16At(f.submit(), 0), 5);
}

TEST(ConfigTabPage, WhatEachDeviceAndRightShows) {
  struct Case {
    const char* name;
    int16_t comm;
    bool accounts;
    uint8_t dbState;
    int level;
    std::vector<int> shown, hidden;
  } cases[] = {
      {"ASCII, accounts off", kCommAscii, false, 0, 0, {1209, 1210, 1211, 1213, 1214, 1216, 1217, 1107, 1118, 1116, 1111, 1218, 1}, {}},
      {"binary: the battery test and the sync only", kCommThreePhase, false, 0, 0, {1218, 1219, 1217, 1}, {1209, 1210, 1211, 1213, 1214, 1216, 1107, 1118, 1116, 1111}},
      {"viewer", kCommAscii, true, 2, 3, {1209}, {1, 2}},
      {"operator", kCommAscii, true, 2, 2, {1209, 1, 2}, {}},
      {"operator, database down", kCommAscii, true, 1, 2, {1209}, {1, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    DeviceNode* d = f.ups;
    if (c.comm == kCommThreePhase) {
      d = f.add(6, kNodeSerial, kCommThreePhase);
      LiveDataBlock& b = *d->block(BlockKind::kBinary);
      b.setSlot(104, 10);
      b.setSlot(105, 220);
      b.putI32(kBinaryModelByteOffset, 2);
    }
    f.ctx.settings.accountsInUse = c.accounts;
    f.ctx.settings.userLevel = c.level;
    f.link.session().databaseState = c.dbState;
    f.reload(*f.p, d);
    for (int id : c.shown) EXPECT_FALSE(f.c(id)->isHidden()) << id;
    for (int id : c.hidden) EXPECT_TRUE(f.c(id)->isHidden()) << id;
  }
}

TEST(ConfigTabPage, ReloadsOnlyOnItsTabWithADevice) {
  Fixture f;
  f.selected = f.ups;
  f.w->detailTabSelection = kTabSummary;
  f.w->tabReloadFlag = 1;
  f.p->OnSecondTick();
  EXPECT_EQ(f.w->tabReloadFlag, 1);
  EXPECT_TRUE(f.c(1209)->isHidden());
  f.selected = nullptr;
  f.w->detailTabSelection = kTabConfiguration;
  f.p->OnSecondTick();
  EXPECT_EQ(f.w->tabReloadFlag, 1);
  f.selected = f.ups;
  f.p->OnSecondTick();
  EXPECT_EQ(f.w->tabReloadFlag, 0);
  EXPECT_FALSE(f.c(1209)->isHidden());
}

}  // namespace
}  // namespace lark
