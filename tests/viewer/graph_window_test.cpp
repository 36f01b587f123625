// The graph window and dialog 183 offscreen with a pinned clock: golden
// pictures of the March 2024 fixture, the painter's recorded operations for
// the gap rules, scrolling, keys, the redraw flag, captions and Export.
#include "viewer/graph_window.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>
#include <cstdio>
#include <fstream>

#include "console/views/recording_canvas.h"
#include "platform/paths.h"
#include "tests/support/child_process.h"
#include "tests/viewer/support/month_fixture.h"
#include "viewer/history_dialog.h"
#include "viewer/viewer_context.h"

namespace lark {
namespace {

struct Fixture {
  test::HistoryFolder h;
  FakeClock clock{0, test::March2024Day1()};
  ViewerContext ctx;
  explicit Fixture(bool withMonth = true, const std::string& monitorIni = "")
      : ctx(h.Args(0, 0, 0, test::kRegularMask), clock) {
    if (withMonth) h.WriteMonth(2024, "3.DAT", test::March2024Regular());
    if (!monitorIni.empty()) std::ofstream(h.path() + "/monitor.ini") << monitorIni;
    ctx.LoadFolderSettings();
  }
};

void ExpectGolden(const QImage& got, const std::string& name) {
  const std::string golden = test::SourcePath("tests/viewer/golden/" + name + ".png");
  if (std::getenv("LARK_UPDATE_GOLDEN")) {
    ASSERT_TRUE(got.save(QString::fromStdString(golden)));
  }
  const QImage want(QString::fromStdString(golden));
  ASSERT_FALSE(want.isNull()) << golden;
  EXPECT_EQ(got.convertToFormat(QImage::Format_RGB32), want.convertToFormat(QImage::Format_RGB32))
      << name;
}

TEST(GraphWindowTest, GoldenSpansAndScales) {
  Fixture f;
  GraphWindow g(f.ctx, nullptr);
  g.resize(560, 360);
  g.show();
  GraphViewState& s = f.ctx.state();
  for (int span = 0; span < kSpanCount; ++span) {
    s.span = span;
    s.scale = 1;
    s.redraw = true;
    g.PaintNow();
    ExpectGolden(g.surface(), "span" + std::to_string(span) + "_scale25");
  }
  for (int scale = 0; scale < kScaleCount; ++scale) {
    s.span = 3;
    s.scale = scale;
    s.redraw = true;
    g.PaintNow();
    ExpectGolden(g.surface(),
                 "span1h_scale" + std::string(kScales[static_cast<size_t>(scale)].text));
  }
}

struct Line {
  int x0, y0, x1, y1;
  std::string colour;
};

// The lines of one curve colour ("0000ff" red, "000080" brown).
std::vector<Line> CurveLines(const RecordingCanvas& c, const std::string& want) {
  std::vector<Line> out;
  for (const std::string& op : c.opsNamed("Line")) {
    Line l;
    char colour[16] = {};
    if (std::sscanf(op.c_str(), "Line %d,%d %d,%d pen solid 1 %15s", &l.x0, &l.y0, &l.x1, &l.y1,
                    colour) == 5 &&
        colour == want)
      out.push_back(l);
  }
  return out;
}

TEST(GraphPainterTest, GapRulesOnTheFixture) {
  Fixture f;
  // Span "1 hour", window 00:00 to 11:00; 600 pixels: one pixel a minute.
  const GraphGeometry geo{{35, 0, 635, 300}, 17, 17};
  RecordingCanvas window, back;
  PaintHistoryGraph(window, back, f.ctx, geo, true);
  const std::vector<Line> red = CurveLines(back, "0000ff");
  auto joined = [&](int x0, int x1) {
    return std::any_of(red.begin(), red.end(),
                       [&](const Line& l) { return l.x0 == x0 && l.x1 == x1; });
  };
  EXPECT_TRUE(joined(120, 130));   // 600 s apart: joined
  EXPECT_FALSE(joined(240, 250));  // 601 s: the later sample is not drawn
  EXPECT_TRUE(joined(251, 252));   // and the curve goes on after it
  EXPECT_FALSE(joined(250, 251));
  EXPECT_FALSE(joined(359, 360));  // the link-lost line at 06:00
  EXPECT_TRUE(joined(361, 362));
  // Samples past the plot's right edge are clipped there, never drawn beyond.
  int right = 0;
  for (const Line& l : CurveLines(back, "000080")) right = std::max({right, l.x0, l.x1});
  EXPECT_EQ(right, 602);
  EXPECT_EQ(window.opsNamed("FocusRect").size(), 1u);
  // Without the redraw flag only the labels are drawn and the buffer copied.
  RecordingCanvas again;
  PaintHistoryGraph(window, again, f.ctx, geo, false);
  EXPECT_TRUE(again.ops().empty());
}

TEST(GraphWindowTest, ScrollKeysAndFocus) {
  Fixture f;
  HistoryDialog d(f.ctx);
  GraphWindow* g = d.graph();
  GraphViewState& s = f.ctx.state();
  EXPECT_EQ(s.hpos, 0);  // 5 segments before 00:00 of day 1 is 0
  EXPECT_EQ(s.lastHpos, 31 * 24 - 10);
  EXPECT_EQ(g->hBar()->property("id").toInt(), 3);
  EXPECT_EQ(g->vBar()->property("id").toInt(), 4);
  EXPECT_FALSE(g->hBar()->hasTracking());
  struct {
    int key;
    int64_t hpos;
    int vpos;
  } steps[] = {{Qt::Key_Right, 1, 0},    {Qt::Key_Right, 2, 0}, {Qt::Key_Left, 1, 0},
               {Qt::Key_PageUp, 1, 5},   {Qt::Key_Down, 1, 4},  {Qt::Key_PageDown, 1, 0},
               {Qt::Key_PageDown, 1, 0}, {Qt::Key_Up, 1, 1}};
  for (const auto& st : steps) {
    QKeyEvent e(QEvent::KeyPress, st.key, Qt::NoModifier);
    QApplication::sendEvent(g, &e);
    EXPECT_EQ(s.hpos, st.hpos);
    EXPECT_EQ(s.vpos, st.vpos);
  }
  g->HScroll(GraphWindow::HAction::kRightEdge);
  EXPECT_EQ(s.hpos, s.lastHpos);
  EXPECT_EQ(g->hBar()->sliderPosition(), s.lastHpos);
  g->VThumb(0);  // the thumb at the top is the highest position
  EXPECT_EQ(s.vpos, s.lastVpos);
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(g, &esc);
  EXPECT_EQ(d.result(), 0);
}

TEST(HistoryDialogTest, ControlsTextsAndLists) {
  Fixture f(true, "[Larkplot]\r\nXAxisSeg=0\r\n");
  HistoryDialog d(f.ctx);
  for (int id : {1010, 1181, 1180, 110,  106,  1182, 107,  1183, 108, 1184, 103, 104, 1002, 1003,
                 1004, 1005, 1006, 1007, 1008, 1009, 1011, 1012, 121, 122,  123, 124, 125,  150})
    EXPECT_NE(d.control(id), nullptr) << id;
  EXPECT_EQ(static_cast<QLabel*>(d.control(1181))->text(), "UPS Title:");
  EXPECT_EQ(static_cast<QLabel*>(d.control(1180))->text(), "Demo UPS");
  EXPECT_EQ(d.windowTitle(), "Historical Parameters");
  EXPECT_EQ(f.ctx.xAxisSeg(), 10);
  EXPECT_EQ(d.minimumSize(), QSize(915, 587));
  auto* years = static_cast<QComboBox*>(d.control(103));
  EXPECT_EQ(years->count(), 2);  // 12 months of depth
  EXPECT_EQ(years->itemText(0), "2024");
  auto* list = static_cast<QComboBox*>(d.control(122));
  ASSERT_EQ(list->count(), 6);                          // the mask's bits 0, 1, 16, 19, 47, 48
  EXPECT_EQ(list->currentText(), "Output Voltage L1");  // parameter 16, chosen by number
  // Choosing another parameter and switching a curve off.
  list->setCurrentIndex(5);
  static_cast<QCheckBox*>(d.control(1005))->setChecked(false);
  d.Update();
  EXPECT_EQ(f.ctx.state().params[1], 48);
  EXPECT_FALSE(f.ctx.state().curveOn[3]);
  // The graph keeps its place and takes the dialog's growth.
  d.show();
  const QRect before = d.graph()->geometry();
  d.resize(1015, 637);
  EXPECT_EQ(d.graph()->geometry(), before.adjusted(0, 0, 100, 50));
  d.reject();
  EXPECT_EQ(d.result(), 1);
}

TEST(HistoryDialogTest, SourceTroubleInTheCaption) {
  Fixture f(false);
  HistoryDialog d(f.ctx);
  EXPECT_EQ(d.windowTitle().toStdString(),
            "Historical Parameters - no month file " + f.h.path() + "/Demo/5/2024/3.DAT");
  // The buffer is rebuilt, and the month read again, only on the redraw flag.
  f.h.WriteMonth(2024, "3.DAT", "0\r\n1\t0\t0\t0\t1\r\n1\t0\t1\t0\t1\r\nx\r\n");
  d.graph()->PaintNow();
  EXPECT_NE(d.windowTitle().toStdString().find("no month file"), std::string::npos);
  d.Update();
  EXPECT_EQ(d.windowTitle(), "Historical Parameters - 1 lines skipped (1 bad time)");
}

TEST(HistoryDialogTest, Export) {
  Fixture f;
  HistoryDialog d(f.ctx);
  std::vector<std::string> boxes;
  f.ctx.messageBox = [&](const std::string& text, const std::string& caption, MessageIcon) {
    boxes.push_back(caption + ": " + text);
  };
  std::optional<std::string> chosen = f.h.path() + "/march.xls";
  f.ctx.chooseExportPath = [&] { return chosen; };
  d.Export();
  EXPECT_TRUE(boxes.empty());
  EXPECT_NE(ReadFile(*chosen).value_or("").find("2024-03-01\t11:59:0\t"), std::string::npos);
  static_cast<QComboBox*>(d.control(104))->setCurrentIndex(3);
  d.Update();
  d.Export();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0],
            "Historical Parameters: Cannot open the file " + f.h.path() + "/Demo/5/2024/4.DAT");
  chosen.reset();
  d.Export();  // cancelled: nothing
  EXPECT_EQ(boxes.size(), 1u);
}

TEST(LarkplotTest, RefusedCommandLinesExit2) {
  const std::string program = test::BuiltProgram("viewer/Larkplot");
  const std::vector<std::vector<std::string>> lines = {
      {program, "t", "Demo\\5", "/tmp", "12"},
      {program, "t", "..\\5", "/tmp", "12", "/tmp", "0", "0", "0", "0", "0"},
      // A failed login exits 2, not 0 as Escape does.
      {program, "t", "Demo\\5", "/tmp", "12", "/tmp", "0", "0", "0", "0", "0", "5", "lark"},
  };
  for (const auto& argv : lines) {
    pid_t pid = test::SpawnChild(argv, true);
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2) << argv[2];
  }
}

}  // namespace
}  // namespace lark
