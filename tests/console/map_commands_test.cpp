// The map's edit commands through the main window: the dialogs they open, the
// log records they send, the tree they leave, and their refusals.
#include <gtest/gtest.h>

#include <deque>
#include <tuple>

#include "console/lists/console_lists.h"
#include "console/shell/console_context.h"
#include "console/shell/larkview.h"
#include "console/shell/main_window.h"
#include "console/map/map_module.h"
#include "console/map/map_window.h"
#include "console/shell/menu_commands.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

using Log = std::tuple<uint32_t, uint16_t, std::string>;

struct Edit {
  test::TempDir dir;
  FakeClock clock{0, WallTime{2026, 5, 4, 1, 10, 0, 0, 0}};
  std::unique_ptr<ConsoleContext> ctx;
  std::unique_ptr<ConsoleMap> map;
  std::unique_ptr<LarkviewWindow> w;
  std::vector<int> dialogs;
  std::deque<int> results;  // dialog results, 1 when empty
  std::vector<std::string> asked;
  std::vector<Log> logs;

  // `lists`: the group and device lists too, whose selections move the map.
  explicit Edit(bool lists = false) {
    MakeDirs(dir.file("English"));
    WriteFileAtomic(dir.file("English/language.ini"),
                    ReadFile(test::SourcePath("data/English/language.ini")).value());
    ctx = std::make_unique<ConsoleContext>(dir.path(), clock, WorkArea{0, 0, 1280, 800});
    ctx->quit = [](int) {};
    ctx->messageBox = [this](QWidget*, const std::string&, const std::string& text, unsigned) {
      asked.push_back(text);
      return static_cast<int>(IDYES);
    };
    map = InstallConsoleMap(*ctx);
    map->view().wait = nullptr;
    map->dialog = [this](int resource, QWidget*) {
      dialogs.push_back(resource);
      if (results.empty()) return 1;
      const int r = results.front();
      results.pop_front();
      return r;
    };
    map->postLog = [this](uint32_t a, uint16_t code, const std::string& text) { logs.emplace_back(a, code, text); };
    if (lists) InstallConsoleLists(*ctx);
    std::string failed;
    w = StartConsole(*ctx, &failed);
    EXPECT_TRUE(w) << failed;
  }
  ~Edit() {
    w->SendCommand(IDM_EXIT);
    ShutdownConsole(*ctx, *w);
    w.reset();
    map.reset();
  }
  DeviceNode& root() { return ctx->tree.root(); }
  std::string text(int n) {
    return ctx->languageProfile().getString("MessageBox", "M_" + std::to_string(n), "", 256);
  }
  std::string logText(const DeviceNode& n) {
    return "(Title:" + n.title() + ", id:" + std::to_string(n.id()) + ")";
  }
  // Runs a command and gives the dialogs and logs it caused.
  void run(int id) {
    dialogs.clear();
    logs.clear();
    asked.clear();
    w->SendCommand(id);
  }
};

TEST(MapCommandsTest, AddCutPasteDeleteThroughTheMenu) {
  Edit e;
  e.run(IDM_ADD_GROUP);
  ASSERT_EQ(e.root().childCount(), 1);
  DeviceNode& group = *e.root().child(0);
  EXPECT_TRUE(group.isGroup());
  EXPECT_EQ(e.dialogs, (std::vector<int>{153, 249}));
  EXPECT_EQ(e.logs, (std::vector<Log>{{1, 13, e.logText(group)}}));
  EXPECT_TRUE(e.ctx->mapDirty);

  e.run(IDM_ADD_LOCAL);
  ASSERT_EQ(e.root().childCount(), 2);
  DeviceNode& local = *e.root().child(1);
  EXPECT_EQ(local.nodeKind(), kNodeSerial);
  EXPECT_EQ(e.map->view().selected(), 1);
  EXPECT_EQ(e.dialogs, (std::vector<int>{153, 250}));
  EXPECT_EQ(e.logs, (std::vector<Log>{{1, 14, e.logText(local)}}));
  const std::string localText = e.logText(local);

  e.run(IDM_CUT);  // the selected local device
  EXPECT_EQ(e.dialogs, (std::vector<int>{154}));
  EXPECT_EQ(e.logs, (std::vector<Log>{{1, 9, localText}}));
  EXPECT_EQ(e.root().childCount(), 1);
  ASSERT_NE(e.ctx->tree.clipboard(), nullptr);

  e.run(IDM_PASTE);
  EXPECT_EQ(e.dialogs, (std::vector<int>{155}));
  EXPECT_EQ(e.logs, (std::vector<Log>{{1, 10, ""}}));
  EXPECT_EQ(e.root().childCount(), 2);
  EXPECT_EQ(e.ctx->tree.clipboard(), nullptr);

  // A cancelled paste dialog leaves the clipboard waiting.
  e.run(IDM_CUT);
  e.results = {0};
  e.run(IDM_PASTE);
  EXPECT_EQ(e.root().childCount(), 1);
  EXPECT_NE(e.ctx->tree.clipboard(), nullptr);
  EXPECT_TRUE(e.logs.empty());

  // A cancelled property dialog asks for the new node's removal at once.
  e.results = {1, 0};
  e.run(IDM_ADD_SNMP);
  EXPECT_EQ(e.dialogs, (std::vector<int>{153, 106, 156}));
  EXPECT_EQ(e.root().childCount(), 1);
  ASSERT_EQ(e.logs.size(), 1u);
  EXPECT_EQ(std::get<1>(e.logs[0]), 11);

  // Delete: the log goes out before the dialog, even when it is cancelled.
  e.results = {0};
  e.run(IDM_DELETE);
  EXPECT_EQ(e.root().childCount(), 1);
  EXPECT_EQ(e.logs, (std::vector<Log>{{1, 11, e.logText(group)}}));

  e.run(IDM_ADD_GPRS);
  EXPECT_EQ(e.dialogs, (std::vector<int>{153, 167}));
  EXPECT_EQ(e.root().childCount(), 2);
  e.run(IDM_DELETE_ALL);
  EXPECT_EQ(e.asked, (std::vector<std::string>{e.text(8)}));
  EXPECT_EQ(e.dialogs, (std::vector<int>{157}));
  EXPECT_EQ(e.logs, (std::vector<Log>{{1, 12, ""}}));
  EXPECT_EQ(e.root().childCount(), 0);
  EXPECT_EQ(e.map->view().selected(), -1);
}

