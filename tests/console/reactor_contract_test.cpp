// One contract for both reactors of the console link: the epoll loop and
// Qt's loop. Each case runs on each backend over loopback sockets.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "console/link/reactor.h"
#include "console/shell/qt_reactor.h"

namespace lark {
namespace {

struct Backend {
  std::string name;
  std::function<std::unique_ptr<Reactor>()> make;
  std::function<void(int ms)> spin;
};

std::vector<Backend> Backends() {
  static EventLoop loop;
  return {
      {"epoll", [] { return std::make_unique<EpollReactor>(loop); },
       [](int ms) {
         const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
         while (std::chrono::steady_clock::now() < end) loop.runOnce(5);
       }},
      {"qt", [] { return std::make_unique<QtReactor>(); },
       [](int ms) {
         const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
         while (std::chrono::steady_clock::now() < end) {
           QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
           std::this_thread::sleep_for(std::chrono::milliseconds(1));
         }
       }},
  };
}

int Listener(uint16_t& port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(fd, 4);
  socklen_t n = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
  port = ntohs(a.sin_port);
  return fd;
}

int ConnectTo(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  return fd;
}

struct Event {
  uint32_t events;
  int error;
};

TEST(ReactorContract, ConnectReadCloseWriteTimersPosts) {
  for (const Backend& b : Backends()) {
    SCOPED_TRACE(b.name);
    auto r = b.make();
    std::vector<Event> seen;
    auto record = [&](int, uint32_t ev, int err) { seen.push_back({ev, err}); };

    // A refused connect: one kSockConnect with its error, nothing after it.
    uint16_t port = 0;
    int closedListener = Listener(port);
    close(closedListener);
    int c = ConnectTo(port);
    r->watchSocket(c, record);
    r->expectConnect(c);
    b.spin(200);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].events, uint32_t(kSockConnect));
    EXPECT_EQ(seen[0].error, ECONNREFUSED);
    r->unwatchSocket(c);
    close(c);

    // A listener reports a connection as readable; unwatched reading stays quiet.
    seen.clear();
    int l = Listener(port);
    r->watchSocket(l, record);
    c = ConnectTo(port);
    int w = socket(AF_INET, SOCK_STREAM, 0);
    r->watchSocket(c, [&](int fd, uint32_t ev, int err) {
      seen.push_back({ev << 8, err});
      if (ev & kSockRead) {
        char buf[64];
        while (recv(fd, buf, sizeof buf, 0) > 0) {
        }
      }
    });
    r->expectConnect(c);
    b.spin(100);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0].events | seen[1].events, uint32_t(kSockRead | (kSockConnect << 8)));
    r->setReadWatched(l, false);
    seen.clear();
    w = ConnectTo(port);
    b.spin(100);
    EXPECT_TRUE(seen.empty());
    r->setReadWatched(l, true);
    b.spin(100);
    EXPECT_FALSE(seen.empty());
    int peer = accept(l, nullptr, nullptr);
    int second = accept(l, nullptr, nullptr);
    ASSERT_GE(peer, 0);

    // Bytes then a close: every byte is read before the close, which comes once.
    seen.clear();
    ASSERT_EQ(send(peer, "abc", 3, 0), 3);
    close(peer);
    b.spin(150);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].events, uint32_t(kSockRead << 8));
    EXPECT_EQ(seen[1].events, uint32_t(kSockClose << 8));

    // Write reporting only while a send is pending.
    seen.clear();
    r->unwatchSocket(c);
    close(c);
    r->watchSocket(w, record);
    r->setSendPending(w, true);
    b.spin(30);
    EXPECT_FALSE(seen.empty());
    EXPECT_EQ(seen[0].events, uint32_t(kSockWrite));
    r->setSendPending(w, false);
    seen.clear();
    b.spin(50);
    EXPECT_TRUE(seen.empty());

    // Timers by id, killed from their own handler; posted calls run later.
    int fired = 0, posted = 0;
    r->setTimer(7, 10, [&] {
      if (++fired == 3) r->killTimer(7);
    });
    r->post([&] { ++posted; });
    EXPECT_EQ(posted, 0);
    b.spin(150);
    EXPECT_EQ(fired, 3);
    EXPECT_EQ(posted, 1);

    r->unwatchSocket(w);
    r->unwatchSocket(l);
    close(w);
    close(second);
    close(l);
  }
}

// A modal dialog spins a nested loop inside a handler: the same socket's
// handler does not run again until the first call returns.
TEST(QtReactor, NestedLoopDoesNotReenterASocketHandler) {
  QtReactor r;
  uint16_t port = 0;
  int l = Listener(port);
  int c = ConnectTo(port);
  pollfd pending{l, POLLIN, 0};
  ASSERT_EQ(poll(&pending, 1, 10000), 1);
  int peer = accept(l, nullptr, nullptr);
  ASSERT_GE(peer, 0);
  int depth = 0, maxDepth = 0, calls = 0;
  r.watchSocket(c, [&](int fd, uint32_t ev, int) {
    if (!(ev & kSockRead)) return;
    ++calls;
    maxDepth = std::max(maxDepth, ++depth);
    char buf[8];
    recv(fd, buf, 1, 0);  // one byte at a time: more stays readable
    if (calls == 1) {
      QEventLoop nested;
      QTimer::singleShot(100, &nested, &QEventLoop::quit);
      nested.exec();
    }
    --depth;
  });
  ASSERT_EQ(send(peer, "xyz", 3, 0), 3);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  while (std::chrono::steady_clock::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  EXPECT_EQ(maxDepth, 1);
  EXPECT_EQ(calls, 3);
  r.unwatchSocket(c);
  close(c);
  close(peer);
  close(l);
}

}  // namespace
}  // namespace lark
