// Runs the console offscreen on an install folder for a number of seconds,
// then writes its main window and its map window as PNG pictures. With a
// map file name, the console opens that map from its Monitor folder first
// (where the link puts the map it downloads).
// Usage: larkview_render <install folder> <seconds> <main.png> [<map.png> [<map file>]]
// Message boxes are answered "Yes" without being shown.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "console/diagram/diagram_module.h"
#include "console/dialogs/console_dialogs.h"
#include "console/shell/console_link.h"
#include "console/lists/console_lists.h"
#include "console/shell/larkview.h"
#include "console/map/map_module.h"
#include "console/shell/menu_dispatch.h"
#include "console/tabs/detail_tabs.h"
#include "platform/paths.h"

int main(int argc, char** argv) {
  if (argc < 4 || argc > 6) {
    std::fprintf(stderr, "usage: %s <install folder> <seconds> <main.png> [<map.png> [<map file>]]\n",
                 argv[0]);
    return 2;
  }
  const std::string install = argv[1];
  char* end = nullptr;
  const long seconds = std::strtol(argv[2], &end, 10);
  if (end == argv[2] || *end != '\0' || seconds < 0 || seconds > 3600) {
    std::fprintf(stderr, "larkview_render: seconds must be 0..3600\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
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
    // The pane and the tabs as a repaint of the window would leave them.
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
