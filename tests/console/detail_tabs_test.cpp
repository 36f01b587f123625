// The detail tab window on a started console: items and titles by the enable
// flags, which page a device shows, the rebuild, the tab switch and the
// repaint countdown, the minute's reload of the Schedule page, the settings
// dialogs' creation, and the painted pages and pane.
#include "console/tabs/detail_tabs.h"

#include <gtest/gtest.h>

#include <QScrollArea>
#include <QTabBar>
#include <QTabWidget>

#include "console/shell/larkview.h"
#include "console/views/image_canvas.h"
#include "platform/paths.h"
#include "tests/console/support/panel_fixture.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

using test::MakeDevice;

struct Console {
  test::TempDir dir;
  FakeClock clock{0, WallTime{2026, 5, 4, 1, 10, 0, 0, 0}};
  std::unique_ptr<ConsoleContext> ctx;
  std::unique_ptr<LarkviewWindow> w;
  DeviceNode* selected = nullptr;
  int fullRefreshes = 0;
  std::vector<int> dialogsMade;  // slots, in the order made

  explicit Console(const std::function<void(ConsoleContext&)>& before = {}) {
    ctx = std::make_unique<ConsoleContext>(dir.path(), clock, WorkArea{0, 0, 1280, 800});
    ctx->messageBox = [](QWidget*, const std::string&, const std::string&, unsigned) { return int(IDYES); };
    ctx->quit = [](int) {};
    InstallDetailTabs(*ctx);
    for (auto [slot, point] : {std::pair{3, &ConsoleCallPoints::createScheduleTab},
                               {4, &ConsoleCallPoints::createConfigTab},
                               {5, &ConsoleCallPoints::createDryContactTab}})
      ctx->points.*point = [this, s = slot](QWidget* page) {
        dialogsMade.push_back(s);
        EXPECT_EQ(page, ctx->mainWindow->tabPage(s));
        return new QWidget(page);
      };
    if (before) before(*ctx);
    std::string failed;
    w = StartConsole(*ctx, &failed);
    EXPECT_EQ(failed, "");
    w->grab();  // the first paint makes the back buffer
    ctx->points.selectedDevice = [this] { return selected; };
    auto refresh = ctx->points.refreshDetailTabs;
    ctx->points.refreshDetailTabs = [this, refresh](int full) {
      fullRefreshes += full;
      refresh(full);
    };
  }
  ~Console() {
    w->Destroy();
    ShutdownConsole(*ctx, *w);
    w.reset();
  }
  MonitorSettings& s() { return ctx->monitor.settings(); }
  // Slots whose page is not hidden.
  std::vector<int> shown() const {
    std::vector<int> out;
    for (int slot = 0; slot < kDetailTabs; ++slot)
      if (!w->tabPage(slot)->isHidden()) out.push_back(slot);
    return out;
  }
  std::vector<std::string> items() const {
    std::vector<std::string> out;
    for (int i = 0; i < w->tabControl()->count(); ++i) out.push_back(w->tabControl()->tabText(i).toStdString());
    return out;
  }
  std::vector<bool> selectedSlots() const {
    std::vector<bool> out;
    for (int slot = 0; slot < kDetailTabs; ++slot) out.push_back(ctx->points.isSelectedTab(slot));
    return out;
  }
};

// Pixels of `img` other than the window colour.
int Inked(const QImage& img) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (FromQColor(img.pixelColor(x, y)) != SysColorValue(kColorWindow)) ++n;
  return n;
}

