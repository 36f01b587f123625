// The request dispatcher: kinds, commands, slots, minimum lengths and lock gates.
#include "linkserver/link_commands.h"

#include <gtest/gtest.h>

#include <vector>

#include "linkserver/command_queue.h"
#include "linkserver/control_lock.h"
#include "platform/clock.h"
#include "tests/support/link_test_client.h"

namespace lark {
namespace {

using V = std::vector<uint8_t>;

V Frame(uint8_t kind, uint8_t command, V data = {}) { return test::LinkFrameOf(kind, command, data); }

class FakeHost final : public LinkSessionHost {
 public:
  bool openCallBack(int slot, uint16_t port) override {
    opened.push_back({slot, port});
    return port != 0;
  }
  bool anyConsoleBelowVersion(uint16_t) const override { return oldConsole; }
  std::vector<std::pair<int, uint16_t>> opened;
  bool oldConsole = false;
};

struct LinkCommandsTest : ::testing::Test {
  FakeClock clock{1000};
  CommandQueues queues;
  ControlLock lock{clock, queues};
  FakeHost host;
  LinkServices services{lock};
  uint16_t version = 0;
  V out = V(kLinkBufferSize);

  LinkCommandsTest() { services.host = &host; }

  // The reply bytes, or empty when the frame gets none.
  V dispatch(const V& frame, int slot = 0, LinkPeer peer = {0x7F000001, 4000}) {
    LinkRequest r(frame, slot, peer, version, services);
    LinkFrameBuilder b(out);
    size_t n = DispatchLinkRequest(r, b);
    return V(out.begin(), out.begin() + n);
  }
};

TEST_F(LinkCommandsTest, FramesThatGetNoReply) {
  const V cases[] = {
      Frame(2, kLinkCmdHello),  // a reply sent to the service
      Frame(0, kLinkCmdHello),
      Frame(1, 0),
      Frame(1, 35),
      Frame(1, 0x81),  // read signed: negative
      {1, 1, 0, 0},    // length 0: no command byte
  };
  for (const V& f : cases) EXPECT_TRUE(dispatch(f).empty()) << testing::PrintToString(f);
}

TEST_F(LinkCommandsTest, HelloAnswersOneOnASlotAndServerFullOnTheOverflow) {
  EXPECT_EQ(dispatch(Frame(1, kLinkCmdHello)), (V{1, 2, 0, 2, 1, 1}));
  EXPECT_EQ(dispatch(Frame(1, kLinkCmdHello), kOverflowSlot, {0x0A000005, 0x1F90}),
            (V{1, 2, 0, 18, 1, 2, 2, 0, 0x1F, 0x90, 10, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(LinkCommandsTest, OverflowSessionServesNothingButHello) {
  for (uint8_t c = 2; c <= kLinkLastCommand; ++c) {
    EXPECT_TRUE(dispatch(Frame(1, c, V(600, 1)), kOverflowSlot).empty()) << int(c);
  }
  EXPECT_TRUE(host.opened.empty());
  EXPECT_FALSE(lock.active());
}

TEST_F(LinkCommandsTest, VersionIsStoredAndAnswered) {
  EXPECT_EQ(dispatch(Frame(1, kLinkCmdVersion, {0x09, 0x05})), (V{1, 2, 0, 4, 33, 65, 9, 7}));
  EXPECT_EQ(version, 0x0905);
  // One byte short of the console's version: failure, nothing stored.
  EXPECT_EQ(dispatch(Frame(1, kLinkCmdVersion, {0x08})), (V{1, 2, 0, 4, 33, 66, 9, 7}));
  EXPECT_EQ(version, 0x0905);
}

TEST_F(LinkCommandsTest, CallBackOpensTheConnectionOfThisSlot) {
  EXPECT_EQ(dispatch(Frame(1, kLinkCmdCallBack, {0x22, 0xF6}), 3), (V{1, 2, 0, 2, 7, 13}));
  ASSERT_EQ(host.opened.size(), 1u);
  EXPECT_EQ(host.opened[0], (std::pair<int, uint16_t>{3, 8950}));
  EXPECT_EQ(dispatch(Frame(1, kLinkCmdCallBack, {0, 0}), 3), (V{1, 2, 0, 2, 7, 14}));
  // Without the port the request is short: failure, no connect.
  EXPECT_EQ(dispatch(Frame(1, kLinkCmdCallBack, {0x22}), 3), (V{1, 2, 0, 2, 7, 14}));
  EXPECT_EQ(host.opened.size(), 2u);
}

TEST_F(LinkCommandsTest, CommandsNotWiredYetAnswerTheirFailureCode) {
  for (uint8_t c = 2; c <= kLinkLastCommand; ++c) {
    if (c == kLinkCmdCallBack || c == kLinkCmdVersion) continue;
    // These two always succeed, wired or not.
    if (c == kLinkCmdStopAllAlarms || c == kLinkCmdTestSound) continue;
    lock.reset();
    V reply = dispatch(Frame(1, c, V(13000, 0x01)));
    ASSERT_GE(reply.size(), 6u) << int(c);
    EXPECT_EQ(reply[1], kLinkKindReply);
    EXPECT_EQ(reply[4], c);
    EXPECT_EQ(reply[5], 2 * c) << int(c);
    EXPECT_EQ(LinkFrameSize(reply), reply.size());
  }
}

TEST_F(LinkCommandsTest, ShortFramesGetTheFailureCodeAndTheirFixedReplyFields) {
  struct Case {
    uint8_t command;
    size_t frameSize;  // whole frame
    V reply;
  } cases[] = {
      {kLinkCmdNewMap, 260, {1, 2, 0, 2, 9, 18}},
      {kLinkCmdControlDevice, 48, {1, 2, 0, 2, 26, 52}},
      {kLinkCmdDeviceSettings, 156, {1, 2, 0, 3, 28, 56, 1}},
      {kLinkCmdSetSchedule, 477, {1, 2, 0, 3, 29, 58, 1}},
      {kLinkCmdDownloadSettings, 7, {1, 2, 0, 3, 4, 8, 1}},
      {kLinkCmdSetPolling, 8073, {1, 2, 0, 3, 19, 38, 1}},
      {kLinkCmdDownloadFile, 5, {1, 2, 0, 3, 5, 10, 0}},  // no sub byte at all: 0 echoed
  };
  for (const Case& c : cases) {
    V f = Frame(1, c.command, V(c.frameSize > 5 ? c.frameSize - 5 : 0, 1));
    ASSERT_EQ(f.size(), c.frameSize);
    EXPECT_EQ(dispatch(f), c.reply) << int(c.command);
  }
  EXPECT_FALSE(lock.active());
}

TEST_F(LinkCommandsTest, TreeCommandTakesTheLockAndKeepsItIdle) {
  V reply = dispatch(Frame(1, kLinkCmdAddNode, {1, 0, 0}), 0, {0x7F000001, 4000});
  ASSERT_EQ(reply.size(), 7u + kControlLockSize);
  EXPECT_EQ(reply[5], 26);
  EXPECT_EQ(u32At(reply, 7), 1u);  // active
  EXPECT_EQ(strAt(reply, 7 + 4, 20), "127.0.0.1");
  EXPECT_EQ(u16At(reply, 7 + 24), 4000);
  EXPECT_EQ(u32At(reply, 7 + 32), 13u);  // in flight while the reply was built
  EXPECT_TRUE(lock.active());
  EXPECT_EQ(lock.kind(), 0u);  // idle holder afterwards
  EXPECT_EQ(queues.queue(1).count(), 1u);

  // Another console is refused with the holder in the reply; nothing changes.
  reply = dispatch(Frame(1, kLinkCmdCutNode, {0, 5}), 1, {0x7F000001, 4001});
  ASSERT_EQ(reply.size(), 6u + kControlLockSize);
  EXPECT_EQ(reply[5], 32);
  EXPECT_EQ(u16At(reply, 6 + 24), 4000);
  EXPECT_EQ(queues.queue(1).count(), 1u);

  // Reads of node properties pass the gate and leave the lock alone.
  reply = dispatch(Frame(1, kLinkCmdSetNodeProperties, {3, 0, 5}), 1, {0x7F000001, 4001});
  EXPECT_EQ(reply[5], 28);
  EXPECT_EQ(lock.holderPort(), 4000);
}

TEST_F(LinkCommandsTest, MapSaveFreesTheLockWhoeverHeldIt) {
  lock.set("127.0.0.1", 4000, true, 0);
  queues.clearAll();
  V reply = dispatch(Frame(1, kLinkCmdSaveMap, {0}), 1, {0x7F000001, 4001});
  EXPECT_EQ(reply, (V{1, 2, 0, 3, 8, 16, 0}));
  EXPECT_FALSE(lock.active());
  EXPECT_EQ(queues.queue(1).count(), 1u);

  // While a command is in flight, a map command is refused and the lock stays.
  lock.set("127.0.0.1", 4000, true, 13);
  reply = dispatch(Frame(1, kLinkCmdSaveMap, {0}), 1, {0x7F000001, 4001});
  EXPECT_EQ(reply[5], 16);
  EXPECT_TRUE(lock.active());
  EXPECT_EQ(lock.kind(), 13u);
}

TEST_F(LinkCommandsTest, SaveWithAnOldConsoleConnectedClearsTheHolderPort) {
  host.oldConsole = true;
  lock.set("127.0.0.1", 4000, true, 0);
  dispatch(Frame(1, kLinkCmdSaveMap, {0}), 0, {0x7F000001, 4000});
  EXPECT_FALSE(lock.active());
  EXPECT_EQ(lock.holderPort(), 0);
}

}  // namespace
}  // namespace lark
