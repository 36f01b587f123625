// The console's status tables: the state words the views show (battery,
// charger, output source, test result, the Module tab's lists), each entry
// optional. The shell builds and localises them; the painters only read.
#pragma once
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace lark {

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

}  // namespace lark
