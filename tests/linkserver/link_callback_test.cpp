// Call-back connections and the control-lock pushes they carry.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "linkserver/control_lock.h"
#include "core/device_tree.h"
#include "linkserver/link_server.h"
#include "tests/support/link_test_client.h"
#include "tests/support/netns.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

using test::CallBackListener;
using test::LinkServerHarness;
using test::LinkTestClient;
using V = std::vector<uint8_t>;

V PortBytes(uint16_t port) { return {static_cast<uint8_t>(port >> 8), static_cast<uint8_t>(port)}; }

// A console with its main connection and its call-back listener.
struct Console {
  std::unique_ptr<LinkTestClient> link;
  CallBackListener listener;
  std::unique_ptr<LinkTestClient> callBack;
};

class LinkCallBackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
    h = std::make_unique<LinkServerHarness>();
    ASSERT_TRUE(h->started);
  }

  // Connects, says hello and version 9.7, and has the service connect back.
  std::unique_ptr<Console> connect() {
    auto c = std::make_unique<Console>();
    c->link = std::make_unique<LinkTestClient>(8900);
    EXPECT_EQ(c->link->request(kLinkCmdHello), (V{1, 2, 0, 2, 1, 1}));
    EXPECT_EQ(c->link->request(kLinkCmdVersion, {9, 7}), (V{1, 2, 0, 4, 33, 65, 9, 7}));
    EXPECT_EQ(c->link->request(kLinkCmdCallBack, PortBytes(c->listener.port())),
              (V{1, 2, 0, 2, 7, 13}));
    c->callBack = c->listener.accept();
    EXPECT_TRUE(c->callBack);
    return c;
  }

  int callBacks() {
    return h->get<int>([&] { return h->server->connectedCallBacks(); });
  }
  void dispatch() {
    h->run([&] { h->server->dispatchCommandQueue(); });
  }

  // Checks a control-lock push and returns its 36-byte record.
  static V lockRecord(const std::optional<V>& push) {
    EXPECT_TRUE(push);
    if (!push) return V(kControlLockSize);
    EXPECT_EQ(push->size(), 41u);
    EXPECT_EQ(V(push->begin(), push->begin() + 5), (V{1, 1, 0, 37, 2}));
    return V(push->begin() + 5, push->end());
  }

  std::unique_ptr<LinkServerHarness> h;
};

TEST_F(LinkCallBackTest, LockTakenAndReleasedIsPushedToEveryConsole) {
  auto a = connect();
  auto b = connect();
  ASSERT_TRUE(h->waitFor([&] { return h->server->connectedCallBacks() == 2; }));

  // A's changing command takes the lock (the edit itself is not built yet).
  auto reply = a->link->request(kLinkCmdAddNode, {1, 0, 0});
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)[5], 26);
  dispatch();
  for (Console* c : {a.get(), b.get()}) {
    V rec = lockRecord(c->callBack->readFrame());
    EXPECT_EQ(u32At(rec, kLockOffActive), 1u);
    EXPECT_EQ(strAt(rec, kLockOffAddress, kLockAddressSize), "127.0.0.1");
    EXPECT_EQ(u16At(rec, kLockOffPort), a->link->localPort());
  }

  // B is refused and told who holds the lock; the lock did not change, so no push.
  reply = b->link->request(kLinkCmdRemoveNode, {0, 0, 7});
  ASSERT_TRUE(reply);
  ASSERT_EQ(reply->size(), 6u + kControlLockSize);
  EXPECT_EQ((*reply)[5], 36);
  EXPECT_EQ(u16At(*reply, 6 + kLockOffPort), a->link->localPort());
  dispatch();
  EXPECT_TRUE(a->callBack->quietFor(100));

  // A saves: the lock is free and everyone hears active 0.
  reply = a->link->request(kLinkCmdSaveMap, {0});
  ASSERT_TRUE(reply);
  dispatch();
  for (Console* c : {a.get(), b.get()}) {
    V rec = lockRecord(c->callBack->readFrame());
    EXPECT_EQ(u32At(rec, kLockOffActive), 0u);
    EXPECT_EQ(u16At(rec, kLockOffPort), a->link->localPort());  // both are 9.x consoles
  }
  EXPECT_FALSE(h->lock.active());
}

TEST_F(LinkCallBackTest, ConsoleConnectingBackWhileTheLockIsHeldIsTold) {
  auto a = connect();
  ASSERT_TRUE(a->link->request(kLinkCmdCutNode, {0, 3}));
  dispatch();
  lockRecord(a->callBack->readFrame());
  auto b = connect();
  ASSERT_TRUE(h->waitFor([&] { return h->server->connectedCallBacks() == 2; }));
  dispatch();  // the new connection's event is pushed to both, as the queue does
  EXPECT_EQ(u16At(lockRecord(b->callBack->readFrame()), kLockOffPort), a->link->localPort());
  EXPECT_EQ(u32At(lockRecord(a->callBack->readFrame()), kLockOffActive), 1u);
}

TEST_F(LinkCallBackTest, LockEventsWithNobodyConnectedBackAreDropped) {
  auto link = std::make_unique<LinkTestClient>(8900);
  ASSERT_TRUE(link->request(kLinkCmdAddNode, {1, 0, 0}));
  EXPECT_EQ(h->queues.queue(1).count(), 1u);
  dispatch();
  EXPECT_EQ(h->queues.queue(1).count(), 0u);
}

