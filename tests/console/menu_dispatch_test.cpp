// Every menu command through the main window: the dialogs it opens (by the
// registry, with their owner), the message boxes, the operation logs; the
// refusals that change nothing; the gates, the block renewal after a changed
// CommType, Pause Reaction, Login/Logout and the viewer's command line.
#include "console/shell/menu_dispatch.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <deque>
#include <map>
#include <tuple>

#include "console/link/service_link.h"
#include "console/shell/console_context.h"
#include "console/shell/console_link.h"
#include "console/shell/language_reload.h"
#include "console/shell/larkview.h"
#include "console/shell/main_window.h"
#include "console/map/map_module.h"
#include "console/map/map_window.h"
#include "console/shell/menu_commands.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

using Log = std::tuple<uint32_t, uint16_t, std::string>;

struct Console {
  test::TempDir dir;
  FakeClock clock{0, WallTime{2026, 5, 4, 1, 10, 0, 0, 0}};
  std::unique_ptr<ConsoleContext> ctx;
  std::unique_ptr<ConsoleLink> link;
  std::unique_ptr<ConsoleMap> map;
  std::unique_ptr<LarkviewWindow> w;
  std::vector<std::pair<int, QWidget*>> opened;  // resource, owner
  std::map<int, std::function<int()>> results;   // by resource; 0 when none
  std::vector<int> boxes;                        // M_n shown
  std::vector<Log> mapLogs;
  std::vector<std::vector<std::string>> spawned;
  std::vector<std::vector<std::string>> spawnedEnv;

  Console() {
    MakeDirs(dir.file("English"));
    WriteFileAtomic(dir.file("English/language.ini"), ReadFile(test::SourcePath("data/English/language.ini")).value());
    for (int n : {2, 3, 4, 5, 6, 7, 8, 45, 47, 54})
      WriteProfileString(dir.file("English/language.ini"), "MessageBox", "M_" + std::to_string(n), "M" + std::to_string(n));
    ctx = std::make_unique<ConsoleContext>(dir.path(), clock, WorkArea{0, 0, 1280, 800});
    ctx->quit = [](int) {};
    ctx->messageBox = [this](QWidget*, const std::string&, const std::string& text, unsigned) {
      boxes.push_back(std::stoi(text.substr(1)));
      return static_cast<int>(IDNO);
    };
    ctx->spawn = [this](const std::vector<std::string>& argv, const std::vector<std::string>& env) {
      spawned.push_back(argv);
      spawnedEnv.push_back(env);
      return pid_t(1);
    };
    link = std::make_unique<ConsoleLink>(*ctx);
    map = InstallConsoleMap(*ctx);
    map->view().wait = nullptr;
    map->postLog = [this](uint32_t a, uint16_t code, const std::string& text) { mapLogs.emplace_back(a, code, text); };
    std::string failed;
    w = StartConsole(*ctx, &failed);
    EXPECT_TRUE(w) << failed;
    InstallMenuCommands(*ctx, *w, *link);
    // A group and a local device, the device selected.
    map->dialog = [](int, QWidget*) { return 1; };
    w->SendCommand(IDM_ADD_GROUP);
    w->SendCommand(IDM_ADD_LOCAL);
    map->dialog = nullptr;
    for (int r : {108, 109, 110, 141, 146, 150, 151, 152, 153, 154, 155, 156, 157, 159, 160, 162, 163, 164, 165, 106,
                  167, 193, 195, 235, 237, 238, 239, 240, 241, 244, 245, 246, 247, 249, 250, 253, 254, 257, 258, 259})
      ctx->dialogs.Register(r, [this, r](QWidget* owner, intptr_t) {
        opened.emplace_back(r, owner);
        auto it = results.find(r);
        return it == results.end() ? 0 : it->second();
      });
    ctx->mapDirty = false;
    Drain();
    clear();
  }
  ~Console() {
    ctx->messageBox = [](QWidget*, const std::string&, const std::string&, unsigned) { return int(IDYES); };
    w->SendCommand(IDM_EXIT);
    ShutdownConsole(*ctx, *w);
    w.reset();
    map.reset();
  }
  void clear() {
    opened.clear();
    boxes.clear();
    mapLogs.clear();
    spawned.clear();
  }
  DeviceNode& device() { return *ctx->tree.root().child(1); }
  // Operation logs (sub 0) and error logs (sub 1) the link queued, in order.
  std::vector<Log> Drain() {
    std::vector<Log> out;
    ServiceLink& l = link->link();
    while (auto e = l.queues().peek(3)) {
      const std::vector<uint8_t>& f = e->data;
      if (e->command == kLinkCmdEventLog && f.size() > 12) {
        const uint16_t code = f[5] == 0 ? u16At(f, 10) : static_cast<uint16_t>(u32At(f, 14));
        const char* text = reinterpret_cast<const char*>(f.data() + (f[5] == 0 ? 12 : 18));
        out.emplace_back(f[5] == 0 ? u32At(f, 6) : 1000u + u32At(f, 6), code, std::string(text));
      }
      l.queues().dropHead(3);
    }
    return out;
  }
};

