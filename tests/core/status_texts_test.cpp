#include "core/status_texts.h"

#include <gtest/gtest.h>

#include <fstream>

#include "core/language_texts_english.h"
#include "core/language_texts_store.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

size_t CountDifferences(const StatusTexts& a, const StatusTexts& b) {
  size_t n = 0;
  for (size_t t = 0; t < kStatusTableCount; ++t)
    for (size_t i = 0; i < a.tables[t].size(); ++i) n += a.tables[t][i] != b.tables[t][i];
  return n;
}

TEST(StatusTextsTest, EnglishDefaultsAsTheyStand) {
  StatusTexts s = DefaultStatusTexts();
  EXPECT_EQ(s.totalTexts(), kStatusTextTotal);
  EXPECT_EQ(s.text(StatusTable::FaultWords1, 1), "Over Waning");
  EXPECT_EQ(s.text(StatusTable::ModularAlarm, 18), "Bpass Static Switch Fail");
  EXPECT_EQ(s.text(StatusTable::FaultLabels2, 9), "DC Bus");
  EXPECT_EQ(s.text(StatusTable::FaultLabels7, 2), "Cabinet.:");
  EXPECT_EQ(s.text(StatusTable::UpsAlarm, 20), "");  // out of range reads empty
  for (int k = 1; k <= 10; ++k)
    EXPECT_EQ(StatusTableSize(FaultLabels(k)), StatusTableSize(FaultWords(k))) << k;
  EXPECT_EQ(EnglishStatusKeys().size(), 180u - 13u);  // S_106 and S_147..S_158 feed nothing
}

TEST(StatusTextsTest, ComponentAndCommonRules) {
  test::TempDir dir;
  LanguageTexts lang = InitialLanguageTexts();
  lang.component[25] = "Temp";     // CP_26
  lang.component[26] = "DC Bus";   // CP_27
  lang.component[0] = "Umgehung";  // CP_1
  StatusTexts s = DefaultStatusTexts();
  WriteText(dir.file("l.ini"), "");
  LocaliseStatusTexts(s, Profile(dir.file("l.ini")), lang);
  EXPECT_EQ(s.text(StatusTable::FaultLabels1, 1), "Temp:");
  EXPECT_EQ(s.text(StatusTable::FaultLabels4, 1), "Temp:");
  EXPECT_EQ(s.text(StatusTable::FaultLabels9, 0), "Temp:");
  EXPECT_EQ(s.text(StatusTable::FaultLabels2, 9), "DC Bus:");
  EXPECT_EQ(s.text(StatusTable::ComponentName, 4), "Umgehung");
  EXPECT_EQ(s.text(StatusTable::ComponentName, 0), "");  // empty CP_23
  EXPECT_EQ(s.text(StatusTable::FaultLabels3, 0), ":");  // empty CP_8
  EXPECT_EQ(s.text(StatusTable::ModularAlarm, 19), "General Alarm");
  EXPECT_EQ(s.text(StatusTable::ComponentName, 5), "");
  EXPECT_EQ(s.text(StatusTable::FaultLabels1, 9), "");  // no source
  // No T_9 in any language so far: the three "Normal" entries stay.
  EXPECT_EQ(s.text(StatusTable::OutputSource, 0), "Normal");
  lang.common[8] = "Normaal";
  LocaliseStatusTexts(s, Profile(dir.file("l.ini")), lang);
  EXPECT_EQ(s.text(StatusTable::OutputSource, 0), "Normaal");
  EXPECT_EQ(s.text(StatusTable::BatteryStatus, 0), "Normaal");
  EXPECT_EQ(s.text(StatusTable::NormalReducedLow, 0), "Normaal");
  EXPECT_EQ(s.text(StatusTable::BatteryStatus, 7), "Normal");
}

TEST(StatusTextsTest, OnlyS33ChangesExactlyOneText) {
  test::TempDir dir;
  std::string english;
  for (const auto& [name, text] : EnglishLanguageFiles())
    if (name == "language.ini") english = text;
  // The English file with its [Status] section cut down to S_33.
  size_t status = english.find("[Status]");
  size_t next = english.find("\r\n[", status + 1);
  std::string translated =
      english.substr(0, status) + "[Status]\r\nS_33=Umgehung aktiv" + english.substr(next);
  MakeDirs(dir.file("English"));
  MakeDirs(dir.file("Deutsch"));
  WriteText(dir.file("English/language.ini"), english);
  WriteText(dir.file("Deutsch/language.ini"), translated);

  LanguageTables tables(dir.path());
  tables.load("English");
  auto before = tables.current();
  tables.load("Deutsch");
  auto after = tables.current();
  EXPECT_EQ(CountDifferences(before->status, after->status), 1u);
  EXPECT_EQ(after->status.text(StatusTable::UpsAlarm, 1), "Umgehung aktiv");
  EXPECT_EQ(after->status.totalTexts(), kStatusTextTotal);
}

}  // namespace
}  // namespace lark
