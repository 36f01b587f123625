// The group and device lists on a started console: rows from the tree,
// refresh, sorting, the selections and the list helpers.
#include "console/lists/console_lists.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <cstdio>

#include "console/shell/language_reload.h"
#include "console/shell/larkview.h"
#include "console/shell/main_window.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

struct Console {
  test::TempDir dir;
  FakeClock clock{0, WallTime{2026, 5, 4, 1, 10, 0, 0, 0}};
  std::unique_ptr<ConsoleContext> ctx;
  std::unique_ptr<LarkviewWindow> w;
  std::vector<std::string> steps;  // map steps the selections ran

  Console() {
    MakeDirs(dir.file("English"));
    WriteFileAtomic(dir.file("English/language.ini"),
                    ReadFile(test::SourcePath("data/English/language.ini")).value());
    ctx = std::make_unique<ConsoleContext>(dir.path(), clock, WorkArea{0, 0, 1280, 800});
    ctx->messageBox = [](QWidget*, const std::string&, const std::string&, unsigned) {
      return int(IDYES);
    };
    ctx->quit = [](int) {};
    InstallConsoleLists(*ctx);
    ConsoleCallPoints& cp = ctx->points;
    cp.setMapGroup = [this](DeviceNode* g) { steps.push_back("group " + g->title()); };
    cp.clearMapSelection = [this] { steps.push_back("clear"); };
    cp.selectMapNode = [this](DeviceNode* n) { steps.push_back("select " + n->title()); };
    cp.paintPropertyPane = [this](DeviceNode* n) { steps.push_back("pane " + n->title()); };
    std::string failed;
    w = StartConsole(*ctx, &failed);
  }
  ~Console() {
    if (!w) return;
    w->Destroy();
    ShutdownConsole(*ctx, *w);
  }
  ReportListModel& groups() { return *AsReportList(w->groupList())->listModel(); }
  ReportListModel& devices() { return *AsReportList(w->deviceList())->listModel(); }
  std::vector<std::string> column(ReportListModel& m, int c) {
    std::vector<std::string> out;
    for (const ReportRow& r : m.rows()) out.push_back(r.cells[static_cast<size_t>(c)]);
    return out;
  }
  void refill() {
    ctx->points.fillGroupList(nullptr);
    ctx->points.refreshLists();
  }
};

DeviceNode& Ups(DeviceTree& tree, DeviceNode& parent, const char* title, int32_t inVolt) {
  DeviceNode& n = test::AddSerial(tree, parent, kCommModbusUps);
  n.setTitle(title);
  n.setAlarmLevel(kAlarmNone);
  LiveDataBlock& b = n.ensureBlock(BlockKind::kModbus);
  b.putI32(428, 1);
  b.putI32(436, inVolt);
  b.putText(1011, 32, "LK3000");
  return n;
}

TEST(ConsoleLists, RootOnlyShowsMainAndNoDevices) {
  Console c;
  ASSERT_TRUE(c.w);
  EXPECT_EQ(c.w->deviceList()->model()->columnCount(), 10);
  c.ctx->points.refreshLists();
  EXPECT_EQ(c.column(c.groups(), 1), std::vector<std::string>{"Main(0)"});
  EXPECT_EQ(c.devices().rowCount(), 0);
  EXPECT_EQ(c.groups().columnTitle(1), "Group Title");  // the English language file's
  EXPECT_EQ(c.devices().columnTitle(2), "Model");
  EXPECT_EQ(c.devices().headerImage(0), kImageAscending);
  // Widths come from monitor.ini and go back to it through the header.
  EXPECT_EQ(c.w->deviceList()->columnWidth(9), 300);
  c.w->deviceList()->setColumnWidth(9, 120);
  c.ctx->points.readColumnWidths();
  EXPECT_EQ(c.ctx->monitor.settings().deviceWidths[9], 120);
}

// A language reload retitles both lists: the group list's title column as
// well as the device columns.
TEST(ConsoleLists, LanguageReloadRetitlesBothLists) {
  Console c;
  ASSERT_TRUE(c.w);
  const std::string lang = c.dir.file("English/language.ini");
  WriteProfileString(lang, "List", "Group-Title", "Gruppe");
  WriteProfileString(lang, "List", "Device.Title2", "Modell");
  ReloadLanguage(*c.ctx);
  EXPECT_EQ(c.groups().columnTitle(1), "Gruppe");
  EXPECT_EQ(c.devices().columnTitle(2), "Modell");
}

