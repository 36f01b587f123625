#include "console/diagram/plc_panel.h"

#include <algorithm>
#include <string>

#include "console/diagram/diagram_rows.h"
#include "console/views/canvas.h"
#include "console/views/diagram_pictures.h"
#include "console/views/drawing_kit.h"
#include "core/device_tree.h"

namespace lark {
namespace {

// A UPS box: filled in the level colour of the node `id` names, "UPS" in
// its middle and the node's title under it. An id that names no device
// (none, a group, the root's 0) draws a grey box titled "#<id>".
void DrawUpsBox(Canvas& c, const DiagramEnv& env, uint16_t id, int left, int top, int right,
                int bottom, int titleTop, int plh) {
  const DeviceNode* node = env.root != nullptr ? Tree_FindNodeById(id, env.root) : nullptr;
  const bool device = node != nullptr && !node->isGroup();
  const uint8_t none = kAlarmNone;
  const uint8_t level = device ? std::min(node->alarmLevel(), none) : none;
  DrawFilledRect(c, left, top, right, bottom, device ? env.levels[level] : kPlcGrey, kPlcFrame);
  c.SetTextColor(kDiagramCaption);
  c.DrawText("UPS", {left, top, right, bottom}, kDtCenter | kDtVCenter | kDtSingleLine);
  c.SetTextColor(kPanelTextColour);
  const std::string title = device ? node->title() : "#" + std::to_string(id);
  c.DrawText(title, {left - 35, titleTop, right + 35, titleTop + plh}, kDtCenter | kDtSingleLine);
}

void Line(Canvas& c, int x1, int y1, int x2, int y2, ColorRef colour, bool dotted = false) {
  if (dotted)
    DrawDottedLine(c, x1, y1, x2, y2, colour, 3);
  else
    DrawLine(c, x1, y1, x2, y2, colour, 3);
}

}  // namespace

bool PlcBit(const DiagramSource& src, int p, bool output) {
  if (p < 0) return false;
  const int32_t v = src.slot((output ? 20 : 0) + p / 8);
  return v >= 0 && ((v >> (p % 8)) & 1) != 0;
}

void PaintPanelIcons(Canvas& c, const DeviceNode& plc, CanvasRect area, int panelLineHeight,
                     const DiagramEnv& env) {
  const DiagramSource src(plc);
  const int L = area.left, T = area.top, B = panelLineHeight;
  const ColorRef info = env.levels[2];
  const bool grey = src.bit(0);
  const bool bypass = PlcBit(src, plc.plcXBypass(), false);
  const ColorRef bypassColour = bypass ? kPlcActive : info;
  c.SelectFont(env.label);

  // The bypass UPS, its stub, switch and the bus.
  const int left = L + 30, top = T + 2 * B + 30, right = L + 110, bottom = T + 2 * B + 80;
  DrawUpsBox(c, env, static_cast<uint16_t>(plc.plcBypassUpsId()), left, top, right, bottom,
             bottom + 5, B);
  Line(c, right, top + 25, right + 10, top + 25, grey ? kPlcActive : info);
  Line(c, right + 36, top + 25, L + 180, top + 25, grey ? kPlcGrey : bypassColour);
  c.DrawIcon(right + 11, top + 10, bypass ? kIconSwitchHOpen : kIconSwitchHClosed);

  // The points; a table of more than 32 is cut to 32.
  const int count = std::clamp<int>(plc.plcPointNum(), 0, kPlcPointCount);
  int x = L + 150, y = T + 2 * B + 30;
  for (int i = 0; i < count; ++i) {
    const auto id = static_cast<uint16_t>(plc.plcUpsId(i));
    if (id == 0) continue;
    ColorRef pc = bypassColour;
    // A point at the start of its row stays there, however narrow the area.
    if (x + 150 > area.right && x > L + 150) {
      x = L + 150;
      y += 170;
      Line(c, x, y - 145, x, y + 25, grey ? kPlcGrey : pc);
    }
    if (y > area.bottom) break;
    Line(c, x, y + 25, x + 150, y + 25, grey ? kPlcGrey : pc);

    const int aL = x + 35, aT = y + 35, aR = x + 115, aB = y + 85, mid = (aL + aR) / 2;
    DrawBevel(c, aL, aT, aR, aB, false, 2);
    c.SetTextColor(kPlcFrame);
    c.DrawText("ATS", {aL, aT, aR, aB}, kDtCenter | kDtVCenter | kDtSingleLine);
    Line(c, aL + 19, y + 25, aL + 19, y + 40, grey ? kPlcGrey : pc);

    pc = PlcBit(src, plc.plcYupsAlarm(i), true) ? kPlcActive : info;
    Line(c, aL + 19, y + 55, mid, y + 75, grey ? kPlcGrey : pc, pc == env.levels[0]);
    DrawFilledRect(c, aL + 16, y + 40, aL + 23, y + 55, pc, kPlcFrame);

    Line(c, aR - 20, y + 10, aR - 20, y + 40, grey ? kPlcGrey : info);
    const ColorRef c2 = PlcBit(src, plc.plcYtpcAlarm(i), true) ? kPlcActive : info;
    Line(c, aR - 20, y + 55, mid, y + 75, grey ? kPlcGrey : c2, c2 == kPlcActive);
    DrawFilledRect(c, aR - 22, y + 40, aR - 15, y + 55, c2, kPlcFrame);

    Line(c, mid, y + 75, mid, y + 95, info);
    c.SetTextColor(kPanelTextColour);
    c.DrawText(plc.plcSource(i), {aL, y - 10, aR + 60, y + 5}, kDtCenter | kDtSingleLine);
    DrawUpsBox(c, env, id, aL, y + 95, aR, y + 125, y + 130, B);
    x += 150;
  }
}

}  // namespace lark
