// The localiser table: every row reaches each of its controls from its own
// section, [Tab] or the common table; absent texts keep the template; and the
// edge cases of the scheme (title only, no title, the Dry Contact digits,
// keys whose control the template lacks, combo entries and their limits).
#include "console/dialogs/dialog_text_table.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <memory>
#include <set>

#include "console/shell/dialog_texts.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

size_t Ids(const LocaliserRow& row) {
  size_t n = 0;
  while (n < row.ids.size() && row.ids[n] != 0) ++n;
  return n;
}

// The dialog as its template holds it: one control per row target with its
// English text; rows without a template text have no control.
std::unique_ptr<QDialog> Template(const LocaliserEntry& e) {
  auto d = std::make_unique<QDialog>();
  d->setWindowTitle(e.caption);
  for (const LocaliserRow& row : e.rows) {
    if (!row.english) continue;
    for (size_t i = 0; i < Ids(row); ++i) {
      auto* l = new QLabel(QString::fromStdString(EnglishText(e.resource, row.ids[i])), d.get());
      SetControlId(l, row.ids[i]);
    }
  }
  return d;
}

std::string Text(const QDialog& d, int id) {
  QWidget* c = FindControl(&d, id);
  return c ? ControlText(c) : "<none>";
}

struct Fixture {
  std::string file() const { return dir.file("language.ini"); }
  void set(const std::string& section, const std::string& key, const std::string& value) {
    WriteProfileString(file(), section, key, value);
  }
  Profile lang() const { return Profile(file()); }
  test::TempDir dir;
  LanguageTexts common;
};

TEST(DialogTextTable, EveryRowReachesItsControls) {
  Fixture f;
  for (int n = 1; n <= kCommonTextCount; ++n) f.common.common[n - 1] = "T" + std::to_string(n);
  for (const LocaliserEntry& e : LocaliserTable())
    for (const LocaliserRow& row : e.rows) {
      const std::string section = row.source == TextSource::kTab ? "Tab" : e.section;
      f.set(section, row.key, section + "|" + row.key);
    }
  const Profile lang = f.lang();
  std::set<int> resources;
  for (const LocaliserEntry& e : LocaliserTable()) {
    SCOPED_TRACE(e.resource);
    EXPECT_TRUE(resources.insert(e.resource).second);
    auto d = Template(e);
    const LocalisedTexts out = Localise(d.get(), e.resource, lang, f.common);
    for (const LocaliserRow& row : e.rows) {
      const std::string own = std::string(e.section) + "|" + row.key;
      std::string want;
      switch (row.source) {
        case TextSource::kOwn: want = own; break;
        case TextSource::kCommon: want = "T" + std::string(row.key + 2); break;
        case TextSource::kTab: want = "Tab|" + std::string(row.key); break;
        case TextSource::kDigits: want = own; break;
        case TextSource::kCombo:
          EXPECT_EQ(out.combo[row.key == std::string("CB_1") ? 0 : 1], own.substr(0, kComboEntryMax));
          continue;
      }
      if (row.key == std::string("Title")) {
        EXPECT_EQ(d->windowTitle().toStdString(), want);
      }
      for (size_t i = 0; i < Ids(row); ++i) {
        const std::string digit = row.digits ? std::string(1, row.digits[i]) : "";
        EXPECT_EQ(Text(*d, row.ids[i]), row.english ? want + digit : "<none>") << row.key << " on " << row.ids[i];
      }
    }
    EXPECT_EQ(out.prefixSet, e.prefixKey != nullptr && !e.rows.empty());
    if (e.prefixKey && out.prefixSet) {
      EXPECT_EQ(out.prefix, std::string(e.section) + "|" + e.prefixKey);
    }
  }
}

