#include "console/views/canvas.h"

namespace lark {

ColorRef SysColorValue(int index) {
  switch (index) {
    case kColorWindow:
      return Rgb(255, 255, 255);
    case kColorWindowText:
      return Rgb(0, 0, 0);
    case kColorBtnFace:
      return Rgb(192, 192, 192);
    case kColorBtnShadow:
      return Rgb(128, 128, 128);
    case kColorBtnHighlight:
      return Rgb(255, 255, 255);
    case kColor3dDkShadow:
      return Rgb(64, 64, 64);
    default:
      return 0;
  }
}

QFont DefaultCanvasFont() {
  QFont f("Arial");
  f.setPixelSize(11);
  return f;
}

}  // namespace lark