TEST(DetailTabsTest, ItemsSelectionAndTheShownPage) {
  const std::array<bool, 6> all{true, true, true, true, true, true};
  const std::array<bool, 6> noModule{true, true, false, true, true, true};
  const std::array<bool, 6> noConfig{true, true, true, true, false, true};
  const std::array<bool, 6> none{false, false, false, false, false, false};
  auto ascii = MakeDevice(kNodeSerial, kCommAscii);
  auto lost = MakeDevice(kNodeSerial, kCommAscii);
  lost->block(BlockKind::kAscii)->setMask(MaskWord::kReported, uint64_t{1} << 24);
  auto blockless = MakeDevice(kNodeSerial, kCommAscii);
  blockless->freeBlock(BlockKind::kAscii);
  auto binaryLost = MakeDevice(kNodeSerial, kCommThreePhase);
  binaryLost->block(BlockKind::kBinary)->setMask(MaskWord::kReported, uint64_t{1} << 13);
  auto snmp = MakeDevice(kNodeSnmp);
  auto gprs = MakeDevice(kNodeGprs);
  auto trv = MakeDevice(kNodeSerial, kCommModbusTrv5200);
  struct Case {
    const char* what;
    std::array<bool, 6> enabled;
    int selection;
    const DeviceNode* device;
    std::vector<bool> selected;  // IsSelectedTab per slot
    std::vector<int> shown;
  } cases[] = {
      {"summary", all, 0, ascii.get(), {1, 0, 0, 0, 0, 0}, {0}},
      {"no device", all, 0, nullptr, {1, 0, 0, 0, 0, 0}, {}},
      {"all disabled", none, 0, ascii.get(), {0, 0, 0, 0, 0, 0}, {}},
      {"diagram without module", noModule, 1, ascii.get(), {0, 1, 0, 0, 0, 0}, {1}},
      {"item 2 without module is Schedule", noModule, 2, ascii.get(), {0, 0, 0, 1, 0, 0}, {3}},
      {"schedule without configuration", noConfig, 3, ascii.get(), {0, 0, 0, 1, 0, 0}, {3}},
      {"dry contact without configuration", noConfig, 4, ascii.get(), {0, 0, 0, 0, 0, 1}, {5}},
      {"GPRS: no schedule", all, 3, gprs.get(), {0, 0, 0, 1, 0, 0}, {}},
      {"GPRS: module", all, 2, gprs.get(), {0, 0, 1, 0, 0, 0}, {2}},
      {"SNMP: schedule", all, 3, snmp.get(), {0, 0, 0, 1, 0, 0}, {3}},
      {"SNMP: no configuration", all, 4, snmp.get(), {0, 0, 0, 0, 1, 0}, {}},
      {"TRV5200: no schedule", all, 3, trv.get(), {0, 0, 0, 1, 0, 0}, {}},
      {"lost line: no dry contact", all, 5, lost.get(), {0, 0, 0, 0, 0, 1}, {}},
      {"lost line: summary stays", all, 0, lost.get(), {1, 0, 0, 0, 0, 0}, {0}},
      {"lost three-phase line", all, 4, binaryLost.get(), {0, 0, 0, 0, 1, 0}, {}},
      {"no block counts as lost", all, 4, blockless.get(), {0, 0, 0, 0, 1, 0}, {}},
      {"ASCII: configuration", all, 4, ascii.get(), {0, 0, 0, 0, 1, 0}, {4}},
  };
  Console c;
  for (const Case& k : cases) {
    c.s().tabEnabled = k.enabled;
    c.ctx->points.rebuildDetailTabs();
    std::vector<std::string> titles;
    for (int slot = 0; slot < kDetailTabs; ++slot)
      if (k.enabled[static_cast<size_t>(slot)]) titles.push_back(c.ctx->texts.view.tabTitles[static_cast<size_t>(slot)]);
    EXPECT_EQ(c.items(), titles) << k.what;
    c.w->tabControl()->setCurrentIndex(k.selection);
    c.w->detailTabSelection = k.selection;
    c.selected = const_cast<DeviceNode*>(k.device);
    c.ctx->points.refreshDetailTabs(1);
    EXPECT_EQ(c.selectedSlots(), k.selected) << k.what;
    EXPECT_EQ(c.shown(), k.shown) << k.what;
  }
}

TEST(DetailTabsTest, RebuildAfterALanguageChangeShowsOnlyTheFirstPage) {
  Console c;
  auto ups = MakeDevice(kNodeSerial, kCommAscii);
  c.selected = ups.get();
  c.w->tabControl()->setCurrentIndex(2);
  c.ctx->points.refreshDetailTabs(1);
  ASSERT_EQ(c.shown(), std::vector<int>{2});
  c.ctx->texts.view.tabTitles[0] = "Overview";
  c.ctx->points.rebuildDetailTabs();
  EXPECT_EQ(c.items().front(), "Overview");
  EXPECT_EQ(c.w->tabControl()->currentIndex(), 0);
  EXPECT_EQ(c.w->detailTabSelection, 0);
  EXPECT_TRUE(c.shown().empty());  // the old page does not stay over the new one
  c.ctx->points.refreshDetailTabs(0);
  EXPECT_EQ(c.shown(), std::vector<int>{0});
}

