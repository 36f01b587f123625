#include "console/dialogs/session/list_tab_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "console/dialogs/console_dialogs.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"

namespace lark {

namespace {
constexpr int kFirstColumnCombo = 1185;
constexpr int kFirstTabBox = 1270;
// The labels "Item1:".."Item9:" as the template numbers them.
constexpr std::array<int, 9> kItemLabels = {1243, 1244, 1245, 1246, 1247, 1248, 1249, 1251, 1601};
constexpr std::array<const char*, 6> kTabNames = {"Summary", "Diagram", "Module", "Schedule", "Configuration",
                                                  "Dry Contact"};
constexpr uint16_t kLogOpened = 19, kLogChanged = 20;
}  // namespace

ListTabDialog::ListTabDialog(ConsoleDialogs& env, QWidget* owner)
    : DialogBase(env, kListTabResource, std::nullopt, owner) {
  auto* grid = new QGridLayout(this);
  auto* items = new QGroupBox("List Items", this);
  SetControlId(items, 1600);
  auto* ig = new QGridLayout(items);
  for (int i = 0; i < 9; ++i) {
    const QString name = QString("Item%1:").arg(i + 1);
    columns_[i] = new QComboBox(items);
    SetControlId(columns_[i], kFirstColumnCombo + i);
    columns_[i]->setAccessibleName(QString("Item%1").arg(i + 1));
    auto* label = new QLabel(name, items);
    SetControlId(label, kItemLabels[i]);
    label->setBuddy(columns_[i]);
    ig->addWidget(label, i, 0);
    ig->addWidget(columns_[i], i, 1);
  }
  auto* iconLabel = new QLabel("Item10:", items);
  SetControlId(iconLabel, 1602);
  auto* iconColumn = new QLabel("Alarm Level", items);
  SetControlId(iconColumn, 1603);
  iconColumn->setAccessibleName("Alarm Level");
  iconLabel->setBuddy(iconColumn);
  ig->addWidget(iconLabel, 9, 0);
  ig->addWidget(iconColumn, 9, 1);
  auto* tabBox = new QGroupBox("Tab Enable", this);
  SetControlId(tabBox, 1252);
  auto* tg = new QGridLayout(tabBox);
  for (int i = 0; i < 6; ++i) {
    tabs_[i] = new QCheckBox(kTabNames[i], tabBox);
    SetControlId(tabs_[i], kFirstTabBox + i);
    tabs_[i]->setAccessibleName(kTabNames[i]);
    tg->addWidget(tabs_[i], i, 0);
  }
  auto* ok = new QPushButton("&OK", this);
  SetControlId(ok, 1);
  ok->setAccessibleName("OK");
  ok->setDefault(true);
  auto* cancel = new QPushButton("&Cancel", this);
  SetControlId(cancel, 2);
  cancel->setAccessibleName("Cancel");
  grid->addWidget(items, 0, 0, 1, 2);
  grid->addWidget(tabBox, 1, 0, 1, 2);
  grid->addWidget(ok, 2, 0);
  grid->addWidget(cancel, 2, 1);
  connect(ok, &QPushButton::clicked, this, [this] { Ok(); });
  connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
}

void ListTabDialog::Init() {
  const ConsoleContext& ctx = env().ctx;
  const MonitorSettings& s = ctx.monitor.settings();
  for (int i = 0; i < 9; ++i) {
    for (int t = 0; t < kEnglishColumnTitles; ++t)
      columns_[i]->addItem(QString::fromStdString(ctx.texts.columns.device[static_cast<size_t>(t)]));
    const int choice = s.columnChoice[static_cast<size_t>(i) + 1];
    columns_[i]->setCurrentIndex(choice >= 0 && choice < kEnglishColumnTitles ? choice : -1);
  }
  for (int i = 0; i < 6; ++i) tabs_[i]->setChecked(s.tabEnabled[static_cast<size_t>(i)]);
  PostLog(0, kLogOpened, "");
}

void ListTabDialog::Ok() {
  ConsoleContext& ctx = env().ctx;
  MonitorSettings& s = ctx.monitor.settings();
  for (int i = 0; i < 9; ++i)
    if (columns_[i]->currentIndex() >= 0) s.columnChoice[static_cast<size_t>(i) + 1] = columns_[i]->currentIndex();
  for (int i = 0; i < 6; ++i) s.tabEnabled[static_cast<size_t>(i)] = tabs_[i]->isChecked();
  ctx.monitor.SaveConsoleSettings(ctx.texts.columns);
  ctx.monitor.Save();
  CallPoint(ctx.points.retitleDeviceColumns);
  CallPoint(ctx.points.rebuildDetailTabs);
  CallPoint(ctx.points.refreshDetailTabs, 1);
  PostLog(1, kLogChanged, "");
  done(1);
}

void RegisterListTabDialog(ConsoleDialogs& env) {
  env.ctx.dialogs.Register(kListTabResource, [&env](QWidget* owner, intptr_t) {
    ListTabDialog d(env, owner);
    return d.Run();
  });
}

}  // namespace lark
