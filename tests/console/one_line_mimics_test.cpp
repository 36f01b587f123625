// The TRV5200 and 9315 one-line mimics: 64-bit event masks against the
// green lines, the switch and breaker icons and the pictures, and their
// panels' rows (sums and loads with unknown phases, ratings that give no
// divisor, values that would overflow, the remaining time).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "console/diagram/diagram_tab.h"
#include "console/diagram/mimic_pw9315.h"
#include "console/diagram/mimic_trv5200.h"
#include "console/views/diagram_pictures.h"
#include "console/views/image_canvas.h"
#include "console/views/recording_canvas.h"
#include "tests/console/support/diagram_fixture.h"

namespace lark {
namespace {

using test::Block;
using test::Env;
using test::MakeNode;
using test::Node;
using test::Texts;

uint64_t Mask(std::initializer_list<int> bits) {
  uint64_t m = 0;
  for (int b : bits) m |= uint64_t{1} << b;
  return m;
}

Node Unit(int16_t comm, uint64_t mask) {
  Node n = MakeNode(kNodeSerial, comm, 3);
  Block(n).setMask(MaskWord::kReported, mask);
  return n;
}

std::vector<int> IconIds(const RecordingCanvas& rec) {
  std::vector<int> ids;
  for (const auto& op : rec.opsNamed("DrawIcon"))
    ids.push_back(std::stoi(op.substr(op.rfind(' '))));
  return ids;
}
std::vector<int> PictureIds(const std::vector<OneLinePicture>& pictures) {
  std::vector<int> ids;
  for (const auto& p : pictures) ids.push_back(p.id);
  return ids;
}

TEST(Trv5200Test, MasksAgainstLinesSwitchesAndPictures) {
  using L = TrvLine;
  const std::vector<L> bypassIn{L::kBypassIn, L::kBypassRiser, L::kManualFeed};
  const std::vector<L> manual{L::kManualLine, L::kManualDrop, L::kManualOut};
  const std::vector<L> battery{L::kBatteryTap, L::kBatteryLead, L::kBatteryToQ5N, L::kInverterToQ5N,
                               L::kOutputLine};
  auto join = [](std::vector<std::vector<L>> parts) {
    std::vector<L> out;
    for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
  };
  const uint64_t noInputs = Mask({18, 19, 24, 25});
  const struct Case {
    const char* name;
    uint64_t mask;
    std::vector<L> lines;
    std::vector<int> icons;     // Q3BP, Q4S, Q1, Q5N, QF1, battery
    std::vector<int> pictures;  // static switch, bypass, main, output, battery, rectifier, inverter
  } cases[] = {
      {"healthy, static switch off",
       0,
       join({bypassIn,
             manual,
             {L::kStaticFeed, L::kMainIn, L::kMainToRectifier, L::kRectifierToInverter},
             battery}),
       {265, 265, 265, 265, 263, 156},
       {kBmpStaticSwitch, kBmpSourceGreen, kBmpSourceGreen, kBmpSourceGreen, kIconBattery,
        kBmpRectifierGreen, kBmpInverterGreen}},
      {"bit 36: no green",
       Mask({36}),
       {},
       {265, 265, 265, 265, 263, 156},
       {kBmpStaticSwitch, kBmpSourceGreen, kBmpSourceGreen, kBmpSourceGreen, kIconBattery,
        kBmpRectifierGreen, kBmpInverterGreen}},
      {"Q3BP open, static switch on, inverter off",
       Mask({10, 6, 0, 18}),
       join({bypassIn,
             {L::kStaticFeed, L::kStaticLine, L::kStaticDrop, L::kStaticToQ5N, L::kOutputLine,
              L::kBatteryLead}}),
       {266, 265, 265, 265, 263, 156},
       {kBmpStaticSwitchGreen, kBmpSourceGreen, kBmpSourceRed, kBmpSourceGreen, kIconBattery,
        kBmpRectifierGreen, kBmpInverter}},
      {"static switch on but Q4S open",
       Mask({6, 27, 24}),
       join({{L::kMainIn, L::kMainToRectifier, L::kRectifierToInverter}, battery}),
       {265, 266, 265, 265, 263, 156},
       {kBmpStaticSwitchGreen, kBmpSourceRed, kBmpSourceGreen, kBmpSourceGreen, kIconBattery,
        kBmpRectifierGreen, kBmpInverterGreen}},
      {"no inputs, QF1 closed: the battery carries the load",
       noInputs,
       join({battery}),
       {265, 265, 265, 265, 263, 156},
       {kBmpStaticSwitch, kBmpSourceRed, kBmpSourceRed, kBmpSourceGreen, kIconBattery,
        kBmpRectifierGreen, kBmpInverterGreen}},
      {"no inputs, QF1 closed, inverter off: the lead only",
       noInputs | Mask({0}),
       {L::kBatteryLead},
       {265, 265, 265, 265, 263, 156},
       {kBmpStaticSwitch, kBmpSourceRed, kBmpSourceRed, kBmpSourceGreen, kIconBattery,
        kBmpRectifierGreen, kBmpInverter}},
      {"QF1 open, Q5N open, Q1 open, faults",
       Mask({15, 29, 17, 24, 11, 14, 33}),
       {L::kMainIn},
       {265, 265, 266, 266, 264, 157},
       {kBmpStaticSwitch, kBmpSourceRed, kBmpSourceGreen, kBmpSourceGreen, kIconBatteryFault,
        kBmpRectifierRed, kBmpInverterRed}},
      {"rectifier stopped",
       Mask({16, 24, 4}),
       join({{L::kMainIn, L::kMainToRectifier}, battery}),
       {265, 265, 265, 265, 263, 157},
       {kBmpStaticSwitch, kBmpSourceRed, kBmpSourceGreen, kBmpSourceGreen, kIconBatteryFault,
        kBmpRectifier, kBmpInverterGreen}},
  };
  Env e;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    EXPECT_EQ(Trv5200GreenLines(k.mask), k.lines);
    EXPECT_EQ(PictureIds(Trv5200Pictures(k.mask)), k.pictures);
    Node n = Unit(kCommModbusTrv5200, k.mask);
    RecordingCanvas rec;
    PaintDiagramTab(rec, *n, true, e.env);
    EXPECT_EQ(IconIds(rec), k.icons);
    const auto green = std::count_if(rec.ops().begin(), rec.ops().end(), [](const std::string& op) {
      return op.rfind("Line ", 0) == 0 && op.find("pen solid 3 00ff00") != std::string::npos;
    });
    EXPECT_EQ(green, static_cast<long>(k.lines.size()));
  }
}

TEST(Pw9315Test, MasksAgainstLinesBreakersAndPictures) {
  using L = PwLine;
  const std::vector<L> bypass{L::kBypassIn, L::kBypassLine, L::kBypassDrop, L::kBypassOut};
  const std::vector<L> main{L::kMainIn,     L::kToRectifier, L::kRectifierToInverter,
                            L::kBatteryTap, L::kBatteryLead, L::kInverterOut,
                            L::kOutputLine};
  auto join = [](std::vector<std::vector<L>> parts) {
    std::vector<L> out;
    for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
  };
  const struct Case {
    const char* name;
    uint64_t mask;
    std::vector<L> lines;
    std::vector<int> icons;     // battery, CB1, CB2, CB3
    std::vector<int> pictures;  // bypass in, main in, output, bypass, rectifier, inverter, battery
  } cases[] = {
      {"healthy",
       0,
       join({main, bypass}),
       {156, 265, 263, 265},
       {kBmpSourceGreen, kBmpSourceGreen, kBmpSourceGreen, kBmpSourceGreen, kBmpRectifierGreen,
        kBmpInverterGreen, kIconBattery}},
      {"bit 40: no green",
       Mask({40}),
       {},
       {156, 265, 263, 265},
       {kBmpSourceGreen, kBmpSourceGreen, kBmpSourceGreen, kBmpSourceGreen, kBmpRectifierGreen,
        kBmpInverterGreen, kIconBattery}},
      {"CB1 open: the first unit only",
       Mask({22}),
       join({{L::kMainIn}, bypass}),
       {156, 266, 263, 265},
       {kBmpSourceGreen, kBmpSourceGreen, kBmpSourceGreen, kBmpSourceGreen, kBmpRectifierGreen,
        kBmpInverterGreen, kIconBattery}},
      {"bit 0: the battery line up to the main line",
       Mask({0}),
       join({main, bypass, {L::kBatteryToInverter}}),
       {156, 265, 263, 265},
       {kBmpSourceGreen, kBmpSourceGreen, kBmpSourceGreen, kBmpSourceGreen, kBmpRectifierGreen,
        kBmpInverterGreen, kIconBattery}},
      {"on battery, inputs lost, static switch off",
       Mask({0, 11, 19, 12, 15}),
       {L::kBatteryTap, L::kBatteryLead, L::kBatteryToInverter, L::kInverterOut, L::kOutputLine},
       {156, 265, 263, 265},
       {kBmpSourceRed, kBmpSourceRed, kBmpSourceGreen, kBmpSource, kBmpRectifierGreen, kBmpInverter,
        kIconBattery}},
      {"CB2 and CB3 open, faults",
       Mask({0, 39, 10, 17, 31, 8, 26, 37}),
       join(
           {{L::kMainIn, L::kToRectifier, L::kRectifierToInverter, L::kBatteryTap, L::kInverterOut},
            bypass,
            {L::kBatteryLead}}),
       {157, 265, 264, 266},
       {kBmpSourceGreen, kBmpSourceGreen, kBmpSourceRed, kBmpSourceRed, kBmpRectifierRed,
        kBmpInverterRed, kIconBatteryFault}},
      {"rectifier off",
       Mask({32, 13}),
       {L::kMainIn, L::kToRectifier},
       {156, 265, 263, 265},
       {kBmpSourceRed, kBmpSourceGreen, kBmpSourceGreen, kBmpSourceRed, kBmpRectifier,
        kBmpInverterGreen, kIconBattery}},
  };
  Env e;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    EXPECT_EQ(Pw9315GreenLines(k.mask), k.lines);
    EXPECT_EQ(PictureIds(Pw9315Pictures(k.mask)), k.pictures);
    Node n = Unit(kCommModbus9315, k.mask);
    RecordingCanvas rec;
    PaintDiagramTab(rec, *n, true, e.env);
    EXPECT_EQ(IconIds(rec), k.icons);
  }
}