TEST(ConsoleLists, GroupsDepthFirstWithTheirDeviceCounts) {
  Console c;
  DeviceTree& t = c.ctx->tree;
  DeviceNode& hall = test::AddGroup(t, t.root(), "Hall");
  Ups(t, hall, "U1", 2300);
  DeviceNode& sub = test::AddGroup(t, hall, "Sub");
  Ups(t, sub, "U2", 2200);
  Ups(t, sub, "U3", 2100);
  test::AddGroup(t, t.root(), "Yard");
  c.refill();
  EXPECT_EQ(c.column(c.groups(), 1),
            (std::vector<std::string>{"Main(3)", "Hall(3)", "Sub(2)", "Yard(0)"}));
  // The root's devices, subgroup devices in their place; column 0 sorts by level.
  EXPECT_EQ(c.column(c.devices(), 1), (std::vector<std::string>{"U1", "U2", "U3"}));
  EXPECT_EQ(c.column(c.devices(), 2), (std::vector<std::string>{"LK3000", "LK3000", "LK3000"}));

  // A level change reaches the row's image and, sorted by column 0, its place.
  t.root().child(0)->child(1)->child(1)->setAlarmLevel(kAlarmWarning);
  c.ctx->points.refreshLists();
  EXPECT_EQ(c.column(c.devices(), 1), (std::vector<std::string>{"U3", "U1", "U2"}));
  EXPECT_EQ(c.devices().row(0).image, kImageWarning);
}

TEST(ConsoleLists, HeaderClicksSortAndOnlyTheSortColumnResorts) {
  Console c;
  DeviceTree& t = c.ctx->tree;
  c.ctx->monitor.settings().columnChoice = {-1, 0, 1,  5,  4,
                                            7,  9, 10, 13, 15};  // In Volt in column 3
  c.ctx->points.retitleDeviceColumns();
  EXPECT_EQ(c.devices().columnTitle(3), "In Volt");
  DeviceNode& a = Ups(t, t.root(), "A", 2300);
  Ups(t, t.root(), "B", 2100);
  Ups(t, t.root(), "C", 2200);
  c.refill();
  QHeaderView* header = c.w->deviceList()->horizontalHeader();
  auto click = [&](int column) { emit header->sectionClicked(column); };
  click(3);
  EXPECT_EQ(c.column(c.devices(), 1), (std::vector<std::string>{"B", "C", "A"}));
  EXPECT_EQ(c.devices().headerImage(3), kImageAscending);
  EXPECT_EQ(c.devices().headerImage(0), -1);
  click(3);
  EXPECT_EQ(c.column(c.devices(), 1), (std::vector<std::string>{"A", "C", "B"}));
  EXPECT_EQ(c.devices().headerImage(3), kImageDescending);
  // A change outside the sort column leaves the order; one inside moves the row.
  a.setTitle("Z");
  c.ctx->points.refreshLists();
  EXPECT_EQ(c.column(c.devices(), 1), (std::vector<std::string>{"Z", "C", "B"}));
  a.block(BlockKind::kModbus)->putI32(436, 2000);
  c.ctx->points.refreshLists();
  EXPECT_EQ(c.column(c.devices(), 1), (std::vector<std::string>{"C", "B", "Z"}));
  click(3);
  EXPECT_EQ(c.column(c.devices(), 1), (std::vector<std::string>{"Z", "B", "C"}));
  click(0);  // column 0 was cleared: its first click now ascends
  EXPECT_EQ(c.devices().headerImage(0), kImageAscending);
}

