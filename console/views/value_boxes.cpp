#include "console/views/value_boxes.h"

#include <string>

#include "console/views/drawing_kit.h"

namespace lark {
namespace {

constexpr int kColumnGap = 5;  // between label, value and unit columns
constexpr int kUnitWidth = 20;

// The box with its fill-coloured top (so a box stacked on another opens
// into it) and the three-line shadow below and right, then the label.
void DrawBoxAndLabel(Canvas& c, const ValueBoxFonts& fonts, std::string_view label, int l, int t,
                     int r, int b, int labelWidth) {
  DrawFilledRect(c, l, t, r, b, kValueBoxFill, kValueBoxFrame);
  DrawLine(c, l + 1, t - 1, r - 1, t - 1, kValueBoxFill, 1);
  DrawLine(c, l + 1, t, r - 1, t, kValueBoxFill, 1);
  DrawLine(c, l, b, r + 1, b, kValueBoxShadow[0], 1);
  DrawLine(c, l + 1, b + 1, r + 1, b + 1, kValueBoxShadow[1], 1);
  DrawLine(c, l + 2, b + 2, r + 2, b + 2, kValueBoxShadow[2], 1);
  DrawLine(c, r, t, r, b, kValueBoxShadow[0], 1);
  DrawLine(c, r + 1, t + 1, r + 1, b + 1, kValueBoxShadow[1], 1);
  DrawLine(c, r + 2, t + 2, r + 2, b + 2, kValueBoxShadow[2], 1);
  c.SelectFont(fonts.label);
  c.DrawText(label, {l + 5, t, l + 5 + labelWidth, b}, kDtLeft);
}

}  // namespace

void DrawCaptionBox(Canvas& c, const ValueBoxFonts& fonts, std::string_view text, int left, int top,
                    int right, int bottom, ColorRef textColour) {
  const int h = fonts.lineHeight;
  const int w = c.TextWidth(text);
  DrawSysSolidRect(c, left, top, right, bottom, kColorWindow);
  c.SelectPen(PenStyle::kSolid, 1, kValueBoxFrame);
  c.SelectBrush(kCaptionBandFill);
  c.Polygon({{left + 2, top + h},
             {left + 2, top + 1},
             {left + 3, top},
             {left + w + 13, top},
             {left + w + 13 + h, top + h},
             {right - 2, top + h},
             {right - 1, top + h + 1},
             {right - 1, top + 2 * h},
             {left, top + 2 * h},
             {left, top + h + 1},
             {left + 1, top + h}});
  c.SetTextColor(textColour);
  c.DrawText(text, {left + 10, top + 1, right, bottom}, kDtLeft);
}

bool DrawValueBox(Canvas& c, const ValueBoxFonts& fonts, std::string_view label, int32_t value1,
                  int32_t value2, int32_t value3, int left, int top, int right, int bottom,
                  int labelWidth, int valueWidth, bool tenths, std::string_view unit,
                  ColorRef textColour) {
  if (value1 < 0) return false;
  DrawBoxAndLabel(c, fonts, label, left, top, right, bottom, labelWidth);
  c.SelectFont(fonts.value);
  if (textColour != 0) c.SetTextColor(textColour);
  int x = left + 5 + labelWidth;  // right edge of the last column drawn
  for (int32_t v : {value1, value2, value3}) {
    if (v < 0) continue;
    const std::string text =
        tenths ? std::to_string(v / 10) + "." + std::to_string(v % 10) : std::to_string(v);
    c.DrawText(text, {x + kColumnGap, top, x + kColumnGap + valueWidth, bottom}, kDtCenter);
    x += kColumnGap + valueWidth;
  }
  c.DrawText(unit, {x + kColumnGap, top, x + kColumnGap + kUnitWidth, bottom}, kDtLeft);
  return true;
}

bool DrawValueText(Canvas& c, const ValueBoxFonts& fonts, std::string_view label, const char* text,
                   ColorRef textColour, int left, int top, int right, int bottom, int labelWidth,
                   uint32_t format) {
  if (text == nullptr) return false;
  DrawBoxAndLabel(c, fonts, label, left, top, right, bottom, labelWidth);
  c.SelectFont(fonts.value);
  if (textColour != 0) c.SetTextColor(textColour);
  c.DrawText(text, {left + labelWidth + 10, top, right - 3, bottom}, format);
  return true;
}

}  // namespace lark
