#include "console/views/drawing_kit.h"

#include <algorithm>
#include <cmath>

namespace lark {
namespace {
constexpr double kKitPi = 3.1415926;  // the value the layouts were computed with
double Rad(double deg) { return deg * kKitPi / 180.0; }
}  // namespace

void DrawFilledRect(Canvas& c, int left, int top, int right, int bottom, ColorRef fill,
                    ColorRef frame) {
  c.SelectPen(PenStyle::kSolid, 1, frame);
  c.SelectBrush(fill);
  c.Rectangle(left, top, right, bottom);
}

void DrawSolidRect(Canvas& c, int left, int top, int right, int bottom, ColorRef colour) {
  c.SelectPen(PenStyle::kNull, 1, 0);
  c.SelectBrush(colour);
  c.Rectangle(left, top, right + 1, bottom + 1);
}

void DrawLine(Canvas& c, int x1, int y1, int x2, int y2, ColorRef colour, int width) {
  c.SelectPen(PenStyle::kSolid, width, colour);
  c.MoveTo(x1, y1);
  c.LineTo(x2, y2);
}

void DrawDottedLine(Canvas& c, int x1, int y1, int x2, int y2, ColorRef colour, int width) {
  c.SelectPen(PenStyle::kDot, width, colour);
  c.MoveTo(x1, y1);
  c.LineTo(x2, y2);
}

void DrawSysFilledRect(Canvas& c, int left, int top, int right, int bottom, int sysColour) {
  DrawFilledRect(c, left, top, right, bottom, SysColorValue(sysColour),
                 SysColorValue(kColor3dDkShadow));
}

void DrawSysSolidRect(Canvas& c, int left, int top, int right, int bottom, int sysColour) {
  DrawSolidRect(c, left, top, right, bottom, SysColorValue(sysColour));
}

void DrawSysLine(Canvas& c, int x1, int y1, int x2, int y2, int sysColour, int width) {
  DrawLine(c, x1, y1, x2, y2, SysColorValue(sysColour), width);
}

void DrawBitmap(Canvas& c, const QImage& bitmap, int x, int y) {
  if (!bitmap.isNull()) c.BitBltImage(x, y, bitmap);
}

void DrawBevel(Canvas& c, int left, int top, int right, int bottom, bool grip, int width) {
  DrawSysLine(c, left, top, left, bottom, kColorBtnFace, width);
  DrawSysLine(c, left, top, right, top, kColorBtnFace, width);
  DrawSysLine(c, right, top, right, bottom, kColorBtnShadow, width);
  DrawSysLine(c, left, bottom, right, bottom, kColorBtnShadow, width);
  if (!grip) return;
  for (int k : {2, 6}) {
    DrawSysLine(c, left + k, top + 2, left + k + 2, top + 2, kColorBtnFace, width);
    DrawSysLine(c, left + k, top + 2, left + k, bottom - 2, kColorBtnFace, width);
    DrawSysLine(c, left + k, bottom - 2, left + k + 2, bottom - 2, kColorBtnShadow, width);
    DrawSysLine(c, left + k + 2, top + 2, left + k + 2, bottom - 1, kColorBtnShadow, width);
  }
}

CanvasPoint PieRayPoint(const CanvasRect& r, int deg) {
  const int half = std::min(r.right - r.left, r.bottom - r.top) / 2;
  const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
  const int n = (((deg % 360) + 360) % 360) / 45;
  switch (n) {
    case 0:
    case 7:
      return {r.right, static_cast<int>(std::trunc(cy - std::tan(Rad(deg)) * half + 1.0))};
    case 1:
    case 2:
      return {static_cast<int>(std::trunc(cx + std::tan(Rad(90 - deg)) * half)), r.top};
    case 3:
    case 4:
      return {r.left, static_cast<int>(std::trunc(cy - std::tan(Rad(180 - deg)) * half + 1.0))};
    default:  // the bottom quadrant, mirrored from the top one
      return {static_cast<int>(std::trunc(cx - std::tan(Rad(90 - deg)) * half)), r.bottom};
  }
}

void DrawPieSegment(Canvas& c, const CanvasRect& r, int startDeg, int endDeg, ColorRef colour) {
  const CanvasPoint from = PieRayPoint(r, startDeg), to = PieRayPoint(r, endDeg);
  if (from == to) return;  // never let an empty wedge become the whole ellipse
  c.SelectPen(PenStyle::kSolid, 1, colour);
  c.SelectBrush(colour);
  c.Pie(r, from, to);
}

void BackBuffer::Create(const Canvas& reference, const QFont& valueFont) {
  canvas_ = reference.CreateCompatible(kSize, kSize);
  if (canvas_) canvas_->SelectFont(valueFont);
}

void DrawBarMeter(Canvas& c, int32_t full, int32_t warning, int32_t serious, int32_t value,
                  int left, int top, int right, int bottom, const LevelColours& colours) {
  if (full < 20) return;  // the segment step would be 0
  const int32_t step = full / 20;
  const int32_t n = full / step;
  const int sw = (right - left - 2) / n;
  const int xe = left + n * sw + 2;
  DrawSysLine(c, left + 1, top, xe, top, kColorBtnShadow, 1);
  DrawSysLine(c, left, top + 1, left, bottom, kColorBtnShadow, 1);
  DrawSysLine(c, left + 1, bottom, xe, bottom, kColorBtnShadow, 1);
  DrawSysLine(c, xe, top + 1, xe, bottom, kColorBtnShadow, 1);
  for (int32_t k = 0; k < n; ++k) {
    const int32_t t = k * step;
    const int x0 = left + k * sw + 2, x1 = left + (k + 1) * sw + 1;
    if (value == 0 || value <= t) {
      DrawSysSolidRect(c, x0, top + 2, x1, bottom - 1, kColorBtnShadow);
      continue;
    }
    const ColorRef lit = t > serious ? colours[0] : t > warning ? colours[1] : colours[2];
    DrawSolidRect(c, x0, top + 2, x1, bottom - 1, lit);
  }
}

void DrawPaneEdges(Canvas& c, const CanvasRect& tabArea, const CanvasRect& listArea) {
  static constexpr int kGroove[3] = {kColorBtnHighlight, kColorWindow, kColorBtnShadow};
  for (int i = 0; i < 3; ++i) {
    const int d = 3 - i;
    DrawSysLine(c, 0, tabArea.top - d, tabArea.right, tabArea.top - d, kGroove[i], 1);
    DrawSysLine(c, tabArea.left - d, tabArea.top, tabArea.left - d, tabArea.bottom, kGroove[i], 1);
    DrawSysLine(c, listArea.left - d, listArea.top, listArea.left - d, listArea.bottom, kGroove[i],
                1);
  }
}

}  // namespace lark
