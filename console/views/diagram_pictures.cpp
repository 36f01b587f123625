#include "console/views/diagram_pictures.h"

#include <QPainter>
#include <map>

#include "console/views/image_canvas.h"

namespace lark {
namespace {

constexpr ColorRef kWhite = 0xffffff, kGreen = 0x00c000, kRed = 0x0000ff;
const QColor kInk(0x40, 0x40, 0x40);

enum class Part { kSource, kRectifier, kInverter, kStaticSwitch, kDcBus };

struct BitmapLook {
  int id;
  Part part;
  ColorRef colour;
};
constexpr BitmapLook kBitmaps[] = {
    {kBmpSource, Part::kSource, kWhite},
    {kBmpSourceGreen, Part::kSource, kGreen},
    {kBmpSourceRed, Part::kSource, kRed},
    {kBmpRectifier, Part::kRectifier, kWhite},
    {kBmpRectifierGreen, Part::kRectifier, kGreen},
    {kBmpRectifierRed, Part::kRectifier, kRed},
    {kBmpInverter, Part::kInverter, kWhite},
    {kBmpInverterGreen, Part::kInverter, kGreen},
    {kBmpInverterRed, Part::kInverter, kRed},
    {kBmpStaticSwitch, Part::kStaticSwitch, kWhite},
    {kBmpStaticSwitchGreen, Part::kStaticSwitch, kGreen},
    {kBmpDcBus, Part::kDcBus, kWhite},
    {kBmpDcBusGreen, Part::kDcBus, kGreen},
    {kBmpDcBusRed, Part::kDcBus, kRed},
};

struct IconLook {
  int id;
  ColorRef colour;
};
constexpr IconLook kIcons[] = {
    {kIconBattery, kGreen},     {kIconBatteryFault, kRed},    {kIconSwitchVClosed, kGreen},
    {kIconSwitchVOpen, kWhite}, {kIconSwitchHClosed, kGreen}, {kIconSwitchHOpen, kWhite},
};

// A wave for alternating current, two bars for direct current.
void Wave(QPainter& p, int x, int y) {
  p.drawLine(x, y + 2, x + 2, y);
  p.drawLine(x + 2, y, x + 4, y + 2);
  p.drawLine(x + 4, y + 2, x + 6, y + 4);
  p.drawLine(x + 6, y + 4, x + 8, y + 2);
}
void Bars(QPainter& p, int x, int y) {
  p.drawLine(x, y, x + 8, y);
  p.drawLine(x, y + 3, x + 8, y + 3);
}

QImage DrawBitmap26(const BitmapLook& s) {
  QImage img(kDiagramBitmapSize, kDiagramBitmapSize, QImage::Format_RGB32);
  img.fill(ToQColor(s.colour));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(kInk);
  p.drawRect(0, 0, kDiagramBitmapSize - 1, kDiagramBitmapSize - 1);
  // Marks in the corners keep the centre (9..16) solid.
  switch (s.part) {
    case Part::kSource:
      Wave(p, 3, 3);
      Wave(p, 14, 19);
      break;
    case Part::kRectifier:
      Wave(p, 3, 3);
      Bars(p, 15, 19);
      p.drawLine(2, 23, 23, 2);
      break;
    case Part::kInverter:
      Bars(p, 3, 3);
      Wave(p, 14, 19);
      p.drawLine(2, 23, 23, 2);
      break;
    case Part::kStaticSwitch:
      p.drawLine(2, 20, 8, 20);
      p.drawLine(17, 20, 23, 20);
      p.drawLine(8, 20, 17, 4);
      break;
    case Part::kDcBus:
      Bars(p, 3, 3);
      Bars(p, 15, 19);
      break;
  }
  p.end();
  img.setText("resource", QString::number(s.id));
  return img;
}

QImage DrawIcon32(const IconLook& s) {
  QImage img(32, 32, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, false);
  const bool battery = s.id == kIconBattery || s.id == kIconBatteryFault;
  const bool vertical = s.id == kIconSwitchVClosed || s.id == kIconSwitchVOpen;
  if (battery) {
    p.fillRect(QRect(4, 8, 24, 20), kInk);  // the case
    p.fillRect(QRect(8, 5, 5, 3), kInk);    // terminals
    p.fillRect(QRect(19, 5, 5, 3), kInk);
  } else {
    p.fillRect(vertical ? QRect(10, 2, 12, 28) : QRect(2, 10, 28, 12), kInk);
  }
  const QRect body = battery    ? QRect(6, 10, 20, 16)
                     : vertical ? QRect(12, 4, 8, 24)
                                : QRect(4, 12, 24, 8);
  p.fillRect(body, ToQColor(s.colour));
  p.end();
  img.setText("resource", QString::number(s.id));
  return img;
}

template <class Look, size_t N>
const Look* Find(const Look (&table)[N], int id) {
  for (const Look& s : table)
    if (s.id == id) return &s;
  return nullptr;
}

}  // namespace

ColorRef DiagramPictureColour(int id) {
  if (const BitmapLook* b = Find(kBitmaps, id)) return b->colour;
  if (const IconLook* i = Find(kIcons, id)) return i->colour;
  return 0;
}

const QImage& DiagramBitmap(int id) {
  static std::map<int, QImage> drawn;  // window thread only
  auto it = drawn.find(id);
  if (it != drawn.end()) return it->second;
  const BitmapLook* s = Find(kBitmaps, id);
  return drawn.emplace(id, s != nullptr ? DrawBitmap26(*s) : QImage()).first->second;
}

bool IsDiagramIcon(int id) { return Find(kIcons, id) != nullptr; }

const QImage& DiagramIconImage(int id) {
  static std::map<int, QImage> drawn;  // window thread only
  auto it = drawn.find(id);
  if (it != drawn.end()) return it->second;
  const IconLook* s = Find(kIcons, id);
  return drawn.emplace(id, s != nullptr ? DrawIcon32(*s) : QImage()).first->second;
}

}  // namespace lark