TEST(ConsoleLists, SelectionsMoveTheMapOnceAndKeepTheRows) {
  Console c;
  DeviceTree& t = c.ctx->tree;
  DeviceNode& room = test::AddGroup(t, t.root(), "Room");
  DeviceNode& u1 = Ups(t, room, "U1", 2300);
  DeviceNode& u2 = Ups(t, room, "U2", 2200);
  DeviceNode& empty = test::AddGroup(t, t.root(), "Empty");
  c.refill();
  c.steps.clear();
  c.ctx->points.selectDeviceRow(&room);
  EXPECT_EQ(c.steps, (std::vector<std::string>{"group Room", "clear", "group Room", "select U1",
                                               "pane U1"}));
  EXPECT_EQ(c.ctx->points.selectedDevice(), &u1);
  c.steps.clear();
  c.ctx->points.selectDeviceRow(&room);  // already selected: nothing
  c.ctx->points.selectDeviceRow(&u1);
  EXPECT_TRUE(c.steps.empty());
  c.ctx->points.selectDeviceRow(&u2);
  EXPECT_EQ(c.steps, (std::vector<std::string>{"group Room", "select U2", "pane U2"}));
  c.steps.clear();
  c.ctx->points.selectDeviceRow(&empty);  // no children: the map selection stays
  EXPECT_EQ(c.steps, (std::vector<std::string>{"group Empty"}));
  EXPECT_EQ(c.ctx->points.selectedDevice(), nullptr);

  // A right press keeps the selection; its release opens the menu.
  c.ctx->points.fillDeviceList(&room, false);
  c.ctx->points.selectDeviceRow(&u2);
  int released = 0;
  AsReportList(c.w->deviceList())->onRightRelease = [&](QPoint) { ++released; };
  QWidget* vp = c.w->deviceList()->viewport();
  const QPoint onU1 = c.w->deviceList()->visualRect(c.devices().index(0, 1)).center();
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent e(type, onU1, vp->mapToGlobal(onU1), Qt::RightButton,
                  type == QEvent::MouseButtonPress ? Qt::RightButton : Qt::NoButton, {});
    QApplication::sendEvent(vp, &e);
  }
  EXPECT_EQ(c.ctx->points.selectedDevice(), &u2);
  EXPECT_EQ(released, 1);

  // The tree changes under the lists: they refill before reading a row,
  // keeping the chosen group and device while they remain.
  t.setCurrentParent(room);
  test::AddGroup(t, room, "Corner");
  c.ctx->points.refreshLists();
  EXPECT_EQ(c.column(c.groups(), 1),
            (std::vector<std::string>{"Main(2)", "Room(2)", "Corner(0)", "Empty(0)"}));
  EXPECT_EQ(c.column(c.devices(), 1), (std::vector<std::string>{"U1", "U2"}));
  EXPECT_EQ(c.ctx->points.selectedDevice(), &u2);
  t.setCurrentParent(t.root());
  ASSERT_TRUE(Tree_DeleteChild(t, 0));
  c.ctx->points.refreshLists();
  EXPECT_EQ(c.column(c.groups(), 1), (std::vector<std::string>{"Main(0)", "Empty(0)"}));
  EXPECT_EQ(c.devices().rowCount(), 0);
}

TEST(ConsoleLists, EveryChangeOfTheSelectedDeviceReloadsTheTabs) {
  Console c;
  DeviceTree& t = c.ctx->tree;
  DeviceNode& room = test::AddGroup(t, t.root(), "Room");
  DeviceNode& u1 = Ups(t, room, "U1", 2300);
  Ups(t, room, "U2", 2200);
  c.refill();
  std::vector<std::pair<int, DeviceNode*>> refreshes;  // full flag, device then selected
  c.ctx->points.refreshDetailTabs = [&](int full) { refreshes.emplace_back(full, c.ctx->points.selectedDevice()); };
  c.ctx->points.selectDeviceRow(&room);
  EXPECT_EQ(c.w->tabReloadFlag, 1);
  EXPECT_EQ(refreshes.back(), std::make_pair(1, &u1));
  // Deselection alone: the settings pages reload and the pages follow.
  c.w->tabReloadFlag = 0;
  refreshes.clear();
  c.w->deviceList()->selectionModel()->clearSelection();
  EXPECT_EQ(c.w->tabReloadFlag, 1);
  EXPECT_EQ(refreshes, (std::vector<std::pair<int, DeviceNode*>>{{1, nullptr}}));
  // The same device chosen again after a refill is a change as well.
  c.w->tabReloadFlag = 0;
  c.ctx->points.selectDeviceRow(&u1);
  EXPECT_EQ(c.w->tabReloadFlag, 1);
  // The selected device is read after the lists follow the tree, never from
  // a row of a freed node.
  t.setCurrentParent(t.root());
  ASSERT_TRUE(Tree_DeleteChild(t, 0));
  EXPECT_EQ(c.ctx->points.selectedDevice(), nullptr);
  EXPECT_EQ(c.devices().rowCount(), 0);
}

TEST(ConsoleLists, ExportWritesEveryCellOfEveryRow) {
  Console c;
  DeviceTree& t = c.ctx->tree;
  Ups(t, t.root(), "U1", 2300);
  c.refill();
  test::TempDir out;
  std::FILE* f = std::fopen(out.file("list.txt").c_str(), "w");
  c.ctx->points.refreshDeviceRows(f);
  std::fclose(f);
  EXPECT_EQ(ReadFile(out.file("list.txt")).value(), "U1\tLK3000\tUnknown\tUnknown\t\t\t\t\t\t\r\n");
}

