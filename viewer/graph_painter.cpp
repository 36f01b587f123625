#include "viewer/graph_painter.h"

#include <cmath>

#include "console/views/drawing_kit.h"
#include "viewer/viewer_context.h"

namespace lark {

GraphGeometry GraphGeometryFor(int clientW, int clientH, int hBarHeight, int vBarWidth) {
  GraphGeometry g;
  g.hBarHeight = hBarHeight;
  g.vBarWidth = vBarWidth;
  g.plot = {kValueBand, 0, clientW - vBarWidth, clientH - kTimeBand - hBarHeight};
  if (g.plot.right < g.plot.left + 1) g.plot.right = g.plot.left + 1;
  if (g.plot.bottom < 1) g.plot.bottom = 1;
  return g;
}

ColorRef CurveColour(int curve) {
  static constexpr ColorRef kColours[] = {Rgb(255, 0, 0), Rgb(0, 192, 0), Rgb(0, 0, 255),
                                          Rgb(192, 192, 0), Rgb(128, 0, 0)};
  return kColours[curve % kCurveCount];
}

bool ClipSegment(double& x0, double& y0, double& x1, double& y1, double left, double top,
                 double right, double bottom) {
  // Liang-Barsky.
  double t0 = 0, t1 = 1;
  const double dx = x1 - x0, dy = y1 - y0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0 - left, right - x0, y0 - top, bottom - y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0) {
      if (t > t1) return false;
      if (t > t0) t0 = t;
    } else {
      if (t < t0) return false;
      if (t < t1) t1 = t;
    }
  }
  const double nx0 = x0 + t0 * dx, ny0 = y0 + t0 * dy;
  x1 = x0 + t1 * dx;
  y1 = y0 + t1 * dy;
  x0 = nx0;
  y0 = ny0;
  return true;
}

namespace {

QFont LabelFont() {
  QFont f("Arial");
  f.setPixelSize(12);
  f.setWeight(QFont::Normal);
  return f;
}

void DrawLabels(Canvas& w, ViewerContext& ctx, const GraphGeometry& g) {
  const GraphViewState& s = ctx.state();
  const int n = ctx.xAxisSeg();
  const double xSeg = static_cast<double>(g.plot.width()) / n;
  const double ySeg = static_cast<double>(g.plot.height()) / kValueRows;
  w.SetTextColor(SysColorValue(kColorWindowText));
  w.SetBkMode(BkMode::kTransparent);
  w.SelectFont(LabelFont());
  const int top = g.plot.bottom + g.hBarHeight + 5;
  for (int u = 0; u < n; ++u) {
    const int left = g.plot.left + static_cast<int>(u * xSeg);
    const CanvasRect box{left, top, left + static_cast<int>(xSeg), top + 20};
    DrawSysFilledRect(w, box.left, box.top, box.right, box.bottom, kColorBtnFace);
    w.DrawText(TimeLabel(s.span, s.hpos + u), box, kDtLeft | kDtSingleLine);
  }
  const int bottom = g.plot.bottom;
  for (int u = 0; u <= kValueRows; ++u) {
    CanvasRect box{1, static_cast<int>(bottom - u * ySeg - 10), 32,
                   static_cast<int>(bottom - (u - 1) * ySeg - 10)};
    if (u == kValueRows)
      box = {1, static_cast<int>(bottom - 10 * ySeg), 32, static_cast<int>(bottom - 9 * ySeg - 20)};
    DrawSysFilledRect(w, box.left, box.top, box.right, box.bottom, kColorBtnFace);
    w.DrawText(ValueLabel(s, u), box, kDtRight | kDtSingleLine);
  }
}

void RebuildBackBuffer(Canvas& b, ViewerContext& ctx, const GraphGeometry& g) {
  GraphViewState& s = ctx.state();
  s.redraw = false;
  const int W = g.plot.width();
  const int H = g.plot.height();
  const int n = ctx.xAxisSeg();
  const double xSeg = static_cast<double>(W) / n;
  const double ySeg = static_cast<double>(H) / kValueRows;
  DrawSolidRect(b, 0, 0, W, H, Rgb(255, 255, 255));
  DrawSysLine(b, 0, 0, W, 0, kColor3dDkShadow, 1);
  DrawSysLine(b, 0, 0, 0, H, kColor3dDkShadow, 1);
  DrawSysLine(b, 0, H - 1, W, H - 1, kColor3dDkShadow, 2);
  DrawSysLine(b, W - 1, 0, W - 1, H, kColor3dDkShadow, 2);
  const ColorRef grid = Rgb(160, 160, 160);
  for (int u = 1; u < n; ++u) {
    const int x = static_cast<int>(u * xSeg);
    DrawDottedLine(b, x, 0, x, H, grid, 1);
  }
  for (int u = 1; u < kValueRows; ++u) {
    const int y = static_cast<int>(u * ySeg);
    DrawDottedLine(b, 0, y, W, y, grid, 1);
  }
  const PlotWindow window = WindowOf(s.span, s.hpos, n, xSeg);
  const MonthData& m = ctx.ReadSelectedMonth(window.firstDay, window.lastDay);
  if (!m.opened) return;
  CurveWalk walk{s, m, window, static_cast<double>(H),
                 ySeg / kScales[static_cast<size_t>(s.scale)].step};
  WalkCurves(walk, [&](int curve, double x0, double y0, double x1, double y1) {
    // Clipped in real numbers: a far point never becomes a huge pixel run.
    if (!ClipSegment(x0, y0, x1, y1, -2, -2, W + 2, H + 2)) return;
    b.SelectPen(PenStyle::kSolid, 1, CurveColour(curve));
    b.MoveTo(static_cast<int>(x0), static_cast<int>(y0));
    b.LineTo(static_cast<int>(x1), static_cast<int>(y1));
  });
}

}  // namespace

void PaintHistoryGraph(Canvas& window, Canvas& back, ViewerContext& ctx, const GraphGeometry& g,
                       bool focus) {
  DrawLabels(window, ctx, g);
  if (ctx.state().redraw) RebuildBackBuffer(back, ctx, g);
  window.BitBlt(g.plot.left, g.plot.top, g.plot.width(), g.plot.height(), back, 0, 0);
  if (focus) window.DrawFocusRect(g.plot);
}

}  // namespace lark
