// The Diagram tab: layout, value lists and mimic panels (recorded value-box
// calls per family, the layout read back, hostile blocks painted cleanly),
// the power-flow rules and the single-phase pictures (pixel probes).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>
#include <cstring>
#include <string>
#include <vector>

#include "console/diagram/diagram_flow.h"
#include "console/diagram/diagram_rows.h"
#include "console/diagram/diagram_source.h"
#include "console/diagram/diagram_tab.h"
#include "console/diagram/diagram_values.h"
#include "console/diagram/mimic_panels.h"
#include "console/views/diagram_pictures.h"
#include "console/views/image_canvas.h"
#include "console/views/recording_canvas.h"
#include "core/device_node.h"
#include "core/live_data.h"
#include "tests/console/support/diagram_fixture.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

using test::Block;
using test::ColourOf;
using test::Env;
using test::MakeNode;
using test::Node;
using test::Texts;

constexpr ColorRef kSerious = 0x0000ff, kInformation = 0x00a000;

std::string Hex(ColorRef c) {
  char b[8];
  std::snprintf(b, sizeof b, "%06x", c);
  return b;
}

std::vector<std::string> ParameterTexts(const DeviceNode& node) {
  Env e;
  RecordingCanvas rec;
  RowCursor rows(rec, e.env, 10, 40, 200, 3, 60, 35);
  const DiagramSource src(node);
  DrawParameterRows(rows, src, e.env, node.upsTypeCode());
  DrawEnvironmentRows(rows, src, e.env);
  return Texts(rec);
}

using TextList = std::vector<std::string>;

TEST(DiagramRowsTest, ParametersPerFamily) {
  struct Case {
    const char* name;
    uint8_t kind;
    int16_t comm;
    uint8_t code;
    std::vector<std::pair<int, int32_t>> values;
    TextList want;
  } cases[] = {
      {"all unknown: captions only", kNodeSnmp, 0, 0, {}, {"CP_1", "CP_8"}},
      {"SNMP has no CP_48 rows", kNodeSnmp, 0, 0, {{52, 500}, {54, 2300}, {29, 2290}},
       {"CP_1", "CP_4", "50.0", "Hz", "CP_3", "230.0", "V", "CP_8", "CP_3", "229.0", "V"}},
      {"binary x10, no power row", kNodeSerial, kCommThreePhase, 0,
       {{77, 230}, {80, 231}, {83, 229}, {79, 5000}, {75, 500}},
       {"CP_1", "CP_4", "50.0", "Hz", "CP_3", "230.0", "231.0", "229.0", "V", "CP_8"}},
      {"power in KW", kNodeSerial, kCommAscii, 0, {{79, 1500}, {82, 700}, {85, 800}},
       {"CP_1", "CP_5", "1.5", "0.7", "0.8", "KW", "CP_8"}},
      {"power in W", kNodeSerial, kCommModbusUps, 0, {{79, 999}, {82, 999}, {85, 999}},
       {"CP_1", "CP_5", "999", "999", "999", "W", "CP_8"}},
      {"unknown phase stays hidden", kNodeSerial, kCommAscii, 0, {{79, 1500}, {82, -1}, {85, 800}},
       {"CP_1", "CP_5", "1.5", "0.8", "KW", "CP_8"}},
      {"unknown first phase hides the row", kNodeSerial, kCommAscii, 0, {{82, 1500}},
       {"CP_1", "CP_8"}},
      {"code 6 starts with the empty row", kNodeSerial, kCommAscii, 6, {{75, 500}, {42, 499}},
       {"CP_8", "CP_4", "49.9", "Hz"}},
      {"TRV5200", kNodeSerial, kCommModbusTrv5200, 3, {{23, 230}, {0, 12}},
       {"CP_49-2", "CP_3", "230", "V", "CP_49-1", "CP_6", "12", "A"}},
      {"9315", kNodeSerial, kCommModbus9315, 3, {{3, 105}, {8, 95}},
       {"CP_1", "CP_8", "CP_6", "10.5", "10.5", "10.5", "A", "Factor", "95", "%"}},
      {"inverter names no source", kNodeSerial, kCommInverter, 0, {{75, 500}}, {"CP_1", "CP_8"}},
  };
  for (auto& k : cases) {
    SCOPED_TRACE(k.name);
    Node node = MakeNode(k.kind, k.comm, k.code);
    for (auto [slot, v] : k.values) Block(node).setSlot(slot, v);
    EXPECT_EQ(ParameterTexts(*node), k.want);
  }
}

