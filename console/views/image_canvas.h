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

class ImageCanvas final : public SelectionCanvas {
 public:
  // A w x h surface filled with white.
  ImageCanvas(int w, int h);
  // A canvas drawing into `target` (not owned, must outlive the canvas).
  explicit ImageCanvas(QImage* target);

  void Rectangle(int left, int top, int right, int bottom) override;
  void Pie(const CanvasRect& r, CanvasPoint start, CanvasPoint end) override;
  void Arc(const CanvasRect& r, CanvasPoint start, CanvasPoint end) override;
  void Polygon(const std::vector<CanvasPoint>& points) override;
  void LineTo(int x, int y) override;
  void BitBlt(int x, int y, int w, int h, const Canvas& source, int sx, int sy) override;
  using Canvas::BitBltImage;
  void BitBltImage(int x, int y, const QImage& image, RasterOp op) override;
  void TextOut(int x, int y, std::string_view text) override;
  void DrawText(std::string_view text, const CanvasRect& r, uint32_t format) override;
  void DrawIcon(int x, int y, int id) override;
  void DrawFocusRect(const CanvasRect& r) override;
  void InvertRect(const CanvasRect& r) override;
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
};

}  // namespace lark
