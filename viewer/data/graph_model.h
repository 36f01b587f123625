// The graph's arithmetic without any drawing: spans and scales, the start
// values per device kind, the scroll positions of a month, the labels, the
// visible window and the walk over a month's samples that yields the curve
// segments in plot coordinates (real numbers, clipped by the painter).
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "viewer/data/history_month.h"

namespace lark {

struct ViewerArgs;

inline constexpr int kSpanCount = 7;
inline constexpr int kScaleCount = 8;
inline constexpr int kCurveCount = 5;
inline constexpr int kValueRows = 10;  // horizontal grid steps shown
inline constexpr int kDefaultXAxisSeg = 10;

struct SpanInfo {
  const char* text;
  int perDay;  // segments per day (0 for "3 days")
  int seconds;
};
inline constexpr std::array<SpanInfo, kSpanCount> kSpans{{{"20 seconds", 4320, 20},
                                                          {"1 minute", 1440, 60},
                                                          {"10 minutes", 144, 600},
                                                          {"1 hour", 24, 3600},
                                                          {"12 hours", 2, 43200},
                                                          {"1 day", 1, 86400},
                                                          {"3 days", 0, 259200}}};
struct ScaleInfo {
  const char* text;
  int step;   // value of one grid line
  int steps;  // grid lines in the whole range
};
inline constexpr std::array<ScaleInfo, kScaleCount> kScales{{{"10", 10, 5000},
                                                             {"25", 25, 2000},
                                                             {"50", 50, 1000},
                                                             {"100", 100, 500},
                                                             {"200", 200, 250},
                                                             {"300", 300, 170},
                                                             {"400", 400, 125},
                                                             {"500", 500, 100}}};

struct GraphViewState {
  int yearIndex = 0;                                        // 0 the current year
  int monthIndex = 0;                                       // 0 January
  std::array<int, kCurveCount> params{-1, -1, -1, -1, -1};  // -1: none
  std::array<bool, kCurveCount> curveOn{true, true, true, true, true};
  int span = 3;
  int scale = 1;
  // Owned by the graph window.
  int64_t hpos = 0;
  int vpos = 0;
  int64_t lastHpos = 0;
  int hScrollRange = 0;
  double hRatio = 1.0;
  int lastVpos = 0;
  int cachedSpan = -1;
  int cachedScale = -1;
  int cachedMonth = -1;
  bool redraw = true;
};

// Start values: the five parameters and the scale of a device kind; a
// parameter whose mask bit is clear is none (-1).
void SetDefaultCurves(const ViewerArgs& args, GraphViewState& s);
// Entries of the year list for a depth in months.
int YearListCount(int historyDepth);
// "XAxisSeg" text -> segments; outside 1..100 (or not a number) gives 10.
int XAxisSegFromText(const std::string& text);

int DaysOfMonthIndex(int monthIndex);  // February counts 29
int64_t SegmentsInMonth(int span, int monthIndex);
// Scroll set-up of a span change: the position from the clock's day and time
// (5 segments before now), then the last position, range and ratio.
void SetUpHorizontal(GraphViewState& s, int xAxisSeg, int day, int hour, int minute);
void SetUpVertical(GraphViewState& s);
// Position for a scroll-bar value and back.
int64_t HposFromThumb(const GraphViewState& s, int thumb);
int ThumbFromHpos(const GraphViewState& s);

// Time label of segment `seg`; value label of row `u`.
std::string TimeLabel(int span, int64_t seg);
std::string ValueLabel(const GraphViewState& s, int u);

struct PlotWindow {
  int64_t t0 = 0;  // stamp of the window start
  int64_t t1 = 0;  // stamp of the window end
  int firstDay = 1;
  int lastDay = 1;
  double xScale = 0;  // pixels per second
};
PlotWindow WindowOf(int span, int64_t hpos, int segs, double xSegment);

// A segment of curve `curve` from (x0, y0) to (x1, y1) in plot pixels, y
// downwards (the plot's height minus the value's height).
using SegmentSink = std::function<void(int curve, double x0, double y0, double x1, double y1)>;

struct CurveWalk {
  const GraphViewState& state;
  const MonthData& month;
  PlotWindow window;
  double plotHeight = 0;
  double yScale = 0;  // pixels per value unit
  // Samples taken (the walk stops at the first one after the window end + 180 s).
  size_t samplesRead = 0;
};
// Runs the curves over the month's samples; returns the samples read.
size_t WalkCurves(CurveWalk& walk, const SegmentSink& sink);

// Plot height of a value of `param` (before the flip): -1 below the plot.
double ValueHeight(const PlotSample& s, int param, bool meter, int64_t offset, double yScale);

}  // namespace lark
