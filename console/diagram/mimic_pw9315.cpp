#include "console/diagram/mimic_pw9315.h"

#include <algorithm>

#include "console/diagram/diagram_rows.h"
#include "console/views/canvas.h"
#include "console/views/diagram_pictures.h"
#include "console/views/drawing_kit.h"

namespace lark {
namespace {

bool Bit(uint64_t mask, int n) { return ((mask >> n) & 1u) != 0; }
bool Any(uint64_t mask, std::initializer_list<int> bits) {
  return std::any_of(bits.begin(), bits.end(), [&](int b) { return Bit(mask, b); });
}

using L = PwLine;
// clang-format off
constexpr GridLine kGreyLines[] = {
    {{0, 0, 0, 0}, {13, 0, 0, 0}}, {{13, 0, 0, 0}, {13, 2, 0, 0}}, {{0, 2, 0, 0}, {14, 2, 0, 0}},
    {{6, 2, 13, 0}, {6, 4, 13, 0}},
};
// Indexed by PwLine.
constexpr GridLine kLines[] = {
    {{0, 2, 0, 0}, {2, 2, 0, 0}},     // main in
    {{2, 2, 0, 0}, {4, 2, 0, 0}},     // to rectifier
    {{4, 2, 0, 0}, {8, 2, 0, 0}},     // rectifier to inverter
    {{6, 2, 13, 0}, {6, 2, 13, 10}},  // battery tap
    {{6, 2, 13, 10}, {6, 4, 13, 0}},  // battery lead
    {{6, 2, 13, 0}, {8, 2, 0, 0}},    // battery to inverter
    {{8, 2, 0, 0}, {10, 2, 0, 0}},    // inverter out
    {{10, 2, 0, 0}, {14, 2, 0, 0}},   // output line
    {{0, 0, 0, 0}, {6, 0, 0, 0}},     // bypass in
    {{6, 0, 0, 0}, {13, 0, 0, 0}},    // bypass line
    {{13, 0, 0, 0}, {13, 2, 0, 0}},   // bypass drop
    {{13, 2, 0, 0}, {14, 2, 0, 0}},   // bypass out
};
const std::vector<OneLineSwitch> kBreakers = {
    {"CB1", 22, {{2, 2, 1, 0}, {2, 2, 20, 0}},
      false, {2, 2, 0, -14}, {2, 2, -100, 5}, {2, 2, 126, 0}, false},
    {"CB2", 39, {{6, 2, 13, 11}, {6, 2, 13, 33}},
      true, {6, 2, 0, 10}, {6, 2, -105, 15}, {6, 2, 8, 0}, true},
    {"CB3", 10, {{10, 2, 1, 0}, {10, 2, 20, 0}},
      false, {10, 2, 0, -14}, {10, 2, -100, 5}, {10, 2, 126, 0}, false},
};
// clang-format on

void Add(std::vector<PwLine>& out, std::initializer_list<PwLine> lines) {
  for (const auto& line : lines) out.push_back(line);  // g++ 12 -O3 misreads a range insert here
}

void DrawPanels(Canvas& c, const DiagramSource& src, const DiagramEnv& env, const DiagramLayout& l,
                const Grid& g) {
  const int X = g.x, Y = g.y, u = g.u, lw = l.secondLabelWidth, vw = l.valueWidth;
  const int top = Y + u + 15 + env.panelLineHeight;
  using F = RowFormat;
  auto w = [&](size_t off) { return src.word(off); };

  const int outLeft = X + 7 * u + 10;
  RowCursor out(c, env, outLeft, top, outLeft + lw + 20 + 4 * vw, l.gap, lw, vw);
  out.Caption(env.component(9));
  out.Values(env.component(4), w(336), -1, -1, F::kTenths, "Hz");
  out.Values(env.component(3), w(312), w(316), w(320), F::kTenths, "V");
  out.Values(env.component(48), w(300), w(304), w(308), F::kTenths, "V");
  out.Values(env.component(6), w(324), w(328), w(332), F::kTenths, "A");
  out.Values(env.component(5), w(340), -1, -1, F::kTenths, "kW");
  out.Values(env.component(12), w(344), -1, -1, F::kTenths, "%");
  out.Values("Factor", w(348), -1, -1, F::kWhole, "%");

  const int invLeft = X + 3 * u + 36;
  RowCursor inv(c, env, invLeft, top, invLeft + lw + 15 + 4 * vw, l.gap, lw, vw);
  inv.Caption(env.component(18));
  inv.Values(env.component(4), w(380), -1, -1, F::kTenths, "Hz");
  inv.Values(env.component(3), w(368), w(372), w(376), F::kTenths, "V");

  const int batRight = X + 3 * u - 10;
  RowCursor bat(c, env, batRight - (lw + 15 + 2 * vw), top, batRight, l.gap, lw, vw);
  bat.Caption(env.component(7));
  bat.Values(env.component(3), w(384), -1, -1, F::kTenths, "V");
  bat.Values(env.component(6), w(388), -1, -1, F::kTenths, "A");
  bat.Values(env.component(14), w(392), -1, -1, F::kTenths, "%");
  // Tenths of a minute shown whole; an unknown time hides the row.
  const int32_t remaining = w(396);
  bat.Values(env.component(15), remaining < 0 ? -1 : remaining / 10, -1, -1, F::kWhole, "min");
}

}  // namespace

std::vector<PwLine> Pw9315GreenLines(uint64_t m) {
  std::vector<PwLine> out;
  if (Bit(m, 40)) return out;
  if (!Any(m, {19, 20, 21})) {  // main input
    Add(out, {L::kMainIn});
    if (!Bit(m, 22)) {
      Add(out, {L::kToRectifier});
      if (!Bit(m, 32)) {
        Add(out, {L::kRectifierToInverter, L::kBatteryTap});
        if (!Bit(m, 39)) Add(out, {L::kBatteryLead});
        if (!Bit(m, 11)) {
          Add(out, {L::kInverterOut});
          if (!Bit(m, 10)) Add(out, {L::kOutputLine});
        }
      }
    }
  }
  if (!Any(m, {12, 13, 14})) {  // bypass
    Add(out, {L::kBypassIn});
    if (!Bit(m, 15)) Add(out, {L::kBypassLine, L::kBypassDrop, L::kBypassOut});
  }
  if (Bit(m, 0)) {  // battery
    Add(out, {L::kBatteryLead});
    if (!Bit(m, 39)) {
      Add(out, {L::kBatteryTap, L::kBatteryToInverter});
      if (Bit(m, 11)) {
        Add(out, {L::kInverterOut});
        if (!Bit(m, 10)) Add(out, {L::kOutputLine});
      }
    }
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

const GridLine& PwLineAt(PwLine line) { return kLines[static_cast<size_t>(line)]; }

std::vector<OneLinePicture> Pw9315Pictures(uint64_t m) {
  const int bypass = Bit(m, 15)                 ? kBmpSource
                     : Any(m, {12, 13, 14, 17}) ? kBmpSourceRed
                                                : kBmpSourceGreen;
  const int rectifier = Bit(m, 32)   ? kBmpRectifier
                        : Bit(m, 31) ? kBmpRectifierRed
                                     : kBmpRectifierGreen;
  const int inverter = Bit(m, 11)          ? kBmpInverter
                       : Any(m, {7, 8, 9}) ? kBmpInverterRed
                                           : kBmpInverterGreen;
  // clang-format off
  return {
      {Any(m, {12, 13, 14}) ? kBmpSourceRed : kBmpSourceGreen, false, {0, 0, -26, -13},
       8, "%s", {0, 0, -113, 18}, {0, 0, 87, 0}},
      {Any(m, {19, 20, 21}) ? kBmpSourceRed : kBmpSourceGreen, false, {0, 2, -26, -13},
       8, "%s", {0, 2, -113, 18}, {0, 2, 87, 0}},
      {Any(m, {24, 25, 26, 27, 28}) ? kBmpSourceRed : kBmpSourceGreen, false, {14, 2, 0, -13},
       9, "%s", {14, 2, -100, 18}, {14, 2, 126, 0}},
      {bypass, false, {6, 0, 0, -13}, 1, "%s", {6, 0, -100, 18}, {6, 0, 126, 0}},
      {rectifier, false, {4, 2, 0, -13}, 24, "%s", {4, 2, -100, 18}, {4, 2, 126, 0}},
      {inverter, false, {8, 2, 0, -13}, 18, "%s", {8, 2, -100, 18}, {8, 2, 126, 0}},
      {Any(m, {35, 36, 37, 38}) ? kIconBatteryFault : kIconBattery, true, {6, 4, 0, 0},
       7, "%s", {6, 4, -100, 31}, {6, 4, 126, 0}},
  };
  // clang-format on
}

const std::vector<OneLineSwitch>& Pw9315Breakers() { return kBreakers; }

void DrawPw9315Mimic(Canvas& c, const DiagramSource& src, const DiagramEnv& env,
                     const DiagramLayout& l) {
  const Grid g = OneLineGrid(l);
  const uint64_t mask = src.mask(MaskWord::kReported);
  const ColorRef grey = SysColorValue(kColorBtnShadow);
  for (const GridLine& line : kGreyLines) DrawGridLine(c, g, line, grey);
  for (PwLine line : Pw9315GreenLines(mask)) DrawGridLine(c, g, PwLineAt(line), kPoweredGreen);
  for (const OneLinePicture& p : Pw9315Pictures(mask)) DrawOneLinePicture(c, g, env, p);
  for (const OneLineSwitch& s : kBreakers) DrawOneLineSwitch(c, g, env, s, mask);
  DrawPanels(c, src, env, l, g);
}

}  // namespace lark
