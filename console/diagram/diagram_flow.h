// The pipe diagram of the single-phase UPSs (codes 0 to 2) and GPRS
// stations: the frame of pipes, the source pictures and captions, the output
// panel and the battery icon, and the fills that show where power flows.
// FlowFills holds every colouring rule; FillSegment paints one fill.
#pragma once
#include <cstdint>
#include <vector>

#include "console/diagram/diagram_env.h"
#include "console/diagram/diagram_source.h"
#include "console/diagram/diagram_tab.h"

namespace lark {

class Canvas;

enum class FlowSegment : uint8_t {
  kInput,
  kLeftRiserUpper,
  kLeftRiserLower,
  kUpperPath,
  kRightRiserUpper,
  kRightRiserLower,
  kOutput,
  kLowerPath,  // whole
  kLowerPathLeft,
  kLowerPathRight,
  kBatteryBranch,
};
// Indexes of LevelColours.
enum class FlowLevel : uint8_t { kSerious = 0, kWarning = 1, kInformation = 2 };

struct FlowFill {
  FlowSegment segment;
  FlowLevel level;
  bool operator==(const FlowFill&) const = default;
};

// The fills of the node's diagram, in painting order, for UPS type `code`.
std::vector<FlowFill> FlowFills(const DiagramSource& src, int code);

// Pipe walls, one pixel wide: the upper or left one in the shadow colour,
// the lower or right one in the face colour, so the pipes look sunken.
void PipeShadow(Canvas& c, int x1, int y1, int x2, int y2);
void PipeFace(Canvas& c, int x1, int y1, int x2, int y2);
// Fills `r` with both corners included.
void FillInclusive(Canvas& c, const CanvasRect& r, ColorRef colour);

// A segment's rectangle, both corners included.
CanvasRect FlowSegmentRect(FlowSegment s, const DiagramLayout& l);
// Fills the segment one pixel inside both walls.
void FillSegment(Canvas& c, FlowSegment s, const DiagramLayout& l, ColorRef colour);

// Frame, pictures, captions, output panel, battery icon, the code-2 frame
// change and the fills.
void DrawFlowDiagram(Canvas& c, const DiagramSource& src, int code, const DiagramEnv& env,
                     const DiagramLayout& l);

}  // namespace lark
