// The console's link against a scripted service on 8900: bad frames, a
// stranger on the call-back port, and the status polls through the shared
// memory when console and service share the computer. Each test has its own
// network namespace and /dev/shm.
#include <arpa/inet.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "common/status_frame.h"
#include "console/link/link_driver.h"
#include "platform/event_loop.h"
#include "platform/paths.h"
#include "platform/shared_memory.h"
#include "tests/support/fake_link_service.h"
#include "tests/support/link_test_client.h"
#include "tests/support/netns.h"
#include "tests/support/offset_clock.h"
#include "tests/support/shmns.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

using V = std::vector<uint8_t>;

struct Shell final : LinkShell {
  void linkStateChanged(LinkState now) override { walked.push_back(now); }
  std::vector<LinkState> walked;
};

class ConsoleLinkFakeService : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateSharedMemory()) GTEST_SKIP() << "no private /dev/shm";
    if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
  }
  void run(const char* server, test::FakeLinkService::Script script = test::FakeLinkService::SessionAnswer,
           LinkState until = {7, 0}) {
    fake = std::make_unique<test::FakeLinkService>(server);
    ASSERT_TRUE(fake->started());
    fake->setScript(std::move(script));
    link.start();
    link.setServer(server);
    link.setAutoConnect(true);
    ASSERT_TRUE(ArmLinkTimers(reactor, link));
    ASSERT_TRUE(runUntil([&] { return link.state() == until; }, 10000));
  }
  bool runUntil(const std::function<bool()>& done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      loop.runOnce(10);
      if (done()) return true;
    }
    return false;
  }
  // Device-data polls the fake has seen, by their link mode byte.
  std::vector<uint8_t> pollModes() {
    std::vector<uint8_t> modes;
    for (const V& r : fake->requests())
      if (r.size() >= 10 && r[4] == kLinkCmdGetDeviceData) modes.push_back(r[9]);
    return modes;
  }

  test::TempDir dir;
  test::OffsetClock clock;
  EventLoop loop;
  EpollReactor reactor{loop};
  DeviceTree tree;
  Shell shell;
  ServiceLink link{reactor, clock, tree, shell, dir.path(), [] { return 0; }};
  std::unique_ptr<test::FakeLinkService> fake;
};

// Ticks of a 100 ms and a 1 s timer on the link's loop: a loop held by a
// flood loses the fast ticks (a late timer fires once), while the slow one
// still marks the seconds, so their ratio shows the window's freedom
// without the test timing anything itself.
struct TickRatio {
  explicit TickRatio(EventLoop& loop) : loop(loop) {
    loop.setTimer(9001, 100, [this] { ++fast; });
    loop.setTimer(9002, 1000, [this] {
      if (++slow == 1) fastAtFirst = fast;
    });
  }
  ~TickRatio() {
    loop.killTimer(9001);
    loop.killTimer(9002);
  }
  // Fast ticks in the seconds since the first slow tick, as a share of ten a second.
  double share() const { return slow > 1 ? double(fast - fastAtFirst) / (10.0 * (slow - 1)) : 0; }
  EventLoop& loop;
  int fast = 0, slow = 0, fastAtFirst = 0;
};

// Sends 8-byte state pushes to the console's call-back port from the
// service's address, connecting again whenever the console cuts it off.
struct PushFlood {
  PushFlood() {
    const std::vector<uint8_t> push =
        test::LinkFrameOf(kLinkKindRequest, kLinkPushDeviceState, {0, 0x7F, 0x7F});
    for (int i = 0; i < 4096; ++i) block.insert(block.end(), push.begin(), push.end());
    thread = std::thread([this] { run(); });
  }
  ~PushFlood() {
    stop = true;
    thread.join();
  }
  void run() {
    for (uint16_t port = 8950; !stop; port = port == 8954 ? 8950 : port + 1) {
      const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(port);
      inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
      const timeval limit{0, 200000};  // a send that blocks comes back to look at `stop`
      setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
      if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        ++connections;
        for (size_t at = 0; !stop;) {
          const ssize_t n = send(fd, block.data() + at, block.size() - at, MSG_NOSIGNAL);
          if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;  // cut off by the console
          if (n > 0) at = (at + size_t(n)) % block.size();
        }
      }
      close(fd);
    }
  }
  std::vector<uint8_t> block;
  std::atomic<bool> stop{false};
  std::atomic<int> connections{0};
  std::thread thread;
};

