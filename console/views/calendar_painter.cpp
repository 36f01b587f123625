#include "console/views/calendar_painter.h"

#include <algorithm>
#include <string>

#include "console/views/drawing_kit.h"

namespace lark {

namespace {

constexpr const char* kDayLabels[7] = {"SUN", "MON", "TUE", "WED", "THR", "FRI", "SAT"};

CanvasRect CellRect(int w, int h, int cell) {
  const int col = cell % 7, row = cell / 7;
  return {col * w / 7 + 1, (row + 1) * h / 7 + 1, (col + 1) * w / 7, (row + 2) * h / 7};
}

void ClampDay(CalendarState& s) {
  const int n = ScheduleDaysInMonth(s.year, s.month);
  s.selectedDay = std::clamp(s.selectedDay, 1, std::max(n, 1));
}

}  // namespace

ColorRef CalendarMarkColour(int k) {
  switch (k) {
    case 1: return Rgb(255, 0, 0);
    case 2: return Rgb(0, 255, 0);
    case 3: return Rgb(255, 255, 0);
    default: return Rgb(0, 255, 255);
  }
}

CanvasRect CalendarMarkRect(int k, int left, int top, int right) {
  switch (k) {
    case 1: return {left + 1, top + 1, left + 6, top + 6};
    case 2: return {left + 1, top + 7, left + 6, top + 12};
    case 3: return {left + 1, top + 13, left + 6, top + 18};
    default: return {right - 7, top + 13, right - 2, top + 18};
  }
}

void CalendarPaint(Canvas& c, int w, int h, CalendarState& s, const ScheduleRows* rows, const CalendarFonts& fonts) {
  c.SelectFont(fonts.bold);
  c.SetBkMode(BkMode::kTransparent);
  DrawSysFilledRect(c, 0, 0, w, h, kColorWindow);
  if (rows == nullptr) return;
  for (int i = 1; i <= 7; ++i) {
    const int left = (i - 1) * w / 7, right = i * w / 7;
    if (i <= 6) DrawSysLine(c, right, 0, right, h, kColorWindowText, 1);
    DrawSysSolidRect(c, left + 1, 2, i == 7 ? w - 1 : right, h / 7, kColorBtnFace);
    c.SetTextColor(i == 1 ? Rgb(255, 0, 0) : i == 7 ? Rgb(0, 127, 0) : SysColorValue(kColorWindowText));
    c.DrawText(kDayLabels[i - 1], {left, 5, right, 20}, kDtCenter | kDtSingleLine);
  }
  c.SelectFont(fonts.normal);
  c.SetTextColor(SysColorValue(kColorWindowText));
  for (int i = 1; i <= 6; ++i) DrawSysLine(c, 0, i * h / 7, w, i * h / 7, kColorWindowText, 1);

  s.firstCell = WeekdayOf(s.year, s.month, 1);
  const int n = ScheduleDaysInMonth(s.year, s.month);
  ClampDay(s);
  for (int d = 1; d <= n; ++d) {
    const CanvasRect cell = CellRect(w, h, s.firstCell + d - 1);
    c.DrawText(std::to_string(d), cell, kDtCenter | kDtVCenter | kDtSingleLine);
    for (int k = 1; k <= 4; ++k) {
      if (!ScheduleMatchesDay(*rows, k, s.year, s.month, d)) continue;
      const CanvasRect m = CalendarMarkRect(k, cell.left, cell.top, cell.right);
      DrawFilledRect(c, m.left, m.top, m.right, m.bottom, CalendarMarkColour(k), Rgb(0, 0, 0));
    }
    if (d == s.selectedDay) {
      c.InvertRect(cell);
      if (s.focus) c.DrawFocusRect(cell);
    }
  }
  s.lastCell = s.firstCell - 1 + n;
}

bool CalendarClick(Canvas& c, int w, int h, CalendarState& s, int x, int y) {
  const int cw = w / 7, ch = h / 7;
  if (cw <= 0 || ch <= 0 || x < 0 || y < 0) return false;
  const int row = y / ch - 1, col = x / cw;
  if (row < 0 || row >= 7 || col >= 7) return false;
  ClampDay(s);
  const int cell = row * 7 + col, old = s.selectedDay + s.firstCell - 1;
  if (cell < s.firstCell || cell > s.lastCell || cell == old) return false;
  const CanvasRect was = CellRect(w, h, old), now = CellRect(w, h, cell);
  c.InvertRect(was);
  if (s.focus) c.DrawFocusRect(was);
  c.InvertRect(now);
  c.DrawFocusRect(now);
  s.selectedDay = cell - s.firstCell + 1;
  return true;
}

bool CalendarKey(Canvas& c, int w, int h, CalendarState& s, CalendarArrow key) {
  const int cw = w / 7, ch = h / 7;
  if (cw <= 0 || ch <= 0) return false;
  ClampDay(s);
  const int cell = s.selectedDay + s.firstCell - 1, col = cell % 7, row = cell / 7;
  switch (key) {
    case CalendarArrow::kLeft:
      if (col == 0) return false;  // no wrap to the week before
      return CalendarClick(c, w, h, s, col * cw - 5, (row + 1) * ch + 5);
    case CalendarArrow::kRight: return CalendarClick(c, w, h, s, col * cw + cw + 5, (row + 1) * ch + 5);
    case CalendarArrow::kUp: return CalendarClick(c, w, h, s, col * cw + 5, (row + 1) * ch - 5);
    case CalendarArrow::kDown: return CalendarClick(c, w, h, s, col * cw + 5, (row + 2) * ch + 5);
  }
  return false;
}

}  // namespace lark
