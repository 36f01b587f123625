#include "core/action_tables.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>

#include "core/language_texts_store.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(ActionRowTest, GoldenBytes) {
  ActionRow r;
  r.setTitle("T");
  r.setLevel(1);
  r.setMessage("M");
  r.setAudioFile("a.wav");
  r.setSmsMessage("S");
  r.setDelayTime(0x01020304);
  CBytes b = r.bytes();
  ASSERT_EQ(b.size(), 604u);
  EXPECT_EQ(b[0], 'T');
  EXPECT_EQ(b[1], 0);
  EXPECT_EQ(b[65], 1);
  EXPECT_EQ(b[66], 'M');
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[195]), 5), "a.wav");
  EXPECT_EQ(b[456], 'S');
  EXPECT_EQ(b[600], 0x04);
  EXPECT_EQ(b[603], 0x01);
  size_t nonZero = 0;
  for (uint8_t x : b) nonZero += x != 0;
  EXPECT_EQ(nonZero, 1u + 1 + 1 + 5 + 1 + 4);
}

TEST(ActionRowTest, OutsideBytesAreTerminatedAndLevelClampedOnUse) {
  std::vector<uint8_t> raw(604, 'A');
  raw[65] = 9;
  ActionRow r = ActionRow::FromBytes(CBytes(raw));
  EXPECT_EQ(r.title().size(), 64u);
  EXPECT_EQ(r.message().size(), 128u);
  EXPECT_EQ(r.audioFile().size(), 260u);
  EXPECT_EQ(r.smsMessage().size(), 143u);
  EXPECT_EQ(r.level(), 9);
  EXPECT_EQ(r.levelIndex(), 2u);
}

TEST(ActionWireTest, SizesAndLinkSubs) {
  ActionTable t(4);
  t[2].setTitle("x");
  std::vector<uint8_t> wire = ActionTableToWire(t);
  EXPECT_EQ(wire.size(), 2416u);  // the plc table
  auto back = ActionTableFromWire(ActionFamily::Plc, CBytes(wire));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, t);
  EXPECT_FALSE(ActionTableFromWire(ActionFamily::Plc, CBytes(wire).first(2415)));
  EXPECT_FALSE(ActionTableFromWire(ActionFamily::Snmpv4, CBytes(wire)));
  EXPECT_EQ(ActionTables().table(ActionFamily::Snmpv4).size() * kActionRowSize, 43488u);

  struct Case {
    int sub;
    std::optional<ActionFamily> family;
    bool write;
  } cases[] = {{0, ActionFamily::Snmpv4, false}, {1, ActionFamily::Snmpv4, true},
               {13, ActionFamily::Plc, true},    {20, ActionFamily::Gprs, false},
               {21, ActionFamily::Gprs, true},   {22, std::nullopt, false},
               {-1, std::nullopt, false}};
  for (const auto& c : cases) {
    auto got = ActionFamilyForLinkSub(c.sub);
    ASSERT_EQ(got.has_value(), c.family.has_value()) << c.sub;
    if (got) {
      EXPECT_EQ(got->family, *c.family) << c.sub;
      EXPECT_EQ(got->write, c.write) << c.sub;
    }
  }
}

class ActionFileTest : public ::testing::Test {
 protected:
  ActionTable read(const std::string& text, const ActionTable& previous,
                   const LevelNames& levels = EnglishLevelNames()) {
    WriteText(dir_.file("a.ini"), text);
    return ReadActionTable(Profile(dir_.file("a.ini")), ActionFamily::Plc, previous, levels);
  }
  test::TempDir dir_;
};

TEST_F(ActionFileTest, ReaderValuesAndDefaults) {
  ActionTable previous(4);
  for (auto& r : previous) r.setLevel(1);
  const std::string longMessage(200, 'm');
  ActionTable t = read("[Event1]\r\nTitle=Lost\r\nAlarm.Level=warning\r\nMessage=" + longMessage +
                           "\r\nAudio.File=alarm.wav\r\nDelayTime=30s\r\n"
                           "[Event2]\r\nAlarm.Level=Critical\r\nDelayTime=abc\r\n"
                           "[Event3]\r\nAlarm.Level=SERIOUS\r\nDelayTime=99999999999\r\n",
                       previous);
  EXPECT_EQ(t[0].title(), "Lost");
  EXPECT_EQ(t[0].level(), 1);
  EXPECT_EQ(t[0].message(), longMessage.substr(0, 128));
  EXPECT_EQ(t[0].audioFile(), "alarm.wav");
  EXPECT_EQ(t[0].delayTime(), 30);
  EXPECT_EQ(t[1].level(), 1);  // no match keeps the old level
  EXPECT_EQ(t[1].delayTime(), 0);
  EXPECT_EQ(t[2].level(), 0);
  EXPECT_EQ(t[2].delayTime(), INT_MAX);
  // No section Event4: text defaults; the default level word "Information"
  // matches English, and under other level words the old level survives.
  EXPECT_EQ(t[3].title(), "");
  EXPECT_EQ(t[3].message(), "No");
  EXPECT_EQ(t[3].level(), 2);
  EXPECT_EQ(t[3].delayTime(), 0);
  EXPECT_EQ(t[3].smsMessage(), "");
  ActionTable german = read("[Event1]\r\nTitle=x\r\n", previous, {"Kritisch", "Warnung", "Info"});
  EXPECT_EQ(german[0].level(), 1);
  EXPECT_EQ(german[3].level(), 1);
}

