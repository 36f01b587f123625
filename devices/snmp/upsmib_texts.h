// Texts of the UPS-MIB (RFC 1628) enumerations, for whatever shows them.
#pragma once
#include <array>
#include <string>

#include "core/language_texts.h"
#include "core/status_texts.h"

namespace lark {

struct UpsMibTexts {
  std::array<std::string, 8> outputSource;      // upsOutputSource - 1
  std::array<std::string, 3> batteryCondition;
  std::array<std::string, 3> batteryCharge;     // upsBatteryStatus - 2
  std::array<std::string, 7> testResult;
  std::array<std::string, 4> environment;       // security, water, fire, smoke contacts
};

// The English texts.
UpsMibTexts SnmpInitUpsMibTexts();

// Takes the language's words for the same meanings: battery condition, test
// result and battery charge from the status tables, the first three output
// sources from theirs, the contacts from component texts CP_38..CP_41. An
// empty or missing text keeps the one there.
void LocaliseUpsMibTexts(UpsMibTexts& texts, const StatusTexts& status, const LanguageTexts& lang);

}  // namespace lark
