// The Summary page: what each device family shows, the event icons by state
// and level, the state rows and their colours, the layout arithmetic, the
// mended inputs (PLC point counts, large values, a missing block), and one
// golden picture of an ASCII UPS.
#include "console/tabs/summary_tab.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

#include "console/views/image_canvas.h"
#include "console/views/map_icons.h"
#include "console/views/recording_canvas.h"
#include "tests/console/support/panel_fixture.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

using test::MakeDevice;
using test::Quoted;

std::vector<std::string> Texts(const RecordingCanvas& c, const std::string& name) {
  std::vector<std::string> out;
  for (const std::string& op : c.opsNamed(name)) out.push_back(Quoted(op));
  return out;
}

std::vector<int> Icons(const RecordingCanvas& c) {
  std::vector<int> out;
  for (const std::string& op : c.opsNamed("DrawIcon")) out.push_back(std::stoi(op.substr(op.rfind(' ') + 1)));
  return out;
}

// The text and colour of the value drawn after the label `label`.
std::pair<std::string, std::string> ValueAfter(const RecordingCanvas& c, const std::string& label) {
  const auto& ops = c.ops();
  for (size_t i = 0; i < ops.size(); ++i) {
    if (ops[i].rfind("DrawText ", 0) != 0 || Quoted(ops[i]) != label) continue;
    for (size_t j = i + 1; j < ops.size(); ++j)
      if (ops[j].rfind("TextOut ", 0) == 0) {
        const size_t at = ops[j].find("colour ");
        return {Quoted(ops[j]), ops[j].substr(at + 7, 6)};
      }
  }
  return {"(none)", ""};
}

void FillSlots(DeviceNode& n, int32_t v) {
  LiveDataBlock* b = PrimaryBlock(n);
  for (int i = 0; b != nullptr && i < b->slotCount(); ++i) b->setSlot(i, v);
}

TEST(SummaryTabTest, EachFamilyShowsItsEventsRowsAndGauges) {
  const std::vector<std::string> ascii = {"S1", " CP8 CP3- ", "CP7", "PM4: ", "CP13: ", "S3: ", "CP14(+): ",
                                          "CP14(-): ", "S5", "S6: ", " CP9 CP3- ", "CP9", "S7: ",
                                          "CP12-1: ", "CP12-2: ", "CP12-3: "};
  const std::vector<std::string> snmp = {"S1", " CP8 CP3- ", "CP7", "PM4: ", "CP13: ", "S3: ", "CP14: ",
                                         "S5", "S6: ", " CP9 CP3- ", "CP9", "S7: ", "CP12-1: ",
                                         "CP12-2: ", "CP12-3: "};
  const std::vector<std::string> bare = {"S1", "CP7", "S5", "CP9"};
  struct Case {
    const char* what;
    uint8_t kind;
    int16_t ct;
    uint8_t mib;
    size_t icons;
    size_t gauges;
    std::vector<std::string> texts;
  } cases[] = {
      {"SNMP UPS", kNodeSnmp, 0, kMibMakerUps, 36, 2, snmp},
      {"SNMP inverter", kNodeSnmp, 0, kMibInverter, 17, 2, snmp},
      {"ASCII", kNodeSerial, 0, 0, 26, 2, ascii},
      {"three-phase", kNodeSerial, 1, 0, 24, 2,
       {"S1", " CP8 CP3- ", "PM4: ", "S5", "S6: ", " CP9 CP3- ", "CP9", "S7: ", "CP12-1: ", "CP12-2: ",
        "CP12-3: "}},
      {"Modbus UPS", kNodeSerial, 2, 0, 26, 2, ascii},
      {"TRV5200", kNodeSerial, 3, 0, 37, 2,
       {"S1", " CP18 CP3-1 ", "CP7", "PM4: ", "CP13: ", "S3: ", " CP9 CP3-1 ", "CP9"}},
      {"PLC", kNodeSerial, 4, 0, 8, 0, {"S1"}},
      {"9315", kNodeSerial, 5, 0, 41, 2,
       {"S1", " CP18 CP3-1 ", "CP7", "PM4: ", "CP13: ", "S3: ", " CP9 CP3-1 ", "CP9", "S7: ", "CP12: "}},
      {"inverter", kNodeSerial, 6, 0, 17, 0, bare},
      {"sensor", kNodeSerial, 7, 0, 0, 0, bare},
      {"meter", kNodeSerial, 8, 0, 0, 0, bare},
      {"meter sum", kNodeSerial, 9, 0, 0, 0, bare},
      {"GPRS", kNodeGprs, 0, 0, 26, 2, ascii},
  };
  for (const Case& k : cases) {
    test::PanelFixture f;
    RecordingCanvas c;
    auto n = MakeDevice(k.kind, k.ct, k.mib);
    FillSlots(*n, 1);
    n->setPlcPointNum(4);
    PaintSummaryTab(c, f.inputs(c), *n, true);
    EXPECT_EQ(Texts(c, "DrawText"), k.texts) << k.what;
    EXPECT_EQ(Icons(c).size(), k.icons) << k.what;
    EXPECT_EQ(c.opsNamed("BitBlt").size(), k.gauges) << k.what;
  }
}

