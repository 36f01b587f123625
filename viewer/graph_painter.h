// The graph's painter: value and time labels on the window, the plot's grid
// and curves in the back buffer (rebuilt only when the redraw flag is set),
// the buffer copied to the plot and the focus frame around it.
#pragma once
#include "console/views/canvas.h"

namespace lark {

class ViewerContext;

inline constexpr int kValueBand = 35;  // value labels left of the plot
inline constexpr int kTimeBand = 30;   // time labels under the scroll bar

struct GraphGeometry {
  CanvasRect plot;  // in window coordinates
  int hBarHeight = 0;
  int vBarWidth = 0;
};
// The plot of a client area with its two scroll bars taken off once.
GraphGeometry GraphGeometryFor(int clientW, int clientH, int hBarHeight, int vBarWidth);

// The curve colours 1 to 5.
ColorRef CurveColour(int curve);

// Paints the window's labels on `window`; when the state's redraw flag is set
// rebuilds `back` (plot-sized) from the selected month first.
void PaintHistoryGraph(Canvas& window, Canvas& back, ViewerContext& ctx, const GraphGeometry& g,
                       bool focus);

// Clips the segment to the rectangle (real numbers); false when nothing is left.
bool ClipSegment(double& x0, double& y0, double& x1, double& y1, double left, double top,
                 double right, double bottom);

}  // namespace lark