// A device cut inside a group that keeps another, the map moved up, then
// pasted: it lands in the parent and the map stays there, though the lists'
// refill selects the device left behind.
TEST(MapCommandsTest, CutMoveUpPasteLandsInTheParent) {
  Edit e(true);
  e.run(IDM_ADD_GROUP);
  ASSERT_EQ(e.root().childCount(), 1);
  DeviceNode& group = *e.root().child(0);
  e.map->view().SelectNode(0, true);  // a click on its icon
  e.run(IDM_MOVE_DOWN);
  ASSERT_EQ(&e.map->view().currentGroup(), &group);
  e.run(IDM_ADD_LOCAL);
  e.run(IDM_ADD_LOCAL);
  ASSERT_EQ(group.childCount(), 2);
  e.map->view().SelectNode(1, true);
  const int32_t id = group.child(1)->id();

  e.run(IDM_CUT);
  ASSERT_NE(e.ctx->tree.clipboard(), nullptr);
  e.run(IDM_MOVE_UP);
  EXPECT_EQ(&e.map->view().currentGroup(), &e.root());
  e.run(IDM_PASTE);
  ASSERT_EQ(e.root().childCount(), 2);
  EXPECT_EQ(e.root().child(1)->id(), id);
  EXPECT_EQ(group.childCount(), 1);
  EXPECT_EQ(&e.map->view().currentGroup(), &e.root());
  EXPECT_EQ(e.map->view().selected(), 1);
}

// Closing the map with its close button turns the main window's map button
// grey at once (green while the map shows).
TEST(MapCommandsTest, ClosingTheMapRepaintsTheMapButton) {
  Edit e;
  auto* map = dynamic_cast<MapWindow*>(e.w->mapWindow());
  ASSERT_TRUE(map);
  const WindowRect& list = e.ctx->monitor.settings().list;
  const auto button = [&] { return e.w->surface().pixelColor(list.right + 10, list.top + 6); };
  EXPECT_EQ(button(), QColor(0, 0xa0, 0));
  const QPoint close(map->width() - 8, map->height() - 8);
  map->ButtonDown(close);
  map->ButtonUp(close);
  ASSERT_TRUE(e.ctx->monitor.settings().viewFlags & kViewMapClosed);
  EXPECT_NE(button(), QColor(0, 0xa0, 0));
  e.w->ShowMapWindow();
  EXPECT_EQ(button(), QColor(0, 0xa0, 0));
}

