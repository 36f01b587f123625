// The dialog base: status lines, the progress bar, closing after a pause
// while the window thread keeps running, Esc and close at any time, the
// control-lock refusal, and the registry the shell opens dialogs through.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QProgressBar>
#include <QTimer>

#include "linkserver/control_lock.h"
#include "tests/console/dialogs/dialog_fixture.h"

namespace lark {
namespace {

using test::DialogFixture;
using test::TestDialog;

std::string Caption(const QWidget& w) { return w.windowTitle().toStdString(); }

TEST(DialogBase, StatusLineIsPrefixDashMessageWithinItsBuffers) {
  DialogFixture f;
  const std::string e(130, 'e');
  std::string accents;
  for (int i = 0; i < 70; ++i) accents += "\xC3\xA9";  // 140 bytes of two-byte characters
  f.setText("Dialog-CutObject", "Title", "Cut Object");
  f.setText("Dialog-CutObject", "MSG1", "Done");
  f.setText("Dialog-CutObject", "MSG2", accents);
  f.setText("Dialog-ProGroup", "Title", std::string(100, 'T'));
  f.setText("Dialog-ProGroup", "MSG1", e);
  struct Case {
    int resource;
    const char* key;
    std::string caption;
  } cases[] = {
      {154, "MSG1", "Cut Object - Done"},
      {154, "MSG9", "Cut Object - "},  // a missing key
      // The message is cut at 127 bytes, between characters.
      {154, "MSG2", "Cut Object - " + accents.substr(0, 126)},
      // A 63-byte prefix and a 127-byte message fit the 255-byte caption.
      {249, "MSG1", std::string(63, 'T') + " - " + e.substr(0, 127)},
  };
  for (const Case& c : cases) {
    TestDialog d(f.env, c.resource, 1);
    d.init = [](TestDialog& t) { t.EndNow(0); };
    d.Run();
    d.ShowMessage(c.key);
    EXPECT_EQ(Caption(d), c.caption) << c.resource << " " << c.key;
    EXPECT_EQ(f.ctx.openDialog.prefix, c.caption.substr(0, c.caption.find(" - ")));
  }
}

TEST(DialogBase, ProgressBarIsFullFromTheSixthTick) {
  DialogFixture f;
  TestDialog d(f.env, 153, 2);
  auto* bar = new QProgressBar(&d);
  SetControlId(bar, kProgressControl);
  f.ctx.openDialog.progress = 0;
  std::vector<int> seen;
  for (int i = 0; i < 8; ++i) {
    d.StepProgress();
    seen.push_back(bar->value());
  }
  EXPECT_EQ(seen, (std::vector<int>{16, 33, 50, 66, 83, 100, 100, 100}));
}

TEST(DialogBase, InitResultEndsRunUnshown) {
  DialogFixture f;
  TestDialog d(f.env, 153, 2);
  bool shown = false;
  d.init = [&](TestDialog& t) {
    t.EndNow(0);
    shown = t.isVisible();
  };
  EXPECT_EQ(d.Run(), 0);
  EXPECT_FALSE(shown);
  EXPECT_FALSE(d.isVisible());
  EXPECT_EQ(f.ctx.dialogs.runningCount(), 0u);
}

// The pause lets the window thread run: a 50 ms probe fires in it. Esc in
// the pause ends the dialog with the pause's result at once.
TEST(DialogBase, PausesKeepTheWindowThreadRunning) {
  struct Case {
    int result;
    bool escape;
  } cases[] = {{0, false}, {1, false}, {1, true}};
  for (const Case& c : cases) {
    DialogFixture f;
    TestDialog d(f.env, 153, 2);
    int probes = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
      ++probes;
      if (c.escape && probes == 1)
        QCoreApplication::postEvent(&d, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    });
    d.init = [&](TestDialog& t) {
      t.CloseAfter(c.escape ? 60000 : kFailurePauseMs, c.result);
      probe.start(50);
    };
    EXPECT_EQ(d.Run(), c.result);
    EXPECT_GE(probes, 1);
    EXPECT_FALSE(d.Control(1)->isEnabled());
    EXPECT_FALSE(d.Control(2)->isEnabled());
  }
}

// Esc and Close end the dialog whatever waits: with Cancel off and a
// request out, the request is given up and its late reply taken by nobody.
TEST(DialogBase, EscapeAndCloseEndTheDialogEvenWhileARequestWaits) {
  struct Case {
    bool cancelEnabled;
    bool waiting;
  } cases[] = {{true, false}, {true, true}, {false, false}, {false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.cancelEnabled << c.waiting);
    DialogFixture f;
    TestDialog d(f.env, 153, 2);
    bool stillOpen = false;
    d.init = [&](TestDialog& t) {
      t.EnableControls({2}, c.cancelEnabled);
      if (c.waiting) {
        ASSERT_TRUE(t.Send(kLinkCmdAddNode, 0, 10000, std::vector<uint8_t>{0, 1}));
      }
      QTimer::singleShot(0, &t, [&t] {
        QCoreApplication::postEvent(
            &t, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
      });
      // A marker after it: the dialog would still be open when it arrives.
      QTimer::singleShot(20, &t, [&] {
        stillOpen = t.isVisible();
        t.done(7);
      });
    };
    EXPECT_EQ(d.Run(), 0);
    EXPECT_FALSE(stillOpen);
    EXPECT_FALSE(d.waiting());  // the reply timer dies with the dialog's end
    if (c.waiting && !c.cancelEnabled) {
      EXPECT_NE(f.link.pending().state, 1) << "the request is given up";
    }
    // The window's close button goes the same way.
    TestDialog e(f.env, 153, 2);
    e.init = [&](TestDialog& t) {
      t.EnableControls({2}, c.cancelEnabled);
      if (c.waiting) {
        ASSERT_TRUE(t.Send(kLinkCmdAddNode, 0, 10000, std::vector<uint8_t>{0, 1}));
      }
      QTimer::singleShot(0, &t, [&t] { t.close(); });
      QTimer::singleShot(20, &t, [&t] { t.done(7); });
    };
    EXPECT_EQ(e.Run(), 0);
  }
}

std::vector<uint8_t> RefusalReply(uint8_t command, bool active, const std::string& holder, size_t cut = 0) {
  std::vector<uint8_t> data{static_cast<uint8_t>(2 * command)};  // the refusal code
  if (LinkReplyEchoesSub(command)) data.push_back(0);
  std::vector<uint8_t> lock(kControlLockSize, 0);
  lock[0] = active ? 1 : 0;
  std::copy(holder.begin(), holder.end(), lock.begin() + kLockOffAddress);
  data.insert(data.end(), lock.begin(), lock.end() - cut);
  return test::LinkFrameOf(kLinkKindReply, command, data);
}

TEST(DialogBase, LockRefusalNamesTheHolderAsText) {
  struct Case {
    const char* msg3;
    std::vector<uint8_t> reply;
    std::string caption;  // empty: unchanged
    int pauseMs;
  } cases[] = {
      {"%s%s%n", RefusalReply(13, true, "127.0.0.1"), "127.0.0.1%s%n", 2000},
      {"Held by %s now", RefusalReply(16, true, "10.1.2.3"), "Held by 10.1.2.3 now", 2000},
      {"100%", RefusalReply(14, true, "127.0.0.1"), "100%", 2000},
      {"", RefusalReply(13, true, "127.0.0.1"), "", 2000},
      // A holder text that fills its 20 bytes stops there.
      {"%s", RefusalReply(13, true, std::string(20, '9')), std::string(20, '9'), 2000},
      {"%s", RefusalReply(13, false, "127.0.0.1"), "", 1000},
      {"%s", RefusalReply(13, true, "127.0.0.1", 1), "", 1000},  // a record one byte short
      {"%s", test::LinkFrameOf(kLinkKindReply, 13, {26}), "", 1000},
  };
  for (const Case& c : cases) {
    DialogFixture f;
    f.setText("Dialog-AddObject", "MSG3", c.msg3);
    TestDialog d(f.env, 153, 2);
    d.setWindowTitle("before");
    int pause = 0;
    d.init = [&](TestDialog& t) {
      t.ShowLockRefusal(c.reply);
      pause = t.closingPauseMs();
      t.EndNow(t.closing() ? 0 : -5);
    };
    EXPECT_EQ(d.Run(), 0) << c.msg3;
    EXPECT_EQ(Caption(d), c.caption.empty() && c.pauseMs == 1000 ? "before" : c.caption) << c.msg3;
    EXPECT_EQ(pause, c.pauseMs) << c.msg3;
  }
}

TEST(DialogRegistry, OpensBuiltDialogsAndAnswersNotBuiltForTheRest) {
  DialogFixture f;
  std::vector<DialogRegistry::Call> calls;
  f.ctx.dialogs.opened = [&](const DialogRegistry::Call& c) { calls.push_back(c); };
  QWidget owner;
  f.ctx.dialogs.Register(110, [](QWidget*, intptr_t param) { return static_cast<int>(param) + 1; });
  EXPECT_EQ(f.ctx.dialogs.Open(110, &owner, 4), 5);
  EXPECT_EQ(f.ctx.dialogs.Open(111, &owner), kDialogNotBuilt);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].resource, 111);
  EXPECT_EQ(calls[1].owner, &owner);
  EXPECT_EQ(calls[1].result, kDialogNotBuilt);

