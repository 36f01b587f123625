// The Canvas over a QImage: pixels with the Windows drawing rules, drawn
// without antialiasing. One-pixel lines are stepped here (Bresenham with the
// end point left out, dots 3 on and 3 off) because that is where QPainter's
// rules differ; figures and wide lines go through QPainter.
#pragma once
#include <QColor>

#include "console/views/canvas.h"

namespace lark {

QColor ToQColor(ColorRef c);
ColorRef FromQColor(const QColor& c);

class ImageCanvas final : public Canvas {
 public:
  // A w x h surface filled with white.
  ImageCanvas(int w, int h);
  // A canvas drawing into `target` (not owned, must outlive the canvas).
  explicit ImageCanvas(QImage* target);

  void SelectPen(PenStyle style, int width, ColorRef colour) override;
  void SelectBrush(ColorRef colour) override;
  void SelectNullBrush() override;
  void SelectFont(const QFont& font) override { font_ = font; }
  void SetTextColor(ColorRef colour) override { textColour_ = colour; }
  void SetBkColor(ColorRef colour) override { bkColour_ = colour; }
  void SetBkMode(BkMode mode) override { bkMode_ = mode; }

  void Rectangle(int left, int top, int right, int bottom) override;
  void Pie(const CanvasRect& r, CanvasPoint start, CanvasPoint end) override;
  void Arc(const CanvasRect& r, CanvasPoint start, CanvasPoint end) override;
  void Polygon(const std::vector<CanvasPoint>& points) override;
  void MoveTo(int x, int y) override { pos_ = {x, y}; }
  void LineTo(int x, int y) override;
  void BitBlt(int x, int y, int w, int h, const Canvas& source, int sx, int sy) override;
  void BitBltImage(int x, int y, const QImage& image) override;
  void TextOut(int x, int y, std::string_view text) override;
  void DrawText(std::string_view text, const CanvasRect& r, uint32_t format) override;
  int TextWidth(std::string_view text) const override;
  std::unique_ptr<Canvas> CreateCompatible(int w, int h) const override;
  const QImage* image() const override { return target_; }

  // Colour of one pixel (0x00BBGGRR); black outside the image.
  ColorRef Pixel(int x, int y) const;

 private:
  void Plot(int x, int y, ColorRef c);
  // Angles (degrees, counterclockwise, 0 = east) of the rays of a pie or arc.
  static void RayAngles(const CanvasRect& r, CanvasPoint start, CanvasPoint end, int* from16,
                        int* span16);
  QImage own_;
  QImage* target_;
  PenStyle penStyle_ = PenStyle::kSolid;
  int penWidth_ = 1;
  ColorRef penColour_ = 0;
  bool brushNull_ = false;
  ColorRef brushColour_ = 0xffffff;
  QFont font_ = DefaultCanvasFont();
  ColorRef textColour_ = 0;
  ColorRef bkColour_ = 0xffffff;
  BkMode bkMode_ = BkMode::kOpaque;
  CanvasPoint pos_;
};

}  // namespace lark
