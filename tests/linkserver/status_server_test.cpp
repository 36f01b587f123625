// The status server against an in-process console, on a private /dev/shm and
// a fake clock: attach, the handshake, refusals, the watchdog, stale and
// shrinking objects; and the answers' leaf rounds.
#include "linkserver/status_server.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <vector>

#include "common/byte_writer.h"
#include "common/status_client.h"
#include "core/device_tree.h"
#include "core/live_data.h"
#include "linkserver/link_replies.h"
#include "tests/support/shmns.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

using V = std::vector<uint8_t>;

V Request(uint8_t command, uint8_t sub, V data) {
  V out(16 + data.size());
  out.resize(BuildStatusRequest(out, command, sub, data));
  return out;
}
V DeviceData(uint8_t sub, int16_t id, uint16_t count = 0) {
  V data = {static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id)};
  if (sub == 3 || sub == 4) data.insert(data.end(), {static_cast<uint8_t>(count >> 8),
                                                      static_cast<uint8_t>(count)});
  return Request(1, sub, data);
}

class StatusServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateSharedMemory()) GTEST_SKIP() << "no private /dev/shm";
    Tree_ResetRoot(tree);
    ups = &test::AddSerial(tree, tree.root(), kCommAscii);
    server.ResetStatusSharedMemory();
  }

  // Console object made, service attached to it, console attached back.
  void attach() {
    ASSERT_EQ(console.create(), SharedMemory::Created::kCreated);
    server.step();
    ASSERT_EQ(server.state(), kStatusAttached);
    ASSERT_TRUE(console.attach());
    ASSERT_EQ(console.serverState(), kStatusViewIdle);
  }
  // Posts `frame`, steps once; the answer when one is ready.
  std::optional<V> exchange(const V& frame) {
    EXPECT_TRUE(console.post(frame));
    server.step();
    auto answer = console.answer();
    if (answer) {
      console.setOwnState(kStatusViewAnswerTaken);
      server.step();
      EXPECT_EQ(console.serverState(), kStatusViewIdle);
    }
    return answer;
  }

  FakeClock clock{1000};
  DeviceTree tree;
  DeviceNode* ups = nullptr;
  StatusServer server{clock, tree, nullptr};
  StatusClient console;
};

TEST_F(StatusServerTest, AttachesAnswersAndTakesTheHandshake) {
  server.step();  // no console yet: own view ready, waiting
  EXPECT_EQ(server.state(), kStatusOwnMapped);
  ASSERT_NO_FATAL_FAILURE(attach());

  ASSERT_TRUE(console.post(DeviceData(1, ups->id())));
  server.step();
  ASSERT_EQ(console.serverState(), kStatusViewAnswerReady);
  auto answer = console.answer();
  ASSERT_TRUE(answer);
  auto parsed = ParseStatusAnswer(*answer);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->result, kStatusResultFound);
  EXPECT_EQ(parsed->nodeId, ups->idU16());
  EXPECT_EQ(parsed->data.size(), kAsciiLiveDataSize);
  EXPECT_EQ(be24At(*answer, kStatusOffLength), answer->size() - 7);
  server.step();  // not taken yet: the answer stays
  EXPECT_EQ(console.serverState(), kStatusViewAnswerReady);
  console.setOwnState(kStatusViewAnswerTaken);
  server.step();
  EXPECT_EQ(console.serverState(), kStatusViewIdle);

  auto missing = exchange(DeviceData(0, 999));
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->size(), 10u);
  EXPECT_EQ((*missing)[kStatusOffResult], kStatusResultNotFound);
}

TEST_F(StatusServerTest, BadRequestsGetNoAnswerAndTheNextGoodOneIs) {
  ASSERT_NO_FATAL_FAILURE(attach());
  auto withLength = [](V f, uint32_t length) {
    putBe24(f, kStatusOffLength, length);
    return f;
  };
  V good = DeviceData(1, ups->id());
  V badCrc = good;
  badCrc[badCrc.size() - 2] ^= 0x40;
  struct Case {
    const char* what;
    V frame;
  } cases[] = {
      {"crc byte altered", badCrc},
      {"length 1050", withLength(good, 1050)},
      {"length 2^24-1", withLength(good, 0xFFFFFF)},
      {"sub 0 in 10 bytes", Request(1, 0, {0})},
      {"sub 3 in 12 bytes", Request(1, 3, {0, static_cast<uint8_t>(ups->id()), 0})},
      {"command 2", Request(2, 0, {0, static_cast<uint8_t>(ups->id())})},
      {"sub 9", Request(1, 9, {0, static_cast<uint8_t>(ups->id())})},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(exchange(c.frame)) << c.what;
    EXPECT_EQ(console.serverState(), kStatusViewIdle) << c.what;
    EXPECT_EQ(server.state(), kStatusAttached) << c.what;
    EXPECT_TRUE(exchange(good)) << "after " << c.what;
  }
  // The longest request the buffer takes is answered.
  V padded(kStatusRequestMaxSize - 9, 0);
  putBe16(padded, 0, ups->idU16());
  V longest = Request(1, 1, padded);
  ASSERT_EQ(longest.size(), kStatusRequestMaxSize);
  EXPECT_TRUE(exchange(longest));
}

