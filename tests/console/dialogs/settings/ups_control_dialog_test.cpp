// UPS Control on a link whose replies the test feeds: the record each send
// carries (and the sends refused before anything is queued), the target
// taken from the map at send time, and the protection switch, whose box
// only keeps a state the service confirmed.
#include "console/dialogs/settings/ups_control_dialog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include "console/dialogs/settings/protection_switch.h"
#include "tests/console/dialogs/dialog_fixture.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

struct Fixture : test::DialogFixture {
  Fixture() {
    RegisterUpsControlDialog(env);
    for (const char* key : {"MSG1", "MSG2", "MSG3", "MSG4", "MSG5", "MSG6"}) setText("Dialog-Control", key, key);
    ctx.messageBox = [this](QWidget*, const std::string& caption, const std::string& text, unsigned) {
      boxes.push_back(caption + ": " + text);
      return int(IDOK);
    };
    setText("MessageBox", "M_26", "restart range");
    setText("MessageBox", "M_71", "minutes");
    group = &test::AddGroup(ctx.tree, ctx.tree.root(), "Room");
    ups = &test::AddSerial(ctx.tree, *group, 1, "COM2", 1);
    ctx.points.mapSelectedNode = [this] { return selected; };
    selected = ups;
  }
  // Every request frame queued so far, oldest first; the queue is left empty.
  std::vector<std::vector<uint8_t>> drain() {
    std::vector<std::vector<uint8_t>> out;
    while (auto head = link.queues().peek(3)) {
      out.push_back(head->data);
      link.queues().dropHead(3);
    }
    return out;
  }
  // The records of the command-26 frames queued so far.
  std::vector<UpsControlRecord> controls() {
    std::vector<UpsControlRecord> out;
    for (const auto& f : drain())
      if (f.size() == 5 + kUpsControlRecordSize && f[4] == kLinkCmdControlDevice)
        out.push_back(DecodeUpsControl(CBytes(f).subspan(5)));
    return out;
  }
  void answer(UpsControlDialog& d, uint8_t command, bool ok) {
    answerPending(command, {static_cast<uint8_t>(ok ? 2 * command - 1 : 2 * command)});
    OnReplyTimer(d);
  }

  DeviceNode* group = nullptr;
  DeviceNode* ups = nullptr;
  DeviceNode* selected = nullptr;
  std::vector<std::string> boxes;
};

std::string Caption(const QWidget& d) { return d.windowTitle().toStdString(); }

// Chosen as a screen reader would, through the accessible action.
void Choose(UpsControlDialog& d, int radio) { test::AccessibleToggle(d.Control(radio)); }
void Type(UpsControlDialog& d, int edit, const char* text) { dynamic_cast<QLineEdit*>(d.Control(edit))->setText(text); }

TEST(UpsControlDialog, EachSendCarriesItsRecordOrIsRefusedBeforeQueueing) {
  struct Case {
    const char* name;
    int radio;
    int edit;
    const char* text;
    int button;
    std::optional<UpsControlRecord> sent;  // empty: refused
    const char* box;
  };
  // Node id and scope are filled per button below.
  const Case cases[] = {
      {"buzzer 0 is 1 s", 1617, 1623, "0", kSendSelected, UpsControlRecord{0, 0, 1617, 0, 1, 0, 0, 0}, ""},
      {"buzzer 150 is 99 s", 1617, 1623, "150", kSendSelected, UpsControlRecord{0, 0, 1617, 0, 99, 0, 0, 0}, ""},
      {"buzzer letters are 1 s", 1617, 1623, "ab", kSendLayer, UpsControlRecord{0, 1, 1617, 0, 1, 0, 0, 0}, ""},
      {"shutdown 5 min", 1618, 1624, "5", kSendSelected, UpsControlRecord{0, 0, 1618, 0, 0, 301, 0, 0}, ""},
      {"restart 65535", 1619, 1626, "65535", kSendAll, UpsControlRecord{0, 2, 1619, 0, 0, 301, 65535, 0}, ""},
      {"test 3 min", 1613, 1622, "3", kSendAll, UpsControlRecord{0, 2, 1613, 180, 0, 0, 0, 0}, ""},
      {"restart 0", 1619, 1626, "0", kSendSelected, std::nullopt, "Control: restart range"},
      {"restart empty", 1619, 1626, "", kSendSelected, std::nullopt, "Control: restart range"},
      {"empty shutdown", 1618, 1624, "", kSendSelected, std::nullopt, "Control: minutes"},
      {"shutdown in letters", 1618, 1624, "five", kSendSelected, std::nullopt, "Control: minutes"},
      {"shutdown beyond 31 bits", 1618, 1624, "35791395", kSendAll, std::nullopt, "Control: minutes"},
      {"test minutes empty", 1613, 1622, "", kSendAll, std::nullopt, "Control: minutes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    UpsControlDialog d(f.env, nullptr);
    d.Init();
    f.drain();
    Choose(d, c.radio);
    Type(d, c.edit, c.text);
    d.SendCommand(c.button);
    const auto sent = f.controls();
    if (!c.sent) {
      EXPECT_TRUE(sent.empty());
      EXPECT_EQ(f.boxes, std::vector<std::string>{c.box});
      EXPECT_FALSE(d.waiting());
      continue;
    }
    UpsControlRecord want = *c.sent;
    want.nodeId = c.button == kSendAll ? 0 : static_cast<uint16_t>(f.ups->id());
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], want);
    EXPECT_EQ(Caption(d), "UPS Control - MSG2");
    EXPECT_FALSE(d.Control(kSendSelected)->isEnabled());
  }
}

