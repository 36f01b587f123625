// The property dialogs in the console against the built Larkcore on the whole
// demo map (devices stopped), in private network and shared-memory
// namespaces: a change of each kind as the service saves it, with the unit,
// type and flags the dialog does not show kept; the PLC table and the mask's
// 36th bit written and read back; another console's lock named.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "console/dialogs/map_edit/alarm_mask_dialog.h"
#include "console/dialogs/map_edit/node_properties.h"
#include "console/dialogs/map_edit/plc_dialog.h"
#include "console/dialogs/map_edit/property_dialogs.h"
#include "console/link/link_queue.h"
#include "console/link/request_frame.h"
#include "tests/console/dialogs/dialog_fixture.h"
#include "tests/console/support/larkcore_console.h"
#include "tests/support/link_test_client.h"

namespace lark {
namespace {

class PropertyDialogsLarkcore : public test::LarkcoreConsole {
 protected:
  PropertyDialogsLarkcore() {
    privateShm = true;
    demoNodes = 14;
    polled = false;
    withMap = true;
  }
  void BeforeServiceStarts() override { before = ReadFile(service.file("Demo.UMF")).value_or(""); }
  void ConsoleFiles() override {
    CopyEnglishFolder();
    WriteProfileString(console.file("English/language.ini"), "Dialog-AddObject", "MSG3", "Held by %s");
  }
  // The property dialogs alone: the session's own dialogs would take the link.
  void Install() override {
    dialogs = env.get();
    dialogs->endpoints = &link->endpoints();
    RegisterPropertyDialogs(*dialogs);
  }
  void Linked() override { ASSERT_TRUE(test::Spin([&] { return Node("PLC 1"); }, 30000)) << larkcore->output(); }
  int Answer(const std::string&, const std::string& text, unsigned) override {
    boxes.push_back(text);
    return IDOK;
  }

  // A key of a map section ("" when missing).
  static std::string Key(const std::string& map, int id, const std::string& key) {
    const std::string head = "[ID" + std::to_string(id) + "]";
    const size_t at = map.find(head);
    if (at == std::string::npos) return "";
    const size_t end = map.find("\n[", at + 1);
    const size_t k = map.find("\n" + key + "=", at);
    if (k == std::string::npos || k > end) return "";
    const size_t v = k + key.size() + 2;
    return map.substr(v, map.find_first_of("\r\n", v) - v);
  }
  // The service saves its map; waits until `id` holds `key`=`value`.
  bool SavedWith(int id, const std::string& key, const std::string& value) {
    const std::vector<uint8_t> save = BuildRequestFrame(kLinkCmdSaveMap, 0, {});
    if (!link->link().queues().put(0, kReplyQueue, kRequestQueue, kKindRequest, kLinkCmdSaveMap, 4500, 0, save))
      return false;
    return test::Spin([&] { return Key(ReadFile(service.file("Demo.UMF")).value_or(""), id, key) == value; }, 15000);
  }
  // Runs dialog `resource` on `node` modally with `act` inside it.
  template <class D>
  int Run(int resource, DeviceNode* node, std::function<void(D&)> act) {
    test::OnModal<D>(act);
    return ctx->dialogs.Open(resource, nullptr, reinterpret_cast<intptr_t>(node));
  }

