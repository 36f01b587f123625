// The request cycle and the reply dispatcher on one dialog's timer: its own
// timer per command, refusals, taking only its own reply, the time-out test
// before the reply, the progress step, branch choice, and the time-out table.
#include "console/dialogs/reply_timer.h"

#include <gtest/gtest.h>

#include <QProgressBar>

#include "console/dialogs/timeout_table.h"
#include "console/link/request_payloads.h"
#include "tests/console/dialogs/dialog_fixture.h"

namespace lark {
namespace {

using test::DialogFixture;
using test::TestDialog;

TEST(RequestCycle, EachCommandArmsItsTimerOnTheDialog) {
  const std::set<int> dispatched = {2, 3, 4, 5, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19,
                                    21, 22, 23, 24, 25, 26, 27, 31, 32, 34};
  for (int c = 0; c <= 40; ++c) EXPECT_EQ(UsesReplyDispatcher(uint8_t(c)), dispatched.count(c) > 0) << c;

  DialogFixture f;
  TestDialog d(f.env, 150, 0);
  ASSERT_TRUE(d.Send(kLinkCmdGetMapList, 0, 10000, {}));
  EXPECT_TRUE(f.ctx.timers.IsSet(&d, kReplyTimerId));
  EXPECT_EQ(f.ctx.timers.Period(&d, kReplyTimerId), kReplyPeriodMs);
  EXPECT_TRUE(f.reactor.timers.empty());  // the link arms nothing for a dialog
  ASSERT_TRUE(d.Send(kLinkCmdSetSchedule, 1, 5000, std::vector<uint8_t>(kScheduleBlockBytes)));
  EXPECT_FALSE(f.ctx.timers.IsSet(&d, kReplyTimerId));
  EXPECT_TRUE(f.ctx.timers.IsSet(&d, kReplyWaitTimerId));
  EXPECT_EQ(f.link.pending().command, kLinkCmdSetSchedule);
  // Refused: a row that is not sent, and a payload of the wrong size.
  const uint16_t queued = f.link.queues().count(3);
  EXPECT_FALSE(d.Send(kLinkCmdEventLog, 3, 10000, {}));
  EXPECT_FALSE(d.Send(kLinkCmdAddNode, 0, 10000, std::vector<uint8_t>{1}));
  EXPECT_FALSE(d.waiting());
  EXPECT_EQ(f.link.queues().count(3), queued);
}

struct Recorded {
  int runs = 0;
  std::string who;
  ReplyView last{};
};

TEST(ReplyDispatch, ADialogTakesOnlyItsOwnReplyOnce) {
  DialogFixture f;
  Recorded r;
  f.env.branches.Register(kLinkCmdAddNode, std::nullopt, [&](DialogBase& d, const ReplyView& v) {
    ++r.runs;
    r.who = d.section();
    r.last = v;
  });
  TestDialog first(f.env, 153, 2), second(f.env, 154, 3);
  ASSERT_TRUE(first.Send(kLinkCmdAddNode, 0, 10000, IdPayload(0)));
  f.link.queues().clear();
  ASSERT_TRUE(second.Send(kLinkCmdAddNode, 0, 10000, IdPayload(0)));
  f.reply(kLinkCmdAddNode, {25, 0});
  ASSERT_EQ(f.link.pending().replyFlag, 2);

  OnReplyTimer(first);  // the replaced request's dialog leaves the reply alone
  EXPECT_EQ(r.runs, 0);
  EXPECT_EQ(f.link.pending().replyFlag, 2);
  EXPECT_TRUE(first.waiting());
  OnReplyTimer(second);
  OnReplyTimer(second);
  EXPECT_EQ(r.runs, 1);
  EXPECT_EQ(r.who, "Dialog-CutObject");
  EXPECT_TRUE(r.last.success);
  EXPECT_EQ(r.last.code, 25);
  EXPECT_FALSE(second.waiting());
  EXPECT_EQ(f.link.pending().replyFlag, 1);

  // The first dialog sees only its own time-out.
  f.clock.advance(10001);
  OnReplyTimer(first);
  EXPECT_FALSE(first.waiting());
  EXPECT_EQ(first.windowTitle().toStdString(), "Add Object - ");
  EXPECT_TRUE(first.closing());
}

TEST(ReplyDispatch, TimeOutIsTestedBeforeTheReply) {
  struct Case {
    uint32_t elapsed;
    bool timedOut;
  } cases[] = {{10000, false}, {10001, true}};
  for (const Case& c : cases) {
    DialogFixture f;
    f.clock.setTick(0xFFFFF000);  // the tick count wraps between send and reply
    int runs = 0;
    f.env.branches.Register(kLinkCmdGetMapList, std::nullopt, [&](DialogBase&, const ReplyView&) { ++runs; });
    TestDialog d(f.env, 151, std::nullopt);
    ASSERT_TRUE(d.Send(kLinkCmdGetMapList, 0, 10000, {}));
    f.reply(kLinkCmdGetMapList, {3, ';'});
    f.clock.advance(c.elapsed);
    OnReplyTimer(d);
    EXPECT_EQ(runs, c.timedOut ? 0 : 1) << c.elapsed;
    EXPECT_EQ(f.link.pending().replyFlag, c.timedOut ? 2 : 1) << c.elapsed;
    EXPECT_FALSE(d.waiting());
  }
}

TEST(ReplyDispatch, BranchesForTheIdComeFirstAndNoBranchOnlyStopsTheTimer) {
  DialogFixture f;
  std::vector<std::string> seen;
  f.env.branches.Register(kLinkCmdUserDatabase, std::nullopt, [&](DialogBase&, const ReplyView&) { seen.push_back("any"); });
  f.env.branches.Register(kLinkCmdUserDatabase, 29u, [&](DialogBase&, const ReplyView& v) {
    seen.push_back(v.success ? "login ok" : "login refused");
  });
  TestDialog login(f.env, 246, 29), logout(f.env, 160, 30), plain(f.env, 110, std::nullopt);
  for (TestDialog* d : {&login, &logout}) {
    ASSERT_TRUE(d->Send(kLinkCmdUserDatabase, 8, 5000, {}));
    f.reply(kLinkCmdUserDatabase, {24, 8});
    OnReplyTimer(*d);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"login refused", "any"}));
  ASSERT_TRUE(plain.Send(kLinkCmdStopAllAlarms, 0, 5000, {}));
  f.reply(kLinkCmdStopAllAlarms, {45});
  OnReplyTimer(plain);
  EXPECT_FALSE(plain.waiting());
  EXPECT_EQ(seen.size(), 2u);
}

