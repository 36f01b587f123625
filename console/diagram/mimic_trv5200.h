// The one-line mimic of the TRV5200 three-phase UPS (CommType 3, code 3):
// grey lines with the powered ones drawn green over them, the switches
// Q3BP, Q4S, Q1, Q5N and QF1, the sources, static switch, rectifier,
// inverter and battery, and the output, inverter and battery panels under
// it. The 9315 mimic draws with the same pieces. Both stand 20 pixels
// right of the tab's origin and read the 64-bit last-reported event mask.
#pragma once
#include <cstdint>
#include <vector>

#include "console/diagram/diagram_env.h"
#include "console/diagram/diagram_source.h"
#include "console/diagram/diagram_tab.h"

namespace lark {

class Canvas;

inline constexpr int kOneLineShift = 20;
inline constexpr ColorRef kPoweredGreen = 0x00ff00;

// A point X + ux2 * u / 2 + dx, Y + uy2 * u / 2 + dy of the mimic's grid,
// in half units so X + 6.5u truncates as the double would.
struct GridPoint {
  int8_t ux2, uy2;
  int16_t dx, dy;
};
struct GridLine {
  GridPoint a, b;
};
// The grid of one paint: the moved origin and the unit.
struct Grid {
  int x, y, u;
  CanvasPoint at(GridPoint p) const { return {x + p.ux2 * u / 2 + p.dx, y + p.uy2 * u / 2 + p.dy}; }
};
Grid OneLineGrid(const DiagramLayout& l);

// A switch or breaker: its gap blanked in the window colour, its icon
// (open while its bit is set) and its name.
struct OneLineSwitch {
  const char* name;
  int bit;
  GridLine gap;
  bool vertical;
  GridPoint icon;
  GridPoint nameAt;   // left, top
  GridPoint nameEnd;  // right (its y unused)
  bool rightAligned;
};
// A picture with its caption "%s" or "%s-n" of a [Component] text.
struct OneLinePicture {
  int id;  // bitmap, or icon when `icon`
  bool icon;
  GridPoint at;
  int caption;          // CP_n; 0 for none
  const char* format;   // "%s", "%s-1", "%s-2"
  GridPoint captionAt;  // left, top
  GridPoint captionEnd;
};

void DrawGridLine(Canvas& c, const Grid& g, const GridLine& line, ColorRef colour);
void DrawOneLineSwitch(Canvas& c, const Grid& g, const DiagramEnv& env, const OneLineSwitch& s,
                       uint64_t mask);
void DrawOneLinePicture(Canvas& c, const Grid& g, const DiagramEnv& env, const OneLinePicture& p);

enum class TrvLine : uint8_t {
  kBypassIn,     // bypass source to Q4S
  kBypassRiser,  // up to the maintenance line
  kManualFeed,   // to Q3BP
  kManualLine,   // Q3BP on to the drop
  kManualDrop,   // down to the output line
  kManualOut,    // into the output
  kStaticFeed,   // Q4S to the static switch
  kStaticLine,   // static switch on
  kStaticDrop,   // down to the main line
  kStaticToQ5N,  // along the main line to Q5N
  kOutputLine,   // Q5N to the output
  kMainIn,       // main source to Q1
  kMainToRectifier,
  kRectifierToInverter,
  kBatteryTap,    // main line down to QF1
  kBatteryLead,   // QF1 down to the battery
  kBatteryToQ5N,  // the battery joint along to Q5N
  kInverterToQ5N,
};
// The powered lines of the bypass, main and battery groups, each once, in
// enum order. None while bit 36 is set.
std::vector<TrvLine> Trv5200GreenLines(uint64_t mask);
const GridLine& TrvLineAt(TrvLine line);

// The pictures as the mask chooses them: static switch, bypass input, main
// input, output, battery, rectifier, inverter.
std::vector<OneLinePicture> Trv5200Pictures(uint64_t mask);
const std::vector<OneLineSwitch>& Trv5200Switches();

void DrawTrv5200Mimic(Canvas& c, const DiagramSource& src, const DiagramEnv& env,
                      const DiagramLayout& l);

}  // namespace lark
