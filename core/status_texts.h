// The status words of the device families (states, alarms, test results,
// settings and the labels of the component fault words): 34 tables, 282
// texts, built in English and localised from language.ini. The English
// defaults keep their original spellings, typos included, because consoles
// and stored reports show them as they stand.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/language_texts.h"
#include "platform/profile.h"

namespace lark {

enum class StatusTable : uint8_t {
  BatteryCondition,
  OutputSource,
  BatteryStatus,
  ChargerState,
  TestResult,
  NormalReducedLow,
  EnableDisable,
  TestSchedule,
  UpsAlarm,
  ModularAlarm,
  ModularAlarmShort,
  ContactType,
  InputFunction,
  ComponentName,
  FaultLabels1,
  FaultWords1,
  FaultLabels2,
  FaultWords2,
  FaultLabels3,
  FaultWords3,
  FaultLabels4,
  FaultWords4,
  FaultLabels5,
  FaultWords5,
  FaultLabels6,
  FaultWords6,
  FaultLabels7,
  FaultWords7,
  FaultLabels8,
  FaultWords8,
  FaultLabels9,
  FaultWords9,
  FaultLabels10,
  FaultWords10,
};
inline constexpr size_t kStatusTableCount = 34;
inline constexpr size_t kStatusTextTotal = 282;

// Fault word pair k (1..10): the labels table and the words table.
inline StatusTable FaultLabels(int k) {
  return static_cast<StatusTable>(static_cast<int>(StatusTable::FaultLabels1) + 2 * (k - 1));
}
inline StatusTable FaultWords(int k) {
  return static_cast<StatusTable>(static_cast<int>(StatusTable::FaultWords1) + 2 * (k - 1));
}

size_t StatusTableSize(StatusTable t);
const char* StatusTableName(StatusTable t);

struct StatusTexts {
  std::array<std::vector<std::string>, kStatusTableCount> tables;

  // "" outside the table, so a device value never indexes past it.
  const std::string& text(StatusTable t, size_t i) const;
  const std::vector<std::string>& table(StatusTable t) const {
    return tables[static_cast<size_t>(t)];
  }
  size_t totalTexts() const;
};

StatusTexts DefaultStatusTexts();

// Localises `texts` in place: a non-empty [Status] S_n replaces its entries,
// [Common] T_9 (when the language has one) replaces the three "Normal"
// entries, and the component texts always replace the component names and
// labels (an empty CP_n gives an empty name or a lone ":").
void LocaliseStatusTexts(StatusTexts& texts, const Profile& lang, const LanguageTexts& language);

// [Status] key numbers with their English texts, in key order, for the
// shipped English language file.
std::vector<std::pair<int, std::string>> EnglishStatusKeys();

}  // namespace lark
