#include "viewer/graph_window.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "console/views/image_canvas.h"
#include "viewer/viewer_context.h"

namespace lark {

GraphWindow::GraphWindow(ViewerContext& ctx, QWidget* parent)
    : QWidget(parent),
      ctx_(ctx),
      hBar_(new QScrollBar(Qt::Horizontal, this)),
      vBar_(new QScrollBar(Qt::Vertical, this)) {
  setObjectName("JGraphClass");
  setProperty("id", 150);
  setFocusPolicy(Qt::StrongFocus);
  hBar_->setProperty("id", 3);
  vBar_->setProperty("id", 4);
  for (QScrollBar* bar : {hBar_, vBar_}) {
    bar->setTracking(false);
    bar->setFocusPolicy(Qt::NoFocus);
  }
  // The bars only report; the positions are ours.
  connect(hBar_, &QScrollBar::actionTriggered, this, [this](int action) {
    switch (action) {
      case QAbstractSlider::SliderSingleStepSub:
        HScroll(HAction::kLineLeft);
        break;
      case QAbstractSlider::SliderSingleStepAdd:
        HScroll(HAction::kLineRight);
        break;
      case QAbstractSlider::SliderPageStepSub:
        HScroll(HAction::kPageLeft);
        break;
      case QAbstractSlider::SliderPageStepAdd:
        HScroll(HAction::kPageRight);
        break;
      case QAbstractSlider::SliderToMinimum:
        HScroll(HAction::kLeftEdge);
        break;
      case QAbstractSlider::SliderToMaximum:
        HScroll(HAction::kRightEdge);
        break;
      default:
        return;
    }
    hBar_->setSliderPosition(ThumbFromHpos(ctx_.state()));
  });
  connect(hBar_, &QScrollBar::sliderReleased, this, [this] { HThumb(hBar_->sliderPosition()); });
  connect(vBar_, &QScrollBar::actionTriggered, this, [this](int action) {
    switch (action) {
      case QAbstractSlider::SliderSingleStepSub:
        VScroll(VAction::kLineUp);
        break;
      case QAbstractSlider::SliderSingleStepAdd:
        VScroll(VAction::kLineDown);
        break;
      case QAbstractSlider::SliderPageStepSub:
        VScroll(VAction::kPageUp);
        break;
      case QAbstractSlider::SliderPageStepAdd:
        VScroll(VAction::kPageDown);
        break;
      case QAbstractSlider::SliderToMinimum:
        VScroll(VAction::kTop);
        break;
      case QAbstractSlider::SliderToMaximum:
        VScroll(VAction::kBottom);
        break;
      default:
        return;
    }
    vBar_->setSliderPosition(ctx_.state().lastVpos - ctx_.state().vpos);
  });
  connect(vBar_, &QScrollBar::sliderReleased, this, [this] { VThumb(vBar_->sliderPosition()); });
  Layout();
}

void GraphWindow::Layout() {
  const int hh = hBar_->sizeHint().height();
  const int vw = vBar_->sizeHint().width();
  const int w = std::max(width(), kValueBand + vw + 2);
  const int h = std::max(height(), kTimeBand + hh + 2);
  geo_ = GraphGeometryFor(w, h, hh, vw);
  hBar_->setGeometry(kValueBand, h - kTimeBand - hh, w - vw - kValueBand, hh);
  vBar_->setGeometry(w - vw, 0, vw, h - kTimeBand - hh);
  surface_ = QImage(w, h, QImage::Format_RGB32);
  surface_.fill(ToQColor(SysColorValue(kColorBtnFace)));
  back_ = QImage(geo_.plot.width(), geo_.plot.height(), QImage::Format_RGB32);
  back_.fill(Qt::white);
  ctx_.state().redraw = true;
}

void GraphWindow::SetUpScrolls() {
  GraphViewState& s = ctx_.state();
  if (s.span != s.cachedSpan || s.monthIndex != s.cachedMonth) {
    const WallTime now = ctx_.clock().now();
    SetUpHorizontal(s, ctx_.xAxisSeg(), now.day, now.hour, now.minute);
    hBar_->setRange(0, s.hScrollRange);
    hBar_->setSliderPosition(ThumbFromHpos(s));
    s.cachedSpan = s.span;
    s.cachedMonth = s.monthIndex;
  }
  if (s.scale != s.cachedScale) {
    SetUpVertical(s);
    vBar_->setRange(0, std::max(s.lastVpos, 0));
    vBar_->setSliderPosition(s.lastVpos);
    s.cachedScale = s.scale;
  }
}

void GraphWindow::PaintNow() {
  SetUpScrolls();
  ImageCanvas window(&surface_);
  ImageCanvas back(&back_);
  PaintHistoryGraph(window, back, ctx_, geo_, hasFocus());
  update();
}

void GraphWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, surface_);
}

