// Notify By Service and Notify By Monitor on a fake link over a small tree:
// columns by contact index with an unnamed contact first, a title holding
// " (", a group taking its children's cells, indented entries that cannot
// be removed, the 20/11 block, a full column, and the monitor's Save
// writing monitor.ini and rebinding the mail slots.
#include "console/dialogs/notify/notify_items_dialog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QListWidget>

#include "console/dialogs/notify/notify_request.h"
#include "console/lists/report_list.h"
#include "linkserver/link_replies.h"
#include "tests/console/dialogs/notify/notify_fixture.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

struct Fixture : test::NotifyFixture {
  Fixture() : NotifyFixture("Dialog-NotifyByService", {80, 83}) {
    // Root: "Room" (holding "UPS 1") and the device "UPS (east)".
    room = &test::AddGroup(ctx.tree, ctx.tree.root(), "Room");
    ups1 = &test::AddSerial(ctx.tree, *room, kCommAscii);
    ups1->setTitle("UPS 1");
    east = &test::AddSerial(ctx.tree, ctx.tree.root(), kCommAscii, "COM2");
    east->setTitle("UPS (east)");
    // An unnamed contact first: column 1 is Ann's, though she is the first user.
    ctx.settings.service.contactors[1].name = "Ann";
    ctx.settings.service.contactors[2].name = "Bob";
  }
  static void Choose(QListWidget* l, const std::string& text) {
    for (int i = 0; i < l->count(); ++i)
      if (l->item(i)->text().toStdString() == text) l->setCurrentRow(i);
  }
  DeviceNode* room = nullptr;
  DeviceNode* ups1 = nullptr;
  DeviceNode* east = nullptr;
};

std::vector<int16_t> Ids(const NodeColumn& c) {
  std::vector<int16_t> v;
  for (int16_t id : c)
    if (id >= 0) v.push_back(id);
  return v;
}
std::vector<std::string> Texts(QListWidget* l) {
  std::vector<std::string> v;
  for (int i = 0; i < l->count(); ++i) v.push_back(l->item(i)->text().toStdString());
  return v;
}
std::string Title(const DeviceNode& n) { return n.title() + " (" + std::to_string(n.id()) + ")"; }

TEST(NotifyItemsDialog, ServiceColumnsFollowContactsAndSaveSendsTheItems) {
  Fixture f;
  ServiceSettings read;
  read.recipients[0].name = "Bob";
  read.recipients[0].nodeIds[0] = -1;  // an empty cell first leaves no gap
  read.recipients[0].nodeIds[1] = f.ups1->id();
  read.recipients[1].nodeIds[0] = f.east->id();  // unnamed: no contact takes it
  std::vector<uint8_t> block(kNotificationBlockSize, 0);
  WriteNotificationGroup(read, 10, block);
  block[notify_off::kContactors] = 'C';  // travels back untouched

  NotifyItemsDialog d(f.env, NotifyMode::kService, nullptr);
  d.Init();
  EXPECT_FALSE(d.Control(1015)->isEnabled());
  f.answer(10, block);
  d.OnOwnTimer();
  EXPECT_EQ(d.windowTitle().toStdString(), "Notify By Service - MSG6");
  EXPECT_EQ(Texts(d.users()), (std::vector<std::string>{"Ann", "Bob"}));
  EXPECT_EQ(d.current(), 1);  // Ann's column, not column 0
  EXPECT_EQ(d.columns()->listModel()->columnTitle(0), " ");
  EXPECT_TRUE(Ids(d.column(0)).empty());
  EXPECT_EQ(Ids(d.column(2)), std::vector<int16_t>{f.ups1->id()});
  EXPECT_EQ(d.columns()->listModel()->row(0).cells[2], Title(*f.ups1));

  // A title holding " (" is found by its entry's ID.
  Fixture::Choose(d.restObjects(), "   " + Title(*f.east));
  d.Add();
  Fixture::Choose(d.restObjects(), "   " + Title(*f.ups1));
  d.Add();
  EXPECT_EQ(Ids(d.column(1)), (std::vector<int16_t>{f.east->id(), f.ups1->id()}));
  // The group takes the place of its children.
  Fixture::Choose(d.restObjects(), Title(*f.room));
  d.Add();
  EXPECT_EQ(Ids(d.column(1)), (std::vector<int16_t>{f.east->id(), f.room->id()}));
  EXPECT_EQ(Texts(d.selectedObjects()),
            (std::vector<std::string>{Title(*f.east), Title(*f.room), "   " + Title(*f.ups1)}));
  Fixture::Choose(d.selectedObjects(), "   " + Title(*f.ups1));
  d.Remove();  // a device shown under its group stays
  EXPECT_EQ(Ids(d.column(1)).size(), 2u);
  Fixture::Choose(d.selectedObjects(), Title(*f.east));
  d.Remove();
  EXPECT_EQ(Ids(d.column(1)), std::vector<int16_t>{f.room->id()});

  d.Save();
  EXPECT_EQ(d.windowTitle().toStdString(), "Notify By Service - MSG2");
  const std::vector<uint8_t> sent = f.headBlock();
  ASSERT_EQ(sent.size(), kNotificationBlockSize);
  EXPECT_EQ(sent[notify_off::kContactors], 'C');
  ServiceSettings got;
  ReadNotificationGroup(got, 11, sent);
  EXPECT_EQ(got.recipients[0].name, "");
  EXPECT_EQ(got.recipients[0].nodeIds[0], -1);
  EXPECT_EQ(got.recipients[1].name, "Ann");
  EXPECT_EQ(got.recipients[1].nodeIds[0], f.room->id());
  EXPECT_EQ(got.recipients[1].nodeIds[1], -1);
  EXPECT_EQ(got.recipients[2].name, "Bob");
  EXPECT_EQ(got.recipients[2].nodeIds[0], f.ups1->id());
  f.answer(11, {});
  d.OnOwnTimer();
  EXPECT_EQ(d.windowTitle().toStdString(), "Notify By Service - MSG3");
  EXPECT_EQ(f.ctx.settings.service.recipients[1].name, "Ann");
}

