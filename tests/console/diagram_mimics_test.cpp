// The three-phase and single-path mimics: their lighting rules per family,
// the symbols' fault marks, and the painted pipes probed at each segment's
// centre and just inside its walls.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "console/diagram/diagram_source.h"
#include "console/diagram/diagram_tab.h"
#include "console/diagram/mimic_single_path.h"
#include "console/diagram/mimic_three_phase.h"
#include "console/views/diagram_pictures.h"
#include "console/views/image_canvas.h"
#include "console/views/recording_canvas.h"
#include "tests/console/support/diagram_fixture.h"

// g++ 12 at -O3 takes the case tables' vectors for uninitialised or freed.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuse-after-free"
#endif

namespace lark {
namespace {

using test::Block;
using test::Env;
using test::MakeNode;
using test::Node;
using test::Texts;
using P = PhaseSegment;
constexpr FlowLevel kG = FlowLevel::kInformation, kR = FlowLevel::kSerious,
                    kA = FlowLevel::kWarning;

std::vector<PhaseFill> Lit(std::initializer_list<P> segs, FlowLevel level) {
  std::vector<PhaseFill> out;
  for (P s : segs) out.push_back({s, level});
  return out;
}
std::vector<PhaseFill> operator+(std::vector<PhaseFill> a, const std::vector<PhaseFill>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A device of one family with its status word, fault word and battery state.
struct Device {
  uint8_t kind;
  int16_t comm;
  std::vector<int> bits;
  uint32_t fault;
  int32_t b;  // BatteryStatus
};

Node Make(const Device& d, uint8_t code) {
  Node n = MakeNode(d.kind, d.comm, code);
  uint64_t mask = 0;
  for (int bit : d.bits) mask |= uint64_t{1} << bit;
  LiveDataBlock& block = Block(n);
  block.setMask(MaskWord::kReported, mask);
  if (block.hasMask(MaskWord::kExtReported)) block.setMask(MaskWord::kExtReported, d.fault);
  const size_t bOff = d.kind == kNodeSnmp         ? 500
                      : d.kind == kNodeGprs       ? 180
                      : d.comm == kCommThreePhase ? 392
                                                  : 376;
  block.putI32(bOff, d.b);
  return n;
}

constexpr uint8_t kSnmp = kNodeSnmp, kGprs = kNodeGprs, kSerial = kNodeSerial;

TEST(ThreePhaseLitTest, RulesPerFamily) {
  const auto mainG = Lit({P::kMainLine, P::kLowerRiser, P::kBatteryBranch, P::kOutputStub}, kG);
  const auto battery =
      Lit({P::kBatteryBranch, P::kInverterRun, P::kLowerRiser, P::kOutputStub}, kA);
  const auto staticBypass = Lit({P::kStaticBypassLine, P::kUpperRiser, P::kOutputStub}, kA);
  const auto mark = Lit({P::kMainsInput, P::kBatteryBranch}, kG);
  const auto localNormal = Lit(
      {P::kInverterRunFromJoint, P::kMainsInput, P::kLowerRiser, P::kBatteryBranch, P::kOutputStub},
      kG);
  const struct Case {
    const char* name;
    Device d;
    std::vector<PhaseFill> want;
  } cases[] = {
      // SNMP.
      {"SNMP no response lights nothing, not even the mark", {kSnmp, 0, {28}, 0, 1}, {}},
      {"SNMP bit 0 lights nothing", {kSnmp, 0, {0}, 0, 0}, {}},
      {"SNMP normal", {kSnmp, 0, {}, 0, 0}, mainG},
      {"SNMP normal with bit 23 in Warning",
       {kSnmp, 0, {23}, 0, 0},
       Lit({P::kMainLine, P::kLowerRiser, P::kBatteryBranch, P::kOutputStub}, kA)},
      {"SNMP charging mark first", {kSnmp, 0, {}, 0, 1}, mark + mainG},
      {"SNMP bit 1 shows only the charging mark", {kSnmp, 0, {1}, 0, 1}, mark},
      {"SNMP output off leaves the stub dark",
       {kSnmp, 0, {24}, 0, 0},
       Lit({P::kMainLine, P::kLowerRiser, P::kBatteryBranch}, kG)},
      {"SNMP maintenance bypass",
       {kSnmp, 0, {16}, 0, 0},
       Lit({P::kBypassFeed, P::kMaintenanceBranch, P::kMaintenanceLine, P::kMaintenanceOut}, kR)},
      {"SNMP maintenance bypass, bit 23, output off",
       {kSnmp, 0, {16, 23, 18}, 0, 0},
       Lit({P::kBypassFeed, P::kMaintenanceBranch}, kG)},
      {"SNMP static bypass", {kSnmp, 0, {20, 5}, 0, 0}, staticBypass},
      {"SNMP static bypass blocked", {kSnmp, 0, {20, 5, 19}, 0, 0}, {}},
      {"SNMP on battery", {kSnmp, 0, {}, 0, 3}, battery},
      // CommType 0, 2 and GPRS.
      {"ASCII normal", {kSerial, kCommAscii, {}, 0, 2}, localNormal},
      {"ASCII normal, bit 1 leaves the mains dark",
       {kSerial, kCommAscii, {1}, 0, 2},
       Lit({P::kInverterRunFromJoint, P::kLowerRiser, P::kBatteryBranch, P::kOutputStub}, kG)},
      {"ASCII charging with bit 16 lights the charger link",
       {kSerial, kCommAscii, {16}, 0, 0},
       mark + Lit({P::kChargerLink}, kG) + localNormal},
      {"Modbus charging has no charger link",
       {kSerial, kCommModbusUps, {16}, 0, -1},
       mark + localNormal},
      {"ASCII on battery leaves the mains dark", {kSerial, kCommAscii, {21}, 0, 3}, battery},
      {"ASCII on battery with the inverter stopped", {kSerial, kCommAscii, {21, 8}, 0, 3}, {}},
      {"ASCII bit 24 lights nothing", {kSerial, kCommAscii, {24}, 0, 0}, {}},
      {"Modbus maintenance bypass",
       {kSerial, kCommModbusUps, {23}, 0, 2},
       Lit({P::kMaintenanceBranch, P::kMaintenanceLine, P::kMaintenanceOut, P::kBypassFeed}, kR)},
      {"Modbus maintenance bypass with bit 16: the feed stays Serious",
       {kSerial, kCommModbusUps, {23, 16}, 0, 2},
       Lit({P::kMaintenanceBranch, P::kMaintenanceLine, P::kMaintenanceOut}, kG) +
           Lit({P::kBypassFeed}, kR)},
      {"ASCII maintenance bypass with bit 16, output off",
       {kSerial, kCommAscii, {23, 16, 5}, 0, 2},
       Lit({P::kMaintenanceBranch, P::kMaintenanceLine, P::kBypassFeed}, kG)},
      {"GPRS static bypass", {kGprs, 0, {22}, 0, 2}, staticBypass},
      {"GPRS bypass blocked and resting", {kGprs, 0, {22, 4}, 0, 2}, {}},
      // CommType 1.
      {"binary normal", {kSerial, kCommThreePhase, {}, 0, 0}, mainG},
      {"binary charging", {kSerial, kCommThreePhase, {}, 0, 1}, mark + mainG},
      {"binary maintenance bypass",
       {kSerial, kCommThreePhase, {12}, 0, 0},
       Lit({P::kBypassFeed}, kR) +
           Lit({P::kMaintenanceBranch, P::kMaintenanceLine, P::kMaintenanceOut}, kR)},
      {"binary maintenance bypass, bit 6, output off",
       {kSerial, kCommThreePhase, {12, 6, 3}, 0, 0},
       Lit({P::kBypassFeed}, kR) + Lit({P::kMaintenanceBranch, P::kMaintenanceLine}, kG)},
      {"binary static bypass", {kSerial, kCommThreePhase, {11}, 0, 0}, staticBypass},
      {"binary on battery", {kSerial, kCommThreePhase, {10}, 0, 3}, battery},
      {"binary bit 13 lights nothing", {kSerial, kCommThreePhase, {13}, 0, 1}, {}},
      // Others.
      {"inverter CommType lights nothing", {kSerial, kCommInverter, {}, 0, 1}, {}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Node n = Make(k.d, 3);
    EXPECT_EQ(ThreePhaseLit(DiagramSource(*n)), k.want);
  }
}

TEST(ThreePhaseLitTest, SymbolFaults) {
  const struct Case {
    const char* name;
    Device d;
    bool rectifier, inverter, battery;
  } cases[] = {
      {"ASCII fault word bit 3: rectifier",
       {kSerial, kCommAscii, {}, 1u << 3, 0},
       true,
       false,
       false},
      {"Modbus fault word bit 12: inverter",
       {kSerial, kCommModbusUps, {}, 1u << 12, 0},
       false,
       true,
       false},
      {"fault word bits 0, 11 and 26 mark nothing",
       {kSerial, kCommAscii, {}, (1u << 0) | (1u << 11) | (1u << 26), 0},
       false,
       false,
       false},
      {"ASCII status bits 7, 17, 20", {kSerial, kCommAscii, {7, 17, 20}, 0, 0}, true, true, true},
      {"SNMP bits 14 and 7", {kSnmp, 0, {14, 7}, 0, 0}, true, false, true},
      {"SNMP bits 21, 13, 2", {kSnmp, 0, {21, 13, 2}, 0, 0}, true, true, true},
      {"SNMP ignores the local bits", {kSnmp, 0, {17, 20}, 0, 0}, false, false, false},
      {"GPRS bit 7", {kGprs, 0, {7}, 0, 0}, true, false, false},
      {"binary bits 1, 7, 9", {kSerial, kCommThreePhase, {1, 7, 9}, 0, 0}, true, true, true},
      {"inverter CommType shows the normal symbols",
       {kSerial, kCommInverter, {7, 17, 20}, 0xFFFFFFFF, 0},
       false,
       false,
       false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Node n = Make(k.d, 3);
    const PhaseSymbols s = ThreePhaseSymbols(DiagramSource(*n));
    EXPECT_EQ(s.rectifierFault, k.rectifier);
    EXPECT_EQ(s.inverterFault, k.inverter);
    EXPECT_EQ(s.batteryFault, k.battery);
  }
}

TEST(SinglePathLitTest, RulesAndSymbols) {
  using S = PathSegment;
  const struct Case {
    const char* name;
    Device d;
    std::vector<S> want;
    bool converterFault, batteryFault;
  } cases[] = {
      {"normal",
       {kSerial, kCommAscii, {}, 0, 0},
       {S::kInputRun, S::kConverterRun, S::kBatteryBranch},
       false,
       false},
      {"bit 5: the input run only", {kSerial, kCommAscii, {5}, 0, 0}, {S::kInputRun}, false, false},
      {"bit 8: the input run only", {kSerial, kCommAscii, {8}, 0, 2}, {S::kInputRun}, false, false},
      {"on battery",
       {kSerial, kCommAscii, {21}, 0, 3},
       {S::kBatteryRun, S::kBatteryBranch},
       false,
       false},
      {"on battery, output off", {kSerial, kCommAscii, {21, 2}, 0, 3}, {}, false, false},
      {"discharging without bit 21", {kSerial, kCommAscii, {}, 0, 3}, {}, false, false},
      {"bit 21 while charging", {kSerial, kCommAscii, {21}, 0, 1}, {}, false, false},
      {"bit 24", {kSerial, kCommAscii, {24}, 0, 0}, {}, false, false},
      {"ASCII faults",
       {kSerial, kCommAscii, {20}, 1u << 10, 0},
       {S::kInputRun, S::kConverterRun, S::kBatteryBranch},
       true,
       true},
      {"SNMP unlit, its battery by bit 2", {kSnmp, 0, {2}, 0, 0}, {}, false, true},
      {"SNMP bit 20 is no battery fault", {kSnmp, 0, {20}, 0, 0}, {}, false, false},
      {"Modbus fault bit 1", {kSerial, kCommModbusUps, {}, 1u << 1, 0}, {}, true, false},
      {"Modbus fault bit 11 is none", {kSerial, kCommModbusUps, {}, 1u << 11, 0}, {}, false, false},
      {"GPRS battery bit 20", {kGprs, 0, {20}, 0, 0}, {}, false, true},
      {"binary: normal symbols", {kSerial, kCommThreePhase, {1, 2, 20}, 0, 0}, {}, false, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Node n = Make(k.d, 6);
    const DiagramSource src(*n);
    EXPECT_EQ(SinglePathLit(src), k.want);
    EXPECT_EQ(SinglePathConverterFault(src), k.converterFault);
    EXPECT_EQ(SinglePathBatteryFault(src), k.batteryFault);
  }
}

// A page wide enough that no picture covers a segment's centre.
struct Painted {
  Env e;
  std::unique_ptr<ImageCanvas> page;
  DiagramLayout layout;
  explicit Painted(const DeviceNode& n) {
    e.env.area = {0, 0, 1200, 520};
    e.env.tabAreaWidth = 1220;
    e.env.clientRight = 1500;
    page = std::make_unique<ImageCanvas>(1200, 520);
    layout = ComputeDiagramLayout(*page, n, e.env);
    PaintDiagramTab(*page, n, true, e.env);
  }
  ColorRef at(int x, int y) const { return page->Pixel(x, y); }
};

constexpr ColorRef kWindow = 0xffffff;

// Every lit segment reads, at its centre, the colour of the last fill that
// covers it, and stays one pixel inside both walls; every other segment's
// centre reads the window colour.
template <typename Seg, typename RectOf>
void ProbeSegments(const Painted& p, const std::vector<std::pair<Seg, ColorRef>>& lit,
                   std::initializer_list<Seg> all, RectOf rectOf, bool horizontal(Seg)) {
  auto covering = [&](int x, int y) {
    ColorRef c = kWindow;
    for (const auto& [s, colour] : lit) {
      const CanvasRect r = rectOf(s, p.layout);
      if (x >= r.left && x <= r.right && y >= r.top && y <= r.bottom) c = colour;
    }
    return c;
  };
  for (Seg s : all) {
    SCOPED_TRACE(static_cast<int>(s));
    const CanvasRect r = rectOf(s, p.layout);
    const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    const ColorRef want = covering(cx, cy);
    EXPECT_EQ(p.at(cx, cy), want);
    const bool isLit = std::any_of(lit.begin(), lit.end(), [&](auto& f) { return f.first == s; });
    if (!isLit) continue;
    if (horizontal(s)) {
      EXPECT_EQ(p.at(cx, r.top), want);
      EXPECT_EQ(p.at(cx, r.bottom), want);
      EXPECT_EQ(p.at(cx, r.top - 1), SysColorValue(kColorBtnShadow));
      EXPECT_EQ(p.at(cx, r.bottom + 1), SysColorValue(kColorBtnFace));
    } else {
      EXPECT_EQ(p.at(r.left, cy), want);
      EXPECT_EQ(p.at(r.right, cy), want);
      EXPECT_EQ(p.at(r.left - 1, cy), SysColorValue(kColorBtnShadow));
      EXPECT_EQ(p.at(r.right + 1, cy), SysColorValue(kColorBtnFace));
    }
  }
}

bool PhaseHorizontal(P s) {
  return s != P::kMaintenanceBranch && s != P::kUpperRiser && s != P::kLowerRiser &&
         s != P::kBatteryBranch;
}

TEST(ThreePhasePaintTest, ProbesAtCentresAndWalls) {
  const struct Case {
    const char* name;
    Device d;
  } cases[] = {
      {"ASCII charging with the charger link", {kSerial, kCommAscii, {16}, 0, 0}},
      {"SNMP normal in Warning over the charging mark", {kSnmp, 0, {23}, 0, 1}},
      {"Modbus maintenance bypass", {kSerial, kCommModbusUps, {23, 16}, 0, 2}},
      {"binary static bypass", {kSerial, kCommThreePhase, {11}, 0, 0}},
      {"GPRS on battery", {kGprs, 0, {21}, 0, 3}},
      {"SNMP no response", {kSnmp, 0, {28}, 0, 1}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Node n = Make(k.d, 3);
    const Painted p(*n);
    ASSERT_TRUE(p.layout.mimic);
    std::vector<std::pair<P, ColorRef>> lit;
    for (const PhaseFill& f : ThreePhaseLit(DiagramSource(*n)))
      lit.push_back({f.segment, p.e.env.levels[static_cast<size_t>(f.level)]});
    ProbeSegments<P>(
        p, lit,
        {P::kBypassFeed, P::kStaticBypassLine, P::kMaintenanceBranch, P::kMaintenanceLine,
         P::kMaintenanceOut, P::kUpperRiser, P::kMainsInput, P::kChargerLink, P::kInverterRun,
         P::kInverterRunFromJoint, P::kMainLine, P::kLowerRiser, P::kBatteryBranch, P::kOutputStub},
        PhaseSegmentRect, PhaseHorizontal);
  }
}

TEST(ThreePhasePaintTest, SymbolsPanelsAndLabels) {
  Node n = Make({kSerial, kCommAscii, {17}, 1u << 3, 0}, 3);
  Block(n).putI32(552, 2300);  // the output's second voltage
  Block(n).putI32(392, 2710);  // battery voltage
  const Painted p(*n);
  const DiagramLayout& l = p.layout;
  const int x0 = l.x0 + kThreePhaseShift, y0 = l.y0, u = l.u;
  EXPECT_EQ(p.at(x0 + 3 * u - 13, y0 + 2 * u), DiagramPictureColour(kBmpRectifierRed));
  EXPECT_EQ(p.at(x0 + 5 * u + 13, y0 + 2 * u), DiagramPictureColour(kBmpInverterRed));
  EXPECT_EQ(p.at(x0 - 13, y0), DiagramPictureColour(kBmpSource));
  EXPECT_EQ(p.at(x0 - 13, y0 + 2 * u), DiagramPictureColour(kBmpSource));
  EXPECT_EQ(p.at(x0 + 8 * u + 13, y0 + u), DiagramPictureColour(kBmpSource));
  EXPECT_EQ(p.at(x0 + 4 * u + 3, y0 + 3 * u + 16), DiagramPictureColour(kIconBattery));

  RecordingCanvas rec;
  PaintDiagramTab(rec, *n, true, p.e.env);
  const auto texts = Texts(rec);
  for (const char* t : {"CP_19", "CP_20", "CP_21", "CP_22", "CP_48", "CP_7"})
    EXPECT_EQ(std::count(texts.begin(), texts.end(), t), t == std::string("CP_7") ? 2 : 1) << t;
  // A binary device fills the battery panel from its own column.
  Node binary = Make({kSerial, kCommThreePhase, {}, 0, 0}, 3);
  Block(binary).putI32(408, 400);
  RecordingCanvas rec2;
  PaintDiagramTab(rec2, *binary, true, p.e.env);
  const auto texts2 = Texts(rec2);
  EXPECT_NE(std::find(texts2.begin(), texts2.end(), "400.0"), texts2.end());
}

bool PathHorizontal(PathSegment s) { return s != PathSegment::kBatteryBranch; }

TEST(SinglePathPaintTest, ProbesAtCentresAndWalls) {
  using S = PathSegment;
  for (const Device& d : std::vector<Device>{{kSerial, kCommAscii, {}, 0, 0},
                                             {kSerial, kCommAscii, {21}, 0, 3},
                                             {kSerial, kCommAscii, {5}, 0, 0},
                                             {kSnmp, 0, {}, 0, 1}}) {
    SCOPED_TRACE(d.bits.empty() ? -1 : d.bits[0]);
    Node n = Make(d, 6);
    const Painted p(*n);
    std::vector<std::pair<S, ColorRef>> lit;
    for (S s : SinglePathLit(DiagramSource(*n))) lit.push_back({s, p.e.env.levels[2]});
    ProbeSegments<S>(p, lit, {S::kInputRun, S::kConverterRun, S::kBatteryRun, S::kBatteryBranch},
                     PathSegmentRect, PathHorizontal);
  }
}

TEST(SinglePathPaintTest, SymbolsAndPanels) {
  Node n = Make({kSerial, kCommAscii, {20}, 1u << 2, 0}, 6);
  Block(n).putI32(552, 2300);  // a second voltage the single path leaves out
  Block(n).putI32(504, 2300);
  const Painted p(*n);
  const DiagramLayout& l = p.layout;
  const int x0 = l.x0, y0 = l.y0, u = l.u;
  EXPECT_EQ(p.at(x0 + 3 * u - 13, y0 + u), DiagramPictureColour(kBmpRectifierRed));
  EXPECT_EQ(p.at(x0 + 8 * u + 13, y0 + u), DiagramPictureColour(kBmpDcBus));
  EXPECT_EQ(p.at(x0 - 13, y0 + u), DiagramPictureColour(kBmpSource));
  EXPECT_EQ(p.at(x0 + 5 * u + 3, y0 + 2 * u + 16), DiagramPictureColour(kIconBatteryFault));

  RecordingCanvas rec;
  PaintDiagramTab(rec, *n, true, p.e.env);
  const auto texts = Texts(rec);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "CP_48"), 0);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "CP_23"), 1);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "CP_3"), 1);  // the output's voltage
  // A binary device gets no rows in either panel.
  Node binary = Make({kSerial, kCommThreePhase, {}, 0, 0}, 6);
  Block(binary).putI32(408, 400);
  Block(binary).putI32(520, 230);
  RecordingCanvas rec2;
  PaintDiagramTab(rec2, *binary, true, p.e.env);
  const auto texts2 = Texts(rec2);
  EXPECT_EQ(std::count(texts2.begin(), texts2.end(), "CP_3"), 0);
}

}  // namespace
}  // namespace lark