TEST(ReportList, HelpersBuildColumnsAndRowsFromTabbedText) {
  ReportListView list;
  InsertListColumns(&list, "150\t100\t70", "Account\tDate", 0);
  ASSERT_EQ(list.model()->columnCount(), 2);
  EXPECT_EQ(list.columnWidth(0), 150);
  EXPECT_EQ(list.listModel()->columnTitle(1), "Date");
  InsertListColumns(&list, "40", "Level", 2);
  ASSERT_EQ(list.model()->columnCount(), 3);
  EXPECT_TRUE(InsertListRow(&list, "a\t\tc", 0, 1));
  std::string text;
  ASSERT_TRUE(GetListItemText(&list, 0, 1, &text));
  EXPECT_EQ(text, "");
  ASSERT_TRUE(GetListItemText(&list, 0, 2, &text));
  EXPECT_EQ(text, "c");
  EXPECT_EQ(GetListItemImage(&list, 0, 0), 1);
  EXPECT_TRUE(InsertListRow(&list, "first", 0, -1));
  EXPECT_EQ(GetListItemImage(&list, 0, 0), -1);
  EXPECT_TRUE(SetListRow(&list, "x\ty", 1));
  ASSERT_TRUE(GetListItemText(&list, 1, 0, &text));
  EXPECT_EQ(text, "x");
  EXPECT_FALSE(GetListItemText(&list, 5, 0, &text));
  EXPECT_FALSE(SetListItemText(&list, 0, 3, "z"));
  EXPECT_EQ(GetListItemImage(&list, 9, 0), 0);
  EXPECT_TRUE(SetListItemText(&list, 0, 0, std::string(300, 'w')));
  ASSERT_TRUE(GetListItemText(&list, 0, 0, &text));
  EXPECT_EQ(text.size(), kListReadMax);
  // Four fields into three columns: the last write fails.
  EXPECT_FALSE(SetListRow(&list, "1\t2\t3\t4", 0));
}

}  // namespace
}  // namespace lark

namespace lark {
namespace {

TEST(ExportList, TitlesThenRowsTabSeparatedCrlfThenOpened) {
  struct Case {
    const char* name;
    std::vector<const char*> devices;
    bool writable;
  };
  const Case cases[] = {{"three devices, one title with a TAB", {"U1", "U\t2", "U3"}, true},
                        {"empty list", {}, true},
                        {"unwritable path", {"U1"}, false}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Console c;
    for (const char* title : k.devices) Ups(c.ctx->tree, c.ctx->tree.root(), title, 2300);
    c.refill();
    test::TempDir out;
    const std::string path = k.writable ? out.file("list.XLS") : out.file("missing/list.XLS");
    std::vector<std::string> asked, boxes;
    std::vector<std::vector<std::string>> spawned;
    c.ctx->fileDialog = [&](QWidget*, const std::string& filter, const std::string& suffix) {
      asked = {filter, suffix};
      return path;
    };
    c.ctx->messageBox = [&](QWidget*, const std::string&, const std::string& text, unsigned) {
      boxes.push_back(text);
      return int(IDOK);
    };
    c.ctx->spawn = [&](const std::vector<std::string>& argv, const std::vector<std::string>&) {
      spawned.push_back(argv);
      return pid_t(1);
    };
    c.ctx->points.exportDeviceList();
    EXPECT_EQ(asked, (std::vector<std::string>{"Excel File(*.XLS)", "XLS"}));
    if (!k.writable) {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_NE(boxes[0].find(path), std::string::npos);
      EXPECT_TRUE(spawned.empty());
      continue;
    }
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(spawned, (std::vector<std::vector<std::string>>{{"xdg-open", path}}));
    std::string titles;
    for (int pos = 1; pos < 10; ++pos)
      titles += c.ctx->texts.columns.device[static_cast<size_t>(c.ctx->monitor.settings().columnChoice[pos])] + "\t";
    std::string want = titles + "\r\n";
    for (const ReportRow& r : c.devices().rows()) {
      for (int col = 1; col < 10; ++col) {
        std::string cell = r.cells[static_cast<size_t>(col)];
        std::replace(cell.begin(), cell.end(), '\t', ' ');
        want += cell + "\t";
      }
      want += "\r\n";
    }
    const std::string file = ReadFile(path).value_or("missing");
    EXPECT_EQ(file, want);
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), static_cast<long>(k.devices.size()) + 1);
    EXPECT_EQ(std::count(file.begin(), file.end(), '\t'), 9 * (static_cast<long>(k.devices.size()) + 1));
    EXPECT_FALSE(FileExists(path + ".part"));
  }
}

}  // namespace
}  // namespace lark