// Floods of small frames at full speed on the main link and the call-back
// connection: the console cuts them off (more replies than requests, pushes
// past their rate) and its window keeps ticking throughout.
TEST_F(ConsoleLinkFakeService, FloodsOfSmallFramesNeverHoldTheWindow) {
  for (bool pushes : {false, true}) {
    SCOPED_TRACE(pushes ? "8-byte pushes" : "7-byte replies");
    ASSERT_NO_FATAL_FAILURE(run("127.0.0.2"));
    std::unique_ptr<PushFlood> flood;
    const int before = fake->connections();
    if (pushes) {
      flood = std::make_unique<PushFlood>();
    } else {
      std::vector<uint8_t> block;
      const std::vector<uint8_t> reply =
          test::LinkFrameOf(kLinkKindReply, kLinkCmdGetDeviceData, {12, 0});
      for (int i = 0; i < 4096; ++i) block.insert(block.end(), reply.begin(), reply.end());
      fake->setFlood(block);
    }
    TickRatio ticks(loop);
    // Five seconds of the slow timer with the flood going and cut off at least twice.
    const auto cutTwice = [&] {
      return pushes ? flood->connections >= 3 : fake->connections() >= before + 2;
    };
    ASSERT_TRUE(runUntil([&] { return ticks.slow >= 6 && cutTwice(); }, 120000))
        << ticks.slow << " " << (pushes ? flood->connections.load() : fake->connections());
    EXPECT_GE(ticks.share(), 0.8) << ticks.fast << " fast ticks in " << ticks.slow << " slow ones";
    flood.reset();
    fake.reset();
    link.close();
  }
}

// A flood of server-search answers from one host: read a bounded number a
// wake-up, the duplicate checked first; the window keeps ticking.
TEST_F(ConsoleLinkFakeService, ASearchAnswerFloodNeverHoldsTheWindow) {
  link.start();
  ASSERT_TRUE(ArmLinkTimers(reactor, link));
  ASSERT_TRUE(link.startSearch("127.0.0.1"));
  sockaddr_in own{};
  ASSERT_TRUE(runUntil(
      [&] {
        socklen_t n = sizeof own;
        return link.searchLink().fd >= 0 &&
               getsockname(link.searchLink().fd, reinterpret_cast<sockaddr*>(&own), &n) == 0 &&
               own.sin_port != 0;
      },
      10000));
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> sent{0};
  // Several senders: together faster than one reader takes datagrams.
  std::vector<std::thread> senders;
  for (int i = 0; i < 3; ++i)
    senders.emplace_back([&] {
      const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
      sockaddr_in to = own;
      inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
      const std::vector<uint8_t> answer = test::LinkFrameOf(kLinkKindReply, 1, {1, 2, 3});
      while (!stop)
        if (sendto(fd, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&to),
                   sizeof to) > 0)
          ++sent;
      close(fd);
    });
  TickRatio ticks(loop);
  const bool fiveSeconds = runUntil([&] { return ticks.slow >= 6; }, 120000);
  const uint64_t flooded = sent.load();
  stop = true;
  for (std::thread& t : senders) t.join();
  ASSERT_TRUE(fiveSeconds);
  EXPECT_GT(flooded, 10000u);
  EXPECT_GE(ticks.share(), 0.8) << ticks.fast << " fast ticks in " << ticks.slow << " slow ones";
  EXPECT_EQ(link.servers(), (std::vector<std::string>{"LocalHost"}));
}

