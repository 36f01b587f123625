// The running row of a Diagram column: captions, value rows, text rows and
// empty rows, each one row (ValueLineHeight + gap) high. A value or text row
// that draws nothing leaves its place to the next one.
#pragma once
#include <cstdint>
#include <string_view>

#include "console/diagram/diagram_env.h"

namespace lark {

class Canvas;

enum class RowFormat : uint8_t { kTenths, kWhole };

// Up to three phase values shown by the power rule: when any known one is
// 1000 or more the known ones are divided by 100 and shown in tenths of the
// big unit, else whole in the small one. An unknown phase stays unknown.
struct PowerRow {
  int32_t v[3];
  bool tenths;
  bool big;
};
PowerRow ApplyPowerRule(int32_t a, int32_t b, int32_t c);

// A picture's caption: one line in the label font and the tab's text colour,
// centred over `left`..`right`, one panel line high.
void DrawCentredCaption(Canvas& c, const DiagramEnv& env, std::string_view text, int left, int top,
                        int right);

class RowCursor {
 public:
  RowCursor(Canvas& c, const DiagramEnv& env, int left, int top, int right, int gap, int labelWidth,
            int valueWidth);

  void Caption(std::string_view text);
  // `colour` 0 keeps the row colour for the values.
  void Values(std::string_view label, int32_t a, int32_t b, int32_t c, RowFormat format,
              std::string_view unit, ColorRef colour = 0);
  // Power rows: `small` and `big` units ("W"/"KW", "VA"/"KVA").
  void Power(std::string_view label, int32_t a, int32_t b, int32_t c, std::string_view small,
             std::string_view big);
  void Text(std::string_view label, const char* text, ColorRef colour, uint32_t format);
  void Empty();

  int left() const { return left_; }
  int top() const { return top_; }
  int bottom() const { return bottom_; }

 private:
  void Advance();
  Canvas& c_;
  const DiagramEnv& env_;
  int left_, top_, right_, bottom_;
  int gap_, labelWidth_, valueWidth_;
};

}  // namespace lark
