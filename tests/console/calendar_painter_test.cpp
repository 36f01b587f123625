// The Schedule page's month calendar: where the days and marks go for
// months of each shape, the marks following the runner's rules, and the
// selection moved by clicks and arrow keys within the month's days only.
#include "console/views/calendar_painter.h"

#include <gtest/gtest.h>

#include "console/shell/console_context.h"
#include "console/views/image_canvas.h"
#include "console/views/recording_canvas.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

constexpr int W = 280, H = 210;  // cells of 40 x 30

CalendarFonts Fonts() {
  const ConsoleFonts f = MakeConsoleFonts();
  return {f.label, f.value};
}

// The class marks drawn: framed black, in a class colour.
size_t Marks(const RecordingCanvas& c) {
  size_t n = 0;
  for (const std::string& op : c.opsNamed("Rectangle"))
    for (const char* brush : {"brush 0000ff", "brush 00ff00", "brush 00ffff", "brush ffff00"})
      if (op.find("pen solid 1 000000 " + std::string(brush)) != std::string::npos) ++n;
  return n;
}

// The cell each day number is drawn in, in painting order.
std::vector<std::string> DayCells(const RecordingCanvas& c) {
  std::vector<std::string> out;
  for (const std::string& op : c.opsNamed("DrawText"))
    if (op.find("format 37") != std::string::npos) out.push_back(op.substr(9, op.find(' ', 9) - 9));
  return out;
}

