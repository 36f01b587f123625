// The month calendar of the Schedule page: a header row of weekday labels
// and six week rows on a 7 x 7 grid of the control's client size, the day
// numbers, a small coloured square per action class due that day, and the
// selected day shown inverted. A click or an arrow key moves the selection
// by inverting only the two cells concerned.
//
// Grid: column c spans x from c*W/7 to (c+1)*W/7, week row r spans y from
// (r+1)*H/7 to (r+2)*H/7 (integer divisions of the products); cell p of the
// grid is column p mod 7 of week row p / 7, day 1 at the weekday of the
// month's first day (0 Sunday).
#pragma once
#include <QFont>

#include "common/schedule_calc.h"
#include "console/views/canvas.h"

namespace lark {

struct CalendarState {
  int selectedDay = 1;  // 1..31, the highlighted day
  int year = 2000, month = 1;
  bool focus = false;
  int firstCell = 0;   // grid position of day 1, set by the full paint
  int lastCell = -1;   // of the last day
};

struct CalendarFonts {
  QFont bold;    // the labels
  QFont normal;  // the day numbers
};

// The whole control, W x H. Without `rows` (no device) only the background.
// A selected day past the month's end becomes its last day.
void CalendarPaint(Canvas& c, int w, int h, CalendarState& s, const ScheduleRows* rows, const CalendarFonts& fonts);

// Moves the selection to the day under (x, y): true when it moved. Points
// off the month's days, and a control under 7 pixels either way, do nothing.
bool CalendarClick(Canvas& c, int w, int h, CalendarState& s, int x, int y);

enum class CalendarArrow { kLeft, kRight, kUp, kDown };
// One day left or right within the week row, one week up or down, never
// off the month's days.
bool CalendarKey(Canvas& c, int w, int h, CalendarState& s, CalendarArrow key);

// The square of class 1..4 in a cell (left, top, right), as drawn.
CanvasRect CalendarMarkRect(int actionClass, int left, int top, int right);
ColorRef CalendarMarkColour(int actionClass);

}  // namespace lark