TEST(MapCommandsTest, RefusalsChangeNothing) {
  struct Case {
    uint32_t viewFlags;
    bool cutFirst;
    int command;
    int message;
  };
  const Case cases[] = {
      {kViewMapClosed, false, IDM_ADD_LOCAL, 6},
      {kViewLockObjects, false, IDM_ADD_GROUP, 7},
      {kViewLockObjects, false, IDM_CUT, 7},
      {kViewMapClosed, false, IDM_DELETE, 6},
      {kViewLockObjects, false, IDM_DELETE_ALL, 7},
      {kViewLockObjects, true, IDM_PASTE, 7},
      {0, false, IDM_PASTE, 47},
      {kViewMapClosed, false, IDM_NEXT_OBJECT, 6},
      {kViewMapClosed, false, IDM_MOVE_UP, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    Edit e;
    test::AddSerial(e.ctx->tree, e.root(), kCommAscii);
    test::AddSerial(e.ctx->tree, e.root(), kCommMeter, "COM2");
    if (c.cutFirst) {
      e.map->view().SelectNode(0, false);
      e.run(IDM_CUT);
    }
    const int children = e.root().childCount();
    e.ctx->monitor.settings().viewFlags = c.viewFlags;
    e.run(c.command);
    EXPECT_EQ(e.asked, (std::vector<std::string>{e.text(c.message)}));
    EXPECT_TRUE(e.dialogs.empty());
    EXPECT_TRUE(e.logs.empty());
    EXPECT_EQ(e.root().childCount(), children);
  }
}

TEST(MapCommandsTest, LockObjectTogglesTheChecksAndRefusesEdits) {
  Edit e;
  QAction* inMenu = e.w->menus().item(kMenuMain, IDM_LOCK_OBJECT);
  QAction* inPopup = e.w->menus().item(kMenuMapPopup, IDM_LOCK_OBJECT);
  e.run(IDM_LOCK_OBJECT);
  EXPECT_TRUE(inMenu->isChecked());
  EXPECT_TRUE(inPopup->isChecked());
  EXPECT_EQ(e.logs, (std::vector<Log>{{1, 42, ""}}));
  e.run(IDM_ADD_GROUP);
  EXPECT_EQ(e.asked, (std::vector<std::string>{e.text(7)}));
  EXPECT_EQ(e.root().childCount(), 0);
  e.run(IDM_LOCK_OBJECT);
  EXPECT_FALSE(inMenu->isChecked());
  EXPECT_FALSE(inPopup->isChecked());
  EXPECT_EQ(e.logs, (std::vector<Log>{{1, 41, ""}}));
  EXPECT_EQ(e.ctx->monitor.settings().viewFlags & kViewLockObjects, 0u);
}

TEST(MapCommandsTest, PasteIntoAFullGroupIsRefused) {
  Edit e;
  test::AddSerial(e.ctx->tree, e.root(), kCommAscii);
  e.map->view().SelectNode(0, false);
  e.run(IDM_CUT);
  while (e.root().childCount() < kMaxChildren) test::AddGroup(e.ctx->tree, e.root(), "G");
  e.run(IDM_PASTE);
  EXPECT_EQ(e.asked, (std::vector<std::string>{e.text(45)}));
  EXPECT_TRUE(e.dialogs.empty());
  EXPECT_EQ(e.root().childCount(), kMaxChildren);
}

TEST(MapCommandsTest, PopUpOnTheIconUnderTheRightButton) {
  Edit e;
  DeviceNode& first = test::AddSerial(e.ctx->tree, e.root(), kCommAscii);
  first.setIconRect({20, 20, 36, 36});
  DeviceNode& second = test::AddSerial(e.ctx->tree, e.root(), kCommMeter, "COM2");
  second.setIconRect({60, 50, 76, 66});
  e.map->view().Reset();
  const int h = e.map->view().lineHeight();
  MapWindow& win = *e.map->window();
  QMenu* popup = e.w->menus().popup(kMenuMapPopup);
  ASSERT_NE(popup, nullptr);
  for (const QAction* a : popup->actions()) {
    if (a->isSeparator()) continue;
    const int id = a->property(kIdProperty).toInt();
    EXPECT_TRUE(id >= kFirstMenuCommand && id <= kLastMenuCommand) << a->text().toStdString();
  }

  win.RightButtonDown({65, 55 + h + 3}, {700, 300});
  EXPECT_EQ(e.map->view().selected(), 1);
  EXPECT_TRUE(popup->isVisible());
  // Its Delete item removes the icon the right button chose.
  e.dialogs.clear();
  e.w->menus().item(kMenuMapPopup, IDM_DELETE)->trigger();
  popup->hide();
  EXPECT_EQ(e.dialogs, (std::vector<int>{156}));
  ASSERT_EQ(e.root().childCount(), 1);
  EXPECT_EQ(e.root().child(0), &first);

  // On the empty map the selection stays; with the map closed nothing opens.
  win.RightButtonDown({200, 150}, {700, 300});
  EXPECT_EQ(e.map->view().selected(), 0);
  popup->hide();
  e.ctx->monitor.settings().viewFlags = kViewMapClosed;
  win.RightButtonDown({25, 25 + h + 3}, {700, 300});
  EXPECT_FALSE(popup->isVisible());
}

}  // namespace
}  // namespace lark