// The service's side of the exchange, played by the test.
struct FakeStatusServer {
  FakeStatusServer() {
    ok = own.create(kStatusServerObject, kSharedViewSize) == SharedMemory::Created::kCreated && own.mapWritable();
    if (ok) PutStatusViewHeader(own.view(), kStatusViewIdle);
  }
  uint8_t consoleState() {
    uint8_t s = 0;
    if (!console.isOpen()) console.open(kStatusClientObject, kSharedViewSize);
    console.read(kStatusViewOffState, std::span<uint8_t>(&s, 1));
    return s;
  }
  // Puts an answer of `form` for node `id` with `data`; `badCrc` spoils it.
  void answer(uint16_t id, uint8_t form, const V& data, bool badCrc = false) {
    V f(10 + data.size() + 2);
    f[0] = 1;
    f[1] = kStatusKindAnswer;
    f[5] = kStatusCommandDeviceData;
    f[6] = kStatusResultFound;
    f[7] = form;
    putBe16(f, 8, id);
    std::copy(data.begin(), data.end(), f.begin() + 10);
    const size_t n = SealStatusFrame(f, 10 + data.size());
    if (badCrc) f[n - 1] ^= 0xFF;
    std::copy(f.begin(), f.begin() + static_cast<ptrdiff_t>(n), own.view().begin() + kStatusViewOffFrame);
    StoreStatusViewState(own.view(), kStatusViewAnswerReady);
  }
  SharedMemory own, console;
  bool ok = false;
};

TEST_F(ConsoleLinkFakeService, BadFramesResetTheLinkOthersAreDropped) {
  const V form2UnknownThenSensor = {1, 2, 0, 10, 6, 11, 2, 0, 0, 0x7F, 0x7F, 0, 0, 0};
  // A dropped frame leaves the poll waiting: the poll's own answer follows it,
  // so that its taking shows the frame before it was read and let go.
  const V anotherCommandThenTheAnswer = {1, 2, 0, 4, 33, 65, 9, 7, 1, 2, 0, 2, 6, 12};
  struct Case {
    const char* what;
    V answer;
    bool reset;
  } cases[] = {
      {"request kind", {1, 1, 0, 2, 6, 11}, true},
      {"length below 2", {1, 2, 0, 1, 6}, true},
      {"command 0", {1, 2, 0, 2, 0, 11}, true},
      {"command 40", {1, 2, 0, 2, 40, 11}, true},
      {"half a frame, then silence", {1, 2, 0, 40, 6, 11, 1}, true},
      {"another command", anotherCommandThenTheAnswer, false},
      {"form past its frame", {1, 2, 0, 6, 6, 11, 1, 0, 0, 1}, false},
      {"unknown id in a list", form2UnknownThenSensor, false},
  };
  run("127.0.0.1");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int before = fake->connections();
    shell.walked.clear();
    fake->setScript([&c](const V& r) {
      return r.size() > 4 && r[4] == kLinkCmdGetDeviceData ? c.answer : test::FakeLinkService::SessionAnswer(r);
    });
    const size_t polls = pollModes().size();
    ASSERT_TRUE(runUntil([&] { return pollModes().size() > polls; }, 10000));
    // The answer is in once the link has reset, holds a frame's beginning,
    // or has taken a poll answer.
    ASSERT_TRUE(runUntil([&] {
      return !shell.walked.empty() || link.mainLink().transfer == kXferPartial || !link.pollOutstanding();
    }, 10000));
    fake->setScript(test::FakeLinkService::SessionAnswer);
    clock.skip(5000);  // past the transfer's time-out
    if (shell.walked.empty() && link.mainLink().transfer == kXferPartial) {
      // The rest never comes: the next second step resets.
      ASSERT_TRUE(runUntil([&] { return !shell.walked.empty(); }, 10000));
    }
    EXPECT_EQ(!shell.walked.empty() && shell.walked.front() == (LinkState{2, 0}), c.reset);
    if (!c.reset) {
      EXPECT_TRUE(link.mainLink().recv.empty());  // nothing left to swallow the next reply
    }
    ASSERT_TRUE(runUntil([&] { return link.state() == LinkState{7, 0}; }, 10000));
    EXPECT_EQ(fake->connections(), before + (c.reset ? 1 : 0));
  }
}

