// The labelled rows of the device panels: a caption shaped like a folder's
// tab, a box with a label, up to three numbers and a unit, and a box with a
// label and a free text. Boxes stacked top to bottom merge into one column
// with one shadow. They keep no state; the fonts and the line height are the
// caller's (the panel label and value fonts, L = ValueLineHeight).
#pragma once
#include <QFont>
#include <cstdint>
#include <string_view>

#include "console/views/canvas.h"

namespace lark {

inline constexpr ColorRef kCaptionFill = Rgb(255, 249, 131);
inline constexpr ColorRef kBoxFrame = Rgb(171, 144, 57);
inline constexpr ColorRef kBoxFill = Rgb(255, 247, 145);
inline constexpr ColorRef kBoxShadow1 = Rgb(145, 155, 156);  // next to the box
inline constexpr ColorRef kBoxShadow2 = Rgb(208, 206, 191);
inline constexpr ColorRef kBoxShadow3 = Rgb(227, 224, 208);

// The unit of temperature rows ("℃", UTF-8 like every text of the console).
inline constexpr const char* kDegreeCelsius = "\u2103";

struct ValueBoxFonts {
  const QFont& label;  // PanelLabelFont
  const QFont& value;  // PanelValueFont
  int lineHeight;      // L: sets the caption band's height
};

// A caption tab on a band 2 L high across (left..right); the caption in the
// canvas's current font and `textColour` (left set afterwards).
void DrawCaptionBox(Canvas& c, std::string_view caption, int left, int top, int right, int bottom,
                    ColorRef textColour, int lineHeight);

// One row: the label, the values that are not negative (tenths shown as
// "%d.%d" with `tenths`), then the unit. Value 1 negative draws nothing and
// returns false. `colour` 0 keeps the canvas's text colour for the values.
bool DrawValueBox(Canvas& c, const ValueBoxFonts& f, std::string_view label, int32_t value1,
                  int32_t value2, int32_t value3, int left, int top, int right, int bottom,
                  int labelWidth, int valueWidth, bool tenths, std::string_view unit,
                  ColorRef colour);

// One row with a free text; a null `text` draws nothing and returns false,
// an empty one draws the box and its label.
bool DrawValueText(Canvas& c, const ValueBoxFonts& f, std::string_view label, const char* text,
                   ColorRef colour, int left, int top, int right, int bottom, int labelWidth,
                   uint32_t format);

}  // namespace lark
