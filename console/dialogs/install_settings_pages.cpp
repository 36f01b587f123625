#include "console/dialogs/config_tab_page.h"
#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dry_contact_tab_page.h"
#include "console/shell/console_context.h"

namespace lark {

void InstallSettingsPages(ConsoleDialogs& env) {
  ConsoleCallPoints& p = env.ctx.points;
  p.createConfigTab = [&env](QWidget* page) { return CreateConfigTab(env, page); };
  p.createDryContactTab = [&env](QWidget* page) { return CreateDryContactTab(env, page); };
}

}  // namespace lark
