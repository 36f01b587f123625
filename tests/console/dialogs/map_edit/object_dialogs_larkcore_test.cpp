// The map's edit commands with the object dialogs in the whole console,
// against the built Larkcore on the demo folder in its own network namespace
// and /dev/shm: adds of every kind, cut, paste, remove and remove all leave
// the service's map as the console's; another console's lock and a stopped
// service end the Add without a node.
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>

#include "console/dialogs/map_edit/object_dialogs.h"
#include "console/dialogs/map_edit/property_dialogs.h"
#include "console/link/link_queue.h"
#include "console/link/request_frame.h"
#include "linkserver/link_frame.h"
#include "tests/console/support/larkcore_console.h"
#include "tests/support/link_test_client.h"

namespace lark {
namespace {

class ObjectDialogsLarkcore : public test::LarkcoreConsole {
 protected:
  ObjectDialogsLarkcore() {
    privateShm = true;
    polled = false;
    withMap = withLists = true;
  }
  void ConsoleFiles() override {
    LarkcoreConsole::ConsoleFiles();
    WriteFileAtomic(console.file("monitor.ini"), "[Startup Config]\r\nAuto Connect=0\r\n");
  }
  void Install() override {
    InstallObjectDialogs(*env, *map);
    if (realProperties) {
      env->endpoints = &link->endpoints();
      RegisterPropertyDialogs(*env);
    } else {
      // The property dialogs accept the new node as it stands.
      for (int resource : {249, 106, 250, 167})
        ctx->dialogs.Register(resource, [this, resource](QWidget*, intptr_t) {
          properties.push_back(resource);
          return 1;
        });
    }
  }
  void Linked() override {
    // The downloaded map is shown (a group holding "UPS 1"): the edits go to that group.
    ASSERT_TRUE(test::Spin([&] { return map->view().currentGroup().childCount() == 1; }, 20000));
    // Every caption an object dialog shows, in order.
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [this] {
      if (auto* p = dynamic_cast<PropertyDialog*>(QApplication::activeModalWidget()); p && p != watchedProperty) {
        watchedProperty = p;
        if (onProperty) onProperty(*p);
      }
      auto* d = dynamic_cast<ObjectDialog*>(QApplication::activeModalWidget());
      if (!d || d == watched) return;
      watched = d;
      captions.push_back(d->windowTitle().toStdString());
      QObject::connect(d, &QWidget::windowTitleChanged, [this](const QString& t) { captions.push_back(t.toStdString()); });
      if (onOpen) onOpen(*d);
    });
    watch.start();
  }
  void StopConsole() override {
    watch.stop();
    LarkcoreConsole::StopConsole();
  }
  int Answer(const std::string&, const std::string&, unsigned flags) override {
    return int(flags & MB_YESNO ? IDYES : IDOK);
  }

  // Runs a menu command; the captions its object dialogs showed.
  std::vector<std::string> Run(int command) {
    captions.clear();
    watched = nullptr;
    w->SendCommand(command);
    return captions;
  }
  std::string Text(const char* section, const char* key) const {
    return ReadProfileString(console.file("English/language.ini"), section, key, "", 256);
  }
  std::string Done(const char* section, const char* title) const { return std::string(title) + " - " + Text(section, "MSG1"); }