TEST(DetailTabsTest, TabSwitchAndRepaintCountdown) {
  int modulePaints = 0;
  bool layoutChanged = true;
  Console c([&](ConsoleContext& ctx) {
    ctx.points.paintModuleTab = [&](Canvas&, DeviceNode&, bool) {
      ++modulePaints;
      return layoutChanged;
    };
  });
  EXPECT_EQ(c.w->tabControl()->tabPosition(), QTabWidget::South);
  EXPECT_EQ(c.w->tabControl()->tabBar()->focusPolicy(), Qt::NoFocus);
  auto ups = MakeDevice(kNodeSerial, kCommAscii);
  c.selected = ups.get();
  c.ctx->points.refreshDetailTabs(1);
  ASSERT_EQ(c.shown(), std::vector<int>{0});
  EXPECT_GT(Inked(c.w->tabPage(0)->surface()), 0);       // the Summary is painted
  EXPECT_GT(Inked(c.w->propertyPane()->surface()), 0);   // and the pane

  // The switch hides the old page at once; the next tick shows the new one.
  c.w->tabRepaintCountdown = 0;
  c.w->tabControl()->setCurrentIndex(2);
  EXPECT_TRUE(c.shown().empty());
  EXPECT_EQ(modulePaints, 0);
  c.w->OnRepaintTimer();
  EXPECT_EQ(c.shown(), std::vector<int>{2});
  EXPECT_EQ(modulePaints, 1);
  // The Module page's layout changed: one more full refresh on the next tick.
  EXPECT_EQ(c.w->tabRepaintCountdown, 1);
  layoutChanged = false;
  c.fullRefreshes = 0;
  c.w->OnRepaintTimer();
  EXPECT_EQ(c.fullRefreshes, 1);
  EXPECT_EQ(c.w->tabRepaintCountdown, 0);

  // Three paints of the main window within one tick give one full refresh.
  c.fullRefreshes = 0;
  for (int i = 0; i < 3; ++i) c.w->grab();
  c.w->OnRepaintTimer();
  c.w->OnRepaintTimer();
  EXPECT_EQ(c.fullRefreshes, 1);
}

TEST(DetailTabsTest, MinuteReloadOnlyWithTheScheduleItemSelected) {
  struct Case {
    std::array<bool, 6> enabled;
    int selection;
    bool reload;
  } cases[] = {
      {{true, true, true, true, true, true}, 3, true},
      {{false, false, true, true, true, true}, 1, true},    // Schedule is item 1
      {{true, true, false, true, true, true}, 3, false},    // item 3 is Configuration
      {{true, true, true, false, true, true}, 3, false},
  };
  for (const Case& k : cases) {
    Console c;
    c.s().tabEnabled = k.enabled;
    c.ctx->points.rebuildDetailTabs();
    c.w->detailTabSelection = k.selection;
    c.w->tabReloadFlag = 0;
    c.clock.advance(60000);  // a new minute
    c.w->OnSecondTimer();
    EXPECT_EQ(c.w->tabReloadFlag, k.reload ? 1 : 0) << k.selection;
  }
}

TEST(DetailTabsTest, SettingsDialogsAreMadeOnceOnTheirPages) {
  Console c;
  EXPECT_EQ(c.dialogsMade, (std::vector<int>{3, 4, 5}));
  for (int slot : {3, 4, 5}) {
    // The dialog is the one widget in its page's scroll area.
    const auto* scroll = c.w->tabPage(slot)->findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr) << slot;
    const QWidget* dialog = scroll->widget();
    ASSERT_NE(dialog, nullptr) << slot;
    EXPECT_EQ(FromQColor(dialog->palette().color(QPalette::Window)), SysColorValue(kColorWindow));
  }
  c.ctx->points.rebuildDetailTabs();
  EXPECT_EQ(c.dialogsMade.size(), 3u);
}

}  // namespace
}  // namespace lark