// The version goes with the session's first tick, ahead of every status
// poll: until then the service takes the console for one that cannot match
// its own control lock.
TEST_F(ConsoleLinkFakeService, TheSessionsFirstTickTellsTheVersion) {
  ASSERT_NO_FATAL_FAILURE(run("127.0.0.1"));
  const auto first = [&](uint8_t command) {
    const std::vector<V> seen = fake->requests();
    for (size_t i = 0; i < seen.size(); ++i)
      if (seen[i].size() > 4 && seen[i][4] == command) return i;
    return seen.size() + 1;
  };
  ASSERT_TRUE(runUntil([&] { return !pollModes().empty() && first(kLinkCmdVersion) <= fake->requests().size(); },
                       20000));
  EXPECT_LT(first(kLinkCmdVersion), first(kLinkCmdGetDeviceData));
}

TEST_F(ConsoleLinkFakeService, SettingsOfExactlyOneChunkEndWithAnEmptyChunk) {
  run("127.0.0.2", [](const V& r) {
    if (r.size() < 14 || r[4] != kLinkCmdDownloadSettings) return test::FakeLinkService::SessionAnswer(r);
    V reply = test::LinkFrameOf(kLinkKindReply, kLinkCmdDownloadSettings, {7, 0});
    if (u32At(r, 6) == 0) reply.resize(reply.size() + 32768, 'a');
    putBe16(reply, 2, uint16_t(reply.size() - 4));
    return reply;
  });
  std::vector<uint32_t> offsets;
  for (const V& r : fake->requests())
    if (r[4] == kLinkCmdDownloadSettings) offsets.push_back(u32At(r, 6));
  EXPECT_EQ(offsets, (std::vector<uint32_t>{0, 32768}));
  EXPECT_EQ(ReadFile(dir.file("Monitor/manager.ini")), std::string(32768, 'a'));
}

TEST_F(ConsoleLinkFakeService, UnsafeMapNameFailsTheDownloadStep) {
  run("127.0.0.2", [](const V& r) {
    if (r[4] != kLinkCmdGetMapList) return test::FakeLinkService::SessionAnswer(r);
    const std::string text = "x;../../evil.UMF;";
    V d = {3};
    d.insert(d.end(), text.begin(), text.end());
    return test::LinkFrameOf(kLinkKindReply, kLinkCmdGetMapList, d);
  }, LinkState{4, 3});
  EXPECT_FALSE(FileExists(dir.file("../evil.UMF")));
  EXPECT_FALSE(FileExists(dir.file("evil.UMF")));
}

TEST_F(ConsoleLinkFakeService, CallBackPortTakesTheServiceOnlyAndOneAtATime) {
  std::string out;
  ASSERT_EQ(test::RunProgram({"/usr/sbin/ip", "addr", "add", "10.9.9.9/32", "dev", "lo"}, out, true), 0) << out;
  run("127.0.0.2");
  ASSERT_EQ(link.callBackListener().port, 8950);
  auto connectFrom = [](const char* from) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, from, &a.sin_addr);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    a.sin_port = htons(8950);
    inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
    connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    return fd;
  };
  auto closedByPeer = [&](int fd) {
    bool closed = false;
    runUntil([&] {
      char c;
      closed = recv(fd, &c, 1, MSG_DONTWAIT) == 0;
      return closed;
    }, 1000);
    return closed;
  };
  const int stranger = connectFrom("10.9.9.9");
  EXPECT_TRUE(closedByPeer(stranger));
  EXPECT_NE(link.callBackLink().connState, kConnUp);
  const int service = connectFrom("127.0.0.1");
  ASSERT_TRUE(runUntil([&] { return link.callBackLink().connState == kConnUp; }, 1000));
  // While it is up the listener is not watched: a second caller waits
  // unaccepted. (The bound of closedByPeer is the time it is given to be
  // wrongly closed; a slow machine only makes the check pass more easily.)
  const int second = connectFrom("127.0.0.1");
  EXPECT_FALSE(closedByPeer(second));
  EXPECT_EQ(link.state(), (LinkState{7, 0}));
  for (int fd : {stranger, service, second}) close(fd);
}