TEST(ReplyDispatch, ProgressDialogsStepEveryTickWhileTheyWait) {
  DialogFixture f;
  TestDialog d(f.env, 159, 14);
  auto* bar = new QProgressBar(&d);
  SetControlId(bar, kProgressControl);
  d.timeProgress = true;
  f.ctx.openDialog.progress = 0;
  ASSERT_TRUE(d.Send(kLinkCmdStopAllAlarms, 0, 5000, {}));
  for (int i = 0; i < 7; ++i) {
    f.clock.advance(500);
    OnReplyTimer(d);
  }
  EXPECT_EQ(bar->value(), 100);
  EXPECT_TRUE(d.waiting());
}

TEST(TimeoutTable, RowsByIdThenByCommand) {
  struct Case {
    std::optional<uint32_t> id;
    uint8_t command, sub;
    const char* section;  // null: no row
    const char* key;      // null: no status line
    TimeoutAfter after;
    bool link;
  } cases[] = {
      {0, 3, 0, "Dialog-OpenUMF", "MSG1", TimeoutAfter::kButtons, true},
      {1, 4, 0, "Dialog-AutoLoadConfig", "MSG2", TimeoutAfter::kButtons, true},
      {1, 5, 0, "Dialog-AutoLoadConfig", "MSG4", TimeoutAfter::kButtons, true},
      {23, 14, 3, "Dialog-PLC", "MSG1", TimeoutAfter::kButtons, false},
      {23, 14, 4, "Dialog-PLC", "MSG4", TimeoutAfter::kButtons, false},
      {23, 14, 0, "Dialog-PLC", nullptr, TimeoutAfter::kButtons, false},
      {35, 14, 6, "Dialog-AlarmMask", "MSG4", TimeoutAfter::kButtons, false},
      {36, 14, 7, "Dialog-ProGPRS", "MSG1", TimeoutAfter::kClose, false},
      {27, 11, 4, "Dialog-EventLog", "MSG1", TimeoutAfter::kNothing, false},
      {31, 12, 6, "Dialog-Database", "MSG1", TimeoutAfter::kNothing, false},
      {31, 12, 9, "Dialog-Database", "MSG4", TimeoutAfter::kNothing, false},
      {31, 12, 10, "Dialog-Database", "MSG7", TimeoutAfter::kNothing, false},
      {31, 12, 3, "Dialog-Database", nullptr, TimeoutAfter::kNothing, false},
      {33, 12, 1, "Dialog-Database", "MSG1", TimeoutAfter::kButtons, false},
      {32, 12, 14, "Dialog-Access Management", "MSG13", TimeoutAfter::kButtons, false},
      {28, 12, 11, "Dialog-LoginControl", "MSG1", TimeoutAfter::kButtons, false},
      {std::nullopt, 10, 0, "Dialog-OpenUMF", "MSG1", TimeoutAfter::kButtons, false},  // Auto-Load UMF
      {9, 18, 0, "Dialog-RemoveObject", "MSG2", TimeoutAfter::kClose, false},
      {10, 18, 1, "Dialog-RemoveAllObject", "MSG2", TimeoutAfter::kClose, false},
      {std::nullopt, 32, 1, "Dialog-Background", "MSG1", TimeoutAfter::kClose, false},
      {12, 21, 4, "Dialog-AlarmManage", "MSG1", TimeoutAfter::kNothing, false},
      {12, 21, 5, "Dialog-AlarmManage", "MSG4", TimeoutAfter::kNothing, false},
      {13, 22, 1, "Dialog-ParaManage", "MSG1", TimeoutAfter::kButtons, false},
      {19, 22, 2, "Dialog-Generate Report", "MSG1", TimeoutAfter::kClose, false},
      {20, 24, 0, "Dialog-Control", "MSG4", TimeoutAfter::kNothing, false},
      {21, 24, 2, "Dialog-ControlPasswprd", "MSG1", TimeoutAfter::kButtons, false},
      {22, 24, 0, "Dialog-Control", "MSG1", TimeoutAfter::kButtons, false},  // the id first
      {std::nullopt, 31, 1, "Dialog-SyncImages", "MSG2", TimeoutAfter::kClose, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.id ? int(*c.id) : -1) << " " << int(c.command) << "/" << int(c.sub));
    const TimeoutRow* row = FindTimeoutRow(c.id, c.command, c.sub);
    ASSERT_TRUE(row);
    EXPECT_STREQ(row->section, c.section);
    EXPECT_STREQ(TimeoutMessageKey(*row, c.command, c.sub), c.key);
    EXPECT_EQ(row->after, c.after);
    EXPECT_EQ(row->linkLoadFailed, c.link);
  }
  EXPECT_EQ(FindTimeoutRow(std::nullopt, 24, 0), nullptr);  // other dialogs of 24: nothing
  EXPECT_EQ(FindTimeoutRow(std::nullopt, 2, 0), nullptr);
}

