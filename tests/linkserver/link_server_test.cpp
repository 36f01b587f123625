// The link server against real loopback sockets, in a private network
// namespace with the real ports.
#include "linkserver/link_server.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <memory>
#include <thread>
#include <vector>

#include "tests/support/link_test_client.h"
#include "tests/support/netns.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

using test::LinkRequestFrame;
using test::LinkServerHarness;
using test::LinkTestClient;
using V = std::vector<uint8_t>;

const V kHelloOk = {1, 2, 0, 2, 1, 1};
const V kVersionOk = {1, 2, 0, 4, 33, 65, 9, 7};

class LinkServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
    h = std::make_unique<LinkServerHarness>();
    ASSERT_TRUE(h->started);
    ASSERT_EQ(h->server->tcpPort(), 8900);
    ASSERT_EQ(h->server->udpPort(), 9000);
  }

  std::unique_ptr<LinkTestClient> console() {
    auto c = std::make_unique<LinkTestClient>(8900);
    EXPECT_TRUE(c->connected());
    return c;
  }

  int connected() {
    return h->get<int>([&] { return h->server->connectedConsoles(); });
  }

  std::unique_ptr<LinkServerHarness> h;
};

TEST_F(LinkServerTest, DiscoveryAnswersExactlyTheSixBytes) {
  EXPECT_EQ(test::UdpExchange(9000, {1, 1, 0, 1, 1}), (V{1, 2, 0, 2, 1, 1}));
  // Byte 0 is not checked; trailing bytes after the frame do not matter.
  EXPECT_EQ(test::UdpExchange(9000, {7, 1, 0, 1, 1, 0xEE}), (V{1, 2, 0, 2, 1, 1}));
}

TEST_F(LinkServerTest, DiscoveryIgnoresOtherDatagrams) {
  const V bad[] = {
      {1, 2, 0, 1, 1},     // a reply
      {1, 1, 0, 1, 2},     // another command
      {1, 1, 0, 1},        // too short
      {1, 1, 0, 9, 1, 0},  // longer than the datagram
      {1, 1, 0, 0},        // length 0
      {},
  };
  for (const V& d : bad) {
    EXPECT_FALSE(test::UdpExchange(9000, d, 200)) << testing::PrintToString(d);
  }
  EXPECT_EQ(test::UdpExchange(9000, {1, 1, 0, 1, 1}), (V{1, 2, 0, 2, 1, 1}));
}

