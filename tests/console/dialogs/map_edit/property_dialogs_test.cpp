// The property dialogs on a link whose replies the test feeds: the console's
// node changes only on the service's 27 (Cancel and refusals keep it), the
// lock holder named with the buttons given back, the Alarm Mask's captions
// and its 36th box,
// the PLC table edited in a copy with UPS choices by id, and the opener's
// OpenDialogId back after a sub-dialog.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "console/dialogs/map_edit/alarm_mask_dialog.h"
#include "console/dialogs/map_edit/plc_dialog.h"
#include "console/dialogs/map_edit/property_dialogs.h"
#include "console/dialogs/reply_timer.h"
#include "console/link/device_endpoints.h"
#include "core/live_data.h"
#include "linkserver/control_lock.h"
#include "linkserver/link_replies.h"
#include "tests/console/dialogs/dialog_fixture.h"

namespace lark {
namespace {

struct Fixture : test::DialogFixture {
  Fixture() {
    for (const char* section : {"Dialog-ProGroup", "Dialog-ProSNMP", "Dialog-ProLocal", "Dialog-ProGPRS",
                                "Dialog-PLC", "Dialog-AlarmMask"})
      for (const char* key : {"MSG1", "MSG2", "MSG3", "MSG4", "MSG5"}) setText(section, key, key);
    setText("Dialog-AddObject", "MSG3", "Held by %s");
    ctx.messageBox = [this](QWidget*, const std::string&, const std::string& text, unsigned) {
      boxes.push_back(text);
      return int(IDOK);
    };
    for (int n : {12, 13, 14, 15, 17, 18, 19, 20, 105, 106})
      setText("MessageBox", "M_" + std::to_string(n), "M_" + std::to_string(n));
    RegisterPropertyDialogs(env);
  }
  // The dialog's request as the link queued it: sub-command and payload.
  // The operation-log entries queued before it go to `logs`.
  std::pair<uint8_t, std::vector<uint8_t>> sent(bool all = false) {
    while (auto head = link.queues().peek(3)) {
      if (!all && head->requestId == link.pending().sequence && head->requestId != 0)
        return {head->data[5], std::vector<uint8_t>(head->data.begin() + 6, head->data.end())};
      if (head->data.size() > 12 && head->data[4] == kLinkCmdEventLog)
        logs.push_back(std::to_string(u16At(head->data, 10)) + " " + strAt(head->data, 12, 258));
      link.queues().dropHead(3);
    }
    return {0, {}};
  }
  std::vector<std::string> logs;  // "<code> <text>"
  void answer(DialogBase& d, bool ok, const std::vector<uint8_t>& data = {}) {
    std::vector<uint8_t> reply;
    reply.reserve(2 + data.size());
    reply.push_back(static_cast<uint8_t>(ok ? 27 : 28));
    reply.push_back(d.request().sub);
    for (uint8_t b : data) reply.push_back(b);
    answerPending(kLinkCmdSetNodeProperties, reply);
    OnReplyTimer(d);
  }
  static std::vector<uint8_t> Lock(const char* holder) {
    std::vector<uint8_t> lock(kControlLockSize, 0);
    putU32(lock, kLockOffActive, 1);
    putStr(lock, kLockOffAddress, 20, holder);
    return lock;
  }
  DeviceNode* Add(uint8_t kind, const char* title) {
    DeviceNode* n = Tree_CreateNode(ctx.tree, kind, "0.0.0.0");
    n->setTitle(title);
    return n;
  }
  std::vector<std::string> boxes;
};

std::string Caption(const QWidget& d) { return d.windowTitle().toStdString(); }
void Type(DialogBase& d, int id, const char* text) { dynamic_cast<QLineEdit*>(d.Control(id))->setText(text); }

TEST(PropertyDialogs, TheNodeChangesOnlyWhenTheServiceConfirms) {
  Fixture f;
  DeviceNode* inverter = f.Add(kNodeSnmp, "Network inverter");
  inverter->setUpsId(3);
  inverter->setMibType(kMibInverter);
  inverter->setIp("127.0.0.3");
  inverter->setCommunity("public");
  AllocateNodeBlocks(*inverter);
  inverter->block(BlockKind::kSnmp)->setMask(MaskWord::kReported, 0x0000000800000002ull);

  {  // Cancel after typing: nothing sent, nothing changed.
    SnmpPropertyDialog d(f.env, *inverter, nullptr);
    d.Init();
    EXPECT_EQ(dynamic_cast<QLineEdit*>(d.Control(1002))->text(), "161");  // port 0 shown as 161
    Type(d, 1318, "Hall");
    dynamic_cast<QPushButton*>(d.Control(2))->click();
    EXPECT_EQ(d.result(), 0);
    EXPECT_EQ(f.sent().second.size(), 0u);
    EXPECT_EQ(inverter->location(), "");
    EXPECT_EQ(f.logs, (std::vector<std::string>{"3 (SNMP)", "5 (SNMP)"}));
  }

  SnmpPropertyDialog d(f.env, *inverter, nullptr);
  d.Init();
  Type(d, 1318, "Hall");
  d.Ok();
  const auto [sub, payload] = f.sent();
  EXPECT_EQ(sub, 2);
  ASSERT_EQ(payload.size(), 2 + kDeviceNodeSize + 8);
  EXPECT_EQ(be16At(payload, 0), inverter->idU16());
  EXPECT_EQ(i16At(payload, 2 + node_off::kUpsId), 3);
  EXPECT_EQ(payload[2 + node_off::kMibType], kMibInverter);
  EXPECT_EQ(u16At(payload, 2 + node_off::kPort), 161);
  EXPECT_EQ(u64At(payload, 2 + kDeviceNodeSize), 0x0000000800000002ull);
  EXPECT_FALSE(d.Control(1)->isEnabled());
  EXPECT_EQ(inverter->location(), "");

  // Refused while another console holds the lock: named, buttons back.
  f.answer(d, false, f.Lock("10.1.2.3"));
  EXPECT_EQ(Caption(d), "Held by 10.1.2.3");
  EXPECT_TRUE(d.Control(1)->isEnabled());
  EXPECT_TRUE(d.Control(2)->isEnabled());
  EXPECT_EQ(inverter->location(), "");

  d.Ok();
  f.answer(d, true, std::vector<uint8_t>(kControlLockSize, 0));
  EXPECT_EQ(d.result(), 1);
  EXPECT_EQ(inverter->location(), "Hall");
  EXPECT_EQ(inverter->port(), 161);
  EXPECT_EQ(inverter->upsId(), 3);
  EXPECT_EQ(inverter->mibType(), kMibUnknown);  // identified anew
  EXPECT_TRUE(f.ctx.mapDirty);
  f.sent(true);
  EXPECT_EQ(f.logs.back(), "4 (SNMP Title:Network inverter, Locaion:Hall, id:" + std::to_string(inverter->id()) +
                               ", IP:127.0.0.3, Port:161, Community:public, Stop:0, Database:1)");
}

TEST(PropertyDialogs, RefusalsSendNothing) {
  Fixture f;
  DeviceNode* group = f.Add(kNodeGroup, "Server room");
  DeviceNode* ups = f.Add(kNodeSerial, "UPS 1");
  ups->setCom("COM1");
  ups->setUpsId(1);
  DeviceNode* net = f.Add(kNodeSnmp, "Network UPS");
  net->setIp("10.0.0.1");
  net->setCommunity("public");
  struct Case {
    DeviceNode* node;
    int edit;
    const char* text;
    std::string box;
  };
  const Case cases[] = {
      {group, 1000, "Server.room", "M_12"}, {group, 1318, "A\tB", "M_105"}, {net, 1004, "", "M_13"},
      {net, 1002, "65536", "M_14"},         {net, 1002, "0", "M_14"},       {net, 1000, "Net UPS", "M_12"},
      {ups, 1180, "", "M_17"},              {ups, 1180, "abc", "M_18"},     {ups, 1180, "300", "M_18"},
  };
  for (const Case& c : cases) {
    f.boxes.clear();
    std::unique_ptr<PropertyDialog> d;
    if (c.node->nodeKind() == kNodeGroup) d = std::make_unique<GroupPropertyDialog>(f.env, *c.node, nullptr);
    if (c.node->nodeKind() == kNodeSnmp) d = std::make_unique<SnmpPropertyDialog>(f.env, *c.node, nullptr);
    if (c.node->nodeKind() == kNodeSerial) d = std::make_unique<LocalPropertyDialog>(f.env, *c.node, nullptr);
    d->Init();
    Type(*d, c.edit, c.text);
    d->Ok();
    EXPECT_EQ(f.boxes, std::vector<std::string>{c.box}) << c.edit << " " << c.text;
    EXPECT_FALSE(d->waiting()) << c.edit << " " << c.text;
  }
}

TEST(PropertyDialogs, LocalTypeListKeepsTheNodesTypeAndMeterSumGreysThePort) {
  Fixture f;
  DeviceNode* plc = f.Add(kNodeSerial, "PLC 1");
  plc->setCommType(kCommPlc);
  plc->setCom("COM4");
  plc->setUpsId(1);
  LocalPropertyDialog d(f.env, *plc, nullptr);
  d.Init();
  auto* types = dynamic_cast<QComboBox*>(d.Control(1100));
  EXPECT_EQ(types->currentText(), "Modbus-QLM-PLC");  // not offered, yet the node's own
  EXPECT_TRUE(d.Control(4)->isEnabled());
  types->setCurrentIndex(types->findText("Meter-Sum"));
  EXPECT_FALSE(d.Control(10)->isEnabled());
  EXPECT_FALSE(d.Control(1180)->isEnabled());
  EXPECT_FALSE(d.Control(4)->isEnabled());
  d.Ok();
  const auto [sub, payload] = f.sent();
  ASSERT_EQ(payload.size(), 2 + kDeviceNodeSize);
  EXPECT_EQ(i16At(payload, 2 + node_off::kCommType), kCommMeterSum);
  EXPECT_EQ(strAt(payload, 2 + node_off::kCom, 15), "COM1");
  EXPECT_EQ(d.request().timeoutMs, 30000u);
}

TEST(PropertyDialogs, AlarmMaskReadsAndWritesBit35AndKeepsTheBitsPastItsBoxes) {
  Fixture f;
  DeviceNode* ups = f.Add(kNodeSnmp, "Network UPS");
  ups->setMibType(kMibMakerUps);
  SnmpPropertyDialog opener(f.env, *ups, nullptr);
  opener.Init();
  f.ctx.openDialog.id = kProSnmpDialogId;
  uint64_t written = 0;
  f.setText("Dialog-AlarmMask", "SNMP_2", "On Battery");
  test::OnModal<AlarmMaskDialog>([&](AlarmMaskDialog& m) {
    EXPECT_EQ(m.boxCount(), 36);
    // Captions from the language folder; a box it does not name keeps the template's.
    const auto* named = dynamic_cast<QCheckBox*>(m.Control(1321));
    EXPECT_EQ(named->text().toStdString(), "On Battery");
    EXPECT_EQ(named->accessibleName().toStdString(), "On Battery");
    EXPECT_EQ(dynamic_cast<QCheckBox*>(m.Control(1322))->text().toStdString(), "電池低電壓");
    EXPECT_EQ(f.sent().first, 5);
    uint8_t words[8];
    PutMaskWords((uint64_t{1} << 35) | (uint64_t{1} << 40) | 1, Bytes(words, 8));
    f.answer(m, true, std::vector<uint8_t>(words, words + 8));
    EXPECT_TRUE(dynamic_cast<QCheckBox*>(m.Control(1355))->isChecked());
    EXPECT_TRUE(dynamic_cast<QCheckBox*>(m.Control(1320))->isChecked());
    dynamic_cast<QCheckBox*>(m.Control(1320))->setChecked(false);
    m.Ok();
    const auto [sub, payload] = f.sent();
    EXPECT_EQ(sub, 6);
    written = u64At(payload, 2);
    EXPECT_EQ(NodeMaskWords(*ups), (uint64_t{1} << 35) | (uint64_t{1} << 40) | 1);  // not before the answer
    f.answer(m, true);
  });
  dynamic_cast<QPushButton*>(opener.Control(1319))->click();
  EXPECT_EQ(written, (uint64_t{1} << 35) | (uint64_t{1} << 40));
  EXPECT_EQ(NodeMaskWords(*ups), written);
  // The property dialog waits under its own number again, and its reply is its own.
  EXPECT_EQ(f.ctx.openDialog.id, kProSnmpDialogId);
  opener.Ok();
  // While the change waits, a mask request would take its place.
  EXPECT_FALSE(opener.Control(1319)->isEnabled());
  f.answer(opener, false);
  EXPECT_TRUE(opener.Control(1319)->isEnabled());
  opener.Ok();
  f.answer(opener, true);
  EXPECT_EQ(opener.result(), 1);
}

TEST(PropertyDialogs, PlcPointsAreEditedInACopyWithTheirUpsById) {
  Fixture f;
  DeviceNode* ups = f.Add(kNodeSnmp, "UPS 1 (2)");
  DeviceNode* plc = f.Add(kNodeSerial, "PLC 1");
  plc->setCommType(kCommPlc);
  ConsoleEndpoints endpoints;
  ups->setIp("10.0.0.1");
  endpoints.addSnmpDevice(*ups);
  f.env.endpoints = &endpoints;
  test::OnModal<PlcDialog>([&](PlcDialog& p) {
    EXPECT_EQ(f.sent().first, 3);
    DeviceNode table;
    table.setPlcPointNum(2);
    table.setPlcXtpcTrip(1, 17);
    table.setPlcSource(1, "Feeder B");
    std::vector<uint8_t> record(kPlcSettingsSize, 0);
    WritePlcSettings(table, record);
    f.answer(p, true, record);
    EXPECT_EQ(plc->plcXtpcTrip(1), 17);  // the service's table
    auto* rows = dynamic_cast<QTableWidget*>(p.Control(1302));
    EXPECT_EQ(rows->item(1, 6)->text(), "Feeder B");
    EXPECT_EQ(rows->item(0, 5)->text(), "None");
    rows->setCurrentCell(1, 0);
    EXPECT_EQ(dynamic_cast<QLineEdit*>(p.Control(1300))->text(), "17");
    // Refused: a number past 32767, a source with a tab.
    f.boxes.clear();
    Type(p, 1320, "32768");
    p.SetPoint();
    Type(p, 1320, "5");
    Type(p, 1093, "a\tb");
    p.SetPoint();
    EXPECT_EQ(f.boxes, (std::vector<std::string>{"M_106", "M_105"}));
    Type(p, 1093, "Feeder C");
    auto* choice = dynamic_cast<QComboBox*>(p.Control(1084));
    choice->setCurrentIndex(choice->findData(ups->id()));
    p.SetPoint();
    EXPECT_EQ(rows->item(1, 5)->text().toStdString(), "UPS 1 (2) (" + std::to_string(ups->id()) + ")");
    EXPECT_EQ(plc->plcSource(1), "Feeder B");  // the node waits for the answer
    p.Ok();
    const auto [sub, payload] = f.sent();
    EXPECT_EQ(sub, 4);
    DeviceNode out;
    ReadPlcSettings(out, CBytes(payload).subspan(2));
    EXPECT_EQ(out.plcUpsId(1), ups->id());
    EXPECT_EQ(out.plcYupsAlarm(1), 5);
    f.answer(p, true);
  });
  EXPECT_EQ(f.ctx.dialogs.Open(kPlcResource, nullptr, reinterpret_cast<intptr_t>(plc)), 1);
  EXPECT_EQ(plc->plcSource(1), "Feeder C");
  EXPECT_EQ(plc->plcUpsId(1), ups->id());
  EXPECT_EQ(plc->plcYupsAlarm(1), 5);
}

TEST(PropertyDialogs, GprsTimeOutFailsAndClosesAsTheGroupDialogDoes) {
  Fixture f;
  DeviceNode* station = f.Add(kNodeGprs, "Station 1");
  GroupPropertyDialog d(f.env, *station, nullptr);
  d.Init();
  Type(d, 1318, "Roof");
  d.Ok();
  EXPECT_EQ(d.request().sub, 7);
  f.clock.advance(5001);
  OnReplyTimer(d);
  EXPECT_EQ(Caption(d), "Property - GPRS - MSG1");
  EXPECT_EQ(d.closingPauseMs(), kFailurePauseMs);
  EXPECT_EQ(station->location(), "");
}

}  // namespace
}  // namespace lark
