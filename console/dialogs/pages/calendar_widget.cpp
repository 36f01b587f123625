#include "console/dialogs/pages/calendar_widget.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include "console/shell/dialog_texts.h"
#include "console/views/image_canvas.h"

namespace lark {

CalendarWidget::CalendarWidget(const CalendarFonts& fonts, QWidget* parent) : SurfaceWidget(parent), fonts_(fonts) {
  setObjectName("JCalendarClass");
  SetControlId(this, kCalendarControl);
  setAccessibleName("Calendar");
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(210, 140);
}

void CalendarWidget::Repaint() {
  QImage& picture = surface();
  ImageCanvas c(&picture);
  CalendarPaint(c, picture.width(), picture.height(), state_, rows_ ? &*rows_ : nullptr, fonts_);
  update();
}

void CalendarWidget::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  QImage& picture = surface();
  ImageCanvas c(&picture);
  const QPoint at = e->position().toPoint() - contentsRect().topLeft();
  if (rows_ && CalendarClick(c, picture.width(), picture.height(), state_, at.x(), at.y())) update();
  if (!hasFocus()) setFocus(Qt::MouseFocusReason);
}

void CalendarWidget::keyPressEvent(QKeyEvent* e) {
  std::optional<CalendarArrow> arrow;
  switch (e->key()) {
    case Qt::Key_Left: arrow = CalendarArrow::kLeft; break;
    case Qt::Key_Right: arrow = CalendarArrow::kRight; break;
    case Qt::Key_Up: arrow = CalendarArrow::kUp; break;
    case Qt::Key_Down: arrow = CalendarArrow::kDown; break;
    case Qt::Key_Escape: return;  // taken, so it does not reach the page
    default: SurfaceWidget::keyPressEvent(e); return;
  }
  QImage& picture = surface();
  ImageCanvas c(&picture);
  if (rows_ && CalendarKey(c, picture.width(), picture.height(), state_, *arrow)) update();
}

void CalendarWidget::focusInEvent(QFocusEvent* e) {
  state_.focus = true;
  Repaint();
  SurfaceWidget::focusInEvent(e);
}

void CalendarWidget::focusOutEvent(QFocusEvent* e) {
  state_.focus = false;
  Repaint();
  SurfaceWidget::focusOutEvent(e);
}

void CalendarWidget::resizeEvent(QResizeEvent* e) {
  SurfaceWidget::resizeEvent(e);
  Repaint();
}

}  // namespace lark