  // OpenLater runs from the loop, not from the caller; a lost owner opens nothing.
  int later = 0;
  auto gone = std::make_unique<QWidget>();
  f.ctx.dialogs.OpenLater(110, &owner, 1, [&](int r) { later = r; });
  f.ctx.dialogs.OpenLater(110, gone.get(), 1, [&](int) { later = -100; });
  gone.reset();
  EXPECT_EQ(later, 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(later, 2);
}

TEST(DialogRegistry, QueuedOpensDieWithTheRegistry) {
  int opened = 0;
  {
    DialogRegistry r;
    r.Register(146, [&](QWidget*, intptr_t) { return ++opened; });
    r.OpenLater(146, nullptr);
  }
  QCoreApplication::processEvents();
  EXPECT_EQ(opened, 0);
}

TEST(DialogRegistry, RunningDialogsEndBeforeTheMainWindowGoes) {
  DialogFixture f;
  TestDialog outer(f.env, 153, 2);
  TestDialog inner(f.env, 154, 3);
  int innerResult = -1;
  outer.init = [&](TestDialog&) {
    QTimer::singleShot(0, [&] {
      inner.init = [&](TestDialog&) { QTimer::singleShot(0, [&] { f.ctx.dialogs.EndRunningDialogs(); }); };
      innerResult = inner.Run();
    });
  };
  EXPECT_EQ(outer.Run(), 0);
  EXPECT_EQ(innerResult, 0);
  EXPECT_EQ(f.ctx.dialogs.runningCount(), 0u);
}

}  // namespace
}  // namespace lark
