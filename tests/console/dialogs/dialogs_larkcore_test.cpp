// The request cycle against the built Larkcore on the demo folder, in its own
// network namespace: a dialog's map-list request and its branch, a replaced
// request whose late reply is never taken, the time-out boundary while the
// service is stopped, and the control-lock refusal naming the other console.
#include <QAction>

#include "console/dialogs/reply_timer.h"
#include "console/link/request_payloads.h"
#include "tests/console/dialogs/dialog_fixture.h"
#include "tests/console/support/larkcore_console.h"
#include "tests/support/link_test_client.h"

namespace lark {
namespace {

using test::Spin;

class DialogsLarkcore : public test::LarkcoreConsole {
 protected:
  void ConsoleFiles() override {
    MakeDirs(console.file("English"));
    WriteFileAtomic(console.file("English/language.ini"), "");
    WriteProfileString(console.file("English/language.ini"), "Dialog-OpenUMF", "MSG5", "Choose a map");
    WriteProfileString(console.file("English/language.ini"), "Dialog-AddObject", "MSG3", "Held by %s");
  }
};

TEST_F(DialogsLarkcore, MapListReplyRunsTheDialogsBranchOnce) {
  int runs = 0;
  env->branches.Register(kLinkCmdGetMapList, 0u, [&](DialogBase& d, const ReplyView& v) {
    ++runs;
    EXPECT_TRUE(v.success);
    d.ShowMessage("MSG5");
  });
  test::TestDialog open(*env, 150, 0);
  ASSERT_TRUE(open.Send(kLinkCmdGetMapList, 0, 10000, {}));
  ASSERT_TRUE(Spin([&] { return runs > 0; }, 10000));
  EXPECT_FALSE(open.waiting());  // its timer is gone: the branch cannot run again
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(open.windowTitle().toStdString(), "Open UMF - Choose a map");
}

TEST_F(DialogsLarkcore, AReplacedRequestsLateReplyIsNeverTaken) {
  std::vector<std::string> ran;
  env->branches.Register(kLinkCmdGetMapList, std::nullopt,
                         [&](DialogBase& d, const ReplyView&) { ran.push_back(d.section()); });
  test::TestDialog first(*env, 150, 0), second(*env, 164, std::nullopt);
  ASSERT_TRUE(first.Send(kLinkCmdGetMapList, 0, 10000, {}));
  ASSERT_TRUE(second.Send(kLinkCmdGetMapList, 0, 10000, {}));
  ASSERT_TRUE(Spin([&] { return !ran.empty(); }, 10000));
  EXPECT_EQ(ran, std::vector<std::string>{"Dialog-AutoLoadUMF"});
  EXPECT_TRUE(first.waiting());
  clock.advance(10001);
  ASSERT_TRUE(Spin([&] { return !first.waiting(); }, 5000));
  EXPECT_EQ(ran.size(), 1u);
}

TEST_F(DialogsLarkcore, StoppedServiceTimesOutOneMillisecondPastAndTheLateReplyStays) {
  int runs = 0;
  env->branches.Register(kLinkCmdGetMapList, std::nullopt, [&](DialogBase&, const ReplyView&) { ++runs; });
  test::TestDialog d(*env, 150, 0);
  ASSERT_EQ(kill(larkcore->pid(), SIGSTOP), 0);
  ASSERT_TRUE(d.Send(kLinkCmdGetMapList, 0, 10000, {}));
  clock.advance(10000);
  OnReplyTimer(d);
  EXPECT_TRUE(d.waiting());
  clock.advance(1);
  ASSERT_EQ(kill(larkcore->pid(), SIGCONT), 0);
  // The reply comes in; the tick that sees it sees the time-out first.
  ASSERT_TRUE(Spin([&] { return link->link().pending().replyFlag == 2; }, 10000));
  if (d.waiting()) OnReplyTimer(d);
  EXPECT_FALSE(d.waiting());
  EXPECT_EQ(runs, 0);
  EXPECT_EQ(link->link().pending().replyFlag, 2);
}

TEST_F(DialogsLarkcore, AnotherConsolesLockRefusesTheAddAndNamesIt) {
  test::LinkTestClient other(8900);
  ASSERT_TRUE(other.connected());
  ASSERT_TRUE(other.request(kLinkCmdHello));
  const auto added = other.request(kLinkCmdAddNode, {kNodeGroup, 0, 0});
  ASSERT_TRUE(added && added->size() > 5);
  ASSERT_EQ((*added)[5], 25) << "the other console's add";
  int result = -1;
  env->branches.Register(kLinkCmdAddNode, std::nullopt, [&](DialogBase& d, const ReplyView& v) {
    result = v.success ? 1 : 0;
    if (!v.success) d.ShowLockRefusal(v.frame);
  });
  test::TestDialog add(*env, 153, 2);
  ASSERT_TRUE(add.Send(kLinkCmdAddNode, 0, 10000, IdPayload(0)));
  ASSERT_TRUE(Spin([&] { return result >= 0; }, 10000));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(add.windowTitle().toStdString(), "Held by 127.0.0.1");
  EXPECT_EQ(add.closingPauseMs(), kLockRefusalPauseMs);
}

TEST_F(DialogsLarkcore, SaveGreysWhenTheServiceDies) {
  QAction* save = w->menus().item(kMenuMain, IDM_SAVE);
  ASSERT_TRUE(Spin([&] { return save->isEnabled(); }, 5000));
  ASSERT_EQ(kill(larkcore->pid(), SIGKILL), 0);
  EXPECT_TRUE(Spin([&] { return !save->isEnabled(); }, 2000));
}

}  // namespace
}  // namespace lark
