// One reload of everything the console shows in its language, at the
// language its settings name now: menus and view texts, status texts, the
// action and parameter tables, the menu rights, the lists' column titles
// and the detail tabs. A language change and a new configuration both end
// with it.
#pragma once

namespace lark {

class ConsoleContext;

void ReloadLanguage(ConsoleContext& ctx);
// Its first part: the menus and view texts, File's Login item as `level`
// (the logged-in user's, 0 for nobody) asks, and the status texts.
void LoadConsoleTexts(ConsoleContext& ctx, int level);

}  // namespace lark
