#include "core/status_texts.h"

#include <initializer_list>
#include <map>

namespace lark {

namespace {

struct TableDef {
  const char* name;
  std::initializer_list<const char*> english;
};

// In build order. Spellings ("Over Waning", "Bpass", "Cabinet.:") are the
// texts as consoles have always shown them.
const TableDef kTables[kStatusTableCount] = {
    {"BatteryConditionTexts", {"Normal", "Weak", "Replacement"}},
    {"OutputSourceTexts", {"Normal", "Battery", "Bypass(Reserve)"}},
    {"BatteryStatusTexts",
     {"Normal", "Low", "Depleted", "Floating", "Charging", "Resting", "Discharging", "Normal"}},
    {"ChargerStateTexts", {"Floating", "Charging", "Resting", "Discharging"}},
    {"TestResultTexts",
     {"No Test Initiated", "Passed", "In Progress", "General Fail", "Battery Fail",
      "Deep-Battery Fail", "Test Aborted"}},
    {"NormalReducedLowTexts", {"Normal", "Reduced", "Low"}},
    {"EnableDisableTexts", {"Enable", "Disable"}},
    {"TestScheduleTexts", {"Disable", "Daily", "Weekly", "BiWeekly", "Monthly"}},
    {"UpsAlarmTexts",
     {"UPS Normal",
      "Bypass Active",
      "Battery Backup",
      "Battery Low",
      "Bypass Input Power Abnormal",
      "Battery Ground Fault",
      "Battery Test Abnormal",
      "Inverter Overload",
      "Inverter Output Volt Abnormal",
      "Inverter Output Short Circuit",
      "Rectifier Input Volt Abnormal",
      "Rectifier Output Volt Abnormal",
      "Inverter Fuse Break",
      "Battery Need Replace",
      "UPS Control Circuit Abnormal",
      "Emergency Power Off",
      "UPS Parallel Comm. Fail",
      "Manual Bypass On",
      "UPS Over Temperature",
      "Battery Cabinet Over Temperature"}},
    {"ModularAlarmTexts",
     {"Load On Inverter",
      "Load On Auto Bypass",
      "Backup Mode",
      "Battery Low",
      "Bypass Input Abnormal",
      "Battery Test Fail",
      "Internal Comm. Fail",
      "External Parallel Comm. Fail",
      "Output Overload",
      "Power Module Fault Shutdown",
      "Power Module Warning",
      "EPO Activated",
      "Load On Manual Bypass",
      "Battery Cabinet Over Temperature",
      "Output Voltage Abnormal",
      "Battery Need Replace",
      "Bypass Over Temperature",
      "Battery Ground Fault",
      "Bpass Static Switch Fail",
      "General Alarm"}},
    {"ModularAlarmTextsShort",
     {"Load On Inverter", "Load On Auto Bypass", "Backup Mode", "Battery Low",
      "Bypass Input Abnormal", "Battery Test Fail", "Internal Comm. Fail",
      "External Parallel Comm. Fail", "Output Overload", "Power Module Fault Shutdown",
      "Power Module Warning", "EPO Activated", "Load On Manual Bypass",
      "Battery Cabinet Over Temperature", "Output Voltage Abnormal", "Battery Need Replace",
      "Bypass Over Temperature", "Bpass Static Switch Fail", "General Alarm"}},
    {"ContactTypeTexts", {"Normal Open", "Normal Close"}},
    {"InputFunctionTexts", {"Battery Ground Fault", "AC Generator"}},
    {"ComponentNameTexts", {"PFC", "Rectifier", "Charger", "Inverter", "Bypass", "", "", ""}},
    {"FaultLabels1",
     {"Fuse:", "Temp.:", "Temp.:", "DC Bus:", "DC Bus:", "DC Bus:", "DC Bus:", "Circuit:", "Fan:",
      "", "", "", "Inner:", "", "", "Cal.:"}},
    {"FaultWords1",
     {"Open", "Over Waning", "Over Shutdown", "Over Volt Warning", "Over Volt Shutdown",
      "Under Volt Warning", "Under Volt Shutdown", "General Fail", "Fail", "Output Current Limit",
      "PFC Off", "", "Comm. Error", "", "Repair", "Not Yet"}},
    {"FaultLabels2", {"Fuse:", "Temp.:", "Temp.:",    "Fan:",      "",      "Detect:",
                      "STS:",  "Volt:",  "Circuit:",  "DC Bus",    "Load:", "",
                      "Inner", "EPO:",   "Parallel:", "Parallel:", "",      "",
                      "",      "",       "",          "",          "",      "Cal.:"}},
    {"FaultWords2",
     {"Open",
      "Over Waning",
      "Over Shutdown",
      "Fail",
      "",
      "Short Circuit",
      "Fail",
      "Abnormal",
      "Fail Shutdown",
      "Over Volt Shutdown",
      "Overload",
      "",
      "Comm. Error",
      "Shutdown",
      "Comm. Lost",
      "Fail",
      "",
      "",
      "",
      "",
      "",
      "",
      "",
      "Not Yet"}},
    {"FaultLabels3", {"Input:", "Phase:", "STS:", "STS:", "STS:", "", "", ""}},
    {"FaultWords3",
     {"Volt/Freq. Abnormal", "Sequence Abnormal", "Overload", "Over Temp.", "Fail", "", "", ""}},
    {"FaultLabels4", {"Temp.:", "Temp.:", "Volt:", "Volt:", "", ""}},
    {"FaultWords4",
     {"Warning", "Shutdown", "Over", "Under", "Overload Warning", "Overload Shutdown"}},
    {"FaultLabels5", {"Fuse:", "Inner:", "Parallel:", "Freq.:", "Parallel:", "DC Bus:", ""}},
    {"FaultWords5",
     {"Fail Shutdown", "Comm. Error", "Comm. Abnormal", "Abnormal Shutdown", "Comm. Fail",
      "Abnormal Shutdown", "Fail Shutdown"}},
    {"FaultLabels6", {"Volt:", "Volt:", "Freq.:", "Phase:"}},
    {"FaultWords6", {"Over", "Under", "Abnormal", "Abnormal"}},
    {"FaultLabels7", {"Volt:", "Volt:", "Cabinet.:", "Ground:", "Test:", "Test:"}},
    {"FaultWords7", {"Low Warning", "Low Shutdown", "Over Temp.", "Fault", "In Progress", "Fail"}},
    {"FaultLabels8",
     {"Volt:", "Volt:", "Freq.:", "Phase:", "Current:", "Current:", "", "Temp.:", "Temp.:"}},
    {"FaultWords8",
     {"Over", "Under", "Abnormal", "Abnormal", "Over", "Unbalance", "Fail", "Over Warning",
      "Over Shutdown"}},
    {"FaultLabels9", {"Temp.:", "Temp.:", "", ""}},
    {"FaultWords9", {"Over Warning", "Over Shutdown", "Overload", "Fail"}},
    {"FaultLabels10", {"EPO:", "Ambiance:", "Aux.:", ""}},
    {"FaultWords10", {"Initiated", "Over Temp.", "Power Fail", "Short Circuit"}},
};

enum class Src : uint8_t {
  Status,         // [Status] S_(key + i - first), only a non-empty value
  Common9,        // [Common] T_9, whenever the language has one
  Component,      // [Component] CP_key followed by ":", always
  ComponentAsIs,  // [Component] CP_key, always
};

struct Rule {
  StatusTable table;
  uint8_t first, last;  // entry range
  Src src;
  uint8_t key;
};

using T = StatusTable;
// Entries not named here keep their English text whatever the language.
constexpr Rule kRules[] = {
    {T::BatteryCondition, 0, 2, Src::Status, 1},
    {T::OutputSource, 0, 0, Src::Common9, 9},
    {T::OutputSource, 1, 1, Src::Status, 4},
    {T::OutputSource, 2, 2, Src::Status, 5},
    {T::BatteryStatus, 0, 0, Src::Common9, 9},
    {T::BatteryStatus, 1, 7, Src::Status, 6},
    {T::ChargerState, 0, 3, Src::Status, 13},
    {T::TestResult, 0, 6, Src::Status, 17},
    {T::NormalReducedLow, 0, 0, Src::Common9, 9},
    {T::NormalReducedLow, 1, 2, Src::Status, 24},
    {T::EnableDisable, 0, 1, Src::Status, 26},
    {T::TestSchedule, 0, 4, Src::Status, 27},
    {T::UpsAlarm, 0, 19, Src::Status, 32},
    {T::ModularAlarm, 0, 18, Src::Status, 87},
    {T::ModularAlarmShort, 0, 18, Src::Status, 162},
    {T::ContactType, 0, 1, Src::Status, 52},
    {T::InputFunction, 0, 1, Src::Status, 54},
    {T::ComponentName, 0, 0, Src::ComponentAsIs, 23},
    {T::ComponentName, 1, 1, Src::ComponentAsIs, 24},
    {T::ComponentName, 2, 2, Src::ComponentAsIs, 13},
    {T::ComponentName, 3, 3, Src::ComponentAsIs, 18},
    {T::ComponentName, 4, 4, Src::ComponentAsIs, 1},
    {T::FaultLabels1, 0, 0, Src::Component, 25},
    {T::FaultLabels1, 1, 2, Src::Component, 26},
    {T::FaultLabels1, 3, 6, Src::Component, 27},
    {T::FaultLabels1, 7, 7, Src::Component, 28},
    {T::FaultLabels1, 8, 8, Src::Component, 29},
    {T::FaultLabels1, 12, 12, Src::Component, 30},
    {T::FaultLabels1, 15, 15, Src::Component, 31},
    {T::FaultWords1, 0, 8, Src::Status, 56},
    {T::FaultWords1, 9, 9, Src::Status, 159},
    {T::FaultWords1, 10, 10, Src::Status, 160},
    {T::FaultWords1, 12, 12, Src::Status, 65},
    {T::FaultWords1, 14, 14, Src::Status, 161},
    {T::FaultWords1, 15, 15, Src::Status, 66},
    {T::FaultLabels2, 0, 0, Src::Component, 25},
    {T::FaultLabels2, 1, 2, Src::Component, 26},
    {T::FaultLabels2, 3, 3, Src::Component, 29},
    {T::FaultLabels2, 5, 5, Src::Component, 32},
    {T::FaultLabels2, 6, 6, Src::Component, 33},
    {T::FaultLabels2, 7, 7, Src::Component, 34},
    {T::FaultLabels2, 8, 8, Src::Component, 28},
    {T::FaultLabels2, 9, 9, Src::Component, 27},
    {T::FaultLabels2, 10, 10, Src::Component, 12},
    {T::FaultLabels2, 12, 12, Src::Component, 30},
    {T::FaultLabels2, 13, 13, Src::Component, 35},
    {T::FaultLabels2, 14, 15, Src::Component, 36},
    {T::FaultLabels2, 23, 23, Src::Component, 31},
    {T::FaultWords2, 0, 3, Src::Status, 67},
    {T::FaultWords2, 5, 10, Src::Status, 71},
    {T::FaultWords2, 12, 15, Src::Status, 77},
    {T::FaultWords2, 23, 23, Src::Status, 81},
    {T::FaultLabels3, 0, 0, Src::Component, 8},
    {T::FaultLabels3, 1, 1, Src::Component, 37},
    {T::FaultLabels3, 2, 4, Src::Component, 33},
    {T::FaultWords3, 0, 4, Src::Status, 82},
    {T::FaultLabels4, 0, 1, Src::Component, 26},
    {T::FaultLabels4, 2, 3, Src::Component, 34},
    {T::FaultWords4, 0, 5, Src::Status, 107},
    {T::FaultLabels5, 0, 0, Src::Component, 25},
    {T::FaultLabels5, 1, 1, Src::Component, 30},
    {T::FaultLabels5, 2, 2, Src::Component, 36},
    {T::FaultLabels5, 3, 3, Src::Component, 4},
    {T::FaultLabels5, 4, 4, Src::Component, 36},
    {T::FaultLabels5, 5, 5, Src::Component, 27},
    {T::FaultWords5, 0, 6, Src::Status, 113},
    {T::FaultLabels6, 0, 1, Src::Component, 34},
    {T::FaultLabels6, 2, 2, Src::Component, 4},
    {T::FaultLabels6, 3, 3, Src::Component, 37},
    {T::FaultWords6, 0, 3, Src::Status, 120},
    {T::FaultLabels7, 0, 1, Src::Component, 34},
    {T::FaultLabels7, 2, 2, Src::Component, 43},
    {T::FaultLabels7, 3, 3, Src::Component, 44},
    {T::FaultLabels7, 4, 5, Src::Component, 45},
    {T::FaultWords7, 0, 5, Src::Status, 124},
    {T::FaultLabels8, 0, 1, Src::Component, 34},
    {T::FaultLabels8, 2, 2, Src::Component, 4},
    {T::FaultLabels8, 3, 3, Src::Component, 37},
    {T::FaultLabels8, 4, 5, Src::Component, 6},
    {T::FaultLabels8, 7, 8, Src::Component, 26},
    {T::FaultWords8, 0, 8, Src::Status, 130},
    {T::FaultLabels9, 0, 1, Src::Component, 26},
    {T::FaultWords9, 0, 3, Src::Status, 139},
    {T::FaultLabels10, 0, 0, Src::Component, 35},
    {T::FaultLabels10, 1, 1, Src::Component, 46},
    {T::FaultLabels10, 2, 2, Src::Component, 47},
    {T::FaultWords10, 0, 3, Src::Status, 143},
};

const std::string& Empty() {
  static const std::string e;
  return e;
}

}  // namespace

size_t StatusTableSize(StatusTable t) { return kTables[static_cast<size_t>(t)].english.size(); }
const char* StatusTableName(StatusTable t) { return kTables[static_cast<size_t>(t)].name; }

const std::string& StatusTexts::text(StatusTable t, size_t i) const {
  const auto& v = tables[static_cast<size_t>(t)];
  return i < v.size() ? v[i] : Empty();
}

size_t StatusTexts::totalTexts() const {
  size_t n = 0;
  for (const auto& t : tables) n += t.size();
  return n;
}

StatusTexts DefaultStatusTexts() {
  StatusTexts s;
  for (size_t t = 0; t < kStatusTableCount; ++t)
    s.tables[t].assign(kTables[t].english.begin(), kTables[t].english.end());
  return s;
}

void LocaliseStatusTexts(StatusTexts& texts, const Profile& lang, const LanguageTexts& language) {
  for (const Rule& r : kRules) {
    auto& table = texts.tables[static_cast<size_t>(r.table)];
    for (int i = r.first; i <= r.last && static_cast<size_t>(i) < table.size(); ++i) {
      std::string& entry = table[static_cast<size_t>(i)];
      switch (r.src) {
        case Src::Status: {
          std::string key = "S_" + std::to_string(r.key + i - r.first);
          std::string v = ReadTableText(lang, "Status", key, "", kLanguageTextMax);
          if (!v.empty()) entry = std::move(v);
          break;
        }
        case Src::Common9:
          // A language that never gave T_9 leaves the word as it was.
          if (language.common[8]) entry = *language.common[8];
          break;
        case Src::Component:
          entry = std::string(language.componentText(r.key)) + ":";
          break;
        case Src::ComponentAsIs:
          entry = std::string(language.componentText(r.key));
          break;
      }
    }
  }
}

std::vector<std::pair<int, std::string>> EnglishStatusKeys() {
  std::map<int, std::string> keys;
  StatusTexts english = DefaultStatusTexts();
  for (const Rule& r : kRules) {
    if (r.src != Src::Status) continue;
    for (int i = r.first; i <= r.last; ++i)
      keys.emplace(r.key + i - r.first, english.text(r.table, static_cast<size_t>(i)));
  }
  return {keys.begin(), keys.end()};
}

}  // namespace lark
