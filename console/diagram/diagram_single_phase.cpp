#include "console/diagram/diagram_single_phase.h"

#include <algorithm>

#include "console/diagram/diagram_rows.h"
#include "console/diagram/mimic_panels.h"
#include "console/views/canvas.h"
#include "console/views/diagram_pictures.h"
#include "console/views/drawing_kit.h"

namespace lark {
void DrawSinglePhaseParts(Canvas& c, const DiagramSource& src, const DiagramEnv& env,
                          const DiagramLayout& l) {
  const int x0 = l.x0, y0 = l.y0, u = l.u;
  const bool snmp = src.family() == DiagramFamily::kSnmp;
  // Local devices of other CommTypes get the battery caption only.
  const bool pictures = IsSinglePhaseSource(src);
  const int captionTop = y0 + 2 * u + 18;
  if (pictures) {
    const bool rectifierFault = src.bit(snmp ? 21 : 7);
    DrawBitmap(c, DiagramBitmap(rectifierFault ? kBmpRectifierRed : kBmpRectifier), x0 + 3 * u - 26,
               y0 + 2 * u - 13);
  }
  DrawCentredCaption(c, env, env.component(13), x0 + 3 * u - 113, captionTop, x0 + 3 * u + 87);

  // Wide enough for a row of two battery strings and its unit.
  const int width = std::max(l.column * 3 / 4, l.secondLabelWidth + 2 * l.valueWidth + 45);
  const CanvasPoint at = BatteryPanelPlace(l, env, x0 + 3 * u + 10, width, captionTop + env.panelLineHeight);
  RowCursor rows(c, env, at.x, at.y, at.x + width, l.gap, l.secondLabelWidth, l.valueWidth);
  DrawBatteryPanel(rows, src, env, {});

  if (pictures) {
    const bool inverterFault = src.bit(snmp ? 13 : 17);
    DrawBitmap(c, DiagramBitmap(inverterFault ? kBmpInverterRed : kBmpInverter), x0 + 5 * u,
               y0 + 2 * u - 13);
  }
  DrawCentredCaption(c, env, env.component(18), x0 + 5 * u - 87, captionTop, x0 + 5 * u + 113);
}

}  // namespace lark
