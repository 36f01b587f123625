// The configuration file dialogs and List/Tab Selection in the whole console
// against the built Larkcore, which keeps a second map Other.UMF beside
// Demo.UMF: Open downloads and shows it, Auto-Load UMF reaches the service's
// manager.ini, Rename As and New make their files at the service and retitle
// the window, a second New of the same name is refused; the chosen column
// and tabs reach the real list header and tab control.
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include "console/dialogs/session/list_tab_dialog.h"
#include "console/dialogs/session/umf_dialogs.h"
#include "tests/console/support/larkcore_console.h"

namespace lark {
namespace {

using test::Spin;

void Cancel(DialogBase& d) { static_cast<QPushButton*>(d.Control(2))->click(); }

class UmfDialogsLarkcore : public test::SessionLarkcore {
 protected:
  // Other.UMF: the demo's root and its first group, renamed.
  void BeforeServiceStarts() override {
    std::string other = test::TrimDemoMap(ReadFile(service.file("Demo.UMF")).value(), 2);
    const std::string from = "Title=Server room";
    other.replace(other.find(from), from.size(), "Title=Other room");
    ASSERT_TRUE(WriteFileAtomic(service.file("Other.UMF"), other));
  }
  std::string Caption(const char* section, const char* key) const {
    const Profile lang = Profile(console.file("English/language.ini"));
    return lang.getString(section, "Title", "", 256) + " - " + lang.getString(section, key, "", 1024);
  }
  std::string Title() const { return w->windowTitle().toStdString(); }
  std::vector<std::string> RootTitles() const {
    std::vector<std::string> titles;
    for (int i = 0; i < ctx->tree.root().childCount(); ++i) titles.push_back(ctx->tree.root().child(i)->title());
    return titles;
  }
  std::string AutoLoadAtService() const {
    return Profile(service.file("manager.ini")).getString("Main", "Load File", "missing", 300);
  }
  // Runs `act` once on the modal dialog of type D when it waits for nothing.
  template <class D>
  void OnIdle(std::function<void(D&)> act) {
    onModal = [act](QWidget& m) {
      if (auto* d = dynamic_cast<D*>(&m); d && !d->waiting() && d->Control(2)->isEnabled()) act(*d);
    };
  }
};

TEST_F(UmfDialogsLarkcore, OpenShowsTheOtherMapAndAutoLoadReachesTheService) {
  Start("Auto Connect=1\r\nServer IP=LocalHost\r\n");
  ASSERT_TRUE(Running()) << larkcore->output();
  std::vector<std::string> listed;
  OnIdle<OpenUmfDialog>([&](OpenUmfDialog& d) {
    if (!listed.empty()) return;
    auto* list = dynamic_cast<QComboBox*>(d.Control(1290));
    for (int i = 0; i < list->count(); ++i) listed.push_back(list->itemText(i).toStdString());
    list->setCurrentIndex(list->findText("Other.UMF"));
    d.Open();
  });
  w->SendCommand(IDM_OPEN);
  EXPECT_EQ(ResultOf(kOpenUmfResource), 1);
  EXPECT_EQ(listed, (std::vector<std::string>{"Other.UMF", "Demo.UMF"}));  // newest first
  ASSERT_TRUE(Spin([&] { return link->link().state() == LinkState{7, 0}; }, 30000));
  EXPECT_EQ(ReadFile(console.file("Monitor/Other.UMF")), ReadFile(service.file("Other.UMF")));
  EXPECT_EQ(Title(), "Gridwarden Manager-Other.UMF");
  EXPECT_EQ(RootTitles(), std::vector<std::string>{"Other room"});

  // The start-up map: Other.UMF, then none (the empty first entry).
  for (const std::string& choice : {std::string("Other.UMF"), std::string()}) {
    SCOPED_TRACE(choice);
    bool sent = false;
    std::string caption;
    OnIdle<AutoLoadUmfDialog>([&](AutoLoadUmfDialog& d) {
      if (sent) {
        caption = d.windowTitle().toStdString();
        Cancel(d);
        return;
      }
      auto* list = dynamic_cast<QComboBox*>(d.Control(1290));
      list->setCurrentIndex(list->findText(QString::fromStdString(choice)));
      sent = true;
      d.Ok();
    });
    w->SendCommand(IDM_AUTO_LOAD);
    EXPECT_EQ(caption, Caption("Dialog-AutoLoadUMF", "MSG3"));
    EXPECT_EQ(AutoLoadAtService(), choice);
    EXPECT_EQ(link->link().session().autoLoadMap, choice);
  }
}

TEST_F(UmfDialogsLarkcore, RenameAsAndNewMakeTheirMapsAtTheService) {
  Start("Auto Connect=1\r\nServer IP=LocalHost\r\n");
  ASSERT_TRUE(Running()) << larkcore->output();
  bool renamed = false;
  OnIdle<SaveUmfDialog>([&](SaveUmfDialog& d) {
    if (renamed) return;
    renamed = true;
    d.edit()->setText("Copy");
    d.Ok();
  });
  w->SendCommand(IDM_RENAME_AS);
  EXPECT_EQ(ResultOf(kSaveUmfResource), 1);
  EXPECT_TRUE(FileExists(service.file("Copy.UMF")));
  EXPECT_EQ(link->link().session().currentMap, "Copy.UMF");
  EXPECT_EQ(link->link().session().maps, (std::vector<std::string>{"Copy.UMF", "Other.UMF"}));
  EXPECT_EQ(Title(), "Gridwarden Manager-Copy.UMF");

  results.clear();
  bool created = false;
  OnIdle<NewUmfDialog>([&](NewUmfDialog& d) {
    if (created) return;
    created = true;
    d.edit()->setText("Fresh");
    d.Ok();
  });
  w->SendCommand(IDM_NEW);
  EXPECT_EQ(ResultOf(kNewUmfResource), 1);
  EXPECT_TRUE(FileExists(service.file("Fresh.UMF")));
  EXPECT_EQ(Title(), "Gridwarden Manager-Fresh.UMF");
  EXPECT_TRUE(RootTitles().empty());

  // The same name again: refused by the service, the buttons back.
  results.clear();
  bool sent = false, buttonsBack = false;
  std::string caption;
  OnIdle<NewUmfDialog>([&](NewUmfDialog& d) {
    if (sent) {
      caption = d.windowTitle().toStdString();
      buttonsBack = d.Control(1)->isEnabled();
      Cancel(d);
      return;
    }
    d.edit()->setText("Fresh");
    sent = true;
    d.Ok();
  });
  w->SendCommand(IDM_NEW);
  EXPECT_EQ(ResultOf(kNewUmfResource), 0);
  EXPECT_EQ(caption, Caption("Dialog-NewUMF", "MSG2"));
  EXPECT_TRUE(buttonsBack);
  EXPECT_EQ(Title(), "Gridwarden Manager-Fresh.UMF");
}

TEST_F(UmfDialogsLarkcore, ListTabSelectionRetitlesTheListAndDropsTheTab) {
  Start("Auto Connect=1\r\nServer IP=LocalHost\r\n");
  ASSERT_TRUE(Running()) << larkcore->output();
  const int tabsBefore = w->tabControl()->count();
  for (bool ok : {false, true}) {
    SCOPED_TRACE(ok);
    onModal = [ok](QWidget& m) {
      auto* d = dynamic_cast<ListTabDialog*>(&m);
      if (!d) return;
      auto* first = dynamic_cast<QComboBox*>(d->Control(1185));
      first->setCurrentIndex(first->findText("Model"));
      dynamic_cast<QCheckBox*>(d->Control(1272))->setChecked(false);  // Module
      if (ok)
        d->Ok();
      else
        Cancel(*d);
    };
    w->SendCommand(IDM_LIST_TAB_SELECTION);
    const QAbstractItemModel* header = w->deviceList()->model();
    if (!ok) {
      EXPECT_NE(header->headerData(1, Qt::Horizontal).toString(), "Model");
      EXPECT_EQ(w->tabControl()->count(), tabsBefore);
      continue;
    }
    EXPECT_EQ(header->headerData(1, Qt::Horizontal).toString(), "Model");
    EXPECT_EQ(w->tabControl()->count(), 5);
    const Profile ini = Profile(console.file("monitor.ini"));
    EXPECT_EQ(ini.getString("List", "Item.2", "", 64), "Model");
    EXPECT_EQ(ini.getString("Tab", "Enable.3", "", 64), "Disable");
  }
}

}  // namespace
}  // namespace lark
