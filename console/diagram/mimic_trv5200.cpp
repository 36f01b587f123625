#include "console/diagram/mimic_trv5200.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "console/diagram/diagram_rows.h"
#include "console/views/canvas.h"
#include "console/views/diagram_pictures.h"
#include "console/views/drawing_kit.h"

namespace lark {
namespace {

bool Bit(uint64_t mask, int n) { return ((mask >> n) & 1u) != 0; }

using L = TrvLine;
// clang-format off
constexpr GridLine kGreyLines[] = {
    {{2, 2, 0, 0}, {2, 0, 0, 0}},   {{2, 0, 0, 0}, {13, 0, 0, 0}}, {{13, 0, 0, 0}, {13, 4, 0, 0}},
    {{0, 2, 0, 0}, {10, 2, 0, 0}},  {{10, 2, 0, 0}, {10, 4, 0, 0}}, {{0, 4, 0, 0}, {14, 4, 0, 0}},
    {{6, 4, 0, 0}, {6, 6, 0, 0}},
};
// Indexed by TrvLine.
constexpr GridLine kLines[] = {
    {{0, 2, 0, 0}, {4, 2, -25, 0}},    // bypass in
    {{2, 2, 0, 0}, {2, 0, 0, 0}},      // bypass riser
    {{2, 0, 0, 0}, {6, 0, -12, 0}},    // manual feed
    {{6, 0, 11, 0}, {13, 0, 0, 0}},    // manual line
    {{13, 0, 0, 0}, {13, 4, 0, 0}},    // manual drop
    {{13, 4, 0, 0}, {14, 4, 0, 0}},    // manual out
    {{4, 2, -3, 0}, {6, 2, -13, 0}},   // static feed
    {{6, 2, 13, 0}, {10, 2, 0, 0}},    // static line
    {{10, 2, 0, 0}, {10, 4, 0, 0}},    // static drop
    {{10, 4, 0, 0}, {12, 4, -25, 0}},  // static to Q5N
    {{12, 4, -2, 0}, {14, 4, 0, 0}},   // output line
    {{0, 4, 0, 0}, {2, 4, -25, 0}},    // main in
    {{2, 4, 1, 0}, {4, 4, -26, 0}},    // main to rectifier
    {{4, 4, 0, 0}, {8, 4, 0, 0}},      // rectifier to inverter
    {{6, 4, 0, 0}, {6, 4, 0, 11}},     // battery tap
    {{6, 4, 0, 33}, {6, 6, 0, 0}},     // battery lead
    {{6, 4, 0, 0}, {12, 4, -25, 0}},   // battery to Q5N
    {{8, 4, 26, 0}, {12, 4, -25, 0}},  // inverter to Q5N
};
const std::vector<OneLineSwitch> kSwitches = {
    {"Q3BP", 10, {{6, 0, -12, 0}, {6, 0, 11, 0}},
      false, {6, 0, -13, -14}, {6, 0, -100, 5}, {6, 0, 100, 0}, false},
    {"Q4S", 27, {{4, 2, -25, 0}, {4, 2, -3, 0}},
      false, {4, 2, -26, -14}, {4, 2, -113, 5}, {4, 2, 87, 0}, false},
    {"Q1", 17, {{2, 4, -25, 0}, {2, 4, -2, 0}},
      false, {2, 4, -26, -14}, {2, 4, -113, 5}, {2, 4, 87, 0}, false},
    {"Q5N", 29, {{12, 4, -25, 0}, {12, 4, -2, 0}},
      false, {12, 4, -26, -14}, {12, 4, -113, 5}, {12, 4, 87, 0}, false},
    {"QF1", 15, {{6, 4, 0, 11}, {6, 4, 0, 33}},
      true, {6, 4, -13, 10}, {6, 4, -105, 15}, {6, 4, -5, 0}, true},
};
// clang-format on

void Add(std::vector<TrvLine>& out, std::initializer_list<TrvLine> lines) {
  for (const auto& line : lines) out.push_back(line);  // g++ 12 -O3 misreads a range insert here
}

// Held at INT32_MAX; a sum or quotient of known values is never negative.
int32_t Saturate(int64_t v) { return v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v); }

void DrawPanels(Canvas& c, const DiagramSource& src, const DiagramEnv& env, const DiagramLayout& l,
                const Grid& g) {
  const int X = g.x, Y = g.y, u = g.u, lw = l.secondLabelWidth, vw = l.valueWidth;
  const int top = Y + 2 * u + 15 + env.panelLineHeight;
  using F = RowFormat;
  auto w = [&](size_t off) { return src.word(off); };

  const int outLeft = X + 7 * u - u / 2 + 10;
  RowCursor out(c, env, outLeft, top, outLeft + lw + 20 + 4 * vw, l.gap, lw, vw);
  out.Caption(env.component(9));
  out.Values(env.component(4), w(476), -1, -1, F::kTenths, "Hz");
  out.Values(env.component(3), w(380), w(384), w(388), F::kWhole, "V");
  out.Values(env.component(48), TimesTen(w(392)), TimesTen(w(396)), TimesTen(w(400)), F::kTenths,
             "V");
  out.Values(env.component(6), w(300), w(304), w(308), F::kWhole, "A");
  const int32_t power[3] = {w(412), w(416), w(420)};
  out.Values(env.component(5), power[0], power[1], power[2], F::kWhole, "kW");
  // Only known phases are summed, and a phase load needs a known power; a
  // rating under 1000 (or unknown) gives no divisor and no load rows.
  int64_t sum = 0;
  bool any = false;
  for (int32_t p : power) {
    if (p < 0) continue;
    sum += p;
    any = true;
  }
  out.Values(env.component(50), any ? Saturate(sum) : -1, -1, -1, F::kWhole, "kW");
  const int32_t per = w(488) / 1000;
  if (per > 0) {
    int32_t load[3];
    int64_t loads = 0;
    for (int k = 0; k < 3; ++k) {
      load[k] = power[k] >= 0 ? Saturate(int64_t{power[k]} * 1000 / per) : -1;
      if (load[k] >= 0) loads += load[k];
    }
    out.Values(env.component(12), load[0], load[1], load[2], F::kTenths, "%");
    out.Values(env.component(12), any ? Saturate(loads) : -1, -1, -1, F::kTenths, "%");
  }

  const int invLeft = X + 3 * u + 23;
  RowCursor inv(c, env, invLeft, top, invLeft + lw + 15 + 4 * vw, l.gap, lw, vw);
  inv.Caption(env.component(18));
  inv.Values(env.component(4), w(468), -1, -1, F::kTenths, "Hz");
  inv.Values(env.component(3), w(332), w(336), w(340), F::kWhole, "V");
  inv.Values(env.component(48), w(344), w(348), w(352), F::kWhole, "V");
  inv.Values(env.component(6), w(276), w(280), w(284), F::kWhole, "A");
  inv.Values(env.component(12), w(316), -1, -1, F::kWhole, "%");

  const int batRight = X + 3 * u - 23;
  RowCursor bat(c, env, batRight - (lw + 15 + 2 * vw), top, batRight, l.gap, lw, vw);
  bat.Caption(env.component(7));
  bat.Values(env.component(3), w(404), -1, -1, F::kWhole, "V");
  bat.Values(env.component(6), w(312), -1, -1, F::kWhole, "A");
  bat.Values(env.component(15), w(484), -1, -1, F::kWhole, "min");
}

}  // namespace