TEST(DialogTextTable, AbsentTextsKeepTheTemplate) {
  Fixture f;  // no language file and an empty common table
  for (const LocaliserEntry& e : LocaliserTable()) {
    auto d = Template(e);
    const LocalisedTexts out = Localise(d.get(), e.resource, f.lang(), f.common);
    EXPECT_EQ(d->windowTitle().toStdString(), e.caption);
    EXPECT_FALSE(out.prefixSet);
    for (const LocaliserRow& row : e.rows) {
      for (size_t i = 0; i < Ids(row) && row.english; ++i) {
        EXPECT_EQ(Text(*d, row.ids[i]), EnglishText(e.resource, row.ids[i]));
      }
    }
  }
}

TEST(DialogTextTable, EdgeCasesOfTheScheme) {
  struct Case {
    const char* what;
    int resource;
    std::vector<std::array<std::string, 3>> file;  // section, key, value
    std::vector<std::pair<int, std::string>> want; // control (0 the caption), text
    const char* prefix;                            // null: not set
  } cases[] = {
      {"title only", 153, {{"Dialog-AddObject", "Title", "Objekt"}}, {{0, "Objekt"}}, "Objekt"},
      {"no title", 249, {{"Dialog-ProGroup", "L_1", "Titel:"}}, {{0, "Property - Group"}, {1600, "Titel:"}, {1243, "Location:"}}, nullptr},
      {"no ninth radio key", 244, {{"Dialog-Control", "R_9", "x"}, {"Dialog-Control", "R_8", "Aus"}},
       {{1618, "Aus"}, {1619, "Aus"}, {1620, "Cancel Shutdown UPS"}}, nullptr},
      {"one label on three controls", 248, {{"Dialog-Backup Plan", "L_2", "Keep"}, {"Dialog-Backup Plan", "C_1", "Del"}},
       {{1243, "Keep"}, {1247, "Keep"}, {1601, "Keep"}, {1198, "Del"}, {1200, "Del"}, {1202, "Del"}}, nullptr},
      {"save network: caption only", 162, {{"Dialog-SetSavePolling", "Title", "Netz"}, {"Dialog-SetSavePolling", "L_1", "Port"}},
       {{0, "Netz"}, {1600, "<none>"}}, "Netz"},
      {"control login: no account label", 238, {{"Dialog-LoginControl", "L_2", "Konto:"}}, {{1243, "<none>"}, {1600, "Password: (16 bytes maximum)"}}, nullptr},
      {"contact label with a blank", 252, {{"Dialog-TabDryContact", "L_6", "\"Kontakt \""}},
       {{1229, "Kontakt 1"}, {1234, "Kontakt 6"}, {1238, "Kontakt 1"}, {1239, "Kontakt 2"}}, nullptr},
      {"contact label without", 252, {{"Dialog-TabDryContact", "L_6", "K"}}, {{1229, "K1"}, {1239, "K2"}}, nullptr},
      {"contact label over 30 bytes", 252, {{"Dialog-TabDryContact", "L_6", std::string(40, 'k')}}, {{1230, std::string(30, 'k') + "2"}}, nullptr},
      {"tab page: L_1 is the prefix", 251, {{"Dialog-TabConfig", "L_1", "Empfindlichkeit:"}}, {{1136, "Empfindlichkeit:"}}, "Empfindlichkeit:"},
      {"value over 255 bytes", 110, {{"Dialog-About", "L_1", std::string(300, 'a')}}, {{1600, std::string(255, 'a')}}, nullptr},
  };
  for (const Case& c : cases) {
    Fixture f;
    for (const auto& [section, key, value] : c.file) f.set(section, key, value);
    auto d = Template(*FindLocaliser(c.resource));
    const LocalisedTexts out = Localise(d.get(), c.resource, f.lang(), f.common);
    for (const auto& [id, text] : c.want)
      EXPECT_EQ(id == 0 ? d->windowTitle().toStdString() : Text(*d, id), text) << c.what << " on " << id;
    EXPECT_EQ(out.prefixSet, c.prefix != nullptr) << c.what;
    if (c.prefix) {
      EXPECT_EQ(out.prefix, c.prefix) << c.what;
    }
  }
}

}  // namespace
}  // namespace lark