  // The tree as "id<parent:kind@left,top" lines (the icon's place) in
  // depth-first order.
  static std::string Shape(const DeviceNode& n, int parent, std::string out = "") {
    out += std::to_string(n.id()) + "<" + std::to_string(parent) + ":" + std::to_string(n.nodeKind()) + "@" +
           std::to_string(n.iconRect().left) + "," + std::to_string(n.iconRect().top) + "\n";
    for (const auto& c : n.children()) out = Shape(*c, n.id(), out);
    return out;
  }
  // The service's map file in the same shape, once it saved it.
  std::string SavedShape() {
    const std::string file = service.file("Demo.UMF");
    const std::string before = ReadFile(file).value_or("");
    const std::vector<uint8_t> save = BuildRequestFrame(kLinkCmdSaveMap, 0, {});
    if (!link->link().queues().put(0, kReplyQueue, kRequestQueue, kKindRequest, kLinkCmdSaveMap, 4500, 0, save))
      return "not queued";
    if (!test::Spin([&] { return ReadFile(file).value_or("") != before; }, 20000)) return "not saved";
    std::string out;
    const int count = std::stoi(ReadProfileString(file, "Main", "Number", "0", 16));
    for (int i = 0; i < count; ++i) {
      const std::string id = ReadProfileString(file, "Main", "Index" + std::to_string(i) + ".ID", "", 16);
      const std::string section = "ID" + id;
      const std::string parent = ReadProfileString(file, section, "PreviousID", "", 16);
      const std::string kind = ReadProfileString(file, section, "upsGroupSNMP", "", 16);
      out += id + "<" + (id == "0" ? "-1" : parent) + ":" + kind + "@" +
             ReadProfileString(file, section, "iconRect.left", "0", 16) + "," +
             ReadProfileString(file, section, "iconRect.top", "0", 16) + "\n";
    }
    return out;
  }

  bool realProperties = false;  // the property dialogs themselves instead of an accepting stand-in
  QTimer watch;
  ObjectDialog* watched = nullptr;
  std::function<void(ObjectDialog&)> onOpen;
  PropertyDialog* watchedProperty = nullptr;
  std::function<void(PropertyDialog&)> onProperty;
  std::vector<std::string> captions;
  std::vector<int> properties;
};

TEST_F(ObjectDialogsLarkcore, EditsOfEveryKindLeaveTheServicesMapAsTheConsoles) {
  DeviceNode& root = ctx->tree.root();
  DeviceNode& group = map->view().currentGroup();
  const std::string added = Done("Dialog-AddObject", "Add Object");
  for (int command : {IDM_ADD_GROUP, IDM_ADD_SNMP, IDM_ADD_LOCAL, IDM_ADD_GPRS}) {
    const std::vector<std::string> seen = Run(command);
    ASSERT_FALSE(seen.empty()) << command;
    EXPECT_EQ(seen.back(), added) << command;
  }
  EXPECT_EQ(properties, (std::vector<int>{249, 106, 250, 167}));
  ASSERT_EQ(group.childCount(), 5);
  EXPECT_EQ(SavedShape(), Shape(root, -1));

  // The GPRS station moves into the new group; the SNMP device goes, then
  // everything the group holds.
  map->view().SelectNode(4, false);
  EXPECT_EQ(Run(IDM_CUT).back(), Done("Dialog-CutObject", "Cut Object"));
  map->view().SelectNode(1, false);
  ASSERT_TRUE(map->view().selectedNode()->isGroup());
  map->view().EnterGroup();
  EXPECT_EQ(Run(IDM_PASTE).back(), Done("Dialog-PasteObject", "Paste Object"));
  map->view().LeaveGroup();
  EXPECT_EQ(SavedShape(), Shape(root, -1));

  map->view().SelectNode(2, false);
  ASSERT_EQ(map->view().selectedNode()->nodeKind(), kNodeSnmp);
  EXPECT_EQ(Run(IDM_DELETE).back(), Done("Dialog-RemoveObject", "Remove Object"));
  map->view().SelectNode(1, false);
  map->view().EnterGroup();
  ASSERT_EQ(map->view().currentGroup().childCount(), 1);
  EXPECT_EQ(Run(IDM_DELETE_ALL).back(), Done("Dialog-RemoveAllObject", "Remove All Object"));
  EXPECT_EQ(map->view().currentGroup().childCount(), 0);
  map->view().LeaveGroup();
  EXPECT_EQ(group.childCount(), 3);
  EXPECT_EQ(SavedShape(), Shape(root, -1));
}

// A device cut inside a group that keeps another, the map moved up by the
// menu, then pasted: it lands in the parent and the map stays there, though
// the lists' refill selects the device left behind; the service agrees.
TEST_F(ObjectDialogsLarkcore, CutMoveUpPasteLandsInTheParent) {
  DeviceNode& root = ctx->tree.root();
  DeviceNode* room = &map->view().currentGroup();  // "Server room", holding "UPS 1"
  ASSERT_EQ(room->parent(), &root);
  ASSERT_EQ(Run(IDM_ADD_LOCAL).back(), Done("Dialog-AddObject", "Add Object"));
  ASSERT_EQ(room->childCount(), 2);
  map->view().SelectNode(0, true);
  const int32_t ups = map->view().selectedNode()->id();
  EXPECT_EQ(Run(IDM_CUT).back(), Done("Dialog-CutObject", "Cut Object"));
  Run(IDM_MOVE_UP);
  EXPECT_EQ(&map->view().currentGroup(), &root);
  EXPECT_EQ(Run(IDM_PASTE).back(), Done("Dialog-PasteObject", "Paste Object"));
  ASSERT_EQ(root.childCount(), 2);
  EXPECT_EQ(root.child(1)->id(), ups);
  EXPECT_EQ(room->childCount(), 1);
  EXPECT_EQ(&map->view().currentGroup(), &root);
  EXPECT_EQ(map->view().selected(), 1);
  EXPECT_EQ(SavedShape(), Shape(root, -1));
}

TEST_F(ObjectDialogsLarkcore, AnotherConsolesLockRefusesTheAddAndNamesIt) {
  test::LinkTestClient other(8900);
  ASSERT_TRUE(other.connected());
  ASSERT_TRUE(other.request(kLinkCmdHello));
  const auto taken = other.request(kLinkCmdAddNode, {kNodeGroup, 0, 0});
  ASSERT_TRUE(taken && taken->size() > 5 && (*taken)[5] == 25);
  const int before = map->view().currentGroup().childCount();
  std::string msg3 = Text("Dialog-AddObject", "MSG3");
  msg3.replace(msg3.find("%s"), 2, "127.0.0.1");
  const std::vector<std::string> seen = Run(IDM_ADD_SNMP);
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen[seen.size() - 2], "Add Object - " + Text("Dialog-AddObject", "MSG2"));
  EXPECT_EQ(seen.back(), msg3);
  EXPECT_EQ(map->view().currentGroup().childCount(), before);
  EXPECT_TRUE(properties.empty());
}

