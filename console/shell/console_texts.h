// The console's texts: English defaults built in, replaced from the chosen
// language's language.ini at start-up and at every language change. Menus
// and view texts (fixed-size texts), the label sections (the service's own
// LanguageTexts), and the console's status tables, whose [Status] keys
// differ from the service's.
#pragma once
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "console/shell/monitor_settings.h"
#include "console/views/status_lists.h"
#include "core/language_texts.h"
#include "platform/profile.h"

namespace lark {

class ConsoleMenus;

// Fixed-size view texts and their lengths in bytes.
inline constexpr size_t kLoginTextMax = 9;
inline constexpr size_t kTabTitleMax = 15;
inline constexpr size_t kMenuTextMax = 63;

struct ViewTexts {
  std::string login = "&Login...";
  std::string logout = "&Logout";
  std::array<std::string, kDetailTabs> tabTitles{"Summary",  "Diagram",       "Module",
                                                 "Schedule", "Configuration", "Dry Contact"};
};

struct ConsoleTexts {
  LanguageTexts language = InitialLanguageTexts();  // [Common], [Warn-Level], labels
  ViewTexts view;
  ColumnTitles columns;
  ConsoleStatusTexts status;
};

// The English defaults of every status table.
ConsoleStatusTexts BuildStatusTexts();
// [Status]: a non-empty S_n replaces its entries; then [Common] T_9 (when the
// language gives it) and the copies, which always follow the language.
void LoadConsoleStatusTexts(ConsoleStatusTexts& status, const Profile& lang,
                            const LanguageTexts& language);
// The component words of the language into the tables [Status] does not
// touch: the Module tab's part names and fault labels, localised by the
// same rules as the service's.
void ApplyLanguageStatusTexts(ConsoleStatusTexts& status, const Profile& lang,
                              const LanguageTexts& language);
// Menus (a missing key puts the English text back), view texts, the label
// sections. `menus` may be null (no window yet); `userLevel` picks Login or
// Logout for IDM_LOGIN.
void LoadLanguageTexts(ConsoleTexts& texts, const Profile& lang, ConsoleMenus* menus,
                       int userLevel);
// The English text of a menu item, "" when the menu has no such item.
std::string EnglishMenuText(int resource, int id);

}  // namespace lark