TEST_F(LinkServerTest, TenConsolesThenOverflowThenNothingUntilItIsFree) {
  std::vector<std::unique_ptr<LinkTestClient>> consoles;
  for (int i = 0; i < 10; ++i) {
    consoles.push_back(console());
    EXPECT_EQ(consoles.back()->request(kLinkCmdHello), kHelloOk) << i;
  }
  EXPECT_EQ(connected(), 10);
  auto connectedLines = 0;
  for (const auto& e : h->log.events()) {
    if (e.text == "Console 127.0.0.1 connected") {
      ++connectedLines;
      EXPECT_EQ(e.level, kLevelInformation);
      EXPECT_EQ(e.code, kSystemEventCode);
    }
  }
  EXPECT_EQ(connectedLines, 10);

  auto eleventh = console();
  ASSERT_TRUE(h->waitFor([&] { return h->server->overflowBusy(); }));
  auto twelfth = console();  // completes in the kernel's backlog, never accepted
  ASSERT_TRUE(twelfth->send(LinkRequestFrame(kLinkCmdHello)));
  ASSERT_TRUE(h->waitFor([&] { return h->server->listenerPaused(); }));

  // Nothing spins while the connection waits: no handler runs at all.
  const uint64_t before = h->get<uint64_t>([&] { return h->loop.handlersRun(); });
  EXPECT_TRUE(twelfth->quietFor(300));
  EXPECT_EQ(h->get<uint64_t>([&] { return h->loop.handlersRun(); }), before + 1);  // the get itself
  // Nor does the one-second pass re-arm the full listener: only the pass runs.
  const uint64_t beforePass = h->get<uint64_t>([&] { return h->loop.handlersRun(); });
  h->advanceAndTick(1000);
  EXPECT_TRUE(twelfth->quietFor(300));
  EXPECT_EQ(h->get<uint64_t>([&] { return h->loop.handlersRun(); }), beforePass + 2);

  // The eleventh learns the service is full and where it is seen from.
  auto reply = eleventh->request(kLinkCmdHello);
  ASSERT_TRUE(reply);
  ASSERT_EQ(reply->size(), 22u);
  EXPECT_EQ(V(reply->begin(), reply->begin() + 6), (V{1, 2, 0, 18, 1, 2}));
  EXPECT_EQ(V(reply->begin() + 6, reply->begin() + 8), (V{2, 0}));
  EXPECT_EQ(be16At(*reply, 8), eleventh->localPort());
  EXPECT_EQ(V(reply->begin() + 10, reply->begin() + 14), (V{127, 0, 0, 1}));
  EXPECT_TRUE(eleventh->waitClosed());

  // The overflow session serves again: the twelfth's waiting hello is answered.
  reply = twelfth->readFrame();
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)[5], kLinkHelloServerFull);
  EXPECT_EQ(be16At(*reply, 8), twelfth->localPort());
  EXPECT_EQ(connected(), 10);

  // A freed slot takes the next console as a full session.
  consoles[4]->close();
  ASSERT_TRUE(h->waitFor([&] { return h->server->connectedConsoles() == 9; }));
  auto again = console();
  EXPECT_EQ(again->request(kLinkCmdHello), kHelloOk);
}

TEST_F(LinkServerTest, OverflowSessionIsClosedAfterThreeSecondsWithoutHello) {
  std::vector<std::unique_ptr<LinkTestClient>> consoles;
  for (int i = 0; i < 10; ++i) consoles.push_back(console());
  ASSERT_TRUE(h->waitFor([&] { return h->server->connectedConsoles() == 10; }));
  auto eleventh = console();
  ASSERT_TRUE(h->waitFor([&] { return h->server->overflowBusy(); }));
  // Anything but hello gets no answer there.
  ASSERT_TRUE(eleventh->send(LinkRequestFrame(kLinkCmdVersion, {9, 7})));
  h->advanceAndTick(2999);
  EXPECT_TRUE(eleventh->quietFor(100));
  h->advanceAndTick(1);
  EXPECT_TRUE(eleventh->waitClosed());
  EXPECT_EQ(connected(), 10);
}

TEST_F(LinkServerTest, FrameSentOneByteAtATimeIsAnswered) {
  auto c = console();
  V frame = LinkRequestFrame(kLinkCmdVersion, {9, 1});
  // Each byte is taken in before the next is sent.
  for (size_t i = 0; i + 1 < frame.size(); ++i) {
    ASSERT_TRUE(c->send({frame[i]}));
    ASSERT_TRUE(test::Eventually(
        [&] { return h->get<size_t>([&] { return h->server->console(0).receivedCount; }) == i + 1; }, 10000));
  }
  ASSERT_TRUE(c->send({frame.back()}));
  EXPECT_EQ(c->readFrame(), kVersionOk);
  EXPECT_EQ(h->get<uint16_t>([&] { return h->server->console(0).protocolVersion; }), 0x0901);
}