Grid OneLineGrid(const DiagramLayout& l) { return {l.x0 + kOneLineShift, l.y0, l.u}; }

void DrawGridLine(Canvas& c, const Grid& g, const GridLine& line, ColorRef colour) {
  const CanvasPoint a = g.at(line.a), b = g.at(line.b);
  DrawLine(c, a.x, a.y, b.x, b.y, colour, 3);
}

void DrawOneLineSwitch(Canvas& c, const Grid& g, const DiagramEnv& env, const OneLineSwitch& s,
                       uint64_t mask) {
  const CanvasPoint a = g.at(s.gap.a), b = g.at(s.gap.b);
  DrawSysLine(c, a.x, a.y, b.x, b.y, kColorWindow, 3);
  const bool open = Bit(mask, s.bit);
  const int icon = s.vertical ? (open ? kIconSwitchVOpen : kIconSwitchVClosed)
                              : (open ? kIconSwitchHOpen : kIconSwitchHClosed);
  const CanvasPoint i = g.at(s.icon);
  c.DrawIcon(i.x, i.y, icon);
  const CanvasPoint n = g.at(s.nameAt), e = g.at(s.nameEnd);
  c.SelectFont(env.label);
  c.SetTextColor(kPanelTextColour);
  c.DrawText(s.name, {n.x, n.y, e.x, n.y + env.panelLineHeight},
             (s.rightAligned ? kDtRight : kDtCenter) | kDtSingleLine);
}

void DrawOneLinePicture(Canvas& c, const Grid& g, const DiagramEnv& env, const OneLinePicture& p) {
  const CanvasPoint at = g.at(p.at);
  if (p.icon)
    c.DrawIcon(at.x, at.y, p.id);
  else
    DrawBitmap(c, DiagramBitmap(p.id), at.x, at.y);
  if (p.caption == 0) return;
  char text[160];
  std::snprintf(text, sizeof text, p.format, env.component(p.caption).c_str());
  const CanvasPoint l = g.at(p.captionAt), r = g.at(p.captionEnd);
  DrawCentredCaption(c, env, text, l.x, l.y, r.x);
}

