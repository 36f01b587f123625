#include "console/views/image_canvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "console/views/diagram_pictures.h"
#include "console/views/map_icons.h"

namespace lark {
namespace {

constexpr int kDotOn = 3;  // pixels of a dot pen, then as many left out
constexpr double kPi = 3.14159265358979323846;

QString ToQString(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

// A painter with the surface's rules: no antialiasing of figures or text.
void Prepare(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setRenderHint(QPainter::TextAntialiasing, false);
}

QFont Aliased(QFont f) {
  f.setStyleStrategy(QFont::NoAntialias);
  return f;
}

Qt::Alignment ToAlignment(uint32_t format) {
  Qt::Alignment a = Qt::AlignLeft;
  if (format & kDtCenter) a = Qt::AlignHCenter;
  if (format & kDtRight) a = Qt::AlignRight;
  if ((format & kDtSingleLine) && (format & kDtVCenter)) return a | Qt::AlignVCenter;
  return a | Qt::AlignTop;
}

}  // namespace

QColor ToQColor(ColorRef c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }
ColorRef FromQColor(const QColor& c) { return Rgb(c.red(), c.green(), c.blue()); }

ImageCanvas::ImageCanvas(int w, int h)
    : own_(std::max(w, 1), std::max(h, 1), QImage::Format_RGB32), target_(&own_) {
  own_.fill(Qt::white);
}

ImageCanvas::ImageCanvas(QImage* target) : target_(target) {}

void ImageCanvas::Plot(int x, int y, ColorRef c) {
  if (x < 0 || y < 0 || x >= target_->width() || y >= target_->height()) return;
  target_->setPixel(x, y, ToQColor(c).rgb());
}

void ImageCanvas::DrawFocusRect(const CanvasRect& r) {
  if (r.right <= r.left || r.bottom <= r.top) return;
  auto invert = [this](int x, int y) {
    if (x < 0 || y < 0 || x >= target_->width() || y >= target_->height()) return;
    target_->setPixel(x, y, target_->pixel(x, y) ^ 0x00ffffffu);
  };
  // Every other pixel along the frame; corners once.
  for (int x = r.left; x < r.right; x += 2) {
    invert(x, r.top);
    if (r.bottom - 1 > r.top) invert(x, r.bottom - 1);
  }
  for (int y = r.top + 2; y < r.bottom - 1; y += 2) {
    invert(r.left, y);
    if (r.right - 1 > r.left) invert(r.right - 1, y);
  }
}

void ImageCanvas::InvertRect(const CanvasRect& r) {
  const int left = std::max(r.left, 0), top = std::max(r.top, 0);
  const int right = std::min(r.right, target_->width()), bottom = std::min(r.bottom, target_->height());
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) target_->setPixel(x, y, target_->pixel(x, y) ^ 0x00ffffffu);
}

ColorRef ImageCanvas::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= target_->width() || y >= target_->height()) return 0;
  return FromQColor(QColor(target_->pixel(x, y)));
}

void ImageCanvas::Rectangle(int left, int top, int right, int bottom) {
  if (right <= left || bottom <= top) return;
  QPainter p(target_);
  Prepare(p);
  if (penStyle_ == PenStyle::kNull) {
    // Without a pen the fill stops one pixel short on the right and bottom.
    if (!brushNull_ && right - left > 1 && bottom - top > 1)
      p.fillRect(QRect(left, top, right - left - 1, bottom - top - 1), ToQColor(brushColour_));
    return;
  }
  const int w = std::min(penWidth_, std::min(right - left, bottom - top));
  if (!brushNull_ && right - left > 2 * w && bottom - top > 2 * w)
    p.fillRect(QRect(left + w, top + w, right - left - 2 * w, bottom - top - 2 * w),
               ToQColor(brushColour_));
  const QColor pc = ToQColor(penColour_);
  p.fillRect(QRect(left, top, right - left, w), pc);
  p.fillRect(QRect(left, bottom - w, right - left, w), pc);
  p.fillRect(QRect(left, top, w, bottom - top), pc);
  p.fillRect(QRect(right - w, top, w, bottom - top), pc);
}

void ImageCanvas::RayAngles(const CanvasRect& r, CanvasPoint start, CanvasPoint end, int* from16,
                            int* span16) {
  const double cx = (r.left + r.right) / 2.0, cy = (r.top + r.bottom) / 2.0;
  auto angle = [&](CanvasPoint q) {
    double a = std::atan2(cy - q.y, q.x - cx) * 180.0 / kPi;
    return a < 0 ? a + 360.0 : a;
  };
  const double a0 = angle(start), a1 = angle(end);
  double span = a1 - a0;
  while (span <= 0) span += 360.0;  // one ray for both: the whole ellipse
  *from16 = static_cast<int>(std::lround(a0 * 16));
  *span16 = static_cast<int>(std::lround(span * 16));
}

