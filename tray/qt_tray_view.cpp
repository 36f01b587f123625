#include "tray/qt_tray_view.h"

#include <QAction>
#include <QPainter>
#include <QPixmap>

namespace lark {

QIcon TrayStateIcon(TrayState state) {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QColor(0x20, 0x20, 0x20));
  // Alive: a green plug disc; on hold: amber with a pause bar; none: red with a cross.
  const QColor fill = state == kTrayAlive    ? QColor(0x20, 0xa0, 0x20)
                      : state == kTrayOnHold ? QColor(0xe0, 0xa0, 0x00)
                                             : QColor(0xd0, 0x20, 0x20);
  p.setBrush(fill);
  p.drawEllipse(1, 1, 13, 13);
  p.setPen(QPen(Qt::white, 2));
  if (state == kTrayAlive) {
    p.drawLine(8, 4, 8, 11);
  } else if (state == kTrayOnHold) {
    p.drawLine(6, 5, 6, 10);
    p.drawLine(10, 5, 10, 10);
  } else {
    p.drawLine(5, 5, 10, 10);
    p.drawLine(10, 5, 5, 10);
  }
  return QIcon(pm);
}

QtTrayView::QtTrayView(std::function<void(int)> onCommand) {
  for (int id : {kTrayCmdMonitor, kTrayCmdStartStop, kTrayCmdExit}) {
    QAction* a = menu_.addAction(QString());
    a->setData(id);
    a->setProperty("id", id);
    QObject::connect(a, &QAction::triggered, [onCommand, id] { onCommand(id); });
  }
  pictures_ = {TrayStateIcon(kTrayAlive), TrayStateIcon(kTrayOnHold),
               TrayStateIcon(kTrayNoService)};
  icon_.setContextMenu(&menu_);
  QObject::connect(&icon_, &QSystemTrayIcon::activated,
                   [onCommand](QSystemTrayIcon::ActivationReason r) {
                     if (r == QSystemTrayIcon::DoubleClick) onCommand(kTrayCmdMonitor);
                   });
}

bool QtTrayView::areaAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void QtTrayView::addIcon() {
  // Hidden first, so an area that came back gets the icon docked anew.
  icon_.hide();
  icon_.setIcon(pictures_[0]);
  icon_.setToolTip(QString::fromUtf8(kTrayTip));
  icon_.show();
  std::fprintf(stderr, "Larktray: icon shown in the notification area\n");
}

void QtTrayView::showIcon(TrayState state, const std::string& tip) {
  const QIcon& pic = pictures_[static_cast<size_t>(state - kTrayAlive)];
  if (icon_.icon().cacheKey() != pic.cacheKey()) icon_.setIcon(pic);
  QString t = QString::fromStdString(tip);
  if (icon_.toolTip() != t) icon_.setToolTip(t);
}

void QtTrayView::removeIcon() { icon_.hide(); }

void QtTrayView::setMenuText(int command, const std::string& text) {
  for (QAction* a : menu_.actions()) {
    if (a->data().toInt() == command) a->setText(QString::fromStdString(text));
  }
}

}  // namespace lark