TEST(SummaryTabTest, EventIconsFollowStateLevelAndMasks) {
  test::PanelFixture f;
  f.row(ActionFamily::Regular, 0).setLevel(0);
  f.row(ActionFamily::Regular, 1).setLevel(1);
  f.row(ActionFamily::Regular, 2).setLevel(2);
  f.row(ActionFamily::Regular, 3).setLevel(7);  // past the table: Information
  auto ups = MakeDevice(kNodeSerial, kCommAscii);
  ups->block(BlockKind::kAscii)->setMask(MaskWord::kReported, 0b1111);
  ups->block(BlockKind::kAscii)->setMask(MaskWord::kCurrent, 0b10000);  // not reported yet
  RecordingCanvas c;
  PaintSummaryTab(c, f.inputs(c), *ups, false);
  const std::vector<int> icons = Icons(c);
  ASSERT_EQ(icons.size(), 26u);
  EXPECT_EQ(std::vector<int>(icons.begin(), icons.begin() + 5),
            (std::vector<int>{kIconEventSerious, kIconEventWarning, kIconEventInformation,
                              kIconEventInformation, kIconEventOff}));
  EXPECT_EQ(Texts(c, "TextOut").front(), "regular 0");

  // SNMP: a masked event is off; event 16 is Information while bit 23 is set.
  struct Case {
    uint8_t mib;
    bool bit23;
    int event5, event16;
  } cases[] = {{kMibMakerUps, false, kIconEventOff, kIconEventWarning},
               {kMibMakerUps, true, kIconEventOff, kIconEventInformation},
               {kMibInverter, true, kIconEventInformation, kIconEventWarning}};
  for (const Case& k : cases) {
    auto snmp = MakeDevice(kNodeSnmp, 0, k.mib);
    snmp->setEventSuppressionBit(5, true);
    snmp->block(BlockKind::kSnmp)->setMask(MaskWord::kReported, (1u << 5) | (1u << 16) | (k.bit23 ? 1u << 23 : 0));
    RecordingCanvas s;
    PaintSummaryTab(s, f.inputs(s), *snmp, false);
    EXPECT_EQ(Icons(s)[5], k.event5) << int(k.mib) << k.bit23;
    EXPECT_EQ(Icons(s)[16], k.event16) << int(k.mib) << k.bit23;
  }
}

TEST(SummaryTabTest, PlcPointsReadTheirWordsAndAreBounded) {
  test::PanelFixture f;
  f.row(ActionFamily::Plc, 1).setLevel(1);
  auto plc = MakeDevice(kNodeSerial, kCommPlc);
  plc->block(BlockKind::kAscii)->setSlot(0, 0b101);  // inputs 0 and 2 on
  plc->block(BlockKind::kAscii)->setSlot(20, 0b010);  // output 1 on
  plc->setPlcPointNum(3);
  RecordingCanvas c;
  PaintSummaryTab(c, f.inputs(c), *plc, true);
  EXPECT_EQ(Texts(c, "TextOut"),
            (std::vector<std::string>{"Point-X0", "Point-Y0", "Point-X1", "Point-Y1", "Point-X2", "Point-Y2"}));
  EXPECT_EQ(Icons(c), (std::vector<int>{kIconEventWarning, kIconEventOff, kIconEventOff, kIconEventWarning,
                                        kIconEventWarning, kIconEventOff}));
  for (auto [points, icons] : {std::pair<int16_t, size_t>{32767, 320}, {-5, 0}, {0, 0}}) {
    plc->setPlcPointNum(points);
    RecordingCanvas r;
    PaintSummaryTab(r, f.inputs(r), *plc, true);
    EXPECT_EQ(Icons(r).size(), icons) << points;
    EXPECT_EQ(Texts(r, "DrawText"), std::vector<std::string>{"S1"}) << points;
  }
}

