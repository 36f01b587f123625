// UPS-MIB enumeration texts: English first, then the language's words of the
// same meaning.
#include "devices/snmp/upsmib_texts.h"

#include <gtest/gtest.h>

namespace lark {
namespace {

TEST(UpsMibTexts, EnglishThenLanguageByMeaning) {
  UpsMibTexts t = SnmpInitUpsMibTexts();
  EXPECT_EQ(t.outputSource[5], "Manual Bypass");
  EXPECT_EQ(t.batteryCharge[0], "OK");
  EXPECT_EQ(t.testResult[6], "Aborted");

  StatusTexts status = DefaultStatusTexts();
  status.tables[static_cast<size_t>(StatusTable::BatteryStatus)][1] = "Faible";
  status.tables[static_cast<size_t>(StatusTable::OutputSource)][1] = "Batterie";
  status.tables[static_cast<size_t>(StatusTable::TestResult)][3] = "";
  LanguageTexts lang = InitialLanguageTexts();
  lang.component[38] = "Eau";  // CP_39
  LocaliseUpsMibTexts(t, status, lang);
  EXPECT_EQ(t.batteryCharge[1], "Faible");
  EXPECT_EQ(t.outputSource[1], "Batterie");
  EXPECT_EQ(t.outputSource[3], "Reducing");  // no localised text of its own
  EXPECT_EQ(t.testResult[3], "Fail");        // empty keeps the one there
  EXPECT_EQ(t.testResult[4], "Battery Fail");
  EXPECT_EQ(t.environment[1], "Eau");
  EXPECT_EQ(t.environment[0], "Security");
}

}  // namespace
}  // namespace lark
