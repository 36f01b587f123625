// The Schedule page on a started console: the lists and next actions a
// reload shows, rows added, checked and sent as kept data, the console's
// copy written only on the service's success, and the copies to the group.
#include "console/dialogs/pages/schedule_tab_page.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>

#include "common/bytes.h"
#include "console/dialogs/pages/calendar_widget.h"
#include "console/views/image_canvas.h"
#include "core/schedule_runner.h"
#include "linkserver/link_frame.h"
#include "tests/console/dialogs/pages/settings_page_fixture.h"

namespace lark {
namespace {

struct Fixture : test::SettingsPageConsole {
  Fixture() {
    const char* common[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "None",
                            "Shutdown", "Restart", "General Test", "Deep Battery Test", "Next"};
    for (int i = 0; i < 13; ++i) ctx.texts.language.common[static_cast<size_t>(10 + i)] = common[i];
    setText("Dialog-TabSchedule", "MSG1", "failed");
    setText("Dialog-TabSchedule", "MSG2", "sending");
    setText("Dialog-TabSchedule", "MSG3", "done");
    setText("MessageBox", "M_53", "Copied.");
    p = page<ScheduleTabPage>(kTabSchedule);
    ups = add(5, kNodeSerial, kCommAscii);
    sibling = add(6, kNodeSerial, kCommAscii);
  }
  void set(int id, const std::string& text) { static_cast<QLineEdit*>(p->Control(id))->setText(QString::fromStdString(text)); }
  void choose(int id, int index) { static_cast<QComboBox*>(p->Control(id))->setCurrentIndex(index); }
  void weekly(int weekdayIndex, const std::string& h, const std::string& m, int action) {
    choose(1011, weekdayIndex);
    set(1103, h);
    set(1104, m);
    choose(1012, action);
    p->AddWeekly(false);
  }
  std::vector<std::string> list(int id) {
    std::vector<std::string> out;
    auto* l = static_cast<QListWidget*>(p->Control(id));
    for (int i = 0; i < l->count(); ++i) out.push_back(l->item(i)->text().toStdString());
    return out;
  }
  std::vector<uint8_t> update(ScheduleTable t) {
    queued();
    p->Update(t);
    return headPayload();
  }
  ScheduleTabPage* p = nullptr;
  DeviceNode* ups = nullptr;
  DeviceNode* sibling = nullptr;
};

TEST(ScheduleTabPage, ReloadListsEveryRowAndTheNextActions) {
  Fixture f;
  f.ups->setWeekEntry(0, {2, 8, 0, 1});
  f.ups->setWeekEntry(3, {4, 10, 0, 3});  // behind empty rows
  f.ups->setDateEntry(1, {2026, 5, 11, 0, 0, 0});
  FindNextScheduledActions(*f.ups, f.clock.now());
  f.reload(*f.p, f.ups);
  EXPECT_EQ(f.list(1105), (std::vector<std::string>{"[1]Monday, Shutdown at 08:00", "[3]Wednesday, General Test at 10:00"}));
  EXPECT_EQ(f.list(1106), (std::vector<std::string>{"2026/05/11, None"}));
  EXPECT_EQ(ControlText(f.p->Control(1098)), "Next Shutdown: 2026/05/18 08:00");  // the 11th is cancelled
  EXPECT_EQ(ControlText(f.p->Control(1099)), "Next Restart: None");
  EXPECT_EQ(ControlText(f.p->Control(1268)), "2026/05");
  EXPECT_FALSE(f.p->Control(1088)->isHidden());

  f.selected = nullptr;  // no device: the editing buttons go
  f.w->tabReloadFlag = 1;
  f.p->OnSecondTick();
  EXPECT_EQ(f.w->tabReloadFlag, 0);
  EXPECT_TRUE(f.p->Control(1088)->isHidden());
}

TEST(ScheduleTabPage, RowsAreCheckedAndSentAsKept) {
  Fixture f;
  f.reload(*f.p, f.ups);
  struct Bad {
    const char *h, *m;
  } bad[] = {{"24", "00"}, {"12", "60"}, {"-1", "0"}, {"ab", "0"}};
  for (const Bad& b : bad) {
    f.boxes.clear();
    f.weekly(1, b.h, b.m, 1);
    EXPECT_EQ(f.boxes, (std::vector<std::string>{"Error: Time is out of rang"})) << b.h << ":" << b.m;
  }
  EXPECT_TRUE(f.p->rows().week.empty());
  f.weekly(1, "23", "59", 1);  // Monday Shutdown
  f.weekly(3, "10", "0", 3);   // Wednesday General Test
  EXPECT_EQ(f.list(1105), (std::vector<std::string>{"[1]Monday, Shutdown at 23:59", "[3]Wednesday, General Test at 10:00"}));
  // A dated row: 29 February only in a leap year.
  f.set(1109, "2025"), f.set(1110, "2"), f.set(1111, "29"), f.set(1107, "6"), f.set(1108, "0");
  f.boxes.clear();
  f.p->AddDated(false);
  EXPECT_EQ(f.boxes, (std::vector<std::string>{"Error: Date is out of rang"}));
  f.set(1109, "2024");
  f.p->AddDated(false);
  EXPECT_EQ(f.list(1106), (std::vector<std::string>{"2024/02/29, None"}));

  // Update sends the kept rows: the General Test keeps its class and time.
  const std::vector<uint8_t> block = f.update(kScheduleTableWeekly);
  ASSERT_EQ(block.size(), kScheduleBlockSize);
  EXPECT_EQ(u16At(block, 4), 5);
  EXPECT_EQ(u32At(block, 8), 0u);
  EXPECT_EQ(u32At(block, 12), 2u);
  EXPECT_EQ(std::vector<uint8_t>(block.begin() + 22, block.begin() + 28), (std::vector<uint8_t>{4, 0, 10, 0, 3, 0}));
  EXPECT_FALSE(f.p->Control(1088)->isEnabled());
  EXPECT_EQ(f.ups->weekEntry(0), ScheduleWeekEntry{});  // not before the service took it

  f.reply(kLinkCmdSetSchedule, {57, 1});
  f.p->OnOwnTimer();
  EXPECT_EQ(f.p->status(), "Schedule - done");
  EXPECT_EQ(f.ups->weekEntry(0), (ScheduleWeekEntry{2, 23, 59, 1}));
  EXPECT_EQ(f.ups->weekEntry(1), (ScheduleWeekEntry{4, 10, 0, 3}));
  EXPECT_EQ(f.ups->dateEntry(0), ScheduleDateEntry{});  // the dated table was not sent
  EXPECT_EQ(f.ups->pendingAction(0), (PendingAction{2026, 5, 4, 23, 59}));
  EXPECT_EQ(f.w->tabReloadFlag, 1);
  f.p->OnSecondTick();
  EXPECT_EQ(ControlText(f.p->Control(1098)), "Next Shutdown: 2026/05/04 23:59");
  EXPECT_EQ(f.list(1106), (std::vector<std::string>{"2024/02/29, None"}));  // unsent edits stay

  // Monday the 11th carries the red mark of class 1 (the 4th, today, shows inverted).
  QImage& picture = f.p->calendar()->surface();
  const int w = picture.width(), h = picture.height();
  const CanvasRect mark = CalendarMarkRect(1, w / 7 + 1, 3 * h / 7 + 1, 2 * w / 7);
  EXPECT_EQ(ImageCanvas(&picture).Pixel(mark.left + 2, mark.top + 2), Rgb(255, 0, 0));

  // The 31st row is refused.
  for (int i = 0; i < 28; ++i) f.weekly(0, "1", std::to_string(i), 2);
  f.boxes.clear();
  f.weekly(0, "2", "0", 2);
  EXPECT_EQ(f.boxes, (std::vector<std::string>{"Warning: Too many schedule"}));
  EXPECT_EQ(f.p->rows().week.size(), 30u);
}

TEST(ScheduleTabPage, RefusalKeepsTheConsolesCopyAndApplyCopiesOnSuccess) {
  Fixture f;
  f.ups->setWeekEntry(0, {2, 8, 0, 1});
  DeviceNode* group = nullptr;
  {
    auto g = std::make_unique<DeviceNode>();
    g->setNodeKind(kNodeGroup);
    g->setId(7);
    group = f.ctx.tree.root().addChild(g);
  }
  f.reload(*f.p, f.ups);
  f.p->DeleteWeekly();
  f.update(kScheduleTableWeekly);
  f.reply(kLinkCmdSetSchedule, {58, 1});
  f.p->OnOwnTimer();
  EXPECT_EQ(f.p->status(), "Schedule - failed");
  EXPECT_TRUE(f.p->Control(1088)->isEnabled());
  EXPECT_EQ(f.ups->weekEntry(0), (ScheduleWeekEntry{2, 8, 0, 1}));
  // The minute's reload keeps the edit that did not go through.
  f.reload(*f.p, f.ups);
  EXPECT_TRUE(f.p->rows().week.empty());

  f.queued();
  f.p->Apply(kScheduleScopeGroup);
  const std::vector<uint8_t> block = f.headPayload();
  EXPECT_EQ(u32At(block, 0), 1u);
  EXPECT_EQ(u16At(block, 4), 5);
  f.reply(kLinkCmdSetSchedule, {57, 1});
  f.p->OnOwnTimer();
  EXPECT_EQ(f.boxes, (std::vector<std::string>{"Schedule: Copied."}));
  EXPECT_EQ(f.sibling->weekEntry(0), (ScheduleWeekEntry{2, 8, 0, 1}));
  EXPECT_EQ(group->weekEntry(0), ScheduleWeekEntry{});

  // Apply to all: a device in another group gets it too.
  auto inner = test::MakeDevice(kNodeSerial, kCommAscii);
  inner->setId(8);
  DeviceNode* far = group->addChild(inner);
  f.ctx.tree.indexSubtree(*far);
  f.boxes.clear();
  f.queued();
  f.p->Apply(kScheduleScopeAll);
  EXPECT_EQ(u32At(f.headPayload(), 0), 2u);
  f.reply(kLinkCmdSetSchedule, {57, 1});
  f.p->OnOwnTimer();
  EXPECT_EQ(f.boxes, (std::vector<std::string>{"Schedule: Copied."}));
  EXPECT_EQ(far->weekEntry(0), (ScheduleWeekEntry{2, 8, 0, 1}));
  EXPECT_EQ(f.ups->weekEntry(0), (ScheduleWeekEntry{2, 8, 0, 1}));  // the refused delete never landed
}

}  // namespace
}  // namespace lark