TEST_F(ConsoleLinkFakeService, SharedMemoryPollsOnTheServicesComputer) {
  // Without the service's object, polls go over TCP with link mode 10.
  run("127.0.0.1");
  EXPECT_TRUE(link.sharedMemoryMode());
  ASSERT_TRUE(runUntil([&] { return pollModes().size() >= 2; }, 5000));
  EXPECT_EQ(pollModes().front(), 10);
  EXPECT_EQ(link.attachStep(), 2);
  // Once the service's object is there, the next attempt (every 30 s) attaches.
  FakeStatusServer server;
  ASSERT_TRUE(server.ok);
  ASSERT_TRUE(runUntil([&] { return link.attachStep() == 5; }, 35000));
  ASSERT_TRUE(runUntil([&] { return server.consoleState() == kStatusViewRequestReady; }, 2000));
}

TEST_F(ConsoleLinkFakeService, SharedMemoryExchange) {
  FakeStatusServer server;
  ASSERT_TRUE(server.ok);
  DeviceNode* sensor = nullptr;
  run("127.0.0.1");
  // The fake's map holds only the root: give the console a sensor to fill.
  tree.setCurrentParent(tree.root());
  sensor = Tree_CreateNode(tree, kNodeSerial, "");
  sensor->setCommType(kCommSensor);
  ASSERT_TRUE(runUntil([&] { return link.attachStep() == 5 && server.consoleState() == kStatusViewRequestReady; },
                       5000));
  const size_t tcpPolls = pollModes().size();
  // A good answer: the sensor's status byte arrives, the exchange ends in state 6.
  server.answer(tree.root().idU16(), 2, {uint8_t(sensor->idU16() >> 8), uint8_t(sensor->idU16()), 0x44});
  ASSERT_TRUE(runUntil([&] { return server.consoleState() == kStatusViewAnswerTaken; }, 2000));
  EXPECT_EQ(sensor->block(BlockKind::kSensor)->u8(1), 0x44);
  // A wrong CRC changes nothing but still ends the exchange.
  StoreStatusViewState(server.own.view(), kStatusViewIdle);
  ASSERT_TRUE(runUntil([&] { return server.consoleState() == kStatusViewRequestReady; }, 2000));
  server.answer(tree.root().idU16(), 2, {uint8_t(sensor->idU16() >> 8), uint8_t(sensor->idU16()), 0x55}, true);
  ASSERT_TRUE(runUntil([&] { return server.consoleState() == kStatusViewAnswerTaken; }, 2000));
  EXPECT_EQ(sensor->block(BlockKind::kSensor)->u8(1), 0x44);
  EXPECT_EQ(pollModes().size(), tcpPolls);  // none went over TCP while attached
  // A length past the view is refused, not copied.
  StoreStatusViewState(server.own.view(), kStatusViewIdle);
  ASSERT_TRUE(runUntil([&] { return server.consoleState() == kStatusViewRequestReady; }, 2000));
  putBe24(server.own.view(), kStatusViewOffFrame + kStatusOffLength, 0xFFFFFF);
  StoreStatusViewState(server.own.view(), kStatusViewAnswerReady);
  ASSERT_TRUE(runUntil([&] { return server.consoleState() == kStatusViewAnswerTaken; }, 2000));
  // Three polls left unanswered detach; polls go over TCP again.
  StoreStatusViewState(server.own.view(), kStatusViewIdle);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(runUntil([&] { return server.consoleState() == kStatusViewRequestReady; }, 2000));
    clock.skip(4600);
    link.linkTick();  // the session step that finds the poll unanswered
    StoreStatusViewState(server.own.view(), kStatusViewIdle);
  }
  EXPECT_NE(link.attachStep(), 5);
}

}  // namespace
}  // namespace lark