TEST_F(LinkServerTest, PipelinedFramesAreAnsweredInOrder) {
  auto c = console();
  V burst;
  auto add = [&](const V& f) { burst.insert(burst.end(), f.begin(), f.end()); };
  add(LinkRequestFrame(kLinkCmdHello));
  add({1, 1, 0, 0});                 // length 0: dropped
  add(LinkRequestFrame(35));         // unknown command: dropped
  add({1, 2, 0, 1, kLinkCmdHello});  // not a request: dropped
  add(LinkRequestFrame(kLinkCmdVersion, {9, 7}));
  add(LinkRequestFrame(kLinkCmdMoveIcon, {1}));  // too short: its failure code
  ASSERT_TRUE(c->send(burst));
  EXPECT_EQ(c->readFrame(), kHelloOk);
  EXPECT_EQ(c->readFrame(), kVersionOk);
  EXPECT_EQ(c->readFrame(), (V{1, 2, 0, 2, 30, 60}));
  EXPECT_TRUE(c->quietFor(100));
}

TEST_F(LinkServerTest, ManyFramesInFlightFillTheBufferAndAllGetAnswers) {
  // More requests than the receive buffer holds at once, sent before reading
  // any reply: reading pauses and resumes, every frame is answered in order.
  auto c = console();
  V frame = LinkRequestFrame(kLinkCmdVersion, V(60000, 9));
  std::thread writer([&] {
    for (int i = 0; i < 8; ++i) c->send(frame);
  });
  for (int i = 0; i < 8; ++i) EXPECT_EQ(c->readFrame(), kVersionOk) << i;
  writer.join();
}

TEST_F(LinkServerTest, HalfAFrameThenSilenceClosesOnlyThatSession) {
  auto a = console();
  auto b = console();
  ASSERT_EQ(b->request(kLinkCmdHello), kHelloOk);
  ASSERT_TRUE(a->send({1, 1, 0, 3, kLinkCmdVersion}));
  ASSERT_TRUE(h->waitFor([&] { return h->server->console(0).receivedCount == 5; }));
  h->advanceAndTick(2999);
  EXPECT_TRUE(a->quietFor(50));
  h->advanceAndTick(1);
  EXPECT_TRUE(a->waitClosed());
  EXPECT_EQ(b->request(kLinkCmdHello), kHelloOk);
  EXPECT_EQ(connected(), 1);
  bool logged = false;
  for (const auto& e : h->log.events()) logged |= e.text == "Console 127.0.0.1 disconnected";
  EXPECT_TRUE(logged);
}

TEST_F(LinkServerTest, IdleConsolesExpireByTheMonotonicClockOnly) {
  auto a = console();
  ASSERT_EQ(a->request(kLinkCmdHello), kHelloOk);
  // Wall-clock jumps (a clock change, a leap day) do not count as idle time.
  h->clock.setWall(WallTime{2024, 2, 29, 4, 23, 59, 0, 0});
  h->advanceAndTick(1000);
  h->clock.setWall(WallTime{2023, 1, 1, 0, 0, 0, 0, 0});
  h->advanceAndTick(1000);
  EXPECT_EQ(connected(), 1);
  h->advanceAndTick(5 * 60 * 1000 - 2001);
  EXPECT_EQ(connected(), 1);
  h->advanceAndTick(1);
  EXPECT_TRUE(a->waitClosed());
  EXPECT_EQ(connected(), 0);
}

TEST_F(LinkServerTest, ConnectionsWithoutAHelloGiveTheirSlotsUpAfterTenSeconds) {
  // Silent, or sending only frames of length 0: neither holds a slot.
  for (const V& chatter : {V{}, V{1, 1, 0, 0}}) {
    auto console0 = console();
    ASSERT_EQ(console0->request(kLinkCmdHello), kHelloOk);
    std::vector<std::unique_ptr<LinkTestClient>> squatters;
    for (int i = 0; i < 9; ++i) squatters.push_back(console());
    ASSERT_TRUE(h->waitFor([&] { return h->server->connectedConsoles() == 10; }));
    auto chatterAndTick = [&] {
      for (auto& s : squatters) {
        if (!chatter.empty()) {
          ASSERT_TRUE(s->send(chatter));
        }
      }
      h->advanceAndTick(1000);
    };
    for (int second = 1; second < 10; ++second) chatterAndTick();
    EXPECT_EQ(connected(), 10);
    chatterAndTick();
    for (auto& s : squatters) EXPECT_TRUE(s->waitClosed());
    EXPECT_EQ(connected(), 1) << "the console that said Hello stays";
    auto late = console();
    EXPECT_EQ(late->request(kLinkCmdHello), kHelloOk);
    // Empty frames do not count as activity for a console either.
    for (int minute = 0; minute < 5; ++minute) {
      ASSERT_TRUE(late->send({1, 1, 0, 0}));
      h->advanceAndTick(60000);
    }
    EXPECT_TRUE(late->waitClosed());
    EXPECT_TRUE(console0->waitClosed());
    ASSERT_TRUE(h->waitFor([&] { return h->server->connectedConsoles() == 0; }));
  }
}

