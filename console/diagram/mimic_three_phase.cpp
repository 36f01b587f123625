#include "console/diagram/mimic_three_phase.h"

#include "console/diagram/diagram_rows.h"
#include "console/diagram/mimic_panels.h"
#include "console/views/canvas.h"
#include "console/views/diagram_pictures.h"
#include "console/views/drawing_kit.h"

namespace lark {
namespace {

using P = PhaseSegment;
constexpr FlowLevel kGreen = FlowLevel::kInformation, kRed = FlowLevel::kSerious,
                    kAmber = FlowLevel::kWarning;

enum class Rules : uint8_t { kNone, kSnmp, kLocal, kBinary };

// SNMP; ASCII of CommType 0, Modbus of CommType 2 and GPRS; binary (CommType 1).
Rules RulesOf(const DiagramSource& src) {
  if (src.family() == DiagramFamily::kBinary) return Rules::kBinary;
  if (!IsSinglePhaseSource(src)) return Rules::kNone;
  return src.family() == DiagramFamily::kSnmp ? Rules::kSnmp : Rules::kLocal;
}

struct Lit {
  std::vector<PhaseFill>& out;
  bool outputOff;
  void operator()(std::initializer_list<P> segs, FlowLevel level) const {
    for (P s : segs) {
      // The output stub and the output part of the maintenance line stay
      // dark while the output is off.
      const bool output = s == P::kOutputStub || s == P::kMaintenanceOut;
      if (!output || !outputOff) out.push_back({s, level});
    }
  }
};

void SnmpRules(const DiagramSource& src, int32_t b, const Lit& lit) {
  if (!src.bit(20) && !src.bit(16) && !src.bit(5) && !src.bit(1) && b != 3) {
    lit({P::kMainLine, P::kLowerRiser, P::kBatteryBranch, P::kOutputStub},
        src.bit(23) ? kAmber : kGreen);
  } else if (!src.bit(19) && src.bit(16)) {  // maintenance bypass
    const FlowLevel l = src.bit(23) ? kGreen : kRed;
    lit({P::kBypassFeed, P::kMaintenanceBranch}, l);
    // With the output off the whole maintenance line stays dark.
    if (!lit.outputOff) lit({P::kMaintenanceLine, P::kMaintenanceOut}, l);
  } else if (!src.bit(19) && src.bit(20) && src.bit(5)) {  // static bypass
    lit({P::kStaticBypassLine, P::kUpperRiser, P::kOutputStub}, kAmber);
  } else if (!src.bit(20) && !src.bit(5) && b == 3) {  // on battery
    lit({P::kBatteryBranch, P::kInverterRun, P::kLowerRiser, P::kOutputStub}, kAmber);
  }
}

void LocalRules(const DiagramSource& src, int32_t b, const Lit& lit) {
  if (!src.bit(8) && !src.bit(21) && !src.bit(22) && !src.bit(23) && b != 3) {
    lit({P::kInverterRunFromJoint}, kGreen);
    if (!src.bit(1)) lit({P::kMainsInput}, kGreen);
    lit({P::kLowerRiser, P::kBatteryBranch, P::kOutputStub}, kGreen);
  } else if (!src.bit(4) && src.bit(23)) {  // maintenance bypass
    const FlowLevel l = src.bit(16) ? kGreen : kRed;
    lit({P::kMaintenanceBranch, P::kMaintenanceLine, P::kMaintenanceOut}, l);
    lit({P::kBypassFeed}, src.family() == DiagramFamily::kModbus ? kRed : l);
  } else if (!src.bit(4) && src.bit(22)) {  // static bypass
    lit({P::kStaticBypassLine, P::kUpperRiser, P::kOutputStub}, kAmber);
  } else if (!src.bit(8) && !src.bit(22) && b == 3) {  // on battery
    lit({P::kBatteryBranch, P::kInverterRun, P::kLowerRiser, P::kOutputStub}, kAmber);
  }
}

void BinaryRules(const DiagramSource& src, int32_t b, const Lit& lit) {
  if (!src.bit(10) && !src.bit(11) && !src.bit(12) && b != 3) {
    lit({P::kMainLine, P::kLowerRiser, P::kBatteryBranch, P::kOutputStub}, kGreen);
  } else if (src.bit(12)) {  // maintenance bypass
    lit({P::kBypassFeed}, kRed);
    lit({P::kMaintenanceBranch, P::kMaintenanceLine, P::kMaintenanceOut},
        src.bit(6) ? kGreen : kRed);
  } else if (src.bit(11)) {  // static bypass
    lit({P::kStaticBypassLine, P::kUpperRiser, P::kOutputStub}, kAmber);
  } else if (b == 3) {  // on battery
    lit({P::kBatteryBranch, P::kInverterRun, P::kLowerRiser, P::kOutputStub}, kAmber);
  }
}

void DrawOutline(Canvas& c, int x0, int y0, int u, int h) {
  // Static bypass line, its lower wall open to the maintenance branch.
  PipeShadow(c, x0, y0 - h, x0 + 7 * u + h, y0 - h);
  PipeFace(c, x0, y0 + h, x0 + u - h, y0 + h);
  PipeFace(c, x0 + u + h, y0 + h, x0 + 7 * u - h, y0 + h);
  PipeShadow(c, x0, y0 - h, x0, y0 + h);
  // Maintenance branch and line, carried on to the output end.
  PipeShadow(c, x0 + u - h, y0 + h, x0 + u - h, y0 + u + h);
  PipeFace(c, x0 + u + h, y0 + h, x0 + u + h, y0 + u - h);
  PipeShadow(c, x0 + u + h, y0 + u - h, x0 + 7 * u - h, y0 + u - h);
  PipeFace(c, x0 + u - h, y0 + u + h, x0 + 8 * u, y0 + u + h);
  PipeShadow(c, x0 + 7 * u + h, y0 + u - h, x0 + 8 * u, y0 + u - h);
  PipeFace(c, x0 + 8 * u, y0 + u - h, x0 + 8 * u, y0 + u + h);
  // The risers, their walls open where the maintenance line and the output
  // meet them.
  PipeShadow(c, x0 + 7 * u - h, y0 + h, x0 + 7 * u - h, y0 + u - h);
  PipeShadow(c, x0 + 7 * u - h, y0 + u + h, x0 + 7 * u - h, y0 + 2 * u - h);
  PipeFace(c, x0 + 7 * u + h, y0 - h, x0 + 7 * u + h, y0 + u - h);
  PipeFace(c, x0 + 7 * u + h, y0 + u + h, x0 + 7 * u + h, y0 + 2 * u + h);
  // Main line, its lower wall open to the battery branch.
  PipeShadow(c, x0, y0 + 2 * u - h, x0 + 7 * u - h, y0 + 2 * u - h);
  PipeFace(c, x0, y0 + 2 * u + h, x0 + 4 * u - h, y0 + 2 * u + h);
  PipeFace(c, x0 + 4 * u + h, y0 + 2 * u + h, x0 + 7 * u + h, y0 + 2 * u + h);
  PipeShadow(c, x0, y0 + 2 * u - h, x0, y0 + 2 * u + h);
  // Battery branch, closed at its foot.
  PipeShadow(c, x0 + 4 * u - h, y0 + 2 * u + h, x0 + 4 * u - h, y0 + 3 * u);
  PipeFace(c, x0 + 4 * u + h, y0 + 2 * u + h, x0 + 4 * u + h, y0 + 3 * u);
  PipeFace(c, x0 + 4 * u - h, y0 + 3 * u, x0 + 4 * u + h, y0 + 3 * u);
}

}  // namespace

std::vector<PhaseFill> ThreePhaseLit(const DiagramSource& src) {
  std::vector<PhaseFill> out;
  const Rules rules = RulesOf(src);
  const int32_t b = src.batteryStatus();
  bool dark = true, off = false, charging = false;
  switch (rules) {
    case Rules::kSnmp:
      dark = src.bit(0) || src.bit(28);
      off = src.bit(24) || src.bit(18);
      charging = b == 1;
      break;
    case Rules::kLocal:
      dark = src.bit(24);
      off = src.bit(5) || src.bit(2);
      charging = b <= 1;  // an unknown state (-1) counts as charging
      break;
    case Rules::kBinary:
      dark = src.bit(13);
      off = src.bit(3);
      charging = b == 1;
      break;
    case Rules::kNone:
      break;
  }
  if (dark) return out;
  const Lit lit{out, off};
  if (charging) {
    lit({P::kMainsInput, P::kBatteryBranch}, kGreen);
    if (rules == Rules::kLocal && src.family() != DiagramFamily::kModbus && src.bit(16))
      lit({P::kChargerLink}, kGreen);
  }
  if (rules == Rules::kSnmp) SnmpRules(src, b, lit);
  if (rules == Rules::kLocal) LocalRules(src, b, lit);
  if (rules == Rules::kBinary) BinaryRules(src, b, lit);
  return out;
}

PhaseSymbols ThreePhaseSymbols(const DiagramSource& src) {
  PhaseSymbols s;
  switch (RulesOf(src)) {
    case Rules::kSnmp:
      s.rectifierFault = src.bit(21) || src.bit(14);
      s.inverterFault = src.bit(13);
      s.batteryFault = src.bit(2) || src.bit(7);
      break;
    case Rules::kLocal: {
      // Local devices add the component fault word; GPRS stations have none.
      const uint32_t f = src.family() == DiagramFamily::kGprs ? 0 : src.faultWord();
      s.rectifierFault = src.bit(7) || (f & 0x7FEu) != 0;
      s.inverterFault = src.bit(17) || (f & 0x3FFF000u) != 0;
      s.batteryFault = src.bit(20);
      break;
    }
    case Rules::kBinary:
      s.rectifierFault = src.bit(1);
      s.inverterFault = src.bit(7);
      s.batteryFault = src.bit(9);
      break;
    case Rules::kNone:  // devices of other CommTypes show the normal symbols
      break;
  }
  return s;
}

CanvasRect PhaseSegmentRect(PhaseSegment s, const DiagramLayout& l) {
  const int x0 = l.x0 + kThreePhaseShift, y0 = l.y0, u = l.u, h = l.pipe / 2;
  // Along x at height y, or along y at x; across from centre - h + 1 to centre + h - 1.
  auto along = [&](int y, int from, int to) { return CanvasRect{from, y - h + 1, to, y + h - 1}; };
  auto down = [&](int x, int from, int to) { return CanvasRect{x - h + 1, from, x + h - 1, to}; };
  switch (s) {
    case P::kBypassFeed:
      return along(y0, x0 + 1, x0 + u + h - 1);
    case P::kStaticBypassLine:
      return along(y0, x0 + 1, x0 + 7 * u + h - 1);
    case P::kMaintenanceBranch:
      return down(x0 + u, y0 - h + 1, y0 + u + h - 1);
    case P::kMaintenanceLine:
      return along(y0 + u, x0 + u - h + 1, x0 + 7 * u - 1);
    case P::kMaintenanceOut:
      return along(y0 + u, x0 + 7 * u, x0 + 8 * u - 1);
    case P::kUpperRiser:
      return down(x0 + 7 * u, y0 - h + 1, y0 + u + h - 1);
    case P::kMainsInput:
      return along(y0 + 2 * u, x0 + 1, x0 + 4 * u + h - 1);
    case P::kChargerLink:
      return along(y0 + 2 * u, x0 + 4 * u + h - 1, x0 + 5 * u - 1);
    case P::kInverterRun:
      return along(y0 + 2 * u, x0 + 4 * u - h + 1, x0 + 7 * u + h - 1);
    case P::kInverterRunFromJoint:
      return along(y0 + 2 * u, x0 + 4 * u, x0 + 7 * u + h - 1);
    case P::kMainLine:
      return along(y0 + 2 * u, x0 + 1, x0 + 7 * u + h - 1);
    case P::kLowerRiser:
      return down(x0 + 7 * u, y0 + u - h + 1, y0 + 2 * u + h - 1);
    case P::kBatteryBranch:
      return down(x0 + 4 * u, y0 + 2 * u - h + 1, y0 + 3 * u - 1);
    case P::kOutputStub:
      return along(y0 + u, x0 + 7 * u - h + 1, x0 + 8 * u - 1);
  }
  return {};
}

void DrawThreePhaseMimic(Canvas& c, const DiagramSource& src, const DiagramEnv& env,
                         const DiagramLayout& l) {
  const int x0 = l.x0 + kThreePhaseShift, y0 = l.y0, u = l.u, h = l.pipe / 2;
  DrawOutline(c, x0, y0, u, h);
  for (const PhaseFill& f : ThreePhaseLit(src))
    FillInclusive(c, PhaseSegmentRect(f.segment, l), env.levels[static_cast<size_t>(f.level)]);

  const int plh = env.panelLineHeight;
  DrawCentredCaption(c, env, env.component(19), x0 + u + h, y0 + h + 5, x0 + 7 * u - h);
  DrawCentredCaption(c, env, env.component(20), x0 + u + h, y0 + u + h + 5, x0 + 7 * u - h);
  for (int y : {y0, y0 + 2 * u}) {
    DrawBitmap(c, DiagramBitmap(kBmpSource), x0 - 26, y - 13);
    DrawCentredCaption(c, env, env.component(8), x0 - 113, y + 18, x0 + 87);
  }
  DrawBitmap(c, DiagramBitmap(kBmpSource), x0 + 8 * u, y0 + u - 13);
  DrawCentredCaption(c, env, env.component(9), x0 + 8 * u - 87, y0 + u + 18, x0 + 8 * u + 113);
  DrawOutputPanelBeside(c, src, env, l, x0, {.secondVoltage = true, .binary = true});

  const PhaseSymbols sym = ThreePhaseSymbols(src);
  c.DrawIcon(x0 + 4 * u - 13, y0 + 3 * u, sym.batteryFault ? kIconBatteryFault : kIconBattery);
  DrawCentredCaption(c, env, env.component(7), x0 + 4 * u - 100, y0 + 3 * u + 31, x0 + 4 * u + 100);
  const int captionTop = y0 + 2 * u + 18;
  DrawBitmap(c, DiagramBitmap(sym.rectifierFault ? kBmpRectifierRed : kBmpRectifier),
             x0 + 3 * u - 26, y0 + 2 * u - 13);
  DrawCentredCaption(c, env, env.component(21), x0 + 3 * u - 113, captionTop, x0 + 3 * u + 87);

  const int width = l.secondLabelWidth + 3 * l.valueWidth + 15;
  const CanvasPoint at = BatteryPanelPlace(l, env, x0 + 3 * u + 10, width, captionTop + plh);
  RowCursor rows(c, env, at.x, at.y, at.x + width, l.gap, l.secondLabelWidth, l.valueWidth);
  DrawBatteryPanel(rows, src, env, {.secondVoltage = true, .binary = true});

  DrawBitmap(c, DiagramBitmap(sym.inverterFault ? kBmpInverterRed : kBmpInverter), x0 + 5 * u,
             y0 + 2 * u - 13);
  DrawCentredCaption(c, env, env.component(22), x0 + 5 * u - 87, captionTop, x0 + 5 * u + 113);
}

}  // namespace lark