TEST(DiagramRowsTest, EnvironmentAndRelays) {
  Node node = MakeNode(kNodeSnmp, 0);
  LiveDataBlock& b = Block(node);
  for (auto [slot, v] : std::vector<std::pair<int, int32_t>>{
           {74, 25}, {75, 40}, {82, 0}, {83, 1}, {84, 0}, {85, -1}, {86, 1}, {87, 2}})
    b.setSlot(slot, v);
  Env e;
  RecordingCanvas rec;
  RowCursor rows(rec, e.env, 10, 40, 200, 3, 60, 35);
  const DiagramSource src(*node);
  DrawEnvironmentRows(rows, src, e.env);
  EXPECT_EQ(Texts(rec), (TextList{"CP_10", "CP_2", "25", "\u2103", "CP_11", "40", "%",
                                "R1 (Door): ", "T_9", "R3 (Smoke): ", "T_8", "R4 (Water): ",
                                "T_8"}));
  EXPECT_EQ(ColourOf(rec, "25"), Hex(kInformation));
  EXPECT_EQ(ColourOf(rec, "40"), Hex(kSerious));
  EXPECT_EQ(ColourOf(rec, "T_9"), Hex(kInformation));
  EXPECT_EQ(ColourOf(rec, "R3 (Smoke): "), Hex(kPanelTextColour));
  // Relay 3 is on (1): Serious; relay 4 reads 2: on, but Information.
  const auto ops = rec.opsNamed("DrawText");
  EXPECT_NE(ops[10].find("colour " + Hex(kSerious)), std::string::npos) << ops[10];
  EXPECT_NE(ops[12].find("colour " + Hex(kInformation)), std::string::npos) << ops[12];

  // Either alarm slot unknown: the empty row only.
  b.setSlot(82, -1);
  RecordingCanvas rec2;
  RowCursor rows2(rec2, e.env, 10, 40, 200, 3, 60, 35);
  DrawEnvironmentRows(rows2, DiagramSource(*node), e.env);
  EXPECT_TRUE(Texts(rec2).empty());
  EXPECT_EQ(rec2.ops().size(), 1u);
}

void PutDate(LiveDataBlock& b, size_t off, const char* date) {
  b.writeBytes(off, CBytes(reinterpret_cast<const uint8_t*>(date), 8));
}

TEST(MimicPanelsTest, OutputAndBatteryRows) {
  struct Case {
    const char* name;
    Node node;
    PanelOptions options;
    bool battery;
    TextList want;
  };
  std::vector<Case> cases;
  {
    Node n = MakeNode(kNodeSerial, kCommThreePhase, 3);
    Block(n).putI32(520, 230);
    Block(n).putI32(524, 10);
    Block(n).putI32(568, 231);
    cases.push_back({"binary V x I in KVA, second voltage", std::move(n), {true, true}, false,
                     {"CP_9", "CP_3", "230.0", "V", "CP_48", "231.0", "V", "CP_6", "10.0", "A",
                      "CP_5", "2.3", "KVA"}});
  }
  {
    Node n = MakeNode(kNodeSerial, kCommThreePhase, 3);
    Block(n).putI32(520, 230);
    cases.push_back({"binary without current: no power", std::move(n), {}, false,
                     {"CP_9", "CP_3", "230.0", "V"}});
  }
  {
    Node n = MakeNode(kNodeSerial, kCommThreePhase, 6);
    Block(n).putI32(520, 230);
    cases.push_back({"single-path mimic serves no binary", std::move(n), {false, false}, false,
                     {"CP_9"}});
  }
  {
    Node n = MakeNode(kNodeSnmp, 0);
    Block(n).putI32(392, 500);
    Block(n).putI32(408, 999);
    Block(n).putI32(424, 999);
    Block(n).putI32(440, 999);
    cases.push_back({"SNMP: W, no second voltage", std::move(n), {true, true}, false,
                     {"CP_9", "CP_4", "50.0", "Hz", "CP_5", "999", "999", "999", "W"}});
  }
  {
    Node n = MakeNode(kNodeSerial, kCommAscii);
    Block(n).putI32(392, 2700);
    Block(n).putI32(412, 2710);
    Block(n).putI32(400, 31);
    PutDate(Block(n), 976, "20120531");
    cases.push_back({"ASCII battery: two strings and the date", std::move(n), {}, true,
                     {"CP_7", "CP_3", "270.0", "271.0", "V", "CP_2", "31", "\u2103", "CP_17",
                      "2012\\05\\31"}});
  }
  {
    Node n = MakeNode(kNodeGprs, 0);
    Block(n).putI32(188, 42);
    cases.push_back({"GPRS: first date byte 0 gives no row", std::move(n), {}, true,
                     {"CP_7", "CP_15", "42", "min"}});
  }
  {
    Node n = MakeNode(kNodeSerial, kCommInverter);
    Block(n).putI32(392, 2700);
    Block(n).putI32(496, 500);
    cases.push_back({"inverter: captions only", std::move(n), {}, true, {"CP_7"}});
  }
  for (auto& k : cases) {
    SCOPED_TRACE(k.name);
    Env e;
    RecordingCanvas rec;
    RowCursor rows(rec, e.env, 10, 40, 200, 3, 60, 35);
    const DiagramSource src(*k.node);
    if (k.battery)
      DrawBatteryPanel(rows, src, e.env, k.options);
    else
      DrawOutputPanel(rows, src, e.env, k.options);
    EXPECT_EQ(Texts(rec), k.want);
  }
}

