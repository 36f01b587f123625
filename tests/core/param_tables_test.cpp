#include "core/param_tables.h"

#include <gtest/gtest.h>

#include <fstream>

#include "core/language_texts_store.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(ParamTablesTest, CountsCapacitiesAndMissingKeys) {
  test::TempDir dir;
  struct Case {
    ParamFamily family;
    std::string file;
    size_t loaded;  // entries holding a text afterwards
  } cases[] = {
      {ParamFamily::Sensor, "[Para1]\r\nTitle=Lux\r\n", 7},           // default 20, capacity 7
      {ParamFamily::Pw, "[Main]\r\nNumber=100\r\n", 34},              // clamped to capacity
      {ParamFamily::Inverter, "", 20},                                // default count
      {ParamFamily::Meter, "[Main]\r\nNumber= +3abc\r\n", 3},         // leading number only
      {ParamFamily::Regular, "[Main]\r\nNumber=-4\r\n", 0},           // nothing loaded
      {ParamFamily::Snmpv4, "[Main]\r\nNumber=99999999999\r\n", 48},  // beyond i32 clamps
  };
  for (const auto& c : cases) {
    WriteText(dir.file("p.ini"), c.file);
    ParamTable t = ReadParamTable(Profile(dir.file("p.ini")), c.family, EmptyParamTable(c.family));
    size_t n = 0;
    for (size_t i = 0; i < t.capacity(); ++i) n += t.has(i);
    EXPECT_EQ(n, c.loaded) << ParamFamilyOf(c.family).word;
    EXPECT_EQ(t.capacity(), ParamFamilyOf(c.family).capacity);
  }
}

TEST(ParamTablesTest, ZeroKeepsEarlierEntriesAndMissingUnitIsEmpty) {
  test::TempDir dir;
  WriteText(dir.file("p.ini"),
            "[Main]\r\nNumber=3\r\n[Para1]\r\nTitle=Volt\r\nUnit=V\r\n[Para3]\r\nTitle=Load\r\n");
  ParamTable first = ReadParamTable(Profile(dir.file("p.ini")), ParamFamily::Meter,
                                    EmptyParamTable(ParamFamily::Meter));
  EXPECT_EQ(first.title(0), "Volt");
  EXPECT_EQ(first.unit(0), "V");
  EXPECT_EQ(first.title(2), "Load");
  EXPECT_TRUE(first.has(2));
  EXPECT_EQ(first.unit(2), "");
  EXPECT_FALSE(first.has(3));
  EXPECT_EQ(first.title(99), "");

  WriteText(dir.file("p.ini"), "[Main]\r\nNumber=0\r\n[Para1]\r\nTitle=Other\r\n");
  ParamTable second = ReadParamTable(Profile(dir.file("p.ini")), ParamFamily::Meter, first);
  EXPECT_EQ(second.title(0), "Volt");
  EXPECT_EQ(second.title(2), "Load");
}

TEST(ParamTablesTest, LanguageChangeReloadsAllEightFamilies) {
  test::TempDir dir;
  for (const char* lang : {"English", "Deutsch"}) {
    MakeDirs(dir.file(lang));
    WriteText(dir.file(std::string(lang) + "/language.ini"), "[Common]\r\nT_1=x\r\n");
    for (const auto& f : kParamFamilies)
      WriteText(dir.file(std::string(lang) + "/" + std::string(f.file)),
                "[Main]\r\nNumber=1\r\n[Para1]\r\nTitle=" + std::string(lang) + "\r\n");
  }
  LanguageTables tables(dir.path());
  tables.load("English");
  auto english = tables.current();
  tables.load("Deutsch");
  for (const auto& f : kParamFamilies) {
    EXPECT_EQ(tables.current()->params.table(f.family).title(0), "Deutsch") << f.word;
    EXPECT_EQ(english->params.table(f.family).title(0), "English") << f.word;
  }
}

}  // namespace
}  // namespace lark
