// A history month file as the viewer reads it, for every family: the first
// byte picks the device kind, the rest is the file. The samples are then
// walked as the graph draws them and written as the export writes them; the
// same bytes fed in pieces must give the same month.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "viewer/data/graph_model.h"
#include "viewer/data/history_export.h"
#include "viewer/data/viewer_args.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static constexpr int kKinds[][3] = {{0, 0, 0}, {0, 3, 0}, {0, 5, 0}, {0, 6, 0}, {0, 7, 0},
                                      {0, 8, 0}, {0, 9, 0}, {2, 0, 1}, {2, 0, 6}, {2, 0, 7},
                                      {3, 0, 0}, {0, 4, 0}, {5, 0, 0}};
  const auto& k = kKinds[data[0] % (sizeof kKinds / sizeof kKinds[0])];
  lark::ViewerArgs args;
  args.deviceClass = k[0];
  args.commType = k[1];
  args.mibType = k[2];
  args.mask = ~0ull;
  args.textFile = lark::ViewerLayoutOf(k[0], k[1], k[2]).textName;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const lark::MonthData m = lark::ParseMonthText(args, text, "fuzz");
  // Fed in pieces that end anywhere, the reader must come to the same month.
  lark::MonthTextReader reader(args, "fuzz");
  const size_t piece = data[0] % 13 + 1;
  for (size_t at = 0; at < text.size(); at += piece) reader.feed(text.substr(at, piece));
  const lark::MonthData fed = reader.finish();
  if (fed.samples.size() != m.samples.size() ||
      lark::DescribeMonthTrouble(fed) != lark::DescribeMonthTrouble(m))
    __builtin_trap();
  lark::GraphViewState s;
  lark::SetDefaultCurves(args, s);
  s.params[4] = 55;  // past most families' values
  s.vpos = data[0];
  for (int span = 0; span < lark::kSpanCount; ++span) {
    s.span = span;
    lark::CurveWalk walk{s, m, lark::WindowOf(span, data[0] % 7, 10, 60.0), 300, 0.5};
    lark::WalkCurves(walk, [](int, double, double, double, double) {});
  }
  lark::ExportMonthText(m, lark::ParamTables(), 2024, 3);
  return 0;
}
