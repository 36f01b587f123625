#include "console/diagram/diagram_flow.h"

#include "console/diagram/diagram_rows.h"
#include "console/diagram/mimic_panels.h"
#include "console/views/canvas.h"
#include "console/views/diagram_pictures.h"
#include "console/views/drawing_kit.h"

namespace lark {
namespace {

using S = FlowSegment;

// The event bits and values the colouring reads, by family.
struct FlowRoles {
  bool colour = false;  // a family the rules know and no no-colouring bit
  bool snmp = false;
  bool bypass = false;        // B
  bool battery = false;       // T
  bool outputOff = false;     // O
  bool inverterStop = false;  // I
  bool bypassBlock = false;   // K
  bool large = false;         // size value 6000 or more: variant L
  int32_t s = -1;             // BatteryStatus
  bool charging = false;      // C
  bool discharging = false;   // D
};

// The no-colouring bits: no response, or the line lost.
bool LineLost(const DiagramSource& src) {
  return src.family() == DiagramFamily::kSnmp ? src.bit(0) || src.bit(28) : src.bit(24);
}

FlowRoles ReadRoles(const DiagramSource& src) {
  FlowRoles r;
  if (!IsSinglePhaseSource(src)) return r;
  r.snmp = src.family() == DiagramFamily::kSnmp;
  r.s = src.batteryStatus();
  r.colour = !LineLost(src);
  if (r.snmp) {
    r.bypass = src.bit(5);
    r.battery = src.bit(1);
    r.outputOff = src.bit(18) || src.bit(24);
    r.inverterStop = src.bit(20);
    r.bypassBlock = src.bit(19);
    r.large = src.slot(0) >= 6000;
    r.charging = r.s == 1;
  } else {
    r.bypass = src.bit(22);
    r.battery = src.bit(21);
    r.outputOff = src.bit(2) || src.bit(5);
    r.inverterStop = src.bit(8);
    r.bypassBlock = src.bit(4);
    r.large = src.slot(4) >= 6000;
    r.charging = r.s <= 1;  // an unknown state (-1) counts as charging
  }
  r.discharging = r.s == 3;
  return r;
}

void Add(std::vector<FlowFill>& out, std::initializer_list<S> segs, FlowLevel level) {
  for (S s : segs) out.push_back({s, level});
}

constexpr FlowLevel kGreen = FlowLevel::kInformation, kRed = FlowLevel::kSerious,
                    kAmber = FlowLevel::kWarning;

void Code0(const FlowRoles& r, std::vector<FlowFill>& out) {
  const bool running = !r.outputOff && !r.inverterStop;
  if (!r.bypass && !r.battery && (r.large || !r.discharging)) {  // normal
    Add(out, {S::kInput, S::kLeftRiserLower}, kGreen);
    if (running)
      Add(out, {S::kLowerPath, S::kRightRiserLower, S::kOutput}, kGreen);
    else
      Add(out, {S::kLowerPathLeft}, kGreen);
    Add(out, {S::kBatteryBranch}, kGreen);
  } else if (r.bypass && !r.battery && !r.bypassBlock) {  // on bypass
    Add(out, {S::kInput, S::kLeftRiserUpper, S::kUpperPath, S::kRightRiserUpper}, kRed);
    if (!r.outputOff) Add(out, {S::kOutput}, kRed);
    if (r.charging) Add(out, {S::kLeftRiserLower, S::kLowerPathLeft, S::kBatteryBranch}, kRed);
  } else if (r.battery && !r.bypass && (r.large || r.discharging)) {  // on battery
    if (running)
      Add(out, {S::kBatteryBranch, S::kLowerPathRight, S::kRightRiserLower, S::kOutput}, kAmber);
    else if (r.charging)
      Add(out, {S::kInput, S::kLeftRiserLower, S::kLowerPathLeft, S::kBatteryBranch}, kRed);
  } else if (r.charging) {
    Add(out, {S::kInput, S::kLeftRiserLower, S::kLowerPathLeft, S::kBatteryBranch}, kRed);
  } else if (!r.large && r.discharging) {
    Add(out, {S::kBatteryBranch, S::kLowerPathRight, S::kRightRiserLower, S::kOutput}, kAmber);
  }
}

constexpr std::initializer_list<S> kUpperSet{S::kInput, S::kLeftRiserUpper, S::kUpperPath,
                                             S::kRightRiserUpper};
constexpr std::initializer_list<S> kChargingSet{S::kInput, S::kLeftRiserLower, S::kLowerPathLeft,
                                                S::kBatteryBranch};
constexpr std::initializer_list<S> kDischargeSet{S::kBatteryBranch, S::kLowerPathRight,
                                                 S::kRightRiserLower, S::kOutput};
constexpr std::initializer_list<S> kInverterFeed{S::kBatteryBranch, S::kLowerPathRight,
                                                 S::kRightRiserLower};

void Code1Or2(const FlowRoles& r, int code, std::vector<FlowFill>& out) {
  const bool running = !r.outputOff && !r.inverterStop;
  if (!r.battery && !r.bypassBlock && !r.discharging) {
    if (code == 1) {
      if (running) {
        Add(out, kUpperSet, kGreen);
        Add(out, {S::kOutput}, kGreen);
      }
      if (r.charging) Add(out, kChargingSet, kGreen);
    } else {
      Add(out, kUpperSet, kGreen);
      if (running) Add(out, {S::kOutput}, kGreen);
      if (r.snmp ? r.s != 0 : r.charging) Add(out, kInverterFeed, kGreen);
    }
  } else if (r.battery && r.discharging && running) {
    Add(out, kDischargeSet, kAmber);
  }
}

void DrawPipes(Canvas& c, const DiagramLayout& l) {
  const int x0 = l.x0, y0 = l.y0, u = l.u, h = l.pipe / 2;
  // Input stub, closed at x0.
  PipeShadow(c, x0, y0 + u - h, x0 + u - h, y0 + u - h);
  PipeFace(c, x0, y0 + u + h, x0 + u - h, y0 + u + h);
  PipeShadow(c, x0, y0 + u - h, x0, y0 + u + h);
  // Output stub, closed at x0 + 8u.
  PipeShadow(c, x0 + 7 * u + h, y0 + u - h, x0 + 8 * u, y0 + u - h);
  PipeFace(c, x0 + 7 * u + h, y0 + u + h, x0 + 8 * u, y0 + u + h);
  PipeFace(c, x0 + 8 * u, y0 + u - h, x0 + 8 * u, y0 + u + h);
  // Upper path.
  PipeShadow(c, x0 + u - h, y0 - h, x0 + 7 * u + h, y0 - h);
  PipeFace(c, x0 + u + h, y0 + h, x0 + 7 * u - h, y0 + h);
  // Lower path, its outer wall open to the battery branch.
  PipeShadow(c, x0 + u + h, y0 + 2 * u - h, x0 + 7 * u - h, y0 + 2 * u - h);
  PipeFace(c, x0 + u - h, y0 + 2 * u + h, x0 + 4 * u - h, y0 + 2 * u + h);
  PipeFace(c, x0 + 4 * u + h, y0 + 2 * u + h, x0 + 7 * u + h, y0 + 2 * u + h);
  // Left riser, its outer wall open to the input.
  PipeShadow(c, x0 + u - h, y0 - h, x0 + u - h, y0 + u - h);
  PipeShadow(c, x0 + u - h, y0 + u + h, x0 + u - h, y0 + 2 * u + h);
  PipeFace(c, x0 + u + h, y0 + h, x0 + u + h, y0 + 2 * u - h);
  // Right riser, its outer wall open to the output.
  PipeShadow(c, x0 + 7 * u - h, y0 + h, x0 + 7 * u - h, y0 + 2 * u - h);
  PipeFace(c, x0 + 7 * u + h, y0 - h, x0 + 7 * u + h, y0 + u - h);
  PipeFace(c, x0 + 7 * u + h, y0 + u + h, x0 + 7 * u + h, y0 + 2 * u + h);
  // Battery branch, closed at its foot.
  PipeShadow(c, x0 + 4 * u - h, y0 + 2 * u + h, x0 + 4 * u - h, y0 + 3 * u);
  PipeFace(c, x0 + 4 * u + h, y0 + 2 * u + h, x0 + 4 * u + h, y0 + 3 * u);
  PipeFace(c, x0 + 4 * u - h, y0 + 3 * u, x0 + 4 * u + h, y0 + 3 * u);
}

// Code 2 has no path from the input to the rectifier: the walls of the left
// riser's lower part and of the lower path's left part go, two short
// closings take their place.
void RemoveRectifierPath(Canvas& c, const DiagramLayout& l) {
  const int x0 = l.x0, y0 = l.y0, u = l.u, h = l.pipe / 2;
  DrawSysLine(c, x0 + u - h, y0 + u + h, x0 + u - h, y0 + 2 * u + h, kColorWindow, 1);
  DrawSysLine(c, x0 + u + h, y0 + u + h, x0 + u + h, y0 + 2 * u - h, kColorWindow, 1);
  DrawSysLine(c, x0 + u - h, y0 + 2 * u - h, x0 + 4 * u - h, y0 + 2 * u - h, kColorWindow, 1);
  DrawSysLine(c, x0 + u - h, y0 + 2 * u + h, x0 + 4 * u - h, y0 + 2 * u + h, kColorWindow, 1);
  PipeFace(c, x0 + u - h, y0 + u + h, x0 + u + h, y0 + u + h);
  PipeShadow(c, x0 + 4 * u - h, y0 + 2 * u - h, x0 + 4 * u - h, y0 + 2 * u + h);
}

}  // namespace

void PipeShadow(Canvas& c, int x1, int y1, int x2, int y2) {
  DrawSysLine(c, x1, y1, x2, y2, kColorBtnShadow, 1);
}
void PipeFace(Canvas& c, int x1, int y1, int x2, int y2) {
  DrawSysLine(c, x1, y1, x2, y2, kColorBtnFace, 1);
}

void FillInclusive(Canvas& c, const CanvasRect& r, ColorRef colour) {
  // The solid fill leaves out right and bottom.
  DrawSolidRect(c, r.left, r.top, r.right + 1, r.bottom + 1, colour);
}

std::vector<FlowFill> FlowFills(const DiagramSource& src, int code) {
  std::vector<FlowFill> out;
  const FlowRoles r = ReadRoles(src);
  if (!r.colour) return out;
  if (code == 0)
    Code0(r, out);
  else if (code == 1 || code == 2)
    Code1Or2(r, code, out);
  return out;
}

CanvasRect FlowSegmentRect(FlowSegment s, const DiagramLayout& l) {
  const int x0 = l.x0, y0 = l.y0, u = l.u, h = l.pipe / 2;
  const int lowerTop = y0 + 2 * u - h + 1, lowerBottom = y0 + 2 * u + h - 1;
  switch (s) {
    case S::kInput:
      return {x0 + 1, y0 + u - h + 1, x0 + u + h - 1, y0 + u + h - 1};
    case S::kLeftRiserUpper:
      return {x0 + u - h + 1, y0 - h + 1, x0 + u + h - 1, y0 + u + h - 1};
    case S::kLeftRiserLower:
      return {x0 + u - h + 1, y0 + u - h + 1, x0 + u + h - 1, y0 + 2 * u + h - 1};
    case S::kUpperPath:
      return {x0 + u - h + 1, y0 - h + 1, x0 + 7 * u + h - 1, y0 + h - 1};
    case S::kRightRiserUpper:
      return {x0 + 7 * u - h + 1, y0 - h + 1, x0 + 7 * u + h - 1, y0 + u + h - 1};
    case S::kRightRiserLower:
      return {x0 + 7 * u - h + 1, y0 + u - h + 1, x0 + 7 * u + h - 1, y0 + 2 * u + h - 1};
    case S::kOutput:
      return {x0 + 7 * u - h + 1, y0 + u - h + 1, x0 + 8 * u - 1, y0 + u + h - 1};
    case S::kLowerPath:
      return {x0 + u - h + 1, lowerTop, x0 + 7 * u + h - 1, lowerBottom};
    case S::kLowerPathLeft:
      return {x0 + u - h + 1, lowerTop, x0 + 4 * u + h - 1, lowerBottom};
    case S::kLowerPathRight:
      return {x0 + 4 * u - h + 1, lowerTop, x0 + 7 * u + h - 1, lowerBottom};
    case S::kBatteryBranch:
      return {x0 + 4 * u - h + 1, y0 + 2 * u - h + 1, x0 + 4 * u + h - 1, y0 + 3 * u - 1};
  }
  return {};
}

void FillSegment(Canvas& c, FlowSegment s, const DiagramLayout& l, ColorRef colour) {
  FillInclusive(c, FlowSegmentRect(s, l), colour);
}

void DrawFlowDiagram(Canvas& c, const DiagramSource& src, int code, const DiagramEnv& env,
                     const DiagramLayout& l) {
  const int x0 = l.x0, y0 = l.y0, u = l.u, h = l.pipe / 2;
  DrawPipes(c, l);
  DrawBitmap(c, DiagramBitmap(kBmpSource), x0 - 26, y0 + u - 13);
  DrawBitmap(c, DiagramBitmap(kBmpSource), x0 + 8 * u, y0 + u - 13);
  DrawCentredCaption(c, env, env.component(8), x0 - 113, y0 + u + 18, x0 + 87);
  DrawCentredCaption(c, env, env.component(9), x0 + 8 * u - 87, y0 + u + 18, x0 + 8 * u + 113);
  DrawOutputPanelBeside(c, src, env, l, x0, {.secondVoltage = false, .binary = false});

  if (IsSinglePhaseSource(src)) {
    const bool fault = src.bit(src.family() == DiagramFamily::kSnmp ? 2 : 20);
    // A device that is not heard has no known battery state: its battery
    // shows no icon rather than the green one of a healthy battery.
    if (!LineLost(src))
      c.DrawIcon(x0 + 4 * u - 13, y0 + 3 * u, fault ? kIconBatteryFault : kIconBattery);
    DrawCentredCaption(c, env, env.component(7), x0 + 4 * u - 100, y0 + 3 * u + 31,
                       x0 + 4 * u + 100);
  }
  if (code == 0)
    DrawCentredCaption(c, env, env.component(1), x0 + u + h, y0 + h + 5, x0 + 7 * u - h);
  if (code == 2) RemoveRectifierPath(c, l);
  for (const FlowFill& fill : FlowFills(src, code))
    FillSegment(c, fill.segment, l, env.levels[static_cast<size_t>(fill.level)]);
}

}  // namespace lark
