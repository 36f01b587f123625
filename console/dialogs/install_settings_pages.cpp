#include "console/dialogs/config_tab_page.h"
#include "console/dialogs/console_dialogs.h"
#include "console/shell/console_context.h"

namespace lark {

void InstallSettingsPages(ConsoleDialogs& env) {
  ConsoleCallPoints& p = env.ctx.points;
  p.createConfigTab = [&env](QWidget* page) { return CreateConfigTab(env, page); };
}

}  // namespace lark
