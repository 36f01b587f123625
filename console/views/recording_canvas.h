// The Canvas that draws nothing and records each drawing operation as one
// line of text with the objects in use, so tests compare what a painter
// asked for: "Rectangle 0,0,11,11 pen solid 1 0000ff brush 00ff00".
#pragma once
#include <string>
#include <vector>

#include "console/views/canvas.h"

namespace lark {

class RecordingCanvas final : public Canvas {
 public:
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

  const std::vector<std::string>& ops() const { return ops_; }
  // The recorded lines that start with `name`.
  std::vector<std::string> opsNamed(const std::string& name) const;
  void clear() { ops_.clear(); }

 private:
  std::string PenText() const;
  std::string BrushText() const;
  std::string TextState() const;
  std::vector<std::string> ops_;
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