void GraphWindow::resizeEvent(QResizeEvent*) {
  Layout();
  PaintNow();
}

void GraphWindow::SetH(int64_t pos) {
  GraphViewState& s = ctx_.state();
  pos = std::clamp<int64_t>(pos, 0, std::max<int64_t>(s.lastHpos, 0));
  if (pos == s.hpos) return;
  s.hpos = pos;
  hBar_->setSliderPosition(ThumbFromHpos(s));
  s.redraw = true;
  setFocus();
  PaintNow();
}

void GraphWindow::SetV(int pos) {
  GraphViewState& s = ctx_.state();
  pos = std::clamp(pos, 0, std::max(s.lastVpos, 0));
  if (pos == s.vpos) return;
  s.vpos = pos;
  vBar_->setSliderPosition(s.lastVpos - s.vpos);
  s.redraw = true;
  setFocus();
  PaintNow();
}

void GraphWindow::HScroll(HAction a) {
  const GraphViewState& s = ctx_.state();
  switch (a) {
    case HAction::kLineLeft:
      SetH(s.hpos - 1);
      break;
    case HAction::kLineRight:
      SetH(s.hpos + 1);
      break;
    case HAction::kPageLeft:
      SetH(s.hpos - 10);
      break;
    case HAction::kPageRight:
      SetH(s.hpos + 10);
      break;
    case HAction::kLeftEdge:
      SetH(0);
      break;
    case HAction::kRightEdge:
      SetH(s.lastHpos);
      break;
  }
}

void GraphWindow::HThumb(int value) { SetH(HposFromThumb(ctx_.state(), value)); }

void GraphWindow::VScroll(VAction a) {
  const GraphViewState& s = ctx_.state();
  switch (a) {
    case VAction::kLineUp:
      SetV(s.vpos + 1);
      break;
    case VAction::kLineDown:
      SetV(s.vpos - 1);
      break;
    case VAction::kPageUp:
      SetV(s.vpos + 5);
      break;
    case VAction::kPageDown:
      SetV(s.vpos - 5);
      break;
    case VAction::kTop:
      SetV(s.lastVpos);
      break;
    case VAction::kBottom:
      SetV(0);
      break;
  }
}

void GraphWindow::VThumb(int value) { SetV(ctx_.state().lastVpos - value); }

void GraphWindow::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_Tab:
      QWidget::focusNextPrevChild(true);
      break;
    case Qt::Key_Backtab:
      QWidget::focusNextPrevChild(false);
      break;
    case Qt::Key_Escape:
      if (endDialog) endDialog(0);
      break;
    case Qt::Key_PageUp:
      VScroll(VAction::kPageUp);
      break;
    case Qt::Key_PageDown:
      VScroll(VAction::kPageDown);
      break;
    case Qt::Key_Left:
      HScroll(HAction::kLineLeft);
      break;
    case Qt::Key_Right:
      HScroll(HAction::kLineRight);
      break;
    case Qt::Key_Up:
      VScroll(VAction::kLineUp);
      break;
    case Qt::Key_Down:
      VScroll(VAction::kLineDown);
      break;
    default:
      QWidget::keyPressEvent(e);
      return;
  }
  e->accept();
}

void GraphWindow::mousePressEvent(QMouseEvent*) { setFocus(); }

void GraphWindow::focusInEvent(QFocusEvent*) { PaintNow(); }
void GraphWindow::focusOutEvent(QFocusEvent*) { PaintNow(); }

}  // namespace lark
