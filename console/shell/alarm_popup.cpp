#include "console/shell/alarm_popup.h"

#include <QListWidget>
#include <QVBoxLayout>

#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "console/shell/main_window.h"

namespace lark {

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
    setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
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