TEST(SummaryTabTest, StateRowsTakeTheirLevelColoursAndTheLostLine) {
  const std::string serious = "0000ff", warning = "00a0a0", information = "00a000";
  struct Case {
    const char* what;
    uint64_t mask;
    std::string label;
    std::pair<std::string, std::string> want;
  } cases[] = {
      {"weak battery", 0, "PM4: ", {"Weak", warning}},
      {"on battery: level", 1u << 1, "PM4: ", {"Low", serious}},
      {"on battery: 303 s", 1u << 1, "S4: ", {"5:03 minutes", "bc7544"}},
      {"no time on battery off battery", 0, "S4: ", {"(none)", ""}},
      {"lost: state", 1u << 24, "PM4: ", {"S2", serious}},
      {"lost: charger", 1u << 24, "CP13: ", {"S2", serious}},
      {"lost: time left blank", 1u << 24, "S3: ", {"", "bc7544"}},
      {"time left", 0, "S3: ", {"45 minutes", "bc7544"}},
      {"bypass", 0, "S7: ", {"Bypass(Reserve)", serious}},
      {"bypass in economy", 1u << 16, "S7: ", {"Bypass(Reserve)", information}},
      {"capacity, battery level 1", 0, "CP14(+): ", {"90%", serious}},
      {"test result", 0, "S6: ", {"General Fail", serious}},
  };
  for (const Case& k : cases) {
    test::PanelFixture f;
    auto ups = MakeDevice(kNodeSerial, kCommAscii);
    LiveDataBlock& b = *ups->block(BlockKind::kAscii);
    for (auto [slot, v] : {std::pair<int, int32_t>{26, 1}, {27, 1}, {28, 1}, {29, 303}, {30, 45},
                           {35, 90}, {40, 80}, {57, 2}, {90, 3}})
      b.setSlot(slot, v);
    b.setMask(MaskWord::kReported, k.mask);
    RecordingCanvas c;
    PaintSummaryTab(c, f.inputs(c), *ups, false);
    EXPECT_EQ(ValueAfter(c, k.label), k.want) << k.what;
  }
}

TEST(SummaryTabTest, LargeValuesAreClampedNotWrapped) {
  test::PanelFixture f;
  auto trv = MakeDevice(kNodeSerial, kCommModbusTrv5200);
  LiveDataBlock& m = *trv->block(BlockKind::kModbus);
  m.setSlot(17, INT32_MAX);  // x 10 for the gauge
  m.setSlot(56, 1000);
  m.setSlot(37, INT32_MAX);  // x 100 for the load
  m.setSlot(38, 500);
  RecordingCanvas c;
  PaintSummaryTab(c, f.inputs(c), *trv, true);
  EXPECT_EQ(ValueAfter(c, "CP12-1: ").first, "2147483647%");
  EXPECT_EQ(ValueAfter(c, "CP12-2: ").first, "50000%");
  EXPECT_EQ(c.opsNamed("BitBlt").size(), 1u);
  m.setSlot(56, 999);  // a rating below 1 kVA gives no loads
  RecordingCanvas r;
  PaintSummaryTab(r, f.inputs(r), *trv, true);
  EXPECT_EQ(ValueAfter(r, "CP12-1: ").first, "(none)");

  auto snmp = MakeDevice(kNodeSnmp);
  snmp->block(BlockKind::kSnmp)->setSlot(66, INT32_MAX);
  snmp->block(BlockKind::kSnmp)->setMask(MaskWord::kReported, 1u << 1);
  RecordingCanvas s;
  PaintSummaryTab(s, f.inputs(s), *snmp, true);
  EXPECT_EQ(ValueAfter(s, "S4: ").first, "35791394:07 minutes");
}

