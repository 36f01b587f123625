// The Canvas that draws nothing and records each drawing operation as one
// line of text with the objects in use, so tests compare what a painter
// asked for: "Rectangle 0,0,11,11 pen solid 1 0000ff brush 00ff00". A
// picture with the text "resource" is recorded with that number.
#pragma once
#include <string>
#include <vector>

#include "console/views/canvas.h"

namespace lark {

// Where a text landed: the box its glyphs take in the selected font, and
// whether it is wider than the rectangle DrawText was given (cut off there).
struct TextRun {
  std::string text;
  CanvasRect box;
  bool clipped = false;
};

class RecordingCanvas final : public SelectionCanvas {
 public:
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

  const std::vector<std::string>& ops() const { return ops_; }
  const std::vector<TextRun>& textRuns() const { return runs_; }
  // The recorded lines that start with `name`.
  std::vector<std::string> opsNamed(const std::string& name) const;
  void clear() {
    ops_.clear();
    runs_.clear();
  }

 private:
  std::string PenText() const;
  std::string BrushText() const;
  std::string TextState() const;
  std::vector<std::string> ops_;
  std::vector<TextRun> runs_;
};

}  // namespace lark
