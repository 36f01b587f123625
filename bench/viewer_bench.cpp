// The viewer's rebuild of the graph on a whole month: a regular UPS's month
// of 44,640 lines (one a minute for 31 days, 54 values each) read, parsed and
// drawn at span "3 days" in the last window, so the whole file is read,
// against a plain count of the same file's lines. Prints the best of five
// runs of each and their ratio, the bytes the packed samples take each, and
// how far the first rebuild raised the peak memory, as a multiple of the
// file's size.
//
//   viewer_bench
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "console/views/image_canvas.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "viewer/graph_painter.h"
#include "viewer/viewer_context.h"

namespace {

using Steady = std::chrono::steady_clock;

double Ms(Steady::time_point a, Steady::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

// A "VmRSS:"-style line of /proc/self/status in KiB (0 when missing).
long StatusKiB(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("viewer_bench." + std::to_string(getpid()));
  const std::string month = (dir / "Demo/5/2024/3.DAT").string();
  std::filesystem::create_directories(dir / "Demo/5/2024");
  {
    std::ofstream out(month, std::ios::binary);
    out << "0\r\n";
    for (int m = 0; m < 31 * 1440; ++m) {
      out << (m / 1440 + 1) << '\t' << (m / 60 % 24) << '\t' << (m % 60) << "\t0";
      for (int i = 0; i < 54; ++i) out << '\t' << (i == 0 ? 1 : 2000 + (m + 37 * i) % 500);
      out << "\r\n";
    }
  }
  const size_t bytes = std::filesystem::file_size(month);

  lark::ViewerArgs args;
  args.mapName = "Demo";
  args.pathId = 5;
  args.historyRoot = args.programFolder = dir.string();
  args.mask = ~0ull;
  lark::WallTime now;
  now.year = 2024;
  now.month = 3;
  now.day = 31;
  lark::FakeClock clock(0, now);
  lark::ViewerContext ctx(args, clock);
  lark::GraphViewState& s = ctx.state();
  s.span = 6;
  lark::SetUpHorizontal(s, ctx.xAxisSeg(), 31, 0, 0);
  s.hpos = s.lastHpos;
  const lark::GraphGeometry geo = lark::GraphGeometryFor(680, 560, 17, 17);
  lark::ImageCanvas window(680, 560);
  lark::ImageCanvas back(geo.plot.width(), geo.plot.height());

  double best = 1e9, bestLines = 1e9;
  size_t lines = 0, samples = 0;
  const long rssBefore = StatusKiB("VmRSS:");
  long peakGrowth = 0;
  for (int run = 0; run < 5; ++run) {
    auto t0 = Steady::now();
    s.redraw = true;
    lark::PaintHistoryGraph(window, back, ctx, geo, false);
    auto t1 = Steady::now();
    // Before the plain count reads the file whole into memory.
    if (run == 0) peakGrowth = StatusKiB("VmHWM:") - rssBefore;
    const std::string text = lark::ReadFile(month).value_or("");
    lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    auto t2 = Steady::now();
    best = std::min(best, Ms(t0, t1));
    bestLines = std::min(bestLines, Ms(t1, t2));
    samples = ctx.ReadSelectedMonth().samples.size();
  }
  const lark::MonthData& m = ctx.ReadSelectedMonth();
  const double perSample = m.samples.empty() ? 0.0 : double(m.samples.heapBytes()) / m.samples.size();
  std::filesystem::remove_all(dir);
  std::printf("%10s %10s %10s %12s %8s %12s %14s\n", "lines", "file KiB", "draw ms", "count ms",
              "ratio", "B/sample", "peak/file");
  std::printf("%10zu %10zu %10.1f %12.1f %8.1f %12.1f %14.2f\n", lines, bytes / 1024, best,
              bestLines, best / bestLines, perSample, peakGrowth * 1024.0 / double(bytes));
  if (samples + 1 != lines) {
    std::fprintf(stderr, "viewer_bench: %zu samples of %zu lines\n", samples, lines);
    return 1;
  }
  return 0;
}
