// The labelled rows of the device panels: a caption shaped like the tab of a
// file folder, a box with a label, up to three numbers and a unit, and a box
// with a label and a free text. Boxes stacked top on bottom merge into one
// column with one shadow down the right. No state is kept.
#pragma once
#include <QFont>
#include <cstdint>
#include <string_view>

#include "console/views/canvas.h"

namespace lark {

// The panel fonts and the line height the rows are laid out with.
struct ValueBoxFonts {
  QFont label;         // labels ("Arial" 11 px bold)
  QFont value;         // values, units and texts ("Arial" 11 px)
  int lineHeight = 0;  // height + leading of `value`: the caption band's height
};

inline constexpr ColorRef kCaptionBandFill = Rgb(255, 249, 131);
inline constexpr ColorRef kValueBoxFrame = Rgb(171, 144, 57);
inline constexpr ColorRef kValueBoxFill = Rgb(255, 247, 145);
inline constexpr ColorRef kValueBoxShadow[3] = {Rgb(145, 155, 156), Rgb(208, 206, 191),
                                                Rgb(227, 224, 208)};

// The unit of temperature rows ("℃", UTF-8 like every text of the console).
inline constexpr const char* kDegreeCelsius = "\u2103";

// Clears the rectangle with the window colour and draws the caption tab and
// band (2 line heights high, whatever the bottom) with `text` in the
// selected font. Leaves `textColour` set.
void DrawCaptionBox(Canvas& c, const ValueBoxFonts& fonts, std::string_view text, int left, int top,
                    int right, int bottom, ColorRef textColour);

// One row: `label` in the colour the canvas holds, then each value that is
// not negative in its own column (a skipped value takes no column), "%d.%d"
// of tenths when `tenths`, then `unit`. A negative value 1 draws nothing and
// returns false. A `textColour` of 0 keeps the canvas's colour.
bool DrawValueBox(Canvas& c, const ValueBoxFonts& fonts, std::string_view label, int32_t value1,
                  int32_t value2, int32_t value3, int left, int top, int right, int bottom,
                  int labelWidth, int valueWidth, bool tenths, std::string_view unit,
                  ColorRef textColour);

// One row with a label and `text` drawn with `format`; a null `text` draws
// nothing and returns false, an empty one draws box and label.
bool DrawValueText(Canvas& c, const ValueBoxFonts& fonts, std::string_view label, const char* text,
                   ColorRef textColour, int left, int top, int right, int bottom, int labelWidth,
                   uint32_t format);

}  // namespace lark
