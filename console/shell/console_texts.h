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

// The console's status tables, in the order [Status] is read.
enum class StatusList : int {
  BatteryCondition,    // S_1-S_3
  BatteryLevel,        // T_9, S_4, S_5
  OutputSource,        // T_9, S_6-S_12
  ChargerState,        // S_13-S_16
  TestResult,          // S_17-S_23
  VoltageSensitivity,  // (not read), S_24, S_25
  EnableDisable,       // S_26, S_27
  SelfTestSchedule,    // S_27-S_31
  UpsAlarm,            // S_32-S_51
  ModularAlarm,        // S_87-S_106
  ModularAlarmShort,   // S_162-S_180
  ContactType,         // S_52, S_53
  InputFunction,       // S_54, S_55
  ModuleFaults16,      // S_56-S_66 with gaps
  ModuleFaults24,      // S_67-S_81 with gaps
  ModuleFaults8,       // S_82-S_86
  OutputSourceCopy,    // copies, taken after the language texts
  BatteryConditionCopy,
  BatteryLevelCopy,
  TestResultCopy,
  ComponentCopy,  // [Component] CP_38-CP_41
  Limits6,        // S_107-S_112
  CommFaults7,    // S_113-S_119
  Range4,         // S_120-S_123
  BatteryTest6,   // S_124-S_129
  Range9,         // S_130-S_138
  Overload4,      // S_139-S_142
  Events4,        // S_143-S_146
  ModuleStates12, // S_147-S_158, no English default
  // Tables [Status] does not touch.
  FaultDescriptions,
  ModuleParts,
  ModuleLabels16,
  ModuleLabels24,
  ModuleLabels8,
  ModuleLabels6,
  ModuleLabels7,
  ModuleLabels4,
  ModuleLabels6b,
  ModuleLabels9,
  ModuleLabels4b,
  ModuleLabels4c,
};
inline constexpr int kStatusListCount = 41;

struct ConsoleStatusTexts {
  // An entry without a value is unset (only ModuleStates12 starts so).
  std::array<std::vector<std::optional<std::string>>, kStatusListCount> lists;
  // "" for an unset entry or an index outside the table.
  const std::string& text(StatusList t, size_t i) const;
  size_t size(StatusList t) const { return lists[static_cast<int>(t)].size(); }
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
