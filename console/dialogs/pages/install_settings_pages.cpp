#include "console/dialogs/pages/config_tab_page.h"
#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/pages/dry_contact_tab_page.h"
#include "console/dialogs/pages/schedule_tab_page.h"
#include "core/schedule_runner.h"
#include "console/shell/console_context.h"

namespace lark {

void InstallSettingsPages(ConsoleDialogs& env) {
  ConsoleCallPoints& p = env.ctx.points;
  p.createConfigTab = [&env](QWidget* page) { return CreateConfigTab(env, page); };
  p.createDryContactTab = [&env](QWidget* page) { return CreateDryContactTab(env, page); };
  p.createScheduleTab = [&env](QWidget* page) { return CreateScheduleTab(env, page); };
  p.findNextScheduledActions = [&ctx = env.ctx] { FindNextScheduledActions(ctx.tree.root(), ctx.clock().now()); };
}

}  // namespace lark
