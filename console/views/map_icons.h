// The map's icons and bitmaps, drawn here rather than loaded: each under its
// resource number, a level icon with a solid centre of its own colour so a
// pixel probe tells the levels apart.
#pragma once
#include <QImage>

#include "console/views/canvas.h"

namespace lark {

// Icons by node and level.
enum MapIconId : int {
  kIconDeviceOff = 104,     // a device's blink-off form
  kIconGroup = 115,         // a group without alarm, and its blink-off form
  kIconDeviceSerious = 119,
  kIconGroupSerious = 120,
  kIconDeviceWarning = 269,
  kIconGroupWarning = 270,
  kIconDevice = 275,        // a device without alarm
};
// The Summary's event icons: an event not active, and active at each level
// (16 x 16, a solid centre in the level's default colour).
enum EventIconId : int {
  kIconEventSerious = 103,
  kIconEventOff = 118,
  kIconEventWarning = 267,
  kIconEventInformation = 268,
};
inline constexpr int kEventIconSize = 16;

// Bitmaps of the map window's grip and close button, plain and pressed.
enum MapBitmapId : int {
  kBitmapGrip = 131,
  kBitmapGripPressed = 132,
  kBitmapClose = 133,
  kBitmapClosePressed = 134,
};

// The map window's cursors: a device or a group being dragged, the pointer
// over something the button acts on, and the button held on an icon.
enum MapCursorId : int {
  kCursorArrow = 0,  // the system arrow
  kCursorDragDevice = 105,
  kCursorDragGroup = 106,
  kCursorHover = 117,
  kCursorHeld = 118,
};

inline constexpr int kMapIconSize = 32;  // the system icon size

// The centre colour of an icon (black for an unknown id).
ColorRef MapIconColour(int id);
// The 32 x 32 icon (ARGB, transparent corners), the 16 x 16 event icons
// opaque; an unknown id gives an empty frame.
QImage MapIconImage(int id);
// Cursor 105, 106, 117 or 118 (32 x 32, ARGB, hot spot at (1, 1)); other
// ids give a null image.
QImage MapCursorImage(int id);
// Bitmap 131 to 134 (16 x 16); a pressed one is sunken, its mark one pixel
// down and right.
QImage MapBitmapImage(int id);

}  // namespace lark
