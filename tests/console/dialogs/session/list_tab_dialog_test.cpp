// List/Tab Selection: the column choice and the tab flags go to monitor.ini
// and the list header and tab control follow; Cancel changes nothing.
#include "console/dialogs/session/list_tab_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include "tests/console/dialogs/dialog_fixture.h"

namespace lark {
namespace {

struct Fixture : test::DialogFixture {
  Fixture() {
    ctx.points.retitleDeviceColumns = [this] { steps.push_back("retitle"); };
    ctx.points.rebuildDetailTabs = [this] { steps.push_back("rebuild"); };
    ctx.points.refreshDetailTabs = [this](int full) { steps.push_back("refresh " + std::to_string(full)); };
  }
  std::string ini(const char* section, const std::string& key) {
    return Profile(dir.file("monitor.ini")).getString(section, key, "", 64);
  }
  std::vector<std::string> steps;
};

TEST(ListTabSelection, OkStoresTheChoiceAndRebuildsCancelChangesNothing) {
  for (bool ok : {true, false}) {
    SCOPED_TRACE(ok);
    Fixture f;
    ListTabDialog d(f.env, nullptr);
    d.Init();
    auto* first = dynamic_cast<QComboBox*>(d.Control(1185));
    ASSERT_EQ(first->count(), 17);
    EXPECT_EQ(first->currentIndex(), f.ctx.monitor.settings().columnChoice[1]);
    first->setCurrentIndex(first->findText("Model"));
    ASSERT_GE(first->currentIndex(), 0);
    dynamic_cast<QCheckBox*>(d.Control(1272))->setChecked(false);
    if (ok) {
      d.Ok();
      EXPECT_EQ(d.result(), 1);
      EXPECT_EQ(f.ini("List", "Item.2"), "Model");
      EXPECT_EQ(f.ini("Tab", "Enable.3"), "Disable");
      EXPECT_EQ(f.ini("Tab", "Enable.2"), "Enable");
      EXPECT_EQ(f.steps, (std::vector<std::string>{"retitle", "rebuild", "refresh 1"}));
    } else {
      static_cast<QPushButton*>(d.Control(2))->click();
      EXPECT_EQ(d.result(), 0);
      EXPECT_FALSE(FileExists(f.dir.file("monitor.ini")));
      EXPECT_TRUE(f.ctx.monitor.settings().tabEnabled[2]);
      EXPECT_TRUE(f.steps.empty());
    }
  }
}

}  // namespace
}  // namespace lark