void ImageCanvas::Pie(const CanvasRect& r, CanvasPoint start, CanvasPoint end) {
  if (r.width() < 2 || r.height() < 2) return;
  int from = 0, span = 0;
  RayAngles(r, start, end, &from, &span);
  QPainter p(target_);
  Prepare(p);
  p.setPen(penStyle_ == PenStyle::kNull ? QPen(Qt::NoPen) : QPen(ToQColor(penColour_), 0));
  p.setBrush(brushNull_ ? QBrush(Qt::NoBrush) : QBrush(ToQColor(brushColour_)));
  p.drawPie(QRect(r.left, r.top, r.width() - 1, r.height() - 1), from, span);
}

void ImageCanvas::Arc(const CanvasRect& r, CanvasPoint start, CanvasPoint end) {
  if (r.width() < 2 || r.height() < 2 || penStyle_ == PenStyle::kNull) return;
  int from = 0, span = 0;
  RayAngles(r, start, end, &from, &span);
  QPainter p(target_);
  Prepare(p);
  p.setPen(QPen(ToQColor(penColour_), penWidth_ > 1 ? penWidth_ : 0));
  p.drawArc(QRect(r.left, r.top, r.width() - 1, r.height() - 1), from, span);
}

void ImageCanvas::Polygon(const std::vector<CanvasPoint>& points) {
  if (points.size() < 2) return;
  QPolygon poly;
  for (const auto& q : points) poly << QPoint(q.x, q.y);
  QPainter p(target_);
  Prepare(p);
  p.setPen(penStyle_ == PenStyle::kNull ? QPen(Qt::NoPen) : QPen(ToQColor(penColour_), 0));
  p.setBrush(brushNull_ ? QBrush(Qt::NoBrush) : QBrush(ToQColor(brushColour_)));
  p.drawPolygon(poly);
}

void ImageCanvas::LineTo(int x, int y) {
  const CanvasPoint from = pos_;
  pos_ = {x, y};
  if (penStyle_ == PenStyle::kNull) return;
  if (penWidth_ > 1) {
    QPainter p(target_);
    Prepare(p);
    p.setPen(QPen(ToQColor(penColour_), penWidth_, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(from.x, from.y, x, y);
    return;
  }
  // Bresenham from the start point up to, not including, the end point.
  int x0 = from.x, y0 = from.y;
  const int dx = std::abs(x - x0), dy = -std::abs(y - y0);
  const int sx = x0 < x ? 1 : -1, sy = y0 < y ? 1 : -1;
  int err = dx + dy;
  for (int n = 0; !(x0 == x && y0 == y); ++n) {
    if (penStyle_ == PenStyle::kSolid || (n / kDotOn) % 2 == 0) Plot(x0, y0, penColour_);
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
}

void ImageCanvas::BitBlt(int x, int y, int w, int h, const Canvas& source, int sx, int sy) {
  const QImage* src = source.image();
  if (src == nullptr || w <= 0 || h <= 0) return;
  QPainter p(target_);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.drawImage(QPoint(x, y), *src, QRect(sx, sy, w, h));
}

void ImageCanvas::BitBltImage(int x, int y, const QImage& image, RasterOp op) {
  QPainter p(target_);
  p.setCompositionMode(op == RasterOp::kSrcAnd ? QPainter::RasterOp_SourceAndDestination
                                               : QPainter::CompositionMode_Source);
  p.drawImage(QPoint(x, y), image);
}

void ImageCanvas::DrawIcon(int x, int y, int id) {
  QPainter p(target_);
  p.drawImage(QPoint(x, y), IsDiagramIcon(id) ? DiagramIconImage(id) : MapIconImage(id));
}

void ImageCanvas::TextOut(int x, int y, std::string_view text) {
  const QFont f = Aliased(font_);
  const QFontMetrics fm(f);
  const QString s = ToQString(text);
  QPainter p(target_);
  Prepare(p);
  if (bkMode_ == BkMode::kOpaque)
    p.fillRect(QRect(x, y, fm.horizontalAdvance(s), fm.height()), ToQColor(bkColour_));
  p.setFont(f);
  p.setPen(ToQColor(textColour_));
  p.drawText(x, y + fm.ascent(), s);
}

void ImageCanvas::DrawText(std::string_view text, const CanvasRect& r, uint32_t format) {
  const QFont f = Aliased(font_);
  const QString s = ToQString(text);
  const QRect box(r.left, r.top, r.width(), r.height());
  const int flags = static_cast<int>(ToAlignment(format)) |
                    ((format & kDtSingleLine) ? Qt::TextSingleLine : Qt::TextWordWrap);
  QPainter p(target_);
  Prepare(p);
  p.setFont(f);
  if (!(format & kDtNoClip)) p.setClipRect(box);
  if (bkMode_ == BkMode::kOpaque) p.fillRect(p.boundingRect(box, flags, s), ToQColor(bkColour_));
  p.setPen(ToQColor(textColour_));
  p.drawText(box, flags, s);
}

int ImageCanvas::TextWidth(std::string_view text) const {
  return QFontMetrics(font_).horizontalAdvance(ToQString(text));
}

std::unique_ptr<Canvas> ImageCanvas::CreateCompatible(int w, int h) const {
  return std::make_unique<ImageCanvas>(w, h);
}

}  // namespace lark