TEST_F(LinkCallBackTest, BusyCallBackKeepsOnePendingPushWithTheLatestState) {
  auto a = connect();
  ASSERT_TRUE(h->waitFor([&] { return h->server->connectedCallBacks() == 1; }));
  // Toggle the lock until the console's unread call-back connection pushes
  // back, then change it a few more times while the push waits.
  size_t sent = 0;
  bool blocked = false;
  h->run([&] {
    for (; sent < 2000000 && !blocked; ++sent) {
      h->lock.set("10.1.2.3", static_cast<uint16_t>(sent), sent % 2 == 0, 0);
      h->server->dispatchCommandQueue();
      blocked = h->server->callBack(0).sending();
    }
    h->lock.set("10.9.9.9", 77, !h->lock.active(), 0);
    h->server->dispatchCommandQueue();
    h->lock.set("10.9.9.9", 78, !h->lock.active(), 0);
    h->server->dispatchCommandQueue();
    h->lock.set("10.9.9.9", 79, !h->lock.active(), 0);
    h->server->dispatchCommandQueue();
  });
  ASSERT_TRUE(blocked);
  const auto finalImage = h->lock.image();
  // Every push arrives whole and in step; after the one that was under way
  // comes exactly one more, carrying the latest state.
  V last;
  for (size_t i = 0; i < sent + 1; ++i) {
    auto frame = a->callBack->readFrame();
    ASSERT_TRUE(frame) << i;
    last = lockRecord(frame);
  }
  EXPECT_EQ(last, V(finalImage.begin(), finalImage.end()));
  EXPECT_TRUE(a->callBack->quietFor(100));
}

TEST_F(LinkCallBackTest, DeviceStateEntriesArePushedForDevicesOnly) {
  DeviceTree tree;
  test::SampleTree s = test::BuildSampleTree(tree);
  s.snmp->block(BlockKind::kSnmp)->setMask(MaskWord::kCurrent, 0x0807060504030201ull);
  h->run([&] { h->server->setDeviceTree(&tree); });
  auto a = connect();
  ASSERT_TRUE(h->waitFor([&] { return h->server->connectedCallBacks() == 1; }));
  auto entry = [](uint16_t id) {
    V payload(16);
    putU16(payload, 0, id);
    return payload;
  };
  h->queues.push(1, 1, kCmdCodeDeviceAlarmState, entry(s.ups->idU16()));  // a group: nothing
  h->queues.push(1, 1, kCmdCodeDeviceAlarmState, entry(s.snmp->idU16()));
  dispatch();
  const uint16_t id = s.snmp->idU16();
  EXPECT_EQ(a->callBack->readFrame(),
            (V{1, 1, 0, 12, 1, 0, uint8_t(id >> 8), uint8_t(id), 1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_TRUE(a->callBack->quietFor(100));
  h->run([&] { h->server->setDeviceTree(nullptr); });
}

TEST_F(LinkCallBackTest, CallBackClosesWithItsConsole) {
  auto a = connect();
  ASSERT_TRUE(h->waitFor([&] { return h->server->connectedCallBacks() == 1; }));
  a->link->close();
  EXPECT_TRUE(a->callBack->waitClosed());
  EXPECT_EQ(callBacks(), 0);
}

TEST_F(LinkCallBackTest, ConsoleClosingItsCallBackKeepsTheSession) {
  auto a = connect();
  ASSERT_TRUE(h->waitFor([&] { return h->server->connectedCallBacks() == 1; }));
  a->callBack->close();
  ASSERT_TRUE(h->waitFor([&] { return h->server->connectedCallBacks() == 0; }));
  EXPECT_EQ(a->link->request(kLinkCmdHello), (V{1, 2, 0, 2, 1, 1}));
}

TEST_F(LinkCallBackTest, RefusedCallBackLeavesTheSlotFree) {
  auto link = std::make_unique<LinkTestClient>(8900);
  uint16_t closedPort;
  {
    CallBackListener gone;
    closedPort = gone.port();
  }
  // The connect may fail at once (14) or later; either way nothing stays connected.
  auto reply = link->request(kLinkCmdCallBack, PortBytes(closedPort));
  ASSERT_TRUE(reply);
  EXPECT_TRUE(h->waitFor([&] { return !h->server->callBack(0).open(); }));
}

TEST_F(LinkCallBackTest, ConnectStillPendingAfterTenPassesIsAbandoned) {
  // A listener whose backlog is full lets further connects hang.
  int full = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(full, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(full, 0), 0);
  socklen_t len = sizeof addr;
  getsockname(full, reinterpret_cast<sockaddr*>(&addr), &len);
  const uint16_t port = ntohs(addr.sin_port);
  std::vector<int> fillers;  // non-blocking: the later ones hang as the service's will
  for (int i = 0; i < 3; ++i) {
    fillers.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    ::connect(fillers.back(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  }

  auto link = std::make_unique<LinkTestClient>(8900);
  ASSERT_EQ(link->request(kLinkCmdCallBack, PortBytes(port)), (V{1, 2, 0, 2, 7, 13}));
  ASSERT_EQ(h->get<int>([&] { return int(h->server->callBack(0).state); }),
            int(SessionState::kConnecting));
  for (int i = 0; i < 9; ++i) h->advanceAndTick(1000);
  EXPECT_EQ(h->get<int>([&] { return int(h->server->callBack(0).state); }),
            int(SessionState::kConnecting));
  h->advanceAndTick(1000);
  EXPECT_FALSE(h->get<bool>([&] { return h->server->callBack(0).open(); }));
  for (int fd : fillers) close(fd);
  close(full);
}

}  // namespace
}  // namespace lark
