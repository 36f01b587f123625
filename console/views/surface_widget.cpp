#include "console/views/surface_widget.h"

#include <QPainter>

#include "console/views/image_canvas.h"

namespace lark {

SurfaceWidget::SurfaceWidget(QWidget* parent) : QFrame(parent) {}

QImage& SurfaceWidget::surface() {
  const QSize size = contentsRect().size().expandedTo({1, 1});
  if (surface_.size() != size) {
    surface_ = QImage(size, QImage::Format_RGB32);
    surface_.fill(ToQColor(SysColorValue(kColorWindow)));
  }
  return surface_;
}

void SurfaceWidget::paintEvent(QPaintEvent* e) {
  QFrame::paintEvent(e);  // the frame, when the window has one
  if (surface_.isNull()) return;
  QPainter p(this);
  p.drawImage(contentsRect().topLeft(), surface_);
}

}  // namespace lark