TEST(MenuDispatch, EveryCommandOpensItsDialogShowsItsBoxAndLogs) {
  struct Case {
    int id;
    std::vector<int> dialogs;
    bool ownedByMap;
    std::vector<int> boxes;
    std::vector<uint16_t> logs;  // the link's operation logs
  } cases[] = {
      {IDM_NEW, {152}, false, {}, {}},
      {IDM_ABOUT, {110}, false, {}, {}},
      {IDM_OPEN, {150}, false, {}, {}},
      {IDM_SAVE, {151}, false, {}, {}},
      {IDM_RENAME_AS, {151}, false, {}, {}},
      {IDM_EXIT, {}, false, {5}, {}},
      {IDM_BACKGROUND, {108}, true, {}, {}},
      {IDM_ADD_GROUP, {153}, true, {}, {}},
      {IDM_DELETE, {156}, true, {}, {}},
      {IDM_DELETE_ALL, {}, false, {8}, {}},
      {IDM_MOVE_UP, {}, false, {}, {}},
      {IDM_MOVE_DOWN, {}, false, {}, {}},
      {IDM_NEXT_OBJECT, {}, false, {}, {}},
      {IDM_PROPERTY, {250}, false, {}, {}},
      {IDM_PREVIOUS_OBJECT, {}, false, {}, {}},
      {IDM_CONNECTION, {109}, false, {}, {}},
      {IDM_ALL_EVENT_LOG, {240}, false, {}, {}},
      {IDM_SELECTED_EVENT_LOG, {240}, false, {}, {}},
      {IDM_PAUSE_REACTION, {159}, false, {}, {}},
      {IDM_ADD_SNMP, {153}, true, {}, {}},
      {IDM_CUT, {154}, true, {}, {}},
      {IDM_PASTE, {}, false, {47}, {}},
      {IDM_NOTIFICATION, {}, false, {}, {21}},
      {IDM_ALARM_MANAGEMENT, {193}, false, {}, {}},
      {IDM_LOCK_OBJECT, {}, false, {}, {}},
      {IDM_GENERATE_REPORT, {235}, false, {}, {}},
      {IDM_LIST_TAB_SELECTION, {239}, false, {}, {}},
      {IDM_HISTORY_MANAGEMENT, {241}, false, {}, {}},
      {IDM_CHANGE_PASSWORD, {247}, false, {}, {}},
      {IDM_HISTORICAL_PARAMETERS, {}, false, {}, {33}},
      {IDM_CONTROL, {244}, false, {}, {}},
      {IDM_CONTROL_PASSWORD_SETUP, {237}, false, {}, {}},
      {IDM_ACCESS_MANAGEMENT, {141}, false, {}, {}},
      {IDM_LOGIN, {246}, false, {}, {2}},
      {IDM_DATABASE, {245}, false, {}, {}},
      {IDM_ADD_LOCAL, {153}, true, {}, {}},
      {IDM_SAVE_SERIAL_DATA, {165}, false, {}, {}},
      {IDM_LANGUAGE, {253}, false, {}, {}},
      {IDM_BATCH_CONFIGURATION, {254}, false, {}, {}},
      {IDM_DOWNLOAD_UPS_LOG, {}, false, {54}, {}},
      {IDM_SAVE_NETWORK_DATA, {162}, false, {}, {}},
      {IDM_CONNECT_TO_SERVER, {146}, false, {}, {}},
      {IDM_AUTO_LOAD, {164}, false, {}, {}},
      {IDM_CONTACTORS, {257}, false, {}, {101}},
      {IDM_NOTIFY_BY_SERVICE, {258}, false, {}, {107}},
      {IDM_NOTIFY_BY_MONITOR, {259}, false, {}, {112}},
      {IDM_SYNC_IMAGES, {163}, false, {}, {}},
      {IDM_EXPORT_LIST, {}, false, {}, {}},
      {IDM_ADD_GPRS, {153}, true, {}, {}},
  };
  ASSERT_EQ(std::size(cases), 49u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    Console k;
    ASSERT_TRUE(k.w->hasCommand(c.id));
    int exports = 0;
    k.ctx->points.exportDeviceList = [&] { ++exports; };
    k.w->SendCommand(c.id);
    std::vector<int> dialogs;
    for (const auto& [r, owner] : k.opened) {
      dialogs.push_back(r);
      EXPECT_EQ(owner, c.ownedByMap ? k.w->mapWindow() : static_cast<QWidget*>(k.w.get())) << r;
    }
    EXPECT_EQ(dialogs, c.dialogs);
    EXPECT_EQ(k.boxes, c.boxes);
    std::vector<uint16_t> logs;
    for (const Log& l : k.Drain()) logs.push_back(std::get<1>(l));
    EXPECT_EQ(logs, c.logs);
    EXPECT_EQ(exports, c.id == IDM_EXPORT_LIST ? 1 : 0);
  }
}

