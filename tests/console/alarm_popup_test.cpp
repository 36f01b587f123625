// The alarm popup window: newest line on top, its place kept in monitor.ini,
// a closed window replaced by a new one at the next line, the screen saver
// switched off first.
#include "console/shell/alarm_popup.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QListWidget>
#include <vector>

#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
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

}  // namespace
}  // namespace lark
