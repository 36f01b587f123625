// Menu, view and status texts from language.ini, and the dialog localisers.
#include "console/shell/console_texts.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "console/shell/console_menus.h"
#include "console/shell/dialog_texts.h"

namespace lark {
namespace {

Profile Lang(const char* text) {
  Profile p;
  p.loadText(text);
  return p;
}

std::string ItemText(const ConsoleMenus& m, int resource, int id) {
  return m.item(resource, id)->text().toStdString();
}

TEST(ConsoleTextsTest, MenuTextsNeverKeepTheLastLanguage) {
  ConsoleMenus menus;
  ConsoleTexts texts;
  LoadLanguageTexts(texts, Lang("[File-Menu]\nItem2=Neu\nTitle=&Datei\n[Object-Menu]\nItem6=Bewegen\n"),
                    &menus, 0);
  EXPECT_EQ(ItemText(menus, kMenuMain, IDM_NEW), "Neu");
  EXPECT_EQ(menus.topMenu(0)->title().toStdString(), "&Datei");
  EXPECT_EQ(menus.moveMenu()->title().toStdString(), "Bewegen");
  EXPECT_EQ(ItemText(menus, kMenuMain, IDM_CUT), "Cut\tCtrl+X");
  EXPECT_EQ(ItemText(menus, kMenuMapPopup, IDM_DOWNLOAD_UPS_LOG), "Download &UPS Event Log...");
  EXPECT_EQ(ItemText(menus, kMenuMain, IDM_LOGIN), "&Login...");

  LoadLanguageTexts(texts, Lang("[Help-Menu]\nItem1=Info\n"), &menus, 2);
  EXPECT_EQ(ItemText(menus, kMenuMain, IDM_NEW), "&New");
  EXPECT_EQ(menus.topMenu(0)->title().toStdString(), "&File");
  EXPECT_EQ(ItemText(menus, kMenuMain, IDM_LOGIN), "&Logout");  // someone is logged in
  for (int resource : {kMenuMain, kMenuMapPopup, kMenuListPopup}) {
    for (int id = kFirstMenuCommand; id <= kLastMenuCommand; ++id) {
      const QAction* a = menus.item(resource, id);
      if (a == nullptr || id == IDM_LOGIN || (resource == kMenuMain && id == IDM_ABOUT)) continue;
      EXPECT_EQ(a->text().toStdString(), EnglishMenuText(resource, id)) << resource << " " << id;
    }
  }
}

TEST(ConsoleTextsTest, ViewTextsAreCutToTheirBuffers) {
  ConsoleTexts texts;
  LoadLanguageTexts(texts,
                    Lang("[Tab]\nTab2.Title=Schaltbild mit Werten\n[File-Menu]\nItem10=Anmelden...\n"
                         "[List]\nDevice.Title3=Nennleistung in VA (Schein)\n[Warn-Level]\nWarning=Warnung\n"
                         "[Component]\nCP_2=Gleichrichter\n"),
                    nullptr, 0);
  EXPECT_EQ(texts.view.tabTitles[1], "Schaltbild mit ");  // 15 bytes
  EXPECT_EQ(texts.view.tabTitles[0], "Summary");
  EXPECT_EQ(texts.view.login, "Anmelden.");                // 9 bytes
  EXPECT_EQ(texts.columns.device[2], "Nennleistung in VA ");  // 19 bytes
  EXPECT_EQ(texts.language.levelName(1), "Warnung");
  EXPECT_EQ(texts.language.componentText(2), "Gleichrichter");
  EXPECT_EQ(texts.language.componentText(3), "");  // missing: empty
}

TEST(ConsoleTextsTest, StatusTexts) {
  const ConsoleStatusTexts english = BuildStatusTexts();
  EXPECT_EQ(english.text(StatusList::BatteryLevel, 1), "Low");
  EXPECT_EQ(english.text(StatusList::OutputSource, 7), "None");
  EXPECT_EQ(english.size(StatusList::ModularAlarmShort), 19u);
  EXPECT_EQ(english.size(StatusList::ModuleFaults24), 24u);
  EXPECT_FALSE(english.lists[static_cast<int>(StatusList::ModuleStates12)][0].has_value());

  auto differing = [&](const ConsoleStatusTexts& s) {
    int n = 0;
    for (int t = 0; t < kStatusListCount; ++t)
      for (size_t i = 0; i < s.lists[t].size(); ++i) n += s.lists[t][i] != english.lists[t][i];
    return n;
  };
  struct Case {
    const char* lang;
    int changed;
  } cases[] = {
      {"[Common]\nT_1=x\n", 0},               // no [Status]: every default stays
      {"[Status]\nS_33=Bypass aktiv\n", 1},  // one entry
      {"[Status]\nS_33=\n", 0},              // empty keeps the default
      {"[Status]\nS_6=Batterie\n", 2},       // the table and its copy
      {"[Status]\nS_27=Aus\n", 2},           // S_27 fills two tables
      {"[Status]\nS_150=Bereit\n", 1},       // an entry without default gets one
  };
  for (const auto& k : cases) {
    ConsoleStatusTexts s = BuildStatusTexts();
    const Profile lang = Lang(k.lang);
    LoadConsoleStatusTexts(s, lang, lark::LoadLanguageTexts(lang, InitialLanguageTexts()));
    EXPECT_EQ(differing(s), k.changed) << k.lang;
  }

  // [Common] T_9 and the component copy follow the language on every load.
  ConsoleStatusTexts s = BuildStatusTexts();
  const Profile de = Lang("[Common]\nT_9=Normal (de)\n[Component]\nCP_38=Eingang\n");
  LoadConsoleStatusTexts(s, de, lark::LoadLanguageTexts(de, InitialLanguageTexts()));
  EXPECT_EQ(s.text(StatusList::OutputSource, 0), "Normal (de)");
  EXPECT_EQ(s.text(StatusList::OutputSourceCopy, 0), "Normal (de)");
  EXPECT_EQ(s.text(StatusList::ComponentCopy, 0), "Eingang");
  const Profile other = Lang("[Component]\nCP_38=Input\n");
  LoadConsoleStatusTexts(s, other, lark::LoadLanguageTexts(other, InitialLanguageTexts()));
  EXPECT_EQ(s.text(StatusList::ComponentCopy, 0), "Input");
}

TEST(ConsoleTextsTest, ComponentWordsReachTheModuleLabels) {
  ConsoleStatusTexts s = BuildStatusTexts();
  EXPECT_EQ(s.text(StatusList::ModuleLabels16, 0), "Fuse:");
  const Profile de = Lang("[Component]\nCP_25=Sicherung\nCP_23=PFC-Stufe\n");
  ApplyLanguageStatusTexts(s, de, lark::LoadLanguageTexts(de, InitialLanguageTexts()));
  EXPECT_EQ(s.text(StatusList::ModuleLabels16, 0), "Sicherung:");
  EXPECT_EQ(s.text(StatusList::ModuleLabels24, 0), "Sicherung:");
  EXPECT_EQ(s.text(StatusList::ModuleParts, 0), "PFC-Stufe");
  EXPECT_EQ(s.text(StatusList::FaultDescriptions, 0), "Output voltage too high");
}

TEST(DialogTextsTest, LocalisersOnABareDialog) {
  QDialog generate;
  generate.setWindowTitle("Generate Report");
  for (int id : {1053, 1054}) SetControlId(new QLabel("old", &generate), id);
  for (int id : {1015, 1011}) SetControlId(new QPushButton("old", &generate), id);
  std::string title = "unchanged";
  GenerateReportDlgTexts(&generate,
                         Lang("[Dialog-Generate Report]\nTitle=Bericht\nL_1=Von:\nB_2=Schlie\xc3\x9f" "en\nL_2=\n"),
                         &title);
  EXPECT_EQ(title, "Bericht");
  EXPECT_EQ(generate.windowTitle().toStdString(), "Bericht");
  EXPECT_EQ(ControlText(FindControl(&generate, 1053)), "Von:");
  EXPECT_EQ(ControlText(FindControl(&generate, 1054)), "old");  // empty value keeps the text
  EXPECT_EQ(ControlText(FindControl(&generate, 1011)), "Schlie\xc3\x9f" "en");

  QDialog database;
  for (int id : {1119, 1600, 1243, 1244, 1245, 1246, 1247, 1248})
    SetControlId(new QLabel(&database), id);
  for (int id : {1, 1016, 1017, 1018}) SetControlId(new QPushButton(&database), id);
  std::string dbTitle;
  const std::string hint(200, 'h');
  DatabaseDlgTexts(&database, Lang(("[Dialog-Database]\nL_1=" + hint + "\nB_1=OK und verbinden\nB_4=" +
                                    std::string(80, 'b') + "\n").c_str()),
                   &dbTitle);
  EXPECT_EQ(dbTitle, "");  // no Title: the prefix is left alone
  EXPECT_EQ(ControlText(FindControl(&database, 1600)), hint);  // 256-byte read
  EXPECT_EQ(ControlText(FindControl(&database, 1)), "OK und verbinden");
  EXPECT_EQ(ControlText(FindControl(&database, 1018)).size(), 63u);  // 64-byte read
}

}  // namespace
}  // namespace lark
