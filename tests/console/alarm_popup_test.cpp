// The alarm popup window: newest line on top, its place kept in monitor.ini,
// a closed window replaced by a new one at the next line, the screen saver
// switched off first.
#include "console/shell/alarm_popup.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QListWidget>
#include <QTabBar>
#include <QTabWidget>
#include <vector>

#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "console/shell/larkview.h"
#include "console/shell/main_window.h"
#include "console/tabs/detail_tabs.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

TEST(AlarmPopup, LinesOnTopPlaceKeptAndReopened) {
  test::TempDir dir;
  FakeClock clock;
  ConsoleContext ctx(dir.path(), clock, WorkArea{0, 0, 1280, 800});
  QPointer<AlarmPopup> popup;
  // The screen saver goes off for every line, before the window shows it.
  std::vector<bool> saverOffWithLineShown;
  ctx.points.switchScreenSaverOff = [&] {
    saverOffWithLineShown.push_back(!popup.isNull() && popup->isVisible() && popup->list()->count() > 0);
  };
  ShowAlarmPopup(ctx, popup, "");
  EXPECT_TRUE(popup.isNull()) << "an empty line opens nothing";
  EXPECT_TRUE(saverOffWithLineShown.empty());
  ShowAlarmPopup(ctx, popup, "first");
  EXPECT_EQ(saverOffWithLineShown, std::vector<bool>{false});
  ShowAlarmPopup(ctx, popup, "second");
  EXPECT_EQ(saverOffWithLineShown.size(), 2u);
  ASSERT_FALSE(popup.isNull());
  EXPECT_EQ(popup->property("id").toInt(), 176);
  auto* list = qobject_cast<QListWidget*>(FindControl(popup, AlarmPopup::kListId));
  ASSERT_NE(list, nullptr);
  EXPECT_FALSE(list->accessibleName().isEmpty());
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text(), "second");
  EXPECT_TRUE(popup->isVisible());

  popup->setGeometry(100, 120, 400, 90);
  const WindowRect want{100, 120, 500, 210};
  EXPECT_EQ(ctx.monitor.settings().broadcast, want);
  Profile saved(dir.file("monitor.ini"));
  EXPECT_EQ(saved.getString("Rect", "Broadcast.left", "", 64), "100");
  EXPECT_EQ(saved.getString("Rect", "Broadcast.bottom", "", 64), "210");

  popup->close();  // Cancel and the close box forget the window
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(popup.isNull());
  ShowAlarmPopup(ctx, popup, "third");
  ASSERT_FALSE(popup.isNull());
  EXPECT_EQ(popup->list()->count(), 1);
  EXPECT_EQ(popup->geometry(), QRect(100, 120, 400, 90)) << "at its saved place";
  delete popup.data();
}

// The stored rectangle stays where it lies inside the work area and clear of
// the tab bar; otherwise the popup goes to the bottom right corner, beside
// the tab bar or above it.
TEST(AlarmPopup, PlacedClearOfTheTabBarAndInsideTheWorkArea) {
  const WorkArea area{0, 0, 1600, 960};
  const WindowRect bottomStrip{0, 880, 1600, 960};  // the default on this area
  struct Case {
    const char* what;
    WindowRect stored;
    QRect tabBar;
    QRect want;
  } cases[] = {
      {"default, no tab bar", bottomStrip, {}, {0, 880, 1600, 80}},
      {"default, clear of the bar", bottomStrip, {300, 850, 320, 25}, {0, 880, 1600, 80}},
      {"default over the bar", bottomStrip, {300, 935, 320, 25}, {800, 880, 800, 80}},
      {"bar reaching past the middle", bottomStrip, {300, 935, 900, 25}, {1200, 880, 400, 80}},
      {"bar with no room beside it", bottomStrip, {0, 935, 1500, 25}, {800, 855, 800, 80}},
      {"inside, elsewhere", {100, 120, 500, 210}, {300, 935, 320, 25}, {100, 120, 400, 90}},
      {"off the screen", {2000, 100, 2400, 190}, {}, {1200, 870, 400, 90}},
      {"partly off the screen", {-50, 100, 350, 190}, {}, {1200, 870, 400, 90}},
      {"taller than the screen", {0, 0, 300, 1200}, {}, {1300, 640, 300, 320}},
  };
  const QRect work(0, 0, 1600, 960);
  for (const Case& c : cases) {
    const QRect got = PlaceAlarmPopup(c.stored, area, c.tabBar);
    EXPECT_EQ(got, c.want) << c.what;
    EXPECT_TRUE(work.contains(got)) << c.what;
    EXPECT_FALSE(got.intersects(c.tabBar)) << c.what;
  }
}

// The started console at both screen sizes: the popup at the default
// rectangle keeps clear of the detail tabs' bar.
TEST(AlarmPopup, ClearOfTheRealTabBar) {
  for (const WorkArea area : {WorkArea{0, 0, 1024, 768}, WorkArea{0, 0, 1600, 1000}}) {
    SCOPED_TRACE(area.right);
    test::TempDir dir;
    ASSERT_TRUE(MakeDirs(dir.file("English")));
    ASSERT_TRUE(WriteFileAtomic(dir.file("English/language.ini"),
                                ReadFile(test::SourcePath("data/English/language.ini")).value()));
    FakeClock clock;
    ConsoleContext ctx(dir.path(), clock, area);
    ctx.messageBox = [](QWidget*, const std::string&, const std::string&, unsigned) {
      return static_cast<int>(IDYES);
    };
    ctx.quit = [](int) {};
    InstallDetailTabs(ctx);
    std::string failed;
    std::unique_ptr<LarkviewWindow> w = StartConsole(ctx, &failed);
    ASSERT_EQ(failed, "");
    QCoreApplication::processEvents();
    const QTabBar* bar = w->tabControl()->tabBar();
    ASSERT_TRUE(bar->isVisible());
    const QRect barRect(bar->mapToGlobal(QPoint(0, 0)), bar->size());
    QPointer<AlarmPopup> popup;
    ShowAlarmPopup(ctx, popup, "(UPS 1) On battery");
    ASSERT_FALSE(popup.isNull());
    EXPECT_FALSE(popup->geometry().intersects(barRect)) << "bar at y " << barRect.top();
    EXPECT_TRUE(QRect(0, 0, area.right, area.bottom).contains(popup->geometry()));
    delete popup.data();
    w->SendCommand(IDM_EXIT);
    ShutdownConsole(ctx, *w);
  }
}

}  // namespace
}  // namespace lark
