// Language Selection on a link whose replies the test feeds: the languages
// offered, the chain of alarm-table pages (swapped in only after the last),
// and the manual put in place through a temp file.
#include "console/dialogs/settings/language_dialog.h"

#include <gtest/gtest.h>

#include <QComboBox>

#include "console/link/request_payloads.h"
#include "tests/console/dialogs/dialog_fixture.h"

namespace lark {
namespace {

struct Fixture : test::DialogFixture {
  Fixture() {
    RegisterLanguageDialog(env);
    setText("Dialog-Language", "MSG1", "language failed");
    setText("Dialog-Language", "MSG2", "changing");
    setText("Dialog-AlarmManage", "MSG1", "read failed");
    setText("Dialog-AlarmManage", "MSG2", "reading");
    MakeDirs(dir.file("Russian"));
    WriteFileAtomic(dir.file("Russian/language.ini"), "[Menu]\n");
    ctx.messageBox = [](QWidget*, const std::string&, const std::string&, unsigned) { return int(IDYES); };
    for (size_t p = 0; p < 11; ++p) link.session().actionTables[p].assign(kActionTablePageBytes[p], 0xEE);
  }
  // Answers the request that waits with a page of `fill` (short by `cut`).
  void page(LanguageDialog& d, uint8_t fill, size_t cut = 0) {
    const uint8_t sub = d.request().sub;
    std::vector<uint8_t> data{41, sub};
    data.resize(2 + kActionTablePageBytes[sub / 2] - cut, fill);
    answerPending(kLinkCmdEventTables, data);
    OnReplyTimer(d);
  }
  void start(LanguageDialog& d) {
    d.Init();
    auto* names = dynamic_cast<QComboBox*>(d.Control(1242));
    names->setCurrentIndex(names->findText("Russian"));
    d.Ok();
    ASSERT_EQ(d.request().command, kLinkCmdSetLanguage);
    ASSERT_EQ(d.request().sub, 3);
    answerPending(kLinkCmdSetLanguage, {53});
    OnReplyTimer(d);
  }
};

TEST(LanguageDialog, OffersTheInstalledLanguagesEnglishAlways) {
  test::TempDir dir;
  EXPECT_EQ(InstalledLanguages(dir.path()), std::vector<int>{0});
  MakeDirs(dir.file("simplified chinese"));
  WriteFileAtomic(dir.file("simplified chinese/Language.ini"), "");
  MakeDirs(dir.file("Russian"));  // no language.ini: not offered
  EXPECT_EQ(InstalledLanguages(dir.path()), (std::vector<int>{0, 2}));
}

TEST(LanguageDialog, TheSameLanguageSendsNothing) {
  Fixture f;
  LanguageDialog d(f.env, nullptr);
  d.Init();
  d.Ok();
  EXPECT_FALSE(d.waiting());
}

TEST(LanguageDialog, AFailureMidwayLeavesTheOldTablesAndLanguage) {
  for (size_t cut : {size_t{0}, size_t{1}}) {
    SCOPED_TRACE(cut ? "a short page" : "a refused page");
    Fixture f;
    LanguageDialog d(f.env, nullptr);
    f.start(d);
    for (int p = 0; p < 5; ++p) f.page(d, 0x11);
    if (cut) {
      f.page(d, 0x11, cut);
    } else {
      f.answerPending(kLinkCmdEventTables, {42, d.request().sub});
      OnReplyTimer(d);
    }
    EXPECT_EQ(d.windowTitle().toStdString(), "Language Selection - read failed");
    EXPECT_FALSE(d.waiting());
    for (size_t p = 0; p < 11; ++p) EXPECT_EQ(f.link.session().actionTables[p][0], 0xEE) << p;
    EXPECT_EQ(f.ctx.settings.service.language, "English");
    EXPECT_TRUE(d.Control(1)->isEnabled());
  }
}

TEST(LanguageDialog, TheLastPageSwapsTheTablesInAndInstallsTheManual) {
  Fixture f;
  WriteFileAtomic(f.dir.file("manual.pdf"), "english manual");
  WriteFileAtomic(f.dir.file("Russian/Corvalune Manager for Windows (Russian).pdf"), "russian manual");
  LanguageDialog d(f.env, nullptr);
  f.start(d);
  for (int p = 0; p < 11; ++p) {
    EXPECT_EQ(d.request().sub, 2 * p);
    f.page(d, static_cast<uint8_t>(p));
  }
  EXPECT_EQ(d.result(), 1);
  for (size_t p = 0; p < 11; ++p) {
    EXPECT_EQ(f.link.session().actionTables[p].size(), kActionTablePageBytes[p]);
    EXPECT_EQ(f.link.session().actionTables[p][0], p);
  }
  EXPECT_EQ(f.ctx.settings.service.language, "Russian");
  EXPECT_EQ(ReadFile(f.dir.file("manual.pdf")).value(), "russian manual");
  // Without a manual for the language the old one stays.
  EXPECT_FALSE(InstallManual(f.dir.path(), 2));
  EXPECT_EQ(ReadFile(f.dir.file("manual.pdf")).value(), "russian manual");
}

}  // namespace
}  // namespace lark