TEST(SummaryTabTest, GapMarginAndShortPages) {
  test::PanelFixture probe;
  RecordingCanvas m;
  m.SelectFont(probe.fonts.panel);
  int W = m.TextWidth("PM2");
  m.SelectFont(probe.fonts.value);  // no narrower than the widest title and its icon
  for (int e = 0; e < 26; ++e) W = std::max(W, m.TextWidth(probe.row(ActionFamily::Regular, e).title()) + 20);
  const int L = probe.lineHeight, T = probe.titleLineHeight;
  struct Case {
    int height, tabWidth;
    int gap, margin;
    size_t icons;  // of 26 events, 16 to a column
  } cases[] = {
      {400, 905, 8, 20, 26},   // q = 21
      {1000, 905, 12, 20, 26}, // q = 55: at most 12
      {200, 905, 3, 20, 18},   // q = 10 < L: 3; rows 0..8 of both columns fit
      {400, 150, 8, 0, 26},    // a narrow tab area: no margin
  };
  for (const Case& k : cases) {
    test::PanelFixture f;
    f.page = {0, 0, 900, k.height};
    f.tabWidth = k.tabWidth;
    RecordingCanvas c;
    auto ups = MakeDevice(kNodeSerial, kCommAscii);
    PaintSummaryTab(c, f.inputs(c), *ups, true);
    const int xE = T + 6 + k.margin;
    const std::vector<std::string> heads = c.opsNamed("DrawText");
    ASSERT_FALSE(heads.empty());
    EXPECT_EQ(heads.front().substr(0, heads.front().find(' ', 9)),
              "DrawText " + std::to_string(xE) + "," + std::to_string(10 + L) + "," + std::to_string(xE + W) +
                  "," + std::to_string(10 + 2 * L + k.gap))
        << k.height << " " << k.tabWidth;
    EXPECT_EQ(Icons(c).size(), k.icons) << k.height;
  }
}

TEST(SummaryTabTest, AMissingBlockShowsHeadingsOnlyAndFullClearsThePage) {
  test::PanelFixture f;
  auto ups = MakeDevice(kNodeSerial, kCommAscii);
  ups->freeBlock(BlockKind::kAscii);
  RecordingCanvas c;
  PaintSummaryTab(c, f.inputs(c), *ups, true);
  EXPECT_EQ(Texts(c, "DrawText"), (std::vector<std::string>{"S1", "CP7", "S5", "CP9"}));
  EXPECT_TRUE(Icons(c).empty());
  EXPECT_EQ(c.ops().front(), "Rectangle 0,0,901,401 pen null brush ffffff");
  RecordingCanvas partial;
  PaintSummaryTab(partial, f.inputs(partial), *ups, false);
  EXPECT_NE(partial.ops().front(), "Rectangle 0,0,901,401 pen null brush ffffff");
}

// An ASCII UPS on battery with two alarms, drawn on the image backend.
// LARK_UPDATE_GOLDEN=1 rewrites the picture.
TEST(SummaryTabTest, GoldenAsciiUps) {
  test::PanelFixture f;
  const std::string english = test::SourcePath("data/English");
  f.texts = LoadLanguageTexts(Profile(english + "/language.ini"), InitialLanguageTexts());
  *f.actions = LoadActionTables(english, ActionTables(), EnglishLevelNames(), nullptr);
  f.page = {0, 0, 760, 380};
  f.tabWidth = 765;
  ImageCanvas img(760, 380);
  auto ups = MakeDevice(kNodeSerial, kCommAscii);
  LiveDataBlock& b = *ups->block(BlockKind::kAscii);
  for (auto [slot, v] : {std::pair<int, int32_t>{0, 220}, {2, 220}, {7, 180}, {8, 260}, {26, 0}, {27, 0},
                         {28, 3}, {29, 95}, {30, 42}, {35, 87}, {41, 1}, {43, 2213}, {57, 1}, {59, 1},
                         {60, 2198}, {63, 64}, {90, 1}})
    b.setSlot(slot, v);
  b.setMask(MaskWord::kReported, (1u << 1) | (1u << 5));
  PaintSummaryTab(img, f.inputs(img), *ups, true);
  test::ExpectGoldenPicture(*img.image(), "tests/console/golden/summary_ascii.png");
  // Probe: event 1 (on battery, level Warning) has the Warning lamp.
  RecordingCanvas rec;
  PaintSummaryTab(rec, f.inputs(rec), *ups, true);
  const std::string icon = rec.opsNamed("DrawIcon")[1];  // "DrawIcon x,y 267"
  const int x = std::stoi(icon.substr(9)), y = std::stoi(icon.substr(icon.find(',') + 1));
  EXPECT_EQ(img.Pixel(x + kEventIconSize / 2, y + kEventIconSize / 2), kDefaultLevelColours[kAlarmWarning]);
}

}  // namespace
}  // namespace lark
