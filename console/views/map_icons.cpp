#include "console/views/map_icons.h"

#include <QPainter>

#include "console/views/drawing_kit.h"
#include "console/views/image_canvas.h"
#include "core/device_node.h"

namespace lark {

ColorRef MapIconColour(int id) {
  switch (id) {
    case kIconDeviceOff:
      return Rgb(0xc0, 0xc0, 0xc0);
    case kIconGroup:
      return Rgb(0x00, 0x80, 0x80);
    case kIconDeviceSerious:
    case kIconGroupSerious:
      return Rgb(0xff, 0x00, 0x00);
    case kIconDeviceWarning:
    case kIconGroupWarning:
      return Rgb(0xff, 0xc0, 0x00);
    case kIconDevice:
      return Rgb(0x00, 0xc0, 0x00);
    case kIconEventSerious:
      return kDefaultLevelColours[kAlarmSerious];
    case kIconEventWarning:
      return kDefaultLevelColours[kAlarmWarning];
    case kIconEventInformation:
      return kDefaultLevelColours[kAlarmNone];
    case kIconEventOff:
      return Rgb(0xa0, 0xa0, 0xa0);
    default:
      return 0;
  }
}

QImage MapIconImage(int id) {
  if (id == kIconEventSerious || id == kIconEventOff || id == kIconEventWarning ||
      id == kIconEventInformation) {
    // A small lamp: dark frame, the colour inside; opaque, so a repaint in
    // place leaves nothing of the previous state.
    QImage img(kEventIconSize, kEventIconSize, QImage::Format_ARGB32);
    img.fill(ToQColor(SysColorValue(kColorWindow)));
    QPainter p(&img);
    p.fillRect(QRect(2, 2, 12, 12), QColor(0x40, 0x40, 0x40));
    p.fillRect(QRect(4, 4, 8, 8), ToQColor(MapIconColour(id)));
    return img;
  }
  QImage img(kMapIconSize, kMapIconSize, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  const bool group = id == kIconGroup || id == kIconGroupSerious || id == kIconGroupWarning;
  // Groups are a folder-like box with a tab, devices an upright cabinet.
  const QRect body = group ? QRect(2, 8, 28, 20) : QRect(7, 2, 18, 28);
  p.fillRect(body, QColor(0x40, 0x40, 0x40));
  if (group) p.fillRect(QRect(2, 5, 12, 4), QColor(0x40, 0x40, 0x40));
  p.fillRect(body.adjusted(2, 2, -2, -2), ToQColor(MapIconColour(id)));
  return img;
}

QImage MapCursorImage(int id) {
  if (id != kCursorDragDevice && id != kCursorDragGroup && id != kCursorHover && id != kCursorHeld) return {};
  QImage img(kMapIconSize, kMapIconSize, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, false);
  // An arrow from the hot spot, white with a black edge, and a mark of what
  // the button does below it.
  const QPoint arrow[] = {{1, 1}, {1, 17}, {5, 13}, {8, 20}, {10, 19}, {7, 12}, {12, 12}};
  p.setPen(Qt::black);
  p.setBrush(Qt::white);
  p.drawPolygon(arrow, 7);
  const QColor mark(0x40, 0x40, 0x40);
  switch (id) {
    case kCursorDragDevice:  // a small cabinet
      p.fillRect(QRect(16, 14, 9, 14), mark);
      break;
    case kCursorDragGroup:  // a small folder
      p.fillRect(QRect(14, 16, 14, 10), mark);
      p.fillRect(QRect(14, 14, 6, 2), mark);
      break;
    case kCursorHover:  // an open frame
      p.setBrush(Qt::NoBrush);
      p.setPen(mark);
      p.drawRect(QRect(15, 15, 12, 12));
      break;
    default:  // held: a filled frame
      p.fillRect(QRect(15, 15, 13, 13), mark);
      break;
  }
  return img;
}

QImage MapBitmapImage(int id) {
  QImage img(16, 16, QImage::Format_RGB32);
  img.fill(ToQColor(SysColorValue(kColorBtnFace)));
  QPainter p(&img);
  const bool pressed = id == kBitmapGripPressed || id == kBitmapClosePressed;
  if (pressed) {
    p.setPen(ToQColor(SysColorValue(kColorBtnShadow)));
    p.drawLine(0, 0, 15, 0);
    p.drawLine(0, 0, 0, 15);
    p.translate(1, 1);
  }
  p.setPen(ToQColor(SysColorValue(kColorBtnShadow)));
  if (id == kBitmapGrip || id == kBitmapGripPressed) {
    for (int i = 4; i < 16; i += 4) p.drawLine(i, 15, 15, i);
  } else if (id == kBitmapClose || id == kBitmapClosePressed) {
    p.drawLine(4, 4, 11, 11);
    p.drawLine(11, 4, 4, 11);
  }
  return img;
}

}  // namespace lark