TEST_F(ObjectDialogsLarkcore, AStoppedServiceEndsTheAddAtItsTimeOut) {
  ASSERT_EQ(kill(larkcore->pid(), SIGSTOP), 0);
  // Past the time-out once the request is out.
  onOpen = [this](ObjectDialog& d) {
    QTimer::singleShot(0, &d, [this, &d] {
      if (d.waiting()) clock.advance(10001);
    });
  };
  const int before = map->view().currentGroup().childCount();
  EXPECT_EQ(Run(IDM_ADD_GROUP).back(), "Add Object - " + Text("Dialog-AddObject", "MSG2"));
  EXPECT_EQ(map->view().currentGroup().childCount(), before);
  EXPECT_TRUE(properties.empty());
}

// The operator's whole path from the menu, with the property dialogs
// themselves: the new node is the service's under the console's id, with
// what the operator typed.
class ObjectAndPropertyLarkcore : public ObjectDialogsLarkcore {
 protected:
  void SetUp() override {
    realProperties = true;
    withMenu = true;
    ObjectDialogsLarkcore::SetUp();
  }
  // The next property dialog gets `edits` (control id, text or list entry), then OK.
  void Fill(std::vector<std::pair<int, const char*>> edits) {
    watchedProperty = nullptr;
    onProperty = [edits](PropertyDialog& d) {
      for (const auto& [id, text] : edits) {
        if (auto* list = dynamic_cast<QComboBox*>(d.Control(id)))
          list->setCurrentIndex(list->findText(text));
        else
          dynamic_cast<QLineEdit*>(d.Control(id))->setText(text);
      }
      d.Ok();
      // A refusal leaves it open: the test fails instead of hanging.
      QTimer::singleShot(30000, &d, [&d] { d.done(0); });
    };
  }
  std::string SavedKey(int id, const char* key) {
    return ReadProfileString(service.file("Demo.UMF"), "ID" + std::to_string(id), key, "", 256);
  }
};

