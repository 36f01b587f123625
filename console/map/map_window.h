// The map window: a frameless tool window beside the main window showing the
// MapView's image, with the header on top and a bottom strip holding the
// resize grip, the transparency slider (id 5), the "Fit Bitmap" box (id 6)
// and the close button. The mouse selects, drags and opens icons and moves
// or resizes the window. The pointer is not warped: an icon drag follows a
// drag point kept at the icon's top-left corner, clamped to the window, and
// the icon is drawn and dropped there.
#pragma once
#include <QCheckBox>
#include <QPoint>
#include <QRect>
#include <QSlider>
#include <QWidget>

#include "console/map/map_view.h"

namespace lark {

class ConsoleContext;

class MapWindow final : public QWidget {
 public:
  enum DragMode { kNone = 0, kResize = 1, kClosePressed = 2, kMove = 3 };
  static constexpr int kSliderId = 5;
  static constexpr int kFitBoxId = 6;
  static constexpr int kMinSize = 100;

  MapWindow(ConsoleContext& ctx, MapView& view, QWidget* owner);
  ~MapWindow() override;

  // The 1-second timer: one blink step unless a drag is under way.
  void OnTimer();
  DragMode dragMode() const { return mode_; }
  bool iconDrag() const { return iconDrag_; }
  QPoint dragPoint() const { return dragPoint_; }
  int cursorId() const { return cursorId_; }  // MapCursorId shown
  QSlider* slider() const { return slider_; }
  QCheckBox* fitBox() const { return fitBox_; }

  // The mouse, in client coordinates (events call these; so do tests).
  void ButtonDown(QPoint p);
  void MouseMove(QPoint p, bool leftHeld);
  void ButtonUp(QPoint p);
  void DoubleClick(QPoint p);
  // The right button: the icon under `p`, if any, becomes the selected one
  // and the map pop-up opens at the screen point `global`; its items go to
  // the main window's commands.
  void RightButtonDown(QPoint p, QPoint global);

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;

 private:
  QRect GripRect() const { return QRect(0, height() - 16, 16, 16); }
  QRect CloseRect() const { return QRect(width() - 16, height() - 16, 16, 16); }
  bool Closed() const;
  void SaveRect();
  QPoint ClampDragPoint(QPoint p) const;
  void ShowCursor(int id);
  // Without a button: 117 over an icon, the grip or the close button, else the arrow.
  void ShowHoverCursor(QPoint p);

  ConsoleContext& ctx_;
  MapView& view_;
  QSlider* slider_;
  QCheckBox* fitBox_;
  DragMode mode_ = kNone;
  bool iconDrag_ = false;
  bool moved_ = false;
  bool closeShownPressed_ = true;
  int cursorId_ = 0;  // while the close button is held
  QPoint offset_;     // from the pointer to the dragged icon's top-left corner
  QPoint dragPoint_;  // the dragged icon's top-left corner
  QPoint start_;      // the pointer (global) at the start of a move or resize
  QRect startRect_;   // the window's rectangle then
};

}  // namespace lark
