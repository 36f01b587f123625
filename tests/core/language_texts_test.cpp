#include "core/language_texts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <thread>

#include "core/action_tables.h"
#include "core/event_log.h"
#include "core/event_log_sink.h"
#include "core/language_texts_english.h"
#include "core/language_texts_store.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

class LanguageTablesTest : public ::testing::Test {
 protected:
  void language(const std::string& name, const std::string& ini) {
    MakeDirs(dir_.file(name));
    WriteText(dir_.file(name + "/language.ini"), ini);
  }
  test::TempDir dir_;
};

// The missing-key rules, on a change from a full language to a sparse one.
TEST_F(LanguageTablesTest, MissingKeyRules) {
  language("First",
           "[Common]\r\nT_9=Gut\r\nT_11=Sonntag\r\n[Warn-Level]\r\nSerious=Kritisch\r\n"
           "Warning=Warnung\r\n[Component]\r\nCP_1=Umgehung\r\n[General]\r\nG_1=Unbekannt\r\n"
           "[Summary]\r\nS_2=?\r\n[System-Message]\r\nS_1=Gestartet\r\nS_3=Verbunden\r\n"
           "[Status]\r\nS_1=Gut\r\n");
  language("Second",
           "[Common]\r\nT_12=Lundi\r\n[Warn-Level]\r\nSerious=\r\n[System-Message]\r\n"
           "S_1=Demarre\r\nS_3=\r\n");
  LanguageTables tables(dir_.path());
  tables.load("First");
  tables.load("Second");
  auto s = tables.current();
  struct Case {
    const char* what;
    std::string got, want;
  } cases[] = {
      {"[Warn-Level] empty key: English", s->texts.levelNames[0], "Serious"},
      {"[Warn-Level] missing key: English", s->texts.levelNames[1], "Warning"},
      {"[Common] missing key keeps the previous text", std::string(s->texts.commonText(11)),
       "Sonntag"},
      {"[Common] present key replaces", std::string(s->texts.commonText(12)), "Lundi"},
      {"[Common] never given", std::string(s->texts.commonText(13)), ""},
      {"[Status] missing key keeps its text", s->status.text(StatusTable::BatteryCondition, 0),
       "Gut"},
      {"[Status] never given keeps English", s->status.text(StatusTable::BatteryCondition, 1),
       "Weak"},
      {"[Component] missing: empty", std::string(s->texts.componentText(1)), ""},
      {"[General] missing: empty, also over English", s->texts.accessMode[0], ""},
      {"[Summary] missing: empty", s->texts.summary[1], ""},
      {"[System-Message] present", std::string(s->texts.systemMessage(1)), "Demarre"},
      {"[System-Message] empty", std::string(s->texts.systemMessage(3)), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;

  // An empty system message silences its event-log line.
  FakeClock clock;
  EventLog log(clock, [&] { return tables.levelNames(); });
  log.setPath(dir_.path(), "Map");
  log.WriteEventLog(0, kLevelInformation, kSystemEventCode,
                    std::string(s->texts.systemMessage(kMsgDatabaseConnected)));
  EXPECT_FALSE(FileExists(dir_.file("Map/Event.log")));
}

TEST_F(LanguageTablesTest, FolderFoundWithoutCaseAndUnsafeNamesRefused) {
  language("Deutsch", "[Warn-Level]\r\nSerious=Kritisch\r\n");
  LanguageTables tables(dir_.path());
  EXPECT_TRUE(tables.load("DEUTSCH").size() > 0);  // action and para files are missing
  EXPECT_EQ(tables.current()->texts.levelNames[0], "Kritisch");
  EXPECT_EQ(*tables.levelNames(), tables.current()->texts.levelNames);
  for (const char* bad : {"../Deutsch", "", "a/b", "Nowhere"}) {
    std::vector<std::string> problems = tables.load(bad);
    EXPECT_FALSE(problems.empty()) << bad;
    EXPECT_EQ(tables.current()->folder, "") << bad;
    EXPECT_EQ(tables.current()->texts.levelNames[0], "Serious") << bad;
  }
}

TEST(LanguageTextTest, FirstPercentSIsLiteralSubstitution) {
  struct Case {
    const char* text;
    const char* arg;
    const char* want;
  } cases[] = {
      {"Console %s connected", "10.0.0.5", "Console 10.0.0.5 connected"},
      {"%n%d %s %s %x", "A%sB", "%n%d A%sB %s %x"},
      {"no placeholder", "x", "no placeholder"},
      {"", "x", ""},
      {"trailing %", "x", "trailing %"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatLanguageText(c.text, c.arg), c.want) << c.text;
}

TEST(LanguageTextTest, DecimalParsing) {
  struct Case {
    const char* in;
    int32_t want;
  } cases[] = {{"30s", 30},
               {"abc", 0},
               {"  -12x", -12},
               {"+7", 7},
               {"", 0},
               {"-", 0},
               {"2147483647", INT32_MAX},
               {"99999999999", INT32_MAX},
               {"-99999999999", INT32_MIN},
               {"-2147483648", INT32_MIN}};
  for (const auto& c : cases) EXPECT_EQ(ParseDecimalClamped(c.in), c.want) << c.in;
}

TEST_F(LanguageTablesTest, OperatorLogText) {
  language("English", "[Operator-Message]\r\nM_6=Account added\r\nM_117=Last\r\n");
  LanguageTables tables(dir_.path());
  tables.load("English");
  std::vector<std::pair<uint32_t, std::string>> rows;
  bool ready = false;
  tables.WriteOperatorLog(1, 5, "ABC");  // no hooks yet: nothing
  tables.setOperatorLogHooks([&] { return ready; },
                             [&](uint32_t l, std::string_view t) { rows.emplace_back(l, t); });
  tables.WriteOperatorLog(1, 5, "ABC");  // database logging off: nothing
  ready = true;
  tables.WriteOperatorLog(1, 5, "ABC");
  tables.WriteOperatorLog(2, 200, "ABC");
  tables.WriteOperatorLog(0, 116, nullptr);
  tables.WriteOperatorLog(0, 7, std::string(400, 'd').c_str());
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], (std::pair<uint32_t, std::string>{1, "Account added ABC"}));
  EXPECT_EQ(rows[1].second, "ABC");
  EXPECT_EQ(rows[2].second, "Last ");
  EXPECT_EQ(rows[3].second, " " + std::string(254, 'd'));
}

TEST(EnglishFolderTest, ShippedFolderMatchesTheGeneratorAndLoadsCleanly) {
  const std::string shipped = test::SourcePath("data/English");
  for (const auto& [name, text] : EnglishLanguageFiles()) {
    auto file = ReadFile(JoinPath(shipped, name));
    ASSERT_TRUE(file) << name << ": run make_language_folder data/English";
    EXPECT_TRUE(*file == text) << name << " differs: run make_language_folder data/English";
  }
  LanguageTables tables(test::SourcePath("data"));
  EXPECT_EQ(tables.load("English"), std::vector<std::string>{});
  auto s = tables.current();
  EXPECT_EQ(s->texts.levelNames, EnglishLevelNames());
  for (int n = 1; n <= kSystemMessageCount; ++n) EXPECT_NE(s->texts.systemMessage(n), "") << n;
  for (int n = 1; n <= kComponentTextCount; ++n) EXPECT_NE(s->texts.componentText(n), "") << n;
  for (int n = 1; n <= kCommonTextCount; ++n) EXPECT_NE(s->texts.commonText(n), "") << n;
  EXPECT_EQ(FormatLanguageText(s->texts.systemMessage(kMsgConsoleConnected), "1.2.3.4"),
            "Console 1.2.3.4 connected");
  // The English file gives back the English status words, except the output
  // source and battery words: the shipped S_4-S_12 are the console's, and
  // the service shows neither table.
  StatusTexts english = DefaultStatusTexts();
  for (size_t t = 0; t < kStatusTableCount; ++t) {
    auto table = static_cast<StatusTable>(t);
    if (table == StatusTable::OutputSource || table == StatusTable::BatteryStatus) continue;
    for (size_t i = 0; i < StatusTableSize(table); ++i) {
      std::string want = english.text(table, i);
      if (want == "DC Bus" || want == "Inner") want += ":";  // the colon the labels lacked
      EXPECT_EQ(s->status.text(table, i), want) << StatusTableName(table) << " " << i;
    }
  }
  auto actions = tables.actions();
  for (const auto& f : kActionFamilies)
    for (const ActionRow& row : actions->table(f.family)) EXPECT_NE(row.title(), "") << f.word;
  EXPECT_EQ(s->params.table(ParamFamily::Sensor).title(6), "Illumination Day Total");
  EXPECT_EQ(s->params.table(ParamFamily::Sensor).title(5), "Parameter 6");
  // All 54 history columns of the serial UPSs have titles, the second battery's too.
  EXPECT_EQ(s->params.table(ParamFamily::Regular).title(53), "Battery Time Remaining");
  EXPECT_EQ(s->params.table(ParamFamily::Regular).unit(53), "min");
}

// Each family's events in words where the protocol says what the bit is;
// the rest read "Event N". Occurred and recovered rows share the title, the
// SMS text is the message, and every recovery is Information.
TEST(EnglishFolderTest, EventTitlesPerFamily) {
  // Per family, events with their titles ("" for one that keeps "Event N").
  const std::map<ActionFamily, std::map<size_t, std::string>> titles = {
      {ActionFamily::Snmpv4,
       {{0, "No Communication with UPS"},
        {1, "On Battery"},
        {5, "Load on Bypass"},
        {16, "Load on Maintenance Bypass"},
        {24, "Output Off"},
        {28, "Communication Lost"},
        {31, "Sensor Box Contact 1 (Security)"},
        {35, "Battery Need Replace"}}},
      {ActionFamily::Regular,
       {{0, ""},
        {1, "On Battery"},
        {7, "Rectifier Fault"},
        {16, "Economy Mode"},
        {20, "Battery Low"},
        {23, "Load on Maintenance Bypass"},
        {24, "Communication Lost"},
        {25, "Module or Battery Alarm"}}},
      {ActionFamily::RegularPlus,
       {{0, "Module Alarm"},
        {1, "Rectifier Fault 1"},
        {25, "Inverter Fault 14"},
        {27, ""},
        {32, "Battery Alarm 5"}}},
      {ActionFamily::ThreePhase,
       {{0, "On Battery"},
        {9, "Battery Low"},
        {11, "Load on Bypass"},
        {6, "Economy Mode"},
        {13, "Communication Lost"},
        {16, ""}}},
      {ActionFamily::ThreePhasePlus, {{0, "Inverter-R Temp.: Warning"}, {51, "Module Fail"}}},
      {ActionFamily::Mge,
       {{0, "Load Not Protected"},
        {3, "On Battery"},
        {10, "Switch Q3BP Open"},
        {13, "Maintenance PC Connected"},
        {34, "Inverter Over Temperature"},
        {36, "Communication Lost"}}},
      {ActionFamily::Plc, {{0, "Communication Lost"}, {1, "Point On"}}},
      {ActionFamily::Pw,
       {{0, "On Battery"},
        {2, "Output Off"},
        {22, "Breaker CB1 Open"},
        {36, "Battery Low"},
        {38, "Battery Fault 3"},
        {40, "Communication Lost"}}},
      {ActionFamily::Inverter, {{0, ""}, {15, "Communication Lost"}, {16, "Communication Lost"}}},
      {ActionFamily::Sensor, {{0, "Sensor Point 1 Lost"}, {5, "Sensor Point 6 Lost"}}},
      {ActionFamily::Meter, {{0, "Communication Lost"}}},
      {ActionFamily::Gprs,
       {{1, "On Battery"},
        {17, "Inverter Fault"},
        {22, "Load on Bypass"},
        {24, "Communication Lost"},
        {25, ""}}},
  };
  std::map<std::string, std::string> files;
  for (const auto& [name, text] : EnglishLanguageFiles()) files[name] = text;
  for (const ActionFamilyInfo& f : kActionFamilies) {
    Profile file;
    file.loadText(files.at(std::string(f.file)));
    const ActionTable rows =
        ReadActionTable(file, f.family, ActionTable(f.rows), EnglishLevelNames());
    const std::map<size_t, std::string>& named = titles.at(f.family);
    for (size_t event = 0; event < f.rows / 2u; ++event) {
      const ActionRow& on = rows[2 * event];
      const ActionRow& off = rows[2 * event + 1];
      const std::string numbered = "Event " + std::to_string(event + 1);
      if (const auto it = named.find(event); it != named.end()) {
        EXPECT_EQ(on.title(), it->second.empty() ? numbered : it->second) << f.word << " " << event;
      }
      // Every title is either the event's number or words.
      EXPECT_TRUE(on.title() == numbered || !on.title().starts_with("Event")) << on.title();
      EXPECT_EQ(off.title(), on.title());
      EXPECT_NE(on.message(), off.message()) << f.word << " event " << event;
      EXPECT_EQ(on.smsMessage(), on.message());
      EXPECT_EQ(off.smsMessage(), off.message());
      EXPECT_EQ(off.levelIndex(), kLevelInformation);
      if (on.title() == "Communication Lost") {
        EXPECT_EQ(on.levelIndex(), kLevelSerious) << f.word;
      }
      if (on.title() == "On Battery") {
        EXPECT_EQ(on.levelIndex(), kLevelWarning) << f.word;
      }
    }
  }
}

// The Alarm Mask dialogs' boxes read, in English, the titles of the events
// they mask: every box of both templates.
TEST(EnglishFolderTest, AlarmMaskCaptionsAreTheEventTitles) {
  std::map<std::string, std::string> files;
  for (const auto& [name, text] : EnglishLanguageFiles()) files[name] = text;
  Profile language;
  language.loadText(files.at("language.ini"));
  for (const auto& [family, prefix] :
       {std::pair{ActionFamily::Snmpv4, "SNMP_"}, std::pair{ActionFamily::Mge, "TRV5200_"}}) {
    const ActionFamilyInfo& f = ActionFamilyOf(family);
    Profile file;
    file.loadText(files.at(std::string(f.file)));
    const ActionTable rows = ReadActionTable(file, family, ActionTable(f.rows), EnglishLevelNames());
    for (size_t event = 0; event < f.rows / 2u; ++event)
      EXPECT_EQ(language.getString("Dialog-AlarmMask", prefix + std::to_string(event + 1), "", 256),
                rows[2 * event].title())
          << f.word << " " << event;
  }
}

// The literal numbers of argument `arg` of every call of `name` in `text`.
std::vector<int> LiteralArguments(const std::string& text, const std::string& name, size_t arg) {
  std::vector<int> numbers;
  const std::regex call("\\b" + name + "\\(");
  for (auto m = std::sregex_iterator(text.begin(), text.end(), call); m != std::sregex_iterator();
       ++m) {
    size_t i = m->position() + m->length();
    int depth = 0;
    size_t index = 0;
    std::string current;
    for (; i < text.size() && depth >= 0; ++i) {
      const char c = text[i];
      if (c == '(') ++depth;
      if (c == ')') --depth;
      if (depth == 0 && c == ',') {
        ++index;
        continue;
      }
      if (depth >= 0 && index == arg) current += c;
    }
    const std::regex literal("(^|[^\\w.])(\\d+)(?![\\w.])");
    for (auto n = std::sregex_iterator(current.begin(), current.end(), literal);
         n != std::sregex_iterator(); ++n)
      numbers.push_back(std::stoi((*n)[2]));
  }
  return numbers;
}

// The numbers of the console's calls that show a [MessageBox] text or post an
// operation record, as literals in its sources: each needs an English text.
TEST(EnglishFolderTest, EveryMessageTheConsoleReadsHasAnEnglishText) {
  struct Call {
    const char* name;
    size_t arg;
    const char* section;
    int keyOffset;
  };
  const Call calls[] = {
      {"ShowLangMessageBox", 1, "MessageBox", 0},   {"ShowLangMessageDialog", 1, "MessageBox", 0},
      {"showTimedMessage", 0, "MessageBox", 0},     {"NodeLog", 0, "Operator-Message", 1},
      {"AddSequence", 2, "Operator-Message", 1},    {"postLogRequest", 1, "Operator-Message", 1},
      {"PostLogRequest", 1, "Operator-Message", 1},
  };
  Profile english;
  english.loadText(EnglishLanguageFiles().front().second);
  std::vector<std::string> missing;
  size_t found = 0;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(test::SourcePath("console"))) {
    const std::string path = entry.path().string();
    if (!entry.is_regular_file() || (!path.ends_with(".cpp") && !path.ends_with(".h"))) continue;
    const std::string text = *ReadFile(path);
    for (const Call& c : calls)
      for (int n : LiteralArguments(text, c.name, c.arg)) {
        ++found;
        const std::string key = "M_" + std::to_string(n + c.keyOffset);
        const std::string value = english.getString(c.section, key, "", 256);
        if (value.empty() || value.starts_with("Console operation"))
          missing.push_back(std::string(c.section) + " " + key + " (" + c.name + " in " + path +
                            ")");
      }
  }
  EXPECT_GT(found, 10u) << "the scan found no calls: were they renamed?";
  EXPECT_EQ(missing, std::vector<std::string>{});
  // The scan itself: nested calls, a conditional code and a variable one.
  EXPECT_EQ(LiteralArguments("f(g(1, 2), x ? 42 : 41); f(b, code, 3); f(c, 7)", "f", 1),
            (std::vector<int>{42, 41, 7}));
}

// Readers keep their snapshot while the loop thread swaps languages.
TEST_F(LanguageTablesTest, ReadersSeeWholeSnapshotsDuringReloads) {
  language("A", "[Warn-Level]\r\nSerious=AAAAAAAAAAAAAAA\r\n[System-Message]\r\nS_1=a\r\n");
  language("B", "[Warn-Level]\r\nSerious=B\r\n[System-Message]\r\nS_1=b\r\n");
  LanguageTables tables(dir_.path());
  tables.load("A");
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 4; ++r)
    readers.emplace_back([&] {
      while (!stop.load()) {
        auto names = tables.levelNames();
        auto snap = tables.current();
        const std::string& w = (*names)[0];
        if (w != "AAAAAAAAAAAAAAA" && w != "B") ++bad;
        if (snap->texts.systemMessage(1) != "a" && snap->texts.systemMessage(1) != "b") ++bad;
      }
    });
  for (int i = 0; i < 200; ++i) tables.load(i % 2 ? "A" : "B");
  stop = true;
  for (auto& t : readers) t.join();
  EXPECT_EQ(bad.load(), 0);
}

}  // namespace
}  // namespace lark