TEST(MimicPanelsTest, DueDateColourFollowsTheClock) {
  struct Case {
    const char* due;
    ColorRef colour;
  } cases[] = {{"20261211", kSerious}, {"20261212", kInformation}, {"20251231", kSerious},
               {"20270101", kInformation}};
  for (const auto& k : cases) {
    Node n = MakeNode(kNodeSnmp, 0);
    PutDate(Block(n), 592, "20120531");
    PutDate(Block(n), 601, k.due);
    Env e;
    RecordingCanvas rec;
    RowCursor rows(rec, e.env, 10, 40, 200, 3, 60, 35);
    DrawBatteryPanel(rows, DiagramSource(*n), e.env, {});
    const std::string shown = std::string(k.due, 4) + "\\" + std::string(k.due + 4, 2) + "\\" +
                              std::string(k.due + 6, 2);
    EXPECT_EQ(ColourOf(rec, shown), Hex(k.colour)) << k.due;
    EXPECT_EQ(ColourOf(rec, "2012\\05\\31"), Hex(kPanelTextColour)) << k.due;
  }
}

TEST(DiagramLayoutTest, GapMarginUnitAndOrigin) {
  struct Case {
    const char* name;
    int16_t comm;
    int w, h, tabArea;
    int gap, margin;
  } cases[] = {
      // q = (h - 10) / 20 against the line height 13.
      {"low page: gap 3", kCommAscii, 760, 200, 780, 3, 20},
      {"gap 0", kCommAscii, 760, 270, 780, 0, 20},
      {"gap 5", kCommAscii, 760, 370, 780, 5, 20},
      {"gap 10", kCommAscii, 760, 470, 780, 10, 20},
      {"gap held at 10", kCommAscii, 760, 600, 780, 10, 20},
      {"margin held at 0", kCommModbus9315, 760, 420, 100, 7, 0},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    Env e;
    e.env.area = {0, 0, k.w, k.h};
    e.env.tabAreaWidth = k.tabArea;
    RecordingCanvas rec;
    Node n = MakeNode(kNodeSerial, k.comm);
    const DiagramLayout l = ComputeDiagramLayout(rec, *n, e.env);
    EXPECT_EQ(l.gap, k.gap);
    EXPECT_EQ(l.margin, k.margin);
  }
}

TEST(DiagramLayoutTest, BothBranchesOfTheUnit) {
  struct Case {
    const char* name;
    int16_t comm;
    int w, h;
    bool byHeight;
    int y0Extra;
  } cases[] = {
      {"wide page: by height", kCommAscii, 2000, 300, true, 10},
      {"wide page, TRV5200: no extra", kCommModbusTrv5200, 2000, 300, true, 0},
      {"wide page, 9315 keeps the extra", kCommModbus9315, 2000, 300, true, 10},
      {"tall page: by width", kCommAscii, 700, 900, false, 10},
      {"tall page, TRV5200", kCommModbusTrv5200, 700, 900, false, 0},
      {"tall page, 9315", kCommModbus9315, 700, 900, false, 0},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    Env e;
    e.env.area = {0, 0, k.w, k.h};
    RecordingCanvas rec;
    Node n = MakeNode(kNodeSerial, k.comm, 3);
    const DiagramLayout l = ComputeDiagramLayout(rec, *n, e.env);
    const int plh = e.env.panelLineHeight;
    const int u = k.byHeight ? (k.h - 2 * plh) / 5 : (k.w - 2 * plh - l.column - 50) / 12;
    EXPECT_EQ(l.u, u);
    EXPECT_EQ(l.y0, u + 2 * plh + k.y0Extra);
    EXPECT_EQ(l.x0, l.secondLeft + 30);
    EXPECT_EQ(l.secondLeft, l.firstLeft + l.column + 20);
    EXPECT_TRUE(l.mimic);
  }
  // A pane dragged nearly shut: no unit, no mimic.
  Env e;
  e.env.area = {0, 0, 300, 900};
  RecordingCanvas rec;
  Node n = MakeNode(kNodeSerial, kCommAscii);
  const DiagramLayout l = ComputeDiagramLayout(rec, *n, e.env);
  EXPECT_LT(l.u, 1);
  EXPECT_FALSE(l.mimic);
  PaintDiagramTab(rec, *n, true, e.env);
  const auto texts = Texts(rec);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Internal"), 1);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "CP_9"), 0);
}

