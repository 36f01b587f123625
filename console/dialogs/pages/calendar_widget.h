// The calendar control of the Schedule page ("JCalendarClass", control 151):
// the month painter on a persistent picture. The page sets the month and
// the rows to mark and repaints; a click or an arrow key moves the
// highlighted day by inverting two cells. Tab and Shift+Tab move the focus
// on; Escape does nothing (the page is no dialog to end).
#pragma once
#include <functional>
#include <optional>

#include "common/schedule_calc.h"
#include "console/views/calendar_painter.h"
#include "console/views/surface_widget.h"

namespace lark {

inline constexpr int kCalendarControl = 151;

class CalendarWidget : public SurfaceWidget {
 public:
  CalendarWidget(const CalendarFonts& fonts, QWidget* parent);

  CalendarState& state() { return state_; }
  // The rows whose days are marked; none: no device, an empty control.
  void SetRows(std::optional<ScheduleRows> rows) { rows_ = std::move(rows); }
  // The full paint into the picture.
  void Repaint();

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  CalendarFonts fonts_;
  CalendarState state_;
  std::optional<ScheduleRows> rows_;
};

}  // namespace lark