// The texts after `label` in the recorded paint, `count` of them.
std::vector<std::string> RowAfter(const std::vector<std::string>& texts, const std::string& label,
                                  size_t count, size_t nth = 0) {
  auto it = texts.begin();
  for (size_t k = 0;; ++k) {
    it = std::find(it, texts.end(), label);
    if (it == texts.end()) return {"no " + label};
    if (k == nth) break;
    ++it;
  }
  const size_t start = static_cast<size_t>(it - texts.begin()) + 1;
  return {texts.begin() + static_cast<long>(start),
          texts.begin() + static_cast<long>(std::min(texts.size(), start + count))};
}

TEST(Trv5200Test, OutputPanelSumsAndLoads) {
  using Strings = std::vector<std::string>;
  const struct Case {
    const char* name;
    int32_t p1, p2, p3, rating;
    Strings sum, loads, loadSum;  // empty: no such row
  } cases[] = {
      {"an unknown phase is left out",
       100,
       -1,
       300,
       500000,
       {"400", "kW"},
       {"20.0", "60.0", "%"},
       {"80.0", "%"}},
      {"rating 999 gives no load rows", 100, 200, 300, 999, {"600", "kW"}, {}, {}},
      {"unknown rating gives no load rows", 100, 200, 300, -1, {"600", "kW"}, {}, {}},
      {"no known phase: no sum", -1, -1, -1, 500000, {}, {}, {}},
      {"3 000 000 kW held at the top",
       3000000,
       3000000,
       3000000,
       1000,
       {"9000000", "kW"},
       {"214748364.7", "214748364.7", "214748364.7", "%"},
       {"214748364.7", "%"}},
  };
  Env e;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Node n = Unit(kCommModbusTrv5200, 0);
    LiveDataBlock& b = Block(n);
    b.putI32(412, k.p1);
    b.putI32(416, k.p2);
    b.putI32(420, k.p3);
    b.putI32(488, k.rating);
    b.putI32(392, INT32_MAX);  // the second voltage times ten, held
    RecordingCanvas rec;
    PaintDiagramTab(rec, *n, true, e.env);
    const auto texts = Texts(rec);
    EXPECT_EQ(RowAfter(texts, "CP_48", 2), (Strings{"214748364.7", "V"}));
    EXPECT_EQ(RowAfter(texts, "CP_50", k.sum.size()), k.sum.empty() ? Strings{"no CP_50"} : k.sum);
    // The inverter panel's load row is unknown here: CP_12 is the output's.
    EXPECT_EQ(RowAfter(texts, "CP_12", k.loads.size()),
              k.loads.empty() ? Strings{"no CP_12"} : k.loads);
    if (!k.loadSum.empty()) {
      EXPECT_EQ(RowAfter(texts, "CP_12", 2, 1), k.loadSum);
    }
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "CP_12"), k.loads.empty() ? 0 : 2);
  }
  // And in pixels, cleanly.
  Node n = Unit(kCommModbusTrv5200, 0);
  for (size_t off = 264; off < 500; off += 4) Block(n).putI32(off, INT32_MAX);
  ImageCanvas page(760, 420);
  PaintDiagramTab(page, *n, true, e.env);
}

TEST(Pw9315Test, RemainingTimeInWholeMinutes) {
  const struct Case {
    int32_t raw;
    std::vector<std::string> row;
  } cases[] = {{125, {"12", "min"}}, {9, {"0", "min"}}, {-1, {"no CP_15"}}, {-7, {"no CP_15"}}};
  Env e;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.raw);
    Node n = Unit(kCommModbus9315, 0);
    Block(n).putI32(396, k.raw);
    Block(n).putI32(384, 4080);
    RecordingCanvas rec;
    PaintDiagramTab(rec, *n, true, e.env);
    const auto texts = Texts(rec);
    EXPECT_EQ(RowAfter(texts, "CP_15", k.row.size()), k.row);
    EXPECT_EQ(RowAfter(texts, "CP_3", 2), (std::vector<std::string>{"408.0", "V"}));
  }
}

}  // namespace
}  // namespace lark