TEST_F(ActionFileTest, WriteThenReadGivesTheSameRows) {
  ActionTable rows(4);
  for (size_t i = 0; i < rows.size(); ++i) {
    rows[i].setTitle("Title " + std::to_string(i));
    rows[i].setLevel(static_cast<uint8_t>(i % 3));
    rows[i].setMessage("Message \xC3\xA9 " + std::to_string(i));
    rows[i].setAudioFile(i == 1 ? "" : "sound.wav");
    rows[i].setSmsMessage("sms");
    rows[i].setDelayTime(static_cast<int32_t>(i) * 10 - 5);
  }
  WriteText(dir_.file("action-plc.ini"), "[Event1]\r\nCustom=kept\r\n[Other]\r\nx=1\r\n");
  ASSERT_TRUE(SaveActionTable(dir_.path(), ActionFamily::Plc, rows, EnglishLevelNames()));
  Profile saved(dir_.file("action-plc.ini"));
  EXPECT_EQ(saved.getString("Event1", "Custom", "", 64), "kept");
  EXPECT_EQ(saved.getString("Other", "x", "", 64), "1");
  ActionTable back = ReadActionTable(saved, ActionFamily::Plc, ActionTable(4), EnglishLevelNames());
  EXPECT_EQ(ActionTableToWire(back), ActionTableToWire(rows));
}

TEST_F(ActionFileTest, RawLevelAboveTwoIsWrittenEmpty) {
  ActionTable rows(4);
  rows[0].setLevel(5);
  Profile p(dir_.file("x.ini"));
  WriteActionTable(p, ActionFamily::Plc, rows, EnglishLevelNames());
  EXPECT_TRUE(p.hasKey("Event1", "Alarm.Level"));
  EXPECT_EQ(p.getString("Event1", "Alarm.Level", "?", 64), "");
  EXPECT_EQ(p.getString("Event2", "Alarm.Level", "?", 64), "Serious");
}

TEST(ActionStoreTest, TranslatedLevelWordsAndConsoleWrite) {
  test::TempDir dir;
  MakeDirs(dir.file("Deutsch"));
  WriteText(dir.file("Deutsch/language.ini"), "[Warn-Level]\r\nSerious=Kritisch\r\n");
  WriteText(dir.file("Deutsch/ACTION-PLC.INI"),
            "[Event1]\r\nAlarm.Level=kritisch\r\n[Event2]\r\nAlarm.Level=Warning\r\n");
  LanguageTables tables(dir.path());
  tables.load("deutsch");
  auto actions = tables.actions();
  EXPECT_EQ(actions->table(ActionFamily::Plc)[0].level(), 0);
  EXPECT_EQ(actions->table(ActionFamily::Plc)[1].level(), 1);
  // A missing file gives every row its defaults.
  EXPECT_EQ(actions->table(ActionFamily::Gprs)[5].message(), "No");

  ActionTable rows = actions->table(ActionFamily::Plc);
  rows[0].setTitle("Neu");
  ASSERT_TRUE(tables.replaceActionTable(ActionFamily::Plc, rows));
  EXPECT_EQ(actions->table(ActionFamily::Plc)[0].title(), "");  // the old snapshot stays whole
  EXPECT_EQ(tables.actions()->table(ActionFamily::Plc)[0].title(), "Neu");
  Profile file(dir.file("Deutsch/ACTION-PLC.INI"));
  EXPECT_EQ(file.getString("Event1", "Title", "", 64), "Neu");
  EXPECT_EQ(file.getString("Event1", "Alarm.Level", "", 64), "Kritisch");
  EXPECT_FALSE(FileExists(dir.file("Deutsch/action-plc.ini")));
}

TEST(ActionStoreTest, ServiceTablesReplaceTheirFamiliesInMemoryOnly) {
  test::TempDir dir;
  MakeDirs(dir.file("English"));
  WriteText(dir.file("English/action-plc.ini"), "[Event1]\r\nTitle=Local\r\n");
  LanguageTables tables(dir.path());
  tables.load("English");
  const auto before = tables.actions();
  ActionTable plc(2), gprs(ActionFamilyOf(ActionFamily::Gprs).rows);
  plc[0].setTitle("From service");
  gprs[3].setLevel(2);
  tables.applyActionTables({{ActionFamily::Plc, plc}, {ActionFamily::Gprs, gprs}});
  const auto after = tables.actions();
  EXPECT_EQ(before->table(ActionFamily::Plc)[0].title(), "Local");  // the old snapshot stays whole
  EXPECT_EQ(after->table(ActionFamily::Plc)[0].title(), "From service");
  EXPECT_EQ(after->table(ActionFamily::Plc).size(), 4u);  // a short table keeps the family's rows
  EXPECT_EQ(after->table(ActionFamily::Gprs)[3].level(), 2);
  EXPECT_EQ(after->table(ActionFamily::Regular), before->table(ActionFamily::Regular));
  EXPECT_EQ(ReadFile(dir.file("English/action-plc.ini")).value(), "[Event1]\r\nTitle=Local\r\n");
}

}  // namespace
}  // namespace lark