TEST_F(LinkServerTest, ConnectionLinesAreLimitedPerMinuteAndTheRestCounted) {
  auto lines = [&](const std::string& suffix) {
    int n = 0;
    for (const auto& e : h->log.events()) {
      n += e.text.size() >= suffix.size() &&
           e.text.compare(e.text.size() - suffix.size(), suffix.size(), suffix) == 0;
    }
    return n;
  };
  for (int i = 0; i < 50; ++i) {
    auto c = console();
    ASSERT_EQ(c->request(kLinkCmdHello), kHelloOk);
    c->close();
    ASSERT_TRUE(h->waitFor([&] { return h->server->connectedConsoles() == 0; }));
  }
  EXPECT_EQ(lines(" connected") + lines(" disconnected"), 20);
  EXPECT_EQ(lines("more console connections"), 0);
  h->advanceAndTick(60000);
  // 10 of the 50 connections were logged.
  ASSERT_EQ(lines("more console connections"), 1);
  EXPECT_EQ(h->log.events().back().text, "40 more console connections");
  auto c = console();
  ASSERT_EQ(c->request(kLinkCmdHello), kHelloOk);
  EXPECT_EQ(h->log.events().back().text, "Console 127.0.0.1 connected");
}

TEST_F(LinkServerTest, AResetConsoleClosesOnlyItself) {
  auto a = console();
  auto b = console();
  ASSERT_EQ(a->request(kLinkCmdHello), kHelloOk);
  ASSERT_EQ(b->request(kLinkCmdHello), kHelloOk);
  // An abortive close: the server's next receive fails with a reset.
  ASSERT_TRUE(a->send({1, 1, 0, 9}));
  struct linger l = {1, 0};
  setsockopt(a->fd(), SOL_SOCKET, SO_LINGER, &l, sizeof l);
  a->close();
  ASSERT_TRUE(h->waitFor([&] { return h->server->connectedConsoles() == 1; }));
  EXPECT_TRUE(h->get<bool>([&] { return h->server->listening(); }));
  EXPECT_EQ(b->request(kLinkCmdHello), kHelloOk);
  auto c = console();
  EXPECT_EQ(c->request(kLinkCmdHello), kHelloOk);
}

TEST_F(LinkServerTest, ClosedListenerAndDiscoverySocketReopenOnTheNextPass) {
  h->run([&] { h->server->stop(); });
  EXPECT_FALSE(h->get<bool>([&] { return h->server->listening(); }));
  EXPECT_FALSE(LinkTestClient(8900).connected());
  h->advanceAndTick(1000);
  EXPECT_TRUE(h->get<bool>([&] { return h->server->listening(); }));
  EXPECT_TRUE(h->get<bool>([&] { return h->server->discoveryOpen(); }));
  auto c = console();
  EXPECT_EQ(c->request(kLinkCmdHello), kHelloOk);
  EXPECT_EQ(test::UdpExchange(9000, {1, 1, 0, 1, 1}), (V{1, 2, 0, 2, 1, 1}));
}

}  // namespace
}  // namespace lark
