// The PLC's transfer panel: its bits read safely, and the recorded drawing
// of the bypass UPS, the bus and the points (room, wrap, grey lines, dotted
// contacts, the UPS boxes' levels and missing nodes).
#include "console/diagram/plc_panel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "console/diagram/diagram_tab.h"
#include "console/views/diagram_pictures.h"
#include "console/views/recording_canvas.h"
#include "tests/console/support/diagram_fixture.h"

namespace lark {
namespace {

using test::Block;
using test::Env;
using test::MakeNode;
using test::Node;
using test::Texts;

// The map: "Main" holding the PLC and the UPSs 11 ("Bypass"), 12 and 13.
struct Map {
  Env e;
  std::unique_ptr<DeviceNode> root = std::make_unique<DeviceNode>();
  DeviceNode* plc = nullptr;
  Map() {
    root->setNodeKind(kNodeGroup);
    root->setTitle("Main");
    for (int id : {11, 12, 13}) {
      Node ups = MakeNode(kNodeSerial, kCommAscii);
      ups->setId(static_cast<int16_t>(id));
      ups->setTitle(id == 11 ? "Bypass" : "UPS " + std::to_string(id));
      ups->setAlarmLevel(kAlarmNone);
      root->addChild(ups);
    }
    Node p = MakeNode(kNodeSerial, kCommPlc);
    p->setId(20);
    p->setPlcBypassUpsId(11);
    plc = root->addChild(p);
    e.env.root = root.get();
  }
  LiveDataBlock& block() { return *PrimaryBlock(*plc); }
  void points(std::initializer_list<int> ids) {
    int i = 0;
    for (int id : ids) plc->setPlcUpsId(i++, static_cast<int16_t>(id));
    plc->setPlcPointNum(static_cast<int16_t>(ids.size()));
  }
  RecordingCanvas paint(int width = 760) {
    RecordingCanvas rec;
    e.env.area = {0, 0, width, 420};
    PaintDiagramTab(rec, *plc, true, e.env);
    return rec;
  }
};

bool Has(const RecordingCanvas& rec, const std::string& op) {
  const auto& ops = rec.ops();
  return std::find(ops.begin(), ops.end(), op) != ops.end();
}
long Count(const std::vector<std::string>& texts, const std::string& t) {
  return std::count(texts.begin(), texts.end(), t);
}

TEST(PlcPanelTest, BitsReadClearOutsideTheBlockAndWithoutReading) {
  Node plc = MakeNode(kNodeSerial, kCommPlc);
  LiveDataBlock& b = Block(plc);
  b.setSlot(0, 0b101);
  b.setSlot(20, 0b10);  // slot 1 and slot 21 have no reading (-1)
  const DiagramSource src(*plc);
  const struct Case {
    int p;
    bool output, want;
  } cases[] = {
      {0, false, true},  {1, false, false},    {2, false, true},     {8, false, false},
      {9, true, false},  {1, true, true},      {0, true, false},     {-5, false, false},
      {-1, true, false}, {5000, false, false}, {32767, true, false}, {INT16_MIN, false, false},
  };
  for (const Case& k : cases)
    EXPECT_EQ(PlcBit(src, k.p, k.output), k.want) << k.p << (k.output ? " out" : " in");
}

TEST(PlcPanelTest, BypassUpsBusAndPointPlaces) {
  Map m;
  m.points({12, 0, 13});
  const RecordingCanvas rec = m.paint();
  const auto texts = Texts(rec);
  EXPECT_EQ(Count(texts, "Parameters") + Count(texts, "Internal"), 0);
  // The bypass UPS box, its stub, bus and switch (bit clear: closed, Information).
  EXPECT_TRUE(Has(rec, "Rectangle 30,64,110,114 pen solid 1 808080 brush 00a000"));
  EXPECT_TRUE(Has(rec, "Line 110,89 120,89 pen solid 3 00a000"));
  EXPECT_TRUE(Has(rec, "Line 146,89 180,89 pen solid 3 00a000"));
  EXPECT_TRUE(Has(rec, "DrawIcon 121,74 265"));
  EXPECT_EQ(Count(texts, "Bypass"), 1);
  // Point 1 names no UPS and takes no room: 13 stands where it would have.
  EXPECT_TRUE(Has(rec, "Rectangle 185,159,265,189 pen solid 1 808080 brush 00a000"));
  EXPECT_TRUE(Has(rec, "Rectangle 335,159,415,189 pen solid 1 808080 brush 00a000"));
  EXPECT_EQ(Count(texts, "ATS"), 2);
  EXPECT_EQ(Count(texts, "UPS 12") + Count(texts, "UPS 13"), 2);
}

TEST(PlcPanelTest, NarrowAreaWrapsButNeverTheFirstPoint) {
  const struct Case {
    int width;
    std::vector<std::string> boxes;  // each UPS box's rectangle, in order
  } cases[] = {
      {760, {"185,159,265,189", "335,159,415,189", "485,159,565,189"}},
      {400, {"185,159,265,189", "185,329,265,359", "185,499,265,529"}},
      {200, {"185,159,265,189", "185,329,265,359", "185,499,265,529"}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.width);
    Map m;
    m.points({12, 13, 12});
    const RecordingCanvas rec = m.paint(k.width);
    for (const std::string& box : k.boxes)
      EXPECT_TRUE(Has(rec, "Rectangle " + box + " pen solid 1 808080 brush 00a000")) << box;
    const bool wraps = k.width < 760;
    EXPECT_EQ(Has(rec, "Line 150,89 150,259 pen solid 3 00a000"), wraps);
  }
  // Below the area's bottom the panel stops.
  Map m;
  m.points({12, 13, 12, 13});
  EXPECT_EQ(Count(Texts(m.paint(400)), "ATS"), 3);
}

TEST(PlcPanelTest, LineColoursAndContacts) {
  Map m;
  m.points({12});
  m.plc->setPlcYupsAlarm(0, 0);
  m.plc->setPlcYtpcAlarm(0, 1);
  // No PLC event: both contacts active; the second's line dotted.
  m.block().setSlot(20, 0b11);
  RecordingCanvas rec = m.paint();
  EXPECT_TRUE(Has(rec, "Line 204,119 225,139 pen solid 3 5cc0c0"));
  EXPECT_TRUE(Has(rec, "Line 245,119 225,139 pen dot 3 5cc0c0"));
  EXPECT_TRUE(Has(rec, "Rectangle 201,104,208,119 pen solid 1 808080 brush 5cc0c0"));
  EXPECT_TRUE(Has(rec, "Rectangle 243,104,250,119 pen solid 1 808080 brush 5cc0c0"));
  EXPECT_TRUE(Has(rec, "Line 150,89 300,89 pen solid 3 00a000"));

  // Event bit 0: bus and feeds grey, the bypass stub active, the drop Information.
  m.block().setMask(MaskWord::kReported, 1);
  m.block().setSlot(20, 0);
  rec = m.paint();
  EXPECT_TRUE(Has(rec, "Line 110,89 120,89 pen solid 3 5cc0c0"));
  EXPECT_TRUE(Has(rec, "Line 146,89 180,89 pen solid 3 c0c0c0"));
  EXPECT_TRUE(Has(rec, "Line 150,89 300,89 pen solid 3 c0c0c0"));
  EXPECT_TRUE(Has(rec, "Line 204,89 204,104 pen solid 3 c0c0c0"));
  EXPECT_TRUE(Has(rec, "Line 245,74 245,104 pen solid 3 c0c0c0"));
  EXPECT_TRUE(Has(rec, "Line 204,119 225,139 pen solid 3 c0c0c0"));
  EXPECT_TRUE(Has(rec, "Line 225,139 225,159 pen solid 3 00a000"));
}

TEST(PlcPanelTest, BypassSwitchBits) {
  const struct Case {
    int16_t xbypass;
    int32_t slot0;
    bool active;
  } cases[] = {
      {3, 0xFF, true},     {3, 0xF7, false}, {-5, 0xFF, false},
      {5000, 0xFF, false}, {8, 0xFF, false},  // slot 1 has no reading
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.xbypass);
    Map m;
    m.points({12});
    m.plc->setPlcXBypass(k.xbypass);
    m.block().setSlot(0, k.slot0);
    const RecordingCanvas rec = m.paint();
    const std::string colour = k.active ? "5cc0c0" : "00a000";
    EXPECT_TRUE(Has(rec, std::string("DrawIcon 121,74 ") + (k.active ? "266" : "265")));
    EXPECT_TRUE(Has(rec, "Line 146,89 180,89 pen solid 3 " + colour));
    EXPECT_TRUE(Has(rec, "Line 150,89 300,89 pen solid 3 " + colour));
  }
}

TEST(PlcPanelTest, PointCountAndUpsBoxes) {
  Map m;
  for (int i = 0; i < kPlcPointCount; ++i) m.plc->setPlcUpsId(i, 12);
  m.plc->setPlcPointNum(40);
  EXPECT_EQ(Count(Texts(m.paint(6000)), "ATS"), 32);
  m.plc->setPlcPointNum(-3);
  EXPECT_EQ(Count(Texts(m.paint(6000)), "ATS"), 0);

  // A UPS in alarm takes its level's colour; an id naming nothing, and the
  // bypass id 0 (the root group's), draw the grey box titled by the id.
  Map n;
  n.points({12, 99});
  n.plc->setPlcBypassUpsId(0);
  for (const auto& child : n.root->children())
    if (child->id() == 12) child->setAlarmLevel(kAlarmSerious);
  const RecordingCanvas rec = n.paint();
  const auto texts = Texts(rec);
  EXPECT_TRUE(Has(rec, "Rectangle 30,64,110,114 pen solid 1 808080 brush c0c0c0"));
  EXPECT_EQ(Count(texts, "#0"), 1);
  EXPECT_TRUE(Has(rec, "Rectangle 185,159,265,189 pen solid 1 808080 brush 0000ff"));
  EXPECT_TRUE(Has(rec, "Rectangle 335,159,415,189 pen solid 1 808080 brush c0c0c0"));
  EXPECT_EQ(Count(texts, "#99"), 1);
  EXPECT_EQ(Count(texts, "UPS"), 3);
}

}  // namespace
}  // namespace lark
