#include "console/shell/language_reload.h"

#include "console/shell/console_context.h"
#include "console/shell/main_window.h"

namespace lark {

void LoadConsoleTexts(ConsoleContext& ctx, int level) {
  const Profile lang = ctx.languageProfile();
  ConsoleMenus* menus = ctx.mainWindow ? &ctx.mainWindow->menus() : nullptr;
  LoadLanguageTexts(ctx.texts, lang, menus, level);
  LoadConsoleStatusTexts(ctx.texts.status, lang, ctx.texts.language);
  ApplyLanguageStatusTexts(ctx.texts.status, lang, ctx.texts.language);
}

void ReloadLanguage(ConsoleContext& ctx) {
  LoadConsoleTexts(ctx, ctx.settings.loginLevel());
  ctx.tables.load(ctx.settings.service.language);  // missing files keep the defaults
  CallPoint(ctx.points.updateMenuRights, ctx.settings.accountsInUse ? ctx.settings.userLevel : 2);
  CallPoint(ctx.points.retitleDeviceColumns);
  CallPoint(ctx.points.rebuildDetailTabs);
}

}  // namespace lark
