// The property pane: its rows per device kind, the row gap, the connection
// texts and colours, ratings and nominal pairs, and the mended inputs (long
// texts, the access byte, texts that fill their whole field, no block).
#include "console/tabs/property_pane.h"

#include <gtest/gtest.h>

#include "console/views/image_canvas.h"
#include "console/views/recording_canvas.h"
#include "tests/console/support/panel_fixture.h"

namespace lark {
namespace {

using test::MakeDevice;
using test::Quoted;

// "label|value" per row, in order; the section heading as " G20 ".
std::vector<std::string> Rows(const RecordingCanvas& c) {
  std::vector<std::string> out;
  const auto& ops = c.ops();
  for (size_t i = 0; i < ops.size(); ++i) {
    if (ops[i].rfind("DrawText ", 0) != 0) continue;
    std::string row = Quoted(ops[i]);
    if (i + 1 < ops.size() && ops[i + 1].rfind("TextOut ", 0) == 0) row += "|" + Quoted(ops[i + 1]);
    out.push_back(row);
  }
  return out;
}

// The colour of the value drawn after `label`.
std::string ValueColour(const RecordingCanvas& c, const std::string& label) {
  const auto& ops = c.ops();
  for (size_t i = 0; i + 1 < ops.size(); ++i)
    if (ops[i].rfind("DrawText ", 0) == 0 && Quoted(ops[i]) == label)
      return ops[i + 1].substr(ops[i + 1].find("colour ") + 7, 6);
  return "";
}

TEST(PropertyPaneTest, RowsPerDeviceKind) {
  test::PanelFixture f;
  auto snmp = MakeDevice(kNodeSnmp);
  snmp->setTitle("Net UPS");
  snmp->setIp("10.0.0.5");
  snmp->setPort(16161);
  snmp->setUpsTypeCode(0);
  LiveDataBlock& s = *snmp->block(BlockKind::kSnmp);
  s.putU8(0, 2);
  s.putText(627, 17, "NetModel");
  s.putText(644, 17, "1.02");
  s.putText(661, 16, "Agent 4");
  s.putText(742, 32, "ups-a");
  s.putText(780, 65, "Hall");
  s.putText(845, 33, "ops");
  for (auto [i, v] : {std::pair<int, int32_t>{0, 3000}, {1, 220}, {3, 220}, {2, 50}, {4, 60}, {5, 48}}) s.setSlot(i, v);

  auto ascii = MakeDevice(kNodeSerial, kCommAscii);
  ascii->setTitle("UPS 1");
  ascii->setLocation("Room 2");
  ascii->setCom("COM2");
  ascii->setUpsId(1);
  ascii->setUpsTypeCode(2);
  ascii->setStatus2(4);
  LiveDataBlock& a = *ascii->block(BlockKind::kAscii);
  a.putText(1011, 17, "SimUPS");
  a.putText(1028, 17, "FW7");
  a.putText(1045, 21, "SN42");
  for (auto [i, v] : {std::pair<int, int32_t>{4, 1250}, {2, 0}, {0, 230}, {3, 50}, {1, 50}, {14, 24}}) a.setSlot(i, v);

  auto three = MakeDevice(kNodeSerial, kCommThreePhase);
  three->setTitle("3P");
  three->setCom("COM3");
  three->setUpsId(2);
  three->setUpsTypeCode(3);
  three->block(BlockKind::kBinary)->putText(756, 31, "Triple");

  auto plc = MakeDevice(kNodeSerial, kCommPlc);
  plc->setTitle("PLC");
  plc->setCom("COM4");
  plc->setUpsId(-3);

  auto sensor = MakeDevice(kNodeSerial, kCommSensor);
  sensor->setTitle("Temp");
  sensor->setCom("COM5");
  sensor->setUpsId(7);
  PresetTwoPointSensor(*sensor->block(BlockKind::kSensor));

  auto gprs = MakeDevice(kNodeGprs);
  gprs->setTitle("Far");
  gprs->setUpsTypeCode(9);
  gprs->block(BlockKind::kGprs)->putText(798, 17, "GMod");
  gprs->block(BlockKind::kGprs)->putText(815, 17, "GV1");
  for (auto [i, v] : {std::pair<int, int32_t>{4, 800}, {2, 220}, {0, 230}, {3, 50}, {1, 50}})
    gprs->block(BlockKind::kGprs)->setSlot(i, v);

  struct Case {
    const DeviceNode* node;
    std::vector<std::string> rows;
  } cases[] = {
      {snmp.get(),
       {"G11", "G12: |Net UPS", "G14: |Hall", "G13: |Read/Write", "G15: |ops", "G16: |ups-a",
        "G17: |SNMP, UDP Port 16161", "G18: |10.0.0.5", "G19: |Agent 4", " G20 ", "G21: |NetModel",
        "G23: |On Line", "G24: |1.02", "G25: |3 KVA", "G26: |220 V", "G30: |50 Hz", "G31: |60 Hz",
        "G32: |48 V"}},
      {ascii.get(),
       {"G11", "G12: |UPS 1", "G14: |Room 2", "G17: |Local, COM2, ID1", " G20 ", "G21: |SimUPS",
        "G22: |SN42", "G23: |Line Interactive", "G24: |FW7", "G25: |1.2 KVA", "G28: |230 V",
        "G29: |50 Hz", "G32: |24 V", "G33: |4"}},
      {three.get(),
       {"G11", "G12: |3P", "G14: |", "G17: |Local, COM3, ID2", " G20 ", "G21: |Triple",
        "G23: |3Phase On Line"}},
      {plc.get(), {"G11", "G12: |PLC", "G14: |", "G17: |Local, COM4, ID-3", " G20 ", "G21: |"}},
      {sensor.get(),
       {"G11", "G12: |Temp", "G14: |", "G17: |Local, COM5, ID7", " G20 ", "G21: |Norva Sensor",
        "G23: |On Line", "G32: |"}},
      {gprs.get(),
       {"G11", "G12: |Far", "G14: |", "G17: |", " G20 ", "G21: |GMod", "G23: |", "G24: |GV1",
        "G25: |800 VA", "G27: |220 V", "G28: |230 V", "G29: |50 Hz", "G32: |"}},
  };
  for (const Case& k : cases) {
    RecordingCanvas c;
    PaintPropertyPane(c, f.inputs(c), k.node, 500);
    EXPECT_EQ(Rows(c), k.rows) << k.node->title();
  }
}

TEST(PropertyPaneTest, RowGapFollowsThePaneHeight) {
  test::PanelFixture f;  // L = 13
  auto ups = MakeDevice(kNodeSerial, kCommAscii);
  for (auto [height, gap] : {std::pair<int, int>{300, 3}, {400, 7}, {600, 10}}) {
    RecordingCanvas c;
    PaintPropertyPane(c, f.inputs(c), ups.get(), height);
    const std::vector<std::string> texts = c.opsNamed("DrawText");
    ASSERT_GE(texts.size(), 3u);
    const int y = 20 + 13 + 2 * gap;  // the first row, under the heading
    EXPECT_EQ(texts[1].substr(0, texts[1].find(' ', 9)), "DrawText 5," + std::to_string(y) + ",200," +
                                                            std::to_string(y + 13 + gap))
        << height;
    EXPECT_EQ(texts[2].substr(9, texts[2].find(',', 11) - 9), "5," + std::to_string(y + 13 + gap)) << height;
  }
}

TEST(PropertyPaneTest, ConnectionTextsAndColours) {
  test::PanelFixture f;
  const std::string serious = "0000ff", plain = "bc7544";
  struct Case {
    const char* what;
    uint8_t kind;
    bool noResponse, stopped;
    std::string text, colour;
  } cases[] = {
      {"SNMP answering", kNodeSnmp, false, false, "SNMP, UDP Port 161", plain},
      {"SNMP silent", kNodeSnmp, true, false, "Disconnect", serious},
      {"SNMP silent and stopped", kNodeSnmp, true, true, "Disconnect, T10", serious},
      {"local stopped", kNodeSerial, false, true, "Local, COM1, ID0, T10", serious},
      {"GPRS", kNodeGprs, false, false, "", plain},
  };
  for (const Case& k : cases) {
    auto n = MakeDevice(k.kind);
    n->setPort(161);
    n->setCom("COM1");
    if (k.noResponse) n->block(BlockKind::kSnmp)->setMask(MaskWord::kReported, uint64_t{1} << 28);
    PrimaryBlock(*n)->setMask(MaskWord::kCurrent, uint64_t{1} << 28);  // not reported: no effect
    if (k.stopped) n->setLinkStatus(kLinkStopped);
    RecordingCanvas c;
    PaintPropertyPane(c, f.inputs(c), n.get(), 500);
    const std::vector<std::string> rows = Rows(c);
    EXPECT_NE(std::find(rows.begin(), rows.end(), "G17: |" + k.text), rows.end()) << k.what;
    EXPECT_EQ(ValueColour(c, "G17: "), k.colour) << k.what;
    EXPECT_EQ(ValueColour(c, "G12: "), plain) << k.what;  // the colour returns afterwards
  }
}

TEST(PropertyPaneTest, RatingsAndNominalPairs) {
  test::PanelFixture f;
  struct Case {
    int32_t rating, inVolt, outVolt;
    std::vector<std::string> rows;  // G25 to G28
  } cases[] = {
      {800, 220, 220, {"G25: |800 VA", "G26: |220 V"}},
      {3000, 220, 230, {"G25: |3 KVA", "G27: |220 V", "G28: |230 V"}},
      {1250, 0, 230, {"G25: |1.2 KVA", "G28: |230 V"}},
      {0, -1, -1, {"G25: |"}},
  };
  for (const Case& k : cases) {
    auto ups = MakeDevice(kNodeSerial, kCommModbusUps);
    LiveDataBlock& m = *ups->block(BlockKind::kModbus);
    m.setSlot(4, k.rating);
    m.setSlot(2, k.inVolt);
    m.setSlot(0, k.outVolt);
    RecordingCanvas c;
    PaintPropertyPane(c, f.inputs(c), ups.get(), 500);
    std::vector<std::string> got;
    for (const std::string& r : Rows(c))
      if (r.rfind("G25", 0) == 0 || r.rfind("G26", 0) == 0 || r.rfind("G27", 0) == 0 || r.rfind("G28", 0) == 0)
        got.push_back(r);
    EXPECT_EQ(got, k.rows) << k.rating;
  }
  // An SNMP inverter or sensor keeps readings where a UPS keeps its nominal
  // values: they are no nominal voltages.
  for (uint8_t mib : {kMibInverter, kMibSensor}) {
    auto device = MakeDevice(kNodeSnmp, 0, mib);
    for (int n : {0, 1, 2, 3, 4, 5}) device->block(BlockKind::kSnmp)->setSlot(n, 24);
    RecordingCanvas c;
    PaintPropertyPane(c, f.inputs(c), device.get(), 500);
    for (const std::string& r : Rows(c))
      for (const char* nominal : {"G26", "G27", "G28", "G29", "G30", "G31"}) EXPECT_NE(r.rfind(nominal, 0), 0u) << r;
  }
}

TEST(PropertyPaneTest, LongTextsAccessByteAndMissingBlocks) {
  test::PanelFixture f;
  std::string wide;
  for (int i = 0; i < 50; ++i) wide += "\xc3\xa9";  // 100 bytes of two-byte characters
  f.texts.general[1] = wide;                        // G_12
  auto snmp = MakeDevice(kNodeSnmp);
  snmp->block(BlockKind::kSnmp)->putU8(0, 9);
  // A model text filling its whole field and running into the next one.
  std::vector<uint8_t> run(60, 'M');
  snmp->block(BlockKind::kSnmp)->writeBytes(627, run);
  RecordingCanvas c;
  PaintPropertyPane(c, f.inputs(c), snmp.get(), 500);
  const std::vector<std::string> rows = Rows(c);
  ASSERT_GE(rows.size(), 3u);
  EXPECT_EQ(rows[1].substr(0, rows[1].find('|')), wide.substr(0, 66));  // 33 characters, not 33.5
  EXPECT_NE(std::find(rows.begin(), rows.end(), "G13: |Unknown"), rows.end());
  for (const std::string& r : rows)
    if (r.rfind("G21: |", 0) == 0) {
      EXPECT_LE(r.size() - 6, 17u) << r;
    }

  // Without its block the SNMP device shows its own fields and empty values.
  snmp->freeBlock(BlockKind::kSnmp);
  snmp->setLocation("Own");
  RecordingCanvas m;
  PaintPropertyPane(m, f.inputs(m), snmp.get(), 500);
  const std::vector<std::string> bare = Rows(m);
  EXPECT_NE(std::find(bare.begin(), bare.end(), "G14: |Own"), bare.end());
  EXPECT_NE(std::find(bare.begin(), bare.end(), "G21: |"), bare.end());

  // No device: the work rectangle cleared, nothing else.
  RecordingCanvas none;
  PaintPropertyPane(none, f.inputs(none), nullptr, 500);
  EXPECT_EQ(none.ops(), std::vector<std::string>{"Rectangle 5,20,201,501 pen null brush ffffff"});
}

}  // namespace
}  // namespace lark