TEST_F(StatusServerTest, AStalledConsoleIsDetachedAndServedWhenItReturns) {
  ASSERT_NO_FATAL_FAILURE(attach());
  // Idle, no request: 3.5 s after the last progress.
  clock.advance(kStatusWatchdogMs - 1);
  server.step();
  EXPECT_EQ(server.state(), kStatusAttached);
  clock.advance(1);
  server.step();
  EXPECT_LT(server.state(), kStatusAttached);
  server.step();  // the console's object is still there: attached again
  ASSERT_EQ(server.state(), kStatusAttached);
  ASSERT_TRUE(console.attach());  // the service's object is a new one

  // An answer never taken.
  ASSERT_TRUE(console.post(DeviceData(1, ups->id())));
  server.step();
  ASSERT_EQ(console.serverState(), kStatusViewAnswerReady);
  clock.advance(kStatusWatchdogMs);
  server.step();
  EXPECT_LT(server.state(), kStatusAttached);
  server.step();
  ASSERT_TRUE(console.attach());
  EXPECT_TRUE(exchange(DeviceData(1, ups->id())));
}

TEST_F(StatusServerTest, StaleDeadAndShrinkingObjects) {
  // A console object no live console holds is not attached to.
  int fd = shm_open(kStatusClientObject, O_RDWR | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, kSharedViewSize), 0);
  ASSERT_EQ(pwrite(fd, "\x55\xAA\x02", 3, 0), 3);
  close(fd);
  for (int i = 0; i < 3; ++i) server.step();
  EXPECT_EQ(server.state(), kStatusOwnMapped);
  // The next console replaces it.
  ASSERT_NO_FATAL_FAILURE(attach());
  EXPECT_EQ(console.ownState(), kStatusViewCreated);

  // A console that shrinks its object: a short read and a detach, no fault.
  fd = shm_open(kStatusClientObject, O_RDWR, 0);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 1), 0);
  close(fd);
  server.step();
  EXPECT_LT(server.state(), kStatusAttached);

  // A live owner of the service's name: retried after 5 s of ticks.
  server.CloseStatusSharedMemory();
  SharedMemory other;
  ASSERT_EQ(other.create(kStatusServerObject, kSharedViewSize), SharedMemory::Created::kCreated);
  server.step();
  EXPECT_EQ(server.state(), kStatusCreate);
  EXPECT_EQ(server.countdown(), kStatusRetryTicks);
  other.close();
  for (int i = 0; i < kStatusRetryTicks - 1; ++i) server.step();
  EXPECT_EQ(server.state(), kStatusCreate);
  server.step();
  EXPECT_EQ(server.state(), kStatusOwnMapped);
}

// ---- answers without the shared memory ----

class StatusAnswerTest : public ::testing::Test {
 protected:
  // The leaves handed out by one answer, as their ids.
  std::vector<int> leaves(uint8_t sub, uint16_t count, size_t room = kSharedViewSize - 3) {
    V out(room);
    size_t size = 0;
    EXPECT_EQ(BuildStatusAnswer(tree, DeviceData(sub, 0, count), out, &size), kStatusAnswered);
    out.resize(size);
    auto answer = ParseStatusAnswer(out);
    EXPECT_TRUE(answer);
    std::vector<int> ids;
    CBytes data = answer ? answer->data : CBytes{};
    for (size_t at = 0; at + 2 <= data.size();) {
      const DeviceNode* node = Tree_FindNodeById(be16At(data, at), &tree.root());
      if (!node) break;
      ids.push_back(node->id());
      at += NodeStatusSize(*node, sub == 3 ? 0 : 1);
    }
    return ids;
  }
  // Leaves one TCP console's round hands out.
  int tcpLeaves(uint16_t count) {
    V out(0x10000);
    ByteWriter w(out);
    PutDeviceData(tree, tree.root(), 4, count, StatusChannels{LongChannelOf(0), ShortChannelOf(0)},
                  w);
    return static_cast<int>(w.size() / NodeStatusSize(*tree.root().children().back(), 1));
  }

  DeviceTree tree;
};

TEST_F(StatusAnswerTest, RoundsOfFiveOverTwelveAndTheTcpRoundsApart) {
  Tree_ResetRoot(tree);
  DeviceNode& g = test::AddGroup(tree, tree.root());
  for (int i = 0; i < 6; ++i) test::AddSerial(tree, tree.root(), kCommSensor);
  for (int i = 0; i < 6; ++i) test::AddSerial(tree, g, kCommSensor);
  EXPECT_EQ(tcpLeaves(3), 3);
  EXPECT_EQ(leaves(4, 5).size(), 5u);
  EXPECT_EQ(leaves(4, 5).size(), 5u);
  EXPECT_EQ(leaves(4, 5).size(), 2u);  // round over
  EXPECT_EQ(leaves(4, 5).size(), 5u);  // a new one
  EXPECT_EQ(tcpLeaves(20), 9);         // the TCP round went on where it was
  EXPECT_EQ(leaves(4, 20).size(), 7u);
  // The long form runs its own round; count 1 walks into the group first,
  // one leaf a call, then on to the leaves after it.
  EXPECT_EQ(leaves(3, 1), std::vector<int>{g.children()[0]->id()});
  for (int i = 0; i < 5; ++i) leaves(3, 1);
  EXPECT_EQ(leaves(3, 1), std::vector<int>{tree.root().children()[1]->id()});
}

TEST_F(StatusAnswerTest, CountAboveTheViewStopsAtItsEndAndTheRoundGoesOn) {
  Tree_ResetRoot(tree);
  for (int i = 0; i < 100; ++i) test::AddSerial(tree, tree.root(), kCommAscii);
  const size_t each = 5 + kAsciiLiveDataSize;
  const size_t fit = (kSharedViewSize - 3 - 12) / each;
  EXPECT_EQ(leaves(3, 65535).size(), fit);
  EXPECT_EQ(leaves(3, 65535).size(), fit);
  EXPECT_EQ(leaves(3, 65535).size(), 100 - 2 * fit);
  EXPECT_EQ(leaves(3, 65535).size(), fit);
}

}  // namespace
}  // namespace lark
