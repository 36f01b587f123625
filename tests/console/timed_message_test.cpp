// The self-closing message, stepped by its two timer handlers.
#include "console/shell/timed_message.h"

#include <gtest/gtest.h>

#include "console/shell/dialog_texts.h"
#include "console/shell/window_timers.h"

namespace lark {
namespace {

struct TimedMessageTest : ::testing::Test {
  WindowTimers timers;
  TimedMessage msg{nullptr, timers};
  Profile lang;
  TimedMessageTest() { lang.loadText("[MessageBox]\nM_56=Another console is changing\nM_57=Reloaded\n"); }
  void dialogSeconds(int n) {
    for (int i = 0; i < n; ++i) msg.OnDialogTimer();
  }
  void mainSeconds(int n) {
    for (int i = 0; i < n; ++i) msg.OnSecondTick();
  }
  std::string shown(int id) const { return ControlText(FindControl(msg.dialog(), id)); }
};

TEST_F(TimedMessageTest, ClosesReturnsAndRepeatsUntilAnswered) {
  msg.ShowLangMessageDialog(lang, 56, std::string(80, 't'), 60);
  ASSERT_TRUE(msg.isOpen());
  EXPECT_EQ(msg.title().size(), 64u);
  EXPECT_EQ(shown(TimedMessage::kMessageControl), "Another console is changing");
  EXPECT_TRUE(timers.IsSet(msg.dialog(), TimedMessage::kTimerId));
  dialogSeconds(59);
  EXPECT_TRUE(msg.isOpen());
  EXPECT_EQ(shown(TimedMessage::kSecondsControl), "1");
  dialogSeconds(1);
  EXPECT_FALSE(msg.isOpen());  // 60 s unanswered
  EXPECT_FALSE(timers.IsSet(msg.dialog(), TimedMessage::kTimerId));
  EXPECT_EQ(msg.reshowCountdown(), 300);
  for (int round = 0; round < 3; ++round) {
    mainSeconds(299);
    EXPECT_FALSE(msg.isOpen()) << round;
    mainSeconds(1);
    ASSERT_TRUE(msg.isOpen()) << round;  // back 300 s later, for 60 s
    EXPECT_EQ(msg.secondsLeft(), 60);
    dialogSeconds(60);
    EXPECT_FALSE(msg.isOpen());
  }
  mainSeconds(300);
  ASSERT_TRUE(msg.isOpen());
  msg.OnCommand(1);  // OK ends it for good
  EXPECT_FALSE(msg.isOpen());
  mainSeconds(2000);
  EXPECT_FALSE(msg.isOpen());
}

TEST_F(TimedMessageTest, ASecondMessageReplacesTheFirstAtOnce) {
  msg.ShowLangMessageDialog(lang, 56, "Gridwarden Manager", 60);
  dialogSeconds(10);
  msg.ShowLangMessageDialog(lang, 57, "Gridwarden Manager", 120);
  EXPECT_TRUE(msg.isOpen());
  EXPECT_EQ(shown(TimedMessage::kMessageControl), "Reloaded");
  EXPECT_EQ(msg.secondsLeft(), 120);
  msg.ShowLangMessageDialog(lang, 99, "Gridwarden Manager", 5);  // a missing key shows an empty message
  EXPECT_EQ(shown(TimedMessage::kMessageControl), "");
  msg.OnCommand(2);  // Cancel acknowledges too
  mainSeconds(400);
  EXPECT_FALSE(msg.isOpen());
}

}  // namespace
}  // namespace lark