TEST(NotifyItemsDialog, AFullColumnTakesNoMoreAndAFailedWriteGivesSaveBack) {
  Fixture f;
  RecipientItem& full = f.ctx.monitor.settings().monitorItems[3];
  full.name = "Ann";
  for (int i = 0; i < kColumnRows; ++i)
    full.nodeIds[static_cast<size_t>(i)] = static_cast<int16_t>(1000 + i);
  NotifyItemsDialog d(f.env, NotifyMode::kMonitor, nullptr);
  d.Init();
  ASSERT_EQ(d.current(), 1);
  Fixture::Choose(d.restObjects(), "   " + Title(*f.east));
  d.Add();
  EXPECT_EQ(Ids(d.column(1)).size(), 50u);
  EXPECT_EQ(d.column(1)[49], 1049);  // unknown to this console, yet kept
  Fixture::Choose(d.selectedObjects(), "(1049)");
  d.Remove();  // and removable
  EXPECT_EQ(Ids(d.column(1)).size(), 49u);

  NotifyItemsDialog s(f.env, NotifyMode::kService, nullptr);
  s.Init();
  f.answer(10, std::vector<uint8_t>(kNotificationBlockSize, 0));
  s.OnOwnTimer();
  s.Save();
  f.headBlock();
  f.reply(kLinkCmdNotifySettings, {40, 11});
  s.OnOwnTimer();
  EXPECT_EQ(s.windowTitle().toStdString(), "Notify By Service - MSG1");
  EXPECT_TRUE(s.Control(1015)->isEnabled());
}

TEST(NotifyItemsDialog, MonitorSaveWritesMonitorIniAndRebindsTheMailSlots) {
  Fixture f;
  int rebinds = 0;
  f.ctx.points.rebindMonitorRecipients = [&rebinds] { ++rebinds; };
  NotifyItemsDialog d(f.env, NotifyMode::kMonitor, nullptr);
  d.Init();
  Fixture::Choose(d.users(), "Bob");
  Fixture::Choose(d.restObjects(), "   " + Title(*f.ups1));
  d.Add();
  auto* port = static_cast<QComboBox*>(d.Control(10));
  port->setEditText("COM0");
  d.Save();
  EXPECT_EQ(f.boxes, std::vector<std::string>{"M_80"});
  EXPECT_EQ(rebinds, 0);
  port->setEditText("COM6");
  static_cast<QComboBox*>(d.Control(11))->setCurrentIndex(4);
  d.Save();
  EXPECT_EQ(d.result(), 1);
  EXPECT_EQ(rebinds, 1);
  Profile ini;
  ini.loadText(ReadFile(f.dir.file("monitor.ini")).value_or(""));
  EXPECT_EQ(ini.getString("Item3", "Name", "", 64), "Bob");
  EXPECT_EQ(ini.getInt("Item3", "ID.Index1", 0), f.ups1->id());
  EXPECT_EQ(ini.getInt("Item3", "ID.Index2", 0), -1);
  EXPECT_EQ(ini.getString("Item1", "Name", "x", 64), "");
  EXPECT_EQ(ini.getString("Monitor GSM Modem", "Port", "", 32), "COM6");
  EXPECT_EQ(ini.getInt("Monitor GSM Modem", "Baud", 0), 19200);
}

TEST(NotifyItemsDialog, MonitorSaveThatCannotWriteTheFileSaysSo) {
  Fixture f;
  ASSERT_TRUE(MakeDirs(f.dir.file("monitor.ini")));  // a folder where the file goes
  NotifyItemsDialog d(f.env, NotifyMode::kMonitor, nullptr);
  d.Init();
  d.Save();
  EXPECT_EQ(f.boxes, std::vector<std::string>{"M_83"});
}

}  // namespace
}  // namespace lark
