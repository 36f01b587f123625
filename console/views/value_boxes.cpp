#include "console/views/value_boxes.h"

#include <algorithm>
#include <string>

#include "console/views/drawing_kit.h"

namespace lark {
namespace {

// The box, its top opened (the fill runs over the frame but for the
// corners, so a box under another merges with it) and its shadow, then the
// label.
void DrawBoxAndLabel(Canvas& c, const ValueBoxFonts& f, std::string_view label, int L, int T, int R,
                     int B, int labelWidth) {
  DrawFilledRect(c, L, T, R, B, kBoxFill, kBoxFrame);
  DrawLine(c, L + 1, T - 1, R - 1, T - 1, kBoxFill, 1);
  DrawLine(c, L + 1, T, R - 1, T, kBoxFill, 1);
  DrawLine(c, L, B, R + 1, B, kBoxShadow1, 1);
  DrawLine(c, L + 1, B + 1, R + 1, B + 1, kBoxShadow2, 1);
  DrawLine(c, L + 2, B + 2, R + 2, B + 2, kBoxShadow3, 1);
  DrawLine(c, R, T, R, B, kBoxShadow1, 1);
  DrawLine(c, R + 1, T + 1, R + 1, B + 1, kBoxShadow2, 1);
  DrawLine(c, R + 2, T + 2, R + 2, B + 2, kBoxShadow3, 1);
  c.SelectFont(f.label);
  c.DrawText(label, {L + 5, T, L + 5 + labelWidth, B}, kDtLeft | kDtSingleLine);
}

std::string ValueText(int32_t v, bool tenths) {
  if (!tenths) return std::to_string(v);
  return std::to_string(v / 10) + "." + std::to_string(v % 10);
}

}  // namespace

void DrawCaptionBox(Canvas& c, std::string_view caption, int L, int T, int R, int B,
                    ColorRef textColour, int H) {
  DrawSysSolidRect(c, L, T, R, B, kColorWindow);
  const int w = c.TextWidth(caption);
  c.SelectPen(PenStyle::kSolid, 1, kBoxFrame);
  c.SelectBrush(kCaptionFill);
  c.Polygon({{L + 2, T + H},
             {L + 2, T + 1},
             {L + 3, T},
             {L + w + 13, T},
             {L + w + 13 + H, T + H},
             {R - 2, T + H},
             {R - 1, T + H + 1},
             {R - 1, T + 2 * H},
             {L, T + 2 * H},
             {L, T + H + 1},
             {L + 1, T + H}});
  c.SetTextColor(textColour);
  c.DrawText(caption, {L + 10, T + 1, R, B}, kDtLeft | kDtSingleLine);
}

bool DrawValueBox(Canvas& c, const ValueBoxFonts& f, std::string_view label, int32_t value1,
                  int32_t value2, int32_t value3, int L, int T, int R, int B, int labelWidth,
                  int valueWidth, bool tenths, std::string_view unit, ColorRef colour) {
  if (value1 < 0) return false;
  DrawBoxAndLabel(c, f, label, L, T, R, B, labelWidth);
  c.SelectFont(f.value);
  if (colour != 0) c.SetTextColor(colour);
  int right = L + 5 + labelWidth;  // the label column's right edge
  for (int32_t v : {value1, value2, value3}) {
    if (v < 0) continue;
    const int left = right + 5;
    right = left + valueWidth;
    c.DrawText(ValueText(v, tenths), {left, T, right, B}, kDtCenter | kDtSingleLine);
  }
  // The unit's cell is 20 pixels, or as wide as a longer unit ("KVA").
  c.DrawText(unit, {right + 5, T, right + 5 + std::max(20, c.TextWidth(unit)), B}, kDtLeft | kDtSingleLine);
  return true;
}

bool DrawValueText(Canvas& c, const ValueBoxFonts& f, std::string_view label, const char* text,
                   ColorRef colour, int L, int T, int R, int B, int labelWidth, uint32_t format) {
  if (text == nullptr) return false;
  DrawBoxAndLabel(c, f, label, L, T, R, B, labelWidth);
  c.SelectFont(f.value);
  if (colour != 0) c.SetTextColor(colour);
  c.DrawText(text, {L + labelWidth + 10, T, R - 3, B}, format | kDtSingleLine);
  return true;
}

}  // namespace lark
