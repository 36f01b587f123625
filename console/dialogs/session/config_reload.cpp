#include "console/dialogs/session/config_reload.h"

#include "console/link/service_link.h"
#include "console/shell/console_context.h"
#include "console/shell/language_reload.h"
#include "console/shell/show_configuration.h"

namespace lark {

int ReloadConsoleTables(ConsoleContext& ctx, ServiceLink& link) {
  const std::string copy = ctx.installDir() + "/Monitor/manager.ini";
  LoadManagerSettings(ctx.settings, copy, ctx.installDir());
  LoadContactors(ctx.settings, copy);
  LoadDatabaseSettings(ctx.settings, copy, ctx.installDir(),
                       [&ctx](int32_t level) { CallPoint(ctx.points.updateMenuRights, static_cast<int>(level)); });
  const LinkSessionData& session = link.session();
  const int level = session.accessSwitch != 0 ? session.userLevel : 2;
  LoadConsoleTexts(ctx, session.accessSwitch != 0 ? session.userLevel : 0);
  CallPoint(ctx.points.updateMenuRights, level);
  LoadRecipientItems(ctx.settings, copy);
  ctx.tables.load(ctx.settings.service.language);  // missing files keep the defaults
  LoadNotificationLists(ctx.settings, copy);
  CallPoint(ctx.points.retitleDeviceColumns);
  CallPoint(ctx.points.rebuildDetailTabs);
  return level;
}

void ReloadConfiguration(ConsoleContext& ctx, ServiceLink& link) {
  const int level = ReloadConsoleTables(ctx, link);
  if (level != 0) {
    link.setPollHold(true);  // the map loader rebuilds the tree
    ShowCurrentConfiguration(ctx, link.session().currentMap);
    link.setPollHold(false);
    link.requestState(4, 2);
    link.requestState(6, 0);
  } else {
    link.requestState(4, 2);
  }
}

}  // namespace lark
