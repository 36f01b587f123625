#include "console/shell/alarm_popup.h"

#include <QListWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "console/shell/main_window.h"

namespace lark {

QRect PlaceAlarmPopup(const WindowRect& stored, const WorkArea& area, const QRect& tabBar) {
  const QRect work(QPoint(area.left, area.top), QPoint(area.right - 1, area.bottom - 1));
  const QRect want(stored.left, stored.top, stored.right - stored.left, stored.bottom - stored.top);
  if (work.contains(want) && !want.intersects(tabBar)) return want;
  // The smallest popup still shows a line or two of text.
  constexpr int kMinWidth = 240, kMinHeight = 60;
  const int w = std::clamp(want.width(), std::min(kMinWidth, work.width()),
                           std::max(work.width() / 2, kMinWidth));
  const int h = std::clamp(want.height(), std::min(kMinHeight, work.height()),
                           std::max(work.height() / 3, kMinHeight));
  QRect r(work.right() - w + 1, work.bottom() - h + 1, w, h);
  if (r.intersects(tabBar)) {
    const int beside = work.right() - tabBar.right();
    if (beside >= kMinWidth) {
      r.setLeft(work.right() - std::min(w, beside) + 1);
    } else {
      r.moveBottom(tabBar.top() - 1);
    }
  }
  return r.intersected(work);
}

AlarmPopup::AlarmPopup(ConsoleContext& ctx, QWidget* owner) : QDialog(owner), ctx_(ctx) {
  setObjectName("AlarmPopup");
  setProperty("id", kDialogId);
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  setWindowTitle("Broadcast");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  list_ = new QListWidget(this);
  SetControlId(list_, kListId);
  list_->setAccessibleName("Alarm messages");
  list_->setFont(ctx.fonts.value);
  layout->addWidget(list_);
  const WindowRect& r = ctx.monitor.settings().broadcast;
  if (r.left != kRectUnset && r.right > r.left && r.bottom > r.top) {
    QRect tabBar;
    if (ctx.mainWindow && ctx.mainWindow->isVisible() && ctx.mainWindow->tabControl()) {
      const QTabBar* bar = ctx.mainWindow->tabControl()->tabBar();
      if (bar->isVisible()) tabBar = QRect(bar->mapToGlobal(QPoint(0, 0)), bar->size());
    }
    setGeometry(PlaceAlarmPopup(r, ctx.monitor.workArea(), tabBar));
  }
  placed_ = true;
}

void AlarmPopup::moveEvent(QMoveEvent* e) {
  QDialog::moveEvent(e);
  saveRect();
}

void AlarmPopup::resizeEvent(QResizeEvent* e) {
  QDialog::resizeEvent(e);
  saveRect();
}

void AlarmPopup::saveRect() {
  if (!placed_ || !isVisible()) return;
  const QRect g = geometry();
  WindowRect& r = ctx_.monitor.settings().broadcast;
  const WindowRect now{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
  if (r == now) return;
  r = now;
  ctx_.monitor.SaveWindowRects();
  ctx_.monitor.Save();
}

void ShowAlarmPopup(ConsoleContext& ctx, QPointer<AlarmPopup>& popup, const std::string& line) {
  if (line.empty()) return;
  CallPoint(ctx.points.switchScreenSaverOff);
  if (ctx.mainWindow && ctx.mainWindow->isMinimized()) ctx.mainWindow->showNormal();
  if (!popup) popup = new AlarmPopup(ctx, ctx.mainWindow);
  popup->list()->insertItem(0, QString::fromStdString(line));
  popup->show();
  popup->raise();
  popup->activateWindow();
}

}  // namespace lark
