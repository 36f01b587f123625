#include "console/diagram/diagram_rows.h"

#include "console/views/canvas.h"
#include "console/views/drawing_kit.h"
#include "console/views/value_boxes.h"

namespace lark {

PowerRow ApplyPowerRule(int32_t a, int32_t b, int32_t c) {
  PowerRow r{{a, b, c}, false, false};
  for (int32_t v : r.v)
    if (v >= 1000) r.big = true;
  if (!r.big) return r;
  r.tenths = true;
  for (int32_t& v : r.v)
    if (v >= 0) v /= 100;
  return r;
}

void DrawCentredCaption(Canvas& c, const DiagramEnv& env, std::string_view text, int left, int top,
                        int right) {
  c.SelectFont(env.label);
  c.SetTextColor(kPanelTextColour);
  c.DrawText(text, {left, top, right, top + env.panelLineHeight}, kDtCenter | kDtSingleLine);
}

RowCursor::RowCursor(Canvas& c, const DiagramEnv& env, int left, int top, int right, int gap,
                     int labelWidth, int valueWidth)
    : c_(c),
      env_(env),
      left_(left),
      top_(top),
      right_(right),
      bottom_(top + env.lineHeight() + gap),
      gap_(gap),
      labelWidth_(labelWidth),
      valueWidth_(valueWidth) {}

void RowCursor::Advance() {
  top_ = bottom_;
  bottom_ = top_ + env_.lineHeight() + gap_;
}

void RowCursor::Caption(std::string_view text) {
  c_.SelectFont(env_.label);
  DrawCaptionBox(c_, text, left_, top_, right_, bottom_ + gap_, kDiagramCaption, env_.lineHeight());
  Advance();
}

void RowCursor::Values(std::string_view label, int32_t a, int32_t b, int32_t c, RowFormat format,
                       std::string_view unit, ColorRef colour) {
  c_.SetTextColor(kPanelTextColour);
  if (DrawValueBox(c_, env_.boxes(), label, a, b, c, left_, top_, right_, bottom_, labelWidth_,
                   valueWidth_, format == RowFormat::kTenths, unit, colour))
    Advance();
}

void RowCursor::Power(std::string_view label, int32_t a, int32_t b, int32_t c,
                      std::string_view small, std::string_view big) {
  const PowerRow p = ApplyPowerRule(a, b, c);
  Values(label, p.v[0], p.v[1], p.v[2], p.tenths ? RowFormat::kTenths : RowFormat::kWhole,
         p.big ? big : small);
}

void RowCursor::Text(std::string_view label, const char* text, ColorRef colour, uint32_t format) {
  c_.SetTextColor(kPanelTextColour);
  if (DrawValueText(c_, env_.boxes(), label, text, colour, left_, top_, right_, bottom_, labelWidth_,
                    format))
    Advance();
}

void RowCursor::Empty() {
  DrawSysSolidRect(c_, left_, top_ + 5, right_ + 5, bottom_, kColorWindow);
  Advance();
}

}  // namespace lark