// The output panel sits right of the diagram and moves left and down when it
// would leave the window, below the battery's caption when it reaches it.
TEST(DiagramLayoutTest, NarrowWindowMovesTheOutputPanel) {
  for (int clientRight : {3000, 900, 600}) {  // 600: not even room beside the Parameters
    Env e;
    e.env.clientRight = clientRight;
    RecordingCanvas rec;
    Node n = MakeNode(kNodeSnmp, 0);
    const DiagramLayout l = ComputeDiagramLayout(rec, *n, e.env);
    PaintDiagramTab(rec, *n, true, e.env);
    std::string caption;
    for (const auto& op : rec.opsNamed("DrawText"))
      if (op.find("\"CP_9\"") != std::string::npos) caption = op;
    ASSERT_FALSE(caption.empty());
    int left = l.x0 + 7 * l.u + 10;
    int top = l.y0 + l.u + 28 + e.env.panelLineHeight;
    if (left + l.secondPanelWidth + e.env.paneRight >= clientRight - 10) {
      left = std::max(clientRight - 10 - e.env.paneRight - l.secondPanelWidth, l.secondLeft);
      top += l.u / 2 + e.env.lineHeight();
      const int batteryCaptionBottom = l.y0 + 3 * l.u + 31 + e.env.panelLineHeight;  // under the battery icon
      if (left < l.x0 + 4 * l.u + 100 && top < batteryCaptionBottom) top = batteryCaptionBottom + l.gap;
    }
    EXPECT_EQ(caption.substr(0, caption.find(" \"")),
              "DrawText " + std::to_string(left + 10) + "," + std::to_string(top + 1) + "," +
                  std::to_string(left + l.secondPanelWidth) + "," +
                  std::to_string(top + e.env.lineHeight() + 2 * l.gap))
        << clientRight;
  }
}

// Blocks a link could send or leave out: the page paints, nothing overflows.
TEST(DiagramTabTest, HostileBlocksPaintCleanly) {
  Env e;
  std::vector<Node> nodes;
  for (auto [kind, comm] : std::vector<std::pair<uint8_t, int16_t>>{
           {kNodeSnmp, 0}, {kNodeGprs, 0}, {kNodeSerial, kCommAscii},
           {kNodeSerial, kCommThreePhase}, {kNodeSerial, kCommModbusUps},
           {kNodeSerial, kCommModbusTrv5200}, {kNodeSerial, kCommModbus9315}}) {
    for (uint8_t code : {0, 1, 3, 6}) {
      Node n = MakeNode(kind, comm, code);
      LiveDataBlock& b = Block(n);
      for (size_t off = 0; off + 4 <= b.size(); off += 4) b.putI32(off, INT32_MAX);
      nodes.push_back(std::move(n));
      nodes.push_back(MakeNode(kind, comm, code));
      nodes.back()->freeAllBlocks();
    }
  }
  // Another kind's block only: an SNMP device holding an ASCII block.
  DeviceNode odd;
  odd.setNodeKind(kNodeSnmp);
  odd.ensureBlock(BlockKind::kAscii).setSlot(52, 500);
  for (const Node& n : nodes) {
    ImageCanvas page(e.env.area.width(), e.env.area.height());
    PaintDiagramTab(page, *n, true, e.env);
  }
  RecordingCanvas rec;
  PaintDiagramTab(rec, odd, true, e.env);
  const auto texts = Texts(rec);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "50.0"), 0);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Parameters"), 1);

  // The binary block's x10 and V x I saturate instead of overflowing.
  Node big = MakeNode(kNodeSerial, kCommThreePhase, 3);
  Block(big).putI32(520, INT32_MAX);
  Block(big).putI32(524, INT32_MAX);
  RecordingCanvas panel;
  RowCursor rows(panel, e.env, 10, 40, 200, 3, 60, 35);
  DrawOutputPanel(rows, DiagramSource(*big), e.env, {});
  EXPECT_EQ(Texts(panel), (TextList{"CP_9", "CP_3", "214748364.7", "V", "CP_6", "214748364.7", "A",
                                  "CP_5", "2147483.6", "KVA"}));
}

