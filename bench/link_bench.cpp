// Console link round trips: hello and version requests from N concurrent
// consoles (10 by default) against the real LinkServer on an EventLoop, and
// the same traffic against a plain epoll TCP echo server measured in the same
// run. Prints round trips per second and the server thread's CPU time per
// request for both, and their ratios.
//
// Then the consoles' status polls over a tree of D devices (10,000 by
// default): each console asks for the next 5 devices of its round in the
// long form every 500 ms, as a console on TCP does. Prints the server
// thread's CPU as a share of a core beside the echo server's for the same
// requests.
//
//   link_bench [--seconds S] [--consoles N] [--devices D]
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/bench_tree.h"
#include "linkserver/command_queue.h"
#include "linkserver/control_lock.h"
#include "core/event_log_sink.h"
#include "linkserver/link_server.h"
#include "platform/clock.h"
#include "platform/event_loop.h"

namespace {

using Clock = std::chrono::steady_clock;

struct NullLog final : lark::EventLogSink {
  void WriteEventLog(int32_t, uint32_t, int32_t, std::string_view) override {}
};

struct Figures {
  double roundTripsPerSecond = 0;
  double cpuMicrosPerRequest = 0;
  uint64_t requests = 0;
};

double ThreadCpuSeconds(pthread_t thread) {
  clockid_t id;
  if (pthread_getcpuclockid(thread, &id) != 0) return 0;
  timespec ts{};
  clock_gettime(id, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

bool SendAll(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t k = send(fd, p, n, MSG_NOSIGNAL);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return false;
    p += k;
    n -= static_cast<size_t>(k);
  }
  return true;
}

bool RecvAll(int fd, uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t k = recv(fd, p, n, 0);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return false;
    p += k;
    n -= static_cast<size_t>(k);
  }
  return true;
}

int ConnectLoopback(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Joins the consoles and closes their connections: the server thread's CPU
// seconds and the wall seconds since `start`. A lost connection ends the run.
std::pair<double, double> Finish(std::vector<std::thread>& threads, const std::vector<int>& fds,
                                 pthread_t serverThread, double cpuBefore,
                                 Clock::time_point start, const std::atomic<bool>& failed) {
  for (auto& t : threads) t.join();
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  const double cpu = ThreadCpuSeconds(serverThread) - cpuBefore;
  for (int fd : fds) close(fd);
  if (failed) {
    std::fprintf(stderr, "a console lost its connection\n");
    std::exit(1);
  }
  return {cpu, elapsed};
}

// Each console alternates hello and version until the time is up. `replySize`
// gives the bytes to expect back for a request (the server's reply or the echo).
Figures Drive(uint16_t port, int consoles, double seconds, pthread_t serverThread,
              size_t (*replySize)(size_t requestSize)) {
  static const uint8_t kHello[] = {1, 1, 0, 1, 1};
  static const uint8_t kVersion[] = {1, 1, 0, 3, 33, 9, 7};
  std::atomic<uint64_t> total{0};
  std::atomic<bool> failed{false};
  std::vector<int> fds;
  for (int i = 0; i < consoles; ++i) {
    int fd = ConnectLoopback(port);
    if (fd < 0) {
      std::fprintf(stderr, "connect to %u failed\n", port);
      std::exit(1);
    }
    fds.push_back(fd);
  }
  const double cpuBefore = ThreadCpuSeconds(serverThread);
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration<double>(seconds);
  std::vector<std::thread> threads;
  for (int fd : fds) {
    threads.emplace_back([&, fd] {
      uint8_t reply[64];
      uint64_t n = 0;
      while (Clock::now() < end) {
        const bool hello = n % 2 == 0;
        const uint8_t* req = hello ? kHello : kVersion;
        const size_t len = hello ? sizeof kHello : sizeof kVersion;
        if (!SendAll(fd, req, len) || !RecvAll(fd, reply, replySize(len))) {
          failed = true;
          break;
        }
        ++n;
      }
      total += n;
    });
  }
  const auto [cpu, elapsed] = Finish(threads, fds, serverThread, cpuBefore, start, failed);
  Figures f;
  f.requests = total.load();
  f.roundTripsPerSecond = static_cast<double>(f.requests) / elapsed;
  f.cpuMicrosPerRequest = f.requests ? cpu * 1e6 / static_cast<double>(f.requests) : 0;
  return f;
}

// Each console greets, then asks every 500 ms for the next 5 devices of its
// round (command 6 sub 3 on the root); the share of a core the server
// thread spent meanwhile. `echo`: the peer sends the request back.
double DrivePolls(uint16_t port, int consoles, double seconds, pthread_t serverThread, bool echo) {
  static const uint8_t kHello[] = {1, 1, 0, 1, 1};
  static const uint8_t kPoll[] = {1, 1, 0, 6, 6, 3, 0, 0, 0, 5};
  std::atomic<bool> failed{false};
  std::vector<int> fds;
  for (int i = 0; i < consoles; ++i) {
    int fd = ConnectLoopback(port);
    uint8_t reply[6];
    if (fd < 0 || !SendAll(fd, kHello, sizeof kHello) ||
        !RecvAll(fd, reply, echo ? sizeof kHello : sizeof reply)) {
      std::fprintf(stderr, "console %d could not greet\n", i);
      std::exit(1);
    }
    fds.push_back(fd);
  }
  // One poll each before the count: the connections' opening (and the last
  // phase's closing) work is behind the server then.
  auto poll = [echo](int fd, std::vector<uint8_t>& body) {
    uint8_t head[4];
    if (!SendAll(fd, kPoll, sizeof kPoll) || !RecvAll(fd, head, 4)) return false;
    body.resize(echo ? sizeof kPoll - 4 : (size_t{head[2]} << 8 | head[3]));
    return RecvAll(fd, body.data(), body.size());
  };
  std::vector<uint8_t> first;
  for (int fd : fds) {
    if (!poll(fd, first)) {
      std::fprintf(stderr, "a console's first poll failed\n");
      std::exit(1);
    }
  }
  const double cpuBefore = ThreadCpuSeconds(serverThread);
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration<double>(seconds);
  std::vector<std::thread> threads;
  for (int fd : fds) {
    threads.emplace_back([&, fd] {
      std::vector<uint8_t> body;
      for (auto next = Clock::now(); next < end; next += std::chrono::milliseconds(500)) {
        std::this_thread::sleep_until(next);
        if (!poll(fd, body)) {
          failed = true;
          return;
        }
      }
    });
  }
  const auto [cpu, elapsed] = Finish(threads, fds, serverThread, cpuBefore, start, failed);
  return cpu / elapsed;
}

// The peer: a plain level-triggered epoll echo server on one thread.
class EchoServer {
 public:
  EchoServer() {
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listenFd_, 64);
    socklen_t len = sizeof a;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    ep_ = epoll_create1(EPOLL_CLOEXEC);
    stopFd_ = eventfd_like();
    add(listenFd_);
    add(stopFd_[0]);
    thread_ = std::thread([this] { run(); });
  }
  ~EchoServer() {
    uint8_t b = 1;
    (void)!write(stopFd_[1], &b, 1);
    thread_.join();
    close(listenFd_);
    close(ep_);
    close(stopFd_[0]);
    close(stopFd_[1]);
  }
  uint16_t port() const { return port_; }
  pthread_t thread() { return thread_.native_handle(); }

 private:
  static std::array<int, 2> eventfd_like() {
    std::array<int, 2> p{};
    if (pipe2(p.data(), O_CLOEXEC) != 0) std::exit(1);
    return p;
  }
  void add(int fd) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = fd;
    epoll_ctl(ep_, EPOLL_CTL_ADD, fd, &ev);
  }
  void run() {
    epoll_event events[64];
    uint8_t buf[4096];
    while (true) {
      int n = epoll_wait(ep_, events, 64, -1);
      for (int i = 0; i < n; ++i) {
        int fd = events[i].data.fd;
        if (fd == stopFd_[0]) return;
        if (fd == listenFd_) {
          int c = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
          if (c >= 0) {
            int one = 1;
            setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            add(c);
          }
          continue;
        }
        ssize_t k = recv(fd, buf, sizeof buf, 0);
        if (k <= 0) {
          if (k < 0 && (errno == EAGAIN || errno == EINTR)) continue;
          epoll_ctl(ep_, EPOLL_CTL_DEL, fd, nullptr);
          close(fd);
          continue;
        }
        SendAll(fd, buf, static_cast<size_t>(k));  // small frames: the buffer never fills
      }
    }
  }
  int listenFd_ = -1;
  int ep_ = -1;
  std::array<int, 2> stopFd_{};
  uint16_t port_ = 0;
  std::thread thread_;
};

