// Start-up has no counterpart for three of the old steps: the common
// controls, the window class registrations (the classes are QWidget
// classes) and COM (pictures load through Qt).
#include "console/shell/larkview.h"

#include <QApplication>
#include <QScreen>
#include <cstdio>
#include <vector>

#include "console/shell/console_alarm_module.h"
#include "console/shell/console_link.h"
#include "console/shell/menu_dispatch.h"
#include "platform/key_store.h"
#include "platform/paths.h"

namespace lark {

WorkArea PrimaryWorkArea() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return WorkArea();
  const QRect r = screen->availableGeometry();
  return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

std::unique_ptr<LarkviewWindow> StartConsole(ConsoleContext& ctx, std::string* failedStep) {
  std::unique_ptr<LarkviewWindow> w;
  auto timer = [&](const QObject* window, int id, int ms, std::function<void()> f) {
    return ctx.timers.Set(window, id, ms, std::move(f));
  };
  auto point = [](const std::function<void()>& f) {
    return [&f] {
      CallPoint(f);
      return true;
    };
  };
  ConsoleCallPoints& cp = ctx.points;
  const std::vector<NamedStep> steps = {
      {"ResetSoundCounters", point(cp.resetSoundCounters)},
      {"ClearMailSlots", point(cp.clearMailSlots)},
      {"InitMailLock", point(cp.initMailLock)},
      {"ReadInstallDir", [&] { return IsDirectory(ctx.installDir()); }},
      {"LoadWindowRects", [&] { ctx.monitor.LoadWindowRects(); return true; }},
      {"InitTextTables",
       [&] {
         ctx.texts = ConsoleTexts();
         ctx.texts.status = BuildStatusTexts();
         return true;
       }},
      {"CreateMainWindow",
       [&] {
         w = std::make_unique<LarkviewWindow>(ctx);
         if (w->failedStep().empty()) return true;
         *failedStep = "CreateMainWindow/" + w->failedStep();
         return false;
       }},
      {"UpdateMenuRights", [&] { CallPoint(cp.updateMenuRights, 2); return true; }},
      {"CreateLists", point(cp.fillLists)},
      {"ResetStatusSharedMemory", point(cp.resetStatusSharedMemory)},
      {"TimersMainAndLists",
       [&] {
         LarkviewWindow* m = w.get();
         return timer(m, IDT_SECOND, 1000, [m] { m->OnSecondTimer(); }) &&
                timer(m, IDT_REPAINT, 100, [m] { m->OnRepaintTimer(); }) &&
                timer(m->deviceList(), IDT_SECOND, 1000, [&cp] { CallPoint(cp.listTimer); }) &&
                timer(m->groupList(), IDT_SECOND, 1000, [&cp] { CallPoint(cp.groupListTimer); });
       }},
      {"ShowMainWindow",
       [&] {
         w->FitFrameToMainRect();
         w->show();
         w->Relayout();
         return true;
       }},
      {"CreateDetailTabsAndMapWindow",
       [&] {
         CallPoint(cp.createDetailTabs);
         w->tabControl()->show();
         if (!(ctx.monitor.settings().viewFlags & kViewMapClosed)) w->mapWindow()->show();
         return timer(w->mapWindow(), IDT_SECOND, 1000, [&cp] { CallPoint(cp.mapTimer); });
       }},
      {"InitLinkQueues", point(cp.initLinkQueues)},
      {"ResetLinkState", point(cp.resetLinkState)},
      {"InitServiceLink", point(cp.initServiceLink)},
      {"StartWinsockAndDiscovery", point(cp.startWinsock)},
      {"AutoConnect",
       [&] {
         CallPoint(cp.setAutoConnect, ctx.monitor.settings().autoConnect);
         return true;
       }},
      {"TimersLink",
       [&] {
         LarkviewWindow* m = w.get();
         return timer(m, IDT_QUEUE3, 100, [&cp] { CallPoint(cp.pumpLinkQueue, 3); }) &&
                timer(m, IDT_QUEUE5, 500, [&cp] { CallPoint(cp.pumpLinkQueue, 5); }) &&
                timer(m, IDT_LINK, 100, [m] { m->OnLinkTimer(); });
       }},
  };
  for (const NamedStep& step : steps) {
    if (!step.run()) {
      if (failedStep->empty()) *failedStep = step.name;
      return nullptr;
    }
  }
  return w;
}

void ShutdownConsole(ConsoleContext& ctx, LarkviewWindow& window) {
  ConsoleCallPoints& cp = ctx.points;
  window.propertyPane()->hide();
  CallPoint(cp.freePictures);
  ctx.backBuffer.Delete();
  CallPoint(cp.closeDeviceEndpoints);
  for (auto [win, id] : {std::pair<const QObject*, int>{&window, IDT_QUEUE3},
                         {&window, IDT_REPAINT},
                         {window.mapWindow(), IDT_SECOND},
                         {&window, IDT_SECOND},
                         {&window, IDT_QUEUE5}})
    ctx.timers.Kill(win, id);
  CallPoint(cp.closeStatusSharedMemory);
  ctx.timers.KillAll();  // the windows are gone; nothing may fire into them
}

int RunLarkview(int argc, char** argv, const ConsoleInstaller& install) {
  QApplication app(argc, argv);
  KeyStore keys(KeyStore::DefaultDir());
  SystemClock clock;
  ConsoleContext ctx(InstallDir(keys), clock, PrimaryWorkArea());
  ctx.quit = [](int code) { QCoreApplication::exit(code); };
  ConsoleLink link(ctx);
  link.Wire();
  const std::shared_ptr<void> modules = install(ctx, link);
  std::unique_ptr<ConsoleAlarmModule> alarms = InstallConsoleAlarms(ctx, link.link());
  std::string failed;
  std::unique_ptr<LarkviewWindow> window = StartConsole(ctx, &failed);
  if (!window) {
    std::fprintf(stderr, "Larkview: start-up failed at step %s (install folder %s)\n", failed.c_str(),
                 ctx.installDir().c_str());
    return 1;
  }
  InstallMenuCommands(ctx, *window, link);
  const int code = app.exec();
  ShutdownConsole(ctx, *window);
  return code;
}

}  // namespace lark
