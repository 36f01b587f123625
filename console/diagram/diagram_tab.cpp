#include "console/diagram/diagram_tab.h"

#include <algorithm>

#include "console/diagram/diagram_flow.h"
#include "console/diagram/diagram_readings.h"
#include "console/diagram/diagram_rows.h"
#include "console/diagram/diagram_single_phase.h"
#include "console/diagram/diagram_source.h"
#include "console/diagram/diagram_values.h"
#include "console/diagram/mimic_pw9315.h"
#include "console/diagram/mimic_single_path.h"
#include "console/diagram/mimic_three_phase.h"
#include "console/diagram/mimic_trv5200.h"
#include "console/diagram/plc_panel.h"
#include "console/views/canvas.h"
#include "core/device_node.h"

namespace lark {
namespace {

// Title row with its underline, cleared first.
void DrawTitle(Canvas& c, const DiagramEnv& env, const char* text, int left, int top, int right,
               int bottom, int clearRight) {
  DrawSysSolidRect(c, left, top, clearRight, bottom, kColorWindow);
  c.SelectFont(env.label);
  c.SetTextColor(kPanelTextColour);
  c.DrawText(text, {left, top, right, bottom}, kDtLeft);
  DrawLine(c, left, bottom, right - 20, bottom, kPanelTextColour, 1);
}

void PaintSinglePhase(Canvas& c, const DeviceNode& node, const DiagramSource& src,
                      const DiagramEnv& env, const DiagramLayout& l) {
  const int code = node.upsTypeCode();
  DrawFlowDiagram(c, src, code, env, l);
  if (code != 2) DrawSinglePhaseParts(c, src, env, l);
}

void PaintThreePhase(Canvas& c, const DeviceNode&, const DiagramSource& src, const DiagramEnv& env,
                     const DiagramLayout& l) {
  DrawThreePhaseMimic(c, src, env, l);
}

void PaintSinglePath(Canvas& c, const DeviceNode&, const DiagramSource& src, const DiagramEnv& env,
                     const DiagramLayout& l) {
  DrawSinglePathMimic(c, src, env, l);
}

void PaintTrv5200(Canvas& c, const DeviceNode&, const DiagramSource& src, const DiagramEnv& env,
                  const DiagramLayout& l) {
  DrawTrv5200Mimic(c, src, env, l);
}

void PaintPw9315(Canvas& c, const DeviceNode&, const DiagramSource& src, const DiagramEnv& env,
                 const DiagramLayout& l) {
  DrawPw9315Mimic(c, src, env, l);
}

using MimicPainter = void (*)(Canvas&, const DeviceNode&, const DiagramSource&, const DiagramEnv&,
                              const DiagramLayout&);
struct MimicEntry {
  DiagramMimic mimic;
  MimicPainter paint;
};
constexpr MimicEntry kMimics[] = {
    {DiagramMimic::kSinglePhase, PaintSinglePhase}, {DiagramMimic::kTrv5200, PaintTrv5200},
    {DiagramMimic::kPw9315, PaintPw9315},           {DiagramMimic::kThreePhase, PaintThreePhase},
    {DiagramMimic::kSinglePath, PaintSinglePath},
};

}  // namespace

DiagramMimic ChooseDiagramMimic(const DeviceNode& node) {
  if (node.isGroup()) return DiagramMimic::kNone;
  const int16_t comm = node.nodeKind() == kNodeSerial ? node.commType() : -1;
  if (comm == kCommPlc) return DiagramMimic::kPlcPanel;
  if (IsUpsLessDevice(node)) return DiagramMimic::kNone;  // no UPS paths to draw
  switch (node.upsTypeCode()) {
    case 0:
    case 1:
    case 2:
      return comm == kCommThreePhase ? DiagramMimic::kNone : DiagramMimic::kSinglePhase;
    case 3:
      if (comm == kCommModbusTrv5200) return DiagramMimic::kTrv5200;
      if (comm == kCommModbus9315) return DiagramMimic::kPw9315;
      return DiagramMimic::kThreePhase;
    case 6:
      return DiagramMimic::kSinglePath;
    default:
      return DiagramMimic::kNone;
  }
}

DiagramLayout ComputeDiagramLayout(Canvas& c, const DeviceNode& node, const DiagramEnv& env) {
  DiagramLayout l;
  const int lh = env.lineHeight(), plh = env.panelLineHeight;
  const int comm = node.nodeKind() == kNodeSerial ? node.commType() : -1;
  const int areaW = env.area.width(), areaH = env.area.height();
  l.pipe = std::min(plh, 6);
  const int q = (areaH - 10) / 20;
  l.gap = q < lh ? 3 : std::clamp(q - lh, 0, 10);

  c.SelectFont(env.label);
  const int wide48 = c.TextWidth(env.component(48));
  const int wide41 = c.TextWidth(env.component(41));
  const bool own48 = comm == kCommModbusTrv5200 || comm == kCommModbus9315;
  const int t = own48 ? wide48 : wide41;
  l.labelWidth = own48 ? wide48 : 2 * wide41;
  l.margin = std::clamp((env.tabAreaWidth - (lh + 6) - 20 - (2 * t + 100)) / 2, 0, 20);
  l.valueWidth = c.TextWidth("220.0") + 5;
  l.panelWidth = l.labelWidth + 4 * l.valueWidth + 15;
  l.column = l.panelWidth + 10;
  l.firstLeft = plh + 6 + l.margin;
  l.titleTop = env.area.top + 10 + lh;
  l.firstRowTop = l.titleTop + lh + l.gap + l.gap + 10;
  l.secondLeft = l.firstLeft + l.column + 20;
  l.x0 = l.secondLeft + 30;
  // The second column measures again, and only the TRV5200 keeps CP_48.
  l.secondLabelWidth = comm == kCommModbusTrv5200 ? wide48 : 2 * wide41;
  l.secondPanelWidth = l.secondLabelWidth + 4 * l.valueWidth + 15;

  if ((areaW - plh - l.column) / 12 > (areaH - plh - 20) / 5) {
    l.u = (areaH - 2 * plh) / 5;
    l.y0 = l.u + 2 * plh + (comm == kCommModbusTrv5200 ? 0 : 10);
  } else {
    l.u = (areaW - 2 * plh - l.column - 50) / 12;
    l.y0 = l.u + 2 * plh + (comm == kCommModbusTrv5200 || comm == kCommModbus9315 ? 0 : 10);
  }
  // With a pane dragged nearly shut u falls below 1 and the diagram would
  // come out mirrored over the Parameters column.
  l.mimic = l.u >= 1;
  return l;
}

void PaintDiagramTab(Canvas& c, const DeviceNode& node, bool full, const DiagramEnv& env) {
  c.SelectFont(env.panel);
  c.SetTextColor(kPanelTextColour);
  if (full)
    DrawSysSolidRect(c, env.area.left, env.area.top, env.area.right, env.area.bottom, kColorWindow);
  c.SetBkMode(BkMode::kTransparent);
  const DiagramMimic mimic = ChooseDiagramMimic(node);
  if (mimic == DiagramMimic::kPlcPanel) {  // the transfer panel takes the whole page
    c.SelectFont(env.label);
    PaintPanelIcons(c, node, env.area, env.panelLineHeight, env);
    return;
  }

  const DiagramLayout l = ComputeDiagramLayout(c, node, env);
  const DiagramSource src(node);
  const int lh = env.lineHeight();
  const int firstRight = l.firstLeft + l.panelWidth;
  DrawTitle(c, env, "Parameters", l.firstLeft, l.titleTop, firstRight, l.titleTop + lh + l.gap,
            firstRight + 5);
  RowCursor rows(c, env, l.firstLeft, l.firstRowTop, firstRight, l.gap, l.labelWidth, l.valueWidth);
  const int secondRight = l.secondLeft + l.column;
  if (IsUpsLessDevice(node)) {
    RowCursor more(c, env, l.secondLeft, l.firstRowTop, l.secondLeft + l.panelWidth, l.gap, l.labelWidth,
                   l.valueWidth);
    DrawReadingRows(rows, more, node, env.area.bottom - lh - l.gap);
  } else {
    DrawParameterRows(rows, src, env, node.upsTypeCode());
  }
  DrawEnvironmentRows(rows, src, env);

  DrawTitle(c, env, "Internal", l.secondLeft, l.titleTop, secondRight, l.titleTop + lh + l.gap,
            secondRight);
  c.SelectFont(env.label);
  if (!l.mimic) return;
  for (const MimicEntry& e : kMimics)
    if (e.mimic == mimic) e.paint(c, node, src, env, l);
}

}  // namespace lark