TEST(TimeoutTable, ReactionsOnTheDialog) {
  DialogFixture f;
  f.setText("Dialog-OpenUMF", "MSG1", "No answer");
  for (auto [s, sub] : {std::pair<int, int>{1, 0}, {2, 0}, {2, 1}, {2, 2}, {3, 0}, {3, 2}, {4, 0}, {4, 1}})
    ASSERT_TRUE(f.link.requestState(uint8_t(s), uint8_t(sub)));
  TestDialog open(f.env, 150, 0);
  open.init = [](TestDialog& t) { t.EndNow(0); };
  open.Run();
  open.EnableControls({1, 2}, false);
  ASSERT_TRUE(open.Send(kLinkCmdOpenMap, 0, 10000, TextPayload("Demo.UMF")));
  f.clock.advance(10001);
  OnReplyTimer(open);
  EXPECT_EQ(open.windowTitle().toStdString(), "Open UMF - No answer");
  EXPECT_EQ(f.link.state(), (LinkState{4, 3}));
  EXPECT_FALSE(open.Control(1)->isEnabled());
  EXPECT_TRUE(open.Control(2)->isEnabled());

  // Auto-Load UMF says so, gives its buttons back and leaves the session alone.
  TestDialog autoLoad(f.env, 164, std::nullopt);
  autoLoad.EnableControls({1, 2}, false);
  const LinkState before = f.link.state();
  ASSERT_TRUE(autoLoad.Send(kLinkCmdSetAutoLoadMap, 0, 5000, std::vector<uint8_t>(kMapNameBufferBytes)));
  f.clock.advance(5001);
  OnReplyTimer(autoLoad);
  EXPECT_TRUE(autoLoad.windowTitle().toStdString().ends_with(" - No answer")) << autoLoad.windowTitle().toStdString();
  EXPECT_EQ(f.link.state(), before);
  EXPECT_TRUE(autoLoad.Control(1)->isEnabled());
  EXPECT_TRUE(autoLoad.Control(2)->isEnabled());
}

}  // namespace
}  // namespace lark