  std::string before;  // the demo map as the service loaded it
  ConsoleDialogs* dialogs = nullptr;  // `env`, under the name the cases use
  std::vector<std::string> boxes;
};

TEST_F(PropertyDialogsLarkcore, EachKindsChangeIsSavedWithWhatTheDialogDoesNotShow) {
  struct Case {
    const char* title;
    int id;  // its map section
  };
  const Case cases[] = {{"Server room", 1}, {"UPS 1", 2}, {"Station 1", 8}, {"Network inverter", 11}};
  // The console knows the inverter's MIB from the service's device data.
  ASSERT_TRUE(test::Spin([&] { return Node("Network inverter")->mibType() == kMibInverter; }, 15000));
  for (const Case& c : cases) {
    DeviceNode* node = Node(c.title);
    ASSERT_TRUE(node) << c.title;
    const std::string location = "Hall " + std::to_string(c.id);
    std::unique_ptr<PropertyDialog> d;
    switch (node->nodeKind()) {
      case kNodeSerial: d = std::make_unique<LocalPropertyDialog>(*dialogs, *node, nullptr); break;
      case kNodeSnmp: d = std::make_unique<SnmpPropertyDialog>(*dialogs, *node, nullptr); break;
      default: d = std::make_unique<GroupPropertyDialog>(*dialogs, *node, nullptr); break;
    }
    d->Init();
    Type(*d, 1318, location.c_str());
    d->Ok();
    ASSERT_TRUE(test::Spin([&] { return d->result() == 1; }, 15000)) << c.title << ": " << d->windowTitle().toStdString();
    EXPECT_EQ(node->location(), location);
  }
  EXPECT_TRUE(boxes.empty());
  // The save ends this console's changes; its tree may be loaded again after it.
  ASSERT_TRUE(SavedWith(11, "Location", "Hall 11"));
  const std::string after = ReadFile(service.file("Demo.UMF")).value_or("");
  for (const Case& c : cases) {
    EXPECT_EQ(Key(after, c.id, "Location"), "Hall " + std::to_string(c.id)) << c.title;
    for (const char* key : {"Title", "UPSID", "MIB.Type", "CommType", "COM", "Baud", "Comm.Stop", "SaveInDatabase"})
      EXPECT_EQ(Key(after, c.id, key), Key(before, c.id, key)) << c.title << " " << key;
  }
  EXPECT_EQ(Key(after, 11, "UPSID"), "3");
  EXPECT_EQ(Key(after, 11, "MIB.Type"), "6");
}

TEST_F(PropertyDialogsLarkcore, PlcTableAndMaskBit35RoundTrip) {
  DeviceNode* plc = Node("PLC 1");
  const int upsId = Node("UPS 1")->id();
  const auto read = [](DialogBase& d) {
    return test::Spin([&] { return d.Control(1)->isEnabled() && d.windowTitle().endsWith("read."); }, 15000);
  };
  int r = Run<PlcDialog>(kPlcResource, plc, [&](PlcDialog& p) {
    ASSERT_TRUE(read(p)) << p.windowTitle().toStdString();
    Type(p, 1300, "12");
    Type(p, 1320, "7");
    Type(p, 1093, "Feeder Z");
    auto* choice = dynamic_cast<QComboBox*>(p.Control(1084));
    choice->setCurrentIndex(choice->findData(upsId));
    ASSERT_EQ(choice->currentText().toStdString(), "UPS 1 (" + std::to_string(upsId) + ")");
    p.SetPoint();
    p.Ok();
  });
  ASSERT_EQ(r, 1);
  // Read again over a console copy that forgot it.
  plc->setPlcSource(0, "");
  r = Run<PlcDialog>(kPlcResource, plc, [&](PlcDialog& p) {
    ASSERT_TRUE(read(p));
    EXPECT_EQ(dynamic_cast<QLineEdit*>(p.Control(1093))->text(), "Feeder Z");
    EXPECT_EQ(dynamic_cast<QComboBox*>(p.Control(1084))->currentData().toInt(), upsId);
    dynamic_cast<QPushButton*>(p.Control(2))->click();
  });
  EXPECT_EQ(r, 0);
  EXPECT_EQ(plc->plcSource(0), "Feeder Z");

  DeviceNode* net = Node("Network UPS");
  r = Run<AlarmMaskDialog>(kAlarmMaskSnmpResource, net, [&](AlarmMaskDialog& m) {
    ASSERT_TRUE(read(m)) << m.windowTitle().toStdString();
    dynamic_cast<QCheckBox*>(m.Control(1355))->setChecked(true);
    m.Ok();
  });
  ASSERT_EQ(r, 1);
  EXPECT_EQ(NodeMaskWords(*net), uint64_t{1} << 35);
  SetNodeMaskWords(*net, 0);
  r = Run<AlarmMaskDialog>(kAlarmMaskSnmpResource, net, [&](AlarmMaskDialog& m) {
    ASSERT_TRUE(read(m));
    EXPECT_TRUE(dynamic_cast<QCheckBox*>(m.Control(1355))->isChecked());
    dynamic_cast<QPushButton*>(m.Control(2))->click();
  });
  EXPECT_EQ(r, 0);
  EXPECT_EQ(NodeMaskWords(*net), uint64_t{1} << 35);

  ASSERT_TRUE(SavedWith(7, "PLC.Source1", "Feeder Z"));
  const std::string saved = ReadFile(service.file("Demo.UMF")).value_or("");
  EXPECT_EQ(Key(saved, 7, "PLC.XTPCTrip1"), "12");
  EXPECT_EQ(Key(saved, 7, "PLC.YUPSAlarm1"), "7");
  EXPECT_EQ(Key(saved, 7, "PLC.UPSID1"), std::to_string(upsId));
  EXPECT_EQ(Key(saved, 10, "PLC.UPSID3"), "8");
}

TEST_F(PropertyDialogsLarkcore, AnotherConsolesLockIsNamedAndTheNodeKept) {
  test::LinkTestClient other(8900);
  ASSERT_TRUE(other.connected());
  ASSERT_TRUE(other.request(kLinkCmdHello));
  const auto added = other.request(kLinkCmdAddNode, {kNodeGroup, 0, 0});
  ASSERT_TRUE(added && added->size() > 5 && (*added)[5] == 25) << "the other console's add";
  DeviceNode* room = Node("Server room");
  GroupPropertyDialog d(*dialogs, *room, nullptr);
  d.Init();
  Type(d, 1318, "Building B");
  d.Ok();
  ASSERT_TRUE(test::Spin([&] { return d.Control(1)->isEnabled(); }, 15000));
  EXPECT_EQ(d.windowTitle().toStdString(), "Held by 127.0.0.1");
  EXPECT_EQ(room->location(), "Building A");
  EXPECT_EQ(d.result(), 0);
}

}  // namespace
}  // namespace lark
