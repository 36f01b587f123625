// Canvas: the drawing surface every painter of the console draws through,
// with the pixel rules of the Windows drawing calls the painters were laid
// out for: Rectangle leaves out its right and bottom edge, a line leaves out
// its end point, pens wider than 1 have round caps, colours are 0x00BBGGRR.
// Two backends: ImageCanvas (a QImage, antialiasing off) and RecordingCanvas
// (a list of operations for assertions).
#pragma once
#include <QFont>
#include <QImage>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lark {

using ColorRef = uint32_t;  // 0x00BBGGRR: 0x0000ff is red

inline constexpr ColorRef Rgb(int r, int g, int b) {
  return static_cast<ColorRef>((r & 0xff) | (g & 0xff) << 8 | (b & 0xff) << 16);
}
inline constexpr int RedOf(ColorRef c) { return c & 0xff; }
inline constexpr int GreenOf(ColorRef c) { return (c >> 8) & 0xff; }
inline constexpr int BlueOf(ColorRef c) { return (c >> 16) & 0xff; }

// System colour indexes the painters pass.
enum SysColor : int {
  kColorWindow = 5,
  kColorWindowText = 8,
  kColorBtnFace = 15,
  kColorBtnShadow = 16,
  kColorBtnHighlight = 20,
  kColor3dDkShadow = 21,
};
// The fixed system colour table (the classic grey scheme); unknown indexes
// give black.
ColorRef SysColorValue(int index);

struct CanvasPoint {
  int x = 0;
  int y = 0;
  bool operator==(const CanvasPoint&) const = default;
};

struct CanvasRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool operator==(const CanvasRect&) const = default;
};

enum class PenStyle : uint8_t { kSolid, kDot, kNull };
// How an image blit combines with the surface: SRCCOPY, or SRCAND (surface
// AND image: white leaves the surface, dark darkens it).
enum class RasterOp : uint8_t { kSrcCopy, kSrcAnd };
enum class BkMode : uint8_t { kTransparent = 1, kOpaque = 2 };

// DrawText format bits that the painters use.
enum DrawTextFormat : uint32_t {
  kDtLeft = 0x0,
  kDtCenter = 0x1,
  kDtRight = 0x2,
  kDtVCenter = 0x4,
  kDtSingleLine = 0x20,
  kDtNoClip = 0x100,
};

class Canvas {
 public:
  virtual ~Canvas() = default;

  // Objects in use: each call replaces the current one (the caller keeps the
  // previous value when it must restore it).
  virtual void SelectPen(PenStyle style, int width, ColorRef colour) = 0;
  virtual void SelectBrush(ColorRef colour) = 0;
  virtual void SelectNullBrush() = 0;
  virtual void SelectFont(const QFont& font) = 0;
  virtual void SetTextColor(ColorRef colour) = 0;
  virtual void SetBkColor(ColorRef colour) = 0;
  virtual void SetBkMode(BkMode mode) = 0;

  // Figures: outline with the pen, inside with the brush; the right and
  // bottom coordinates lie outside the figure.
  virtual void Rectangle(int left, int top, int right, int bottom) = 0;
  // The wedge of the ellipse inscribed in the rectangle, counterclockwise
  // from the ray through `start` to the ray through `end`.
  virtual void Pie(const CanvasRect& r, CanvasPoint start, CanvasPoint end) = 0;
  // The same arc without the wedge's sides and without a fill.
  virtual void Arc(const CanvasRect& r, CanvasPoint start, CanvasPoint end) = 0;
  virtual void Polygon(const std::vector<CanvasPoint>& points) = 0;
  virtual void MoveTo(int x, int y) = 0;
  // A line from the current position to (x, y), the end point left out.
  virtual void LineTo(int x, int y) = 0;

  // Copies w x h pixels from (sx, sy) of `source` to (x, y).
  virtual void BitBlt(int x, int y, int w, int h, const Canvas& source, int sx, int sy) = 0;
  virtual void BitBltImage(int x, int y, const QImage& image, RasterOp op) = 0;
  void BitBltImage(int x, int y, const QImage& image) { BitBltImage(x, y, image, RasterOp::kSrcCopy); }

  virtual void TextOut(int x, int y, std::string_view text) = 0;
  virtual void DrawText(std::string_view text, const CanvasRect& r, uint32_t format) = 0;
  // The dotted focus frame inside `r`, drawn by inverting pixels: drawn
  // twice it is gone.
  virtual void DrawFocusRect(const CanvasRect& r) = 0;

  // Every pixel inside `r` inverted (right and bottom left out): done twice
  // the area is as it was.
  virtual void InvertRect(const CanvasRect& r) = 0;
  // Resource icon `id` (map_icons.h) at (x, y), its transparent pixels left.
  virtual void DrawIcon(int x, int y, int id) = 0;

  // Pixel size of `text` in the current font.
  virtual int TextWidth(std::string_view text) const = 0;
  // A new surface of the same kind, w x h pixels (the memory surface a
  // compatible bitmap gives on Windows).
  virtual std::unique_ptr<Canvas> CreateCompatible(int w, int h) const = 0;
  // The pixels when the backend has any, else null.
  virtual const QImage* image() const { return nullptr; }
};

// The font used when none is selected: "Arial" at 11 pixels.
QFont DefaultCanvasFont();

// The objects a surface has selected, kept the same way by both backends.
class SelectionCanvas : public Canvas {
 public:
  void SelectPen(PenStyle style, int width, ColorRef colour) override {
    penStyle_ = style;
    penWidth_ = width < 1 ? 1 : width;
    penColour_ = colour;
  }
  void SelectBrush(ColorRef colour) override {
    brushNull_ = false;
    brushColour_ = colour;
  }
  void SelectNullBrush() override { brushNull_ = true; }
  void SelectFont(const QFont& font) override { font_ = font; }
  void SetTextColor(ColorRef colour) override { textColour_ = colour; }
  void SetBkColor(ColorRef colour) override { bkColour_ = colour; }
  void SetBkMode(BkMode mode) override { bkMode_ = mode; }
  void MoveTo(int x, int y) override { pos_ = {x, y}; }

 protected:
  PenStyle penStyle_ = PenStyle::kSolid;
  int penWidth_ = 1;
  ColorRef penColour_ = 0;
  bool brushNull_ = false;
  ColorRef brushColour_ = 0xffffff;
  QFont font_ = DefaultCanvasFont();
  ColorRef textColour_ = 0;
  ColorRef bkColour_ = 0xffffff;
  BkMode bkMode_ = BkMode::kOpaque;
  CanvasPoint pos_;  // the current position of LineTo
};

}  // namespace lark
