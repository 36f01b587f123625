#include "console/diagram/mimic_single_path.h"

#include "console/diagram/diagram_rows.h"
#include "console/diagram/mimic_panels.h"
#include "console/views/canvas.h"
#include "console/views/diagram_pictures.h"
#include "console/views/drawing_kit.h"

namespace lark {

std::vector<PathSegment> SinglePathLit(const DiagramSource& src) {
  using P = PathSegment;
  if (src.family() != DiagramFamily::kAscii || src.commType() != kCommAscii || src.bit(24))
    return {};
  const int32_t b = src.batteryStatus();
  const bool stopped = src.bit(2) || src.bit(5) || src.bit(8);  // output off or inverter stop
  if (!src.bit(21) && b != 3) {
    if (stopped) return {P::kInputRun};
    return {P::kInputRun, P::kConverterRun, P::kBatteryBranch};
  }
  if (src.bit(21) && b == 3 && !stopped) return {P::kBatteryRun, P::kBatteryBranch};
  return {};
}

bool SinglePathConverterFault(const DiagramSource& src) {
  const bool local = (src.family() == DiagramFamily::kAscii && src.commType() == kCommAscii) ||
                     (src.family() == DiagramFamily::kModbus && src.commType() == kCommModbusUps);
  return local && (src.faultWord() & 0x7FEu) != 0;
}

bool SinglePathBatteryFault(const DiagramSource& src) {
  if (!IsSinglePhaseSource(src)) return false;
  return src.bit(src.family() == DiagramFamily::kSnmp ? 2 : 20);
}

CanvasRect PathSegmentRect(PathSegment s, const DiagramLayout& l) {
  const int x0 = l.x0, y = l.y0 + l.u, u = l.u, h = l.pipe / 2;
  switch (s) {
    case PathSegment::kInputRun:
      return {x0 + 1, y - h + 1, x0 + 3 * u - 26, y + h - 1};
    case PathSegment::kConverterRun:
      return {x0 + 3 * u, y - h + 1, x0 + 8 * u - 1, y + h - 1};
    case PathSegment::kBatteryRun:
      return {x0 + 5 * u - h + 1, y - h + 1, x0 + 8 * u - 1, y + h - 1};
    case PathSegment::kBatteryBranch:
      return {x0 + 5 * u - h + 1, y - h + 1, x0 + 5 * u + h - 1, y + u - 1};
  }
  return {};
}

void DrawSinglePathMimic(Canvas& c, const DiagramSource& src, const DiagramEnv& env,
                         const DiagramLayout& l) {
  const int x0 = l.x0, y0 = l.y0, u = l.u, h = l.pipe / 2, y = y0 + u;
  // The pipe, its lower wall open to the battery branch.
  PipeShadow(c, x0, y - h, x0 + u - h, y - h);
  PipeShadow(c, x0 + u - h, y - h, x0 + 7 * u + h, y - h);
  PipeShadow(c, x0 + 7 * u + h, y - h, x0 + 8 * u, y - h);
  PipeFace(c, x0, y + h, x0 + 5 * u - h, y + h);
  PipeFace(c, x0 + 5 * u + h, y + h, x0 + 8 * u, y + h);
  PipeShadow(c, x0, y - h, x0, y + h);
  PipeFace(c, x0 + 8 * u, y - h, x0 + 8 * u, y + h);
  PipeShadow(c, x0 + 5 * u - h, y + h, x0 + 5 * u - h, y0 + 2 * u);
  PipeFace(c, x0 + 5 * u + h, y + h, x0 + 5 * u + h, y0 + 2 * u);
  PipeFace(c, x0 + 5 * u - h, y0 + 2 * u, x0 + 5 * u + h, y0 + 2 * u);

  DrawBitmap(c, DiagramBitmap(kBmpSource), x0 - 26, y - 13);
  DrawCentredCaption(c, env, env.component(8), x0 - 113, y + 18, x0 + 87);
  DrawBitmap(c, DiagramBitmap(kBmpDcBus), x0 + 8 * u, y - 13);
  DrawCentredCaption(c, env, env.component(9), x0 + 8 * u - 87, y + 18, x0 + 8 * u + 113);
  DrawOutputPanelBeside(c, src, env, l, x0, {.secondVoltage = false, .binary = false});

  for (PathSegment s : SinglePathLit(src)) FillInclusive(c, PathSegmentRect(s, l), env.levels[2]);

  DrawBitmap(c, DiagramBitmap(SinglePathConverterFault(src) ? kBmpRectifierRed : kBmpRectifier),
             x0 + 3 * u - 26, y - 13);
  DrawCentredCaption(c, env, env.component(23), x0 + 3 * u - 113, y + 18, x0 + 3 * u + 87);
  c.DrawIcon(x0 + 5 * u - 13, y0 + 2 * u,
             SinglePathBatteryFault(src) ? kIconBatteryFault : kIconBattery);
  const int labelBottom = y0 + 2 * u + 31 + env.panelLineHeight;
  DrawCentredCaption(c, env, env.component(7), x0 + 5 * u - 100, y0 + 2 * u + 31, x0 + 5 * u + 100);

  const int right = x0 + 4 * u;
  RowCursor rows(c, env, right - 3 * l.column / 4, labelBottom - u, right, l.gap,
                 l.secondLabelWidth, l.valueWidth);
  DrawBatteryPanel(rows, src, env, {.secondVoltage = false, .binary = false});
}

}  // namespace lark