// Without the full flag only titles, captions and empty rows clear pixels.
TEST(DiagramTabTest, WithoutFullFlagOldPixelsStay) {
  Env e;
  Node n = MakeNode(kNodeSnmp, 0);
  Block(n).setMask(MaskWord::kReported, 1u << 28);  // no power-flow fills
  RecordingCanvas full, part;
  PaintDiagramTab(full, *n, true, e.env);
  PaintDiagramTab(part, *n, false, e.env);
  ASSERT_EQ(full.ops().size(), part.ops().size() + 1);
  EXPECT_EQ(full.ops()[0], "Rectangle 0,0,761,421 pen null brush ffffff");
  for (const auto& op : part.opsNamed("Rectangle"))
    EXPECT_NE(op.find("pen null brush ffffff"), std::string::npos) << op;  // clearing only
}

using S = FlowSegment;
constexpr FlowLevel kG = FlowLevel::kInformation, kR = FlowLevel::kSerious,
                    kA = FlowLevel::kWarning;

std::vector<FlowFill> Fills(std::initializer_list<S> segs, FlowLevel level) {
  std::vector<FlowFill> out;
  for (S s : segs) out.push_back({s, level});
  return out;
}
std::vector<FlowFill> operator+(std::vector<FlowFill> a, const std::vector<FlowFill>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Events, battery state and size of one device, in its family's bits.
struct FlowCase {
  const char* name;
  uint8_t kind;
  int16_t comm;
  int code;
  std::vector<int> bits;
  int32_t s;     // BatteryStatus
  int32_t size;  // rating compared with 6000
  std::vector<FlowFill> want;
};

void SetFlowInputs(const Node& n, const FlowCase& k) {
  uint64_t mask = 0;
  for (int b : k.bits) mask |= uint64_t{1} << b;
  Block(n).setMask(MaskWord::kReported, mask);
  const bool snmp = k.kind == kNodeSnmp;
  Block(n).putI32(snmp ? 500 : k.kind == kNodeGprs ? 180 : 376, k.s);
  Block(n).setSlot(snmp ? 0 : 4, k.size);
}

TEST(FlowFillsTest, RulesInFirstMatchOrder) {
  const auto normalS = Fills({S::kInput, S::kLeftRiserLower, S::kLowerPath, S::kRightRiserLower,
                              S::kOutput, S::kBatteryBranch}, kG);
  const auto charging = Fills({S::kInput, S::kLeftRiserLower, S::kLowerPathLeft,
                               S::kBatteryBranch}, kR);
  const auto discharge = Fills({S::kBatteryBranch, S::kLowerPathRight, S::kRightRiserLower,
                                S::kOutput}, kA);
  const auto upper = Fills({S::kInput, S::kLeftRiserUpper, S::kUpperPath, S::kRightRiserUpper}, kG);
  const auto feed = Fills({S::kBatteryBranch, S::kLowerPathRight, S::kRightRiserLower}, kG);
  const FlowCase cases[] = {
      // Code 0.
      {"SNMP event 28: bare pipes", kNodeSnmp, 0, 0, {28, 5}, 1, 3000, {}},
      {"ASCII event 24: bare pipes", kNodeSerial, kCommAscii, 0, {24}, 1, 3000, {}},
      {"normal", kNodeSerial, kCommAscii, 0, {}, 0, 3000, normalS},
      {"normal, output off", kNodeSerial, kCommAscii, 0, {2}, 0, 3000,
       Fills({S::kInput, S::kLeftRiserLower, S::kLowerPathLeft, S::kBatteryBranch}, kG)},
      {"small and discharging is not normal", kNodeSerial, kCommAscii, 0, {}, 3, 3000, discharge},
      {"large and discharging stays normal", kNodeSerial, kCommAscii, 0, {}, 3, 6000, normalS},
      {"bypass, charging (unknown state)", kNodeSerial, kCommAscii, 0, {22}, -1, 3000,
       Fills({S::kInput, S::kLeftRiserUpper, S::kUpperPath, S::kRightRiserUpper, S::kOutput}, kR) +
           Fills({S::kLeftRiserLower, S::kLowerPathLeft, S::kBatteryBranch}, kR)},
      {"SNMP bypass, state 0 is not charging, output off", kNodeSnmp, 0, 0, {5, 18}, 0, 3000,
       Fills({S::kInput, S::kLeftRiserUpper, S::kUpperPath, S::kRightRiserUpper}, kR)},
      {"bypass blocked falls to the last case", kNodeSerial, kCommAscii, 0, {22, 4}, 1, 3000,
       charging},
      {"battery, small, discharging", kNodeSerial, kCommModbusUps, 0, {21}, 3, 3000, discharge},
      {"battery, inverter stopped, charging", kNodeSerial, kCommAscii, 0, {21, 8}, 1, 6000,
       charging},
      {"battery and bypass, not charging, small discharging", kNodeSnmp, 0, 0, {1, 5}, 3, 100,
       discharge},
      {"GPRS as ASCII", kNodeGprs, 0, 0, {}, 0, 3000, normalS},
      {"inverter CommType: no colouring", kNodeSerial, kCommInverter, 0, {}, 0, 3000, {}},
      // Code 1.
      {"code 1 SNMP floating: no charging set", kNodeSnmp, 0, 1, {}, 0, 0,
       upper + Fills({S::kOutput}, kG)},
      {"code 1 local floating: both", kNodeSerial, kCommAscii, 1, {}, 0, 0,
       upper + Fills({S::kOutput}, kG) + Fills({S::kInput, S::kLeftRiserLower, S::kLowerPathLeft,
                                               S::kBatteryBranch}, kG)},
      {"code 1 bypass bit plays no part", kNodeSerial, kCommModbusUps, 1, {22}, 0, 0,
       upper + Fills({S::kOutput}, kG) + Fills({S::kInput, S::kLeftRiserLower, S::kLowerPathLeft,
                                               S::kBatteryBranch}, kG)},
      {"code 1 battery discharging", kNodeSnmp, 0, 1, {1}, 3, 0, discharge},
      {"code 1 battery, output off", kNodeSnmp, 0, 1, {1, 24}, 3, 0, {}},
      // Code 2.
      {"code 2 SNMP state unknown feeds the inverter", kNodeSnmp, 0, 2, {}, -1, 0,
       upper + Fills({S::kOutput}, kG) + feed},
      {"code 2 SNMP state 0", kNodeSnmp, 0, 2, {20}, 0, 0, upper},
      {"code 2 local resting", kNodeGprs, 0, 2, {}, 2, 0, upper + Fills({S::kOutput}, kG)},
      {"code 2 battery discharging", kNodeSerial, kCommAscii, 2, {21}, 3, 0, discharge},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    Node n = MakeNode(k.kind, k.comm, static_cast<uint8_t>(k.code));
    SetFlowInputs(n, k);
    EXPECT_EQ(FlowFills(DiagramSource(*n), k.code), k.want);
  }
}

struct Painted {
  ImageCanvas page{760, 420};
  DiagramLayout layout;
};

std::unique_ptr<Painted> Paint(const DeviceNode& n) {
  Env e;
  auto p = std::make_unique<Painted>();
  p->layout = ComputeDiagramLayout(p->page, n, e.env);
  PaintDiagramTab(p->page, n, true, e.env);
  return p;
}

CanvasPoint Centre(FlowSegment s, const DiagramLayout& l) {
  const CanvasRect r = FlowSegmentRect(s, l);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// Fills land inside the pipes: the centre of every segment reads its colour,
// or the window colour where nothing flows; ASCII and Modbus draw alike.
TEST(FlowFillsTest, ProbesAtSegmentCentres) {
  Node ascii = MakeNode(kNodeSerial, kCommAscii, 0);
  Block(ascii).setMask(MaskWord::kReported, 1u << 22);  // bypass
  Block(ascii).putI32(376, 2);
  auto p = Paint(*ascii);
  ASSERT_TRUE(p->layout.mimic);
  for (S s : {S::kInput, S::kLeftRiserUpper, S::kUpperPath, S::kRightRiserUpper, S::kOutput}) {
    const CanvasPoint c = Centre(s, p->layout);
    EXPECT_EQ(p->page.Pixel(c.x, c.y), kSerious) << static_cast<int>(s);
  }
  // The lower path's left half, off the rectifier picture.
  const CanvasRect left = FlowSegmentRect(S::kLowerPathLeft, p->layout);
  EXPECT_EQ(p->page.Pixel(left.left + 3, (left.top + left.bottom) / 2), 0xffffffu);

  Node modbus = MakeNode(kNodeSerial, kCommModbusUps, 0);
  Block(modbus).setMask(MaskWord::kReported, 1u << 22);
  Block(modbus).putI32(376, 2);
  EXPECT_EQ(*Paint(*modbus)->page.image(), *p->page.image());

  // A fill stays one pixel inside both walls.
  const DiagramLayout& l = p->layout;
  const int h = l.pipe / 2;
  EXPECT_EQ(p->page.Pixel((l.x0 + 3 * l.u), l.y0 - h), SysColorValue(kColorBtnShadow));
  EXPECT_EQ(p->page.Pixel((l.x0 + 3 * l.u), l.y0 - h + 1), kSerious);
  EXPECT_EQ(p->page.Pixel((l.x0 + 3 * l.u), l.y0 + h - 1), kSerious);
  EXPECT_EQ(p->page.Pixel((l.x0 + 3 * l.u), l.y0 + h), SysColorValue(kColorBtnFace));
}

TEST(FlowFillsTest, CodeTwoHasNoRectifierPath) {
  Node n = MakeNode(kNodeSerial, kCommAscii, 2);
  auto p = Paint(*n);
  const DiagramLayout& l = p->layout;
  const int h = l.pipe / 2, mid = l.y0 + l.u + l.u / 2;
  EXPECT_EQ(p->page.Pixel(l.x0 + l.u - h, mid), 0xffffffu);  // the riser's walls are gone
  EXPECT_EQ(p->page.Pixel(l.x0 + l.u + h, mid), 0xffffffu);
  EXPECT_EQ(p->page.Pixel(l.x0 + 2 * l.u, l.y0 + 2 * l.u - h), 0xffffffu);
  EXPECT_EQ(p->page.Pixel(l.x0 + 2 * l.u, l.y0 + 2 * l.u + h), 0xffffffu);
  // No rectifier or inverter picture either.
  RecordingCanvas rec;
  Env e;
  PaintDiagramTab(rec, *n, true, e.env);
  for (const auto& op : rec.opsNamed("BitBlt"))
    EXPECT_NE(op.find(" 167"), std::string::npos) << op;
}

// The rectifier and inverter pictures follow their bits; CommType 2 reads as 0.
TEST(SinglePhaseTest, PicturesFollowTheirBits) {
  struct Case {
    const char* name;
    uint8_t kind;
    int16_t comm;
    std::vector<int> bits;
    int rectifier, inverter;  // 0: none
  } cases[] = {
      {"ASCII idle", kNodeSerial, kCommAscii, {}, kBmpRectifier, kBmpInverter},
      {"ASCII faults", kNodeSerial, kCommAscii, {7, 17}, kBmpRectifierRed, kBmpInverterRed},
      {"Modbus as ASCII", kNodeSerial, kCommModbusUps, {7}, kBmpRectifierRed, kBmpInverter},
      {"SNMP faults", kNodeSnmp, 0, {21, 13}, kBmpRectifierRed, kBmpInverterRed},
      {"SNMP ignores local bits", kNodeSnmp, 0, {7, 17}, kBmpRectifier, kBmpInverter},
      {"GPRS", kNodeGprs, 0, {17}, kBmpRectifier, kBmpInverterRed},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    Node n = MakeNode(k.kind, k.comm, 1);
    uint64_t mask = 0;
    for (int b : k.bits) mask |= uint64_t{1} << b;
    Block(n).setMask(MaskWord::kReported, mask | (uint64_t{1} << 24) | (uint64_t{1} << 28));
    auto p = Paint(*n);
    const DiagramLayout& l = p->layout;
    const CanvasPoint rect{l.x0 + 3 * l.u - 13, l.y0 + 2 * l.u};
    const CanvasPoint inv{l.x0 + 5 * l.u + 13, l.y0 + 2 * l.u};
    EXPECT_EQ(p->page.Pixel(rect.x, rect.y), DiagramPictureColour(k.rectifier));
    EXPECT_EQ(p->page.Pixel(inv.x, inv.y), DiagramPictureColour(k.inverter));
  }
}

// Inverters, sensors and meters get no UPS mimic: their Parameters column
// lists the values they report, and nothing of a UPS.
TEST(DiagramTab, UpsLessDevicesListTheirReadings) {
  struct Case {
    const char* name;
    uint8_t kind;
    int16_t comm;
    uint8_t mib;
    BlockKind block;
  } cases[] = {
      {"local inverter", kNodeSerial, kCommInverter, 0, BlockKind::kModbus},
      {"local sensor", kNodeSerial, kCommSensor, 0, BlockKind::kSensor},
      {"local meter", kNodeSerial, kCommMeter, 0, BlockKind::kMeter},
      {"SNMP inverter", kNodeSnmp, 0, kMibInverter, BlockKind::kSnmp},
      {"SNMP sensor", kNodeSnmp, 0, kMibSensor, BlockKind::kSnmp},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Node n = MakeNode(k.kind, k.comm);
    n->setMibType(k.mib);
    LiveDataBlock& b = n->ensureBlock(k.block);
    b.setSlot(0, 5000);
    b.setSlot(2, 50);
    RecordingCanvas rec;
    Env e;
    PaintDiagramTab(rec, *n, true, e.env);
    const auto texts = Texts(rec);
    auto has = [&](const char* t) { return std::count(texts.begin(), texts.end(), t) > 0; };
    EXPECT_TRUE(has("Readings"));
    EXPECT_TRUE(has("Value 0") && has("5000") && has("Value 2") && has("50"));
    EXPECT_FALSE(has("Value 1"));  // not reported
    for (const char* ups : {"CP_1", "CP_7", "CP_8", "CP_9"}) EXPECT_FALSE(has(ups)) << ups;
    EXPECT_EQ(rec.opsNamed("DrawIcon").size(), 0u);
    EXPECT_EQ(rec.opsNamed("BitBlt").size(), 0u);
  }
  // Thirty readings of an inverter on a short page: the column that does not
  // hold them all goes on beside it, within the page.
  Node inverter = MakeNode(kNodeSerial, kCommInverter);
  for (int i = 0; i < 30; ++i) inverter->ensureBlock(BlockKind::kModbus).setSlot(i, i);
  RecordingCanvas rec;
  Env e;
  PaintDiagramTab(rec, *inverter, true, e.env);
  int rows = 0;
  for (const TextRun& run : rec.textRuns()) {
    rows += run.text.rfind("Value ", 0) == 0 ? 1 : 0;
    EXPECT_LE(run.box.bottom, e.env.area.bottom) << run.text;
  }
  EXPECT_EQ(rows, 30);
}

// A UPS that is not heard shows no battery icon: its battery state is unknown.
TEST(DiagramTab, ALostUpsShowsNoBatteryIcon) {
  struct Case {
    const char* name;
    uint8_t kind;
    int16_t comm;
    int lostBit;  // -1: heard
    size_t icons;
  } cases[] = {
      {"ASCII heard", kNodeSerial, kCommAscii, -1, 1},
      {"ASCII lost", kNodeSerial, kCommAscii, 24, 0},
      {"SNMP no response", kNodeSnmp, 0, 28, 0},
      {"SNMP heard", kNodeSnmp, 0, -1, 1},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Node n = MakeNode(k.kind, k.comm);
    Block(n).setMask(MaskWord::kReported, k.lostBit < 0 ? 0 : uint64_t{1} << k.lostBit);
    RecordingCanvas rec;
    Env e;
    PaintDiagramTab(rec, *n, true, e.env);
    EXPECT_EQ(rec.opsNamed("DrawIcon").size(), k.icons);
  }
}

// An ASCII UPS on mains with values in every list, for a person to look at.
// LARK_UPDATE_GOLDEN=1 rewrites it.
TEST(GoldenTest, DiagramSinglePhase) {
  Node n = MakeNode(kNodeSerial, kCommAscii, 0);
  LiveDataBlock& b = Block(n);
  for (auto [slot, v] : std::vector<std::pair<int, int32_t>>{
           {75, 500}, {77, 2300}, {78, 52}, {79, 1180}, {42, 499}, {43, 2290}, {44, 55}})
    b.setSlot(slot, v);
  for (auto [off, v] : std::vector<std::pair<size_t, int32_t>>{
           {496, 500}, {504, 2300}, {508, 50}, {512, 1150}, {516, 38}, {376, 0}, {392, 2710},
           {404, 100}, {384, 45}, {400, 28}})
    b.putI32(off, v);
  PutDate(b, 976, "20250314");
  Env e;
  ImageCanvas page(e.env.area.width(), e.env.area.height());
  PaintDiagramTab(page, *n, true, e.env);
  const std::string golden = test::SourcePath("tests/console/golden/diagram_single_phase.png");
  if (std::getenv("LARK_UPDATE_GOLDEN")) {
    ASSERT_TRUE(page.image()->save(QString::fromStdString(golden)));
  }
  QImage want(QString::fromStdString(golden));
  ASSERT_FALSE(want.isNull()) << golden;
  EXPECT_EQ(page.image()->convertToFormat(QImage::Format_RGB32),
            want.convertToFormat(QImage::Format_RGB32));
}

}  // namespace
}  // namespace lark
