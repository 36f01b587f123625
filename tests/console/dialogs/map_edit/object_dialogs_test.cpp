// The object dialogs on a fake link: the request each sends as it opens, the
// shared progress bar, and how the answer, a refusal naming the holder of the
// control lock, and the time-out end them.
#include <gtest/gtest.h>

#include <QProgressBar>

#include "console/dialogs/map_edit/object_dialogs.h"
#include "console/map/map_module.h"
#include "console/shell/dialog_registry.h"
#include "tests/console/dialogs/dialog_fixture.h"
#include "tests/console/support/console_peers.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

struct Fixture : test::DialogFixture {
  Fixture() {
    for (const char* section :
         {"Dialog-AddObject", "Dialog-CutObject", "Dialog-PasteObject", "Dialog-RemoveObject", "Dialog-RemoveAllObject"})
      for (const char* key : {"MSG1", "MSG2"}) setText(section, key, key);
    setText("Dialog-AddObject", "MSG3", "Held by %s");
    ctx.tree.setCurrentParent(ctx.tree.root());
    group = Tree_CreateNode(ctx.tree, kNodeGroup, "0.0.0.0");
    ctx.tree.setCurrentParent(*group);
    for (int i = 0; i < 2; ++i) device = Tree_CreateNode(ctx.tree, kNodeSnmp, "0.0.0.0");
    ctx.points.mapCurrentGroup = [this] { return group; };
    ctx.points.mapSelectedNode = [this] { return device; };
    InstallObjectDialogs(env, map);
  }
  // Bytes 4 on of the frame the link queued for the dialog's request.
  std::vector<uint8_t> sent() {
    while (auto head = link.queues().peek(3)) {
      if (head->requestId == link.pending().sequence && head->requestId != 0)
        return std::vector<uint8_t>(head->data.begin() + 4, head->data.end());
      link.queues().dropHead(3);
    }
    return {};
  }
  ConsoleMap map{ctx};
  DeviceNode* group = nullptr;
  DeviceNode* device = nullptr;
};

std::string Caption(const QWidget& d) { return d.windowTitle().toStdString(); }
int Bar(const DialogBase& d) { return dynamic_cast<QProgressBar*>(d.Control(kProgressControl))->value(); }

std::vector<uint8_t> Lock(const std::string& holder) {
  std::vector<uint8_t> lock(36, 0);
  lock[0] = 1;
  std::copy(holder.begin(), holder.end(), lock.begin() + 4);
  return lock;
}

TEST(ObjectDialogs, EachSendsItsCommandNamingTheGroupOrTheSelectedNode) {
  struct Case {
    int resource;
    uint8_t kindToAdd;
    std::vector<uint8_t> frame;  // from byte 4: command, sub where it has one, id high byte first
  };
  Fixture f;
  const auto g = static_cast<uint8_t>(f.group->id()), n = static_cast<uint8_t>(f.device->id());
  ASSERT_NE(g, n);
  const Case cases[] = {
      {153, kNodeSnmp, {13, 2, 0, g}}, {153, kNodeGprs, {13, 3, 0, g}}, {154, 0, {16, 0, n}},
      {155, 0, {17, 0, g}},            {156, 0, {18, 0, 0, n}},         {157, 0, {18, 1, 0, g}},
  };
  for (const Case& c : cases) {
    f.ctx.commands.kindToAdd = c.kindToAdd;
    ObjectDialog d(f.env, c.resource, nullptr);
    d.Init();
    EXPECT_EQ(f.sent(), c.frame) << c.resource;
    EXPECT_EQ(d.request().timeoutMs, 10000u);
  }
  // Nothing selected: Cut and Remove end at once, unsent.
  f.device = nullptr;
  for (int resource : {154, 156}) EXPECT_EQ(f.map.dialog(resource, nullptr), 0) << resource;
  EXPECT_EQ(f.map.dialog(249, nullptr), kDialogNotBuilt);
}

TEST(ObjectDialogs, TheAnswerEndsTheDialogAndTheLockRefusalNamesTheHolder) {
  struct Case {
    int resource;
    std::vector<uint8_t> reply;  // from byte 5
    std::string caption;
    int result;
    std::string holderCaption;  // after the failure's pause; empty: none
  } cases[] = {
      {153, {25, 1}, "Add Object - MSG1", 1, ""},
      {154, {31}, "Cut Object - MSG1", 1, ""},
      {157, {35}, "Remove All Object - MSG1", 1, ""},
      {155, {34}, "Paste Object - MSG2", 0, ""},
      {153, {26, 1}, "Add Object - MSG2", 0, ""},
      // The lock record follows the echoed sub-command of 13, and the code of 16 to 18.
      {153, [] { std::vector<uint8_t> r{26, 1}; for (uint8_t b : Lock("10.1.2.3")) r.push_back(b); return r; }(),
       "Add Object - MSG2", 0, "Held by 10.1.2.3"},
      {156, [] { std::vector<uint8_t> r{36}; for (uint8_t b : Lock("192.168.7.19")) r.push_back(b); return r; }(),
       "Remove Object - MSG2", 0, "Held by 192.168.7.19"},
  };
  for (const Case& c : cases) {
    Fixture f;
    f.ctx.commands.kindToAdd = kNodeGroup;
    ObjectDialog d(f.env, c.resource, nullptr);
    d.Init();
    const uint8_t command = f.sent().at(0);
    OnReplyTimer(d);
    EXPECT_EQ(Bar(d), 16) << c.resource;
    f.answerPending(command, c.reply);
    OnReplyTimer(d);
    EXPECT_EQ(Bar(d), 100);
    EXPECT_EQ(Caption(d), c.caption);
    int result = -1;
    QObject::connect(&d, &QDialog::finished, [&](int r) { result = r; });
    if (!c.holderCaption.empty()) {
      ASSERT_TRUE(test::Spin([&] { return Caption(d) == c.holderCaption; }, 10000)) << Caption(d);
      EXPECT_EQ(d.closingPauseMs(), kLockRefusalPauseMs);
    } else {
      EXPECT_EQ(d.closingPauseMs(), kFailurePauseMs);
    }
    // Closing during the pause ends the dialog with the pause's result.
    static_cast<QDialog&>(d).reject();
    EXPECT_EQ(result, c.result) << c.caption;
  }
}

TEST(ObjectDialogs, TimeOutClosesWithTheDialogsOwnFailureAndTheNextBarStartsAtZero) {
  for (int resource : {153, 154, 155, 156, 157}) {
    Fixture f;
    ObjectDialog d(f.env, resource, nullptr);
    d.Init();
    for (int tick = 0; tick < 7; ++tick) OnReplyTimer(d);
    EXPECT_EQ(Bar(d), 100);
    f.clock.advance(10000);
    OnReplyTimer(d);
    EXPECT_FALSE(d.closing());
    f.clock.advance(1);
    OnReplyTimer(d);
    EXPECT_TRUE(d.closing());
    EXPECT_EQ(Caption(d), d.prefix() + " - MSG2");

    ObjectDialog next(f.env, 157, nullptr);
    next.Init();
    OnReplyTimer(next);
    EXPECT_EQ(Bar(next), 16) << resource;
  }
}

}  // namespace
}  // namespace lark
