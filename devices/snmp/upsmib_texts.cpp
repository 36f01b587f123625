#include "devices/snmp/upsmib_texts.h"

namespace lark {

UpsMibTexts SnmpInitUpsMibTexts() {
  return UpsMibTexts{
      {"Normal", "Battery", "Bypass", "Reducing", "Boosting", "Manual Bypass", "Other", "None"},
      {"Normal", "Weak", "Replace"},
      {"OK", "Low", "Depleted"},
      {"No Test Initiated", "Passed", "In Progress", "Fail", "Battery Fail", "Deep-Battery Fail",
       "Aborted"},
      {"Security", "Water", "Fire", "Smoke"},
  };
}

namespace {

template <size_t N>
void Take(std::array<std::string, N>& to, const StatusTexts& status, StatusTable from) {
  for (size_t i = 0; i < N; ++i) {
    const std::string& t = status.text(from, i);
    if (!t.empty()) to[i] = t;
  }
}

}  // namespace

void LocaliseUpsMibTexts(UpsMibTexts& texts, const StatusTexts& status, const LanguageTexts& lang) {
  Take(texts.batteryCondition, status, StatusTable::BatteryCondition);
  Take(texts.testResult, status, StatusTable::TestResult);
  Take(texts.batteryCharge, status, StatusTable::BatteryStatus);
  Take(texts.outputSource, status, StatusTable::OutputSource);
  for (int i = 0; i < 4; ++i) {
    std::string_view t = lang.componentText(38 + i);
    if (!t.empty()) texts.environment[static_cast<size_t>(i)] = std::string(t);
  }
}

}  // namespace lark
