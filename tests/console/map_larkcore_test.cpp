// The console's map against the built Larkcore on the demo folder with the
// simulated UPS whose alarm comes and goes: the map downloaded over the link,
// the levels and the blinking from the service's device data, an icon drag
// sent to the service and saved there. Own network namespace and /dev/shm.
#include <sys/wait.h>

#include <chrono>

#include "console/link/console_alarms.h"
#include "console/link/link_driver.h"
#include "console/link/link_queue.h"
#include "console/link/request_frame.h"
#include "console/shell/console_context.h"
#include "console/map/map_module.h"
#include "console/views/recording_canvas.h"
#include "core/tree_action_levels.h"
#include "linkserver/link_frame.h"
#include "platform/event_loop.h"
#include "tests/console/support/larkcore_console.h"
#include "tests/support/offset_clock.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

struct Shell final : LinkShell {
  std::function<void(const std::string&)> open;
  std::function<void(std::vector<std::pair<ActionFamily, ActionTable>>)> tables;
  void configurationLoaded(const std::string& mapPath) override { open(mapPath); }
  void actionTablesLoaded(std::vector<std::pair<ActionFamily, ActionTable>> t) override { tables(std::move(t)); }
};

// The map alone on a link of its own event loop, with no window: of the
// fixture only the namespaces, the install folder and the console's texts;
// the case starts the simulator and the service. Its `link` is that bare
// link, in place of the fixture's console link.
class MapLarkcore : public test::LarkcoreConsole {
 protected:
  MapLarkcore() { privateShm = true; }
  void SetUp() override {
    // Root, "Server room" and "UPS 1" on COM1: the simulator's alarm alone.
    ASSERT_NO_FATAL_FAILURE(Prepare());
    if (IsSkipped()) return;
    // The console's language folder has no action files: the levels are the
    // service's, from the tables the link downloads.
    ConsoleFiles();
    ASSERT_TRUE(WriteProfileString(service.file("manager.ini"), "Polling", "Serial Polling", "20"));
    ctx = std::make_unique<ConsoleContext>(console.path(), linkClock, WorkArea{0, 0, 1280, 800});
    ctx->fonts = MakeConsoleFonts();
    ctx->tables.load("English");
    map = std::make_unique<ConsoleMap>(*ctx);
    map->view().resize(400, 300);
    map->view().setCanvas(&rc);
    map->view().wait = nullptr;
    shell.open = [this](const std::string& path) { map->Open(path); };
    shell.tables = [this](std::vector<std::pair<ActionFamily, ActionTable>> t) {
      ctx->tables.applyActionTables(std::move(t));
    };
    link = std::make_unique<ServiceLink>(reactor, linkClock, ctx->tree, shell, console.path(), [] { return 16384; });
    map->ConnectLink(*link);
    // The console's own alarm checks move the events the service reports
    // into the words the levels read.
    alarms = std::make_unique<ConsoleAlarms>(ctx->tree, ctx->settings.service,
                                             ctx->monitor.settings().monitorItems, ctx->tables,
                                             linkClock, console.path(), nullptr, ConsoleAlarmPeers{});
  }
  void TearDown() override {
    alarms.reset();
    link.reset();
    LarkcoreConsole::TearDown();
  }
  bool runUntil(const std::function<bool()>& done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      loop.runOnce(20);
      if (done()) return true;
    }
    return false;
  }
  // One blink tick after the levels: the icons drawn, by title.
  std::map<std::string, int> tick() {
    alarms->check();
    map->UpdateLevels();
    rc.clear();
    map->view().BlinkAlarmIcons();
    std::map<std::string, int> out;
    const auto& ops = rc.ops();
    for (size_t i = 0; i + 1 < ops.size(); ++i) {
      if (ops[i].rfind("DrawIcon", 0) != 0) continue;
      const size_t q = ops[i + 1].find('"');
      const std::string title = ops[i + 1].substr(q + 1, ops[i + 1].find('"', q + 1) - q - 1);
      out[title] = std::stoi(ops[i].substr(ops[i].rfind(' ') + 1));
    }
    return out;
  }
  // Waits (on the link's loop, one tick per status poll answered) until two
  // ticks in a row show `title` as `on` then `off` (in either order).
  bool blinks(const std::string& title, int on, int off, int ms) {
    int last = -1;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      if (!runUntil([&] { return link->pollOutstanding(); }, ms) ||
          !runUntil([&] { return !link->pollOutstanding(); }, ms)) {
        return false;
      }
      const int now = tick()[title];
      seen += std::to_string(now) + " ";
      if ((last == on && now == off) || (last == off && now == on)) return true;
      last = now;
    }
    return false;
  }

  test::OffsetClock linkClock;
  EventLoop loop;
  EpollReactor reactor{loop};
  RecordingCanvas rc;
  std::string seen;  // the icons of the ticks so far
  Shell shell;
  std::unique_ptr<ServiceLink> link;  // in place of the fixture's console link
  std::unique_ptr<ConsoleAlarms> alarms;
};

