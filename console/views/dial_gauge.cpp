// The dial gauge of the Summary tab: a 240-degree scale from 210 degrees
// (0) round to -30 degrees (full scale), limit zones as a coloured ring, nine
// ticks, five labels, the value text and a needle. All arithmetic on device
// values is 64-bit, and values and limits are held to 0..full scale so that
// no angle leaves the scale.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "console/views/drawing_kit.h"
#include "core/device_node.h"
#include "core/live_data.h"

namespace lark {
namespace {

constexpr double kKitPi = 3.1415926;

bool Among(int v, std::initializer_list<int> set) {
  return std::find(set.begin(), set.end(), v) != set.end();
}

int64_t Value(const DeviceNode& node, BlockKind kind, int index) {
  const LiveDataBlock* b = node.block(kind);
  return b == nullptr ? -1 : b->slot(index);
}

// 2 x the first known of two values, else 400.
int64_t Doubled(const DeviceNode& node, BlockKind kind, int first, int second) {
  for (int i : {first, second}) {
    const int64_t v = Value(node, kind, i);
    if (v >= 0) return 2 * v;
  }
  return 400;
}

// The rows shared by the three-phase style blocks: input 43, 47, 51 and
// output 60, 64, 68, scaled by value 0 or 2, limits 8 and 7.
DialScale PhaseScale(const DeviceNode& node, BlockKind kind, int index, bool limits) {
  DialScale s;
  if (Among(index, {43, 47, 51}))
    s.full = Doubled(node, kind, 0, 2);
  else if (Among(index, {60, 64, 68}))
    s.full = Doubled(node, kind, 2, 0);
  else
    return s;
  s.unit = "V";
  if (limits) {
    s.upper = Value(node, kind, 8);
    s.lower = Value(node, kind, 7);
  }
  return s;
}

CanvasPoint AtAngle(int cx, int cy, double deg, int radius) {
  const double a = deg * kKitPi / 180.0;
  return {cx + static_cast<int>(std::trunc(std::cos(a) * radius)),
          cy - static_cast<int>(std::trunc(std::sin(a) * radius))};
}

}  // namespace

DialScale DialScaleFor(const DeviceNode& node, int index) {
  DialScale s;
  switch (node.nodeKind()) {
    case kNodeSnmp:
      if (node.mibType() == 7) return s;
      if (Among(index, {29, 32, 35}))
        s.full = Doubled(node, BlockKind::kSnmp, 3, 1);
      else if (Among(index, {40, 44, 48}))
        s.full = Doubled(node, BlockKind::kSnmp, 1, 3);
      else
        return s;
      s.unit = "V";
      s.upper = Value(node, BlockKind::kSnmp, 24);
      s.lower = Value(node, BlockKind::kSnmp, 23);
      return s;
    case kNodeGprs:
      return PhaseScale(node, BlockKind::kGprs, index, true);
    case kNodeSerial:
      break;
    default:
      return s;
  }
  switch (node.commType()) {
    case kCommAscii:
      return PhaseScale(node, BlockKind::kAscii, index, true);
    case kCommThreePhase:
      return PhaseScale(node, BlockKind::kBinary, index, false);
    case kCommModbusUps:
      return PhaseScale(node, BlockKind::kModbus, index, true);
    case kCommModbusTrv5200:
      if (Among(index, {17, 18, 19, 29, 30, 31})) s = {400, "V", 0, 0};
      return s;
    case kCommModbus9315:
      if (Among(index, {12, 13, 14, 26, 27, 28})) s = {400, "V", 0, 0};
      return s;
    case kCommInverter:
      if (Among(index, {2, 5, 8, 12, 16})) s = {Value(node, BlockKind::kModbus, 21), "W", 0, 0};
      return s;
    default:
      return s;
  }
}

void DrawDialGauge(BackBuffer& buffer, const DeviceNode& node, Canvas& target, int valueIndex,
                   const CanvasRect& area, int32_t value, const LevelColours& colours,
                   int textRow) {
  DrawDialGaugeScale(buffer, DialScaleFor(node, valueIndex), target, area, value, colours,
                     textRow);
}

void DrawDialGaugeScale(BackBuffer& buffer, const DialScale& scale, Canvas& target,
                        const CanvasRect& area, int32_t value, const LevelColours& colours,
                        int textRow) {
  Canvas* bb = buffer.canvas();
  if (bb == nullptr) return;
  Canvas& c = *bb;
  const int w = area.right - area.left, h = area.bottom - area.top, T = textRow;
  DrawSysSolidRect(c, 0, 0, w, h, kColorWindow);
  c.SetBkMode(BkMode::kTransparent);

  int r, x0, y0;
  if (w - 20 > h) {
    r = h / 2 - 3;
    x0 = (w - h) / 2;
    y0 = T;
  } else {
    r = (w - 20) / 2 - 3;
    x0 = 10;
    y0 = (h - (w - 20)) / 2 + T;
  }
  const int x1 = x0 + 2 * r, y1 = y0 + 2 * r;
  const int cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
  const CanvasRect face{x0 + 1, y0 + 1, x1 - 1, y1 - 1};
  const ColorRef shadow = SysColorValue(kColorBtnShadow);
  const int64_t M = scale.full;
  const bool hasScale = M > 0;

  if (hasScale) {
    const int k = r / 7 - 1;
    const CanvasRect inner{face.left + k, face.top + k, face.right - k, face.bottom - k};
    auto angleOf = [&](int64_t limit) {
      return static_cast<int>(210 - std::min(limit, M) * 240 / M);
    };
    if (scale.upper > 0) {
      DrawPieSegment(c, face, -30, angleOf(scale.upper), colours[0]);
      DrawPieSegment(c, inner, -34, 215, SysColorValue(kColorWindow));
    }
    if (scale.lower > 0) {
      DrawPieSegment(c, face, angleOf(scale.lower), 210, colours[0]);
      DrawPieSegment(c, inner, -34, 215, SysColorValue(kColorWindow));
    }
    c.SelectPen(PenStyle::kSolid, 1, shadow);
    c.Arc(face, {face.right, face.bottom - 20}, {face.left, face.bottom - 20});
  }

  c.SelectPen(PenStyle::kSolid, 1, shadow);
  c.SetTextColor(SysColorValue(kColorWindowText));
  for (int i = 0; i <= 8; ++i) {
    const double a = 30.0 * i - 30.0;
    const CanvasPoint in = AtAngle(cx, cy, a, r - r / 7), out = AtAngle(cx, cy, a, r);
    c.MoveTo(in.x, in.y);
    c.LineTo(out.x, out.y);
  }
  if (hasScale) {
    for (int i = 0; i <= 8; i += 2) {
      const CanvasPoint p = AtAngle(cx, cy, 30.0 * i - 30.0, r);
      const std::string label = std::to_string(M * (8 - i) / 8);
      const int top = p.y - T / 2 - 3;
      if (i <= 2) {
        const int left = p.x + (i == 0 ? 4 : 1);
        c.DrawText(label, {left, top, left + 45, top + T}, kDtLeft);
      } else if (i == 4) {
        c.DrawText(label, {cx - 20, p.y - T, cx + 20, p.y}, kDtCenter);
      } else {
        c.DrawText(label, {p.x - 45, top, p.x - (i == 6 ? 2 : 5), top + T}, kDtRight);
      }
    }
  }

  if (value >= 0) {
    char text[48];
    if (value % 10 == 0)
      std::snprintf(text, sizeof text, "%d%s", value / 10, scale.unit);
    else
      std::snprintf(text, sizeof text, "%d.%d%s", value / 10, value % 10, scale.unit);
    c.DrawText(text, {cx - 30, cy + 5, cx + 30, cy + 5 + T}, kDtCenter);
    if (hasScale) {
      const int64_t v = std::min<int64_t>(value, 10 * M);
      const int d = static_cast<int>(v * 240 / 10 / M);
      const CanvasPoint tip = AtAngle(cx, cy, 210 - d, r - 1);
      CanvasPoint b1{cx, cy - 1}, b2{cx, cy + 1};
      switch (d / 30) {
        case 2:
          b1 = {cx + 1, cy - 1};
          b2 = {cx - 1, cy + 1};
          break;
        case 3:
        case 4:
          b1 = {cx + 1, cy};
          b2 = {cx - 1, cy};
          break;
        case 5:
          b1 = {cx - 1, cy - 1};
          b2 = {cx + 1, cy + 1};
          break;
        default:
          break;
      }
      c.SelectPen(PenStyle::kSolid, 1, shadow);
      c.SelectBrush(SysColorValue(kColorWindow));
      c.Polygon({tip, b1, b2});
    }
  }
  target.BitBlt(area.left, area.top, std::min(w, BackBuffer::kSize), std::min(h, BackBuffer::kSize),
                c, 0, 0);
}

}  // namespace lark