void Print(const char* name, const Figures& f) {
  std::printf("%-12s %12.0f round trips/s %10.2f us CPU/request (%llu requests)\n", name,
              f.roundTripsPerSecond, f.cpuMicrosPerRequest,
              static_cast<unsigned long long>(f.requests));
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 2;
  int consoles = 10;
  int devices = 10000;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--seconds") {
      seconds = std::atof(argv[i + 1]);
    } else if (a == "--consoles") {
      consoles = std::atoi(argv[i + 1]);
    } else if (a == "--devices") {
      devices = std::atoi(argv[i + 1]);
    }
  }
  if (seconds <= 0 || consoles < 1 || consoles > lark::kLinkSlotCount) {
    std::fprintf(stderr, "usage: link_bench [--seconds S] [--consoles 1..10] [--devices D]\n");
    return 2;
  }

  lark::SystemClock clock;
  NullLog log;
  lark::CommandQueues queues;
  lark::ControlLock lock(clock, queues);
  lark::LinkServices services(lock);
  lark::EventLoop loop;
  lark::LinkServerOptions options;
  options.tcpPort = 0;  // any free port: the benchmark runs beside a live service
  options.udpPort = 0;
  options.bindAddress = INADDR_LOOPBACK;
  lark::DeviceTree tree;
  const size_t made = lark::bench::BuildDeviceTree(tree, devices).size();
  services.tree = &tree;
  lark::LinkServer server(loop, clock, log, queues, services, options);
  server.setDeviceTree(&tree);
  server.start();
  if (!server.listening()) {
    std::fprintf(stderr, "link server did not start\n");
    return 1;
  }
  std::thread loopThread([&] { loop.run(); });

  // Replies: hello 6 bytes, version 8; the echo gives back what was sent.
  Figures link = Drive(server.tcpPort(), consoles, seconds, loopThread.native_handle(),
                       [](size_t req) -> size_t { return req == 5 ? 6 : 8; });
  const double polls =
      DrivePolls(server.tcpPort(), consoles, seconds, loopThread.native_handle(), false);
  loop.post([&] { server.stop(); });
  loop.quit();
  loopThread.join();

  Figures echo;
  {
    EchoServer peer;
    echo = Drive(peer.port(), consoles, seconds, peer.thread(),
                 [](size_t req) -> size_t { return req; });
  }
  double echoPolls = 0;
  {
    EchoServer peer;
    echoPolls = DrivePolls(peer.port(), consoles, seconds, peer.thread(), true);
  }

  std::printf("%d consoles, %.1f s each\n", consoles, seconds);
  Print("link server", link);
  Print("tcp echo", echo);
  std::printf(
      "ratio link/echo: throughput %.2f, CPU per request %.2f\n",
      echo.roundTripsPerSecond > 0 ? link.roundTripsPerSecond / echo.roundTripsPerSecond : 0,
      echo.cpuMicrosPerRequest > 0 ? link.cpuMicrosPerRequest / echo.cpuMicrosPerRequest : 0);
  std::printf("status polls at %zu devices, 5 a poll every 500 ms per console:\n", made);
  std::printf("  link server %.3f %% of a core, tcp echo %.3f %%, added %.3f %%\n", polls * 100,
              echoPolls * 100, (polls - echoPolls) * 100);
  return 0;
}