TEST(CalendarPainter, MonthsOfEachShape) {
  struct Case {
    const char* what;
    int year, month;
    int first, last;
    std::string day1, lastDay;
  } cases[] = {
      {"February 2026 starts on a Sunday", 2026, 2, 0, 27, "1,31,40,60", "241,121,280,150"},
      {"August 2026: 31 days from a Saturday, six rows", 2026, 8, 6, 36, "241,31,280,60", "41,181,80,210"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingCanvas rec;
    CalendarState s;
    s.year = c.year, s.month = c.month, s.selectedDay = 31;
    const ScheduleRows rows;
    CalendarPaint(rec, W, H, s, &rows, Fonts());
    EXPECT_EQ(s.firstCell, c.first);
    EXPECT_EQ(s.lastCell, c.last);
    const std::vector<std::string> cells = DayCells(rec);
    ASSERT_EQ(cells.size(), static_cast<size_t>(c.last - c.first + 1));
    EXPECT_EQ(cells.front(), c.day1);
    EXPECT_EQ(cells.back(), c.lastDay);
    // The selected day past February's end becomes its last day.
    EXPECT_EQ(s.selectedDay, c.last - c.first + 1);
    EXPECT_EQ(rec.opsNamed("InvertRect"), std::vector<std::string>{"InvertRect " + c.lastDay});
  }
  // The labels: Sunday red, Saturday dark green.
  RecordingCanvas rec;
  CalendarState s;
  s.year = 2026, s.month = 2;
  const ScheduleRows rows;
  CalendarPaint(rec, W, H, s, &rows, Fonts());
  const std::vector<std::string> texts = rec.opsNamed("DrawText");
  EXPECT_EQ(texts[0], "DrawText 0,5,40,20 \"SUN\" format 33 colour 0000ff transparent");
  EXPECT_EQ(texts[6], "DrawText 240,5,280,20 \"SAT\" format 33 colour 007f00 transparent");
  // Without a device only the background.
  RecordingCanvas empty;
  CalendarPaint(empty, W, H, s, nullptr, Fonts());
  EXPECT_EQ(empty.ops().size(), 1u);
}

TEST(CalendarPainter, MarksPerClassByTheRunnersRules) {
  // March 2026: the 2nd is a Monday (cell 1 of the first row).
  ScheduleRows rows;
  rows.week = {{2, 23, 59, 1}, {2, 8, 0, 2}, {2, 9, 0, 3}, {2, 10, 0, 4}};
  CalendarState s;
  s.year = 2026, s.month = 3, s.selectedDay = 20;
  RecordingCanvas rec;
  CalendarPaint(rec, W, H, s, &rows, Fonts());
  // Monday the 2nd: cell left 41, top 31, right 80.
  const char* want[] = {"Rectangle 42,32,47,37 pen solid 1 000000 brush 0000ff",
                        "Rectangle 42,38,47,43 pen solid 1 000000 brush 00ff00",
                        "Rectangle 42,44,47,49 pen solid 1 000000 brush 00ffff",
                        "Rectangle 73,44,78,49 pen solid 1 000000 brush ffff00"};
  const std::vector<std::string> rects = rec.opsNamed("Rectangle");
  for (const char* w : want) EXPECT_NE(std::find(rects.begin(), rects.end(), w), rects.end()) << w;
  EXPECT_EQ(Marks(rec), 5u * 4);  // five Mondays of four classes

  // A dated "None" row takes the 9th's marks away; a dated row replaces the 16th's.
  rows.dated = {{2026, 3, 9, 0, 0, 0}, {2026, 3, 16, 12, 0, 4}};
  RecordingCanvas rec2;
  CalendarPaint(rec2, W, H, s, &rows, Fonts());
  EXPECT_EQ(Marks(rec2), 3u * 4 + 1);
}

TEST(CalendarPainter, ClicksAndKeysMoveWithinTheMonth) {
  const ScheduleRows rows;
  auto painted = [&](int day) {
    CalendarState s;
    s.year = 2026, s.month = 8, s.selectedDay = day, s.focus = true;  // Saturday 1st .. Monday 31st
    RecordingCanvas rec;
    CalendarPaint(rec, W, H, s, &rows, Fonts());
    return s;
  };
  struct Click {
    const char* what;
    int day, x, y, want;
  } clicks[] = {
      {"a day", 1, 125, 75, 5},             // row 1 column 3: Wednesday the 5th
      {"the label row", 1, 125, 10, 1},
      {"an empty cell before the 1st", 1, 10, 40, 1},
      {"an empty cell after the 31st", 1, 100, 190, 1},
      {"the selected day", 5, 125, 75, 5},
      {"below the grid", 1, 10, 400, 1},
  };
  for (const Click& c : clicks) {
    CalendarState s = painted(c.day);
    RecordingCanvas rec;
    const bool moved = CalendarClick(rec, W, H, s, c.x, c.y);
    EXPECT_EQ(s.selectedDay, c.want) << c.what;
    EXPECT_EQ(moved, c.want != c.day) << c.what;
    EXPECT_EQ(rec.ops().size(), moved ? 4u : 0u) << c.what;  // two cells inverted, two focus frames
  }
  struct Key {
    const char* what;
    int day;
    CalendarArrow key;
    int want;
  } keys[] = {
      {"left on a Sunday", 2, CalendarArrow::kLeft, 2},
      {"left", 3, CalendarArrow::kLeft, 2},
      {"right on a Saturday", 8, CalendarArrow::kRight, 8},
      {"right", 2, CalendarArrow::kRight, 3},
      {"up in the first week", 1, CalendarArrow::kUp, 1},
      {"up", 10, CalendarArrow::kUp, 3},
      {"down in the last week", 31, CalendarArrow::kDown, 31},
      {"down onto no day", 25, CalendarArrow::kDown, 25},
      {"down", 24, CalendarArrow::kDown, 31},
  };
  for (const Key& k : keys) {
    CalendarState s = painted(k.day);
    RecordingCanvas rec;
    CalendarKey(rec, W, H, s, k.key);
    EXPECT_EQ(s.selectedDay, k.want) << k.what;
  }
  // A control too small for the grid takes no click and no key.
  CalendarState s;
  s.year = 2026, s.month = 8;
  RecordingCanvas rec;
  CalendarPaint(rec, 5, 5, s, &rows, Fonts());
  rec.clear();
  EXPECT_FALSE(CalendarClick(rec, 5, 5, s, 3, 3));
  for (CalendarArrow a : {CalendarArrow::kLeft, CalendarArrow::kRight, CalendarArrow::kUp, CalendarArrow::kDown})
    EXPECT_FALSE(CalendarKey(rec, 5, 5, s, a));
  EXPECT_TRUE(rec.ops().empty());
  // After a month change the selected 31st stands for the month's last day.
  s = painted(31);
  s.month = 9;  // 30 days, the 1st a Tuesday: not yet repainted
  RecordingCanvas r2;
  CalendarKey(r2, W, H, s, CalendarArrow::kLeft);
  EXPECT_EQ(s.selectedDay, 30);
}

TEST(CalendarPainter, Picture) {
  ScheduleRows rows;
  rows.week = {{2, 23, 59, 1}, {4, 10, 0, 3}};
  rows.dated = {{2026, 8, 10, 0, 0, 0}, {2026, 8, 20, 6, 30, 2}, {2026, 8, 21, 6, 30, 4}};
  CalendarState s;
  s.year = 2026, s.month = 8, s.selectedDay = 12, s.focus = true;
  ImageCanvas img(W, H);
  CalendarPaint(img, W, H, s, &rows, Fonts());
  const std::string golden = test::SourcePath("tests/console/golden/calendar_august.png");
  if (std::getenv("LARK_UPDATE_GOLDEN")) {
    ASSERT_TRUE(img.image()->save(QString::fromStdString(golden)));
  }
  QImage want(QString::fromStdString(golden));
  ASSERT_FALSE(want.isNull()) << golden;
  EXPECT_EQ(img.image()->convertToFormat(QImage::Format_RGB32), want.convertToFormat(QImage::Format_RGB32));
}

}  // namespace
}  // namespace lark
