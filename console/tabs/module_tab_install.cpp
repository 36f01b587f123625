// The Module tab plugged into the console: one ModuleTabState per console,
// painted on the Module page and its pictures dropped at shutdown.
#include <memory>

#include "console/shell/console_context.h"
#include "console/tabs/detail_tabs.h"
#include "console/tabs/module_tab.h"

namespace lark {

void InstallModuleTab(ConsoleContext& ctx) {
  auto state = std::make_shared<ModuleTabState>(ctx.installDir());
  ConsoleCallPoints& cp = ctx.points;
  cp.paintModuleTab = [state, &ctx](Canvas& c, DeviceNode& device, bool full) {
    return PaintModuleTab(c, PanelInputsOf(ctx), *state, device, full);
  };
  std::function<void()> before = cp.freePictures;
  cp.freePictures = [state, before] {
    if (before) before();
    state->FreePictures();
  };
}

}  // namespace lark