TEST_F(MapLarkcore, AlarmBlinksAndAnIconDragIsSaved) {
  ASSERT_TRUE(MakeDirs(service.file("ports")));
  // The alarm is on for 10 status answers, then off for 10.
  test::Simulator sim("ups_sim", {"--pty-dir", service.file("ports"), "--com", "1", "--ups", "1", "--alarm-cycle", "10"});
  ASSERT_TRUE(test::Eventually([&] { return FileExists(service.file("ports/COM1")); }, 20000));
  test::ServiceProcess process(service.path());
  ASSERT_TRUE(process.start());
  ASSERT_TRUE(process.waitForOutput("running on", 30000)) << process.output();
  link->start();
  link->setServer("127.0.0.2");
  link->setAutoConnect(true);
  ASSERT_TRUE(ArmLinkTimers(reactor, *link));
  ASSERT_TRUE(runUntil([&] { return link->state() == LinkState{7, 0}; }, 30000)) << process.output();

  // The downloaded map is the console's tree: "Server room" holds "UPS 1".
  DeviceNode& root = ctx->tree.root();
  ASSERT_GE(root.childCount(), 1);
  DeviceNode* room = root.child(0);
  ASSERT_EQ(room->title(), "Server room");
  DeviceNode* ups = ctx->tree.findById(2);
  ASSERT_TRUE(ups && ups->title() == "UPS 1" && ups->parent() == room);
  EXPECT_NE(map->endpoints().registry.record(1), nullptr);

  // The simulator's alarm is a Warning: the group blinks 270/115 on the root map.
  const auto state = [&] {
    const std::shared_ptr<const ActionTables> t = ctx->tables.actions();
    return "mask " + std::to_string(PrimaryBlock(*ups)->mask(MaskWord::kReported)) + " level " +
           std::to_string(ups->alarmLevel()) + " row level " +
           std::to_string(t ? ActionTablesLevelSource(*t).ActionRowLevel("regular", 0) : 9);
  };
  ASSERT_TRUE(blinks("Server room", 270, 115, 40000)) << state() << " seen " << seen;
  map->view().SelectNode(0, false);
  map->view().EnterGroup();
  EXPECT_NE(std::find_if(rc.ops().begin(), rc.ops().end(),
                         [](const std::string& op) { return op.rfind("TextOut 4,4 \"\\Main\\Server room\\\"", 0) == 0; }),
            rc.ops().end());
  ASSERT_TRUE(blinks("UPS 1", 269, 104, 40000)) << " seen " << seen;

  // A drag of "UPS 1" to (x, y) goes to the service, and a save keeps it.
  map->view().SelectNode(0, false);
  const int h = map->view().lineHeight();
  map->view().EndIconDrag(200, 150);
  const std::vector<uint8_t> save = BuildRequestFrame(kLinkCmdSaveMap, 0, {});
  ASSERT_TRUE(link->queues().put(0, kReplyQueue, kRequestQueue, kKindRequest, kLinkCmdSaveMap, 4500, 0, save));
  const std::string want = "iconRect.left=200\r\niconRect.top=" + std::to_string(150 - h - 3) +
                           "\r\niconRect.right=216\r\niconRect.bottom=" + std::to_string(150 + 13 - h);
  const auto saved = [&] {
    const std::string text = ReadFile(service.file("Demo.UMF")).value_or("");
    const size_t at = text.find("[ID2]");
    return at != std::string::npos && text.find(want, at) < text.find("[ID", at + 1);
  };
  ASSERT_TRUE(runUntil(saved, 20000)) << ReadFile(service.file("Demo.UMF")).value_or("");
  map->view().LeaveGroup();
  EXPECT_EQ(map->view().selectedNode(), room);
}

}  // namespace
}  // namespace lark
