// The graph's arithmetic: positions of a month, labels, the window, the
// mapping of values, and the curve walk's rules on small sample runs.
#include "viewer/data/graph_model.h"

#include <gtest/gtest.h>

#include "tests/viewer/support/month_fixture.h"

namespace lark {
namespace {

TEST(GraphModelTest, PositionsOfAMonth) {
  GraphViewState s;
  s.monthIndex = 2;  // March, 31 days
  s.span = 0;        // "20 seconds"
  SetUpHorizontal(s, 10, 1, 0, 0);
  EXPECT_EQ(s.lastHpos, 133910);
  EXPECT_EQ(s.hScrollRange, 10000);
  EXPECT_DOUBLE_EQ(s.hRatio, 13.391);
  EXPECT_EQ(HposFromThumb(s, 10000), 133910);
  // The last position follows "XAxisSeg", not a fixed 10.
  s.span = 3;
  SetUpHorizontal(s, 20, 3, 14, 0);
  EXPECT_EQ(s.lastHpos, 31 * 24 - 20);
  EXPECT_EQ(s.hpos, 2 * 24 + 14 - 5);
  s.span = 6;
  s.monthIndex = 1;
  SetUpHorizontal(s, 10, 29, 0, 0);
  EXPECT_EQ(s.lastHpos, 0);
  EXPECT_EQ(s.hScrollRange, 0);
}

TEST(GraphModelTest, SettingsTexts) {
  struct {
    const char* text;
    int want;
  } segs[] = {{"10", 10},  {"", 10},    {"0", 10},    {"-3", 10},
              {"101", 10}, {"abc", 10}, {"100", 100}, {"1", 1}};
  for (const auto& c : segs) EXPECT_EQ(XAxisSegFromText(c.text), c.want) << c.text;
  struct {
    int depth, years;
  } years[] = {{6, 1}, {7, 2}, {18, 2}, {19, 3}};
  for (const auto& c : years) EXPECT_EQ(YearListCount(c.depth), c.years) << c.depth;
}

TEST(GraphModelTest, Labels) {
  for (int u = 0; u < 10; ++u)
    EXPECT_EQ(TimeLabel(3, u), std::to_string(1) + "/0" + std::to_string(u) + ":00");
  struct {
    int span;
    int64_t seg;
    const char* want;
  } cases[] = {{0, 4320 + 181, "2/01:00:20"},
               {1, 1441, "2/00:01"},
               {2, 145, "2/00:10"},
               {4, 3, "2/12:00"},
               {5, 30, "31/"},
               {6, 10, "31/"}};
  for (const auto& c : cases) EXPECT_EQ(TimeLabel(c.span, c.seg), c.want);
  GraphViewState s;
  s.scale = 1;  // "25"
  s.vpos = 4;
  EXPECT_EQ(ValueLabel(s, 0), "100");
  EXPECT_EQ(ValueLabel(s, 10), "350");
}

TEST(GraphModelTest, WindowAndValues) {
  const PlotWindow w = WindowOf(3, 0, 10, 50.0);
  EXPECT_EQ(w.t0, 86400);
  EXPECT_EQ(w.t1, 86400 + 11 * 3600);
  EXPECT_EQ(w.firstDay, 1);
  EXPECT_DOUBLE_EQ(w.xScale, 50.0 / 3600);
  EXPECT_EQ(WindowOf(6, 10, 10, 50.0).lastDay, 31);  // never past the month
  PlotSample s;
  s.values.fill(-1);
  s.values[0] = 1000;  // 100.0 at scale "25", position 4: on the bottom line
  EXPECT_DOUBLE_EQ(ValueHeight(s, 0, false, 4 * 25, 2.0), 0.0);
  s.values[1] = 500000;
  s.values[2] = 1;
  EXPECT_DOUBLE_EQ(ValueHeight(s, 1, true, 0, 1.0), 429546.0);
  EXPECT_DOUBLE_EQ(ValueHeight(s, 3, true, 0, 1.0), -1.0);
  s.values[2] = -1;
  EXPECT_DOUBLE_EQ(ValueHeight(s, 1, true, 0, 1.0), -1.0);
}

struct Seg {
  int curve;
  int x0, y0, x1, y1;
  bool operator==(const Seg&) const = default;
};

// Samples at these seconds of day 1 with value 0 (first value) and value 1.
MonthData Samples(std::initializer_list<std::tuple<int, int32_t, int32_t>> samples) {
  MonthData m;
  m.opened = true;
  m.layout = ViewerLayoutOf(0, 0, 0);
  for (const auto& [sec, v0, v1] : samples) {
    PlotSample s;
    s.values.fill(-1);
    s.day = 1;
    s.hour = static_cast<uint8_t>(sec / 3600);
    s.minute = static_cast<uint8_t>(sec / 60 % 60);
    s.second = static_cast<uint8_t>(sec % 60);
    s.values[0] = v0;
    s.values[1] = v1;
    m.samples.push(s);
  }
  std::vector<int64_t> d;
  for (size_t i = 1; i < m.samples.size(); ++i)
    d.push_back(m.samples.stamp(i) - m.samples.stamp(i - 1));
  if (!d.empty()) {
    std::sort(d.begin(), d.end());
    m.medianSpacing = d[d.size() / 2];
  }
  return m;
}

std::vector<Seg> Walk(const MonthData& m, int64_t t0 = 86400, size_t* read = nullptr,
                      int64_t t1 = 2 * 86400) {
  GraphViewState s;
  s.params = {0, 1, -1, -1, -1};
  CurveWalk w{s, m, {t0, t1, 1, 2, 1.0 / 60}, 1000, 1.0};
  std::vector<Seg> out;
  WalkCurves(w, [&](int c, double x0, double y0, double x1, double y1) {
    out.push_back({c, int(x0), int(y0), int(x1), int(y1)});
  });
  if (read) *read = w.samplesRead;
  return out;
}

TEST(CurveWalkTest, GapRules) {
  // 600 s apart are joined, 601 s are a gap: the later sample is not drawn.
  EXPECT_EQ(Walk(Samples({{0, 10, 20}, {600, 10, 20}})).size(), 2u);
  EXPECT_EQ(Walk(Samples({{0, 10, 20}, {60, 10, 20}, {661, 10, 20}, {721, 10, 20}})),
            (std::vector<Seg>{{0, 0, 999, 1, 999}, {1, 0, 998, 1, 998}}));
  // After a first value 0 the next sample joins whatever the gap.
  EXPECT_EQ(Walk(Samples({{0, 10, 20}, {60, 10, 20}, {120, 0, 20}, {5000, 10, 20}})).size(), 6u);
  EXPECT_EQ(Walk(Samples({{0, 10, 20}, {60, 10, 20}, {120, 10, 20}, {5000, 10, 20}})).size(), 4u);
  // A 900-second period: every step is the usual spacing, none is a gap.
  EXPECT_EQ(Walk(Samples({{0, 10, 20}, {900, 10, 20}, {1800, 10, 20}, {2700, 10, 20}})).size(), 6u);
}

TEST(CurveWalkTest, LinkLostAndNoValue) {
  // The link-lost line is never drawn and the next sample starts a new piece.
  EXPECT_EQ(Walk(Samples({{0, 10, 20}, {60, kLinkLostValue, -1}, {120, 10, 20}, {180, 10, 20}})),
            (std::vector<Seg>{{0, 2, 999, 3, 999}, {1, 2, 998, 3, 998}}));
  // -1 breaks that curve only.
  EXPECT_EQ(
      Walk(Samples({{0, 10, 20}, {60, 10, -1}, {120, 10, 20}, {180, 10, 20}})),
      (std::vector<Seg>{
          {0, 0, 999, 1, 999}, {0, 1, 999, 2, 999}, {0, 2, 999, 3, 999}, {1, 2, 998, 3, 998}}));
}

TEST(CurveWalkTest, ParameterPastTheFamilyDrawsNothing) {
  MonthData m = Samples({{0, 10, 20}, {60, 10, 20}});
  m.layout = ViewerLayoutOf(2, 0, 1);  // SNMP: 48 values
  GraphViewState s;
  s.params = {53, 1, -1, -1, -1};
  CurveWalk w{s, m, {86400, 2 * 86400, 1, 2, 1.0 / 60}, 1000, 1.0};
  std::vector<int> curves;
  WalkCurves(w, [&](int c, double, double, double, double) { curves.push_back(c); });
  EXPECT_EQ(curves, std::vector<int>{1});
}

TEST(CurveWalkTest, EntersFromTheLeftAndStopsAfterTheWindow) {
  size_t read = 0;
  const MonthData m = Samples({{0, 10, 20}, {60, 10, 20}, {120, 10, 20}});
  // The window starts at 00:01:30: the sample before it maps to the left edge.
  EXPECT_EQ(Walk(m, 86400 + 90, &read),
            (std::vector<Seg>{{0, 0, 999, 0, 999}, {1, 0, 998, 0, 998}}));
  EXPECT_EQ(read, 3u);
  // A window ending at 01:00: samples up to 01:03:00 are taken, then it stops.
  Walk(Samples({{3600, 10, 20}, {3780, 10, 20}, {3781, 10, 20}, {3840, 10, 20}}), 86400, &read,
       86400 + 3600);
  EXPECT_EQ(read, 2u);
  // Span "1 hour" from day 1 00:00: the window ends at 11:00 and samples up to
  // 11:03:00 are taken, one a minute.
  MonthData day;
  day.opened = true;
  day.layout = ViewerLayoutOf(0, 0, 0);
  for (int minute = 0; minute < 12 * 60; ++minute) {
    PlotSample s;
    s.day = 1;
    s.hour = static_cast<uint8_t>(minute / 60);
    s.minute = static_cast<uint8_t>(minute % 60);
    day.samples.push(s);
  }
  GraphViewState st;
  CurveWalk w{st, day, WindowOf(3, 0, 10, 60.0), 300, 1.0};
  EXPECT_EQ(WalkCurves(w, [](int, double, double, double, double) {}), 11u * 60 + 4);
}

}  // namespace
}  // namespace lark
