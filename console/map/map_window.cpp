#include "console/map/map_window.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <algorithm>

#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "console/shell/main_window.h"
#include "console/views/map_icons.h"

namespace lark {

MapWindow::MapWindow(ConsoleContext& ctx, MapView& view, QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint), ctx_(ctx), view_(view) {
  setObjectName("JMapClass");
  setWindowTitle("Map");
  MonitorSettings& s = ctx_.monitor.settings();
  setWindowOpacity(std::clamp(s.transparency, 50, 255) / 255.0);
  slider_ = new QSlider(Qt::Horizontal, this);
  SetControlId(slider_, kSliderId);
  slider_->setRange(50, 255);
  slider_->setValue(std::clamp(s.transparency, 50, 255));
  fitBox_ = new QCheckBox("Fit Bitmap", this);
  SetControlId(fitBox_, kFitBoxId);
  fitBox_->setFont(ctx_.fonts.value);
  fitBox_->setChecked(s.fitPicture != 0);
  connect(slider_, &QSlider::valueChanged, this, [this](int v) {
    MonitorSettings& st = ctx_.monitor.settings();
    if (v == st.transparency) return;
    st.transparency = v;
    setWindowOpacity(v / 255.0);
    ctx_.monitor.SaveWindowRects();
  });
  connect(fitBox_, &QCheckBox::toggled, this, [this](bool on) {
    MonitorSettings& st = ctx_.monitor.settings();
    if ((st.fitPicture != 0) == on) return;
    st.fitPicture = on ? 1 : 0;
    ctx_.monitor.SaveWindowRects();
  });
  view_.changed = [this] { repaint(); };
  setMouseTracking(true);  // the hover cursor follows the pointer without a button
  // The picture's size, keeping the saved top and right edges.
  view_.fitWindow = [this](int w, int h) {
    const WindowRect& saved = ctx_.monitor.settings().map;
    setGeometry(saved.right - w, saved.top, w, h);
  };
}

MapWindow::~MapWindow() {
  view_.changed = nullptr;
  view_.fitWindow = nullptr;
}

bool MapWindow::Closed() const { return ctx_.monitor.settings().viewFlags & kViewMapClosed; }

void MapWindow::SaveRect() {
  const QRect g = geometry();
  ctx_.monitor.settings().map = {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
  ctx_.monitor.SaveWindowRects();
}

void MapWindow::OnTimer() {
  if (mode_ == kNone && !iconDrag_) view_.BlinkAlarmIcons();
}

void MapWindow::resizeEvent(QResizeEvent*) {
  view_.resize(width(), height());
  const int s = std::min(width() - 16 - 16 - 10, 205);
  slider_->setGeometry(21, height() - 16, std::max(s, 0), 15);
  if (s + 120 >= width() - 16) {
    fitBox_->hide();
  } else {
    fitBox_->setGeometry(s + 40, height() - 16, 80, 15);
    fitBox_->show();
  }
  view_.Paint();
}

void MapWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, view_.image());
  if (iconDrag_ && moved_) {
    if (const DeviceNode* n = view_.selectedNode()) {
      p.drawImage(dragPoint_, MapIconImage(NodeIconId(*n, false)));
    }
  }
}

// The dragged icon stays inside the window with room for its label, by the
// old cursor rules with the window's rectangle in client coordinates.
QPoint MapWindow::ClampDragPoint(QPoint p) const {
  const int h = view_.lineHeight();
  const QRect r(0, 0, width(), height());
  const int right = r.left() + r.width(), bottom = r.top() + r.height();
  const auto shortRule = [&] {
    if (p.y() + 20 > bottom) p.setY(bottom - 20);
    else if (p.y() < r.top() + h + 10) p.setY(r.top() + h + 10);
  };
  if (p.x() + 32 > right) {
    p.setX(right - 32);
    shortRule();
  } else if (p.x() < r.left() + 20) {
    p.setX(r.left() + 20);
    shortRule();
  } else if (p.y() + h + 40 > bottom) {
    p.setY(bottom - 40 - h);
  } else if (p.y() < r.top() + h + 10) {
    p.setY(r.top() + h + 10);
  }
  return p;
}

void MapWindow::ShowCursor(int id) {
  if (id == cursorId_) return;
  cursorId_ = id;
  if (id == kCursorArrow) {
    setCursor(Qt::ArrowCursor);
  } else {
    setCursor(QCursor(QPixmap::fromImage(MapCursorImage(id)), 1, 1));
  }
}

void MapWindow::ShowHoverCursor(QPoint p) {
  const bool over = GripRect().contains(p) || CloseRect().contains(p) ||
                    (!Closed() && view_.HitTestIcon(p.x(), p.y(), false));
  ShowCursor(over ? kCursorHover : kCursorArrow);
}

