// The Diagram tab's pictures, drawn here rather than loaded: 26 x 26
// bitmaps of the mimic's parts and 32 x 32 icons of switches and the
// battery. Each has a solid centre of its colour (white idle, green working
// or powered, red faulty or open) so a pixel probe tells them apart. Each is
// drawn once and kept; the image carries its number as the text "resource".
#pragma once
#include <QImage>

#include "console/views/canvas.h"

namespace lark {

enum DiagramBitmapId : int {
  kBmpSource = 167,     // AC source, white
  kBmpRectifier = 168,  // white
  kBmpSourceRed = 169,
  kBmpInverterRed = 170,
  kBmpInverter = 171,  // white
  kBmpRectifierRed = 220,
  kBmpStaticSwitch = 221,  // white
  kBmpStaticSwitchGreen = 222,
  kBmpInverterGreen = 223,
  kBmpRectifierGreen = 224,
  kBmpSourceGreen = 225,
  kBmpDcBus = 226,  // white
  kBmpDcBusGreen = 227,
  kBmpDcBusRed = 228,
};
enum DiagramIconId : int {
  kIconBattery = 156,
  kIconBatteryFault = 157,
  kIconSwitchVClosed = 263,
  kIconSwitchVOpen = 264,
  kIconSwitchHClosed = 265,
  kIconSwitchHOpen = 266,
};
inline constexpr int kDiagramBitmapSize = 26;

// The centre colour of a bitmap or icon; black for an unknown id.
ColorRef DiagramPictureColour(int id);
// Bitmap `id` (26 x 26); a null image for an unknown id.
const QImage& DiagramBitmap(int id);
bool IsDiagramIcon(int id);
// Icon `id` (32 x 32, ARGB, transparent corners); a null image for an unknown id.
const QImage& DiagramIconImage(int id);

}  // namespace lark
