// The graph window (id 150, class "JGraphClass"): two scroll bars 3 and 4
// that act on release (no tracking), the keys, the focus frame, and a back
// buffer rebuilt only when the redraw flag is set.
#pragma once
#include <QImage>
#include <QWidget>
#include <functional>

#include "viewer/graph_painter.h"

class QScrollBar;

namespace lark {

class ViewerContext;

class GraphWindow : public QWidget {
 public:
  GraphWindow(ViewerContext& ctx, QWidget* parent);

  // Paints now into the window's image (scroll set-up first when the span,
  // scale or month changed) and schedules the screen copy.
  void PaintNow();
  // Escape ends the dialog with this result.
  std::function<void(int result)> endDialog;

  // Scroll actions by their scroll-bar meaning.
  enum class HAction { kLineLeft, kLineRight, kPageLeft, kPageRight, kLeftEdge, kRightEdge };
  enum class VAction { kLineUp, kLineDown, kPageUp, kPageDown, kTop, kBottom };
  void HScroll(HAction a);
  void HThumb(int value);
  void VScroll(VAction a);
  void VThumb(int value);

  const QImage& surface() const { return surface_; }
  const QImage& backBuffer() const { return back_; }
  const GraphGeometry& graphGeometry() const { return geo_; }
  QScrollBar* hBar() const { return hBar_; }
  QScrollBar* vBar() const { return vBar_; }

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void keyPressEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent*) override;
  void focusInEvent(QFocusEvent*) override;
  void focusOutEvent(QFocusEvent*) override;
  bool focusNextPrevChild(bool) override { return false; }  // Tab comes to keyPressEvent

 private:
  void Layout();
  void SetUpScrolls();
  void SetH(int64_t pos);
  void SetV(int pos);
  ViewerContext& ctx_;
  QScrollBar* hBar_;
  QScrollBar* vBar_;
  GraphGeometry geo_;
  QImage surface_;
  QImage back_;
};

}  // namespace lark
