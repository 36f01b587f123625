#include "console/views/recording_canvas.h"

#include <QFontMetrics>
#include <cstdio>

namespace lark {
namespace {

std::string Hex6(ColorRef c) {
  char b[8];
  std::snprintf(b, sizeof b, "%06x", c & 0xffffffu);
  return b;
}

std::string Rect(const CanvasRect& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

std::string Point(CanvasPoint p) { return std::to_string(p.x) + "," + std::to_string(p.y); }

}  // namespace

std::string RecordingCanvas::PenText() const {
  switch (penStyle_) {
    case PenStyle::kNull:
      return "pen null";
    case PenStyle::kDot:
      return "pen dot " + std::to_string(penWidth_) + " " + Hex6(penColour_);
    case PenStyle::kSolid:
      break;
  }
  return "pen solid " + std::to_string(penWidth_) + " " + Hex6(penColour_);
}

std::string RecordingCanvas::BrushText() const {
  return brushNull_ ? "brush null" : "brush " + Hex6(brushColour_);
}

std::string RecordingCanvas::TextState() const {
  return "colour " + Hex6(textColour_) +
         (bkMode_ == BkMode::kTransparent ? " transparent" : " opaque " + Hex6(bkColour_));
}

void RecordingCanvas::Rectangle(int left, int top, int right, int bottom) {
  ops_.push_back("Rectangle " + Rect({left, top, right, bottom}) + " " + PenText() + " " +
                 BrushText());
}

void RecordingCanvas::Pie(const CanvasRect& r, CanvasPoint start, CanvasPoint end) {
  ops_.push_back("Pie " + Rect(r) + " " + Point(start) + " " + Point(end) + " " + PenText() +
                 " " + BrushText());
}

void RecordingCanvas::Arc(const CanvasRect& r, CanvasPoint start, CanvasPoint end) {
  ops_.push_back("Arc " + Rect(r) + " " + Point(start) + " " + Point(end) + " " + PenText());
}

void RecordingCanvas::Polygon(const std::vector<CanvasPoint>& points) {
  std::string s = "Polygon";
  for (const auto& p : points) s += " " + Point(p);
  ops_.push_back(s + " " + PenText() + " " + BrushText());
}

void RecordingCanvas::DrawFocusRect(const CanvasRect& r) {
  ops_.push_back("FocusRect " + Rect(r));
}

void RecordingCanvas::InvertRect(const CanvasRect& r) { ops_.push_back("InvertRect " + Rect(r)); }

void RecordingCanvas::LineTo(int x, int y) {
  ops_.push_back("Line " + Point(pos_) + " " + Point({x, y}) + " " + PenText());
  pos_ = {x, y};
}

void RecordingCanvas::BitBlt(int x, int y, int w, int h, const Canvas&, int sx, int sy) {
  ops_.push_back("BitBlt " + Point({x, y}) + " " + std::to_string(w) + "x" + std::to_string(h) +
                 " from " + Point({sx, sy}));
}

void RecordingCanvas::BitBltImage(int x, int y, const QImage& image, RasterOp op) {
  ops_.push_back("BitBlt " + Point({x, y}) + " " + std::to_string(image.width()) + "x" +
                 std::to_string(image.height()) + " image" +
                 (image.text("resource").isEmpty() ? "" : " " + image.text("resource").toStdString()) +
                 (op == RasterOp::kSrcAnd ? " and" : ""));
}

void RecordingCanvas::TextOut(int x, int y, std::string_view text) {
  ops_.push_back("TextOut " + Point({x, y}) + " \"" + std::string(text) + "\" " + TextState());
  const QFontMetrics m(font_);
  runs_.push_back({std::string(text), {x, y, x + TextWidth(text), y + m.height()}, false});
}

void RecordingCanvas::DrawText(std::string_view text, const CanvasRect& r, uint32_t format) {
  ops_.push_back("DrawText " + Rect(r) + " \"" + std::string(text) + "\" format " +
                 std::to_string(format) + " " + TextState());
  const QFontMetrics m(font_);
  const int w = TextWidth(text), h = m.height();
  int left = r.left;
  if (format & kDtCenter) left = r.left + (r.width() - w) / 2;
  else if (format & kDtRight) left = r.right - w;
  int top = r.top;
  if ((format & kDtVCenter) && (format & kDtSingleLine)) top = r.top + (r.height() - h) / 2;
  runs_.push_back({std::string(text), {left, top, left + w, top + h}, !(format & kDtNoClip) && w > r.width()});
}

void RecordingCanvas::DrawIcon(int x, int y, int id) {
  ops_.push_back("DrawIcon " + Point({x, y}) + " " + std::to_string(id));
}

int RecordingCanvas::TextWidth(std::string_view text) const {
  return QFontMetrics(font_).horizontalAdvance(
      QString::fromUtf8(text.data(), static_cast<int>(text.size())));
}

std::unique_ptr<Canvas> RecordingCanvas::CreateCompatible(int, int) const {
  return std::make_unique<RecordingCanvas>();
}

std::vector<std::string> RecordingCanvas::opsNamed(const std::string& name) const {
  std::vector<std::string> out;
  for (const auto& op : ops_)
    if (op.compare(0, name.size() + 1, name + " ") == 0) out.push_back(op);
  return out;
}

}  // namespace lark
