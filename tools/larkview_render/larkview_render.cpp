// Runs the console offscreen on an install folder for a number of seconds,
// then writes its main window and its map window as PNG pictures. With a
// map file name, the console opens that map from its Monitor folder first
// (where the link puts the map it downloads). `--select TITLE` selects the
// first device of that title before the picture is taken, `--tab SLOT` the
// detail tab of that slot (0 Summary, 1 Diagram, 2 Module, ...).
// Usage: larkview_render [--select TITLE] [--tab SLOT] <install folder> <seconds> <main.png>
//        [<map.png> [<map file>]]
// Message boxes are answered "Yes" without being shown.
#include <QApplication>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/diagram/diagram_module.h"
#include "console/dialogs/console_dialogs.h"
#include "console/shell/console_alarm_module.h"
#include "console/shell/console_link.h"
#include "console/lists/console_lists.h"
#include "console/shell/larkview.h"
#include "console/shell/main_window.h"
#include "console/map/map_module.h"
#include "console/shell/menu_dispatch.h"
#include "console/tabs/detail_tabs.h"
#include "platform/paths.h"

namespace {

// The first device (no group) titled `title`, depth first.
lark::DeviceNode* FindDevice(lark::DeviceNode& node, const std::string& title) {
  for (int i = 0; i < node.childCount(); ++i) {
    lark::DeviceNode* c = node.child(i);
    if (!c->isGroup() && c->title() == title) return c;
    if (lark::DeviceNode* found = FindDevice(*c, title)) return found;
  }
  return nullptr;
}

// Selects the device's group in the group list and the device in the device
// list, as a click on each would; false when no device has that title.
bool SelectDevice(lark::ConsoleContext& ctx, const std::string& title) {
  lark::DeviceNode* node = FindDevice(ctx.tree.root(), title);
  if (node == nullptr || node->parent() == nullptr) return false;
  lark::DeviceNode* group = node->parent();
  const lark::ConsoleCallPoints& cp = ctx.points;
  lark::CallPoint(cp.fillGroupList, group);
  lark::CallPoint(cp.selectDeviceRow, group);
  lark::CallPoint(cp.fillDeviceList, group, false);
  lark::CallPoint(cp.selectDeviceRow, node);
  return cp.selectedDevice && cp.selectedDevice() == node;
}

// Selects the tab item of `slot`; false when that slot's tab is off.
bool SelectTab(lark::ConsoleContext& ctx, lark::LarkviewWindow& w, int slot) {
  const auto& enabled = ctx.monitor.settings().tabEnabled;
  if (!enabled[static_cast<size_t>(slot)]) return false;
  int item = 0;  // the items are the enabled slots in order
  for (int s = 0; s < slot; ++s) item += enabled[static_cast<size_t>(s)] ? 1 : 0;
  w.tabControl()->setCurrentIndex(item);
  return true;
}

void Usage(const char* program) {
  std::fprintf(stderr,
               "usage: %s [--select TITLE] [--tab SLOT] <install folder> <seconds> <main.png> "
               "[<map.png> [<map file>]]\n",
               program);
}

}  // namespace

int main(int argc, char** argv) {
  std::string select;
  long tab = -1;
  std::vector<char*> args{argv[0]};
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if ((a == "--select" || a == "--tab") && i + 1 < argc) {
      const char* v = argv[++i];
      if (a == "--select") {
        select = v;
        continue;
      }
      char* end = nullptr;
      tab = std::strtol(v, &end, 10);
      if (end == v || *end != '\0' || tab < 0 || tab >= lark::kDetailTabs) {
        std::fprintf(stderr, "larkview_render: the tab slot must be 0..%d\n", lark::kDetailTabs - 1);
        return 2;
      }
    } else {
      args.push_back(argv[i]);
    }
  }
  argc = static_cast<int>(args.size());
  argv = args.data();
  if (argc < 4 || argc > 6) {
    Usage(argv[0]);
    return 2;
  }
  const std::string install = argv[1];
  char* end = nullptr;
  const long seconds = std::strtol(argv[2], &end, 10);
  if (end == argv[2] || *end != '\0' || seconds < 0 || seconds > 3600) {
    std::fprintf(stderr, "larkview_render: seconds must be 0..3600\n");
    return 2;
  }
  // Offscreen unless the caller asks for a real platform (xcb under Xvfb shows
  // the window a user sees).
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int qargc = 1;
  QApplication app(qargc, argv);
  lark::SystemClock clock;
  lark::ConsoleContext ctx(install, clock, lark::PrimaryWorkArea());
  ctx.messageBox = [](QWidget*, const std::string&, const std::string&, unsigned) {
    return static_cast<int>(lark::IDYES);
  };
  ctx.quit = [](int code) { QCoreApplication::exit(code); };
  // The link connects when monitor.ini names a server with auto-connect on.
  lark::ConsoleLink link(ctx);
  link.Wire();
  std::unique_ptr<lark::ConsoleMap> map = lark::InstallConsoleMap(ctx);
  map->ConnectLink(link.link());
  lark::InstallConsoleLists(ctx);
  lark::InstallDetailTabs(ctx);
  lark::InstallDiagramTab(ctx);
  std::shared_ptr<lark::ConsoleDialogs> dialogs = lark::InstallConsoleDialogs(ctx, link, *map);
  lark::InstallSettingsPages(*dialogs);
  // As Larkview: the console's own alarm checks give the levels the lists,
  // the map and the tabs show.
  std::unique_ptr<lark::ConsoleAlarmModule> alarms = lark::InstallConsoleAlarms(ctx, link.link());
  std::string failed;
  std::unique_ptr<lark::LarkviewWindow> w = lark::StartConsole(ctx, &failed);
  if (!w) {
    std::fprintf(stderr, "larkview_render: start-up failed at step %s\n", failed.c_str());
    return 1;
  }
  lark::InstallMenuCommands(ctx, *w, link);
  if (argc == 6) {
    const std::optional<std::string> path = lark::ConsoleMapPath(install, argv[5]);
    if (!path || !lark::FileExists(*path)) {
      std::fprintf(stderr, "larkview_render: no map %s in %s/Monitor\n", argv[5], install.c_str());
      return 1;
    }
    map->Open(*path);
  }
  int code = 0;
  QTimer::singleShot(static_cast<int>(seconds * 1000), [&] {
    if (!select.empty() && !SelectDevice(ctx, select)) {
      std::fprintf(stderr, "larkview_render: no device titled %s\n", select.c_str());
      code = 1;
    }
    if (tab >= 0 && !SelectTab(ctx, *w, static_cast<int>(tab))) {
      std::fprintf(stderr, "larkview_render: tab %ld is not shown\n", tab);
      code = 1;
    }
    // The pane and the tabs as a repaint of the window would leave them.
    lark::CallPoint(ctx.points.refreshDetailTabs, 1);
  });
  // A settings page reloads on its next second tick after the tab changed.
  QTimer::singleShot(static_cast<int>(seconds * 1000) + 1500, [&] {
    lark::CallPoint(ctx.points.refreshDetailTabs, 1);
    if (!w->grab().save(QString::fromLocal8Bit(argv[3]), "PNG")) {
      std::fprintf(stderr, "larkview_render: cannot write %s\n", argv[3]);
      code = 1;
    }
    if (argc >= 5 && !w->mapWindow()->grab().save(QString::fromLocal8Bit(argv[4]), "PNG")) {
      std::fprintf(stderr, "larkview_render: cannot write %s\n", argv[4]);
      code = 1;
    }
    w->Destroy();
  });
  app.exec();
  lark::ShutdownConsole(ctx, *w);
  return code;
}
