// The drawing kit: the small set of primitives every painter of the console
// uses (rectangles and lines in explicit or system colours, a raised bevel,
// a bitmap copy, a pie wedge), the shared off-screen BackBuffer, and the two
// instruments of the Summary tab: the dial gauge and the segmented bar meter.
// Each primitive selects the pen and brush it needs on the canvas; none keeps
// state between calls except the BackBuffer.
#pragma once
#include <QFont>
#include <QImage>
#include <array>
#include <cstdint>
#include <memory>

#include "console/views/canvas.h"

namespace lark {

class DeviceNode;

// The colours of the alarm levels, indexed Serious, Warning, Information.
using LevelColours = std::array<ColorRef, 3>;
inline constexpr LevelColours kDefaultLevelColours{0x0000ff, 0x00a0a0, 0x00a000};

// A framed fill: the frame on the outer pixels, right and bottom left out.
void DrawFilledRect(Canvas& c, int left, int top, int right, int bottom, ColorRef fill,
                    ColorRef frame);
// A fill without frame covering what DrawFilledRect covers for the same
// coordinates.
void DrawSolidRect(Canvas& c, int left, int top, int right, int bottom, ColorRef colour);
void DrawLine(Canvas& c, int x1, int y1, int x2, int y2, ColorRef colour, int width);
void DrawDottedLine(Canvas& c, int x1, int y1, int x2, int y2, ColorRef colour, int width);
void DrawSysFilledRect(Canvas& c, int left, int top, int right, int bottom, int sysColour);
void DrawSysSolidRect(Canvas& c, int left, int top, int right, int bottom, int sysColour);
void DrawSysLine(Canvas& c, int x1, int y1, int x2, int y2, int sysColour, int width);
void DrawBitmap(Canvas& c, const QImage& bitmap, int x, int y);
// A raised frame (face colour left and top, shadow right and bottom) with an
// optional grip of two ridges.
void DrawBevel(Canvas& c, int left, int top, int right, int bottom, bool grip, int width);
// A filled wedge of the ellipse inscribed in `r`, from `startDeg` to
// `endDeg` counterclockwise (90 is straight up). Nothing when both rays meet
// the border at the same point.
void DrawPieSegment(Canvas& c, const CanvasRect& r, int startDeg, int endDeg, ColorRef colour);
// The border point of `r` along the ray at `deg`, as DrawPieSegment finds it.
CanvasPoint PieRayPoint(const CanvasRect& r, int deg);

// The one off-screen surface of the console: 300 x 300 pixels of the same
// kind as the main window's surface, with the value font selected.
class BackBuffer {
 public:
  static constexpr int kSize = 300;
  // (Re)creates the surface compatible with `reference`.
  void Create(const Canvas& reference, const QFont& valueFont);
  void Delete() { canvas_.reset(); }
  Canvas* canvas() const { return canvas_.get(); }

 private:
  std::unique_ptr<Canvas> canvas_;
};

// What a dial shows for a node and value index: full scale M (0..M), unit,
// and the upper and lower limits (0 = none). M <= 0 means no scale.
struct DialScale {
  int64_t full = 0;
  const char* unit = "";
  int64_t upper = 0;
  int64_t lower = 0;
};
// The scale of the node's value `valueIndex`; full 0 when the node and index
// have none.
DialScale DialScaleFor(const DeviceNode& node, int valueIndex);

// One dial gauge in `area` of `target`, composed in the back buffer and
// copied in one blit. `value` is in tenths of the unit, negative = unknown;
// `textRow` is the height of one text row (the title font's line height).
void DrawDialGauge(BackBuffer& buffer, const DeviceNode& node, Canvas& target, int valueIndex,
                   const CanvasRect& area, int32_t value, const LevelColours& colours,
                   int textRow);
// The same with the scale given.
void DrawDialGaugeScale(BackBuffer& buffer, const DialScale& scale, Canvas& target,
                        const CanvasRect& area, int32_t value, const LevelColours& colours,
                        int textRow);

// A bar of segments of full scale / 20 each, lit up to `value` in the level
// colour of each segment's threshold. Nothing below a full scale of 20.
void DrawBarMeter(Canvas& c, int32_t full, int32_t warning, int32_t serious, int32_t value,
                  int left, int top, int right, int bottom, const LevelColours& colours);

// The three grooves along the main window's pane splitters: above and left
// of the detail tab area and left of the device list.
void DrawPaneEdges(Canvas& c, const CanvasRect& tabArea, const CanvasRect& listArea);

}  // namespace lark