TEST(UpsControlDialog, ConfirmedCommandSaysSentAndLogsTheTextBuiltAtSend) {
  Fixture f;
  UpsControlDialog d(f.env, nullptr);
  d.Init();
  Choose(d, 1613);
  Type(d, 1622, "3");
  d.SendCommand(kSendSelected);
  // A later send of another command keeps the earlier test time.
  f.answer(d, kLinkCmdControlDevice, true);
  f.drain();
  Choose(d, 1611);
  d.SendCommand(kSendLayer);
  ASSERT_EQ(d.record().testTime, 180);
  f.answer(d, kLinkCmdControlDevice, true);
  EXPECT_EQ(Caption(d), "UPS Control - MSG3");
  // The service confirms the queueing, not the device's action: "sent".
  EXPECT_EQ(f.boxes, (std::vector<std::string>{"Control: MSG3", "Control: MSG3"}));
  EXPECT_TRUE(d.Control(kSendAll)->isEnabled());
  // The operation log: code 36 (layer) with the command text.
  bool logged = false;
  for (const auto& frame : f.drain())
    if (frame[4] == kLinkCmdEventLog && frame[5] == 0 && u16At(frame, 6 + 4) == 36)
      logged = std::string(reinterpret_cast<const char*>(&frame[6 + 6])).starts_with("10 Seconds Test");
  EXPECT_TRUE(logged);

  // A refusal and a time-out give the buttons back with MSG1.
  d.SendCommand(kSendAll);
  f.answer(d, kLinkCmdControlDevice, false);
  EXPECT_EQ(Caption(d), "UPS Control - MSG1");
  d.SendCommand(kSendAll);
  EXPECT_FALSE(d.Control(kSendAll)->isEnabled());
  f.clock.advance(5001);
  OnReplyTimer(d);
  EXPECT_EQ(Caption(d), "UPS Control - MSG1");
  EXPECT_TRUE(d.Control(kSendAll)->isEnabled());
}

TEST(UpsControlDialog, TheTargetIsTheMapsSelectionAtSendTime) {
  Fixture f;
  UpsControlDialog d(f.env, nullptr);
  d.Init();
  DeviceNode& other = test::AddSerial(f.ctx.tree, *f.group, 0, "COM1", 1);
  f.selected = &other;
  d.SendCommand(kSendSelected);
  auto sent = f.controls();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].nodeId, static_cast<uint16_t>(other.id()));
  f.answer(d, kLinkCmdControlDevice, true);
  // Nothing selected: nothing goes out, for the selected UPS nor its layer.
  f.selected = nullptr;
  for (int button : {kSendSelected, kSendLayer}) {
    d.SendCommand(button);
    EXPECT_TRUE(f.controls().empty());
    EXPECT_EQ(Caption(d), "UPS Control - MSG1");
  }
  d.SendCommand(kSendAll);
  EXPECT_EQ(f.controls().size(), 1u);
}

TEST(UpsControlDialog, ProtectionSwitchKeepsOnlyWhatTheServiceConfirmed) {
  Fixture f;
  UpsControlDialog d(f.env, nullptr);
  d.Init();
  auto* box = d.findChild<ProtectionSwitch*>();
  ASSERT_TRUE(box);
  EXPECT_FALSE(box->isChecked());
  // A mouse click or a screen reader's Toggle action.
  auto click = [&](bool accessible) {
    accessible ? test::AccessibleToggle(box) : box->click();
    const auto frames = f.drain();
    return frames.empty() ? -1 : frames.back()[5];
  };
  struct Step {
    const char* what;
    bool accessible;     // by the accessible action
    int ok;              // 1 confirmed, 0 refused, -1 timed out
    uint8_t sub;         // asked for
    bool flag;           // the console's flag after it
    const char* caption;
  };
  const Step steps[] = {
      {"on, refused", false, 0, 0, false, "UPS Control - MSG4"},
      {"on, timed out", true, -1, 0, false, "UPS Control - MSG1"},
      {"on, confirmed", true, 1, 0, true, "UPS Control - MSG6"},
      {"off, refused", false, 0, 1, true, "UPS Control - MSG4"},
      {"off, confirmed", true, 1, 1, false, "UPS Control - MSG6"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    EXPECT_EQ(click(s.accessible), s.sub);
    EXPECT_FALSE(box->isEnabled());
    if (s.ok >= 0) {
      f.answer(d, kLinkCmdControlPassword, s.ok == 1);
    } else {
      f.clock.advance(5001);
      OnReplyTimer(d);
    }
    EXPECT_EQ(f.ctx.settings.service.controlPasswordEnabled != 0, s.flag);
    EXPECT_EQ(box->isChecked(), s.flag);
    EXPECT_TRUE(box->isEnabled());
    EXPECT_EQ(Caption(d), s.caption);
  }
  // Hidden while user accounts are in use.
  f.ctx.settings.accountsInUse = true;
  UpsControlDialog withAccounts(f.env, nullptr);
  EXPECT_TRUE(withAccounts.findChild<ProtectionSwitch*>()->isHidden());
}

}  // namespace
}  // namespace lark
