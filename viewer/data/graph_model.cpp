#include "viewer/data/graph_model.h"

#include <algorithm>

#include "core/device_node.h"
#include "viewer/data/viewer_args.h"

namespace lark {

namespace {

struct KindDefaults {
  int deviceClass;
  int type;  // comm type (class 0) or MIB type (class 2); -1 any
  std::array<int, kCurveCount> params;
  int scale;
};

// First matching row wins.
constexpr KindDefaults kKindDefaults[] = {
    {2, 6, {15, 16, 11, 12, 9}, 4},  {2, 7, {0, 1, 2, 3, 4}, 3},
    {2, -1, {1, 10, 13, 34, 36}, 1}, {0, 3, {14, 29, 45, 35, 54}, 1},
    {0, 5, {0, 12, 20, 32, 31}, 1},  {0, 6, {15, 16, 11, 12, 9}, 4},
    {0, 7, {0, 1, 2, 3, 4}, 3},      {0, 8, {0, 1, 3, 4, 7}, 3},
    {0, 9, {0, 1, 1, 3, 3}, 3},      {0, -1, {1, 16, 19, 47, 48}, 1},
    {3, -1, {1, 16, 19, 47, 48}, 1},
};

}  // namespace

void SetDefaultCurves(const ViewerArgs& args, GraphViewState& s) {
  s.params = {-1, -1, -1, -1, -1};
  s.scale = 1;
  const int type = args.deviceClass == kNodeSnmp ? args.mibType : args.commType;
  for (const KindDefaults& k : kKindDefaults) {
    if (k.deviceClass != args.deviceClass || (k.type != -1 && k.type != type)) continue;
    const int count = ViewerLayoutOf(args.deviceClass, args.commType, args.mibType).valueCount;
    for (int c = 0; c < kCurveCount; ++c) {
      const int p = k.params[static_cast<size_t>(c)];
      s.params[static_cast<size_t>(c)] = ListPosOfParam(args.mask, count, p) >= 0 ? p : -1;
    }
    s.scale = k.scale;
    return;
  }
}

int YearListCount(int historyDepth) { return (historyDepth + 5) / 12 + 1; }

int XAxisSegFromText(const std::string& text) {
  const int64_t v = text.empty() ? 0 : LeadingDecimal(text);
  return v < 1 || v > 100 ? kDefaultXAxisSeg : static_cast<int>(v);
}

int DaysOfMonthIndex(int monthIndex) {
  if (monthIndex == 1) return 29;
  if (monthIndex == 3 || monthIndex == 5 || monthIndex == 8 || monthIndex == 10) return 30;
  return 31;
}

int64_t SegmentsInMonth(int span, int monthIndex) {
  const int days = DaysOfMonthIndex(monthIndex);
  if (span == 6) return days == 31 ? 11 : 10;
  return int64_t{kSpans[static_cast<size_t>(std::clamp(span, 0, 5))].perDay} * days;
}

void SetUpHorizontal(GraphViewState& s, int xAxisSeg, int day, int hour, int minute) {
  const int64_t d = day - 1;
  int64_t p = 0;
  switch (s.span) {
    case 0:
      p = (d * 86400 + hour * 3600 + minute * 60) / 20 - 5;
      break;
    case 1:
      p = d * 1440 + hour * 60 + minute - 5;
      break;
    case 2:
      p = (d * 1440 + hour * 60 + minute) / 10 - 5;
      break;
    case 3:
      p = d * 24 + hour - 5;
      break;
    case 4:
      p = (d * 24 + hour) / 12 - 5;
      break;
    case 5:
      p = day - 6;
      break;
    default:
      p = 0;
      break;
  }
  s.lastHpos = SegmentsInMonth(s.span, s.monthIndex) - xAxisSeg;
  s.hScrollRange = static_cast<int>(std::clamp<int64_t>(s.lastHpos, 0, 10000));
  s.hRatio = s.lastHpos > 10000 ? static_cast<double>(s.lastHpos) / 10000.0 : 1.0;
  s.hpos = std::clamp<int64_t>(p, 0, std::max<int64_t>(s.lastHpos, 0));
}

void SetUpVertical(GraphViewState& s) {
  s.lastVpos = kScales[static_cast<size_t>(s.scale)].steps - kValueRows;
  s.vpos = 0;
}

int64_t HposFromThumb(const GraphViewState& s, int thumb) {
  return static_cast<int64_t>(thumb * s.hRatio);
}

int ThumbFromHpos(const GraphViewState& s) { return static_cast<int>(s.hpos / s.hRatio); }

std::string TimeLabel(int span, int64_t seg) {
  char buf[48];
  const long long S = seg;
  switch (span) {
    case 0:
      std::snprintf(buf, sizeof buf, "%lld/%02lld:%02lld:%02lld", S / 4320 + 1, (S % 4320) / 180,
                    (S % 180) / 3, (S % 3) * 20);
      break;
    case 1:
      std::snprintf(buf, sizeof buf, "%lld/%02lld:%02lld", S / 1440 + 1, (S % 1440) / 60, S % 60);
      break;
    case 2:
      std::snprintf(buf, sizeof buf, "%lld/%02lld:%02lld", S / 144 + 1, (S % 144) / 6,
                    (S % 6) * 10);
      break;
    case 3:
      std::snprintf(buf, sizeof buf, "%lld/%02lld:00", S / 24 + 1, S % 24);
      break;
    case 4:
      std::snprintf(buf, sizeof buf, "%lld/%02lld:00", S / 2 + 1, (S % 2) * 12);
      break;
    case 5:
      std::snprintf(buf, sizeof buf, "%lld/", S + 1);
      break;
    default:
      std::snprintf(buf, sizeof buf, "%lld/", 3 * S + 1);
      break;
  }
  return buf;
}

std::string ValueLabel(const GraphViewState& s, int u) {
  return std::to_string((u + s.vpos) * kScales[static_cast<size_t>(s.scale)].step);
}

PlotWindow WindowOf(int span, int64_t hpos, int segs, double xSegment) {
  PlotWindow w;
  const int64_t P = hpos;
  auto stampOf = [&](int64_t pos) {
    const SpanInfo& info = kSpans[static_cast<size_t>(span)];
    return (pos / info.perDay + 1) * 86400 + (pos % info.perDay) * info.seconds;
  };
  switch (span) {
    case 0:
    case 1:
    case 2:
      w.t0 = stampOf(P);
      w.t1 = stampOf(P + segs);
      break;
    case 3:
    case 4:
      w.t0 = stampOf(P);
      w.t1 = stampOf(P + segs + 1);
      break;
    case 5:
      w.t0 = (P + 1) * 86400;
      w.t1 = (P + segs + 2) * 86400;
      break;
    default:
      w.t0 = (3 * P + 1) * 86400;
      w.t1 = (3 * segs + 3 * P + 4) * 86400;
      break;
  }
  w.firstDay = static_cast<int>(std::min<int64_t>(w.t0 / 86400, 32));
  w.lastDay = static_cast<int>(std::min<int64_t>(w.t1 / 86400, 31));
  w.xScale = xSegment / kSpans[static_cast<size_t>(span)].seconds;
  return w;
}

double ValueHeight(const PlotSample& s, int param, bool meter, int64_t offset, double yScale) {
  const int32_t v = s.values[static_cast<size_t>(param)];
  if (meter && (param == 1 || param == 2)) {
    const int32_t lo = s.values[1];
    const int32_t hi = s.values[2];
    if (lo == -1 || hi == -1) return -1;
    const int64_t count = int64_t{hi} * (int64_t{1} << 32) + static_cast<uint32_t>(lo);
    return static_cast<double>(count / 1000 / 10 - offset) * yScale;
  }
  if (v < 0) return -1;
  return static_cast<double>(v / 10 - offset) * yScale;
}

size_t WalkCurves(CurveWalk& walk, const SegmentSink& sink) {
  const GraphViewState& st = walk.state;
  const MonthData& m = walk.month;
  const int count = std::min(m.layout.valueCount, kMaxHistoryValues);
  const bool meter = m.layout.family == "meter" || m.layout.family == "metergrp";
  const int64_t offset = int64_t{st.vpos} * kScales[static_cast<size_t>(st.scale)].step;
  // A gap is longer than 600 s and than twice the usual spacing, so a long
  // recording period is not all gaps.
  const int64_t gap = std::max<int64_t>(600, 2 * m.medianSpacing);

  struct Curve {
    bool first = true;
    bool penDown = true;
    double x = 0, y = 0;
  };
  std::array<Curve, kCurveCount> curves{};
  auto point = [&](const PlotSample& s, int param, double& x, double& y) {
    x = static_cast<double>(std::max<int64_t>(0, s.stamp() - walk.window.t0)) * walk.window.xScale;
    y = walk.plotHeight - ValueHeight(s, param, meter, offset, walk.yScale);
  };
  // Two unpacking buffers taking turns, so the sample before stays whole.
  std::array<PlotSample, 2> buffers;
  PlotSample lost;
  lost.values[0] = kLinkLostValue;
  const PlotSample* prev = &lost;
  walk.samplesRead = 0;
  MonthSamples::Reader reader(m.samples);
  for (size_t turn = 0; reader.next(buffers[turn]); turn ^= 1) {
    const PlotSample& s = buffers[turn];
    const int64_t stamp = s.stamp();
    if (stamp > walk.window.t1 + 180) break;
    ++walk.samplesRead;
    if (stamp >= walk.window.t0) {
      const int32_t pv0 = prev->values[0];
      if (pv0 != kLinkLostValue && pv0 != 0 && stamp - prev->stamp() > gap) {
        for (Curve& c : curves) c.penDown = false;
      } else if (!s.linkLost()) {
        for (int c = 0; c < kCurveCount; ++c) {
          const int p = st.params[static_cast<size_t>(c)];
          if (!st.curveOn[static_cast<size_t>(c)] || p < 0 || p >= count) continue;
          if (s.values[static_cast<size_t>(p)] == -1) continue;
          Curve& cv = curves[static_cast<size_t>(c)];
          double x, y;
          point(s, p, x, y);
          const bool counts = !prev->linkLost() && prev->values[static_cast<size_t>(p)] != -1;
          if (cv.first) {
            cv.first = false;
            if (counts) {
              double px, py;
              point(*prev, p, px, py);
              sink(c, px, py, x, y);
            }
          } else if (counts && cv.penDown) {
            sink(c, cv.x, cv.y, x, y);
          }
          cv.x = x;
          cv.y = y;
          cv.penDown = true;
        }
      }
    }
    prev = &s;
  }
  return walk.samplesRead;
}

}  // namespace lark
