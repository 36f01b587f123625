// The single-path mimic (UPS type code 6): one pipe from the input through
// one converter to the output with the battery hanging off it, lit only for
// local ASCII devices, and the output and battery panels beside it.
#pragma once
#include <cstdint>
#include <vector>

#include "console/diagram/diagram_env.h"
#include "console/diagram/diagram_flow.h"
#include "console/diagram/diagram_source.h"
#include "console/diagram/diagram_tab.h"

namespace lark {

class Canvas;

enum class PathSegment : uint8_t { kInputRun, kConverterRun, kBatteryRun, kBatteryBranch };

// The lit segments, all in the Information colour; only a local device of
// CommType 0 lights any.
std::vector<PathSegment> SinglePathLit(const DiagramSource& src);
// The converter's fault (CommType 0 and 2 read their fault word) and the
// battery's.
bool SinglePathConverterFault(const DiagramSource& src);
bool SinglePathBatteryFault(const DiagramSource& src);

// A segment's rectangle, both corners included.
CanvasRect PathSegmentRect(PathSegment s, const DiagramLayout& l);

void DrawSinglePathMimic(Canvas& c, const DiagramSource& src, const DiagramEnv& env,
                         const DiagramLayout& l);

}  // namespace lark