TEST_F(ObjectAndPropertyLarkcore, AddedNodesAreEditedMovedAndRemovedFromTheMenu) {
  DeviceNode& root = ctx->tree.root();
  DeviceNode& group = map->view().currentGroup();
  struct Case {
    int command;
    uint8_t kind;
    std::vector<std::pair<int, const char*>> edits;  // title 1000 first
    const char* address;                             // the saved IP ("" for a local node)
  };
  const Case cases[] = {
      {IDM_ADD_SNMP, kNodeSnmp, {{1000, "Rack7-UPS"}, {1001, "10.0.0.7"}}, "10.0.0.7"},
      {IDM_ADD_LOCAL, kNodeSerial, {{1000, "Rack8-UPS"}, {10, "COM2"}, {1180, "4"}}, ""},
  };
  for (const Case& c : cases) {
    Fill(c.edits);
    const std::vector<std::string> seen = Run(c.command);
    ASSERT_FALSE(seen.empty()) << c.command;
    EXPECT_EQ(seen.back(), Done("Dialog-AddObject", "Add Object")) << c.command;
    DeviceNode* added = map->view().selectedNode();
    ASSERT_TRUE(added && added->nodeKind() == c.kind) << c.command;
    EXPECT_EQ(added->title(), c.edits[0].second);
    EXPECT_FALSE(ctx->commands.newNode);
    EXPECT_EQ(SavedShape(), Shape(root, -1)) << c.command;
    EXPECT_EQ(SavedKey(added->id(), "Title"), c.edits[0].second);
    EXPECT_EQ(SavedKey(added->id(), "IP"), c.address);
  }
  ASSERT_EQ(group.childCount(), 3);
  const int snmp = 1;
  ASSERT_EQ(group.child(snmp)->nodeKind(), kNodeSnmp);
  const int snmpId = group.child(snmp)->id();
  // The console watches the new device.
  EXPECT_TRUE(std::any_of(link->endpoints().entries().begin(), link->endpoints().entries().end(),
                          [&](const ConsoleEndpoints::Entry& e) { return e.id == snmpId; }));

  // Edited again through Property.
  map->view().SelectNode(snmp, false);
  Fill({{1318, "Hall 7"}});
  w->SendCommand(IDM_PROPERTY);
  EXPECT_EQ(group.child(snmp)->location(), "Hall 7");
  ASSERT_TRUE(SavedShape() == Shape(root, -1));
  EXPECT_EQ(SavedKey(snmpId, "Location"), "Hall 7");
  EXPECT_EQ(SavedKey(snmpId, "Title"), "Rack7-UPS");

  // Cut and pasted back: now the last child; then removed.
  map->view().SelectNode(snmp, false);
  EXPECT_EQ(Run(IDM_CUT).back(), Done("Dialog-CutObject", "Cut Object"));
  EXPECT_EQ(Run(IDM_PASTE).back(), Done("Dialog-PasteObject", "Paste Object"));
  ASSERT_EQ(group.childCount(), 3);
  EXPECT_EQ(group.child(2)->title(), "Rack7-UPS");
  EXPECT_EQ(SavedShape(), Shape(root, -1));
  map->view().SelectNode(2, false);
  EXPECT_EQ(Run(IDM_DELETE).back(), Done("Dialog-RemoveObject", "Remove Object"));
  EXPECT_EQ(group.childCount(), 2);
  EXPECT_EQ(SavedShape(), Shape(root, -1));
  EXPECT_EQ(SavedKey(snmpId, "Title"), "");
}

}  // namespace
}  // namespace lark