TEST(MenuDispatch, NotBuiltDialogsEndTheCommandWithNothingChanged) {
  Console k;
  k.ctx->dialogs.UnregisterAll();
  k.ctx->settings.userLevel = 2;
  k.ctx->mapDirty = true;
  for (int id : {IDM_LOGIN, IDM_SAVE, IDM_RENAME_AS, IDM_NEW, IDM_PAUSE_REACTION, IDM_SAVE_NETWORK_DATA}) {
    k.ctx->messageBox = [](QWidget*, const std::string&, const std::string&, unsigned) { return int(IDNO); };
    k.w->SendCommand(id);
  }
  EXPECT_EQ(k.ctx->settings.userLevel, 2);
  EXPECT_TRUE(k.ctx->mapDirty);
  EXPECT_TRUE(k.Drain().empty());
}

TEST(MenuDispatch, RefusalsAndGates) {
  struct Case {
    const char* what;
    std::function<void(Console&)> setup;
    int id;
    std::vector<int> dialogs;
    std::vector<int> boxes;
  } cases[] = {
      {"map closed", [](Console& k) { k.ctx->monitor.settings().viewFlags |= kViewMapClosed; }, IDM_BACKGROUND, {}, {6}},
      {"locked", [](Console& k) { k.ctx->monitor.settings().viewFlags |= kViewLockObjects; }, IDM_BACKGROUND, {}, {7}},
      {"control password refused",
       [](Console& k) { k.ctx->settings.service.controlPasswordEnabled = 1; }, IDM_CONTROL, {238}, {3}},
      {"control password given",
       [](Console& k) {
         k.ctx->settings.service.controlPasswordEnabled = 1;
         k.results[238] = [] { return 1; };
       },
       IDM_BATCH_CONFIGURATION, {238, 254}, {}},
      {"accounts in use: no control password",
       [](Console& k) {
         k.ctx->settings.service.controlPasswordEnabled = 1;
         k.ctx->settings.accountsInUse = true;
       },
       IDM_CONTROL, {244}, {}},
      {"a local device of CommType 4 takes no control", [](Console& k) { k.device().putI16(node_off::kCommType, 4); },
       IDM_CONTROL, {}, {}},
      {"UPS log: ASCII flag", [](Console& k) { k.device().ensureBlock(BlockKind::kAscii).putU32(256, 0x4000000); },
       IDM_DOWNLOAD_UPS_LOG, {195}, {}},
      {"UPS log: binary 2",
       [](Console& k) {
         k.device().putI16(node_off::kCommType, 1);
         k.device().ensureBlock(BlockKind::kBinary).putI32(1172, 2);
       },
       IDM_DOWNLOAD_UPS_LOG, {195}, {}},
      {"UPS log: binary block missing",
       [](Console& k) {
         k.device().putI16(node_off::kCommType, 1);
         k.device().freeBlock(BlockKind::kBinary);
       },
       IDM_DOWNLOAD_UPS_LOG, {}, {54}},
      {"UPS log: binary 1", [](Console& k) {
         k.device().putI16(node_off::kCommType, 1);
         k.device().ensureBlock(BlockKind::kBinary).putI32(1172, 1);
       },
       IDM_DOWNLOAD_UPS_LOG, {}, {54}},
      {"dirty map: save first on New",
       [](Console& k) {
         k.ctx->mapDirty = true;
         k.ctx->messageBox = [&k](QWidget*, const std::string&, const std::string& text, unsigned) {
           k.boxes.push_back(std::stoi(text.substr(1)));
           return int(IDYES);
         };
       },
       IDM_NEW, {151, 152}, {2}},
      {"selected event log without children",
       [](Console& k) {
         k.map->dialog = [](int, QWidget*) { return 1; };
         k.ctx->messageBox = [](QWidget*, const std::string&, const std::string&, unsigned) { return int(IDYES); };
         k.w->SendCommand(IDM_DELETE_ALL);
         ASSERT_EQ(k.ctx->tree.root().childCount(), 0);
         k.map->dialog = nullptr;
         k.clear();
       },
       IDM_SELECTED_EVENT_LOG, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Console k;
    c.setup(k);
    k.w->SendCommand(c.id);
    std::vector<int> dialogs;
    for (const auto& o : k.opened) dialogs.push_back(o.first);
    EXPECT_EQ(dialogs, c.dialogs);
    EXPECT_EQ(k.boxes, c.boxes);
  }
}

TEST(MenuDispatch, LoginThenLogoutSetsLevelRightsAndTheItem) {
  Console k;
  k.ctx->settings.accountsInUse = true;
  std::vector<int> rights;
  k.ctx->points.updateMenuRights = [&](int level) { rights.push_back(level); };
  k.results[246] = [&] {
    k.ctx->settings.userLevel = 3;
    return 1;
  };
  k.w->SendCommand(IDM_LOGIN);
  EXPECT_EQ(rights, (std::vector<int>{3}));
  EXPECT_EQ(k.w->menus().item(kMenuMain, IDM_LOGIN)->text().toStdString(), k.ctx->texts.view.logout);
  k.results[160] = [] { return 1; };
  k.w->SendCommand(IDM_LOGIN);
  EXPECT_EQ(rights, (std::vector<int>{3, 0}));
  EXPECT_EQ(k.ctx->settings.userLevel, 0);
  EXPECT_EQ(k.w->menus().item(kMenuMain, IDM_LOGIN)->text().toStdString(), k.ctx->texts.view.login);
  std::vector<uint16_t> logs;
  for (const Log& l : k.Drain()) logs.push_back(std::get<1>(l));
  EXPECT_EQ(logs, (std::vector<uint16_t>{0, 1}));
}

// File's item reads Login until a user has logged in: the operator's rights
// without accounts are no login. Checked after start-up and after a
// language reload.
TEST(MenuDispatch, LoginItemReadsLogoutOnlyAfterALogin) {
  struct Case {
    bool accounts;
    int32_t level;
    bool logout;
  };
  for (const Case& c : {Case{false, 2, false}, Case{true, 0, false}, Case{true, 3, true}}) {
    SCOPED_TRACE(testing::Message() << c.accounts << " " << c.level);
    Console k;
    EXPECT_EQ(k.w->menus().item(kMenuMain, IDM_LOGIN)->text().toStdString(), k.ctx->texts.view.login);
    k.ctx->settings.accountsInUse = c.accounts;
    k.ctx->settings.userLevel = c.level;
    ReloadLanguage(*k.ctx);
    EXPECT_EQ(k.w->menus().item(kMenuMain, IDM_LOGIN)->text().toStdString(),
              c.logout ? k.ctx->texts.view.logout : k.ctx->texts.view.login);
  }
}

TEST(MenuDispatch, PropertyRenewsTheBlockOnlyWhenCommTypeChanged) {
  for (int newType : {0, 1}) {
    SCOPED_TRACE(newType);
    Console k;
    DeviceNode& d = k.device();
    d.ensureBlock(BlockKind::kAscii).putI32(264, 2300);  // a standing value
    d.ensureBlock(BlockKind::kBinary).putI32(280, 4100);
    k.results[250] = [&] {
      d.putI16(node_off::kCommType, static_cast<int16_t>(newType));
      return 1;
    };
    k.w->SendCommand(IDM_PROPERTY);
    EXPECT_EQ(d.block(BlockKind::kAscii)->i32(264), 2300);
    EXPECT_EQ(d.block(BlockKind::kBinary)->i32(280), newType == 1 ? -1 : 4100);
  }
}

TEST(MenuDispatch, BackgroundRemovedIsLetGoByTheMap) {
  Console k;
  QImage picture(4, 4, QImage::Format_RGB32);
  picture.fill(Qt::red);
  ASSERT_TRUE(MakeDirs(k.dir.file("Images")));  // a map's pictures are found there only
  ASSERT_TRUE(picture.save(QString::fromStdString(k.dir.file("Images/p.bmp"))));
  DeviceNode& root = k.ctx->tree.root();
  root.setPicture(k.dir.file("Images/p.bmp"));
  k.map->view().loadGroupPicture(root);
  ASSERT_TRUE(k.map->view().hasPicture());
  k.results[108] = [&] {
    root.setPicture("");
    return 1;
  };
  k.w->SendCommand(IDM_BACKGROUND);
  EXPECT_FALSE(k.map->view().hasPicture());
}

TEST(MenuDispatch, PauseReactionClearsTheAlarmStatesOfEveryEndpoint) {
  Console k;
  k.map->dialog = [](int, QWidget*) { return 1; };
  k.w->SendCommand(IDM_ADD_SNMP);
  k.map->dialog = nullptr;
  DeviceNode& snmp = *k.ctx->tree.root().child(2);
  ASSERT_EQ(k.link->endpoints().entries().size(), 1u);
  for (size_t off : {5456u, 5655u, 5856u, 6055u}) snmp.putU8(off, 7);
  snmp.putU8(6056, 7);  // past the second array
  k.Drain();
  k.results[159] = [] { return 1; };
  k.w->SendCommand(IDM_PAUSE_REACTION);
  for (size_t off : {5456u, 5655u, 5856u, 6055u}) EXPECT_EQ(snmp.u8(off), 0) << off;
  EXPECT_EQ(snmp.u8(6056), 7);
  const std::vector<Log> logs = k.Drain();
  ASSERT_EQ(logs.size(), 2u);
  EXPECT_EQ(std::get<0>(logs[0]), 1000u);  // the error log: 0, 2, 1000 and the text
  EXPECT_EQ(std::get<1>(logs[0]), 1000);
  EXPECT_EQ(std::get<2>(logs[0]), std::string(k.ctx->texts.language.systemMessage(4)));
  EXPECT_EQ(std::get<1>(logs[1]), 30);
}

TEST(MenuDispatch, ViewerCommandLineKeepsThePasswordInTheEnvironment) {
  for (bool accounts : {false, true}) {
    SCOPED_TRACE(accounts);
    Console k;
    ServiceSettings& s = k.ctx->settings.service;
    k.ctx->settings.accountsInUse = accounts;
    s.historyStorage = 12;
    s.historyDirectory = "/var/lib/larkcore/History";
    s.odbcSource = "LarkDB";
    s.odbcAccount = "lark";
    s.odbcPassword = "s3cret pass";
    k.link->link().session().currentMap = "Demo.UMF";
    WriteFileAtomic(k.dir.file("Larkplot"), "");
    k.w->SendCommand(IDM_HISTORICAL_PARAMETERS);
    ASSERT_EQ(k.spawned.size(), 1u);
    const DeviceNode& d = k.device();
    std::vector<std::string> want = {k.dir.file("Larkplot"), k.ctx->points.nodePath(d),
                                     "Demo\\" + std::to_string(d.id()), k.dir.path(), "12",
                                     "/var/lib/larkcore/History"};
    const uint64_t mask = k.ctx->points.nodeSupportMask(d);
    want.push_back(std::to_string(static_cast<int32_t>(mask & 0xFFFFFFFF)));
    want.push_back(std::to_string(static_cast<int32_t>(mask >> 32)));
    for (int v : {0, int(d.commType()), int(d.mibType())}) want.push_back(std::to_string(v));
    if (accounts) {
      want.push_back(std::to_string(d.id()));
      want.push_back("LarkDB");
      want.push_back("lark");
    }
    EXPECT_EQ(k.spawned[0], want);
    EXPECT_EQ(k.spawnedEnv[0], accounts ? std::vector<std::string>{"LARK_DB_PASSWORD=s3cret pass"}
                                        : std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace lark

namespace lark {
namespace {

TEST(MenuDispatch, ConnectDialogOpensFromTheFirstTickOutsideTheTimer) {
  Console k;
  k.link->UseSessionDialogs();
  k.link->link().secondTick();
  EXPECT_TRUE(k.opened.empty());  // never a nested loop inside the timer's handler
  EXPECT_TRUE(k.ctx->commands.connectDialogOpen);
  QCoreApplication::processEvents();
  ASSERT_EQ(k.opened.size(), 1u);
  EXPECT_EQ(k.opened[0].first, kConnectToServerDialog);
  EXPECT_FALSE(k.ctx->commands.connectDialogOpen);
  k.link->link().secondTick();  // past the first tick: no second offer
  QCoreApplication::processEvents();
  EXPECT_EQ(k.opened.size(), 1u);
}

}  // namespace
}  // namespace lark
