#include "platform/event_loop.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/netns.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

// Generous bound for anything that needs real time to arrive over loopback.
constexpr int kMaxRounds = 200;
constexpr int kRoundWaitMs = 50;

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

// A TCP socket bound to an ephemeral loopback port; listening when asked.
int BoundSocket(bool listening, uint16_t* port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  sockaddr_in a = Loopback(0);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
  if (listening && listen(fd, 1) != 0) return -1;
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  *port = ntohs(a.sin_port);
  return fd;
}

// A connected loopback pair, both ends non-blocking.
struct TcpPair {
  Fd listener, client, server;
  TcpPair() {
    uint16_t port = 0;
    listener.reset(BoundSocket(true, &port));
    client.reset(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a = Loopback(port);
    EXPECT_EQ(connect(client.get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    pollfd pending{listener.get(), POLLIN, 0};
    EXPECT_EQ(poll(&pending, 1, 10000), 1);
    server.reset(accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    EXPECT_GE(server.get(), 0);
    SetNonBlocking(client.get());
  }
};

// Runs rounds until `done` holds, or a generous bound is reached.
template <typename Pred>
bool RunUntil(EventLoop& loop, Pred done) {
  for (int i = 0; i < kMaxRounds && !done(); ++i) loop.runOnce(kRoundWaitMs);
  return done();
}

// Proves a loop is quiet over many rounds: no handler runs, and epoll reports
// nothing either (a level-triggered event nobody takes would spin the loop).
void ExpectIdle(EventLoop& loop, int rounds = 50) {
  const uint64_t handlers = loop.handlersRun();
  const uint64_t ready = loop.readyEventsSeen();
  for (int i = 0; i < rounds; ++i) loop.runOnce(0);
  EXPECT_EQ(loop.handlersRun(), handlers);
  EXPECT_EQ(loop.readyEventsSeen(), ready);
}

std::string EventName(uint32_t events) {
  std::string s;
  if (events & kSockConnect) s += "N";
  if (events & kSockRead) s += "R";
  if (events & kSockWrite) s += "W";
  if (events & kSockClose) s += "C";
  return s;
}

TEST(EventLoopTimers, PiledUpExpirationsFireOnce) {
  EventLoop loop;
  int fired = 0;
  ASSERT_TRUE(loop.setTimer(1025, 2, [&] { ++fired; }));
  // Dozens of periods pass while nothing dispatches, as under a slow handler.
  // (Kernel timers need real time: this is a floor; a slow machine only adds.)
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  loop.runOnce(0);
  EXPECT_EQ(fired, 1);
  // The timer keeps its period afterwards.
  EXPECT_TRUE(RunUntil(loop, [&] { return fired == 2; }));
  loop.killTimer(1025);
  EXPECT_FALSE(loop.hasTimer(1025));
}

TEST(EventLoopTimers, SetTimerOnExistingIdRestartsIt) {
  EventLoop loop;
  int first = 0, second = 0;
  ASSERT_TRUE(loop.setTimer(7, 1, [&] { ++first; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a floor for the kernel timer
  // Due already, but the restart with an hour's period clears what was counted.
  ASSERT_TRUE(loop.setTimer(7, 3600 * 1000, [&] { ++second; }));
  ExpectIdle(loop);
  EXPECT_EQ(first + second, 0);
}

TEST(EventLoopTimers, KilledInsideAHandlerIncludingItself) {
  EventLoop loop;
  int fired = 0;
  // Both due in the same round; whichever runs first kills both.
  auto killBoth = [&] {
    ++fired;
    loop.killTimer(1);
    loop.killTimer(2);
  };
  ASSERT_TRUE(loop.setTimer(1, 1, killBoth));
  ASSERT_TRUE(loop.setTimer(2, 1, killBoth));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a floor for the kernel timers
  loop.runOnce(0);
  EXPECT_EQ(fired, 1);
  EXPECT_FALSE(loop.hasTimer(1));
  EXPECT_FALSE(loop.hasTimer(2));
  // Time for killed timers to fire wrongly: a bound a slow machine only eases.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ExpectIdle(loop);

  // A handler that kills itself and starts a fresh timer under the same id.
  int restarted = 0;
  ASSERT_TRUE(loop.setTimer(3, 1, [&] {
    loop.killTimer(3);
    loop.setTimer(3, 1, [&] { ++restarted; });
  }));
  EXPECT_TRUE(RunUntil(loop, [&] { return restarted > 0; }));
}

TEST(EventLoopPost, TasksFromEightThreadsRunOnTheLoopThread) {
  EventLoop loop;
  constexpr int kThreads = 8, kPerThread = 500;
  const std::thread::id loopThread = std::this_thread::get_id();
  int ran = 0;  // loop thread only: a task run elsewhere is a data race TSan reports
  int offThread = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kPerThread; ++i) {
        loop.post([&] {
          if (std::this_thread::get_id() != loopThread) ++offThread;
          if (++ran == kThreads * kPerThread) loop.quit(5);
        });
      }
    });
  }
  EXPECT_EQ(loop.run(), 5);
  for (auto& t : threads) t.join();
  EXPECT_EQ(ran, kThreads * kPerThread);
  EXPECT_EQ(offThread, 0);
  EXPECT_FALSE(loop.running());
}

TEST(EventLoopSignals, SigtermIsDeliveredThroughTheHandler) {
  EventLoop loop;
  int received = 0;
  ASSERT_TRUE(loop.watchStopSignals([&](int signo) {
    received = signo;
    loop.quit(0);
  }));
  ASSERT_EQ(kill(getpid(), SIGTERM), 0);
  EXPECT_EQ(loop.run(), 0);
  EXPECT_EQ(received, SIGTERM);
}

TEST(EventLoopSockets, NothingToSendNeverReportsWritable) {
  EventLoop loop;
  TcpPair pair;
  std::string seen;
  ASSERT_TRUE(
      loop.watchSocket(pair.client.get(), [&](int, uint32_t ev, int) { seen += EventName(ev); }));
  ExpectIdle(loop);
  EXPECT_EQ(seen, "");
  // Data arriving is a read and nothing else.
  ASSERT_EQ(send(pair.server.get(), "x", 1, 0), 1);
  ASSERT_TRUE(RunUntil(loop, [&] { return !seen.empty(); }));
  EXPECT_EQ(seen, "R");
}

TEST(EventLoopSockets, SendPendingReportsWriteUntilDisarmed) {
  EventLoop loop;
  TcpPair pair;
  int writes = 0;
  ASSERT_TRUE(loop.watchSocket(pair.client.get(), [&](int fd, uint32_t ev, int) {
    if (ev & kSockWrite && ++writes == 3) loop.setSendPending(fd, false);
  }));
  loop.setSendPending(pair.client.get(), true);
  ASSERT_TRUE(RunUntil(loop, [&] { return writes == 3; }));
  ExpectIdle(loop);
  EXPECT_EQ(writes, 3);
  loop.unwatchSocket(pair.client.get());
  EXPECT_EQ(loop.watchedSocketCount(), 0u);
}

TEST(EventLoopSockets, FullListenerIsUnwatchedAndTheLoopStaysIdle) {
  EventLoop loop;
  uint16_t port = 0;
  Fd listener(BoundSocket(true, &port));
  int reads = 0;
  // Every session slot is taken: the pending connection is left in the backlog.
  ASSERT_TRUE(loop.watchSocket(listener.get(), [&](int fd, uint32_t ev, int) {
    if (ev & kSockRead) ++reads;
    loop.setReadWatched(fd, false);
  }));
  Fd client(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a = Loopback(port);
  ASSERT_EQ(connect(client.get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_TRUE(RunUntil(loop, [&] { return reads == 1; }));
  ExpectIdle(loop, 200);
  // A slot frees up: the waiting connection is reported again.
  loop.setReadWatched(listener.get(), true);
  ASSERT_TRUE(RunUntil(loop, [&] { return reads == 2; }));
  loop.unwatchSocket(listener.get());
  EXPECT_EQ(loop.watchedSocketCount(), 0u);
}

TEST(EventLoopSockets, PeerCloseIsReportedOnce) {
  struct Case {
    const char* what;
    std::string data;    // sent by the peer before it closes
    size_t chunk;        // bytes the handler takes per read report
    bool unwatchAtEof;   // the handler reads to the end and closes itself on recv() == 0
    bool reset;          // the peer aborts instead of closing
    const char* events;  // what the handler sees
  };
  const Case cases[] = {
      {"close without data", "", 64, false, false, "RC"},
      {"data then close", "hello", 64, false, false, "RC"},
      {"data read in pieces before the close", "hello", 2, false, false, "RRRC"},
      {"handler closes itself at end of data", "hello", 64, true, false, "R"},
      {"reset", "", 64, false, true, "C"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EventLoop loop;
    TcpPair pair;
    std::string seen, received;
    bool gone = false;
    int closeError = -1;
    ASSERT_TRUE(loop.watchSocket(pair.client.get(), [&](int fd, uint32_t ev, int error) {
      seen += EventName(ev);
      if (ev & kSockClose) {
        gone = true;
        closeError = error;
      }
      if (!(ev & kSockRead)) return;
      char buf[64];
      ssize_t n;
      do {
        n = recv(fd, buf, c.chunk, 0);
        if (n > 0) received.append(buf, static_cast<size_t>(n));
      } while (c.unwatchAtEof && n > 0);
      if (n == 0 && c.unwatchAtEof) {
        loop.unwatchSocket(fd);
        gone = true;
      }
    }));
    if (!c.data.empty()) {
      ASSERT_EQ(send(pair.server.get(), c.data.data(), c.data.size(), 0), 5);
    }
    if (c.reset) {
      linger lg{1, 0};
      setsockopt(pair.server.get(), SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
    }
    pair.server.reset();
    // The close has arrived (and so has all data before it) before the loop
    // looks, so the order of reports does not depend on timing.
    pollfd p{pair.client.get(), POLLRDHUP, 0};
    ASSERT_EQ(poll(&p, 1, 10000), 1);
    ASSERT_TRUE(RunUntil(loop, [&] { return gone; }));
    ExpectIdle(loop);
    EXPECT_EQ(seen, c.events);
    EXPECT_EQ(received, c.data);
    if (c.reset) {
      EXPECT_EQ(closeError, ECONNRESET);
    } else if (!c.unwatchAtEof) {
      EXPECT_EQ(closeError, 0);
    }
    loop.unwatchSocket(pair.client.get());
    EXPECT_EQ(loop.watchedSocketCount(), 0u);
  }
}

TEST(EventLoopSockets, NonBlockingConnectReportsItsOutcomeOnce) {
  struct Case {
    const char* what;
    bool listening;
    int error;
  };
  const Case cases[] = {{"to a listener", true, 0}, {"to a closed port", false, ECONNREFUSED}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EventLoop loop;
    uint16_t port = 0;
    // Bound but not listening keeps the port closed and ours for the test.
    Fd target(BoundSocket(c.listening, &port));
    Fd s(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_in a = Loopback(port);
    ASSERT_EQ(connect(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a), -1);
    ASSERT_EQ(errno, EINPROGRESS);
    std::string seen;
    int error = -1;
    ASSERT_TRUE(loop.watchSocket(s.get(), [&](int, uint32_t ev, int err) {
      seen += EventName(ev);
      if (ev & kSockConnect) error = err;
    }));
    loop.expectConnect(s.get());
    ASSERT_TRUE(RunUntil(loop, [&] { return !seen.empty(); }));
    ExpectIdle(loop);
    EXPECT_EQ(seen, "N");
    EXPECT_EQ(error, c.error);
  }
}

TEST(EventLoopSockets, UnwatchInsideABatchSilencesTheOtherFd) {
  EventLoop loop;
  TcpPair first, second;
  int calls = 0;
  int newHandlerCalls = 0;
  Fd reused;
  // Whichever runs first unwatches and closes the other, then a new socket takes
  // the freed number: the stale ready event must reach neither handler.
  auto handler = [&](int fd, uint32_t, int) {
    ++calls;
    int other = fd == first.client.get() ? second.client.get() : first.client.get();
    loop.unwatchSocket(other);
    if (other == first.client.get())
      first.client.reset();
    else
      second.client.reset();
    reused.reset(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    loop.watchSocket(reused.get(), [&](int, uint32_t, int) { ++newHandlerCalls; });
    loop.unwatchSocket(fd);
  };
  ASSERT_TRUE(loop.watchSocket(first.client.get(), handler));
  ASSERT_TRUE(loop.watchSocket(second.client.get(), handler));
  ASSERT_EQ(send(first.server.get(), "a", 1, 0), 1);
  ASSERT_EQ(send(second.server.get(), "b", 1, 0), 1);
  // Both readable before the round starts, so they share one batch.
  pollfd readable[2] = {{first.client.get(), POLLIN, 0}, {second.client.get(), POLLIN, 0}};
  ASSERT_TRUE(test::Eventually([&] { return poll(readable, 2, 0) == 2; }, 10000));
  loop.runOnce(0);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(newHandlerCalls, 0);
  ExpectIdle(loop);
  loop.unwatchSocket(reused.get());
  EXPECT_EQ(loop.watchedSocketCount(), 0u);
}

// Fixed ports, as the service opens them, in a namespace of the test's own.
TEST(EventLoopSockets, AcceptsOnAFixedPortInAPrivateNetwork) {
  if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no permission for a private network namespace";
  EventLoop loop;
  Fd listener(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  sockaddr_in a = Loopback(8900);
  ASSERT_EQ(bind(listener.get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(listen(listener.get(), 5), 0);
  Fd accepted;
  ASSERT_TRUE(loop.watchSocket(listener.get(), [&](int fd, uint32_t, int) {
    accepted.reset(accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
  }));
  Fd client(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  ASSERT_EQ(connect(client.get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  EXPECT_TRUE(RunUntil(loop, [&] { return accepted.get() >= 0; }));
  loop.unwatchSocket(listener.get());
}

}  // namespace
}  // namespace lark