std::vector<TrvLine> Trv5200GreenLines(uint64_t m) {
  std::vector<TrvLine> out;
  if (Bit(m, 36)) return out;
  if (!Bit(m, 24) && !Bit(m, 25)) {  // bypass input
    Add(out, {L::kBypassIn, L::kBypassRiser, L::kManualFeed});
    if (!Bit(m, 10)) Add(out, {L::kManualLine, L::kManualDrop, L::kManualOut});
    if (!Bit(m, 27)) {
      Add(out, {L::kStaticFeed});
      if (Bit(m, 6)) {
        Add(out, {L::kStaticLine, L::kStaticDrop, L::kStaticToQ5N});
        if (!Bit(m, 29)) Add(out, {L::kOutputLine});
      }
    }
  }
  if (!Bit(m, 19) && !Bit(m, 18)) {  // main input
    Add(out, {L::kMainIn});
    if (!Bit(m, 17)) {
      Add(out, {L::kMainToRectifier});
      if (!Bit(m, 16)) {
        Add(out, {L::kRectifierToInverter});
        if (!Bit(m, 30)) {
          Add(out, {L::kBatteryTap});
          if (!Bit(m, 15)) Add(out, {L::kBatteryLead});
        }
        if (!Bit(m, 0)) {
          Add(out, {L::kInverterToQ5N});
          if (!Bit(m, 29)) Add(out, {L::kOutputLine});
        }
      }
    }
  }
  if (!Bit(m, 15)) {  // battery
    Add(out, {L::kBatteryLead});
    if (!Bit(m, 0)) {
      Add(out, {L::kBatteryTap, L::kBatteryToQ5N});
      if (!Bit(m, 29)) Add(out, {L::kInverterToQ5N, L::kOutputLine});
    }
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

const GridLine& TrvLineAt(TrvLine line) { return kLines[static_cast<size_t>(line)]; }

std::vector<OneLinePicture> Trv5200Pictures(uint64_t m) {
  const int rectifier = Bit(m, 14)   ? kBmpRectifierRed
                        : Bit(m, 16) ? kBmpRectifier
                                     : kBmpRectifierGreen;
  const int inverter = Bit(m, 32) || Bit(m, 33) || Bit(m, 34) ? kBmpInverterRed
                       : Bit(m, 0)                            ? kBmpInverter
                                                              : kBmpInverterGreen;
  // clang-format off
  return {
      {Bit(m, 6) ? kBmpStaticSwitchGreen : kBmpStaticSwitch, false, {6, 2, -13, -13}, 0, "", {}, {}},
      {Bit(m, 24) || Bit(m, 25) ? kBmpSourceRed : kBmpSourceGreen, false, {0, 2, -26, -13},
       49, "%s-2", {0, 2, -113, 18}, {0, 2, 87, 0}},
      {Bit(m, 18) || Bit(m, 19) ? kBmpSourceRed : kBmpSourceGreen, false, {0, 4, -26, -13},
       49, "%s-1", {0, 4, -113, 18}, {0, 4, 87, 0}},
      {kBmpSourceGreen, false, {14, 4, 0, -13}, 9, "%s", {14, 4, -87, 18}, {14, 4, 113, 0}},
      {Bit(m, 4) || Bit(m, 11) ? kIconBatteryFault : kIconBattery, true, {6, 6, -13, 0},
       7, "%s", {6, 6, -100, 31}, {6, 6, 100, 0}},
      {rectifier, false, {4, 4, -26, -13}, 24, "%s", {4, 4, -113, 18}, {4, 4, 87, 0}},
      {inverter, false, {8, 4, 0, -13}, 18, "%s", {8, 4, -87, 18}, {8, 4, 113, 0}},
  };
  // clang-format on
}

const std::vector<OneLineSwitch>& Trv5200Switches() { return kSwitches; }

void DrawTrv5200Mimic(Canvas& c, const DiagramSource& src, const DiagramEnv& env,
                      const DiagramLayout& l) {
  const Grid g = OneLineGrid(l);
  const uint64_t mask = src.mask(MaskWord::kReported);
  const ColorRef grey = SysColorValue(kColorBtnShadow);
  for (const GridLine& line : kGreyLines) DrawGridLine(c, g, line, grey);
  for (TrvLine line : Trv5200GreenLines(mask)) DrawGridLine(c, g, TrvLineAt(line), kPoweredGreen);
  for (const OneLineSwitch& s : kSwitches) DrawOneLineSwitch(c, g, env, s, mask);
  for (const OneLinePicture& p : Trv5200Pictures(mask)) DrawOneLinePicture(c, g, env, p);
  DrawPanels(c, src, env, l, g);
}

}  // namespace lark