void MapWindow::ButtonDown(QPoint p) {
  startRect_ = geometry();
  start_ = mapToGlobal(p);
  if (GripRect().contains(p)) {
    mode_ = kResize;
    view_.gripPressed = true;
    view_.DrawStripButton(kBitmapGripPressed);
    return;
  }
  if (CloseRect().contains(p)) {
    mode_ = kClosePressed;
    closeShownPressed_ = true;
    view_.DrawStripButton(kBitmapClosePressed);
    return;
  }
  if (Closed()) return;
  const bool locked = ctx_.monitor.settings().viewFlags & kViewLockObjects;
  if (view_.HitTestIcon(p.x(), p.y(), true) && !locked) {
    const NodeRect r = view_.selectedNode()->iconRect();
    offset_ = QPoint(r.left - p.x(), view_.lineHeight() + r.top + 3 - p.y());
    dragPoint_ = p + offset_;
    iconDrag_ = true;
    moved_ = false;
    ShowCursor(kCursorHeld);
    return;
  }
  mode_ = kMove;
}

void MapWindow::MouseMove(QPoint p, bool leftHeld) {
  if (iconDrag_) {
    if (Closed()) return;
    if (!moved_) {
      moved_ = true;
      ctx_.mapDirty = true;
      view_.BeginIconDrag();
      ShowCursor(view_.selectedNode()->isGroup() ? kCursorDragGroup : kCursorDragDevice);
    }
    dragPoint_ = ClampDragPoint(p + offset_);
    update();
    return;
  }
  if (!leftHeld) {
    ShowHoverCursor(p);
    return;
  }
  if (mode_ == kClosePressed) {
    // The pressed look follows the pointer on and off the button.
    const bool on = CloseRect().contains(p);
    if (on != closeShownPressed_) view_.DrawStripButton(on ? kBitmapClosePressed : kBitmapClose);
    closeShownPressed_ = on;
    return;
  }
  const QPoint c = mapToGlobal(p);
  if (mode_ == kResize) {
    const int w = std::max(kMinSize, startRect_.width() + (start_.x() - c.x()));
    const int h = std::max(kMinSize, startRect_.height() + (c.y() - start_.y()));
    const QRect g = geometry();
    setGeometry(g.left() + g.width() - w, g.top(), w, h);
  } else if (mode_ == kMove) {
    startRect_.translate(c - start_);
    move(startRect_.topLeft());
    start_ = c;
  }
}

void MapWindow::ButtonUp(QPoint p) {
  if (mode_ == kResize) {
    view_.gripPressed = false;
    view_.DrawStripButton(kBitmapGrip);
  }
  if (mode_ == kClosePressed && !CloseRect().contains(p)) view_.DrawStripButton(kBitmapClose);
  if (mode_ == kResize || mode_ == kMove) {
    SaveRect();
  } else if (mode_ == kClosePressed && CloseRect().contains(p)) {
    ctx_.monitor.settings().viewFlags |= kViewMapClosed;
    hide();
    ctx_.monitor.SaveWindowRects();
    // The main window's map button shows the map closed at once.
    if (ctx_.mainWindow) ctx_.mainWindow->RedrawSurface();
  }
  mode_ = kNone;
  if (iconDrag_) {
    iconDrag_ = false;
    if (!Closed() && moved_) view_.EndIconDrag(dragPoint_.x(), dragPoint_.y());
    view_.dragging = false;
    moved_ = false;
    ShowHoverCursor(p);
    update();
  }
}

void MapWindow::DoubleClick(QPoint p) {
  if (Closed()) return;
  if (view_.HitTestIcon(p.x(), p.y(), true) && view_.selectedNode()->isGroup()) view_.EnterGroup();
}

void MapWindow::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) ButtonDown(e->position().toPoint());
  if (e->button() == Qt::RightButton) RightButtonDown(e->position().toPoint(), e->globalPosition().toPoint());
}

void MapWindow::RightButtonDown(QPoint p, QPoint global) {
  if (Closed()) return;
  view_.HitTestIcon(p.x(), p.y(), true);
  if (!ctx_.mainWindow) return;
  if (QMenu* menu = ctx_.mainWindow->menus().popup(kMenuMapPopup)) menu->popup(global);
}

void MapWindow::mouseMoveEvent(QMouseEvent* e) {
  MouseMove(e->position().toPoint(), e->buttons() == Qt::LeftButton);
}

void MapWindow::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) ButtonUp(e->position().toPoint());
}

void MapWindow::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) DoubleClick(e->position().toPoint());
}

}  // namespace lark
